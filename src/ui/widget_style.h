// Small helpers the window's parts share: object names, text colours and the fonts of the
// font-size setting.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPalette>
#include <QString>
#include <QWidget>

#include <algorithm>

namespace kestrava::ui {

inline const QColor kBlackText{0, 0, 0};
inline const QColor kGreyText{0xA0, 0xA0, 0xA4};
inline const QColor kInactiveText{0x80, 0x80, 0x80};
inline const QColor kTealText{0x00, 0x80, 0x80};

// Names a widget (tests and style sheets find it by that name) and returns it.
template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

inline void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

inline QFont arialFont(int pointSize, bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(std::max(1, pointSize));
    font.setBold(bold);
    return font;
}

inline int textWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).horizontalAdvance(text);
}

} // namespace kestrava::ui
