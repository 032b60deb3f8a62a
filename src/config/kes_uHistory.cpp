// kestrava.ini: a small INI reader and writer of our own. Values are taken byte for byte from
// after the first "=" to the end of the line, so blanks, quotes, "=" and any non-ASCII bytes in
// an entry come back exactly as they were saved.
#include "config/kes_uHistory.h"

#include "config/kes_uConfigPaths.h"
#include "config/kes_uReadFile.h"
#include "util/ldiFileIO.h"
#include "util/ldiText.h"

#include <charconv>
#include <stdexcept>

namespace kes {

namespace {

struct TIniEntry {
    std::string_view Key;
    std::string_view Value;
};

struct TIniSection {
    std::string_view Name;
    std::vector<TIniEntry> Entries;
};

// The next line of text from pos (without its LF or CR LF); pos moves past it.
std::string_view NextLine(std::string_view text, size_t& pos) {
    const size_t lf = text.find('\n', pos);
    const size_t end = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return line;
}

// Lines before the first section, comments (";") and lines without "=" carry nothing.
std::vector<TIniSection> ParseIni(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<TIniSection> sections;
    size_t pos = 0;
    while (pos < text.size()) {
        const std::string_view line = NextLine(text, pos);
        const std::string_view trimmed = TrimBlanks(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            sections.push_back({TrimBlanks(trimmed.substr(1, trimmed.size() - 2)), {}});
            continue;
        }
        const size_t equals = line.find('=');
        if (sections.empty() || trimmed.starts_with(';') || equals == std::string_view::npos)
            continue;
        sections.back().Entries.push_back(
            {TrimBlanks(line.substr(0, equals)), line.substr(equals + 1)});
    }
    return sections;
}

// Every entry of the sections named so, in file order (a repeated section adds to the first).
std::vector<TIniEntry> SectionEntries(const std::vector<TIniSection>& sections,
                                      std::string_view name) {
    std::vector<TIniEntry> entries;
    for (const auto& section : sections) {
        if (SameTextAscii(section.Name, name))
            entries.insert(entries.end(), section.Entries.begin(), section.Entries.end());
    }
    return entries;
}

int32_t ReadIndex(const std::vector<TIniEntry>& entries, std::string_view key) {
    for (const auto& entry : entries) {
        if (!SameTextAscii(entry.Key, key))
            continue;
        std::string_view value = TrimBlanks(entry.Value);
        if (value.starts_with('+'))
            value.remove_prefix(1);
        int32_t index = -1;
        const char* end = value.data() + value.size();
        auto [ptr, ec] = std::from_chars(value.data(), end, index);
        return (!value.empty() && ec == std::errc() && ptr == end) ? index : -1;
    }
    return -1;
}

void CommitEntry(THistoryBox box, const std::string& entry, const THistoryLoadCallbacks& cb) {
    if (entry.empty())
        return;
    const bool folders = box == hbRootFolders || box == hbFoldersToSearch;
    if (folders && cb.ValidateFolders)
        cb.ValidateFolders(entry);
    if (box == hbFilesToSearch && cb.ValidateFiles)
        cb.ValidateFiles(entry);
    if (cb.AddItem)
        cb.AddItem(box, entry);
}

void LoadSections(const std::vector<TIniSection>& sections, const THistoryLoadCallbacks& cb) {
    for (size_t box = 0; box < kHistoryBoxCount; ++box) {
        for (const auto& entry : SectionEntries(sections, kHistorySections[box]))
            CommitEntry(static_cast<THistoryBox>(box), std::string(entry.Value), cb);
    }
    if (!cb.SetItemIndex)
        return;
    cb.SetItemIndex(hbRootFolders, -1); // the Root Folder selection is not kept
    const std::vector<TIniEntry> indices = SectionEntries(sections, kItemIndexSection);
    for (size_t box = hbFoldersToSearch; box < kHistoryBoxCount; ++box)
        cb.SetItemIndex(static_cast<THistoryBox>(box), ReadIndex(indices, kHistorySections[box]));
}

[[noreturn]] void RaiseLoadError(std::string_view text) {
    throw std::runtime_error("Error loading configuration: " + std::string(text));
}

std::string WithoutLineBreaks(std::string entry) {
    for (char& c : entry) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return entry;
}

} // namespace

void LoadHistoryFromText(std::string_view text, const THistoryLoadCallbacks& callbacks) {
    try {
        LoadSections(ParseIni(text), callbacks);
    } catch (const std::exception& e) {
        RaiseLoadError(e.what());
    } catch (...) {
        RaiseLoadError("unknown error");
    }
}

void LoadHistory(const std::string& fileName, const THistoryLoadCallbacks& callbacks) {
    std::string text;
    std::string error;
    if (ReadSettingsFile(fileName, text, error) == rfFailed)
        RaiseLoadError(error);
    LoadHistoryFromText(text, callbacks); // a missing file reads as empty sections
}

std::string HistoryToText(const THistoryBoxes& boxes) {
    std::string text;
    for (size_t box = 0; box < kHistoryBoxCount; ++box) {
        const std::vector<std::string>& items = boxes[box].Items;
        if (items.empty())
            continue;
        text += '[' + std::string(kHistorySections[box]) + "]\n";
        for (size_t i = 0; i < items.size(); ++i)
            text += std::to_string(i + 1) + '=' + WithoutLineBreaks(items[i]) + '\n';
    }
    text += '[' + std::string(kItemIndexSection) + "]\n";
    for (size_t box = hbFoldersToSearch; box < kHistoryBoxCount; ++box)
        text +=
            std::string(kHistorySections[box]) + '=' + std::to_string(boxes[box].ItemIndex) + '\n';
    return text;
}

void SaveHistory(const std::string& fileName, const THistoryBoxes& boxes) {
    WriteSettingsFile(fileName, HistoryToText(boxes));
}

} // namespace kes
