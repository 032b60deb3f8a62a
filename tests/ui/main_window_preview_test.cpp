// View > Preview: the file of the grid's current row below the grid, its matches highlighted and
// the row's line marked in sight; only the lines around it read from a large file; a file that
// is gone or changed said instead; the pane and its height kept across a restart.
#include "main_window_test_support.h"

#include "ui/preview_pane.h"

#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBlock>
#include <QTextLayout>

#include <sys/stat.h>

namespace {

PreviewPane* preview(const MainWindow& w) {
    return part<PreviewPane>(w, "previewPane");
}

// The highlighted spans of a shown line: (start, length) in characters.
QList<QPair<int, int>> highlighted(PreviewPane* pane, int line) {
    QList<QPair<int, int>> spans;
    const QTextBlock block = pane->textView().document()->findBlockByNumber(line);
    for (const QTextLayout::FormatRange& range : block.layout()->formats())
        spans << qMakePair(range.start, range.length);
    return spans;
}

bool markedLineInSight(PreviewPane* pane) {
    QPlainTextEdit& view = pane->textView();
    return view.viewport()->rect().contains(view.cursorRect().center());
}

} // namespace

class TestMainWindowPreview : public WindowTest {
    Q_OBJECT
  private slots:
    void previewFollowsTheCurrentRowWithEveryMatchHighlighted() {
        writeFile(root() + "/a.txt",
                  "first\n\xc3\xa9 TODO and todo\nthird\nfourth\nfifth todo\nend\n");
        writeFile(root() + "/b.txt", "TODO x");
        TestWindow w;
        runFind(w, root(), "*.txt", "todo");
        item(*w, "previewAction")->trigger();
        PreviewPane* pane = preview(*w);
        QVERIFY(pane->isVisible());
        clickRow(*w, 1); // a.txt, line 2
        QCOMPARE(pane->note(), root() + "/a.txt");
        QCOMPARE(pane->textView().blockCount(), 6); // the last line feed starts no line
        QCOMPARE(pane->markedLineNumber(), 2);
        QCOMPARE(highlighted(pane, 1), (QList<QPair<int, int>>{{2, 4}, {11, 4}})); // after "é"
        QCOMPARE(highlighted(pane, 4), (QList<QPair<int, int>>{{6, 4}}));
        QVERIFY(markedLineInSight(pane));
        QTest::keyClick(grid(*w), Qt::Key_Down); // a.txt, line 5
        QCOMPARE(pane->markedLineNumber(), 5);
        clickRow(*w, 4); // b.txt's header: its first match
        QCOMPARE(pane->note(), root() + "/b.txt");
        QCOMPARE(pane->markedLineNumber(), 1);

        w->settings().editorFileSpec = "sh"; // never started: the fake records it
        QTest::mouseDClick(grid(*w)->viewport(), Qt::LeftButton, {}, rowCentre(*w, 1));
        QCOMPARE(w.fake->startedPrograms.size(), size_t(1));
        QCOMPARE(pane->markedLineNumber(), 2);

        runFind(w, root(), "*.txt", "todo"); // new results: nothing of the old ones stays
        QCOMPARE(pane->textView().toPlainText(), QString());
        QCOMPARE(pane->markedLineNumber(), 0);
    }

    // Only the lines around the chosen one are read from a large file, and a long line cut by
    // that window still decodes as UTF-8.
    void aLargeFileIsReadOnlyAroundTheChosenLine() {
        QByteArray text;
        for (int line = 1; line <= 200'000; ++line)
            text += "line " + QByteArray::number(line) + (line == 150'000 ? " MARK\n" : "\n");
        writeFile(root() + "/big.txt", text);
        const QByteArray euros = QByteArray("\xe2\x82\xac").repeated(60'000); // cut mid-character
        writeFile(root() + "/long.txt", euros + "MARK" + euros);
        TestWindow w;
        item(*w, "previewAction")->trigger();
        runFind(w, root(), "*.txt", "MARK");
        clickRow(*w, 1);
        PreviewPane* pane = preview(*w);
        QCOMPARE(pane->markedLineNumber(), 150'000);
        QCOMPARE(pane->firstLineNumber(), 148'000);
        QCOMPARE(pane->textView().blockCount(), 4001);
        QCOMPARE(pane->textView().document()->firstBlock().text(), QString("line 148000"));
        QCOMPARE(pane->textView().document()->findBlockByNumber(2000).text(),
                 QString("line 150000 MARK"));
        QCOMPARE(highlighted(pane, 2000), (QList<QPair<int, int>>{{12, 4}}));
        QVERIFY(pane->note().startsWith("Lines 148000-152000 of "));
        QVERIFY(markedLineInSight(pane));

        clickRow(*w, 4); // long.txt
        const QString line = pane->textView().document()->firstBlock().text();
        QVERIFY(!line.contains(QChar(0xE2))); // no Latin-1 fallback
        QCOMPARE(highlighted(pane, 0), (QList<QPair<int, int>>{{line.indexOf("MARK"), 4}}));
    }

    // Each file removed, shortened, edited in place or made a FIFO after the search.
    void aFileThatCannotBeShownIsSaidInstead() {
        for (const char* name : {"a", "b", "c", "d"})
            writeFile(root() + "/" + name + ".txt", "one\ntwo TODO\n");
        TestWindow w;
        item(*w, "previewAction")->trigger();
        runFind(w, root(), "*.txt", "todo");
        const QString path = root() + "/%1.txt";
        for (const char* name : {"a", "b", "c", "d"})
            QFile::remove(path.arg(name));
        writeFile(path.arg("b"), "one\n");
        writeFile(path.arg("c"), "one\ntwo DONE\n");
        QCOMPARE(mkfifo(path.arg("d").toLocal8Bit().constData(), 0600), 0);
        const std::pair<const char*, QString> files[] = {
            {"a", " is no longer there."},
            {"b", " has changed since it was searched."},
            {"c", " has changed since it was searched."},
            {"d", " is no longer a regular file."},
        };
        int row = 1;
        for (const auto& [name, said] : files) {
            clickRow(*w, row);
            row += 3; // a file's header, its line and a blank row
            PreviewPane* pane = preview(*w);
            QCOMPARE(pane->note(), path.arg(name) + said);
            QCOMPARE(pane->textView().toPlainText(), QString());
            QCOMPARE(pane->markedLineNumber(), 0);
        }
    }

    void previewAndItsHeightAreKeptAcrossARestart() {
        {
            TestWindow w;
            QVERIFY(!preview(*w)->isVisible()); // hidden until asked for
            item(*w, "previewAction")->trigger();
            auto* splitter = part<QSplitter>(*w, "previewSplitter");
            QTRY_VERIFY(splitter->sizes().value(1) > 0);
            const int room = splitter->sizes()[0] + splitter->sizes()[1];
            splitter->setSizes({room - 180, 180});
            emit splitter->splitterMoved(room - 180, 1); // as a drag of the handle ends
            QVERIFY(w->close());
        }
        QVERIFY(m_env->config.read("KestravaConfig.xml")
                    .contains("<preview value=\"yes\" size=\"180\"/>"));
        TestWindow again;
        QVERIFY(item(*again, "previewAction")->isChecked());
        QTRY_COMPARE(part<QSplitter>(*again, "previewSplitter")->sizes().value(1), 180);
    }
};

QTEST_MAIN(TestMainWindowPreview)
#include "main_window_preview_test.moc"
