// Git's ignore rules, matched by our own glob code: a query costs a walk over the patterns of the
// folders on the current path, and each ignore file is read once per walk.
#include "internal/git_ignore.h"

#include "util/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kestrava::search {

namespace {

// ---- Globs ----------------------------------------------------------------------------------

// NoMatch lets an enclosing "*" try a longer stretch; AbortAll says no stretch can help (the
// text ran out), AbortToDoubleStar that only a "**" could (a "*" met a "/").
enum class GlobResult : uint8_t { Match, NoMatch, AbortAll, AbortToDoubleStar };

bool inRange(unsigned char c, unsigned char low, unsigned char high) {
    return c >= low && c <= high;
}

// ASCII only, as git folds case in its own ignore matching.
char foldAscii(char c) {
    return inRange(static_cast<unsigned char>(c), 'A', 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameFolded(char a, char b) {
    return foldAscii(a) == foldAscii(b);
}

bool equalFolded(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, sameFolded);
}

// Membership of an ASCII byte in a POSIX class, as in the C locale; nullopt for an unknown class.
std::optional<bool> inClass(std::string_view name, unsigned char c) {
    const bool upper = inRange(c, 'A', 'Z');
    const bool lower = inRange(c, 'a', 'z');
    const bool digit = inRange(c, '0', '9');
    const bool graph = inRange(c, 33, 126);
    if (name == "alnum")
        return upper || lower || digit;
    if (name == "alpha")
        return upper || lower;
    if (name == "blank")
        return c == ' ' || c == '\t';
    if (name == "cntrl")
        return c < 32 || c == 127;
    if (name == "digit")
        return digit;
    if (name == "graph")
        return graph;
    if (name == "lower")
        return lower;
    if (name == "print")
        return graph || c == ' ';
    if (name == "punct")
        return graph && !upper && !lower && !digit;
    if (name == "space")
        return c == ' ' || inRange(c, '\t', '\r');
    if (name == "upper")
        return upper;
    if (name == "xdigit")
        return digit || inRange(c, 'a', 'f') || inRange(c, 'A', 'F');
    return std::nullopt;
}

// Each "*" tries the rest of the glob from one place after another, nesting one call deeper:
// a hostile ignore file ("**/" a million times) must not run the stack out, so past this many
// nested stars the glob matches nothing. No real pattern comes near it.
constexpr size_t kMaxNestedStars = 1024;

class Glob {
  public:
    Glob(std::string_view glob, std::string_view text, bool foldCase)
        : m_glob(glob), m_text(text), m_foldCase(foldCase) {}
    GlobResult match(size_t g, size_t t);

  private:
    GlobResult star(size_t g, size_t t);
    GlobResult starFrom(size_t g, size_t t);
    GlobResult bracket(size_t& g, unsigned char c) const;
    bool doubleStarAlone(size_t first, size_t last) const;

    std::string_view m_glob;
    std::string_view m_text;
    bool m_foldCase;
    size_t m_stars = 0; // stars nested in the calls now running
};

GlobResult Glob::match(size_t g, size_t t) {
    for (; g < m_glob.size(); ++g, ++t) {
        const char gc = m_glob[g];
        if (t == m_text.size() && gc != '*')
            return GlobResult::AbortAll;
        // Git folds the text's byte, and the glob's, but not the byte after a "\\" nor a set's
        // members: with core.ignorecase, "\\A" and "[A]" match no name at all.
        const char tc = m_foldCase ? foldAscii(m_text[t]) : m_text[t];
        switch (gc) {
        case '*':
            return star(g, t);
        case '?':
            if (m_text[t] == '/')
                return GlobResult::NoMatch;
            break;
        case '[':
            if (const GlobResult result = bracket(g, tc); result != GlobResult::Match)
                return result;
            break;
        case '\\':
            // A trailing backslash escapes nothing and matches nothing.
            if (++g == m_glob.size() || m_glob[g] != tc)
                return GlobResult::NoMatch;
            break;
        default:
            if ((m_foldCase ? foldAscii(gc) : gc) != tc)
                return GlobResult::NoMatch;
        }
    }
    return t == m_text.size() ? GlobResult::Match : GlobResult::NoMatch;
}

// Stars first..last span folders only as a whole path component: "**" after the start or a "/",
// and before the end or a "/". Anywhere else they are one "*".
bool Glob::doubleStarAlone(size_t first, size_t last) const {
    if (last == first || (first > 0 && m_glob[first - 1] != '/'))
        return false;
    const std::string_view after = m_glob.substr(last + 1);
    return after.empty() || after.front() == '/' || after.starts_with("\\/");
}

GlobResult Glob::star(size_t g, size_t t) {
    if (m_stars == kMaxNestedStars)
        return GlobResult::AbortAll;
    ++m_stars;
    const GlobResult result = starFrom(g, t);
    --m_stars;
    return result;
}

GlobResult Glob::starFrom(size_t g, size_t t) {
    const size_t first = g;
    while (g + 1 < m_glob.size() && m_glob[g + 1] == '*')
        ++g;
    const bool spansFolders = doubleStarAlone(first, g);
    ++g;
    // "**/" may stand for no folder at all.
    if (spansFolders && g < m_glob.size() && m_glob[g] == '/' &&
        match(g + 1, t) == GlobResult::Match)
        return GlobResult::Match;
    if (g == m_glob.size())
        return spansFolders || m_text.find('/', t) == std::string_view::npos ? GlobResult::Match
                                                                             : GlobResult::NoMatch;
    // A lone "*" before a "/" takes exactly what is left of this folder name.
    if (!spansFolders && m_glob[g] == '/') {
        const size_t slash = m_text.find('/', t);
        return slash == std::string_view::npos ? GlobResult::NoMatch : match(g, slash);
    }
    for (;; ++t) {
        const GlobResult result = match(g, t);
        if (result != GlobResult::NoMatch &&
            (!spansFolders || result != GlobResult::AbortToDoubleStar))
            return result;
        if (t == m_text.size())
            return GlobResult::AbortAll;
        if (!spansFolders && m_text[t] == '/')
            return GlobResult::AbortToDoubleStar;
    }
}

// g is on the "["; when c is a member, g is left on the closing "]". The first member may be "]",
// and a set with no closing "]", or naming no known class, matches nothing at all.
GlobResult Glob::bracket(size_t& g, unsigned char c) const {
    const size_t end = m_glob.size();
    if (++g == end)
        return GlobResult::AbortAll;
    const bool negated = m_glob[g] == '!' || m_glob[g] == '^';
    if (negated && ++g == end)
        return GlobResult::AbortAll;
    bool matched = false;
    unsigned char previous = 0; // the member before, for a range; 0 after a range or a class
    for (bool first = true; first || m_glob[g] != ']'; first = false) {
        auto member = static_cast<unsigned char>(m_glob[g]);
        if (member == '\\') {
            if (++g == end)
                return GlobResult::AbortAll;
            member = static_cast<unsigned char>(m_glob[g]);
            matched |= member == c;
        } else if (member == '-' && previous != 0 && g + 1 < end && m_glob[g + 1] != ']') {
            auto high = static_cast<unsigned char>(m_glob[++g]);
            if (high == '\\') {
                if (++g == end)
                    return GlobResult::AbortAll;
                high = static_cast<unsigned char>(m_glob[g]);
            }
            // A folded letter is lower case: its upper case may be in the range instead.
            matched |= inRange(c, previous, high) ||
                       (m_foldCase && inRange(c, 'a', 'z') &&
                        inRange(static_cast<unsigned char>(c - 'a' + 'A'), previous, high));
            member = 0;
        } else if (member == '[' && g + 1 < end && m_glob[g + 1] == ':') {
            const size_t close = m_glob.find(']', g + 2);
            if (close == std::string_view::npos)
                return GlobResult::AbortAll;
            if (close > g + 2 && m_glob[close - 1] == ':') {
                const std::string_view name = m_glob.substr(g + 2, close - g - 3);
                const std::optional<bool> in = inClass(name, c);
                if (!in)
                    return GlobResult::AbortAll;
                matched |= *in || (m_foldCase && name == "upper" && inRange(c, 'a', 'z'));
                g = close;
                member = 0;
            } else {
                matched |= c == '['; // no "[:name:]" after all: a plain "["
            }
        } else {
            matched |= member == c;
        }
        previous = member;
        if (++g == end)
            return GlobResult::AbortAll;
    }
    return matched == negated || c == '/' ? GlobResult::NoMatch : GlobResult::Match;
}

bool hasGlobBytes(std::string_view text) {
    return text.find_first_of("*?[\\") != std::string_view::npos;
}

// ---- Ignore files ---------------------------------------------------------------------------

// Trailing spaces go, unless a backslash keeps the one after it; tabs stay.
std::string_view withoutTrailingSpaces(std::string_view line) {
    size_t spaces = std::string_view::npos; // where the trailing run of spaces begins
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            spaces = std::min(spaces, i);
            continue;
        }
        if (line[i] == '\\' && ++i == line.size())
            return line;
        spaces = std::string_view::npos;
    }
    return line.substr(0, spaces);
}

