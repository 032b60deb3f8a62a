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
        FConfig = std::make_unique<TTestConfigFolder>();
        FTree = std::make_unique<QTemporaryDir>();
        WriteFile(Root() + "/a.txt", "x {TODO} y\nnothing\n");
    }
    void cleanup() {
        FTree.reset();
        FConfig.reset();
    }

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
        RunFind(w);
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
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("body"); // after the three header lines and an empty one
        QTest::newRow("lines with matches")
            << "pumCopyToTextFile"
            << "mmView_LinesWithMatches"
            << "Save all results to:" << QByteArray("Found 1 match in %1/a.txt\r\nx {TODO} y\r\n");
        QTest::newRow("file lines only") << "SaveallresultsfilenamesonlytoTextfile1"
                                         << "mmView_LinesWithMatches"
                                         << "Save all results (filenames only) to:"
                                         << QByteArray("Found 1 match in %1/a.txt\r\n");
        QTest::newRow("matches only")
            << "pumCopyToTextFile"
            << "mmView_MatchesOnly"
            << "Save all results to:" << QByteArray("Found 1 match in %1/a.txt\r\nTODO\r\n");
        QTest::newRow("file lines only of a unique view")
            << "SaveallresultsfilenamesonlytoTextfile1"
            << "mmView_UniqueMatches"
            << "Save all results (filenames only) to:" << QByteArray();
    }
    void SavesWriteTheViewWithOrWithoutLines() {
        QFETCH(QString, item);
        QFETCH(QString, view);
        QFETCH(QString, title);
        QFETCH(QByteArray, body);
        TTestWindow w;
        RunFind(w);
        w->findChild<QAction*>(view)->trigger();
        const QString path = Root() + "/out/saved.txt";
        QDir().mkpath(Root() + "/out");
        w.fake->FilesToSave = {path};
        w->findChild<QAction*>(item)->trigger();
        QCOMPARE(w.fake->SaveDialogs.size(), size_t(1));
        QCOMPARE(w.fake->SaveDialogs[0].Title, title);
        QCOMPARE(w.fake->SaveDialogs[0].Filter, QString("Text files (*.txt)"));
        QCOMPARE(w.fake->SaveDialogs[0].Suffix, QString("txt"));
        QCOMPARE(w.fake->SaveDialogs[0].Folder, QString()); // nothing exported yet
        const QByteArray root = Root().toUtf8();
        QByteArray expected = "Folders:  " + root +
                              "\r\nFiles:    *.txt\r\nFind:     todo\r\n\r\n" +
                              QString::fromUtf8(body).arg(Root()).toUtf8();
        if (!body.isEmpty())
            expected += "\r\n"; // the blank row after the file
        expected += "\r\n\r\n"; // the final empty line, and the line end the writer adds
        QCOMPARE(ReadAll(path), expected);
        QCOMPARE(w->LastExportFolder(), Root() + "/out/");
        // The next save starts where the last one went.
        w->findChild<QAction*>(item)->trigger();
        QCOMPARE(w.fake->SaveDialogs[1].Folder, Root() + "/out/");
    }

    void ExportHeaderFollowsTheModeAndTheBoxesAsTheyAreNow() {
        TTestWindow w;
        RunFind(w);
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

    void ExportWithoutMatchesSaysSo() {
        TTestWindow w;
        RunFind(w, "zzz");
        w.fake->FilesToSave = {Root() + "/none.txt"};
        w->pumCopyToTextFileClick();
        QCOMPARE(ReadAll(Root() + "/none.txt"), QByteArray("No matches found\r\n\r\n\r\n\r\n"));
    }

    void AFailedSaveIsShownAndCancelWritesNothing() {
        TTestWindow w;
        RunFind(w);
        w->pumCopyToTextFileClick(); // the dialog is cancelled
        QVERIFY(w.fake->Shown.empty());
        QCOMPARE(w->LastExportFolder(), QString());
        const QString missing = Root() + "/no/such/folder/r.txt";
        w.fake->FilesToSave = {missing};
        w->pumCopyToTextFileClick();
        QCOMPARE(w.fake->Shown.size(), size_t(1));
        QCOMPARE(w.fake->Shown[0].Kind, QString("error"));
        QCOMPARE(w.fake->Shown[0].Text,
                 QString("Directory \"") + Root() + "/no/such/folder/\" does not exist.");
        QVERIFY(!QFile::exists(missing));
    }

  private:
    QString Root() const { return FTree->path(); }
    void RunFind(TTestWindow& w, const QString& find = "todo") {
        TypeInto(w->cboxFolders, Root());
        TypeInto(w->cboxFiles, "*.txt");
        TypeInto(w->cboxFind, find);
        w->bbFindClick();
        QTRY_VERIFY(!w->IsRunning());
    }

    std::unique_ptr<TTestConfigFolder> FConfig;
    std::unique_ptr<QTemporaryDir> FTree;
};

QTEST_MAIN(TestMainWindowExport)
#include "test_mainwindow_export.moc"
