// The criteria panel: the Root Folder, Folder(s), File(s), Find and Replace With boxes with
// their histories, the folder and file pickers, validation when a box is left, and the column of
// action buttons (Find, Replace, List, Run Script) of which one shows at a time, with Preview
// under it while a mode replaces.
#pragma once

#include "config/history.h"
#include "search/search.h"
#include "ui_services.h"

#include <QWidget>

#include <array>
#include <functional>
#include <vector>

class QComboBox;
class QHBoxLayout;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QToolButton;

namespace kestrava::ui {

using config::HistoryBox;

enum class ActionButton : uint8_t { Find, Replace, List, RunScript };

// The two groups of rows, which Script mode highlights while an item is edited.
enum class RowGroup : uint8_t { FolderFile, FindReplace };

class CriteriaPanel : public QWidget {
    Q_OBJECT
  public:
    CriteriaPanel(UiServices& services, QWidget* parent);

    // ---- Histories
    // Fills the boxes from what load reads (it may throw after reading part of the file: what
    // was read stays and the error is passed on). Folders are kept sorted from here on.
    void loadHistories(const std::function<void(const config::HistoryLoadCallbacks&)>& load);
    config::HistoryBoxes histories() const;
    int32_t savedIndex(HistoryBox box) const { return m_savedIndex.at(static_cast<size_t>(box)); }
    void forgetSaved(HistoryBox box) { m_savedIndex.at(static_cast<size_t>(box)) = -1; }
    // Selects the box's saved entry (none when it has none).
    void restoreSaved(HistoryBox box);
    // Whether committing Find or Replace With remembers the selection (Find modes only).
    void setRemembersExpressions(bool remembers) { m_remembersExpressions = remembers; }

    // ---- Content
    search::Criteria criteria() const;
    QString rootFolder() const;
    // Empties Folders, Files, Find and Replace (no selection).
    void clear();
    void clearBox(HistoryBox box);
    // Shows values without selecting a history entry or touching the histories.
    void showValues(const search::Criteria& values);
    // Re-selects the selected entry of each showing box; typed, uncommitted text stays.
    void refreshSelections();
    // Commits the focused box, if any, so its text reaches the history; false when its value
    // was refused (said, and the box keeps the focus), which need not stop a close.
    bool commitFocusedBox();
    // Whether leaving a box commits it (not once the window is closing).
    void setCommitOnLeave(bool commits) { m_commitOnLeave = commits; }
    // Focuses the box with its text selected.
    void focusBox(HistoryBox box);
    // Adds the value to the box's history, selected and kept as the box's saved entry, as a
    // picker does; false when the box's syntax refuses it (the box is left as it was).
    bool enterValue(HistoryBox box, const QString& value);
    // The script item's number beside the rows (empty hides it).
    void setItemNumber(const QString& text, const QColor& colour);

    // ---- Rows and their looks
    void setRowsShown(bool rootFolder, bool replace);
    // Folders and Files active, Find and Replace With inactive; the item number cleared.
    void resetRows();
    void setFindRowsActive(bool withReplace);
    void setFolderFileRowsActive();
    void setAllRowsInactive();
    void setRootFolderRowActive(bool active);
    // The Replace With field's colour while it can be edited.
    void setReplaceFieldColour(const QColor& colour);
    void setHighlight(RowGroup group, bool highlighted, const QColor& colour);
    // While a run goes on nothing in the rows can be changed.
    void setRowsEditable(bool editable);
    void applyFontSize(int pointSize);

    // ---- Action buttons
    void showActionButton(ActionButton button);
    void setActionEnabled(ActionButton button, bool enabled);
    bool isActionEnabled(ActionButton button) const;
    // Presses the action button showing, when it is enabled.
    void pressShownAction();
    // The panel's Tab stops in their order: the boxes with their pickers, then the action column.
    std::vector<QWidget*> tabStops() const;
    // The Preview button under the action button (Find & Replace and Script modes).
    void setPreviewShown(bool shown);
    void setPreviewEnabled(bool enabled);

  signals:
    // Text typed or an entry chosen: results on screen no longer match the criteria.
    void edited();
    // A key released in a box: the mode status line follows what is typed.
    void typed();
    // A value committed or a history entry removed.
    void committed();
    // Enter in a box whose value was accepted.
    void entered();
    void actionPressed(ActionButton button);
    void previewPressed();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildRows();
    void buildActionColumn(QHBoxLayout* layout);
    void nameBoxes();
    void orderTabStops();
    QComboBox* makeBox(HistoryBox which, const char* name, QWidget* parent);
    void buildHistoryMenu();
    QComboBox* box(HistoryBox which) const { return m_boxes.at(static_cast<size_t>(which)); }
    HistoryBox boxKind(const QComboBox* box) const;
    QPushButton* actionButton(ActionButton button) const {
        return m_actionButtons.at(static_cast<size_t>(button));
    }
    void addAndSelect(QComboBox* box, const QString& value);
    void addValidated(HistoryBox which, const QString& value);
    static void setBoxIndex(QComboBox* box, int index);
    static int selectedIndex(const QComboBox* box);
    void rememberSelection(HistoryBox which);
    bool commit(HistoryBox which);
    void enterIn(HistoryBox which);
    void showHistoryMenu(QComboBox* box, const QPoint& globalPos);
    void removeHistoryEntry();
    void removeAllHistoryEntries();
    void pickFolders();
    void pickFile();
    void pickRootFolder();

    UiServices& m_services;
    std::array<QComboBox*, config::kHistoryBoxCount> m_boxes{};
    std::array<int32_t, config::kHistoryBoxCount> m_savedIndex{-1, -1, -1, -1, -1};
    std::array<QPushButton*, 4> m_actionButtons{};
    QPushButton* m_previewButton = nullptr;
    bool m_remembersExpressions = true;
    bool m_foldersSorted = false;
    bool m_loading = false;
    bool m_commitOnLeave = true;
    QString m_dialogFolder;
    QComboBox* m_menuTarget = nullptr;

    QWidget* m_folderFilePanel = nullptr;
    QWidget* m_findReplacePanel = nullptr;
    QLabel* m_rootFolderLabel = nullptr;
    QLabel* m_foldersLabel = nullptr;
    QLabel* m_filesLabel = nullptr;
    QLabel* m_findLabel = nullptr;
    QLabel* m_regexHintLabel = nullptr;
    QLabel* m_replaceLabel = nullptr;
    QLabel* m_itemNumberLabel = nullptr;
    QToolButton* m_pickRootFolderButton = nullptr;
    QToolButton* m_pickFoldersButton = nullptr;
    QToolButton* m_pickFileButton = nullptr;
    QMenu* m_historyMenu = nullptr;
    QAction* m_removeEntryAction = nullptr;
    QAction* m_removeAllAction = nullptr;
};

} // namespace kestrava::ui