// Plain bytes match only themselves, so a name without them cannot match. Only what comes
// before a bracket set is looked at for runs: its members are no plain bytes. A final "]" may
// close a set, a final "\\" escapes nothing.
void notePlainBytes(IgnorePattern& pattern) {
    const std::string_view glob = pattern.glob;
    pattern.fixedEnd = std::string_view("*?]\\").find(glob.back()) == std::string_view::npos;
    pattern.leading = std::min(glob.find_first_of("*?[\\"), glob.size());
    if (pattern.shape != IgnorePattern::Shape::Glob)
        return;
    const std::string_view beforeSet = glob.substr(0, glob.find('['));
    for (size_t at = 0; at < beforeSet.size();) {
        const size_t end = std::min(beforeSet.find_first_of("*?\\/", at), beforeSet.size());
        if (end - at > pattern.needed.size())
            pattern.needed = beforeSet.substr(at, end - at);
        at = end + (end < beforeSet.size() && beforeSet[end] == '\\' ? 2 : 1);
    }
}

std::optional<IgnorePattern> parseIgnoreLine(std::string_view line) {
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
        return std::nullopt;
    line = withoutTrailingSpaces(line);
    IgnorePattern pattern;
    if (line.starts_with('!')) {
        pattern.negated = true;
        line.remove_prefix(1);
    }
    if (line.ends_with('/')) {
        pattern.folderOnly = true;
        line.remove_suffix(1);
    }
    pattern.anchored = line.find('/') != std::string_view::npos;
    if (line.starts_with('/'))
        line.remove_prefix(1);
    if (line.empty())
        return std::nullopt;
    pattern.glob = line;
    if (!hasGlobBytes(line))
        pattern.shape = IgnorePattern::Shape::Literal;
    else if (!pattern.anchored && line.front() == '*' && !hasGlobBytes(line.substr(1)))
        pattern.shape = IgnorePattern::Shape::Suffix;
    notePlainBytes(pattern);
    return pattern;
}

