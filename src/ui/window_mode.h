// What only the window knows: its four modes (numbered as the settings file stores the last one),
// the states of Script mode's editor, and the point size of each font-size setting.
#pragma once

#include "config/settings.h"
#include "script/script.h"

#include <cstdint>

namespace kestrava::ui {

enum class Mode : int32_t { Find = 0, FindAndReplace = 1, Script = 2, ViewFoldersFiles = 3 };

// Script mode: viewing the script, adding or changing an item, or showing a run's results.
enum class ScriptEditState : uint8_t { Viewing, Append, Insert, Change, Results };

// The item a state edits.
inline script::ItemEdit itemEdit(ScriptEditState state) {
    switch (state) {
    case ScriptEditState::Append:
        return script::ItemEdit::Append;
    case ScriptEditState::Insert:
        return script::ItemEdit::Insert;
    case ScriptEditState::Change:
        return script::ItemEdit::Change;
    default:
        return script::ItemEdit::None;
    }
}

inline int pointSize(config::FontSize size) {
    switch (size) {
    case config::FontSize::Medium:
        return 11;
    case config::FontSize::Large:
        return 12;
    default:
        return 10;
    }
}

} // namespace kestrava::ui
