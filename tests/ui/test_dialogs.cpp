// The window's dialogs driven through their real widgets: Preferences fill/accept/cancel, the
// folder picker (start folder, OK, Cancel, choosing a subfolder, drives), the About and
// references windows and the shipped resources.
#include "MainWindowTestSupport.h"
#include "ui/kes_fmAbout.h"
#include "ui/kes_fmPreferences.h"
#include "ui/kes_fmReferences.h"
#include "ui/kes_uUiServices.h"
#include "ui/ldiDirectoryDialog.h"
#include "ui/ldiDirectorydialogForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace {

template <class T> T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child)
        qFatal("no child named %s", name);
    return child;
}

void Click(QWidget* dialog, const char* buttonName) {
    QTest::mouseClick(Child<QPushButton>(dialog, buttonName), Qt::LeftButton);
}

QString Status(QWidget* dialog) {
    return Child<QStatusBar>(dialog, "StatusBar1")->currentMessage();
}

// Moves the picker's folder tree to path.
void Choose(QWidget* dialog, const QString& path) {
    auto* tree = Child<QTreeView>(dialog, "DirectoryListBox1");
    tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(path));
}

kes::TkesSettings SampleSettings() {
    kes::TkesSettings settings;
    settings.InitialMode = kes::imScript;
    settings.FontSize = kes::fsMedium;
    settings.CaseSensitiveMatching = true;
    settings.ReplaceInSitu = false;
    settings.EditorFileSpec = "/usr/bin/gvim";
    settings.EditorCommandLine = "\"+goto %CursorAt%\" %Filename%";
    return settings;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir FCache; // the quick-start copy goes here, not into the user's cache

  private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", FCache.path().toLocal8Bit()); }

    // --- Preferences

    void preferencesFillAndAcceptUntouched_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("modeIndex");
        QTest::addColumn<int>("sizeIndex");
        QTest::addColumn<int>("modeAfter");
        QTest::addColumn<int>("sizeAfter");
        QTest::newRow("last used, small") << 0 << 0 << 0 << 0 << 0 << 0;
        QTest::newRow("script, medium") << 3 << 1 << 3 << 1 << 3 << 1;
        // View Folders/Files has no item: nothing selected, and Accept turns it into Find.
        QTest::newRow("view folders/files becomes find") << 4 << 1 << -1 << 1 << 1 << 1;
        QTest::newRow("unknown font size becomes small") << 1 << 7 << 1 << -1 << 1 << 0;
    }
    void preferencesFillAndAcceptUntouched() {
        QFETCH(int, mode);
        QFETCH(int, size);
        QFETCH(int, modeIndex);
        QFETCH(int, sizeIndex);
        QFETCH(int, modeAfter);
        QFETCH(int, sizeAfter);
        kes::TkesSettings settings = SampleSettings();
        settings.InitialMode = static_cast<kes::TInitialMode>(mode);
        settings.FontSize = static_cast<kes::TFontSize>(size);
        TfmPreferences preferences(settings);
        QCOMPARE(preferences.cboxInitialMode->currentIndex(), modeIndex);
        QCOMPARE(preferences.cboxFontSize->currentIndex(), sizeIndex);
        QVERIFY(preferences.cbCaseSensitiveMatching->isChecked());
        QVERIFY(!preferences.cbReplaceInSitu->isChecked());
        QCOMPARE(preferences.edEditorCommandLine->text(), "\"+goto %CursorAt%\" %Filename%");
        WhenModalShown([](QDialog* dialog) { Click(dialog, "BitBtn1"); });
        QCOMPARE(preferences.exec(), int(QDialog::Accepted));
        QCOMPARE(int(settings.InitialMode), modeAfter);
        QCOMPARE(int(settings.FontSize), sizeAfter);
        const kes::TkesSettings sample = SampleSettings();
        QCOMPARE(settings.CaseSensitiveMatching, sample.CaseSensitiveMatching);
        QCOMPARE(settings.ReplaceInSitu, sample.ReplaceInSitu);
        QCOMPARE(settings.EditorFileSpec, sample.EditorFileSpec);
        QCOMPARE(settings.EditorCommandLine, sample.EditorCommandLine);
    }

    void preferencesAcceptCopiesEveryControl() {
        kes::TkesSettings settings = SampleSettings();
        TfmPreferences preferences(settings);
        WhenModalShown([](QDialog* dialog) {
            Child<QComboBox>(dialog, "cboxInitialMode")->setCurrentIndex(0);
            Child<QComboBox>(dialog, "cboxFontSize")->setCurrentIndex(2);
            QTest::keyClick(Child<QCheckBox>(dialog, "cbCaseSensitiveMatching"), Qt::Key_Space);
            QTest::keyClick(Child<QCheckBox>(dialog, "cbReplaceInSitu"), Qt::Key_Space);
            Child<QLineEdit>(dialog, "edEditorFileSpec")->clear(); // stored empty, as typed
            auto* commandLine = Child<QLineEdit>(dialog, "edEditorCommandLine");
            commandLine->clear();
            QTest::keyClicks(commandLine, "--line %LineNumber% %Filename%");
            Click(dialog, "BitBtn1");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Accepted));
        QCOMPARE(settings.InitialMode, kes::imLastUsed);
        QCOMPARE(settings.FontSize, kes::fsLarge);
        QVERIFY(!settings.CaseSensitiveMatching);
        QVERIFY(settings.ReplaceInSitu);
        QCOMPARE(settings.EditorFileSpec, std::string());
        QCOMPARE(settings.EditorCommandLine, std::string("--line %LineNumber% %Filename%"));
    }

    void preferencesCancelKeepsSettingsButNotEdits() {
        kes::TkesSettings settings = SampleSettings();
        TfmPreferences preferences(settings);
        WhenModalShown([](QDialog* dialog) {
            Child<QComboBox>(dialog, "cboxFontSize")->setCurrentIndex(2);
            QTest::keyClicks(Child<QLineEdit>(dialog, "edEditorFileSpec"), "x");
            Click(dialog, "BitBtn2");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(settings.FontSize, kes::fsMedium);
        QCOMPARE(settings.EditorFileSpec, std::string("/usr/bin/gvim"));
        // Opened again, the dialog still shows the cancelled edits; Escape cancels too.
        QString shown;
        WhenModalShown([&](QDialog* dialog) {
            shown = Child<QComboBox>(dialog, "cboxFontSize")->currentText() + "|" +
                    Child<QLineEdit>(dialog, "edEditorFileSpec")->text();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(shown, "Large|/usr/bin/gvimx");
        QCOMPARE(settings.FontSize, kes::fsMedium);
    }

    void preferencesListTheTokensAndDefaultToTheDesktopOpener() {
        kes::TkesSettings settings;
        TfmPreferences preferences(settings);
        QStringList labels;
        for (const QLabel* label : preferences.findChildren<QLabel*>())
            labels.append(label->text());
        QVERIFY(labels.contains(
            "Tokens:  %CursorAt% %LineNumber% %Column% %StartSel% %EndSel% %Filename%"));
        QCOMPARE(preferences.edEditorFileSpec->text(), "xdg-open");
        QCOMPARE(preferences.edEditorCommandLine->text(), "%Filename%");
    }

    // --- Folder picker

    void mountedVolumes_data() {
        QTest::addColumn<QString>("mounts");
        QTest::addColumn<QStringList>("volumes");
        QTest::newRow("disks and shares, system folders left out, duplicates once")
            << "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/ann/STICK vfat rw 0 0\n"
               "/dev/sda2 /boot ext4 rw 0 0\n/dev/sda3 /var ext4 rw 0 0\n"
               "/dev/sda4 /etc/hosts ext4 rw 0 0\n/dev/sdc1 /run/media/ann/USB vfat rw 0 0\n"
               "srv:/export /mnt/nfs nfs4 rw 0 0\n//srv/share /mnt/smb cifs rw 0 0\n"
               "srv:/export /mnt/nfs nfs4 rw 0 0\n"
            << QStringList{"/media/ann/STICK", "/run/media/ann/USB", "/mnt/nfs", "/mnt/smb"};
        QTest::newRow("pseudo file systems and short lines are left out")
            << "proc /proc proc rw 0 0\ntmpfs /run tmpfs rw 0 0\noverlay / overlay rw 0 0\n"
               "tmpfs /home/ann/ram tmpfs rw 0 0\n\n/dev/sdb1\n"
            << QStringList{};
        QTest::newRow("escaped blanks are decoded")
            << "/dev/sdb1 /media/ann/My\\040Disk\\011Two ext4 rw 0 0\n"
            << QStringList{"/media/ann/My Disk\tTwo"};
    }
    void mountedVolumes() {
        QFETCH(QString, mounts);
        QFETCH(QStringList, volumes);
        QCOMPARE(ParseMountedVolumes(mounts), volumes);
    }

    void driveOfPath_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        QTest::newRow("root") << QString("/") << QString("/");
        QTest::newRow("home itself") << QString("/home/ann") << QString("/home/ann");
        QTest::newRow("prefix of a name is not a parent")
            << QString("/home/anna/x") << QString("/");
        QTest::newRow("deepest mount wins")
            << QString("/home/ann/usb/d") << QString("/home/ann/usb");
        QTest::newRow("elsewhere") << QString("/srv/www") << QString("/");
    }
    void driveOfPath() {
        QFETCH(QString, path);
        QFETCH(QString, drive);
        QCOMPARE(DriveOfPath({"/", "/home/ann", "/home/ann/usb"}, path), drive);
    }

    // Enter on a question never writes, deletes or discards anything.
    void questionsAnswerEnterWithTheHarmlessButton() {
        const auto services = MakeQtUiServices();
        WhenModalShown([](QDialog* box) { QTest::keyClick(box, Qt::Key_Return); });
        QVERIFY(!services->AskYesNo(nullptr, QStringLiteral("Remove all Find items ?")));
        WhenModalShown([](QDialog* box) { QTest::keyClick(box, Qt::Key_Return); });
        QCOMPARE(services->AskYesNoCancel(nullptr, QStringLiteral("Save changed script ?")),
                 anCancel);
    }

    void pickerOpensAtCurrentFolderOrNearestExistingParent() {
        QTemporaryDir temp;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(temp.path()));
        const QString current = QDir::currentPath();
        TldiDirectoryDialog picker;
        QString status;
        WhenModalShown([&](QDialog* dialog) {
            status = Status(dialog);
            QTest::keyClick(dialog, Qt::Key_Return); // OK is the default button
        });
        const int result = picker.Execute();
        QDir::setCurrent(previous);
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(picker.Path, current);
        QCOMPARE(status, current);
        picker.Path = temp.path() + "/gone/deeper"; // a missing folder: its nearest parent
        WhenModalShown([](QDialog* dialog) { Click(dialog, "OKBtn"); });
        QCOMPARE(picker.Execute(), int(QDialog::Accepted));
        QCOMPARE(picker.Path, temp.path());
        QCOMPARE(ExistingFolderOrParent(""), QString());
    }

    void pickerCancelKeepsPath() {
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkpath("a/b"));
        TldiDirectoryDialog picker;
        picker.Caption = "Pick the root";
        picker.Path = temp.path() + "/a";
        for (const bool escape : {false, true}) {
            QString title;
            WhenModalShown([&](QDialog* dialog) {
                title = dialog->windowTitle();
                Choose(dialog, temp.path() + "/a/b"); // moved, then cancelled
                if (escape)
                    QTest::keyClick(dialog, Qt::Key_Escape);
                else
                    Click(dialog, "CancelBtn");
            });
            QCOMPARE(picker.Execute(), int(QDialog::Rejected));
            QCOMPARE(picker.Path, temp.path() + "/a");
            QCOMPARE(title, "Pick the root");
        }
    }

    void pickerSubfolderReturnsFullPath() {
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkpath("src/deep folder"));
        TldiDirectoryDialog picker;
        picker.Path = temp.path();
        const QString chosen = temp.path() + "/src/deep folder";
        QString status;
        QString selected;
        WhenModalShown([&](QDialog* dialog) {
            auto* tree = Child<QTreeView>(dialog, "DirectoryListBox1");
            selected =
                qobject_cast<QFileSystemModel*>(tree->model())->filePath(tree->currentIndex());
            Choose(dialog, chosen);
            status = Status(dialog);
            Click(dialog, "OKBtn");
        });
        QCOMPARE(picker.Execute(), int(QDialog::Accepted));
        QCOMPARE(selected, temp.path()); // the opening folder is selected
        QCOMPARE(status, chosen);
        QCOMPARE(picker.Path, chosen);
    }

    void pickerDriveSelectorMovesToDrive() {
        TldiDirectoryDialogForm form;
        auto* drives = form.DriveComboBox1;
        QCOMPARE(drives->itemText(0), "/");
        if (QDir::homePath() != "/")
            QCOMPARE(drives->itemText(1), QDir::homePath());
        QTemporaryDir temp;
        form.SetCurrentDirectory(temp.path());
        QCOMPARE(drives->currentText(), DriveOfPath(DriveList(), temp.path()));
        emit drives->activated(0);
        QCOMPARE(TldiDirectoryDialogForm::CurrentDirectory(), "/");
        QCOMPARE(form.StatusBar1->currentMessage(), "/");
    }

    void pickerListsFoldersOnly() {
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkpath("visible") && QDir(temp.path()).mkpath(".hidden"));
        QFile file(temp.path() + "/file.txt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        TldiDirectoryDialogForm form;
        auto* model = qobject_cast<QFileSystemModel*>(form.DirectoryListBox1->model());
        QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
        form.SetCurrentDirectory(temp.path());
        QTRY_VERIFY(loaded.contains(QVariantList{temp.path()}));
        const QModelIndex parent = model->index(temp.path());
        QCOMPARE(model->rowCount(parent), 1);
        QCOMPARE(model->index(0, 0, parent).data().toString(), "visible");
        QVERIFY(form.DirectoryListBox1->isExpanded(parent));
        QCOMPARE(form.DirectoryListBox1->currentIndex(), parent);
    }

    // --- About, references and resources

    void iconAboutAndQuickStartResources() {
        const QImage icon = KestravaPixmap(64).toImage();
        QVERIFY(qAlpha(icon.pixel(32, 32)) > 0); // drawn, not an empty picture
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);   // rounded corner stays clear
        TfmAbout about;
        QVERIFY(!Child<QLabel>(&about, "imgIcon")->pixmap().isNull());
        QCOMPARE(Child<QLabel>(&about, "laVersion")->text(), "Version 1.1");
        const QString path = QuickStartFilePath();
        QVERIFY(path.startsWith(FCache.path()));
        QFile copy(path);
        QFile resource(":/kestrava/quickstart.html");
        QVERIFY(copy.open(QIODevice::ReadOnly) && resource.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), resource.readAll());
    }

    void quickStartLinksResolve() {
        kesInitResources();
        QFile resource(":/kestrava/quickstart.html");
        QVERIFY(resource.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(resource.readAll());
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
    }

    void referencesOpenOnlyWebLinks() {
        TfmReferences references;
        QStringList opened;
        references.LinkOpener = [&](const QString& url) { opened.append(url); };
        QVERIFY(references.tbReferences->toHtml().contains("Mastering Regular Expressions"));
        emit references.tbReferences->anchorClicked(QUrl("https://www.regular-expressions.info/"));
        emit references.tbReferences->anchorClicked(QUrl("file:///etc/passwd"));
        emit references.tbReferences->anchorClicked(QUrl("/usr/bin/xterm"));
        QCOMPARE(opened, QStringList{"https://www.regular-expressions.info/"});
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
