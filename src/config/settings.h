// The settings record, the main window's bounds and the last mode, and their file
// KestravaConfig.xml: read once at start-up with a default for everything that is missing or
// unreadable, written once at shut-down in one fixed layout.
#pragma once

#include "util/common.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrava::config {

// Which mode the program opens in.
enum class InitialMode : int32_t {
    LastUsed = 0,
    Find = 1,
    Replace = 2,
    Script = 3,
    ViewFoldersFiles = 4,
};

enum class FontSize : int32_t { Small = 0, Medium = 1, Large = 2 };

// The editor used to open result files when none is configured: the desktop's own choice.
inline constexpr std::string_view kDefaultEditorFileSpec = "xdg-open";
inline constexpr std::string_view kDefaultEditorCommandLine = "%Filename%";

// One instance, shared by the whole program.
struct Settings {
    InitialMode initialMode = InitialMode::Find;
    FontSize fontSize = FontSize::Small;
    bool caseSensitiveMatching = false;
    bool replaceInSitu = false;
    std::string scriptsFolder; // ends with "/"
    std::string editorFileSpec{kDefaultEditorFileSpec};
    std::string editorCommandLine{kDefaultEditorCommandLine};
    bool showLineNumbers = true;   // the results grid's line-number column (View > Line Numbers)
    bool skipBinaryFiles = false;  // files with a NUL byte near their start are not searched
    bool respectGitignore = false; // what .gitignore excludes is not searched
    bool includeHidden = false;    // names beginning with "." are searched too (never .git)
    bool showPreview = false;      // the file preview below the grid (View > Preview)
    int32_t previewSize = 0;       // its height in pixels; 0 until the user has sized it
    // Replacing runs keep the old content for Edit > Undo Last Replace, within these limits.
    bool keepUndoJournal = true;
    int32_t undoRunsKept = 20;
    int64_t undoBytesKept = int64_t{1} << 30;
    // Set by the main window at start-up; never written to the file.
    uint32_t gridColor = 0xF7F7F7;      // RGB
    uint32_t highlightColor = 0xFFFFB3; // RGB
    std::string gridFontName = "Arial";
    int32_t currentPointSize = 10;
};

// The main window's placement in pixels.
struct WindowBounds {
    int32_t top = 0;
    int32_t left = 0;
    int32_t height = 0;
    int32_t width = 0;

    bool operator==(const WindowBounds&) const = default;
};

// Everything KestravaConfig.xml holds.
struct Config {
    Settings settings;
    WindowBounds bounds;
    // The window's last mode by its number: 0 Find, 1 Find and Replace, 2 Script, 3 View
    // Folders/Files (stored as a word).
    int32_t lastMode = 0;
};

// 1060 x 748 centred on the screen, each side cut to the screen's size.
WindowBounds defaultFormBounds(int32_t screenWidth, int32_t screenHeight);

// True/false for the words and numbers a boolean setting may hold; defaultValue for anything
// else. Numbers are true when not zero ("2", "0.0"); words ignore letter case ("Yes", "no").
bool configStrToBool(std::string_view value, bool defaultValue);

// Sets every persisted field of config to its default (the bounds from the screen size, the
// scripts folder to defaultScriptsFolder with a trailing "/"), then reads fileName over them.
// A missing file leaves the defaults. Raises std::runtime_error with the XML layer's message when
// the file cannot be read or parsed; config then holds the defaults only.
void loadConfig(const std::string& fileName, const std::string& defaultScriptsFolder,
                int32_t screenWidth, int32_t screenHeight, Config& config);

// The complete text of KestravaConfig.xml for config (CR LF lines).
std::string configToXml(const Config& config);

// Writes the file, creating its folder first. Raises std::runtime_error with a message naming
// the file and the reason when either fails.
void saveConfig(const std::string& fileName, const Config& config);

} // namespace kestrava::config
