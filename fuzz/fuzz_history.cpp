// Fuzzes the history reader with the window's real validators: any text loads or stops with a
// message, no empty entry reaches a box, and a history that loaded whole survives a write and a
// second load unchanged.
#include "config/history.h"
#include "fuzz_input.h"
#include "search/search.h"

#include <stdexcept>

namespace {

using kestrava::fuzz::require;

// Loads text into boxes the way the window would; returns false when the load stopped.
bool load(const std::string& text, kestrava::config::HistoryBoxes& boxes) {
    kestrava::config::HistoryLoadCallbacks callbacks;
    callbacks.validateFolders = kestrava::search::validateFoldersEntry;
    callbacks.validateFiles = kestrava::search::validateFilesEntry;
    callbacks.addItem = [&boxes](kestrava::config::HistoryBox box, const std::string& entry) {
        require(static_cast<size_t>(box) < kestrava::config::kHistoryBoxCount,
                "entries go to a known box");
        require(!entry.empty(), "no empty entry reaches a box");
        boxes[box].items.push_back(entry);
    };
    callbacks.setItemIndex = [&boxes](kestrava::config::HistoryBox box, int32_t index) {
        require(static_cast<size_t>(box) < kestrava::config::kHistoryBoxCount,
                "indices go to a known box");
        boxes[box].itemIndex = index;
    };
    try {
        kestrava::config::loadHistoryFromText(text, callbacks);
    } catch (const std::runtime_error& error) {
        require(error.what()[0] != '\0', "a stopped load says why");
        return false;
    }
    require(boxes[kestrava::config::HistoryBox::RootFolders].itemIndex == -1,
            "Root Folder never restores a selection");
    return true;
}

// What the writer stores for an entry: a line-based file cannot hold a line break, so each CR
// or LF (a lone CR can arrive inside a line that was read) is written as a blank.
std::vector<std::string> asWritten(std::vector<std::string> items) {
    for (auto& item : items)
        for (char& c : item)
            if (c == '\r' || c == '\n')
                c = ' ';
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kestrava::config::HistoryBoxes boxes;
    if (!load(kestrava::fuzz::inputText(data, size), boxes))
        return 0;
    kestrava::config::HistoryBoxes again;
    require(load(kestrava::config::historyToText(boxes), again), "a written history loads again");
    for (size_t box = 0; static_cast<size_t>(box) < kestrava::config::kHistoryBoxCount; ++box) {
        require(again[box].items == asWritten(boxes[box].items), "a history keeps its entries");
        require(again[box].itemIndex == boxes[box].itemIndex, "a history keeps its selections");
    }
    return 0;
}
