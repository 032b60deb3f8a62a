// The grid on light and dark palettes: the light look kept as it always was, every text readable
// on a dark theme. With KES_SCREENSHOT_DIR set, the window, with results, a current row and the
// preview, and in Script mode, is saved as light[-script].png and dark[-script].png there for a
// person to look at (offscreen, Fusion).
#include "main_window_test_support.h"

#include <QPalette>
#include <QStyleFactory>

#include <cmath>

namespace {

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x35, 0x35, 0x35);
    const QColor base(0x2A, 0x2A, 0x2A);
    const QColor text(0xE8, 0xE8, 0xE8);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
    p.setColor(QPalette::Midlight, QColor(0x45, 0x45, 0x45));
    p.setColor(QPalette::Mid, QColor(0x25, 0x25, 0x25));
    p.setColor(QPalette::Dark, QColor(0x1A, 0x1A, 0x1A));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(0x2A, 0x82, 0xDA));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6C, 0xB4, 0xFF));
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

QString screenshotFolder() {
    return qEnvironmentVariable("KES_SCREENSHOT_DIR");
}

// WCAG contrast ratio of two colours, 1 to 21.
double contrast(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void saveScreenshot(QWidget& window, const QString& name) {
    if (screenshotFolder().isEmpty())
        return;
    QVERIFY(window.grab().save(screenshotFolder() + "/" + name + ".png"));
}

} // namespace

class TestTheme : public WindowTest {
    Q_OBJECT
  private slots:
    void initTestCase() { QApplication::setStyle(QStyleFactory::create("Fusion")); }
    void cleanup() {
        QApplication::setPalette(QApplication::style()->standardPalette());
        WindowTest::cleanup();
    }

    void lightThemeKeepsTheEstablishedColours() {
        const QPalette light = QApplication::style()->standardPalette();
        const QColor grey(0xF7, 0xF7, 0xF7);
        QCOMPARE(gridBackground(grey, light), grey);
        const GridColours c = gridColours(grey, light);
        const std::pair<QColor, QColor> kept[] = {
            {c.text, Qt::black},
            {c.match, Qt::red},
            {c.context, Qt::blue},
            {c.lineNumber, QColor(0x80, 0x80, 0x80)},
            {c.headerFill, QColor(204, 255, 153)},
            {c.currentRowFill, QColor(0xCC, 0xE0, 0xFF)},
            {c.currentItemFill, QColor(0xFF, 0xE4, 0xC4)},
            {c.gutterFill, QColor(0xEE, 0xEE, 0xEE)},
            {readableTextOn(QColor(0xFF, 0xFF, 0xB3), light), Qt::black},
        };
        for (const auto& [actual, expected] : kept)
            QCOMPARE(actual, expected);
    }

    // Body text must reach 4.5:1, text on a tinted row 3:1 (it is drawn in its own colour there).
    void darkThemeKeepsEveryTextReadable() {
        const QPalette dark = darkPalette();
        const QColor background = gridBackground(QColor(0xF7, 0xF7, 0xF7), dark);
        QCOMPARE(background, dark.color(QPalette::Base)); // the default grey gives way
        const QColor chosen(0x20, 0x30, 0x40);
        QCOMPARE(gridBackground(chosen, dark), chosen); // a colour the user chose stays
        const GridColours c = gridColours(background, dark);
        const struct {
            const char* what;
            QColor text, fill;
            double least;
        } pairs[] = {
            {"text", c.text, background, 4.5},
            {"match", c.match, background, 4.5},
            {"context", c.context, background, 4.5},
            {"line number", c.lineNumber, background, 3.0},
            {"file header", c.text, c.headerFill, 4.5},
            {"match on current row", c.match, c.currentRowFill, 3.0},
            {"context on current row", c.context, c.currentRowFill, 3.0},
            {"script item", readableTextOn(c.currentItemFill, dark), c.currentItemFill, 4.5},
            {"highlighted script item", readableTextOn(QColor(0xFF, 0xFF, 0xB3), dark),
             QColor(0xFF, 0xFF, 0xB3), 4.5},
            {"preview line number", c.lineNumber, c.gutterFill, 3.0},
        };
        for (const auto& p : pairs)
            QVERIFY2(contrast(p.text, p.fill) >= p.least,
                     qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                    .arg(p.what, p.text.name(), p.fill.name())
                                    .arg(contrast(p.text, p.fill), 0, 'f', 2)));
    }

    void windowWithResults_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("light") << "light";
        QTest::newRow("dark") << "dark";
    }
    void windowWithResults() {
        QFETCH(QString, name);
        QApplication::setPalette(name == "dark" ? darkPalette()
                                                : QApplication::style()->standardPalette());
        // Screenshots search a tree at a fixed place, so two of them can be compared pixel by
        // pixel.
        const QString tree = screenshotFolder().isEmpty() ? root() : screenshotFolder() + "/tree";
        writeFile(tree + "/notes.txt", "The kestrel hovers.\nA second kestrel, then a third "
                                       "KESTREL.\nNothing here.\n");
        writeFile(tree + "/sub/more.txt", "kestrels nest on ledges\n");
        TestWindow w;
        runFind(w, tree + "<+>", "*.txt", "kestrel\\w*");
        item(*w, "previewAction")->setChecked(true);
        clickRow(*w, 2);
        QTRY_VERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        saveScreenshot(*w, name);

        // The script grid: its header, the current item's rows and an item being added.
        chooseMode(*w, Mode::Script);
        appendItem(*w, tree + "<+>", "*.txt", "kestrel");
        appendItem(*w, tree, "*.md", "falcon", "hawk");
        button(*w, "appendItemButton")->click();
        saveScreenshot(*w, name + "-script");
        button(*w, "cancelItemButton")->click();
    }
};

QTEST_MAIN(TestTheme)
#include "theme_test.moc"
