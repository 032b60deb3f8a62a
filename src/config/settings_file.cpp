#include "config/settings_file.h"

#include "util/file_io.h"

#include <cstring>

namespace kestrava::config {

namespace {

constexpr int64_t kMaxSettingsFileSize = int64_t{64} << 20; // far beyond any real settings file

std::string reason(util::ReadStatus status, int error) {
    switch (status) {
    case util::ReadStatus::NotRegular:
        return "not a regular file";
    case util::ReadStatus::TooLarge:
        return "the file is too large";
    default:
        return std::strerror(error);
    }
}

} // namespace

ReadFileStatus readSettingsFile(const std::string& fileName, std::string& text,
                                std::string& errorMessage) {
    int error = 0;
    const util::ReadStatus status =
        util::readWholeRegularFile(fileName, text, error, kMaxSettingsFileSize);
    if (status == util::ReadStatus::Read || status == util::ReadStatus::Empty)
        return ReadFileStatus::Ok;
    errorMessage = "Cannot read " + fileName + ": " + reason(status, error);
    return status == util::ReadStatus::Missing ? ReadFileStatus::Missing : ReadFileStatus::Failed;
}

} // namespace kestrava::config
