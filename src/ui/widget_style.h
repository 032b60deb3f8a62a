// Small helpers the window's parts share: object names, text colours that follow the theme, and
// the fonts of the font-size setting.
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

inline bool isDark(const QColor& color) {
    return color.lightnessF() < 0.5;
}

// `share` of `front` over `back`, as if painted with that opacity.
QColor blend(const QColor& front, const QColor& back, double share);

// The contrast ratio of two colours as WCAG measures it, from 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);

// A text colour chosen for the light theme, as drawn on `fill`: unchanged on a light fill; on a
// dark one lightened, keeping its hue, until it stands 4.5:1 against the fill.
QColor readableOn(const QColor& light, const QColor& fill);

// A text colour chosen for the light theme, as it is drawn on `palette`: unchanged on a light
// window; on a dark one black becomes the palette's text and any other colour is lightened,
// keeping its hue, until it stands 4.5:1 against the window.
QColor themedTextColor(const QColor& light, const QPalette& palette);

// The palette a check box is drawn with on `behind`: on a dark background a lighter fill and
// window, since styles draw the box's frame a shade darker than the window, which a dark
// background swallows; unchanged on a light one.
QPalette checkBoxPalette(QPalette palette, const QColor& behind);

// Sets the colour a label's text is drawn in, made readable on the background behind it; the
// colour is kept, so refreshTextColors can redo that once the background has changed.
void setTextColor(QWidget* widget, const QColor& color);
// Redoes setTextColor for the children of `parent` whose background has changed.
void refreshTextColors(const QWidget* parent);

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
