// The results grid's rows and colours on light and dark palettes, and the dialogs driven through
// their real widgets. With KES_SCREENSHOT_DIR set, the window in each look is saved there as
// light[-view].png and dark[-view].png for a person to look at (offscreen, Fusion).
#include "main_window_test_support.h"
#include "ui/about_dialog.h"
#include "ui/folder_picker.h"
#include "ui/folder_picker_form.h"
#include "ui/preferences_dialog.h"
#include "ui/references_dialog.h"
#include "ui/widget_style.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QPalette>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyleFactory>
#include <QTextBrowser>
#include <QTreeView>

namespace {

using results::RowKind;

// One file "/d/f.txt" with one line; the default is "abxc" with the matches "b" and "c".
search::SearchResults oneLine(const QByteArray& text = "abxc", QList<int> matches = {2, 1, 4, 1},
                              bool truncated = false) {
    search::SearchResults results;
    results.folders = {"/d/"};
    search::FileMatches file;
    file.fileName = "f.txt";
    file.numMatches = 2;
    search::MatchedLine line;
    line.setText(text.toStdString());
    if (truncated)
        line.setTruncated();
    for (qsizetype i = 0; i + 1 < matches.size(); i += 2) // start, length pairs (1-based bytes)
        line.addMatch({matches[i], matches[i + 1]});
    file.lines.push_back(line);
    results.files.push_back(file);
    return results;
}

const results::Rows kRows = {{RowKind::FileHeader, 0, 0, 0},
                             {RowKind::Line, 0, 0, 0},
                             {RowKind::Match, 0, 0, 0},
                             {RowKind::Match, 0, 0, 1},
                             {RowKind::Blank, 0, 0, 0}};

// A row as drawn: red pieces in <>, blue in [], black in {}, bold ones starred.
QString drawn(const search::SearchResults& results, size_t row) {
    QString text;
    for (const GridPiece& piece : resultRowPieces(results, kRows, row)) {
        if (piece.text.isEmpty())
            continue;
        const QString body = (piece.bold ? "*" : "") + piece.text;
        text += piece.color == QColor(Qt::red)     ? "<" + body + ">"
                : piece.color == QColor(Qt::blue)  ? "[" + body + "]"
                : piece.color == QColor(Qt::black) ? "{" + body + "}"
                                                   : "(" + body + ")";
    }
    return text;
}

QPalette darkPalette() {
    QPalette p(QColor(0x353535), QColor(0x353535)); // button, window: Qt derives the bevel shades
    const auto paint = [&p](QRgb rgb, std::initializer_list<QPalette::ColorRole> roles) {
        for (const QPalette::ColorRole role : roles)
            p.setColor(role, QColor(rgb));
    };
    paint(0x353535, {QPalette::AlternateBase});
    paint(0x2A2A2A, {QPalette::Base, QPalette::ToolTipBase});
    paint(0xE8E8E8,
          {QPalette::WindowText, QPalette::ToolTipText, QPalette::Text, QPalette::ButtonText});
    paint(0x909090, {QPalette::PlaceholderText});
    paint(0xFF0000, {QPalette::BrightText});
    paint(0x2A82DA, {QPalette::Highlight});
    paint(0xFFFFFF, {QPalette::HighlightedText});
    paint(0x6CB4FF, {QPalette::Link});
    for (const auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return p;
}

const QString kScreenshotFolder = qEnvironmentVariable("KES_SCREENSHOT_DIR");

void saveScreenshot(QWidget& window, const QString& name) {
    if (kScreenshotFolder.isEmpty())
        return;
    QApplication::processEvents(); // the layouts catch up with the texts just set
    QVERIFY(window.grab().save(kScreenshotFolder + "/" + name + ".png"));
}

void click(QWidget* dialog, const char* buttonName) {
    QTest::mouseClick(button(*dialog, buttonName), Qt::LeftButton);
}

QString status(QWidget* dialog) {
    return part<QStatusBar>(*dialog, "statusLabel")->currentMessage();
}

config::Settings sampleSettings() {
    config::Settings settings;
    settings.initialMode = config::InitialMode::Script;
    settings.fontSize = config::FontSize::Medium;
    settings.caseSensitiveMatching = true;
    settings.replaceInSitu = false;
    settings.editorFileSpec = "/usr/bin/gvim";
    settings.editorCommandLine = "\"+goto %CursorAt%\" %Filename%";
    settings.undoBytesKept = 1000; // shown as 1 MiB, and kept as it is unless changed
    return settings;
}

// Everything the settings file holds, so that one comparison checks every setting.
QString xml(const config::Settings& settings) {
    config::Config config;
    config.settings = settings;
    return QString::fromStdString(config::configToXml(config));
}

} // namespace

class TestTheme : public WindowTest {
    Q_OBJECT
    QTemporaryDir m_cache; // the quick-start copy goes here, not into the user's cache

