// Exporting results from the grid's context menu: the menu's order, the exact rich text (and a
// plain-text form) on the clipboard, the saved files' bytes with and without lines, the save
// dialog's title, filter and starting folder, and a failed save.
#include "MainWindowTestSupport.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>

#include <optional>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

const QByteArray kRtfHead =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}"
    "{\\colortbl ;\\red255\\green0\\blue0;;\\red0\\green128\\blue0;\\red0\\green0\\blue255;}"
    "{\\*\\generator Msftedit 5.41.21.2500;}\\viewkind4\\uc1\\pard\\f0\\fs20 ";

} // namespace

class TestMainWindowExport : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        F.emplace();
        WriteFile(Root() + "/a.txt", "x {TODO} y\nnothing\n");
    }
    void cleanup() { F.reset(); }

    void ContextMenuOffersItsItemsInOrder() {
        TTestWindow w;
        QStringList items;
        for (QAction* action : w->PopupMenu2->actions())
            items << (action->isSeparator() ? QString("-") : action->text());
        QCOMPARE(items,
                 (QStringList{"Open with preferred editor", "-", "Open with default program", "-",
                              "Copy all results to Clipboard", "Save all results to Text File", "-",
                              "Save all results (filenames only) to Text file", "-", "Cancel"}));
    }

    void CopyPutsTheExactRichTextOnTheClipboard() {
        TTestWindow w;
        Find(w);
        w->findChild<QAction*>("pumCopy")->trigger();
        const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
        QVERIFY(mime != nullptr);
        const QByteArray lines = "Folders:  " + Root().toUtf8() +
                                 "\\par\r\n"
                                 "Files:    *.txt\\par\r\n"
                                 "Find:     todo\\par\r\n"
                                 "\\par\r\n"
                                 "Found 1 match in " +
                                 Root().toUtf8() +
                                 "/a.txt\\par\r\n"
                                 "x \\{TODO\\} y\\par\r\n"
                                 "\\par\r\n"
                                 "\\par\r\n";
        QCOMPARE(mime->data("text/rtf"), kRtfHead + lines + "\\cf0\\par}");
        QCOMPARE(mime->data("application/rtf"), mime->data("text/rtf"));
        QCOMPARE(mime->text(), "Folders:  " + Root() + "\nFiles:    *.txt\nFind:     todo\n\n" +
                                   "Found 1 match in " + Root() + "/a.txt\nx {TODO} y\n\n\n");
        QVERIFY(w.fake->Shown.empty());
    }

    void SavesWriteTheViewWithOrWithoutLines_data() {
        QTest::addColumn<bool>("namesOnly");
        QTest::addColumn<QString>("view");
        QTest::addColumn<QByteArray>("body"); // after the three header lines and an empty one
        const QByteArray header = "Found 1 match in %1/a.txt\r\n";
        // The views' own texts are the exporter's business; these show the window passes its view.
        QTest::newRow("matches only") << false << "mmView_MatchesOnly" << header + "TODO\r\n";
        QTest::newRow("file lines only") << true << "mmView_LinesWithMatches" << header;
    }
    void SavesWriteTheViewWithOrWithoutLines() {
        QFETCH(bool, namesOnly);
        QFETCH(QString, view);
        QFETCH(QByteArray, body);
        const QString item =
            namesOnly ? "SaveallresultsfilenamesonlytoTextfile1" : "pumCopyToTextFile";
        const QString title =
            namesOnly ? "Save all results (filenames only) to:" : "Save all results to:";
        TTestWindow w;
        Find(w);
        w->findChild<QAction*>(view)->trigger();
        const QString path = Root() + "/out/saved.txt";
        QDir().mkpath(Root() + "/out");
        w.fake->FilesToSave = {path};
        w->findChild<QAction*>(item)->trigger();
        const auto& dialog = w.fake->SaveDialogs.at(0); // nothing exported yet: no folder
        QCOMPARE(QStringList({dialog.Title, dialog.Filter, dialog.Suffix, dialog.Folder}),
                 QStringList({title, "Text files (*.txt)", "txt", ""}));
        // The blank row after the file, the final empty line and the writer's last line end.
        const QByteArray expected = "Folders:  " + Root().toUtf8() +
                                    "\r\nFiles:    *.txt\r\nFind:     todo\r\n\r\n" +
                                    QString::fromUtf8(body).arg(Root()).toUtf8() + "\r\n\r\n\r\n";
        QCOMPARE(ReadAll(path), expected);
        QCOMPARE(w->LastExportFolder(), Root() + "/out/");
        // The next save starts where the last one went.
        w->findChild<QAction*>(item)->trigger();
        QCOMPARE(w.fake->SaveDialogs[1].Folder, Root() + "/out/");
    }

    void ExportHeaderFollowsTheModeAndTheBoxesAsTheyAreNow() {
        TTestWindow w;
        Find(w);
        w->cboxFiles->setEditText("*.md"); // changed after the search, without clearing it
        const QString path = Root() + "/h.txt";
        w.fake->FilesToSave = {path};
        w->SaveallresultsfilenamesonlytoTextfile1Click();
        QVERIFY(
            ReadAll(path).startsWith("Folders:  " + Root().toUtf8() + "\r\nFiles:    *.md\r\n"));

        w->SetMode(kes::mdScript);
        w.fake->Answers = {true};
        QSignalSpy ended(w.window.get(), &TfmMain::RunEnded);
        w->sbAppend->click();
        TypeInto(w->cboxFolders, Root());
        TypeInto(w->cboxFiles, "*.txt");
        TypeInto(w->cboxFind, "nothing");
        w->bbAccept->click();
        w->bbRunScript->click();
        QTRY_COMPARE(ended.count(), 1);
        w.fake->FilesToSave = {path};
        w->SaveallresultsfilenamesonlytoTextfile1Click();
        QCOMPARE(ReadAll(path), "Script: New (unsaved) script\r\n\r\nFound 1 match in " +
                                    Root().toUtf8() + "/a.txt\r\n\r\n\r\n\r\n");
    }

    void AFailedSaveIsShownAndCancelWritesNothing() {
        TTestWindow w;
        Find(w);
        w->pumCopyToTextFileClick(); // the dialog is cancelled
        QVERIFY(w.fake->Shown.empty());
        QCOMPARE(w->LastExportFolder(), QString());
        const QString missing = Root() + "/no/such/folder/r.txt";
        w.fake->FilesToSave = {missing};
        w->pumCopyToTextFileClick();
        QCOMPARE(w.fake->AllShown(),
                 "error: Directory \"" + Root() + "/no/such/folder/\" does not exist.");
        QVERIFY(!QFile::exists(missing));
    }

    void ExportWithoutMatchesSaysSo() {
        TTestWindow w;
        Find(w, "zzz");
        w.fake->FilesToSave = {Root() + "/none.txt"};
        w->pumCopyToTextFileClick();
        QCOMPARE(ReadAll(Root() + "/none.txt"), QByteArray("No matches found\r\n\r\n\r\n\r\n"));
    }

  private:
    QString Root() const { return F->Root(); }
    void Find(TTestWindow& w, const QString& find = "todo") { RunFind(w, Root(), "*.txt", find); }

    std::optional<TTestFolders> F;
};

QTEST_MAIN(TestMainWindowExport)
#include "test_mainwindow_export.moc"
