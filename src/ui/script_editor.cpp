#include "script_editor.h"

#include "criteria_panel.h"
#include "qt_text.h"
#include "results_grid.h"
#include "widget_style.h"

#include "script/script_edit.h"
#include "util/write_gate.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <functional>

namespace kestrava::ui {

namespace {

const QString kScriptFilter = QStringLiteral("Script files (*.ksc)");

// The script logic's dialogs and question, answered through the window's services. Both file
// dialogs start in the configured scripts folder.
class EditorScriptDialogs final : public script::ScriptDialogs {
  public:
    EditorScriptDialogs(UiServices& services, QWidget* parent, const std::string& folder)
        : m_services(services), m_parent(parent), m_folder(folder) {}

    bool chooseScriptToOpen(const std::string& initialFolder, std::string& path) override {
        path = m_services
                   .getOpenFileName(m_parent, QStringLiteral("Open Script"),
                                    toQString(initialFolder), kScriptFilter)
                   .toStdString();
        return !path.empty();
    }
    bool chooseScriptToSave(std::string& path) override {
        // The default scripts folder is made on the first save, so the dialog can open in it.
        util::GatedFolder made;
        util::makeFolders(m_folder, util::NewFolderMode::Umask, made);
        path =
            m_services
                .getSaveFileName(m_parent, QStringLiteral("Save Script As"), toQString(m_folder),
                                 kScriptFilter, toQString(std::string(script::kScriptDefaultExt)))
                .toStdString();
        return !path.empty();
    }
    script::SaveAnswer askYesNoCancel(const std::string& question) override {
        switch (m_services.askYesNoCancel(m_parent, toQString(question))) {
        case Answer::Yes:
            return script::SaveAnswer::Yes;
        case Answer::No:
            return script::SaveAnswer::No;
        default:
            return script::SaveAnswer::Cancel;
        }
    }