  private slots:
    void initTestCase() {
        QApplication::setStyle(QStyleFactory::create("Fusion"));
        qputenv("XDG_CACHE_HOME", m_cache.path().toLocal8Bit());
    }
    void cleanup() {
        QApplication::setPalette(QApplication::style()->standardPalette());
        WindowTest::cleanup();
    }

    // A cut line ends with "->", and so does a match row only when last on its line. UTF-8 is
    // decided per line: a match boundary inside a character draws that character whole in the
    // match's colour instead of turning the rest of the line into Latin-1.
    void rowsDrawTheirPiecesInTheirColours() {
        const auto cut = oneLine("abxc", {2, 1, 4, 1}, true);
        QCOMPARE(drawn(cut, 0), "{Found 2 matches in /d/}{*f.txt}");
        const struct {
            search::SearchResults results;
            QStringList drawn; // from row 1: the line, then a row per match
        } rows[] = {
            {oneLine(), {"[a]<b>[x]<c>", "{b}", "{c}", ""}},
            {cut, {"[a]<b>[x]<c>{->}", "{b}", "{c}{->}"}},
            {oneLine("caf\xc3\xa9!", {5, 2}), {"[caf]<\xc3\xa9!>", "{\xc3\xa9!}"}},
            {oneLine("\xc3\xa9x", {1, 1, 2, 2}), {"<\xc3\xa9><x>", "{\xc3\xa9}"}},
            {oneLine("caf\xe9 cr\xc3\xa8me", {1, 3}), // not UTF-8: all of it Latin-1
             {"<caf>[\xc3\xa9 cr\xc3\x83\xc2\xa8me]"}},
        };
        for (const auto& r : rows)
            for (qsizetype row = 0; row < r.drawn.size(); ++row)
                QCOMPARE(drawn(r.results, size_t(row + 1)), r.drawn[row]);
        QCOMPARE(resultRowText(cut, kRows, 1), "abxc->");
        QCOMPARE(resultRowFill(kRows, 0, Qt::white), QColor(204, 255, 153));
        QCOMPARE(resultRowFill(kRows, 1, Qt::white), QColor(Qt::white));
        QCOMPARE(displayText("a\tb\r\n"),
                 QString("a") + QChar(0x2409) + "b" + QChar(0x240D) + QChar(0x240A));
    }

    // Drawing a long row widens the column; the last page ends exactly at the last row.
    void aMillionRowsScrollByRowsAndALongLineWidensTheColumn() {
        const auto results = oneLine(QByteArray(3000, 'x'), {1, 3000});
        const results::Rows rows(1'000'000, results::Row{RowKind::Line, 0, 0, 0});
        ResultsGrid grid;
        grid.resize(400, 200);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.clearDrawGrid(1);
        grid.showResults(&results, &rows);
        QVERIFY(grid.columnWidth(0) < 400);
        grid.grab();
        QVERIFY(grid.columnWidth(0) > 1000);
        QTRY_VERIFY(grid.horizontalScrollBar()->maximum() > 0);
        grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
        grid.grab();
        QCOMPARE(grid.topRow() + grid.viewport()->height() / grid.defaultRowHeight(), 1'000'000);
        QCOMPARE(grid.rowAt(QPoint(5, 0)), grid.topRow());
    }

