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
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

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

namespace {

// File masks ignore letter case, so File(s) keeps one entry per mask; every other box keeps
// what was typed byte for byte: "/src/App" and "/src/app" are different folders, and a Find or
// Replace With text must never be swapped for another spelling.
Qt::CaseSensitivity HistoryCase(const QComboBox* box, const QComboBox* files) {
    return box == files ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

// The order of the Folders history: the user's collation, letter case ignored.
QCollator FoldersCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// Where value goes in a list sorted by the collator: after every entry that sorts before or
// equal to it.
int SortedPlace(const QStringList& items, const QString& value) {
    const QCollator collator = FoldersCollator();
    const auto place = std::upper_bound(
        items.begin(), items.end(), value,
        [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return static_cast<int>(place - items.begin());
}

// One box's entries as the history file gives them, duplicates folded in one pass (a long
// history must not cost a list search per entry).
class THistoryList {
  public:
    explicit THistoryList(Qt::CaseSensitivity sensitivity) : FSensitivity(sensitivity) {}

    void Add(const QString& entry) {
        const QString key = FSensitivity == Qt::CaseInsensitive ? entry.toCaseFolded() : entry;
        auto found = FPositions.constFind(key);
        if (found == FPositions.cend()) {
            found = FPositions.insert(key, static_cast<int>(FEntries.size()));
            FEntries << entry;
        }
        FEntries[*found] = entry; // the latest spelling of a mask is the one kept
        FSelected = entry;
    }
    // The entries, sorted by the collator when asked (stable, so equal ones keep their order).
    QStringList Entries(bool sorted) const {
        QStringList entries = FEntries;
        if (sorted) {
            const QCollator collator = FoldersCollator();
            std::stable_sort(entries.begin(), entries.end(),
                             [&collator](const QString& a, const QString& b) {
                                 return collator.compare(a, b) < 0;
                             });
        }
        return entries;
    }
    // The entry added last, which the box shows once loaded.
    const QString& Selected() const { return FSelected; }

  private:
    Qt::CaseSensitivity FSensitivity;
    QStringList FEntries;
    QHash<QString, int> FPositions;
    QString FSelected;
};

} // namespace

void TfmMain::AddAndSelect(QComboBox* box, const QString& value) {
    if (value.isEmpty())
        return;
    const Qt::CaseSensitivity sensitivity = HistoryCase(box, cboxFiles);
    int index = box->findText(value, sensitivity == Qt::CaseSensitive
                                         ? Qt::MatchFixedString | Qt::MatchCaseSensitive
                                         : Qt::MatchFixedString);
    if (index >= 0) {
        box->setItemText(index, value); // a mask keeps the spelling last typed
    } else {
        index = box->count();
        if (box == cboxFolders && FFoldersSorted)
            index = SortedPlace(HistoryEntries(box), value);
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

void TfmMain::StartFromBox(QComboBox* box) {
    CommitBox(box);
    if (!box->currentText().isEmpty() && SelectedIndex(box) < 0)
        return; // refused: its message is shown and the box keeps the focus
    QPushButton* action = paScriptAcceptCancel->isVisible() ? bbAccept
                          : FMode == kes::mdFind            ? bbFind
                          : FMode == kes::mdFindAndReplace  ? bbReplace
                          : FMode == kes::mdScript          ? bbRunScript
                                                            : bbList;
    if (action->isVisible() && action->isEnabled())
        action->click();
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
    std::vector<THistoryList> lists;
    for (size_t b = 0; b < kes::kHistoryBoxCount; ++b)
        lists.emplace_back(HistoryCase(HistoryBox(static_cast<kes::THistoryBox>(b)), cboxFiles));
    kes::THistoryLoadCallbacks callbacks;
    callbacks.ValidateFolders = kes::ValidateFoldersEntry;
    callbacks.ValidateFiles = kes::ValidateFilesEntry;
    callbacks.AddItem = [&lists](kes::THistoryBox box, const std::string& entry) {
        lists.at(box).Add(Q(entry));
    };
    callbacks.SetItemIndex = [this](kes::THistoryBox box, int32_t index) {
        FSavedIndex.at(box) = index;
    };
    FSavedIndex[kes::kSavedRootFolder] = -1;
    QString error;
    const std::string path = kes::HistoryFilePath(FSettingsFolder);
    try {
        kes::LoadHistory(path, callbacks);
    } catch (const std::exception& e) {
        // What was loaded before the error stays; the file itself is kept for the user.
        FDamagedHistory = kes::DamagedFileName(path);
        error = Q(e.what()) + QStringLiteral("\r\nHistory file: ") + Q(path) +
                QStringLiteral("\r\nWhat follows the error was not loaded; the file will be kept "
                               "as ") +
                Q(FDamagedHistory) + QStringLiteral(" when the histories are saved.");
    }
    // One model update per box; Folders are sorted from here on, new entries go to their place.
    for (size_t b = 0; b < kes::kHistoryBoxCount; ++b) {
        QComboBox* box = HistoryBox(static_cast<kes::THistoryBox>(b));
        const QStringList entries = lists[b].Entries(box == cboxFolders);
        box->clear();
        box->addItems(entries);
        SetBoxIndex(box, static_cast<int>(entries.indexOf(lists[b].Selected())));
    }
    FFoldersSorted = true;
    if (!error.isEmpty())
        FServices->ShowError(this, error);
}

void TfmMain::LoadSettings() {
    QRect screen(0, 0, 1060, 748);
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->availableGeometry();
    const std::string path = kes::ConfigFilePath(FSettingsFolder);
    try {
        kes::LoadConfig(path, kes::ProgramFolder(), screen.width(), screen.height(), FConfig);
    } catch (const std::exception& e) {
        FDamagedConfig = kes::DamagedFileName(path);
        FServices->ShowError(this, Q(e.what()) + QStringLiteral("\r\nSettings file: ") + Q(path) +
                                       QStringLiteral("\r\nThe defaults are in force; the file "
                                                      "will be kept as ") +
                                       Q(FDamagedConfig) +
                                       QStringLiteral(" when the settings are saved."));
    }
}

QStringList TfmMain::HistoryEntries(const QComboBox* box) {
    QStringList entries;
    entries.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

kes::THistoryBoxes TfmMain::HistoryBoxes() const {
    kes::THistoryBoxes boxes;
    for (size_t b = 0; b < kes::kHistoryBoxCount; ++b) {
        for (const QString& entry : HistoryEntries(HistoryBox(static_cast<kes::THistoryBox>(b))))
            boxes[b].Items.push_back(entry.toStdString());
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
