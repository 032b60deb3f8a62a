// Build-time helper: draws the program's SVG icon as square PNG files for the icon theme, so
// desktops that do not read SVG icons still find one in every usual size.
// Usage: kes_render_icon SOURCE.svg SIZE OUTPUT.png [SIZE OUTPUT.png ...]
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool renderPng(QSvgRenderer& renderer, int size, const QString& output) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(output, "PNG");
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4 || argc % 2 != 0) {
        std::fputs("usage: kes_render_icon SOURCE.svg SIZE OUTPUT.png [SIZE OUTPUT.png ...]\n",
                   stderr);
        return 2;
    }
    // The icon's text needs fonts, which need a GUI application; no display is wanted.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "kes_render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        const int size = std::atoi(argv[i]);
        if (size < 1 || !renderPng(renderer, size, QString::fromLocal8Bit(argv[i + 1]))) {
            std::fprintf(stderr, "kes_render_icon: cannot write %s at size %s\n", argv[i + 1],
                         argv[i]);
            return 1;
        }
    }
    return 0;
}
