// The .ksc file: splitting into lines, the keyword field, the order rules of the reader, and
// the writer's exact bytes.
#include "script/kes_uScript.h"

#include "search/kes_uFind.h"
#include "util/ldiFileHandle.h"
#include "util/ldiFileIO.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>

namespace kes {

namespace {

constexpr size_t kKeywordColumns = 10;
constexpr size_t kValueColumn = 12; // 0-based: columns 11 and 12 are skipped

struct TKeyword {
    std::string_view Field; // the first ten columns
    TkesScriptLineKind Kind;
};

constexpr std::array<TKeyword, 5> kKeywords{{
    {kScriptFoldersField.substr(0, kKeywordColumns), slkFolders},
    {kScriptFilesField.substr(0, kKeywordColumns), slkFiles},
    {kScriptFindField.substr(0, kKeywordColumns), slkFind},
    {kScriptReplaceField.substr(0, kKeywordColumns), slkReplace},
    {kScriptOptionsField.substr(0, kKeywordColumns), slkOptions},
}};

// The reader's item under construction; Kind 0 nothing, 1 Folder(s)/File(s), 2 Find/Replace.
struct TProFormaScriptEntry {
    uint8_t Kind = 0;
    std::string Folders, Files, Find, Replace, Options;
};

bool OrderHolds(TkesScriptLineKind kind, TkesScriptLineKind previous) {
    switch (kind) {
    case slkFolders:
    case slkFind:
        return previous == slkBlank;
    case slkFiles:
        return previous == slkFolders;
    case slkReplace:
        return previous == slkFind;
    case slkOptions:
        return previous == slkFind || previous == slkReplace;
    default:
        return true;
    }
}

std::string LineValue(const std::string& line, TkesScriptLineKind kind) {
    const std::string_view value =
        line.size() > kValueColumn ? std::string_view(line).substr(kValueColumn) : "";
    // Find and Replace values keep their blanks: they belong to the expression.
    if (kind == slkFind || kind == slkReplace)
        return std::string(value);
    return TrimControl(value);
}

class TScriptReader {
  public:
    explicit TScriptReader(TkesScriptEntries& entries) : fEntries(entries) {}

    void Read(const std::string& line) {
        const TkesScriptLineKind kind = ClassifyScriptLine(line);
        if (kind == slkUnknown)
            throw std::runtime_error("Unknown line in script: " + line);
        if (!OrderHolds(kind, fPrevious))
            throw std::runtime_error("Invalid line type prior to: \"" + line + "\"");
        Take(kind, line);
        fPrevious = kind;
    }

    void Finish() { Complete(); }

  private:
    void Take(TkesScriptLineKind kind, const std::string& line) {
        std::string value = LineValue(line, kind);
        switch (kind) {
        case slkFolders:
            fPending.Kind = 1;
            fPending.Folders = std::move(value);
            break;
        case slkFiles:
            fPending.Files = std::move(value);
            break;
        case slkFind:
            if (!fHaveFolders)
                throw std::runtime_error("Folder(s) and File(s) must be defined before this line " +
                                         line);
            fPending.Kind = 2;
            fPending.Find = std::move(value);
            break;
        case slkReplace:
            fPending.Replace = std::move(value);
            break;
        case slkOptions:
            fPending.Options = std::move(value);
            break;
        default:
            Complete();
        }
    }

    void Complete() {
        if (fPending.Kind == 1) {
            fEntries.push_back({0, 0, sekFolderFile, fPending.Folders, fPending.Files, ""});
            fHaveFolders = true;
        } else if (fPending.Kind == 2) {
            fEntries.push_back(
                {0, 0, sekFindReplace, fPending.Find, fPending.Replace, fPending.Options});
        }
        fPending = TProFormaScriptEntry{};
    }

    TkesScriptEntries& fEntries;
    TkesScriptLineKind fPrevious = slkBlank;
    TProFormaScriptEntry fPending;
    bool fHaveFolders = false;
};

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The whole file as bytes; throws with the system's words when it cannot be read.
std::string ReadScriptFile(const std::string& path) {
    // O_NONBLOCK: a FIFO named by mistake must not hang the program waiting for a writer.
    const TFileHandle file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.IsOpen())
        throw std::runtime_error(SystemError("Open Error"));
    struct stat info {};
    if (fstat(file.Get(), &info) != 0)
        throw std::runtime_error(SystemError("Read Error"));
    if (!S_ISREG(info.st_mode))
        throw std::runtime_error("Not a regular file");
    std::string text;
    std::array<char, 65536> chunk{};
    for (;;) {
        const ssize_t got = read(file.Get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw std::runtime_error(SystemError("Read Error"));
        if (got == 0)
            return text;
        text.append(chunk.data(), static_cast<size_t>(got));
    }
}

bool HoldsLineBreak(const std::string& value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
}

// A value with a line break or NUL would read back as other lines (or be cut short), so such a
// script is refused rather than written wrong. Returns why, or "".
std::string UnwritableReason(const TkesScript& script) {
    for (const TkesScriptEntry& entry : script.Entries)
        if (HoldsLineBreak(entry.Text1) || HoldsLineBreak(entry.Text2))
            return "item " + ScriptItemNumber(entry) +
                   " holds a line break or NUL, which a script file cannot keep";
    return "";
}

void AppendLine(std::string& text, std::string_view field, const std::string& value) {
    text += field;
    text += value;
    text += kScriptLineEnd;
}

} // namespace

std::vector<std::string> SplitScriptLines(std::string_view text) {
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

TkesScriptLineKind ClassifyScriptLine(std::string_view line) {
    if (line.empty())
        return slkBlank;
    for (const TKeyword& keyword : kKeywords)
        if (line.substr(0, kKeywordColumns) == keyword.Field)
            return keyword.Kind;
    return slkUnknown;
}

void ParseScriptText(TkesScript& script, std::string_view text) {
    script.Entries.clear();
    TScriptReader reader(script.Entries);
    for (const std::string& line : SplitScriptLines(text))
        reader.Read(line);
    reader.Finish();
}

void LoadScript(TkesScript& script, const std::string& path) {
    ClearScript(script);
    try {
        ParseScriptText(script, ReadScriptFile(path));
    } catch (const std::exception& failure) {
        ClearScript(script);
        throw std::runtime_error("Unable to load script file: " + path + "\r\n" + failure.what());
    }
    script.FileName = path;
    if (!script.Entries.empty()) {
        script.CurrentEntry = 0;
        NumberScriptEntries(script);
    }
    BuildScriptLines(script);
}

std::string ScriptText(const TkesScript& script) {
    std::string text;
    for (const TkesScriptEntry& entry : script.Entries) {
        if (entry.EntryKind == sekFolderFile) {
            AppendLine(text, kScriptFoldersField, entry.Text1);
            AppendLine(text, kScriptFilesField, entry.Text2);
        } else {
            AppendLine(text, kScriptFindField, entry.Text1);
            if (!entry.Text2.empty())
                AppendLine(text, kScriptReplaceField, entry.Text2);
        }
        text += kScriptLineEnd;
    }
    return text;
}

void WriteScript(TkesScript& script, const std::string& path) {
    std::string message = UnwritableReason(script);
    if (!message.empty() || !ldiTryWriteTextFile(path, ScriptText(script), message))
        throw std::runtime_error("Unable to save Script to " + path + ": " + message);
    script.FileName = path;
    script.Changed = false;
}

} // namespace kes
