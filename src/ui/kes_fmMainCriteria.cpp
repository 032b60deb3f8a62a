// The five criteria boxes: committing typed values to their histories (validated for folders
// and files), the boxes' context menu, the folder and file buttons, and loading the histories
// and settings at start-up.
#include "kes_fmMain.h"

#include "config/kes_uConfigPaths.h"

#include <QAction>
#include <QCollator>
#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

void TfmMain::SetBoxIndex(QComboBox* box, int index) {
    if (index >= 0 && index < box->count()) {
        box->setCurrentIndex(index);
        box->setEditText(box->itemText(index)); // also when the index did not change
    } else {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
}

int TfmMain::SelectedIndex(const QComboBox* box) const {
    // Typing leaves the combo's current index where it was; the text is only "selected" while
    // it still is that entry.
    const int index = box->currentIndex();
    return index >= 0 && box->itemText(index) == box->currentText() ? index : -1;
}

void TfmMain::AddAndSelect(QComboBox* box, const QString& value) {
    if (value.isEmpty())
        return;
    int index = box->findText(value, Qt::MatchFixedString); // exact, letter case ignored
    if (index < 0) {
        index = box->count();
        if (box == cboxFolders && FFoldersSorted) {
            QCollator collator;
            collator.setCaseSensitivity(Qt::CaseInsensitive);
            index = 0;
            while (index < box->count() && collator.compare(box->itemText(index), value) <= 0)
                ++index;
        }
        box->insertItem(index, value);
    }
    SetBoxIndex(box, index);
}

void TfmMain::Update_cboxFolders(const QString& value) {
    if (value.isEmpty())
        return;
    kes::ValidateFoldersEntry(value.toStdString());
    AddAndSelect(cboxFolders, value);
}

void TfmMain::Update_cboxFiles(const QString& value) {
    if (value.isEmpty())
        return;
    kes::ValidateFilesEntry(value.toStdString());
    AddAndSelect(cboxFiles, value);
}

void TfmMain::Update_cboxRootFolder(const QString& value) {
    if (value.isEmpty())
        return;
    kes::ValidateFoldersEntry(value.toStdString());
    AddAndSelect(cboxRootFolder, value);
}

void TfmMain::cboxFoldersExit() {
    try {
        Update_cboxFolders(cboxFolders->currentText());
        if (FMode != kes::mdScript)
            RefreshModeStatus(FMode);
        FSavedIndex[kes::kSavedFolders] = SelectedIndex(cboxFolders);
    } catch (const std::exception& e) {
        FServices->ShowError(this,
                             QString::fromLatin1(kes::kInvalidFoldersFormatText) + Q(e.what()));
        cboxFolders->setFocus();
    }
}

void TfmMain::cboxFilesExit() {
    try {
        Update_cboxFiles(cboxFiles->currentText());
        if (FMode != kes::mdScript)
            RefreshModeStatus(FMode);
        FSavedIndex[kes::kSavedFiles] = SelectedIndex(cboxFiles);
    } catch (const std::exception&) {
        FServices->ShowError(this, QString::fromLatin1(kes::kInvalidFilesFormatText));
        cboxFiles->setFocus();
    }
}

void TfmMain::cboxRootFolderExit() {
    try {
        Update_cboxRootFolder(cboxRootFolder->currentText());
        FSavedIndex[kes::kSavedRootFolder] = SelectedIndex(cboxRootFolder);
    } catch (const std::exception& e) {
        FServices->ShowError(this, QStringLiteral("Invalid format for Root Folder:\r\n"
                                                  "Correct format is:\r\n"
                                                  "drive:path\r\n"
                                                  "e.g. c:\\Temp\r\n") +
                                       Q(e.what()));
        cboxRootFolder->setFocus();
    }
}

void TfmMain::cboxExit(QComboBox* box) {
    AddAndSelect(box, box->currentText());
    if (FMode == kes::mdFind || FMode == kes::mdFindAndReplace)
        FSavedIndex[box == cboxFind ? kes::kSavedFind : kes::kSavedReplace] = SelectedIndex(box);
    if (FMode != kes::mdScript)
        RefreshModeStatus(FMode);
}

void TfmMain::CommitBox(QComboBox* box) {
    if (box == cboxFolders)
        cboxFoldersExit();
    else if (box == cboxFiles)
        cboxFilesExit();
    else if (box == cboxRootFolder)
        cboxRootFolderExit();
    else
        cboxExit(box);
}

void TfmMain::cboxChange() {
    if (FMode != kes::mdScript)
        SetGridContent(gcEmpty); // results never stay on screen under changed criteria
    RefreshModeStatus(FMode);
}

void TfmMain::cboxKeyUp() {
    if (FMode != kes::mdScript)
        RefreshModeStatus(FMode);
}

void TfmMain::cboxPopup(QComboBox* box, const QPoint& globalPos) {
    FPopupTarget = box;
    pumRemoveEntry->setEnabled(!box->currentText().isEmpty());
    pumRemoveAll->setEnabled(box->count() > 0);
    PopupMenu1->popup(globalPos + QPoint(10, 10));
}

void TfmMain::pumRemoveEntryClick() {
    QComboBox* box = FPopupTarget;
    if (box == nullptr)
        return;
    const int index = SelectedIndex(box);
    if (index >= 0) {
        box->removeItem(index);
        // Keep the saved selection on the entry it named (or on none when that one went).
        for (size_t b = 0; b < kes::kHistoryBoxCount; ++b) {
            if (HistoryBox(static_cast<kes::THistoryBox>(b)) != box)
                continue;
            int32_t& saved = FSavedIndex[b];
            saved = saved == index ? -1 : saved > index ? saved - 1 : saved;
        }
    }
    SetBoxIndex(box, -1);
    if (FMode != kes::mdScript)
        RefreshModeStatus(FMode);
}

void TfmMain::pumRemoveAllClick() {
    QComboBox* box = FPopupTarget;
    if (box == nullptr)
        return;
    const QString name = box == cboxFolders   ? QStringLiteral("Folder(s)")
                         : box == cboxFiles   ? QStringLiteral("File(s)")
                         : box == cboxFind    ? QStringLiteral("Find")
                         : box == cboxReplace ? QStringLiteral("ReplaceWith")
                                              : QStringLiteral("Root Folder");
    if (!FServices->AskYesNo(this,
                             QStringLiteral("Remove all ") + name + QStringLiteral(" items ?")))
        return;
    for (int i = box->count() - 1; i >= 0; --i)
        box->removeItem(i);
    SetBoxIndex(box, -1);
    for (size_t b = 0; b < kes::kHistoryBoxCount; ++b)
        if (HistoryBox(static_cast<kes::THistoryBox>(b)) == box)
            FSavedIndex[b] = -1;
    if (FMode != kes::mdScript)
        RefreshModeStatus(FMode);
}

void TfmMain::sbFoldersClick() {
    QString folder;
    if (!FServices->PickFolder(this, folder))
        return;
    try {
        Update_cboxFolders(folder);
        FSavedIndex[kes::kSavedFolders] = SelectedIndex(cboxFolders);
        FOpenDialogFolder = folder;
    } catch (const std::exception& e) {
        FServices->ShowError(this,
                             QString::fromLatin1(kes::kInvalidFoldersFormatText) + Q(e.what()));
    }
    cboxChange();
}

void TfmMain::sbRootFolderClick() {
    QString folder;
    if (!FServices->PickFolder(this, folder))
        return;
    try {
        Update_cboxRootFolder(folder);
        FOpenDialogFolder = folder;
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
    }
}

void TfmMain::sbFilesClick() {
    QString start = FOpenDialogFolder;
    if (SelectedIndex(cboxFolders) >= 0) {
        // The entry is a specification; its first folder is where the dialog can open.
        kes::TkesFoldersToSearch folders;
        try {
            kes::ParseFoldersToSearch(cboxFolders->currentText().toStdString(), folders);
        } catch (const std::exception&) {
            folders.clear();
        }
        if (!folders.empty())
            start = Q(folders.front().Folder);
    }
    const QString chosen = FServices->GetOpenFileName(this, QStringLiteral("Choose a File"), start,
                                                      QStringLiteral("All files (*)"));
    if (chosen.isEmpty())
        return;
    try {
        Update_cboxFiles(QFileInfo(chosen).fileName());
        FSavedIndex[kes::kSavedFiles] = SelectedIndex(cboxFiles);
    } catch (const std::exception&) {
        FServices->ShowError(this, QString::fromLatin1(kes::kInvalidFilesFormatText));
    }
    cboxChange();
}

QComboBox* TfmMain::HistoryBox(kes::THistoryBox box) const {
    switch (box) {
    case kes::hbRootFolders:
        return cboxRootFolder;
    case kes::hbFoldersToSearch:
        return cboxFolders;
    case kes::hbFilesToSearch:
        return cboxFiles;
    case kes::hbFindExpressions:
        return cboxFind;
    case kes::hbReplaceExpressions:
        return cboxReplace;
    }
    return nullptr;
}

void TfmMain::LoadHistories() {
    for (QComboBox* box : {cboxFolders, cboxFiles, cboxFind, cboxReplace})
        box->clear();
    kes::THistoryLoadCallbacks callbacks;
    callbacks.ValidateFolders = kes::ValidateFoldersEntry;
    callbacks.ValidateFiles = kes::ValidateFilesEntry;
    callbacks.AddItem = [this](kes::THistoryBox box, const std::string& entry) {
        AddAndSelect(HistoryBox(box), Q(entry));
    };
    callbacks.SetItemIndex = [this](kes::THistoryBox box, int32_t index) {
        FSavedIndex.at(box) = index;
    };
    FSavedIndex[kes::kSavedRootFolder] = -1;
    try {
        kes::LoadHistory(kes::HistoryFilePath(FSettingsFolder), callbacks);
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
    }
}

void TfmMain::LoadSettings() {
    QRect screen(0, 0, 1060, 748);
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->availableGeometry();
    try {
        kes::LoadConfig(kes::ConfigFilePath(FSettingsFolder), kes::ProgramFolder(), screen.width(),
                        screen.height(), FConfig);
    } catch (const std::exception& e) {
        FServices->ShowError(this, Q(e.what()));
    }
}

kes::THistoryBoxes TfmMain::HistoryBoxes() const {
    kes::THistoryBoxes boxes;
    for (size_t b = 0; b < kes::kHistoryBoxCount; ++b) {
        const QComboBox* box = HistoryBox(static_cast<kes::THistoryBox>(b));
        for (int i = 0; i < box->count(); ++i)
            boxes[b].Items.push_back(box->itemText(i).toStdString());
        boxes[b].ItemIndex = FSavedIndex[b];
    }
    return boxes;
}

void TfmMain::RefreshCriteriaCombos() {
    if (FLoading)
        return;
    // Only a box whose text is its selected entry is re-selected: text typed but not yet
    // committed must survive a resize.
    for (QComboBox* box : {cboxRootFolder, cboxFolders, cboxFiles, cboxFind, cboxReplace}) {
        const int index = SelectedIndex(box);
        if (box->isVisible() && box->count() > 0 && index >= 0)
            SetBoxIndex(box, index);
    }
}
