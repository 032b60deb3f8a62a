// kestrava.ini: a small INI reader and writer of our own. Values are taken byte for byte from
// after the first "=" to the end of the line, so blanks, quotes, "=" and any non-ASCII bytes in
// an entry come back exactly as they were saved.
#include "config/history.h"

#include "config/config_paths.h"
#include "config/settings_file.h"
#include "util/file_io.h"
#include "util/text.h"

#include <charconv>
#include <stdexcept>

namespace kestrava::config {

namespace {

struct IniEntry {
    std::string_view key;
    std::string_view value;
};

struct IniSection {
    std::string_view name;
    std::vector<IniEntry> entries;
};

// The next line of text from pos (without its LF or CR LF); pos moves past it.
std::string_view nextLine(std::string_view text, size_t& pos) {
    const size_t lf = text.find('\n', pos);
    const size_t end = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return line;
}

// Lines before the first section, comments (";") and lines without "=" carry nothing.
std::vector<IniSection> parseIni(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::vector<IniSection> sections;
    size_t pos = 0;
    while (pos < text.size()) {
        const std::string_view line = nextLine(text, pos);
        const std::string_view trimmed = util::trimBlanks(line);
        if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
            sections.push_back({util::trimBlanks(trimmed.substr(1, trimmed.size() - 2)), {}});
            continue;
        }
        const size_t equals = line.find('=');
        if (sections.empty() || trimmed.starts_with(';') || equals == std::string_view::npos)
            continue;
        sections.back().entries.push_back(
            {util::trimBlanks(line.substr(0, equals)), line.substr(equals + 1)});
    }
    return sections;
}

// Every entry of the sections named so, in file order (a repeated section adds to the first).
std::vector<IniEntry> sectionEntries(const std::vector<IniSection>& sections,
                                     std::string_view name) {
    std::vector<IniEntry> entries;
    for (const auto& section : sections) {
        if (util::sameTextAscii(section.name, name))
            entries.insert(entries.end(), section.entries.begin(), section.entries.end());
    }
    return entries;
}

int32_t readIndex(const std::vector<IniEntry>& entries, std::string_view key) {
    for (const auto& entry : entries) {
        if (!util::sameTextAscii(entry.key, key))
            continue;
        std::string_view value = util::trimBlanks(entry.value);
        if (value.starts_with('+'))
            value.remove_prefix(1);
        int32_t index = -1;
        const char* end = value.data() + value.size();
        auto [ptr, ec] = std::from_chars(value.data(), end, index);
        return (!value.empty() && ec == std::errc() && ptr == end) ? index : -1;
    }
    return -1;
}

void commitEntry(HistoryBox box, const std::string& entry, const HistoryLoadCallbacks& cb) {
    if (entry.empty())
        return;
    const bool folders = box == HistoryBox::RootFolders || box == HistoryBox::FoldersToSearch;
    if (folders && cb.validateFolders)
        cb.validateFolders(entry);
    if (box == HistoryBox::FilesToSearch && cb.validateFiles)
        cb.validateFiles(entry);
    if (cb.addItem)
        cb.addItem(box, entry);
}

void loadSections(const std::vector<IniSection>& sections, const HistoryLoadCallbacks& cb) {
    for (size_t box = 0; box < kHistoryBoxCount; ++box) {
        for (const auto& entry : sectionEntries(sections, kHistorySections[box]))
            commitEntry(static_cast<HistoryBox>(box), std::string(entry.value), cb);
    }
    if (!cb.setItemIndex)
        return;
    cb.setItemIndex(HistoryBox::RootFolders, -1); // the Root Folder selection is not kept
    const std::vector<IniEntry> indices = sectionEntries(sections, kItemIndexSection);
    for (auto box = static_cast<size_t>(HistoryBox::FoldersToSearch); box < kHistoryBoxCount; ++box)
        cb.setItemIndex(static_cast<HistoryBox>(box), readIndex(indices, kHistorySections[box]));
}

[[noreturn]] void raiseLoadError(std::string_view text) {
    throw std::runtime_error("Error loading configuration: " + std::string(text));
}

std::string withoutLineBreaks(std::string entry) {
    for (char& c : entry) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return entry;
}

} // namespace

void loadHistoryFromText(std::string_view text, const HistoryLoadCallbacks& callbacks) {
    try {
        loadSections(parseIni(text), callbacks);
    } catch (const std::exception& e) {
        raiseLoadError(e.what());
    } catch (...) {
        raiseLoadError("unknown error");
    }
}

void loadHistory(const std::string& fileName, const HistoryLoadCallbacks& callbacks) {
    std::string text;
    std::string error;
    if (readSettingsFile(fileName, text, error) == ReadFileStatus::Failed)
        raiseLoadError(error);
    loadHistoryFromText(text, callbacks); // a missing file reads as empty sections
}

std::string historyToText(const HistoryBoxes& boxes) {
    std::string text;
    for (size_t box = 0; box < kHistoryBoxCount; ++box) {
        const std::vector<std::string>& items = boxes[box].items;
        if (items.empty())
            continue;
        text += '[' + std::string(kHistorySections[box]) + "]\n";
        for (size_t i = 0; i < items.size(); ++i)
            text += std::to_string(i + 1) + '=' + withoutLineBreaks(items[i]) + '\n';
    }
    text += '[' + std::string(kItemIndexSection) + "]\n";
    for (auto box = static_cast<size_t>(HistoryBox::FoldersToSearch); box < kHistoryBoxCount; ++box)
        text +=
            std::string(kHistorySections[box]) + '=' + std::to_string(boxes[box].itemIndex) + '\n';
    return text;
}

void saveHistory(const std::string& fileName, const HistoryBoxes& boxes) {
    writeSettingsFile(fileName, historyToText(boxes));
}

} // namespace kestrava::config