enum class Verdict : uint8_t { None, Ignored, Kept };

// The last pattern that matches decides.
Verdict lastMatch(const IgnorePatterns& patterns, std::string_view pathFromBase,
                  std::string_view name, bool isFolder, bool foldCase) {
    for (auto it = patterns.rbegin(); it != patterns.rend(); ++it)
        if (it->matches(pathFromBase, name, isFolder, foldCase))
            return it->negated ? Verdict::Kept : Verdict::Ignored;
    return Verdict::None;
}

// A whole small file, or "" when it cannot be read: an unreadable ignore file ignores nothing.
// Ignore files inside the tree are not followed through links, as git does not follow them.
std::string readText(int folderFd, const std::string& path, bool followLinks = true) {
    const int flags = O_RDONLY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW);
    const util::UniqueFd file(openat(folderFd, path.c_str(), flags));
    struct stat info = {};
    if (!file.isOpen() || fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t have = 0;
    while (have < text.size()) {
        const ssize_t got = read(file.get(), text.data() + have, text.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        have += static_cast<size_t>(got);
    }
    text.resize(have);
    return text;
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The repository's own folder: ".git" itself, or the folder a ".git" file names ("gitdir: ..."),
// as linked worktrees and submodules have it. A descriptor for the caller to close, or -1.
int openGitFolder(int folderFd) {
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int gitFolder = openat(folderFd, ".git", kFlags);
    if (gitFolder < 0 && errno == ENOTDIR) {
        const std::string text = readText(folderFd, ".git");
        if (text.starts_with("gitdir:"))
            gitFolder = openat(folderFd, std::string(trimmed(text.substr(7))).c_str(), kFlags);
    }
    // A folder without HEAD is no repository, whatever its name.
    if (gitFolder >= 0 && faccessat(gitFolder, "HEAD", F_OK, 0) != 0) {
        close(gitFolder);
        gitFolder = -1;
    }
    return gitFolder;
}

// A linked worktree keeps info/exclude and the configuration in the common folder that its own
// folder's "commondir" names.
util::UniqueFd openCommonFolder(int gitFolderFd) {
    std::string common(trimmed(readText(gitFolderFd, "commondir")));
    if (common.empty())
        common = ".";
    return util::UniqueFd(openat(gitFolderFd, common.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// ---- Git configuration ----------------------------------------------------------------------

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// A value as git reads it: outer blanks dropped, "..." quoting, backslash escapes, and a comment
// from an unquoted "#" or ";".
std::string configValue(std::string_view raw) {
    std::string value;
    size_t kept = 0; // value's length up to its last byte that is not an unquoted blank
    bool quoted = false;
    for (size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (!quoted && (c == '#' || c == ';'))
            break;
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c == '\\' && i + 1 < raw.size()) {
            const char escaped = raw[++i];
            value += escaped == 'n'   ? '\n'
                     : escaped == 't' ? '\t'
                     : escaped == 'b' ? '\b'
                                      : escaped;
            kept = value.size();
            continue;
        }
        if (!quoted && (c == ' ' || c == '\t') && value.empty())
            continue;
        value += c;
        if (quoted || (c != ' ' && c != '\t'))
            kept = value.size();
    }
    value.resize(kept);
    return value;
}

// A boolean as git reads one: a key written alone is true, and so is a number other than 0.
bool configBool(const std::optional<std::string>& value) {
    if (!value)
        return true;
    const std::string lower = lowerAscii(*value);
    if (lower == "true" || lower == "yes" || lower == "on")
        return true;
    long number = 0;
    const auto [end, error] = std::from_chars(lower.data(), lower.data() + lower.size(), number);
    return error == std::errc() && end != lower.data() && number != 0;
}

// The home folder of the user a "~name" names.
std::string userHome(const std::string& user) {
    passwd entry = {};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr)
        return {};
    return found->pw_dir;
}

// "~" and "~/..." stand for the home folder, "~name/..." for that user's. "" when there is no
// such folder: git refuses the file then, so nothing is read.
std::string expandHome(std::string path) {
    if (!path.starts_with('~'))
        return path;
    const size_t slash = std::min(path.find('/'), path.size());
    const char* home = slash == 1 ? std::getenv("HOME") : nullptr;
    const std::string folder =
        slash == 1 ? std::string(home == nullptr ? "" : home) : userHome(path.substr(1, slash - 1));
    return folder.empty() ? std::string() : path.replace(0, slash, folder);
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

bool environmentFlag(const char* name) {
    const std::string value = lowerAscii(environment(name));
    return !value.empty() && value != "0" && value != "false" && value != "no" && value != "off";
}

void takeLater(GitCoreSettings& settings, GitCoreSettings later) {
    if (later.excludesFile)
        settings.excludesFile = std::move(later.excludesFile);
    if (later.ignoreCase)
        settings.ignoreCase = later.ignoreCase;
}

// What the system's and the user's git configuration set (later files win), with git's default
// place for the excludes file, "~" expanded.
GitCoreSettings findUserSettings() {
    const std::string home = environment("HOME");
    std::string xdg = environment("XDG_CONFIG_HOME");
    if (xdg.empty() && !home.empty())
        xdg = home + "/.config";
    std::vector<std::string> configs;
    if (!environmentFlag("GIT_CONFIG_NOSYSTEM"))
        configs.emplace_back("/etc/gitconfig");
    if (!xdg.empty())
        configs.push_back(xdg + "/git/config");
    if (!home.empty())
        configs.push_back(home + "/.gitconfig");
    GitCoreSettings settings;
    for (const std::string& config : configs)
        takeLater(settings, coreSettings(readText(AT_FDCWD, config)));
    if (settings.excludesFile)
        settings.excludesFile = expandHome(*settings.excludesFile);
    else if (!xdg.empty())
        settings.excludesFile = xdg + "/git/ignore";
    return settings;
}

// One "key = value" line, or a key alone, of the [core] section.
void noteCoreSetting(GitCoreSettings& settings, std::string_view line) {
    const size_t equals = line.find('=');
    const std::string key = lowerAscii(trimmed(line.substr(0, equals)));
    std::optional<std::string> value;
    if (equals != std::string_view::npos)
        value = configValue(line.substr(equals + 1));
    if (key == "excludesfile" && value)
        settings.excludesFile = std::move(value);
    else if (key == "ignorecase")
        settings.ignoreCase = configBool(value);
}

std::string parentFolder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

} // namespace

bool globMatches(std::string_view glob, std::string_view text, bool foldCase) {
    return Glob(glob, text, foldCase).match(0, 0) == GlobResult::Match;
}

bool IgnorePattern::matches(std::string_view pathFromBase, std::string_view name, bool isFolder,
                            bool foldCase) const {
    if (folderOnly && !isFolder)
        return false;
    return foldCase ? matchesFolded(anchored ? pathFromBase : name)
                    : matchesExactly(anchored ? pathFromBase : name);
}

bool IgnorePattern::matchesExactly(std::string_view subject) const {
    // A path ends with its name, so the last byte decides for most names without a call.
    if (fixedEnd && subject.back() != glob.back())
        return false;
    switch (shape) {
    case Shape::Literal:
        return subject == glob;
    case Shape::Suffix:
        return subject.ends_with(std::string_view(glob).substr(1));
    case Shape::Glob:
        break;
    }
    if (leading > 0 && (subject.size() < leading || subject.front() != glob.front() ||
                        subject.compare(0, leading, glob, 0, leading) != 0))
        return false;
    return subject.find(needed) != std::string_view::npos && globMatches(glob, subject);
}

// The same tests as matchesExactly, letters compared without regard to case.
bool IgnorePattern::matchesFolded(std::string_view subject) const {
    if (fixedEnd && !sameFolded(subject.back(), glob.back()))
        return false;
    const std::string_view pattern = glob;
    switch (shape) {
    case Shape::Literal:
        return equalFolded(subject, pattern);
    case Shape::Suffix:
        return subject.size() >= pattern.size() - 1 &&
               equalFolded(subject.substr(subject.size() - pattern.size() + 1), pattern.substr(1));
    case Shape::Glob:
        break;
    }
    if (subject.size() < leading ||
        !equalFolded(subject.substr(0, leading), pattern.substr(0, leading)))
        return false;
    return (needed.empty() || std::search(subject.begin(), subject.end(), needed.begin(),
                                          needed.end(), sameFolded) != subject.end()) &&
           globMatches(glob, subject, true);
}

IgnorePatterns parseIgnoreText(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    IgnorePatterns patterns;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        if (auto pattern = parseIgnoreLine(text.substr(0, end)))
            patterns.push_back(std::move(*pattern));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return patterns;
}

GitCoreSettings coreSettings(std::string_view configText) {
    GitCoreSettings settings;
    bool inCore = false;
    while (!configText.empty()) {
        const size_t end = std::min(configText.find('\n'), configText.size());
        std::string_view line = trimmed(configText.substr(0, end));
        configText.remove_prefix(std::min(end + 1, configText.size()));
        if (line.starts_with('[')) {
            // "[core]" only: "[core "x"]" and "[core.x]" are subsections. A key may follow.
            const size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            inCore = lowerAscii(trimmed(line.substr(1, close - 1))) == "core";
            line = trimmed(line.substr(close + 1));
        }
        if (inCore && !line.empty())
            noteCoreSetting(settings, line);
    }
    return settings;
}

GitIgnore::GitIgnore(const std::string& topFolder) {
    const std::unique_ptr<char, decltype(&std::free)> real(realpath(topFolder.c_str(), nullptr),
                                                           &std::free);
    if (real == nullptr)
        return;
    const std::string top = real.get();
    for (std::string folder = top;; folder = parentFolder(folder)) {
        const util::UniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folderFd.isOpen())
            if (const Repository* repository = openRepository(folderFd.get())) {
                descendTo(folder, top, repository);
                return;
            }
        if (folder == "/")
            return;
    }
}

// Reads the ignore files from the repository's root down to the top folder's parent, and sees
// whether the top folder lies in an ignored folder: then nothing in it counts.
void GitIgnore::descendTo(const std::string& root, const std::string& top,
                          const Repository* repository) {
    m_topRepository = repository;
    std::string folder = root;
    std::string_view below = std::string_view(top).substr(root.size());
    while (!below.empty()) {
        if (below.front() == '/')
            below.remove_prefix(1);
        const std::string_view name = below.substr(0, below.find('/'));
        below.remove_prefix(name.size());
        Frame& frame = m_frames.emplace_back();
        frame.relative = m_topRelative;
        frame.repository = repository;
        frame.patterns = parseIgnoreText(readText(AT_FDCWD, folder + "/.gitignore", false));
        m_topIgnored = m_topIgnored || ignored(name, true);
        m_topRelative.append(name).append("/");
        folder.append(folder.ends_with('/') ? "" : "/").append(name);
    }
    m_base = m_frames.size();
}

void GitIgnore::enterFolder(size_t depth, int folderFd, std::string_view name, GitMarks marks) {
    m_frames.resize(m_base + depth);
    Frame frame;
    if (depth == 0) {
        frame.relative = m_topRelative;
        frame.repository = m_topRepository;
    } else if (const Repository* nested = marks.gitEntry ? openRepository(folderFd) : nullptr) {
        // A repository below starts afresh: its own ignore files, not those of the one above.
        frame.repository = nested;
        frame.repositoryStart = m_frames.size();
    } else if (const Frame& parent = m_frames.back(); parent.repository != nullptr) {
        frame.relative.reserve(parent.relative.size() + name.size() + 1);
        frame.relative.append(parent.relative).append(name).append("/");
        frame.repository = parent.repository;
        frame.repositoryStart = parent.repositoryStart;
    }
    if (frame.repository != nullptr && marks.ignoreFile)
        frame.patterns = parseIgnoreText(readText(folderFd, ".gitignore", false));
    m_frames.push_back(std::move(frame));
}

bool GitIgnore::ignored(std::string_view name, bool isFolder) {
    if (m_topIgnored)
        return true;
    const Frame& here = m_frames.back();
    if (here.repository == nullptr)
        return false;
    m_path.assign(here.relative).append(name);
    const bool foldCase = here.repository->ignoreCase;
    for (size_t i = m_frames.size(); i-- > here.repositoryStart;) {
        const Frame& frame = m_frames[i];
        if (frame.patterns.empty())
            continue;
        const std::string_view fromBase = std::string_view(m_path).substr(frame.relative.size());
        if (const Verdict verdict = lastMatch(frame.patterns, fromBase, name, isFolder, foldCase);
            verdict != Verdict::None)
            return verdict == Verdict::Ignored;
    }
    for (const IgnorePatterns* patterns : {&here.repository->exclude, here.repository->user})
        if (const Verdict verdict = lastMatch(*patterns, m_path, name, isFolder, foldCase);
            verdict != Verdict::None)
            return verdict == Verdict::Ignored;
    return false;
}

const GitIgnore::Repository* GitIgnore::openRepository(int folderFd) {
    const util::UniqueFd gitFolder(openGitFolder(folderFd));
    if (!gitFolder.isOpen())
        return nullptr;
    const util::UniqueFd common = openCommonFolder(gitFolder.get());
    if (!common.isOpen())
        return nullptr;
    Repository& repository = m_repositories.emplace_back();
    repository.exclude = parseIgnoreText(readText(common.get(), "info/exclude"));
    GitCoreSettings own = coreSettings(readText(common.get(), "config"));
    if (own.excludesFile)
        own.excludesFile = expandHome(*own.excludesFile);
    GitCoreSettings settings = userSettings();
    takeLater(settings, std::move(own));
    repository.ignoreCase = settings.ignoreCase.value_or(false);
    const std::string path = settings.excludesFile.value_or(std::string());
    if (path.empty() || path.starts_with('/')) {
        repository.user = excludesFile(path);
    } else {
        // Git reads it from the top of the work tree, the folder holding ".git".
        repository.ownUser = parseIgnoreText(readText(folderFd, path));
        repository.user = &repository.ownUser;
    }
    return &repository;
}

const IgnorePatterns* GitIgnore::excludesFile(const std::string& path) {
    auto [it, added] = m_excludesFiles.try_emplace(path);
    if (added && !path.empty())
        it->second = parseIgnoreText(readText(AT_FDCWD, path));
    return &it->second;
}

const GitCoreSettings& GitIgnore::userSettings() {
    if (!m_userSettings)
        m_userSettings = findUserSettings();
    return *m_userSettings;
}

} // namespace kestrava::search