    // The light look is kept as it always was; on a dark one body text reaches 4.5:1, text on a
    // tinted row 3:1.
    void lightThemeKeepsItsColoursAndDarkKeepsEveryTextReadable() {
        const QPalette light = QApplication::style()->standardPalette();
        const QColor grey(0xF7, 0xF7, 0xF7);
        QCOMPARE(gridBackground(grey, light), grey);
        const GridColours kept = gridColours(grey, light);
        const QColor yellow(0xFF, 0xFF, 0xB3); // a highlighted script item
        QCOMPARE(
            QList<QColor>({kept.text, kept.match, kept.context, kept.lineNumber, kept.headerFill,
                           kept.currentRowFill, kept.currentItemFill, kept.gutterFill,
                           readableTextOn(yellow, light)}),
            QList<QColor>({Qt::black, Qt::red, Qt::blue, QColor(0x808080), QColor(204, 255, 153),
                           QColor(0xCCE0FF), QColor(0xFFE4C4), QColor(0xEEEEEE), Qt::black}));
        for (const QColor& label : {kBlackText, kGreyText, kInactiveText, kTealText})
            QCOMPARE(themedTextColor(label, light), label);
        const QPalette dark = darkPalette();
        const QColor background = gridBackground(grey, dark);
        QCOMPARE(background, dark.color(QPalette::Base)); // the default grey gives way
        const QColor chosen(0x20, 0x30, 0x40);
        QCOMPARE(gridBackground(chosen, dark), chosen); // a colour the user chose stays
        const GridColours c = gridColours(background, dark);
        const QColor window = dark.color(QPalette::Window);
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
            {"highlighted script item", readableTextOn(yellow, dark), yellow, 4.5},
            {"preview line number", c.lineNumber, c.gutterFill, 3.0},
            {"write note on a file header", readableOn(c.added, c.headerFill), c.headerFill, 4.5},
            {"refusal on a file header", readableOn(c.removed, c.headerFill), c.headerFill, 4.5},
            {"grey label", themedTextColor(kGreyText, dark), window, 4.5},
            {"inactive label", themedTextColor(kInactiveText, dark), window, 4.5},
            {"teal label", themedTextColor(kTealText, dark), window, 4.5},
        };
        for (const auto& p : pairs)
            QVERIFY2(contrastRatio(p.text, p.fill) >= p.least, p.what);
        QCOMPARE(themedTextColor(kBlackText, dark), dark.color(QPalette::WindowText));
        QCOMPARE(themedTextColor(kTealText, dark).hslHue(), kTealText.hslHue()); // teal stays teal
    }

    void windowWithResults() {
        for (const QString name : {"light", "dark"}) {
            m_env.emplace(); // each look from a fresh start, not the last one's saved boxes
            QApplication::setPalette(name == "dark" ? darkPalette()
                                                    : QApplication::style()->standardPalette());
            // Screenshots search a tree at a fixed place, so two can be compared pixel by pixel.
            const QString tree = kScreenshotFolder.isEmpty() ? root() : kScreenshotFolder + "/tree";
            writeFile(tree + "/notes.txt", "The kestrel hovers.\nA second kestrel, then a third "
                                           "KESTREL.\nNothing here.\n");
            writeFile(tree + "/sub/more.txt", "kestrels nest on ledges\n");
            TestWindow w;
            runFind(w, tree + "<+>", "*.txt", "kestrel\\w*");
            item(*w, "previewAction")->setChecked(true);
            clickRow(*w, 2);
            saveScreenshot(*w, name);

            chooseMode(*w, Mode::FindAndReplace); // the boxes keep what the search committed
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

            chooseMode(*w, Mode::Script);
            appendItem(*w, tree + "<+>", "*.txt", "kestrel");
            appendItem(*w, tree, "*.md", "falcon", "hawk");
            button(*w, "appendItemButton")->click();
            saveScreenshot(*w, name + "-script");
            button(*w, "cancelItemButton")->click();
        }
    }

