#include "widget_style.h"

#include <QApplication>

#include <cmath>

namespace kestrava::ui {

namespace {

constexpr double kReadableContrast = 4.5;
// The colour setTextColor was given, as the light theme has it.
constexpr const char* kLightTextColor = "kesLightTextColor";

double luminance(const QColor& color) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

} // namespace

QColor blend(const QColor& front, const QColor& back, double share) {
    const auto mix = [share](int a, int b) {
        return static_cast<int>(std::lround(a * share + b * (1.0 - share)));
    };
    return {mix(front.red(), back.red()), mix(front.green(), back.green()),
            mix(front.blue(), back.blue())};
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor readableOn(const QColor& light, const QColor& fill) {
    if (!isDark(fill))
        return light;
    const QColor hsl = light.toHsl();
    QColor lighter = light;
    for (double lightness = hsl.lightnessF();
         contrastRatio(lighter, fill) < kReadableContrast && lightness < 1.0;) {
        lightness = std::min(1.0, lightness + 0.02);
        lighter = QColor::fromHslF(hsl.hslHueF(), hsl.hslSaturationF(), lightness).toRgb();
    }
    return lighter;
}

QColor themedTextColor(const QColor& light, const QPalette& palette) {
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    if (isDark(window) && light == Qt::black)
        return palette.color(QPalette::Active, QPalette::WindowText);
    return readableOn(light, window);
}

QPalette checkBoxPalette(QPalette palette, const QColor& behind) {
    if (!isDark(behind))
        return palette;
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    palette.setColor(QPalette::Base, blend(text, behind, 0.10));
    palette.setColor(QPalette::Window, blend(text, behind, 0.70));
    return palette;
}

void setTextColor(QWidget* widget, const QColor& color) {
    widget->setProperty(kLightTextColor, color);
    // The window behind the label: the parent's, as the label's own palette is the one being set.
    const QPalette behind = widget->parentWidget() != nullptr ? widget->parentWidget()->palette()
                                                              : QApplication::palette(widget);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, themedTextColor(color, behind));
    widget->setPalette(palette);
}

void refreshTextColors(const QWidget* parent) {
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (const QVariant color = child->property(kLightTextColor); color.isValid())
            setTextColor(child, color.value<QColor>());
}

} // namespace kestrava::ui
