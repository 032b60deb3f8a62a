// Where the settings file and the history file live: one folder, chosen from the environment
// (KESTRAVA_CONFIG_DIR), a portable install beside the program, or the XDG config folder; and
// where scripts are kept until the user picks another folder.
#pragma once

#include <string>
#include <string_view>

namespace kestrava::config {

inline constexpr std::string_view kConfigFileName = "KestravaConfig.xml";
inline constexpr std::string_view kHistoryFileName = "kestrava.ini";

// The environment values the choice depends on; an empty string stands for "not set".
struct ConfigEnvironment {
    std::string kestravaConfigDir; // KESTRAVA_CONFIG_DIR
    std::string xdgConfigHome;     // XDG_CONFIG_HOME
    std::string home;              // HOME, else the user's home from the password database
    std::string xdgDataHome;       // XDG_DATA_HOME
    std::string xdgStateHome;      // XDG_STATE_HOME
};

// The current process's values.
ConfigEnvironment currentConfigEnvironment();

// The folder of the running program file, with a trailing "/"; empty when it cannot be found.
std::string programFolder();

// The settings folder, with a trailing "/": KESTRAVA_CONFIG_DIR when set; else programFolder
// when it holds a KestravaConfig.xml (a portable install); else $XDG_CONFIG_HOME/kestrava
// (only an absolute XDG_CONFIG_HOME counts), else $HOME/.config/kestrava; programFolder when
// there is no home either.
std::string settingsFolder(const std::string& programFolder, const ConfigEnvironment& env);
// The same with the current environment.
std::string settingsFolder(const std::string& programFolder);

// The scripts folder a fresh settings file starts with, with a trailing "/": programFolder for a
// portable install in use (a KestravaConfig.xml beside the program and no KESTRAVA_CONFIG_DIR);
// else $XDG_DATA_HOME/kestrava/scripts (only an absolute XDG_DATA_HOME counts), else
// $HOME/.local/share/kestrava/scripts; programFolder when there is no home either. Nothing is
// created here: the window creates the folder when a script is first saved.
std::string defaultScriptsFolder(const std::string& programFolder, const ConfigEnvironment& env);
// The same with the current environment.
std::string defaultScriptsFolder(const std::string& programFolder);

// Where replacing runs keep their undo journals, with a trailing "/": $XDG_STATE_HOME/kestrava/undo
// (only an absolute XDG_STATE_HOME counts), else $HOME/.local/state/kestrava/undo; "" without a
// home. Nothing is created here.
std::string undoJournalFolder(const ConfigEnvironment& env = currentConfigEnvironment());

// folder + "KestravaConfig.xml" and folder + "kestrava.ini"; folder ends with "/".
std::string configFilePath(const std::string& folder);
std::string historyFilePath(const std::string& folder);

// Creates the folder of fileName with its parents; raises std::runtime_error naming the folder
// when that fails.
void forceSettingsFolder(const std::string& fileName);
// Writes a settings file whole (creating its folder); raises std::runtime_error on failure.
void writeSettingsFile(const std::string& fileName, const std::string& text);

// A free name to keep a settings file that could not be read: fileName + ".damaged", or, when
// that is taken, with the local time added (".damaged-20261207-103000", then "-2", "-3", ...).
std::string damagedFileName(const std::string& fileName);
// Moves fileName to `keptName` (never over an existing file; a fresh free name when keptName was
// taken meanwhile) and returns the name it got. A missing file needs nothing and returns "".
// Raises std::runtime_error naming both files and the reason when the move fails.
std::string keepDamagedFile(const std::string& fileName, const std::string& keptName);

} // namespace kestrava::config
