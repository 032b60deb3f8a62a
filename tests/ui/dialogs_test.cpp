// The window's dialogs driven through their real widgets: Preferences fill/accept/cancel, the
// folder picker (start folder, typed paths, OK, Cancel, a subfolder chosen, drives), the About
// and references windows and the shipped resources.
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

class TestDialogs : public QObject {
    Q_OBJECT
    QTemporaryDir m_cache; // the quick-start copy goes here, not into the user's cache

  private slots:
    void initTestCase() { qputenv("XDG_CACHE_HOME", m_cache.path().toLocal8Bit()); }

    // --- Preferences

    // Whatever Accept is not told to change comes back as it was, except a start-up mode or font
    // size the lists have no item for.
    void preferencesFillAndAcceptUntouched() {
        const struct {
            int mode, size, modeIndex, sizeIndex, modeAfter, sizeAfter;
        } cases[] = {
            {0, 0, 0, 0, 0, 0},  // last used, small
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
            config::Settings expected = sampleSettings();
            expected.initialMode = static_cast<config::InitialMode>(c.modeAfter);
            expected.fontSize = static_cast<config::FontSize>(c.sizeAfter);
            QCOMPARE(xml(settings), xml(expected));
        }
    }

    // Cancel and Escape keep the settings, yet the next opening shows the cancelled edits; Accept
    // copies every control.
    void preferencesCancelKeepsSettingsAndAcceptCopiesEveryControl() {
        config::Settings settings = sampleSettings();
        PreferencesDialog preferences(settings);
        QStringList labels;
        for (const QLabel* shown : preferences.findChildren<QLabel*>())
            labels.append(shown->text());
        QVERIFY(labels.contains(
            "Tokens:  %CursorAt% %LineNumber% %Column% %StartSel% %EndSel% %Filename%"));
        whenModalShown([](QDialog* dialog) {
            combo(*dialog, "fontSizeCombo")->setCurrentIndex(2);
            QTest::keyClicks(part<QLineEdit>(*dialog, "editorEdit"), "x");
            click(dialog, "cancelButton");
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(xml(settings), xml(sampleSettings()));
        QString shown;
        whenModalShown([&](QDialog* dialog) {
            shown = combo(*dialog, "fontSizeCombo")->currentText() + "|" +
                    part<QLineEdit>(*dialog, "editorEdit")->text();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(preferences.exec(), int(QDialog::Rejected));
        QCOMPARE(shown, "Large|/usr/bin/gvimx");
        QCOMPARE(xml(settings), xml(sampleSettings()));

        whenModalShown([](QDialog* dialog) {
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

    // --- Folder picker

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

    // Where the picker opens: the box's first folder, without its marker and exclusions; else the
    // last folder picked (or its nearest parent, when it has gone since); else home. Then a path
    // typed or pasted into the field is the answer when it is a folder; anything else is said in
    // the status bar and the dialog stays open. Relative paths lie under the folder shown. A folder
    // chosen in the tree (its name has a blank) is taken on OK only.
    void pickerStartsAtTheBoxsFolderAndTakesATypedFolderOnly() {
        QTemporaryDir temp;
        for (const char* folder : {"a/b", "c", "a b", "a/deep folder"})
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
        // Typed (or chosen in the tree), then closed by Return in the field, OK, Cancel or Escape:
        // the folder taken, else the status shown (none when cancelled).
        const struct {
            QString path;
            QString close;
            QString outcome;
            bool inTree = false;
        } typings[] = {
            {"T/a/b", "return", "T/a/b"},
            {"T/c/", "okButton", "T/c"},
            {"a/b", "return", "T/a/b"},
            {"~", "return", home},
            {"file://T/a%20b", "return", "T/a b"},
            {"T/a/file.txt", "return", "Not a folder: T/a/file.txt"},
            {"missing", "return", "Not a folder: missing"},
            {"", "return", "Type or choose a folder"},
            {"T/a/deep folder", "okButton", "T/a/deep folder", true},
            {"T/a/deep folder", "cancelButton", "", true},
            {"T/a/deep folder", "escape", "", true},
        };
        for (const auto& typing : typings) { // named: lambdas may not capture bindings
            FolderPicker picker;
            picker.caption = "Pick the root";
            picker.path = temp.path();
            QString opened, moved, refused; // title and folder on opening; status after a move
            whenModalShown([&](QDialog* dialog) {
                auto* tree = part<QTreeView>(*dialog, "folderTree");
                auto* model = qobject_cast<QFileSystemModel*>(tree->model());
                auto* field = part<QLineEdit>(*dialog, "pathEdit");
                opened = dialog->windowTitle() + "|" + model->filePath(tree->currentIndex());
                if (typing.inTree) {
                    tree->setCurrentIndex(model->index(inTemp(typing.path)));
                    moved = status(dialog);
                } else {
                    field->setText(inTemp(typing.path));
                }
                if (typing.close == "return")
                    QTest::keyClick(field, Qt::Key_Return);
                else if (typing.close == "escape")
                    QTest::keyClick(dialog, Qt::Key_Escape);
                else
                    click(dialog, typing.close.toLatin1().constData());
                if (dialog->isVisible()) {
                    refused = status(dialog);
                    click(dialog, "cancelButton");
                }
            });
            const bool accepted = picker.execute() == QDialog::Accepted;
            QCOMPARE(opened, "Pick the root|" + temp.path());
            QCOMPARE(moved, typing.inTree ? inTemp(typing.path) : QString());
            QCOMPARE(accepted ? picker.path : refused, inTemp(typing.outcome));
            if (!accepted)
                QCOMPARE(picker.path, temp.path()); // a refused path changes nothing
        }
    }

    // The tree lists folders only, hidden ones left out; the drive list moves it to a drive.
    void pickerFormListsFoldersAndMovesToADrive() {
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

        auto* drives = form.driveCombo;
        QCOMPARE(drives->itemText(0), "/");
        if (QDir::homePath() != "/")
            QCOMPARE(drives->itemText(1), QDir::homePath());
        QCOMPARE(drives->currentText(), driveOfPath(driveList(), temp.path()));
        emit drives->activated(0);
        QCOMPARE(FolderPickerForm::currentDirectory(), "/");
        QCOMPARE(form.statusLabel->currentMessage(), "/");
    }

    // --- About, references and resources

    void aboutReferencesAndTheQuickStartGuide() {
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

QTEST_MAIN(TestDialogs)
#include "dialogs_test.moc"