  private:
    UiServices& m_services;
    QWidget* m_parent;
    std::string m_folder;
};

} // namespace

ScriptEditor::ScriptEditor(UiServices& services, config::Settings& settings,
                           CriteriaPanel& criteria, ResultsGrid& grid, QWidget* parent)
    : QWidget(parent), m_services(services), m_settings(settings), m_criteria(criteria),
      m_grid(grid) {
    setObjectName(QStringLiteral("scriptBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 10, 6);
    m_itemsLabel = named(new QLabel(QStringLiteral("Script Items:"), this), "scriptItemsLabel");
    layout->addWidget(m_itemsLabel);
    m_itemButtonsPanel = named(new QWidget(this), "scriptButtonsPanel");
    auto* items = new QHBoxLayout(m_itemButtonsPanel);
    items->setContentsMargins(20, 0, 0, 0);
    items->setSpacing(20);
    static const char* const kNames[] = {"appendItemButton", "insertItemButton",
                                         "changeItemButton", "deleteItemButton",
                                         "moveItemUpButton", "moveItemDownButton"};
    static const char* const kCaptions[] = {"Append", "Insert", "Change", "Delete", "Up", "Down"};
    static const char* const kAccessibleNames[] = {"Append item", "Insert item",  "Change item",
                                                   "Delete item", "Move item up", "Move item down"};
    for (size_t i = 0; i < m_itemButtons.size(); ++i) {
        m_itemButtons[i] = named(
            new QPushButton(QString::fromLatin1(kCaptions[i]), m_itemButtonsPanel), kNames[i]);
        m_itemButtons[i]->setAccessibleName(QString::fromLatin1(kAccessibleNames[i]));
        m_itemButtons[i]->setEnabled(false);
        items->addWidget(m_itemButtons[i]);
    }
    connect(m_itemButtons[0], &QPushButton::clicked, this,
            [this] { startEdit(ScriptEditState::Append); });
    connect(m_itemButtons[1], &QPushButton::clicked, this,
            [this] { startEdit(ScriptEditState::Insert); });
    connect(m_itemButtons[2], &QPushButton::clicked, this,
            [this] { startEdit(ScriptEditState::Change); });
    connect(m_itemButtons[3], &QPushButton::clicked, this, &ScriptEditor::deleteItem);
    connect(m_itemButtons[4], &QPushButton::clicked, this, [this] { moveItem(true); });
    connect(m_itemButtons[5], &QPushButton::clicked, this, [this] { moveItem(false); });
    layout->addWidget(m_itemButtonsPanel);
    layout->addStretch(1);

    m_acceptPanel = named(new QWidget(this), "acceptCancelPanel");
    auto* accept = new QHBoxLayout(m_acceptPanel);
    accept->setContentsMargins(0, 0, 0, 0);
    accept->setSpacing(20);
    m_acceptButton =
        named(new QPushButton(QStringLiteral("Accept"), m_acceptPanel), "acceptItemButton");
    m_cancelButton =
        named(new QPushButton(QStringLiteral("Cancel"), m_acceptPanel), "cancelItemButton");
    m_acceptButton->setAccessibleName(QStringLiteral("Accept item"));
    m_cancelButton->setAccessibleName(QStringLiteral("Cancel item"));
    accept->addWidget(m_acceptButton);
    accept->addWidget(m_cancelButton);
    connect(m_acceptButton, &QPushButton::clicked, this, &ScriptEditor::acceptItem);
    connect(m_cancelButton, &QPushButton::clicked, this,
            [this] { setState(ScriptEditState::Viewing); });
    layout->addWidget(m_acceptPanel);
    m_acceptPanel->hide();
    buildMenu();
}

void ScriptEditor::buildMenu() {
    m_menu = named(new QMenu(QStringLiteral("&Script"), this), "scriptMenu");
    struct Item {
        const char* name;
        const char* caption;
        std::function<void()> handler;
        QKeySequence::StandardKey key = QKeySequence::UnknownKey;
    };
    // Open and Save keep their keys: they act only while the items are enabled.
    const Item items[] = {
        {"newScriptAction", "&New", [this] { newScript(); }},
        {"openScriptAction", "&Open", [this] { openScript(); }, QKeySequence::Open},
        {"saveScriptAction", "&Save", [this] { saveScript(); }, QKeySequence::Save},
        {"saveScriptAsAction", "Save-&As", [this] { saveScriptAs(); }},
        {"runScriptAction", "&Run", [this] { emit runRequested(); }},
        {"viewScriptAction", "View S&cript", [this] { emit scriptViewRequested(); }},
        {"viewScriptResultsAction", "View Res&ults",
         [this] { setState(ScriptEditState::Results); }}};
    for (size_t i = 0; i < m_menuActions.size(); ++i) {
        if (i == 5)
            m_menu->addSeparator();
        m_menuActions[i] =
            named(m_menu->addAction(QString::fromLatin1(items[i].caption)), items[i].name);
        m_menuActions[i]->setShortcut(items[i].key);
        connect(m_menuActions[i], &QAction::triggered, this, items[i].handler);
    }
}

void ScriptEditor::updateMenu(bool running, bool haveResults) {
    const bool viewing = m_state == ScriptEditState::Viewing;
    const bool hasItems = !m_script.entries.empty();
    const bool enabled[] = {viewing && hasItems,
                            viewing,
                            viewing && m_script.changed,
                            viewing && hasItems,
                            viewing && hasItems,
                            m_state == ScriptEditState::Results,
                            viewing && !running && haveResults};
    for (size_t i = 0; i < m_menuActions.size(); ++i)
        m_menuActions[i]->setEnabled(enabled[i]);
}

void ScriptEditor::applyFontSize(int pointSize) {
    const QFont small = arialFont(pointSize - 2);
    const int textHeight = QFontMetrics(small).height();
    m_itemsLabel->setFont(arialFont(pointSize));
    const int itemWidth = textWidth(small, m_itemButtons[0]->text()) + 20;
    for (QPushButton* button : m_itemButtons) {
        button->setFont(small);
        button->setFixedSize(itemWidth, textHeight + 10 + (pointSize - 10));
    }
    const int acceptWidth = textWidth(small, m_acceptButton->text()) + 50;
    for (QPushButton* button : {m_acceptButton, m_cancelButton}) {
        button->setFont(small);
        button->setFixedSize(acceptWidth, textHeight + 10);
    }
}

void ScriptEditor::setState(ScriptEditState state) {
    m_state = state;
    script::buildScriptLines(m_script, itemEdit(state));
    const bool isFindReplace =
        m_script.currentEntry >= 0 &&
        !m_script.entries[static_cast<size_t>(m_script.currentEntry)].isFolderFile();
    const bool editing = state == ScriptEditState::Append || state == ScriptEditState::Insert ||
                         state == ScriptEditState::Change;
    m_acceptPanel->setVisible(editing);
    m_itemButtonsPanel->setVisible(!editing);
    setVisible(state != ScriptEditState::Results);
    switch (state) {
    case ScriptEditState::Viewing:
        m_criteria.setAllRowsInactive();
        m_criteria.setRootFolderRowActive(true);
        setEditHighlight(false, false);
        break;
    case ScriptEditState::Append:
    case ScriptEditState::Insert:
        m_criteria.setFolderFileRowsActive();
        m_criteria.setFindRowsActive(true);
        m_criteria.setRootFolderRowActive(false);
        m_criteria.clear();
        setEditHighlight(true, true);
        break;
    case ScriptEditState::Change:
        if (isFindReplace)
            m_criteria.setFindRowsActive(true);
        else
            m_criteria.setFolderFileRowsActive();
        setEditHighlight(!isFindReplace, isFindReplace);
        m_criteria.setRootFolderRowActive(false);
        break;
    case ScriptEditState::Results:
        m_criteria.clear();
        m_criteria.setItemNumber({}, kBlackText); // no item is shown while the results are
        break;
    }
    if (state != ScriptEditState::Results)
        showScript();
    emit changed();
    if (state == ScriptEditState::Append || state == ScriptEditState::Insert)
        m_criteria.focusBox(HistoryBox::FoldersToSearch);
    else if (state == ScriptEditState::Change)
        m_criteria.focusBox(isFindReplace ? HistoryBox::FindExpressions
                                          : HistoryBox::FoldersToSearch);
    else if (state == ScriptEditState::Viewing && m_grid.isEnabled() && !m_script.entries.empty())
        m_grid.setFocus(); // so the arrow keys choose items at once
}

void ScriptEditor::setEditHighlight(bool folderFile, bool findReplace) {
    const QColor colour = QColor::fromRgb(m_settings.highlightColor);
    m_criteria.setHighlight(RowGroup::FolderFile, folderFile, colour);
    m_criteria.setHighlight(RowGroup::FindReplace, findReplace, colour);
}

void ScriptEditor::showInGrid() {
    m_grid.clearDrawGrid(4);
    show();
    m_acceptPanel->hide();
    setState(ScriptEditState::Viewing);
}

void ScriptEditor::clear() {
    script::clearScript(m_script);
    m_state = ScriptEditState::Viewing;
}

void ScriptEditor::showScript() {
    const bool hasCurrent = m_script.currentEntry >= 0;
    m_itemButtons[0]->setEnabled(true);
    for (size_t i = 1; i <= 3; ++i)
        m_itemButtons[i]->setEnabled(hasCurrent);
    m_itemButtons[4]->setEnabled(script::canMoveScriptItem(m_script, true));
    m_itemButtons[5]->setEnabled(script::canMoveScriptItem(m_script, false));
    showCurrentItem();
    ScriptColours colours;
    colours.background = QColor::fromRgb(m_settings.gridColor);
    colours.highlight = QColor::fromRgb(m_settings.highlightColor);
    m_grid.showScript(&m_script, itemEdit(m_state), colours);
    if (m_grid.isEnabled() && m_grid.isVisible() && !m_script.entries.empty() &&
        m_state == ScriptEditState::Viewing)
        m_grid.setFocus();
}

void ScriptEditor::showCurrentItem() {
    if (m_script.currentEntry < 0) {
        m_criteria.clear();
        m_criteria.setItemNumber({}, kBlackText);
        return;
    }
    const script::ScriptEntry& entry = m_script.entries[static_cast<size_t>(m_script.currentEntry)];
    const bool adding = m_state == ScriptEditState::Append || m_state == ScriptEditState::Insert;
    if (adding) {
        const bool appending = m_state == ScriptEditState::Append;
        // The boxes start with the group the new item will most likely join.
        const int32_t at =
            appending ? static_cast<int32_t>(m_script.entries.size()) - 1 : m_script.currentEntry;
        const script::FolderFile group = script::governingFolderFile(m_script, at);
        m_criteria.showValues({group.folders, group.files, {}, {}, {}});
        m_criteria.setItemNumber(appending ? QStringLiteral("Append") : QStringLiteral("Insert"),
                                 kTealText);
        return;
    }
    const script::FolderFile group = script::governingFolderFile(m_script, m_script.currentEntry);
    const bool findReplace = !entry.isFolderFile();
    m_criteria.showValues({group.folders,
                           group.files,
                           findReplace ? entry.find : std::string(),
                           findReplace ? entry.replace : std::string(),
                           {}});
    m_criteria.setItemNumber(toQString(script::scriptItemNumber(entry)),
                             m_state == ScriptEditState::Change ? kBlackText : kGreyText);
}

void ScriptEditor::acceptItem() {
    switch (script::acceptScriptItem(m_script, itemEdit(m_state), m_criteria.criteria())) {
    case script::AcceptOutcome::NeedFoldersFiles:
        m_services.showMessage(this, QString::fromLatin1(script::kNeedFoldersFilesText));
        m_criteria.focusBox(HistoryBox::FoldersToSearch);
        return;
    case script::AcceptOutcome::NeedFind:
        m_services.showMessage(this, QString::fromLatin1(script::kNeedFindText));
        m_criteria.focusBox(HistoryBox::FindExpressions);
        return;
    case script::AcceptOutcome::Accepted:
        setState(ScriptEditState::Viewing);
        return;
    }
}

void ScriptEditor::deleteItem() {
    if (!script::deleteScriptItem(m_script)) {
        m_services.showError(this, QString::fromLatin1(script::kDeleteRefusedText));
        return;
    }
    setState(ScriptEditState::Viewing);
}

void ScriptEditor::moveItem(bool up) {
    if (script::moveScriptItem(m_script, up))
        setState(ScriptEditState::Viewing);
}

void ScriptEditor::pressOnGrid(const QPoint& viewportPoint) {
    if (m_state != ScriptEditState::Viewing)
        return;
    const int row = m_grid.rowAt(viewportPoint);
    if (row < 1 || static_cast<size_t>(row - 1) >= m_script.lines.size())
        return; // the header or the spare row
    const script::ScriptLine& line = m_script.lines[static_cast<size_t>(row - 1)];
    if (line.lineKind == script::ScriptLineKind::Blank ||
        line.lineKind == script::ScriptLineKind::NewItem || line.entryIndex < 0)
        return;
    m_script.currentEntry = line.entryIndex;
    showScript();
}

void ScriptEditor::keyOnGrid(int key) {
    if (m_grid.content() != GridContent::Script || m_state != ScriptEditState::Viewing ||
        m_script.currentEntry < 0)
        return;
    const auto last = static_cast<int32_t>(m_script.entries.size()) - 1;
    if (key == Qt::Key_Up && m_script.currentEntry > 0)
        --m_script.currentEntry;
    else if (key == Qt::Key_Down && m_script.currentEntry < last)
        ++m_script.currentEntry;
    else
        return;
    showScript();
}

// ---- The Script menu

bool ScriptEditor::withDialogs(const std::function<bool(script::ScriptDialogs&)>& action) {
    EditorScriptDialogs dialogs(m_services, this, m_settings.scriptsFolder);
    try {
        return action(dialogs);
    } catch (const std::exception& e) {
        m_services.showError(this, toQString(e.what())); // not done: the script stays as it was
        return false;
    }
}

bool ScriptEditor::leave() {
    return withDialogs(
        [this](auto& dialogs) { return script::saveChangedScript(m_script, dialogs); });
}

void ScriptEditor::newScript() {
    if (!withDialogs([this](auto& dialogs) { return script::newScript(m_script, dialogs); }))
        return;
    setState(ScriptEditState::Viewing);
    m_criteria.clear();
}

void ScriptEditor::openScript() {
    EditorScriptDialogs dialogs(m_services, this, m_settings.scriptsFolder);
    try {
        if (!script::openScript(m_script, dialogs, m_settings.scriptsFolder))
            return;
    } catch (const std::exception& e) {
        // A failed read leaves the script empty; the grid must say so too.
        setState(ScriptEditState::Viewing);
        m_services.showError(this, toQString(e.what()));
        return;
    }
    m_criteria.clear();
    setState(ScriptEditState::Viewing);
}

void ScriptEditor::saveScript() {
    if (m_script.changed && !m_script.entries.empty() &&
        withDialogs([this](auto& dialogs) { return script::saveScript(m_script, dialogs); }))
        emit changed();
}

void ScriptEditor::saveScriptAs() {
    if (!m_script.entries.empty() &&
        withDialogs([this](auto& dialogs) { return script::saveScriptAs(m_script, dialogs); }))
        emit changed();
}

} // namespace kestrava::ui
