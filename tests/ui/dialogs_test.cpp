// The window's dialogs driven through their real widgets: Preferences fill/accept/cancel, the
// folder picker (start folder, OK, Cancel, choosing a subfolder, drives), the About and
// references windows and the shipped resources.
#include "main_window_test_support.h"
#include "ui/about_dialog.h"
#include "ui/folder_picker.h"
#include "ui/folder_picker_form.h"
#include "ui/preferences_dialog.h"
#include "ui/references_dialog.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTreeView>

#include <functional>

namespace {

void click(QWidget* dialog, const char* buttonName) {
    QTest::mouseClick(button(*dialog, buttonName), Qt::LeftButton);
}

QString status(QWidget* dialog) {
    return part<QStatusBar>(*dialog, "statusLabel")->currentMessage();
}

// Moves the picker's folder tree to path.
void choose(QWidget* dialog, const QString& path) {
    auto* tree = part<QTreeView>(*dialog, "folderTree");
    tree->setCurrentIndex(qobject_cast<QFileSystemModel*>(tree->model())->index(path));
}

kestrava::config::Settings sampleSettings() {
    kestrava::config::Settings settings;
    settings.initialMode = kestrava::config::InitialMode::Script;
    settings.fontSize = kestrava::config::FontSize::Medium;
    settings.caseSensitiveMatching = true;
    settings.replaceInSitu = false;
    settings.editorFileSpec = "/usr/bin/gvim";
    settings.editorCommandLine = "\"+goto %CursorAt%\" %Filename%";
    settings.undoBytesKept = 1000; // shown as 1 MiB, and kept as it is unless changed
    return settings;
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir m_cache; // the quick-start copy goes here, not into the user's cache

  private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", m_cache.path().toLocal8Bit()); }

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
        kestrava::config::Settings settings = sampleSettings();
        settings.initialMode = static_cast<kestrava::config::InitialMode>(mode);
        settings.fontSize = static_cast<kestrava::config::FontSize>(size);
        PreferencesDialog preferences(settings);
        QCOMPARE(preferences.initialModeCombo->currentIndex(), modeIndex);
        QCOMPARE(preferences.fontSizeCombo->currentIndex(), sizeIndex);
        QVERIFY(preferences.caseSensitiveCheck->isChecked());
        QVERIFY(!preferences.replaceInPlaceCheck->isChecked());
        // In place says what it keeps, as the journal check is.
        for (const bool kept : {!settings.keepUndoJournal, settings.keepUndoJournal}) {
            preferences.undoJournalCheck->setChecked(kept);
            QCOMPARE(preferences.replaceInPlaceCheck->text(),
                     kept ? "Replace in place (the old content is kept for undo)"
                          : "Replace In-Situ (no backup)");
        }
        QCOMPARE(preferences.editorCommandLineEdit->text(), "\"+goto %CursorAt%\" %Filename%");
        QCOMPARE(preferences.undoMegabytesSpin->value(), 1);
        whenModalShown([](QDialog* dialog) { click(dialog, "okButton"); });
        QCOMPARE(preferences.exec(), int(QDialog::Accepted));
        QCOMPARE(int(settings.initialMode), modeAfter);
        QCOMPARE(int(settings.fontSize), sizeAfter);
        const kestrava::config::Settings sample = sampleSettings();
        QCOMPARE(settings.caseSensitiveMatching, sample.caseSensitiveMatching);
        QCOMPARE(settings.replaceInSitu, sample.replaceInSitu);
        QCOMPARE(settings.editorFileSpec, sample.editorFileSpec);
        QCOMPARE(settings.editorCommandLine, sample.editorCommandLine);
        QCOMPARE(settings.undoBytesKept, sample.undoBytesKept);
    }

    void preferencesAcceptCopiesEveryControl() {
        kestrava::config::Settings settings = sampleSettings();
        PreferencesDialog preferences(settings);
        QStringList labels;
        for (const QLabel* shown : preferences.findChildren<QLabel*>())
            labels.append(shown->text());
        QVERIFY(labels.contains(
            "Tokens:  %CursorAt% %LineNumber% %Column% %StartSel% %EndSel% %Filename%"));
        whenModalShown([](QDialog* dialog) {
            combo(*dialog, "initialModeCombo")->setCurrentIndex(0);
            combo(*dialog, "fontSizeCombo")->setCurrentIndex(2);
            QTest::keyClick(part<QCheckBox>(*dialog, "caseSensitiveCheck"), Qt::Key_Space);
            QTest::keyClick(part<QCheckBox>(*dialog, "replaceInPlaceCheck"), Qt::Key_Space);
            QTest::keyClick(part<QCheckBox>(*dialog, "skipBinaryCheck"), Qt::Key_Space);
            QTest::keyClick(part<QCheckBox>(*dialog, "respectGitignoreCheck"), Qt::Key_Space);
            QTest::keyClick(part<QCheckBox>(*dialog, "includeHiddenCheck"), Qt::Key_Space);
            part<QSpinBox>(*dialog, "undoRunsSpin")->setValue(5);
            part<QSpinBox>(*dialog, "undoMegabytesSpin")->setValue(64);
            QTest::keyClick(part<QCheckBox>(*dialog, "undoJournalCheck"), Qt::Key_Space);
            part<QLineEdit>(*dialog, "editorEdit")->clear(); // stored empty, as typed
            auto* commandLine = part<QLineEdit>(*dialog, "editorCommandLineEdit");
            commandLine->clear();
            QTest::keyClicks(commandLine, "--line %LineNumber% %Filename%");
            click(dialog, "okButton");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Accepted));
        QCOMPARE(settings.initialMode, kestrava::config::InitialMode::LastUsed);
        QCOMPARE(settings.fontSize, kestrava::config::FontSize::Large);
        QVERIFY(!settings.caseSensitiveMatching);
        QVERIFY(settings.replaceInSitu);
        QVERIFY(settings.skipBinaryFiles && settings.respectGitignore && settings.includeHidden);
        QVERIFY(!settings.keepUndoJournal);
        QCOMPARE(settings.undoRunsKept, 5);
        QCOMPARE(settings.undoBytesKept, int64_t{64} << 20);
        QCOMPARE(settings.editorFileSpec, std::string());
        QCOMPARE(settings.editorCommandLine, std::string("--line %LineNumber% %Filename%"));
    }

