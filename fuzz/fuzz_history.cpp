// Fuzzes the history reader with the window's real validators: any text loads or stops with a
// message, no empty entry reaches a box, and a history that loaded whole survives a write and a
// second load unchanged.
#include "config/kes_uHistory.h"
#include "fuzz_input.h"
#include "search/kes_uFind.h"

#include <stdexcept>

namespace {

using kes::fuzz::Require;

// Loads text into boxes the way the window would; returns false when the load stopped.
bool Load(const std::string& text, kes::THistoryBoxes& boxes) {
    kes::THistoryLoadCallbacks callbacks;
    callbacks.ValidateFolders = kes::ValidateFoldersEntry;
    callbacks.ValidateFiles = kes::ValidateFilesEntry;
    callbacks.AddItem = [&boxes](kes::THistoryBox box, const std::string& entry) {
        Require(box < kes::kHistoryBoxCount, "entries go to a known box");
        Require(!entry.empty(), "no empty entry reaches a box");
        boxes[box].Items.push_back(entry);
    };
    callbacks.SetItemIndex = [&boxes](kes::THistoryBox box, int32_t index) {
        Require(box < kes::kHistoryBoxCount, "indices go to a known box");
        boxes[box].ItemIndex = index;
    };
    try {
        kes::LoadHistoryFromText(text, callbacks);
    } catch (const std::runtime_error& error) {
        Require(error.what()[0] != '\0', "a stopped load says why");
        return false;
    }
    Require(boxes[kes::hbRootFolders].ItemIndex == -1, "Root Folder never restores a selection");
    return true;
}

// What the writer stores for an entry: a line-based file cannot hold a line break, so each CR
// or LF (a lone CR can arrive inside a line that was read) is written as a blank.
std::vector<std::string> AsWritten(std::vector<std::string> items) {
    for (auto& item : items)
        for (char& c : item)
            if (c == '\r' || c == '\n')
                c = ' ';
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kes::THistoryBoxes boxes;
    if (!Load(kes::fuzz::InputText(data, size), boxes))
        return 0;
    kes::THistoryBoxes again;
    Require(Load(kes::HistoryToText(boxes), again), "a written history loads again");
    for (size_t box = 0; box < kes::kHistoryBoxCount; ++box) {
        Require(again[box].Items == AsWritten(boxes[box].Items), "a history keeps its entries");
        Require(again[box].ItemIndex == boxes[box].ItemIndex, "a history keeps its selections");
    }
    return 0;
}
