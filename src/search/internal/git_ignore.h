// Git's ignore rules for the folder walk: finds the repository a searched folder lies in, reads
// each folder's .gitignore once, when the walk enters it, and judges every name as git would
// (.gitignore files deepest first, then info/exclude, then the user's excludes file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::search {

// True when text matches a gitignore glob: "*", "?" and "[...]" (ranges, "!" or "^" to negate,
// [:alpha:] and the other POSIX classes) never match "/"; "**" standing alone between slashes, or
// at either end, also spans folders ("a/**/b" takes "a/b"); "\" takes the next byte literally.
// foldCase matches as git's core.ignorecase does: ASCII letters of the text and of the glob's
// plain bytes without regard to case, but an escaped byte or a set's member exactly as written.
bool globMatches(std::string_view glob, std::string_view text, bool foldCase = false);

struct IgnorePattern {
    enum class Shape : uint8_t { Glob, Literal, Suffix }; // Suffix: "*" then literal bytes
    std::string glob;        // without "!", a leading "/" or a trailing "/"
    bool negated = false;    // "!": what it matches is not ignored after all
    bool folderOnly = false; // written with a trailing "/"
    bool anchored = false;   // held a "/": matched against the path from its file's folder
    Shape shape = Shape::Glob;
    // Bytes any match must hold, tried before the glob: they turn most names away at once.
    bool fixedEnd = false; // the glob ends with a plain byte, which ends every match
    size_t leading = 0;    // the plain bytes the glob starts with
    std::string needed;    // its longest run of plain bytes, "/" left out (a "**/" may take none)

    // pathFromBase: the name's path from the folder of the pattern's file; foldCase as for
    // globMatches.
    bool matches(std::string_view pathFromBase, std::string_view name, bool isFolder,
                 bool foldCase = false) const;

  private:
    bool matchesExactly(std::string_view subject) const;
    bool matchesFolded(std::string_view subject) const;
};
using IgnorePatterns = std::vector<IgnorePattern>;

// The patterns of an ignore file, in file order (blank lines and comments give none).
IgnorePatterns parseIgnoreText(std::string_view text);

// What a git configuration text sets in its [core] section; the last setting of a key wins.
struct GitCoreSettings {
    std::optional<std::string> excludesFile; // as written: "~" not expanded, maybe relative
    std::optional<bool> ignoreCase;
};
GitCoreSettings coreSettings(std::string_view configText);

// What a listing noticed among the hidden names it otherwise leaves out.
struct GitMarks {
    bool ignoreFile = false; // ".gitignore"
    bool gitEntry = false;   // ".git": maybe the root of a repository of its own
};

// The rules in force while one top folder is walked. The walk reports each folder it lists, at
// its depth (0 for the top folder), and then asks about that folder's names.
class GitIgnore {
  public:
    // Finds the repository holding topFolder (from its real path upwards) and reads the ignore
    // files of the folders from that repository's root down to topFolder's parent.
    explicit GitIgnore(const std::string& topFolder);

    // The walk has listed a folder: folderFd is open on it, name is its name in its parent. A
    // folder reached through a link counts as what stands at the link's place: the rules of the
    // repository being walked apply, with the ignore files found in it, unless it is the root of
    // a repository of its own (then its rules do).
    void enterFolder(size_t depth, int folderFd, std::string_view name, GitMarks marks);
    // True when git ignores this name, a folder or not, of the folder entered last.
    bool ignored(std::string_view name, bool isFolder);

  private:
    struct Repository {
        IgnorePatterns exclude;               // info/exclude
        const IgnorePatterns* user = nullptr; // the excludes file its configuration names
        IgnorePatterns ownUser;               // that file, when named relative to the work tree
        bool ignoreCase = false;              // core.ignorecase
    };
    struct Frame {
        std::string relative; // from the repository root: "" or ending with "/"
        IgnorePatterns patterns;
        const Repository* repository = nullptr; // none outside any repository
        size_t repositoryStart = 0;             // the frame of the repository's root folder
    };

    void descendTo(const std::string& root, const std::string& top, const Repository* repository);
    const Repository* openRepository(int folderFd);
    const IgnorePatterns* excludesFile(const std::string& path);
    const GitCoreSettings& userSettings();

    std::vector<Frame> m_frames;
    size_t m_base = 0;         // frames of the folders above the top folder
    bool m_topIgnored = false; // the top folder lies in an ignored folder, or is one
    std::string m_topRelative;
    const Repository* m_topRepository = nullptr;
    std::deque<Repository> m_repositories;
    std::map<std::string, IgnorePatterns> m_excludesFiles;
    std::optional<GitCoreSettings> m_userSettings;
    std::string m_path; // scratch for the path of the name being judged
};

} // namespace kestrava::search