    void preferencesCancelKeepsSettingsButNotEdits() {
        kestrava::config::Settings settings = sampleSettings();
        PreferencesDialog preferences(settings);
        whenModalShown([](QDialog* dialog) {
            combo(*dialog, "fontSizeCombo")->setCurrentIndex(2);
            QTest::keyClicks(part<QLineEdit>(*dialog, "editorEdit"), "x");
            click(dialog, "cancelButton");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(settings.fontSize, kestrava::config::FontSize::Medium);
        QCOMPARE(settings.editorFileSpec, std::string("/usr/bin/gvim"));
        // Opened again, the dialog still shows the cancelled edits; Escape cancels too.
        QString shown;
        whenModalShown([&](QDialog* dialog) {
            shown = combo(*dialog, "fontSizeCombo")->currentText() + "|" +
                    part<QLineEdit>(*dialog, "editorEdit")->text();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(shown, "Large|/usr/bin/gvimx");
        QCOMPARE(settings.fontSize, kestrava::config::FontSize::Medium);
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
        QCOMPARE(parseMountedVolumes(mounts), volumes);
    }

    void driveOfPathFindsTheMount_data() {
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
    void driveOfPathFindsTheMount() {
        QFETCH(QString, path);
        QFETCH(QString, drive);
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

    // Where the picker opens: the box's first folder, without its marker and exclusions; else the
    // last folder picked (or its nearest parent, when it has gone since); else home. Then a path
    // typed or pasted into the field is the answer when it is a folder; anything else is said in
    // the status bar and the dialog stays open. Relative paths lie under the folder shown.
    void pickerStartsAtTheBoxsFolderAndTakesATypedFolderOnly() {
        QTemporaryDir temp;
        for (const char* folder : {"a/b", "c", "a b"})
            QVERIFY(QDir(temp.path()).mkpath(folder));
        writeFile(temp.path() + "/a/file.txt", "");
        const auto inTemp = [&temp](QString text) { return text.replace("T/", temp.path() + "/"); };
        const QString home = QDir::homePath();
        const struct {
            QString box, lastPicked, start;
        } starts[] = {
            {"", "", home},
            {"T/a/b<+>|T/c", "T/c", "T/a/b"},
            {"T/a/b/ <+> <excluding x, y>", "", "T/a/b"},
            {"T/gone|T/c", "T/a", "T/a"},    // missing first folder
            {"T/a/file.txt", "", home},      // a file
            {"T/a<excluding", "T/c", "T/c"}, // unreadable entry
            {"", "T/a/gone/deeper", "T/a"},  // last picked gone
        };
        for (const auto& [box, lastPicked, start] : starts) {
            FolderPicker picker;
            picker.path = inTemp(lastPicked);
            QString shown; // status bar | path field
            whenModalShown([&](QDialog* dialog) {
                shown = status(dialog) + "|" + part<QLineEdit>(*dialog, "pathEdit")->text();
                QTest::keyClick(dialog, Qt::Key_Return); // OK is the default button
            });
            QCOMPARE(picker.execute(nullptr, inTemp(box)), int(QDialog::Accepted));
            QCOMPARE(shown, inTemp(start) + "|" + inTemp(start));
            QCOMPARE(picker.path, inTemp(start));
        }
        const struct {
            QString typed, outcome; // the folder taken, or the status shown
            bool byOk = false;
        } typings[] = {
            {"T/a/b", "T/a/b"},
            {"T/c/", "T/c", true},
            {"a/b", "T/a/b"},
            {"~", home},
            {"file://T/a%20b", "T/a b"},
            {"T/a/file.txt", "Not a folder: T/a/file.txt"},
            {"missing", "Not a folder: missing"},
            {"", "Type or choose a folder"},
        };
        for (const auto& typing : typings) { // named: lambdas may not capture bindings
            FolderPicker picker;
            picker.path = temp.path();
            QString refused;
            whenModalShown([&](QDialog* dialog) {
                auto* field = part<QLineEdit>(*dialog, "pathEdit");
                field->setText(inTemp(typing.typed));
                if (typing.byOk)
                    click(dialog, "okButton");
                else
                    QTest::keyClick(field, Qt::Key_Return);
                if (dialog->isVisible()) {
                    refused = status(dialog);
                    click(dialog, "cancelButton");
                }
            });
            const bool accepted = picker.execute() == QDialog::Accepted;
            QCOMPARE(accepted ? picker.path : refused, inTemp(typing.outcome));
            if (!accepted)
                QCOMPARE(picker.path, temp.path()); // a refused path changes nothing
        }
    }

    // Moved to a subfolder (its name has a blank), then closed: only OK takes the full path.
    void pickerReturnsTheChosenSubfolderOnlyOnOk_data() {
        QTest::addColumn<QString>("close"); // the button, or "escape"
        QTest::addColumn<bool>("accepted");
        QTest::newRow("ok") << "okButton" << true;
        QTest::newRow("cancel") << "cancelButton" << false;
        QTest::newRow("escape") << "escape" << false;
    }
    void pickerReturnsTheChosenSubfolderOnlyOnOk() {
        QFETCH(QString, close);
        QFETCH(bool, accepted);
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkpath("a/deep folder"));
        FolderPicker picker;
        picker.caption = "Pick the root";
        picker.path = temp.path() + "/a";
        const QString chosen = temp.path() + "/a/deep folder";
        QString seen; // title | folder selected on opening | status after the move
        whenModalShown([&](QDialog* dialog) {
            auto* tree = part<QTreeView>(*dialog, "folderTree");
            seen = dialog->windowTitle() + "|" +
                   qobject_cast<QFileSystemModel*>(tree->model())->filePath(tree->currentIndex());
            choose(dialog, chosen);
            seen += "|" + status(dialog);
            if (close == "escape")
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                click(dialog, close.toLatin1().constData());
        });
        QCOMPARE(picker.execute(), int(accepted ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(seen, "Pick the root|" + temp.path() + "/a|" + chosen);
        QCOMPARE(picker.path, accepted ? chosen : temp.path() + "/a");
    }

    void pickerDriveSelectorMovesToDrive() {
        FolderPickerForm form;
        auto* drives = form.driveCombo;
        QCOMPARE(drives->itemText(0), "/");
        if (QDir::homePath() != "/")
            QCOMPARE(drives->itemText(1), QDir::homePath());
        QTemporaryDir temp;
        form.setCurrentDirectory(temp.path());
        QCOMPARE(drives->currentText(), driveOfPath(driveList(), temp.path()));
        emit drives->activated(0);
        QCOMPARE(FolderPickerForm::currentDirectory(), "/");
        QCOMPARE(form.statusLabel->currentMessage(), "/");
    }

    void pickerListsFoldersOnly() {
        QTemporaryDir temp;
        QVERIFY(QDir(temp.path()).mkpath("visible") && QDir(temp.path()).mkpath(".hidden"));
        writeFile(temp.path() + "/file.txt", "");
        FolderPickerForm form;
        auto* model = qobject_cast<QFileSystemModel*>(form.folderTree->model());
        QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
        form.setCurrentDirectory(temp.path());
        QTRY_VERIFY(loaded.contains(QVariantList{temp.path()}));
        const QModelIndex parent = model->index(temp.path());
        QCOMPARE(model->rowCount(parent), 1);
        QCOMPARE(model->index(0, 0, parent).data().toString(), "visible");
        QVERIFY(form.folderTree->isExpanded(parent));
        QCOMPARE(form.folderTree->currentIndex(), parent);
    }

    // --- About, references and resources

    void iconAboutAndQuickStartGuide() {
        const QImage icon = kestravaPixmap(64).toImage();
        QVERIFY(qAlpha(icon.pixel(32, 32)) > 0); // drawn, not an empty picture
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);   // rounded corner stays clear
        AboutDialog about;
        QVERIFY(!label(about, "imgIcon")->pixmap().isNull());
        QCOMPARE(label(about, "laVersion")->text(), "Version 1.1");
        // The Quick Start Guide is copied out whole, and its every link leads inside it.
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
    }

    void referencesOpenOnlyWebLinks() {
        ReferencesDialog references;
        QStringList opened;
        references.linkOpener = [&](const QString& url) { opened.append(url); };
        QVERIFY(references.referencesBrowser->toHtml().contains("Mastering Regular Expressions"));
        emit references.referencesBrowser->anchorClicked(
            QUrl("https://www.regular-expressions.info/"));
        emit references.referencesBrowser->anchorClicked(QUrl("file:///etc/passwd"));
        emit references.referencesBrowser->anchorClicked(QUrl("/usr/bin/xterm"));
        QCOMPARE(opened, QStringList{"https://www.regular-expressions.info/"});
    }
};

QTEST_MAIN(TestDialogs)
#include "dialogs_test.moc"
