// UTF-8 text of the core as Qt text: the one conversion the window's code makes everywhere.
#pragma once

#include <QString>

#include <string>

namespace kestrava::ui {

inline QString toQString(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace kestrava::ui
