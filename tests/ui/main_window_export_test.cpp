// Exporting results from the grid's context menu: the menu's order, the exact rich text (and a
// plain-text form) on the clipboard, the saved files' bytes with and without lines, the save
// dialog's title, filter and starting folder, a failed save, and the header in each mode.
#include "main_window_test_support.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

class TestMainWindowExport : public WindowTest {
    Q_OBJECT
  private slots:
    void exportsFromTheResultsMenu() {
        writeFile(root() + "/a.txt", "x {TODO} y\nnothing\n");
        TestWindow w;
        QStringList items;
        for (QAction* action : menu(*w, "resultsMenu")->actions())
            items << (action->isSeparator() ? QString("-") : action->text());
        QCOMPARE(items,
                 (QStringList{"Open with preferred editor", "-", "Open with default program", "-",
                              "Copy all results to Clipboard", "Save all results to Text File", "-",
                              "Save all results (filenames only) to Text file", "-", "Cancel"}));
        runFind(w, root(), "*.txt", "todo");

        item(*w, "copyResultsAction")->trigger();
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        QVERIFY(mime != nullptr);
        const QByteArray lines =
            QString("Folders:  %1\\par\r\nFiles:    *.txt\\par\r\n"
                    "Find:     todo\\par\r\n\\par\r\nFound 1 match in "
                    "%1/a.txt\\par\r\nx \\{TODO\\} y\\par\r\n\\par\r\n\\par\r\n")
                .arg(root())
                .toUtf8();
        // The document's fixed head is the exporter's (RichText.EscapesAndEndsEachLineWithPar).
        const QByteArray rtf = mime->data("text/rtf");
        QVERIFY(rtf.startsWith("{\\rtf1\\ansi"));
        QVERIFY2(rtf.endsWith("\\fs20 " + lines + "\\cf0\\par}"), rtf.constData());
        QCOMPARE(mime->data("application/rtf"), mime->data("text/rtf"));
        QCOMPARE(mime->text(), "Folders:  " + root() + "\nFiles:    *.txt\nFind:     todo\n\n" +
                                   "Found 1 match in " + root() + "/a.txt\nx {TODO} y\n\n\n");

        item(*w, "saveResultsAction")->trigger(); // the dialog is cancelled
        QVERIFY(w.fake->shown.empty());
        QCOMPARE(w->lastExportFolder(), QString());
        // The views' own texts are the exporter's business; these show the window passes its view.
        const struct {
            QString item, view, title;
            QByteArray body; // after the three header lines and an empty one
        } saves[] = {
            {"saveResultsAction", "mmView_MatchesOnly",
             "Save all results to:", "Found 1 match in %1/a.txt\r\nTODO\r\n"},
            {"saveFileNamesAction", "mmView_LinesWithMatches",
             "Save all results (filenames only) to:", "Found 1 match in %1/a.txt\r\n"},
        };
        QDir().mkpath(root() + "/out");
        const QString path = root() + "/out/saved.txt";
        QString folder; // nothing exported yet: no folder; then where the last save went
        for (const auto& [action, view, title, body] : saves) {
            item(*w, qPrintable(view))->trigger();
            w.fake->filesToSave = {path};
            item(*w, qPrintable(action))->trigger();
            const auto& dialog = w.fake->saveDialogs.back();
            QCOMPARE(QStringList({dialog.title, dialog.filter, dialog.suffix, dialog.folder}),
                     QStringList({title, "Text files (*.txt)", "txt", folder}));
            // The blank row after the file, the final empty line and the writer's last line end.
            QCOMPARE(readFile(path), "Folders:  " + root().toUtf8() +
                                         "\r\nFiles:    *.txt\r\nFind:     todo\r\n\r\n" +
                                         QString::fromUtf8(body).arg(root()).toUtf8() +
                                         "\r\n\r\n\r\n");
            QCOMPARE(w->lastExportFolder(), root() + "/out/");
            folder = root() + "/out/";
        }

        // A failed save writes nothing; the header is the mode's, with the boxes as they are now.
        const QString missing = root() + "/no/such/folder/r.txt";
        w.fake->filesToSave = {missing};
        item(*w, "saveResultsAction")->trigger();
        QCOMPARE(w.fake->saveDialogs.back().folder, folder); // where the names went
        QCOMPARE(w.fake->allShown(),
                 "error: Directory \"" + root() + "/no/such/folder/\" does not exist.");
        QVERIFY(!QFile::exists(missing));
        combo(*w, "filesCombo")->setEditText("*.md"); // changed after the search, kept shown
        w.fake->filesToSave = {path};
        item(*w, "saveFileNamesAction")->trigger();
        QVERIFY(
            readFile(path).startsWith("Folders:  " + root().toUtf8() + "\r\nFiles:    *.md\r\n"));
        chooseMode(*w, Mode::Script);
        appendItem(*w, root(), "*.txt", "nothing");
        runScript(w);
        w.fake->filesToSave = {path};
        item(*w, "saveFileNamesAction")->trigger();
        QCOMPARE(readFile(path), "Script: New (unsaved) script\r\n\r\nFound 1 match in " +
                                     root().toUtf8() + "/a.txt\r\n\r\n\r\n\r\n");
    }
};

QTEST_MAIN(TestMainWindowExport)
#include "main_window_export_test.moc"
