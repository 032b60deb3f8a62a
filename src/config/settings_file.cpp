#include "config/settings_file.h"

#include "util/file_io.h"

#include <cstring>

namespace kes {

namespace {

constexpr int64_t kMaxSettingsFileSize = int64_t{64} << 20; // far beyond any real settings file

std::string reason(ReadStatus status, int error) {
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

ReadFileStatus readSettingsFile(const std::string& fileName, std::string& text,
                                std::string& errorMessage) {
    int error = 0;
    const ReadStatus status = readWholeRegularFile(fileName, text, error, kMaxSettingsFileSize);
    if (status == rsRead || status == rsEmpty)
        return rfOk;
    errorMessage = "Cannot read " + fileName + ": " + reason(status, error);
    return status == rsMissing ? rfMissing : rfFailed;
}

} // namespace kes
