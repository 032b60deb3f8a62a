// The settings record, the main window's bounds and the last mode, and their file
// KestravaConfig.xml: read once at start-up with a default for everything that is missing or
// unreadable, written once at shut-down in one fixed layout.
#pragma once

#include "util/kes_uGlobal.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kes {

// Which mode the program opens in.
enum TInitialMode : int32_t {
    imLastUsed = 0,
    imFind = 1,
    imReplace = 2,
    imScript = 3,
    imViewFoldersFiles = 4,
};

enum TFontSize : int32_t { fsSmall = 0, fsMedium = 1, fsLarge = 2 };

// The editor used to open result files when none is configured: the desktop's own choice.
inline constexpr std::string_view kDefaultEditorFileSpec = "xdg-open";
inline constexpr std::string_view kDefaultEditorCommandLine = "%Filename%";

// One instance, shared by the whole program.
struct TkesSettings {
    TInitialMode InitialMode = imFind;
    TFontSize FontSize = fsSmall;
    bool CaseSensitiveMatching = false;
    bool ReplaceInSitu = false;
    std::string ScriptsFolder; // ends with "/"
    std::string EditorFileSpec{kDefaultEditorFileSpec};
    std::string EditorCommandLine{kDefaultEditorCommandLine};
    // Set by the main window at start-up; never written to the file.
    uint32_t GridColor = 0xF7F7F7;      // RGB
    uint32_t HighlightColor = 0xFFFFB3; // RGB
    std::string GridFontName = "Arial";
    int32_t CurrentPointSize = 10;
};

// The main window's placement in pixels.
struct TkesFormBounds {
    int32_t Top = 0;
    int32_t Left = 0;
    int32_t Height = 0;
    int32_t Width = 0;

    bool operator==(const TkesFormBounds&) const = default;
};

// Everything KestravaConfig.xml holds.
struct TkesConfig {
    TkesSettings Settings;
    TkesFormBounds Bounds;
    TkesMode LastMode = mdFind;
};

// 1060 x 748 centred on the screen, each side cut to the screen's size.
TkesFormBounds DefaultFormBounds(int32_t screenWidth, int32_t screenHeight);

// True/false for the words and numbers a boolean setting may hold; defaultValue for anything
// else. Numbers are true when not zero ("2", "0.0"); words ignore letter case ("Yes", "no").
bool ConfigStrToBool(std::string_view value, bool defaultValue);

// Sets every persisted field of config to its default (the bounds from the screen size, the
// scripts folder to defaultScriptsFolder with a trailing "/"), then reads fileName over them.
// A missing file leaves the defaults. Raises std::runtime_error with the XML layer's message when
// the file cannot be read or parsed; config then holds the defaults only.
void LoadConfig(const std::string& fileName, const std::string& defaultScriptsFolder,
                int32_t screenWidth, int32_t screenHeight, TkesConfig& config);

// The complete text of KestravaConfig.xml for config (CR LF lines).
std::string ConfigToXml(const TkesConfig& config);

// Writes the file, creating its folder first. Raises std::runtime_error with a message naming
// the file and the reason when either fails.
void SaveConfig(const std::string& fileName, const TkesConfig& config);

} // namespace kes