    // Accept keeps what it is not told to change, except a mode or size the lists do not have, and
    // copies every control it is told to.
    void preferencesAcceptCopiesEveryControlAndCancelKeepsTheSettings() {
        const struct {
            int mode, size, modeIndex, sizeIndex, modeAfter, sizeAfter;
        } cases[] = {
            {3, 1, 3, 1, 3, 1},  // script, medium
            {4, 1, -1, 1, 1, 1}, // View Folders/Files has no item: Accept turns it into Find
            {1, 7, 1, -1, 1, 0}, // an unknown font size becomes small
        };
        for (const auto& c : cases) {
            config::Settings settings = sampleSettings();
            settings.initialMode = static_cast<config::InitialMode>(c.mode);
            settings.fontSize = static_cast<config::FontSize>(c.size);
            PreferencesDialog preferences(settings);
            QCOMPARE(preferences.initialModeCombo->currentIndex(), c.modeIndex);
            QCOMPARE(preferences.fontSizeCombo->currentIndex(), c.sizeIndex);
            whenModalShown([](QDialog* dialog) { click(dialog, "okButton"); });
            QCOMPARE(preferences.exec(), int(QDialog::Accepted));
            config::Settings expected = sampleSettings();
            expected.initialMode = static_cast<config::InitialMode>(c.modeAfter);
            expected.fontSize = static_cast<config::FontSize>(c.sizeAfter);
            QCOMPARE(xml(settings), xml(expected));
        }

        // Cancel keeps the settings, yet the next opening shows the cancelled edits.
        config::Settings settings = sampleSettings();
        PreferencesDialog preferences(settings);
        for (const bool kept : {!settings.keepUndoJournal, settings.keepUndoJournal}) {
            preferences.undoJournalCheck->setChecked(kept);
            QCOMPARE(preferences.replaceInPlaceCheck->text(),
                     kept ? "Replace in place (the old content is kept for undo)"
                          : "Replace In-Situ (no backup)");
        }
        QCOMPARE(preferences.undoMegabytesSpin->value(), 1);
        QCOMPARE(label(preferences, "laEditorTokens")->text(),
                 "Tokens:  %CursorAt% %LineNumber% %Column% %StartSel% %EndSel% %Filename%");
        whenModalShown([](QDialog* dialog) {
            combo(*dialog, "fontSizeCombo")->setCurrentIndex(2);
            QTest::keyClicks(part<QLineEdit>(*dialog, "editorEdit"), "x");
            click(dialog, "cancelButton");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(xml(settings), xml(sampleSettings()));
        QString shown;
        whenModalShown([&shown](QDialog* dialog) {
            shown = combo(*dialog, "fontSizeCombo")->currentText() + "|" +
                    part<QLineEdit>(*dialog, "editorEdit")->text();
            combo(*dialog, "initialModeCombo")->setCurrentIndex(0);
            for (const char* check :
                 {"caseSensitiveCheck", "replaceInPlaceCheck", "skipBinaryCheck",
                  "respectGitignoreCheck", "includeHiddenCheck", "undoJournalCheck"})
                QTest::keyClick(part<QCheckBox>(*dialog, check), Qt::Key_Space);
            part<QSpinBox>(*dialog, "undoRunsSpin")->setValue(5);
            part<QSpinBox>(*dialog, "undoMegabytesSpin")->setValue(64);
            part<QLineEdit>(*dialog, "editorEdit")->clear(); // stored empty, as typed
            auto* commandLine = part<QLineEdit>(*dialog, "editorCommandLineEdit");
            commandLine->clear();
            QTest::keyClicks(commandLine, "--line %LineNumber% %Filename%");
            click(dialog, "okButton");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Accepted));
        QCOMPARE(shown, "Large|/usr/bin/gvimx");
        config::Settings expected = sampleSettings();
        expected.initialMode = config::InitialMode::LastUsed;
        expected.fontSize = config::FontSize::Large; // the cancelled edit
        expected.caseSensitiveMatching = expected.keepUndoJournal = false;
        expected.replaceInSitu = expected.skipBinaryFiles = true;
        expected.respectGitignore = expected.includeHidden = true;
        expected.undoRunsKept = 5;
        expected.undoBytesKept = int64_t{64} << 20;
        expected.editorFileSpec.clear();
        expected.editorCommandLine = "--line %LineNumber% %Filename%";
        QCOMPARE(xml(settings), xml(expected));
    }

    void mountsGiveTheVolumesAndTheDriveOfAPath() {
        const struct {
            const char* what;
            QString mounts;
            QStringList volumes;
        } mounts[] = {
            {"disks and shares, system folders left out, duplicates once",
             "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/ann/STICK vfat rw 0 0\n"
             "/dev/sda2 /boot ext4 rw 0 0\n/dev/sda3 /var ext4 rw 0 0\n"
             "/dev/sda4 /etc/hosts ext4 rw 0 0\n/dev/sdc1 /run/media/ann/USB vfat rw 0 0\n"
             "srv:/export /mnt/nfs nfs4 rw 0 0\n//srv/share /mnt/smb cifs rw 0 0\n"
             "srv:/export /mnt/nfs nfs4 rw 0 0\n",
             {"/media/ann/STICK", "/run/media/ann/USB", "/mnt/nfs", "/mnt/smb"}},
            {"pseudo file systems and short lines are left out",
             "proc /proc proc rw 0 0\ntmpfs /run tmpfs rw 0 0\noverlay / overlay rw 0 0\n"
             "tmpfs /home/ann/ram tmpfs rw 0 0\n\n/dev/sdb1\n",
             {}},
            {"escaped blanks are decoded",
             "/dev/sdb1 /media/ann/My\\040Disk\\011Two ext4 rw 0 0\n",
             {"/media/ann/My Disk\tTwo"}},
        };
        for (const auto& m : mounts)
            QVERIFY2(parseMountedVolumes(m.mounts) == m.volumes, m.what);
        const std::pair<QString, QString> drives[] = {
            {"/", "/"},
            {"/home/ann", "/home/ann"},
            {"/home/anna/x", "/"},                // a prefix of a name is not a parent
            {"/home/ann/usb/d", "/home/ann/usb"}, // the deepest mount wins
            {"/srv/www", "/"},
        };
        for (const auto& [path, drive] : drives)
            QCOMPARE(driveOfPath({"/", "/home/ann", "/home/ann/usb"}, path), drive);
    }

    // Enter on a question never writes, deletes or discards anything.
    void questionsAnswerEnterWithTheHarmlessButton() {
        const auto services = makeQtUiServices();
        whenModalShown([](QDialog* box) { QTest::keyClick(box, Qt::Key_Return); });
        QVERIFY(!services->askYesNo(nullptr, QStringLiteral("Remove all Find items ?")));
        whenModalShown([](QDialog* box) { QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(services->askYesNoCancel(nullptr, QStringLiteral("Save changed script ?")),
                 Answer::Cancel);
    }

    // The tree lists folders only, hidden ones left out; the drive list moves it to a drive. The
    // picker opens at the box's first folder, else the last one picked (or its nearest parent
    // still there), else home. A typed path that is no folder is said and the dialog stays open;
    // a refused or cancelled pick leaves the last one as it was.
    void pickerListsFoldersStartsAtTheBoxsFolderAndTakesATypedFolderOnly() {
        QTemporaryDir temp;
        for (const char* folder : {"a/b", "c", "a b", "a/deep folder", "a/.hidden"})
            QVERIFY(QDir(temp.path()).mkpath(folder));
        writeFile(temp.path() + "/a/file.txt", "");
        {
            FolderPickerForm form;
            auto* model = qobject_cast<QFileSystemModel*>(form.folderTree->model());
            QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
            form.setCurrentDirectory(temp.path() + "/a");
            QTRY_VERIFY(loaded.contains(QVariantList{temp.path() + "/a"}));
            const QModelIndex parent = model->index(temp.path() + "/a");
            QCOMPARE(model->rowCount(parent), 2); // b and deep folder
            QVERIFY(form.folderTree->isExpanded(parent));
            QCOMPARE(form.folderTree->currentIndex(), parent);
            QCOMPARE(form.driveCombo->itemText(0), "/");
            if (QDir::homePath() != "/")
                QCOMPARE(form.driveCombo->itemText(1), QDir::homePath());
            QCOMPARE(form.driveCombo->currentText(), driveOfPath(driveList(), temp.path()));
            emit form.driveCombo->activated(0);
            QCOMPARE(FolderPickerForm::currentDirectory(), "/");
            QCOMPARE(form.statusLabel->currentMessage(), "/");
        }
        const auto inTemp = [&temp](QString text) {
            return text.replace(QRegularExpression("\\bT(?=/|$)"), temp.path());
        };
        const QString home = QDir::homePath();
        const struct {
            QString box, lastPicked, start;
            std::optional<QString> typed;        // or chosen in the tree; none: left as it opened
            QString outcome;                     // the folder taken, else the status shown
            bool inTree = false, escape = false; // else closed with Return, as OK is the default
        } cases[] = {
            {"", "", home, {}, home},
            {"T/a/b<+>|T/c", "T/c", "T/a/b", {}, "T/a/b"},
            {"T/gone|T/c", "T/a", "T/a", {}, "T/a"},    // missing first folder
            {"T/a/file.txt", "", home, {}, home},       // a file
            {"T/a<excluding", "T/c", "T/c", {}, "T/c"}, // unreadable entry
            {"", "T/a/gone/deeper", "T/a", {}, "T/a"},  // last picked gone
            {"", "T", "T", "T/c/", "T/c"},
            {"", "T", "T", "a/b", "T/a/b"},
            {"", "T", "T", "~", home},
            {"", "T", "T", "file://T/a%20b", "T/a b"},
            {"", "T", "T", "T/a/file.txt", "Not a folder: T/a/file.txt"},
            {"", "T", "T", "missing", "Not a folder: missing"},
            {"", "T", "T", "", "Type or choose a folder"},
            {"", "T", "T", "T/a/deep folder", "T/a/deep folder", true},
            {"", "T", "T", "T/a/deep folder", "", true, true},
        };
        for (const auto& c : cases) {
            FolderPicker picker;
            picker.caption = "Pick the root";
            picker.path = inTemp(c.lastPicked);
            // Title, status and field on opening; the status after a move in the tree.
            QString opened, moved, refused;
            whenModalShown([&](QDialog* dialog) {
                auto* tree = part<QTreeView>(*dialog, "folderTree");
                auto* model = qobject_cast<QFileSystemModel*>(tree->model());
                auto* field = part<QLineEdit>(*dialog, "pathEdit");
                opened = dialog->windowTitle() + "|" + status(dialog) + "|" + field->text();
                if (c.inTree) {
                    tree->setCurrentIndex(model->index(inTemp(*c.typed)));
                    moved = status(dialog);
                } else if (c.typed) {
                    field->setText(inTemp(*c.typed));
                }
                QTest::keyClick(field, c.escape ? Qt::Key_Escape : Qt::Key_Return);
                if (dialog->isVisible()) {
                    refused = status(dialog);
                    click(dialog, "cancelButton");
                }
            });
            const bool accepted = picker.execute(nullptr, inTemp(c.box)) == QDialog::Accepted;
            QCOMPARE(opened, "Pick the root|" + inTemp(c.start) + "|" + inTemp(c.start));
            QCOMPARE(moved, c.inTree ? inTemp(*c.typed) : QString());
            QCOMPARE(accepted ? picker.path : refused, inTemp(c.outcome));
            if (!accepted)
                QCOMPARE(picker.path, inTemp(c.lastPicked));
        }
    }

    void aboutReferencesAndTheQuickStartGuide() {
        const QImage icon = kestravaPixmap(64).toImage();
        QVERIFY(qAlpha(icon.pixel(32, 32)) > 0); // drawn, not an empty picture
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);   // rounded corner stays clear
        AboutDialog about;
        QVERIFY(!label(about, "imgIcon")->pixmap().isNull());
        QCOMPARE(label(about, "laVersion")->text(), "Version 1.1");
        // The Quick Start Guide is copied out whole, its every link leading inside it.
        kesInitResources();
        const QByteArray guide = readFile(":/kestrava/quickstart.html");
        const QString path = quickStartFilePath();
        QVERIFY(path.startsWith(m_cache.path()));
        QCOMPARE(readFile(path), guide);
        const QString page = QString::fromUtf8(guide);
        QSet<QString> ids;
        for (const auto& match : QRegularExpression(R"re(id="([^"]+)")re").globalMatch(page))
            ids.insert(match.captured(1));
        int links = 0;
        for (const auto& match : QRegularExpression(R"re(href="([^"]*)")re").globalMatch(page)) {
            const QString target = match.captured(1);
            QVERIFY2(target.startsWith('#') && ids.contains(target.mid(1)), qPrintable(target));
            ++links;
        }
        QVERIFY(links >= 5);
        // The references open web links only, never a local file or program.
        ReferencesDialog references;
        QStringList opened;
        references.linkOpener = [&](const QString& url) { opened.append(url); };
        QVERIFY(references.referencesBrowser->toHtml().contains("Mastering Regular Expressions"));
        for (const char* link :
             {"https://www.regular-expressions.info/", "file:///etc/passwd", "/usr/bin/xterm"})
            emit references.referencesBrowser->anchorClicked(QUrl(link));
        QCOMPARE(opened, QStringList{"https://www.regular-expressions.info/"});
    }
};

QTEST_MAIN(TestTheme)
#include "theme_test.moc"
