// The .ksc file: splitting into lines, the keyword field, the order rules of the reader, and
// the writer's exact bytes.
#include "script/script.h"
#include "util/text.h"

#include "search/search.h"
#include "util/file_io.h"
#include "util/unique_fd.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace kestrava::script {

namespace {

constexpr size_t kKeywordColumns = 10;
constexpr size_t kValueColumn = 12; // 0-based: columns 11 and 12 are skipped

struct Keyword {
    std::string_view field; // the first ten columns
    ScriptLineKind kind;
};

constexpr std::array<Keyword, 5> kKeywords{{
    {kScriptFoldersField.substr(0, kKeywordColumns), ScriptLineKind::Folders},
    {kScriptFilesField.substr(0, kKeywordColumns), ScriptLineKind::Files},
    {kScriptFindField.substr(0, kKeywordColumns), ScriptLineKind::Find},
    {kScriptReplaceField.substr(0, kKeywordColumns), ScriptLineKind::Replace},
    {kScriptOptionsField.substr(0, kKeywordColumns), ScriptLineKind::Options},
}};

// The reader's item under construction; Kind 0 nothing, 1 Folder(s)/File(s), 2 Find/Replace.
struct ProFormaEntry {
    uint8_t kind = 0;
    std::string folders, files, find, replace, options;
};

bool orderHolds(ScriptLineKind kind, ScriptLineKind previous) {
    switch (kind) {
    case ScriptLineKind::Folders:
    case ScriptLineKind::Find:
        return previous == ScriptLineKind::Blank;
    case ScriptLineKind::Files:
        return previous == ScriptLineKind::Folders;
    case ScriptLineKind::Replace:
        return previous == ScriptLineKind::Find;
    case ScriptLineKind::Options:
        return previous == ScriptLineKind::Find || previous == ScriptLineKind::Replace;
    default:
        return true;
    }
}

std::string lineValue(const std::string& line, ScriptLineKind kind) {
    const std::string_view value =
        line.size() > kValueColumn ? std::string_view(line).substr(kValueColumn) : "";
    // Find and Replace values keep their blanks: they belong to the expression.
    if (kind == ScriptLineKind::Find || kind == ScriptLineKind::Replace)
        return std::string(value);
    return util::trimControl(value);
}

class ScriptReader {
  public:
    explicit ScriptReader(ScriptEntries& entries) : m_entries(entries) {}

    void read(const std::string& line) {
        const ScriptLineKind kind = classifyScriptLine(line);
        if (kind == ScriptLineKind::Unknown)
            throw std::runtime_error("Unknown line in script: " + line);
        if (!orderHolds(kind, m_previous))
            throw std::runtime_error("Invalid line type prior to: \"" + line + "\"");
        take(kind, line);
        m_previous = kind;
    }

    void finish() { complete(); }

  private:
    void take(ScriptLineKind kind, const std::string& line) {
        std::string value = lineValue(line, kind);
        switch (kind) {
        case ScriptLineKind::Folders:
            m_pending.kind = 1;
            m_pending.folders = std::move(value);
            break;
        case ScriptLineKind::Files:
            m_pending.files = std::move(value);
            break;
        case ScriptLineKind::Find:
            if (!m_haveFolders)
                throw std::runtime_error("Folder(s) and File(s) must be defined before this line " +
                                         line);
            m_pending.kind = 2;
            m_pending.find = std::move(value);
            break;
        case ScriptLineKind::Replace:
            m_pending.replace = std::move(value);
            break;
        case ScriptLineKind::Options:
            m_pending.options = std::move(value);
            break;
        default:
            complete();
        }
    }

    void complete() {
        if (m_pending.kind == 1) {
            m_entries.push_back(ScriptEntry::folderFile(m_pending.folders, m_pending.files));
            m_haveFolders = true;
        } else if (m_pending.kind == 2) {
            m_entries.push_back(
                ScriptEntry::findReplace(m_pending.find, m_pending.replace, m_pending.options));
        }
        m_pending = ProFormaEntry{};
    }

    ScriptEntries& m_entries;
    ScriptLineKind m_previous = ScriptLineKind::Blank;
    ProFormaEntry m_pending;
    bool m_haveFolders = false;
};

std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The whole file as bytes; throws with the system's words when it cannot be read.
std::string readScriptFile(const std::string& path) {
    // O_NONBLOCK: a FIFO named by mistake must not hang the program waiting for a writer.
    const util::UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.isOpen())
        throw std::runtime_error(systemError("Open Error"));
    struct stat info = {};
    if (fstat(file.get(), &info) != 0)
        throw std::runtime_error(systemError("Read Error"));
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error("Not a regular file");
    std::string text;
    std::array<char, 65536> chunk{};
    for (;;) {
        const ssize_t got = read(file.get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::runtime_error(systemError("Read Error"));
        if (got == 0)
            return text;
        text.append(chunk.data(), static_cast<size_t>(got));
    }
}

bool holdsLineBreak(const std::string& value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
}

// A value with a line break or NUL would read back as other lines (or be cut short), so such a
// script is refused rather than written wrong. Returns why, or "".
std::string unwritableReason(const Script& script) {
    for (const ScriptEntry& entry : script.entries)
        if (holdsLineBreak(entry.heading()) ||
            holdsLineBreak(entry.isFolderFile() ? entry.files : entry.replace))
            return "item " + scriptItemNumber(entry) +
                   " holds a line break or NUL, which a script file cannot keep";
    return "";
}

void appendLine(std::string& text, std::string_view field, const std::string& value) {
    text += field;
    text += value;
    text += kScriptLineEnd;
}

} // namespace

std::vector<std::string> splitScriptLines(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

ScriptLineKind classifyScriptLine(std::string_view line) {
    if (line.empty())
        return ScriptLineKind::Blank;
    for (const Keyword& keyword : kKeywords)
        if (line.substr(0, kKeywordColumns) == keyword.field)
            return keyword.kind;
    return ScriptLineKind::Unknown;
}

void parseScriptText(Script& script, std::string_view text) {
    script.entries.clear();
    ScriptReader reader(script.entries);
    for (const std::string& line : splitScriptLines(text))
        reader.read(line);
    reader.finish();
}

void loadScript(Script& script, const std::string& path) {
    clearScript(script);
    try {
        parseScriptText(script, readScriptFile(path));
    } catch (const std::exception& failure) {
        clearScript(script);
        throw std::runtime_error("Unable to load script file: " + path + "\r\n" + failure.what());
    }
    script.fileName = path;
    if (!script.entries.empty()) {
        script.currentEntry = 0;
        numberScriptEntries(script);
    }
    buildScriptLines(script);
}

std::string scriptText(const Script& script) {
    std::string text;
    for (const ScriptEntry& entry : script.entries) {
        if (entry.isFolderFile()) {
            appendLine(text, kScriptFoldersField, entry.folders);
            appendLine(text, kScriptFilesField, entry.files);
        } else {
            appendLine(text, kScriptFindField, entry.find);
            if (!entry.replace.empty())
                appendLine(text, kScriptReplaceField, entry.replace);
        }
        text += kScriptLineEnd;
    }
    return text;
}

void writeScript(Script& script, const std::string& path) {
    std::string message = unwritableReason(script);
    if (!message.empty() || !util::writeFileAtomically(path, scriptText(script), message))
        throw std::runtime_error("Unable to save Script to " + path + ": " + message);
    script.fileName = path;
    script.changed = false;
}

} // namespace kestrava::script
