// Choosing the settings folder. The environment is read in one place so the choice itself is a
// plain function of its inputs.
#include "config/config_paths.h"

#include "util/file_io.h"
#include "util/write_gate.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestrava::config {

namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string passwordHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

std::string withTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

bool isRegularFile(const std::string& fileName) {
    struct stat info = {};
    return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

ConfigEnvironment currentConfigEnvironment() {
    ConfigEnvironment env;
    env.kestravaConfigDir = environmentValue("KESTRAVA_CONFIG_DIR");
    env.xdgConfigHome = environmentValue("XDG_CONFIG_HOME");
    env.home = environmentValue("HOME");
    if (env.home.empty())
        env.home = passwordHome();
    env.xdgDataHome = environmentValue("XDG_DATA_HOME");
    env.xdgStateHome = environmentValue("XDG_STATE_HOME");
    return env;
}

std::string programFolder() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size())
        return {};
    return util::fileFolder(std::string(buffer.data(), static_cast<size_t>(length)));
}

namespace {

bool isPortableInstall(const std::string& programFolder) {
    return !programFolder.empty() && isRegularFile(configFilePath(programFolder));
}

// $<xdgValue>/kestrava/<below>, else $HOME/<homeBase>/kestrava/<below>; "" without either. A
// relative XDG value is invalid by the XDG rules and is ignored.
std::string xdgFolder(const std::string& xdgValue, const std::string& home,
                      const std::string& homeBase, const std::string& below) {
    if (!xdgValue.empty() && xdgValue.front() == '/')
        return withTrailingSlash(xdgValue) + "kestrava/" + below;
    if (!home.empty())
        return withTrailingSlash(home) + homeBase + "/kestrava/" + below;
    return {};
}

} // namespace

std::string settingsFolder(const std::string& programFolder, const ConfigEnvironment& env) {
    if (!env.kestravaConfigDir.empty())
        return withTrailingSlash(env.kestravaConfigDir);
    std::string program = withTrailingSlash(programFolder);
    if (isPortableInstall(program))
        return program;
    const std::string xdg = xdgFolder(env.xdgConfigHome, env.home, ".config", "");
    return xdg.empty() ? program : xdg;
}

std::string settingsFolder(const std::string& programFolder) {
    return settingsFolder(programFolder, currentConfigEnvironment());
}

std::string defaultScriptsFolder(const std::string& programFolder, const ConfigEnvironment& env) {
    // A portable install keeps everything beside the program, unless KESTRAVA_CONFIG_DIR moved
    // its settings elsewhere; scripts are the user's documents, so they go to the data folder.
    std::string program = withTrailingSlash(programFolder);
    if (env.kestravaConfigDir.empty() && isPortableInstall(program))
        return program;
    const std::string xdg = xdgFolder(env.xdgDataHome, env.home, ".local/share", "scripts/");
    return xdg.empty() ? program : xdg;
}

std::string defaultScriptsFolder(const std::string& programFolder) {
    return defaultScriptsFolder(programFolder, currentConfigEnvironment());
}

std::string undoJournalFolder(const ConfigEnvironment& env) {
    return xdgFolder(env.xdgStateHome, env.home, ".local/state", "undo/");
}

std::string configFilePath(const std::string& folder) {
    return withTrailingSlash(folder) + std::string(kConfigFileName);
}

std::string historyFilePath(const std::string& folder) {
    return withTrailingSlash(folder) + std::string(kHistoryFileName);
}

void forceSettingsFolder(const std::string& fileName) {
    errno = 0;
    if (util::forceFileFolder(fileName))
        return;
    const int error = errno;
    std::string message = "Cannot create the folder \"" + util::fileFolder(fileName) + "\"";
    if (error != 0)
        message += std::string(": ") + std::strerror(error);
    throw std::runtime_error(message);
}

void writeSettingsFile(const std::string& fileName, const std::string& text) {
    forceSettingsFolder(fileName);
    std::string error;
    if (!util::writeFileAtomically(fileName, text, error))
        throw std::runtime_error(error);
}

namespace {

bool nameTaken(const std::string& name) {
    struct stat info = {};
    return ::lstat(name.c_str(), &info) == 0;
}

std::string localTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

// A rename that never replaces an existing file; both names are in the folder of `from`.
int moveWithoutReplacing(const std::string& from, const std::string& to) {
    util::GatedFolder folder;
    const std::string path = util::fileFolder(from);
    if (!util::openRootFolder(path, folder))
        return -1;
    return folder.moveTo(from.substr(path.size()), folder, to.substr(util::fileFolder(to).size()),
                         true);
}

} // namespace

std::string damagedFileName(const std::string& fileName) {
    const std::string plain = fileName + ".damaged";
    if (!nameTaken(plain))
        return plain;
    const std::string stamped = plain + "-" + localTimeStamp();
    std::string name = stamped;
    for (int n = 2; nameTaken(name); ++n)
        name = stamped + "-" + std::to_string(n);
    return name;
}

std::string keepDamagedFile(const std::string& fileName, const std::string& keptName) {
    if (!nameTaken(fileName))
        return {};
    std::string name = keptName;
    // A file that appeared under the chosen name meanwhile is never overwritten.
    while (moveWithoutReplacing(fileName, name) != 0) {
        if (errno != EEXIST)
            throw std::runtime_error("Cannot keep " + fileName + " as " + name + ": " +
                                     std::strerror(errno));
        name = damagedFileName(fileName);
    }
    return name;
}

} // namespace kestrava::config
