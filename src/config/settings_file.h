// Whole-file reading for the settings and history files, telling a missing file (which the
// callers treat as "nothing saved yet") apart from one that exists but cannot be read.
#pragma once

#include <cstdint>
#include <string>

namespace kestrava::config {

enum class ReadFileStatus : uint8_t { Ok, Missing, Failed };

// Reads the whole file into text as raw bytes. On rfMissing and rfFailed, errorMessage names the
// file and the reason.
ReadFileStatus readSettingsFile(const std::string& fileName, std::string& text,
                                std::string& errorMessage);

} // namespace kestrava::config
