// Script mode's item editor: the bar under the criteria (Append, Insert, Change, Delete, Up,
// Down, and Accept/Cancel while an item is edited), the script shown in the results grid with
// its current item in the criteria boxes, and the Script menu's New, Open, Save and Save-As.
#pragma once

#include "config/settings.h"
#include "script/script.h"
#include "ui_services.h"
#include "window_mode.h"

#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QMenu;
class QLabel;
class QPushButton;

namespace kestrava::ui {

class CriteriaPanel;
class ResultsGrid;

class ScriptEditor : public QWidget {
    Q_OBJECT
  public:
    ScriptEditor(UiServices& services, config::Settings& settings, CriteriaPanel& criteria,
                 ResultsGrid& grid, QWidget* parent);

    const script::Script& script() const { return m_script; }
    ScriptEditState state() const { return m_state; }
    // Enters an editing state: the bar, the criteria rows, the grid's lines, the focus.
    void setState(ScriptEditState state);
    // The grid shows the script (viewing it).
    void showInGrid();
    // A new, empty script (on entering Script mode: nothing unsaved exists outside it).
    void clear();
    // Offers to save a changed script before Script mode is left; false when it stays.
    bool leave();
    void applyFontSize(int pointSize);
    bool isEditingItem() const { return !isHidden() && !m_acceptPanel->isHidden(); }
    void acceptItem();

    // The grid's press and key handling while it shows the script.
    void pressOnGrid(const QPoint& viewportPoint);
    void keyOnGrid(int key);

    // The Script menu: New, Open, Save, Save-As, Run, View Script and View Results.
    QMenu* menu() const { return m_menu; }
    // Enables its items for the state; a running search owns the results, which are read only
    // once it has ended.
    void updateMenu(bool running, bool haveResults);

  signals:
    // The state, the items or the file name changed: the mode status follows.
    void changed();
    void runRequested();
    void scriptViewRequested();

  private:
    void buildMenu();
    // Runs a file action with the window's dialogs; false when it was cancelled or failed (the
    // failure is shown).
    bool withDialogs(const std::function<bool(script::ScriptDialogs&)>& action);
    void newScript();
    void openScript();
    void saveScript();
    void saveScriptAs();
    void startEdit(ScriptEditState state) { setState(state); }
    void deleteItem();
    void moveItem(bool up);
    void showScript();
    void showCurrentItem();
    void setEditHighlight(bool folderFile, bool findReplace);

    UiServices& m_services;
    config::Settings& m_settings;
    CriteriaPanel& m_criteria;
    ResultsGrid& m_grid;
    script::Script m_script;
    ScriptEditState m_state = ScriptEditState::Viewing;
    QLabel* m_itemsLabel = nullptr;
    QWidget* m_itemButtonsPanel = nullptr;
    QWidget* m_acceptPanel = nullptr;
    std::array<QPushButton*, 6> m_itemButtons{}; // Append, Insert, Change, Delete, Up, Down
    QPushButton* m_acceptButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QMenu* m_menu = nullptr;
    std::array<QAction*, 7> m_menuActions{}; // in the menu's order
};

} // namespace kestrava::ui
