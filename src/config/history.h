// The histories of the five criteria boxes and their file kestrava.ini. Loading pushes entries
// to the window through callbacks, so this layer never knows a widget; stored folder and file
// entries are checked again by validators the caller supplies.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrava::config {

// The boxes, in the order their sections are loaded and written.
enum class HistoryBox : uint8_t {
    RootFolders,
    FoldersToSearch,
    FilesToSearch,
    FindExpressions,
    ReplaceExpressions,
};
inline constexpr size_t kHistoryBoxCount = 5;

// Section names, indexed by HistoryBox.
inline constexpr std::array<std::string_view, kHistoryBoxCount> kHistorySections = {
    "RootFolders", "FoldersToSearch", "FilesToSearch", "FindExpressions", "ReplaceExpressions"};
inline constexpr std::string_view kItemIndexSection = "ItemIndex";

// What the window hands to the load.
struct HistoryLoadCallbacks {
    // Check a stored Root Folder / Folders entry, or a Files entry; raise std::exception with the
    // parser's message to reject it. Empty functions accept everything.
    std::function<void(const std::string& entry)> validateFolders;
    std::function<void(const std::string& entry)> validateFiles;
    // Add-and-select the entry in the box (never called with an empty entry).
    std::function<void(HistoryBox box, const std::string& entry)> addItem;
    // The box's saved selection index (-1 for none); called for every box once the entries are in.
    std::function<void(HistoryBox box, int32_t index)> setItemIndex;
};

// One box as it is saved: its list in order and its saved selection index.
struct HistoryBoxState {
    std::vector<std::string> items;
    int32_t itemIndex = -1;
};
// The five boxes in HistoryBox order, reachable by box or by position.
struct HistoryBoxes : std::array<HistoryBoxState, kHistoryBoxCount> {
    using std::array<HistoryBoxState, kHistoryBoxCount>::operator[];
    HistoryBoxState& operator[](HistoryBox box) { return (*this)[static_cast<size_t>(box)]; }
    const HistoryBoxState& operator[](HistoryBox box) const {
        return (*this)[static_cast<size_t>(box)];
    }
};

// The section name of a box.
inline std::string_view historySection(HistoryBox box) {
    return kHistorySections[static_cast<size_t>(box)];
}

// Feeds the entries of text to the callbacks, section by section in box order and in file order
// within a section, validating folder and file entries first; then the saved indices (Root
// Folder always -1, the others from "itemIndex", default -1). The first error stops the load and
// is raised as std::runtime_error "Error loading configuration: " + its text; entries passed on
// before it stay.
void loadHistoryFromText(std::string_view text, const HistoryLoadCallbacks& callbacks);

// The same for a file; a missing file loads as empty (every index -1).
void loadHistory(const std::string& fileName, const HistoryLoadCallbacks& callbacks);

// The file's text: the non-empty sections in box order with keys "1".."n", then "itemIndex" with
// the Folders, Files, Find and Replace indices. Entries are written exactly, except that a line
// break inside one (which a line-based file cannot hold) is written as a blank.
std::string historyToText(const HistoryBoxes& boxes);

// Writes the file, creating its folder first; raises std::runtime_error naming the file and the
// reason on failure.
void saveHistory(const std::string& fileName, const HistoryBoxes& boxes);

} // namespace kestrava::config
