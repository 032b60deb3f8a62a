#include "config/kes_uReadFile.h"

#include "util/ldiFileIO.h"

#include <cstring>

namespace kes {

namespace {

constexpr int64_t kMaxSettingsFileSize = int64_t{64} << 20; // far beyond any real settings file

std::string Reason(TReadStatus status, int error) {
    switch (status) {
    case rsNotRegular:
        return "not a regular file";
    case rsTooLarge:
        return "the file is too large";
    default:
        return std::strerror(error);
    }
}

} // namespace

TReadFileStatus ReadSettingsFile(const std::string& fileName, std::string& text,
                                 std::string& errorMessage) {
    int error = 0;
    const TReadStatus status = ldiReadWholeFile(fileName, text, error, kMaxSettingsFileSize);
    if (status == rsRead || status == rsEmpty)
        return rfOk;
    errorMessage = "Cannot read " + fileName + ": " + Reason(status, error);
    return status == rsMissing ? rfMissing : rfFailed;
}

} // namespace kes
