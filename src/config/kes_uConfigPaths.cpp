// Choosing the settings folder. The environment is read in one place so the choice itself is a
// plain function of its inputs.
#include "config/kes_uConfigPaths.h"

#include "util/ldiFileIO.h"

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

namespace kes {

namespace {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string PasswordHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

bool IsRegularFile(const std::string& fileName) {
    struct stat info {};
    return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

TConfigEnvironment CurrentConfigEnvironment() {
    TConfigEnvironment env;
    env.KestravaConfigDir = EnvironmentValue("KESTRAVA_CONFIG_DIR");
    env.XdgConfigHome = EnvironmentValue("XDG_CONFIG_HOME");
    env.Home = EnvironmentValue("HOME");
    if (env.Home.empty())
        env.Home = PasswordHome();
    return env;
}

std::string ProgramFolder() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0 || static_cast<size_t>(length) >= buffer.size())
        return {};
    return ldiFileFolder(std::string(buffer.data(), static_cast<size_t>(length)));
}

std::string SettingsFolder(const std::string& programFolder, const TConfigEnvironment& env) {
    if (!env.KestravaConfigDir.empty())
        return WithTrailingSlash(env.KestravaConfigDir);
    std::string program = WithTrailingSlash(programFolder);
    if (!program.empty() && IsRegularFile(ConfigFilePath(program)))
        return program;
    // A relative XDG_CONFIG_HOME is invalid by the XDG rules and is ignored.
    if (!env.XdgConfigHome.empty() && env.XdgConfigHome.front() == '/')
        return WithTrailingSlash(env.XdgConfigHome) + "kestrava/";
    if (!env.Home.empty())
        return WithTrailingSlash(env.Home) + ".config/kestrava/";
    return program;
}

std::string SettingsFolder(const std::string& programFolder) {
    return SettingsFolder(programFolder, CurrentConfigEnvironment());
}

std::string ConfigFilePath(const std::string& folder) {
    return WithTrailingSlash(folder) + std::string(kConfigFileName);
}

std::string HistoryFilePath(const std::string& folder) {
    return WithTrailingSlash(folder) + std::string(kHistoryFileName);
}

void ForceSettingsFolder(const std::string& fileName) {
    errno = 0;
    if (ldiForceFileFolder(fileName))
        return;
    const int error = errno;
    std::string message = "Cannot create the folder \"" + ldiFileFolder(fileName) + "\"";
    if (error != 0)
        message += std::string(": ") + std::strerror(error);
    throw std::runtime_error(message);
}

void WriteSettingsFile(const std::string& fileName, const std::string& text) {
    ForceSettingsFolder(fileName);
    std::string error;
    if (!ldiTryWriteTextFile(fileName, text, error))
        throw std::runtime_error(error);
}

namespace {

bool NameTaken(const std::string& name) {
    struct stat info {};
    return ::lstat(name.c_str(), &info) == 0;
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

// rename() that never replaces an existing file, also on file systems without RENAME_NOREPLACE.
int MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    if (::link(from.c_str(), to.c_str()) == 0) // a hard link refuses an existing name as well
        return ::unlink(from.c_str());
    if (errno == EEXIST)
        return -1;
    if (NameTaken(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

} // namespace

std::string DamagedFileName(const std::string& fileName) {
    const std::string plain = fileName + ".damaged";
    if (!NameTaken(plain))
        return plain;
    const std::string stamped = plain + "-" + LocalTimeStamp();
    std::string name = stamped;
    for (int n = 2; NameTaken(name); ++n)
        name = stamped + "-" + std::to_string(n);
    return name;
}

std::string KeepDamagedFile(const std::string& fileName, const std::string& keptName) {
    if (!NameTaken(fileName))
        return {};
    std::string name = keptName;
    // A file that appeared under the chosen name meanwhile is never overwritten.
    while (MoveWithoutReplacing(fileName, name) != 0) {
        if (errno != EEXIST)
            throw std::runtime_error("Cannot keep " + fileName + " as " + name + ": " +
                                     std::strerror(errno));
        name = DamagedFileName(fileName);
    }
    return name;
}

} // namespace kes
