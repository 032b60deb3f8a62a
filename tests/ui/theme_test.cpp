// The grid on light and dark palettes: the light look kept as it always was, every text readable
// on a dark theme. With KES_SCREENSHOT_DIR set, the window, with results, a current row and the
// preview, a replace preview, the Preferences and Script mode, is saved as light[-view].png and
// dark[-view].png there for a person to look at (offscreen, Fusion).
#include "main_window_test_support.h"
#include "ui/preferences_dialog.h"
#include "ui/widget_style.h"

#include <QPalette>
#include <QStyleFactory>

namespace {

QPalette darkPalette() {
    QPalette p;
    const auto paint = [&p](QRgb rgb, std::initializer_list<QPalette::ColorRole> roles) {
        for (const QPalette::ColorRole role : roles)
            p.setColor(role, QColor(rgb));
    };
    paint(0x353535, {QPalette::Window, QPalette::AlternateBase, QPalette::Button});
    paint(0x2A2A2A, {QPalette::Base, QPalette::ToolTipBase});
    paint(0xE8E8E8,
          {QPalette::WindowText, QPalette::ToolTipText, QPalette::Text, QPalette::ButtonText});
    paint(0x909090, {QPalette::PlaceholderText});
    paint(0xFF0000, {QPalette::BrightText});
    paint(0x505050, {QPalette::Light});
    paint(0x454545, {QPalette::Midlight});
    paint(0x252525, {QPalette::Mid});
    paint(0x1A1A1A, {QPalette::Dark});
    paint(0x000000, {QPalette::Shadow});
    paint(0x2A82DA, {QPalette::Highlight});
    paint(0xFFFFFF, {QPalette::HighlightedText});
    paint(0x6CB4FF, {QPalette::Link});
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

QString screenshotFolder() {
    return qEnvironmentVariable("KES_SCREENSHOT_DIR");
}

void saveScreenshot(QWidget& window, const QString& name) {
    if (screenshotFolder().isEmpty())
        return;
    QApplication::processEvents(); // the layouts catch up with the texts just set
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
        const QColor yellow(0xFF, 0xFF, 0xB3); // a highlighted script item
        QCOMPARE(
            QList<QColor>({c.text, c.match, c.context, c.lineNumber, c.headerFill, c.currentRowFill,
                           c.currentItemFill, c.gutterFill, readableTextOn(yellow, light)}),
            QList<QColor>({Qt::black, Qt::red, Qt::blue, QColor(0x808080), QColor(204, 255, 153),
                           QColor(0xCCE0FF), QColor(0xFFE4C4), QColor(0xEEEEEE), Qt::black}));
        for (const QColor& label : {kBlackText, kGreyText, kInactiveText, kTealText})
            QCOMPARE(themedTextColor(label, light), label);
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
            {"write note on a file header", readableOn(c.added, c.headerFill), c.headerFill, 4.5},
            {"refusal on a file header", readableOn(c.removed, c.headerFill), c.headerFill, 4.5},
        };
        for (const auto& p : pairs)
            QVERIFY2(contrastRatio(p.text, p.fill) >= p.least,
                     qPrintable(QStringLiteral("%1: %2 on %3 is %4:1")
                                    .arg(p.what, p.text.name(), p.fill.name())
                                    .arg(contrastRatio(p.text, p.fill), 0, 'f', 2)));
        // The labels and the status line, on the window behind them.
        const QColor window = dark.color(QPalette::Window);
        QCOMPARE(themedTextColor(kBlackText, dark), dark.color(QPalette::WindowText));
        for (const QColor& label : {kGreyText, kInactiveText, kTealText}) {
            const QColor shown = themedTextColor(label, dark);
            QVERIFY2(contrastRatio(shown, window) >= 4.5, qPrintable(shown.name()));
            QCOMPARE(shown.hslHue(), label.hslHue()); // teal stays teal
        }
    }

    void windowWithResults() {
        for (const QString name : {"light", "dark"}) {
            m_env.emplace(); // each look from a fresh start, not the last one's saved boxes
            QApplication::setPalette(name == "dark" ? darkPalette()
                                                    : QApplication::style()->standardPalette());
            // Screenshots search a tree at a fixed place, so two can be compared pixel by pixel.
            const QString tree =
                screenshotFolder().isEmpty() ? root() : screenshotFolder() + "/tree";
            writeFile(tree + "/notes.txt", "The kestrel hovers.\nA second kestrel, then a third "
                                           "KESTREL.\nNothing here.\n");
            writeFile(tree + "/sub/more.txt", "kestrels nest on ledges\n");
            TestWindow w;
            runFind(w, tree + "<+>", "*.txt", "kestrel\\w*");
            item(*w, "previewAction")->setChecked(true);
            clickRow(*w, 2);
            QTRY_VERIFY(QTest::qWaitForWindowExposed(w.window.get()));
            saveScreenshot(*w, name);

            // A preview's boxes, one of them cleared, and the Preferences panels.
            chooseMode(*w, Mode::FindAndReplace);
            typeCriteria(*w, tree + "<+>", "*.txt", "kestrel\\w*");
            typeInto(combo(*w, "replaceCombo"), "falcon");
            button(*w, "previewChangesButton")->click();
            QTRY_COMPARE(w->gridContent(), GridContent::Plan);
            QTest::mouseClick(grid(*w)->viewport(), Qt::LeftButton, {},
                              QPoint(8, rowCentre(*w, 3).y()));
            saveScreenshot(*w, name + "-preview");
            config::Settings settings;
            PreferencesDialog preferences(settings);
            preferences.show();
            QVERIFY(QTest::qWaitForWindowExposed(&preferences));
            saveScreenshot(preferences, name + "-preferences");
            preferences.close();

            // The script grid: its header, the current item's rows and an item being added.
            chooseMode(*w, Mode::Script);
            appendItem(*w, tree + "<+>", "*.txt", "kestrel");
            appendItem(*w, tree, "*.md", "falcon", "hawk");
            button(*w, "appendItemButton")->click();
            saveScreenshot(*w, name + "-script");
            button(*w, "cancelItemButton")->click();
        }
    }
};

QTEST_MAIN(TestTheme)
#include "theme_test.moc"
