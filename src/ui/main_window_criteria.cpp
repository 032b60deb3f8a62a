// The five criteria boxes: committing typed values to their histories (validated for folders
// and files), the boxes' context menu, the folder and file buttons, and loading the histories
// and settings at start-up.
#include "main_window.h"

#include "qt_text.h"

#include "config/config_paths.h"

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

namespace kestrava::ui {

void MainWindow::setBoxIndex(QComboBox* box, int index) {
    if (index >= 0 && index < box->count()) {
        box->setCurrentIndex(index);
        box->setEditText(box->itemText(index)); // also when the index did not change
    } else {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
}

int MainWindow::selectedIndex(const QComboBox* box) const {
    // Typing leaves the combo's current index where it was; the text is only "selected" while
    // it still is that entry.
    const int index = box->currentIndex();
    return index >= 0 && box->itemText(index) == box->currentText() ? index : -1;
}

namespace {

// File masks ignore letter case, so File(s) keeps one entry per mask; every other box keeps
// what was typed byte for byte: "/src/App" and "/src/app" are different folders, and a Find or
// Replace With text must never be swapped for another spelling.
Qt::CaseSensitivity historyCase(const QComboBox* box, const QComboBox* files) {
    return box == files ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

// The order of the Folders history: the user's collation, letter case ignored.
QCollator foldersCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// Where value goes in a list sorted by the collator: after every entry that sorts before or
// equal to it.
int sortedPlace(const QStringList& items, const QString& value) {
    const QCollator collator = foldersCollator();
    const auto place = std::upper_bound(
        items.begin(), items.end(), value,
        [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return static_cast<int>(place - items.begin());
}

// One box's entries as the history file gives them, duplicates folded in one pass (a long
// history must not cost a list search per entry).
class HistoryList {
  public:
    explicit HistoryList(Qt::CaseSensitivity sensitivity) : m_sensitivity(sensitivity) {}

    void add(const QString& entry) {
        const QString key = m_sensitivity == Qt::CaseInsensitive ? entry.toCaseFolded() : entry;
        auto found = m_positions.constFind(key);
        if (found == m_positions.cend()) {
            found = m_positions.insert(key, static_cast<int>(m_entries.size()));
            m_entries << entry;
        }
        m_entries[*found] = entry; // the latest spelling of a mask is the one kept
        m_selected = entry;
    }
    // The entries, sorted by the collator when asked (stable, so equal ones keep their order).
    QStringList entries(bool sorted) const {
        QStringList entries = m_entries;
        if (sorted) {
            const QCollator collator = foldersCollator();
            std::stable_sort(entries.begin(), entries.end(),
                             [&collator](const QString& a, const QString& b) {
                                 return collator.compare(a, b) < 0;
                             });
        }
        return entries;
    }
    // The entry added last, which the box shows once loaded.
    const QString& selected() const { return m_selected; }

  private:
    Qt::CaseSensitivity m_sensitivity;
    QStringList m_entries;
    QHash<QString, int> m_positions;
    QString m_selected;
};

} // namespace

void MainWindow::addAndSelect(QComboBox* box, const QString& value) {
    if (value.isEmpty())
        return;
    const Qt::CaseSensitivity sensitivity = historyCase(box, filesCombo);
    int index = box->findText(value, sensitivity == Qt::CaseSensitive
                                         ? Qt::MatchFixedString | Qt::MatchCaseSensitive
                                         : Qt::MatchFixedString);
    if (index >= 0) {
        box->setItemText(index, value); // a mask keeps the spelling last typed
    } else {
        index = box->count();
        if (box == foldersCombo && m_foldersSorted)
            index = sortedPlace(historyEntries(box), value);
        box->insertItem(index, value);
    }
    setBoxIndex(box, index);
}

void MainWindow::addFoldersEntry(const QString& value) {
    if (value.isEmpty())
        return;
    search::validateFoldersEntry(value.toStdString());
    addAndSelect(foldersCombo, value);
}

void MainWindow::addFilesEntry(const QString& value) {
    if (value.isEmpty())
        return;
    search::validateFilesEntry(value.toStdString());
    addAndSelect(filesCombo, value);
}

void MainWindow::addRootFolderEntry(const QString& value) {
    if (value.isEmpty())
        return;
    search::validateFoldersEntry(value.toStdString());
    addAndSelect(rootFolderCombo, value);
}

void MainWindow::commitFoldersEntry() {
    try {
        addFoldersEntry(foldersCombo->currentText());
        if (m_mode != util::Mode::Script)
            refreshModeStatus(m_mode);
        m_savedIndex[kSavedFolders] = selectedIndex(foldersCombo);
    } catch (const std::exception& e) {
        m_services->showError(this, QString::fromLatin1(search::kInvalidFoldersFormatText) +
                                        toQString(e.what()));
        foldersCombo->setFocus();
    }
}

void MainWindow::commitFilesEntry() {
    try {
        addFilesEntry(filesCombo->currentText());
        if (m_mode != util::Mode::Script)
            refreshModeStatus(m_mode);
        m_savedIndex[kSavedFiles] = selectedIndex(filesCombo);
    } catch (const std::exception&) {
        m_services->showError(this, QString::fromLatin1(search::kInvalidFilesFormatText));
        filesCombo->setFocus();
    }
}

void MainWindow::commitRootFolderEntry() {
    try {
        addRootFolderEntry(rootFolderCombo->currentText());
        m_savedIndex[kSavedRootFolder] = selectedIndex(rootFolderCombo);
    } catch (const std::exception& e) {
        m_services->showError(this, QStringLiteral("Invalid format for Root Folder:\r\n"
                                                   "Correct format is:\r\n"
                                                   "drive:path\r\n"
                                                   "e.g. c:\\Temp\r\n") +
                                        toQString(e.what()));
        rootFolderCombo->setFocus();
    }
}

void MainWindow::commitExpressionEntry(QComboBox* box) {
    addAndSelect(box, box->currentText());
    if (m_mode == util::Mode::Find || m_mode == util::Mode::FindAndReplace)
        m_savedIndex[box == findCombo ? kSavedFind : kSavedReplace] = selectedIndex(box);
    if (m_mode != util::Mode::Script)
        refreshModeStatus(m_mode);
}

void MainWindow::commitBox(QComboBox* box) {
    if (box == foldersCombo)
        commitFoldersEntry();
    else if (box == filesCombo)
        commitFilesEntry();
    else if (box == rootFolderCombo)
        commitRootFolderEntry();
    else
        commitExpressionEntry(box);
}

void MainWindow::startFromBox(QComboBox* box) {
    commitBox(box);
    if (!box->currentText().isEmpty() && selectedIndex(box) < 0)
        return; // refused: its message is shown and the box keeps the focus
    QPushButton* action = acceptCancelPanel->isVisible()         ? acceptItemButton
                          : m_mode == util::Mode::Find           ? findButton
                          : m_mode == util::Mode::FindAndReplace ? replaceButton
                          : m_mode == util::Mode::Script         ? runScriptButton
                                                                 : listButton;
    if (action->isVisible() && action->isEnabled())
        action->click();
}

void MainWindow::criteriaEdited() {
    if (m_mode != util::Mode::Script)
        setGridContent(GridContent::Empty); // results never stay on screen under changed criteria
    refreshModeStatus(m_mode);
}

void MainWindow::criteriaKeyReleased() {
    if (m_mode != util::Mode::Script)
        refreshModeStatus(m_mode);
}

void MainWindow::showHistoryMenu(QComboBox* box, const QPoint& globalPos) {
    m_popupTarget = box;
    m_removeEntryAction->setEnabled(!box->currentText().isEmpty());
    m_removeAllAction->setEnabled(box->count() > 0);
    historyMenu->popup(globalPos + QPoint(10, 10));
}

void MainWindow::removeHistoryEntry() {
    QComboBox* box = m_popupTarget;
    if (box == nullptr)
        return;
    const int index = selectedIndex(box);
    if (index >= 0) {
        box->removeItem(index);
        // Keep the saved selection on the entry it named (or on none when that one went).
        for (size_t b = 0; b < config::kHistoryBoxCount; ++b) {
            if (historyBox(static_cast<config::HistoryBox>(b)) != box)
                continue;
            int32_t& saved = m_savedIndex[b];
            saved = saved == index ? -1 : saved > index ? saved - 1 : saved;
        }
    }
    setBoxIndex(box, -1);
    if (m_mode != util::Mode::Script)
        refreshModeStatus(m_mode);
}

void MainWindow::removeAllHistoryEntries() {
    QComboBox* box = m_popupTarget;
    if (box == nullptr)
        return;
    const QString name = box == foldersCombo   ? QStringLiteral("Folder(s)")
                         : box == filesCombo   ? QStringLiteral("File(s)")
                         : box == findCombo    ? QStringLiteral("Find")
                         : box == replaceCombo ? QStringLiteral("ReplaceWith")
                                               : QStringLiteral("Root Folder");
    if (!m_services->askYesNo(this,
                              QStringLiteral("Remove all ") + name + QStringLiteral(" items ?")))
        return;
    for (int i = box->count() - 1; i >= 0; --i)
        box->removeItem(i);
    setBoxIndex(box, -1);
    for (size_t b = 0; b < config::kHistoryBoxCount; ++b)
        if (historyBox(static_cast<config::HistoryBox>(b)) == box)
            m_savedIndex[b] = -1;
    if (m_mode != util::Mode::Script)
        refreshModeStatus(m_mode);
}

void MainWindow::pickFolders() {
    QString folder;
    if (!m_services->pickFolder(this, folder))
        return;
    try {
        addFoldersEntry(folder);
        m_savedIndex[kSavedFolders] = selectedIndex(foldersCombo);
        m_openDialogFolder = folder;
    } catch (const std::exception& e) {
        m_services->showError(this, QString::fromLatin1(search::kInvalidFoldersFormatText) +
                                        toQString(e.what()));
    }
    criteriaEdited();
}

void MainWindow::pickRootFolder() {
    QString folder;
    if (!m_services->pickFolder(this, folder))
        return;
    try {
        addRootFolderEntry(folder);
        m_openDialogFolder = folder;
    } catch (const std::exception& e) {
        m_services->showError(this, toQString(e.what()));
    }
}

void MainWindow::pickFile() {
    QString start = m_openDialogFolder;
    if (selectedIndex(foldersCombo) >= 0) {
        // The entry is a specification; its first folder is where the dialog can open.
        search::FolderSpecs folders;
        try {
            search::parseFoldersToSearch(foldersCombo->currentText().toStdString(), folders);
        } catch (const std::exception&) {
            folders.clear();
        }
        if (!folders.empty())
            start = toQString(folders.front().folder);
    }
    const QString chosen = m_services->getOpenFileName(this, QStringLiteral("Choose a File"), start,
                                                       QStringLiteral("All files (*)"));
    if (chosen.isEmpty())
        return;
    try {
        addFilesEntry(QFileInfo(chosen).fileName());
        m_savedIndex[kSavedFiles] = selectedIndex(filesCombo);
    } catch (const std::exception&) {
        m_services->showError(this, QString::fromLatin1(search::kInvalidFilesFormatText));
    }
    criteriaEdited();
}

QComboBox* MainWindow::historyBox(config::HistoryBox box) const {
    switch (box) {
    case config::HistoryBox::RootFolders:
        return rootFolderCombo;
    case config::HistoryBox::FoldersToSearch:
        return foldersCombo;
    case config::HistoryBox::FilesToSearch:
        return filesCombo;
    case config::HistoryBox::FindExpressions:
        return findCombo;
    case config::HistoryBox::ReplaceExpressions:
        return replaceCombo;
    }
    return nullptr;
}

void MainWindow::loadHistories() {
    std::vector<HistoryList> lists;
    for (size_t b = 0; b < config::kHistoryBoxCount; ++b)
        lists.emplace_back(historyCase(historyBox(static_cast<config::HistoryBox>(b)), filesCombo));
    config::HistoryLoadCallbacks callbacks;
    callbacks.validateFolders = search::validateFoldersEntry;
    callbacks.validateFiles = search::validateFilesEntry;
    callbacks.addItem = [&lists](config::HistoryBox box, const std::string& entry) {
        lists.at(static_cast<size_t>(box)).add(toQString(entry));
    };
    callbacks.setItemIndex = [this](config::HistoryBox box, int32_t index) {
        m_savedIndex.at(static_cast<size_t>(box)) = index;
    };
    m_savedIndex[kSavedRootFolder] = -1;
    QString error;
    const std::string path = config::historyFilePath(m_settingsFolder);
    try {
        config::loadHistory(path, callbacks);
    } catch (const std::exception& e) {
        // What was loaded before the error stays; the file itself is kept for the user.
        m_damagedHistory = config::damagedFileName(path);
        error = toQString(e.what()) + QStringLiteral("\r\nHistory file: ") + toQString(path) +
                QStringLiteral("\r\nWhat follows the error was not loaded; the file will be kept "
                               "as ") +
                toQString(m_damagedHistory) + QStringLiteral(" when the histories are saved.");
    }
    // One model update per box; Folders are sorted from here on, new entries go to their place.
    for (size_t b = 0; b < config::kHistoryBoxCount; ++b) {
        QComboBox* box = historyBox(static_cast<config::HistoryBox>(b));
        const QStringList entries = lists[b].entries(box == foldersCombo);
        box->clear();
        box->addItems(entries);
        setBoxIndex(box, static_cast<int>(entries.indexOf(lists[b].selected())));
    }
    m_foldersSorted = true;
    if (!error.isEmpty())
        m_services->showError(this, error);
}

void MainWindow::loadSettings() {
    QRect screen(0, 0, 1060, 748);
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = primary->availableGeometry();
    const std::string path = config::configFilePath(m_settingsFolder);
    try {
        config::loadConfig(path, config::programFolder(), screen.width(), screen.height(),
                           m_config);
    } catch (const std::exception& e) {
        m_damagedConfig = config::damagedFileName(path);
        m_services->showError(
            this, toQString(e.what()) + QStringLiteral("\r\nSettings file: ") + toQString(path) +
                      QStringLiteral("\r\nThe defaults are in force; the file "
                                     "will be kept as ") +
                      toQString(m_damagedConfig) + QStringLiteral(" when the settings are saved."));
    }
}

QStringList MainWindow::historyEntries(const QComboBox* box) {
    QStringList entries;
    entries.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
}

config::HistoryBoxes MainWindow::historyBoxes() const {
    config::HistoryBoxes boxes;
    for (size_t b = 0; b < config::kHistoryBoxCount; ++b) {
        for (const QString& entry : historyEntries(historyBox(static_cast<config::HistoryBox>(b))))
            boxes[b].items.push_back(entry.toStdString());
        boxes[b].itemIndex = m_savedIndex[b];
    }
    return boxes;
}

void MainWindow::refreshCriteriaCombos() {
    if (m_loading)
        return;
    // Only a box whose text is its selected entry is re-selected: text typed but not yet
    // committed must survive a resize.
    for (QComboBox* box : {rootFolderCombo, foldersCombo, filesCombo, findCombo, replaceCombo}) {
        const int index = selectedIndex(box);
        if (box->isVisible() && box->count() > 0 && index >= 0)
            setBoxIndex(box, index);
    }
}

} // namespace kestrava::ui
