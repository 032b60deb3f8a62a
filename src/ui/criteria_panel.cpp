#include "criteria_panel.h"

#include "qt_text.h"
#include "widget_style.h"

#include <QAction>
#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrava::ui {

namespace {

constexpr size_t kBoxCount = config::kHistoryBoxCount;
constexpr int kActionButtonHeight = 50;
constexpr int kPreviewButtonHeight = 30;
constexpr int kPickButtonWidth = 25;

// What each box takes, with an example, on its tooltip; the placeholder shows while it is empty.
struct BoxHelp {
    const char* placeholder;
    const char* tooltip;
};

const BoxHelp kFoldersHelp = {
    "Folders to search, e.g. ~/src<+><excluding build,.git>",
    "Folders to search, separated by |\n"
    "<+> after a folder searches its subfolders too;\n"
    "<excluding a,b> leaves those subfolders out (relative to the folder).\n"
    "Example: /home/me/src<+><excluding build,tmp> | /etc"};
const BoxHelp kFilesHelp = {"File masks, e.g. *.cpp | *.h",
                            "File masks, separated by |; * and ? are wildcards, letter case is "
                            "ignored.\n"
                            "<excluding a,b> after a mask leaves those file names out.\n"
                            "Example: *.cpp | *.h<excluding moc_main.h>"};
const BoxHelp kRootFolderHelp = {
    "The folder {RootFolder} stands for in the script",
    "The folder that {RootFolder} in the script's Folder(s) items stands for.\n"
    "Example: /home/me/project"};
const BoxHelp kFindHelp = {"Perl-compatible regular expression",
                           "A Perl-compatible regular expression.\n"
                           "Example: \\bTODO\\b|FIXME"};
const BoxHelp kReplaceHelp = {"Replacement, e.g. $1_old ($0 is the whole match)",
                              "The replacement for each match: $0 is the whole match, $1, $2 ... "
                              "its groups, $<name> a named group; \\ takes the next character "
                              "literally.\n"
                              "^$ alone replaces with nothing.\n"
                              "Example: $1_old"};

void setHelp(QComboBox* box, const BoxHelp& help) {
    box->lineEdit()->setPlaceholderText(QString::fromUtf8(help.placeholder));
    box->setToolTip(QString::fromUtf8(help.tooltip));
}

QLabel* makeLabel(const char* name, const char* text, QWidget* parent) {
    return named(new QLabel(QString::fromLatin1(text), parent), name);
}

QToolButton* makePickButton(const char* name, QWidget* parent) {
    auto* button = named(new QToolButton(parent), name);
    button->setText(QStringLiteral("..."));
    button->setFocusPolicy(Qt::TabFocus);
    button->setFixedWidth(kPickButtonWidth);
    return button;
}

// The box's field colour while it can be edited; a disabled box keeps the look of a disabled
// field, so it never passes for an editable one.
void setBoxBackground(QComboBox* box, const QColor& color) {
    QPalette palette = box->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Base, color);
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     QApplication::palette().color(QPalette::Disabled, QPalette::Base));
    box->setPalette(palette);
}

// File masks ignore letter case, so File(s) keeps one entry per mask; every other box keeps
// what was typed byte for byte: "/src/App" and "/src/app" are different folders, and a Find or
// Replace With text must never be swapped for another spelling.
Qt::CaseSensitivity historyCase(HistoryBox box) {
    return box == HistoryBox::FilesToSearch ? Qt::CaseInsensitive : Qt::CaseSensitive;
}

// The order of the Folders history: the user's collation, letter case ignored.
QCollator foldersCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

QStringList boxEntries(const QComboBox* box) {
    QStringList entries;
    entries.reserve(box->count());
    for (int i = 0; i < box->count(); ++i)
        entries << box->itemText(i);
    return entries;
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

CriteriaPanel::CriteriaPanel(UiServices& services, QWidget* parent)
    : QWidget(parent), m_services(services), m_dialogFolder(QDir::currentPath()) {
    setObjectName(QStringLiteral("criteriaPanel"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 6, 8, 6);
    layout->setSpacing(0);
    auto* rows = new QVBoxLayout;
    rows->setSpacing(0);
    layout->addLayout(rows, 1);
    m_folderFilePanel = named(new QWidget(this), "folderFilePanel");
    m_findReplacePanel = named(new QWidget(this), "findReplacePanel");
    rows->addWidget(m_folderFilePanel);
    rows->addWidget(m_findReplacePanel);
    rows->addStretch(1);
    buildRows();
    buildActionColumn(layout);
    buildHistoryMenu();
}

QComboBox* CriteriaPanel::makeBox(HistoryBox which, const char* name, QWidget* parent) {
    auto* box = named(new QComboBox(parent), name);
    m_boxes.at(static_cast<size_t>(which)) = box;
    box->setEditable(true);
    box->setCompleter(nullptr); // no completion while typing
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(20);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(10);
    box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box->installEventFilter(this);
    box->lineEdit()->installEventFilter(this);
    box->lineEdit()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(box->lineEdit(), &QLineEdit::customContextMenuRequested, this,
            [this, box](const QPoint& pos) {
                showHistoryMenu(box, box->lineEdit()->mapToGlobal(pos));
            });
    connect(box->lineEdit(), &QLineEdit::textEdited, this, &CriteriaPanel::edited);
    connect(box, &QComboBox::activated, this, &CriteriaPanel::edited);
    connect(box->lineEdit(), &QLineEdit::returnPressed, this, [this, which] { enterIn(which); });
    return box;
}

void CriteriaPanel::buildRows() {
    QWidget* top = m_folderFilePanel;
    m_rootFolderLabel = makeLabel("rootFolderLabel", "Roo&t Folder", top);
    m_itemNumberLabel = makeLabel("itemNumberLabel", "", top);
    m_foldersLabel = makeLabel("foldersLabel", "F&older(s)", top);
    m_filesLabel = makeLabel("filesLabel", "F&ile(s)", top);
    makeBox(HistoryBox::RootFolders, "rootFolderCombo", top);
    makeBox(HistoryBox::FoldersToSearch, "foldersCombo", top);
    makeBox(HistoryBox::FilesToSearch, "filesCombo", top);
    m_pickRootFolderButton = makePickButton("pickRootFolderButton", top);
    m_pickFoldersButton = makePickButton("pickFoldersButton", top);
    m_pickFileButton = makePickButton("pickFileButton", top);
    connect(m_pickFoldersButton, &QToolButton::clicked, this, &CriteriaPanel::pickFolders);
    connect(m_pickFileButton, &QToolButton::clicked, this, &CriteriaPanel::pickFile);
    connect(m_pickRootFolderButton, &QToolButton::clicked, this, &CriteriaPanel::pickRootFolder);
    auto* grid = new QGridLayout(top);
    grid->setContentsMargins(10, 4, 10, 4);
    grid->setHorizontalSpacing(6);
    grid->addWidget(m_rootFolderLabel, 0, 0);
    grid->addWidget(box(HistoryBox::RootFolders), 0, 1);
    grid->addWidget(m_pickRootFolderButton, 0, 2);
    // The script item's number sits in the label column, between the Root Folder row and the
    // rows of the item it names.
    grid->addWidget(m_itemNumberLabel, 1, 0);
    grid->addWidget(m_foldersLabel, 2, 0);
    grid->addWidget(box(HistoryBox::FoldersToSearch), 2, 1);
    grid->addWidget(m_pickFoldersButton, 2, 2);
    grid->addWidget(m_filesLabel, 3, 0);
    grid->addWidget(box(HistoryBox::FilesToSearch), 3, 1);
    grid->addWidget(m_pickFileButton, 3, 2);
    grid->setColumnStretch(1, 1);

    QWidget* bottom = m_findReplacePanel;
    m_findLabel = makeLabel("findLabel", "Fi&nd", bottom);
    m_regexHintLabel = makeLabel("regexHintLabel", "(RegEx)", bottom);
    m_replaceLabel = makeLabel("replaceLabel", "Replace &With", bottom);
    makeBox(HistoryBox::FindExpressions, "findCombo", bottom);
    makeBox(HistoryBox::ReplaceExpressions, "replaceCombo", bottom);
    auto* findTitle = new QHBoxLayout;
    findTitle->setSpacing(5);
    findTitle->addWidget(m_findLabel);
    findTitle->addWidget(m_regexHintLabel);
    findTitle->addStretch(1);
    auto* lower = new QGridLayout(bottom);
    lower->setContentsMargins(10, 10, 10, 4);
    lower->setColumnStretch(1, 1);
    lower->setHorizontalSpacing(6);
    lower->addLayout(findTitle, 0, 0);
    lower->addWidget(box(HistoryBox::FindExpressions), 0, 1);
    lower->addWidget(m_replaceLabel, 1, 0);
    lower->addWidget(box(HistoryBox::ReplaceExpressions), 1, 1);
    // A column as wide as the pick buttons keeps both groups' boxes equally wide.
    lower->addItem(new QSpacerItem(kPickButtonWidth + lower->horizontalSpacing(), 0,
                                   QSizePolicy::Fixed, QSizePolicy::Minimum),
                   0, 2);

    setHelp(box(HistoryBox::FoldersToSearch), kFoldersHelp);
    setHelp(box(HistoryBox::FilesToSearch), kFilesHelp);
    setHelp(box(HistoryBox::RootFolders), kRootFolderHelp);
    setHelp(box(HistoryBox::FindExpressions), kFindHelp);
    setHelp(box(HistoryBox::ReplaceExpressions), kReplaceHelp);
    nameBoxes();
}

void CriteriaPanel::nameBoxes() {
    // Alt with the label's underlined letter focuses its box; the names stay whatever a label
    // later reads.
    const std::pair<QLabel*, HistoryBox> labelled[] = {
        {m_rootFolderLabel, HistoryBox::RootFolders},
        {m_foldersLabel, HistoryBox::FoldersToSearch},
        {m_filesLabel, HistoryBox::FilesToSearch},
        {m_findLabel, HistoryBox::FindExpressions},
        {m_replaceLabel, HistoryBox::ReplaceExpressions}};
    for (const auto& [label, which] : labelled) {
        label->setBuddy(box(which));
        box(which)->setAccessibleName(label->text().remove(QLatin1Char('&')));
    }
    const std::pair<QToolButton*, const char*> pickers[] = {
        {m_pickRootFolderButton, "Choose the root folder"},
        {m_pickFoldersButton, "Choose a folder to search"},
        {m_pickFileButton, "Choose a file to search"}};
    for (const auto& [picker, name] : pickers) {
        picker->setAccessibleName(QString::fromLatin1(name));
        picker->setToolTip(QString::fromLatin1(name));
    }
}

void CriteriaPanel::buildActionColumn(QHBoxLayout* layout) {
    auto* separator = named(new QFrame(this), "actionSeparator");
    separator->setFrameShape(QFrame::VLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(18, 0, 0, 0);
    column->addStretch(1);
    static const char* const kNames[] = {"findButton", "replaceButton", "listButton",
                                         "runScriptButton"};
    static const char* const kCaptions[] = {" Fin&d", "&Replace", "&List", "R&un Script"};
    static const char* const kAccessibleNames[] = {"Find", "Replace", "List", "Run Script"};
    for (size_t i = 0; i < m_actionButtons.size(); ++i) {
        auto* button = named(new QPushButton(QString::fromLatin1(kCaptions[i]), this), kNames[i]);
        button->setFixedHeight(kActionButtonHeight);
        button->setAccessibleName(QString::fromLatin1(kAccessibleNames[i]));
        button->hide();
        const auto which = static_cast<ActionButton>(i);
        connect(button, &QPushButton::clicked, this, [this, which] { emit actionPressed(which); });
        column->addWidget(button);
        m_actionButtons[i] = button;
    }
    m_previewButton =
        named(new QPushButton(QStringLiteral("&Preview"), this), "previewChangesButton");
    m_previewButton->setAccessibleName(QStringLiteral("Preview changes"));
    m_previewButton->setFixedHeight(kPreviewButtonHeight);
    m_previewButton->setToolTip(
        QStringLiteral("Shows each change without writing anything; uncheck the ones to leave "
                       "out, then press the button above to write the rest"));
    m_previewButton->hide();
    connect(m_previewButton, &QPushButton::clicked, this, &CriteriaPanel::previewPressed);
    column->addWidget(m_previewButton);
    column->addStretch(1);
    layout->addLayout(column);
    // Listing folders is not offered: List stays disabled.
    actionButton(ActionButton::List)->setEnabled(false);
    orderTabStops();
}

void CriteriaPanel::orderTabStops() {
    const std::vector<QWidget*> stops = tabStops();
    for (size_t i = 1; i < stops.size(); ++i)
        setTabOrder(stops[i - 1], stops[i]);
}

std::vector<QWidget*> CriteriaPanel::tabStops() const {
    // Top to bottom, each box followed by its picker, then the action column.
    std::vector<QWidget*> stops = {
        box(HistoryBox::RootFolders),     m_pickRootFolderButton,
        box(HistoryBox::FoldersToSearch), m_pickFoldersButton,
        box(HistoryBox::FilesToSearch),   m_pickFileButton,
        box(HistoryBox::FindExpressions), box(HistoryBox::ReplaceExpressions)};
    stops.insert(stops.end(), m_actionButtons.begin(), m_actionButtons.end());
    stops.push_back(m_previewButton);
    return stops;
}

void CriteriaPanel::buildHistoryMenu() {
    m_historyMenu = named(new QMenu(this), "historyMenu");
    m_removeEntryAction =
        named(m_historyMenu->addAction(QStringLiteral("Remove &entry")), "removeEntryAction");
    m_removeAllAction =
        named(m_historyMenu->addAction(QStringLiteral("Remove &All")), "removeAllAction");
    named(m_historyMenu->addAction(QStringLiteral("&Cancel")), "pumCancel");
    connect(m_removeEntryAction, &QAction::triggered, this, &CriteriaPanel::removeHistoryEntry);
    connect(m_removeAllAction, &QAction::triggered, this, &CriteriaPanel::removeAllHistoryEntries);
}

HistoryBox CriteriaPanel::boxKind(const QComboBox* which) const {
    const auto* found = std::find(m_boxes.begin(), m_boxes.end(), which);
    return static_cast<HistoryBox>(found - m_boxes.begin());
}

// ---- Histories

void CriteriaPanel::setBoxIndex(QComboBox* box, int index) {
    if (index >= 0 && index < box->count()) {
        box->setCurrentIndex(index);
        box->setEditText(box->itemText(index)); // also when the index did not change
    } else {
        box->setCurrentIndex(-1);
        box->setEditText(QString());
    }
}

int CriteriaPanel::selectedIndex(const QComboBox* box) {
    // Typing leaves the combo's current index where it was; the text is only "selected" while
    // it still is that entry.
    const int index = box->currentIndex();
    return index >= 0 && box->itemText(index) == box->currentText() ? index : -1;
}

void CriteriaPanel::addAndSelect(QComboBox* which, const QString& value) {
    if (value.isEmpty())
        return;
    const HistoryBox kind = boxKind(which);
    int index = which->findText(value, historyCase(kind) == Qt::CaseSensitive
                                           ? Qt::MatchFixedString | Qt::MatchCaseSensitive
                                           : Qt::MatchFixedString);
    if (index >= 0) {
        which->setItemText(index, value); // a mask keeps the spelling last typed
    } else {
        index = which->count();
        if (kind == HistoryBox::FoldersToSearch && m_foldersSorted)
            index = sortedPlace(boxEntries(which), value);
        which->insertItem(index, value);
    }
    setBoxIndex(which, index);
}

void CriteriaPanel::addValidated(HistoryBox which, const QString& value) {
    if (value.isEmpty())
        return;
    if (which == HistoryBox::FilesToSearch)
        search::validateFilesEntry(value.toStdString());
    else
        search::validateFoldersEntry(value.toStdString());
    addAndSelect(box(which), value);
}

void CriteriaPanel::rememberSelection(HistoryBox which) {
    m_savedIndex.at(static_cast<size_t>(which)) = selectedIndex(box(which));
}

void CriteriaPanel::restoreSaved(HistoryBox which) {
    setBoxIndex(box(which), savedIndex(which));
}

void CriteriaPanel::loadHistories(
    const std::function<void(const config::HistoryLoadCallbacks&)>& load) {
    std::vector<HistoryList> lists;
    for (size_t b = 0; b < kBoxCount; ++b)
        lists.emplace_back(historyCase(static_cast<HistoryBox>(b)));
    config::HistoryLoadCallbacks callbacks;
    callbacks.validateFolders = search::validateFoldersEntry;
    callbacks.validateFiles = search::validateFilesEntry;
    callbacks.addItem = [&lists](HistoryBox box, const std::string& entry) {
        lists.at(static_cast<size_t>(box)).add(toQString(entry));
    };
    callbacks.setItemIndex = [this](HistoryBox box, int32_t index) {
        m_savedIndex.at(static_cast<size_t>(box)) = index;
    };
    forgetSaved(HistoryBox::RootFolders);
    // One model update per box, also after a damaged file; Folders are sorted from here on, new
    // entries go to their place.
    const auto fill = [&] {
        for (size_t b = 0; b < kBoxCount; ++b) {
            const bool folders = static_cast<HistoryBox>(b) == HistoryBox::FoldersToSearch;
            const QStringList entries = lists[b].entries(folders);
            m_boxes[b]->clear();
            m_boxes[b]->addItems(entries);
            setBoxIndex(m_boxes[b], static_cast<int>(entries.indexOf(lists[b].selected())));
        }
        m_foldersSorted = true;
    };
    m_loading = true;
    try {
        load(callbacks);
    } catch (...) {
        fill();
        m_loading = false;
        throw;
    }
    fill();
    m_loading = false;
}

config::HistoryBoxes CriteriaPanel::histories() const {
    config::HistoryBoxes boxes;
    for (size_t b = 0; b < kBoxCount; ++b) {
        for (const QString& entry : boxEntries(m_boxes[b]))
            boxes[b].items.push_back(entry.toStdString());
        boxes[b].itemIndex = m_savedIndex[b];
    }
    return boxes;
}

// ---- Committing what was typed

bool CriteriaPanel::commit(HistoryBox which) {
    QComboBox* target = box(which);
    try {
        switch (which) {
        case HistoryBox::FoldersToSearch:
        case HistoryBox::FilesToSearch:
        case HistoryBox::RootFolders:
            addValidated(which, target->currentText());
            rememberSelection(which);
            break;
        case HistoryBox::FindExpressions:
        case HistoryBox::ReplaceExpressions:
            addAndSelect(target, target->currentText());
            if (m_remembersExpressions)
                rememberSelection(which);
            break;
        }
    } catch (const std::exception& e) {
        switch (which) {
        case HistoryBox::FoldersToSearch:
            m_services.showError(this, QString::fromLatin1(search::kInvalidFoldersFormatText) +
                                           toQString(e.what()));
            break;
        case HistoryBox::FilesToSearch:
            m_services.showError(this, QString::fromLatin1(search::kInvalidFilesFormatText));
            break;
        default:
            m_services.showError(this, QStringLiteral("Invalid format for Root Folder:\r\n"
                                                      "Correct format is:\r\n"
                                                      "drive:path\r\n"
                                                      "e.g. c:\\Temp\r\n") +
                                           toQString(e.what()));
            break;
        }
        target->setFocus();
        return false;
    }
    emit committed();
    return true;
}

void CriteriaPanel::enterIn(HistoryBox which) {
    commit(which);
    const QComboBox* target = box(which);
    if (!target->currentText().isEmpty() && selectedIndex(target) < 0)
        return; // refused: its message is shown and the box keeps the focus
    emit entered();
}

bool CriteriaPanel::commitFocusedBox() {
    const QWidget* focused = focusWidget();
    for (HistoryBox which : {HistoryBox::FoldersToSearch, HistoryBox::FilesToSearch,
                             HistoryBox::FindExpressions, HistoryBox::ReplaceExpressions}) {
        if (focused == box(which) || focused == box(which)->lineEdit())
            return commit(which);
    }
    return true;
}

bool CriteriaPanel::eventFilter(QObject* watched, QEvent* event) {
    auto* target = qobject_cast<QComboBox*>(watched);
    if (target == nullptr)
        target = qobject_cast<QComboBox*>(watched->parent());
    if (target == nullptr)
        return false;
    if (event->type() == QEvent::FocusOut && watched == target) {
        // Opening the box's own list or menu, or switching windows, is not leaving it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            m_commitOnLeave)
            commit(boxKind(target));
    } else if (event->type() == QEvent::KeyRelease) {
        emit typed();
    }
    return false;
}

// ---- The boxes' context menu and the pickers

void CriteriaPanel::showHistoryMenu(QComboBox* target, const QPoint& globalPos) {
    m_menuTarget = target;
    m_removeEntryAction->setEnabled(!target->currentText().isEmpty());
    m_removeAllAction->setEnabled(target->count() > 0);
    m_historyMenu->popup(globalPos + QPoint(10, 10));
}

void CriteriaPanel::removeHistoryEntry() {
    QComboBox* target = m_menuTarget;
    if (target == nullptr)
        return;
    const int index = selectedIndex(target);
    if (index >= 0) {
        target->removeItem(index);
        // Keep the saved selection on the entry it named (or on none when that one went).
        int32_t& saved = m_savedIndex.at(static_cast<size_t>(boxKind(target)));
        saved = saved == index ? -1 : saved > index ? saved - 1 : saved;
    }
    setBoxIndex(target, -1);
    emit committed();
}

void CriteriaPanel::removeAllHistoryEntries() {
    QComboBox* target = m_menuTarget;
    if (target == nullptr)
        return;
    static const char* const kNames[] = {"Root Folder", "Folder(s)", "File(s)", "Find",
                                         "ReplaceWith"};
    const HistoryBox kind = boxKind(target);
    if (!m_services.askYesNo(this, QStringLiteral("Remove all ") +
                                       QString::fromLatin1(kNames[static_cast<size_t>(kind)]) +
                                       QStringLiteral(" items ?")))
        return;
    target->clear();
    setBoxIndex(target, -1);
    forgetSaved(kind);
    emit committed();
}

void CriteriaPanel::pickFolders() {
    QString folder = box(HistoryBox::FoldersToSearch)->currentText();
    if (!m_services.pickFolder(this, folder))
        return;
    try {
        addValidated(HistoryBox::FoldersToSearch, folder);
        rememberSelection(HistoryBox::FoldersToSearch);
        m_dialogFolder = folder;
    } catch (const std::exception& e) {
        m_services.showError(this, QString::fromLatin1(search::kInvalidFoldersFormatText) +
                                       toQString(e.what()));
    }
    emit edited();
}

void CriteriaPanel::pickRootFolder() {
    QString folder = box(HistoryBox::RootFolders)->currentText();
    if (!m_services.pickFolder(this, folder))
        return;
    try {
        addValidated(HistoryBox::RootFolders, folder);
        m_dialogFolder = folder;
    } catch (const std::exception& e) {
        m_services.showError(this, toQString(e.what()));
    }
}

void CriteriaPanel::pickFile() {
    QString start = m_dialogFolder;
    const QComboBox* folders = box(HistoryBox::FoldersToSearch);
    if (selectedIndex(folders) >= 0) {
        // The entry is a specification; its first folder is where the dialog can open.
        search::FolderSpecs specs;
        try {
            search::parseFoldersToSearch(folders->currentText().toStdString(), specs);
        } catch (const std::exception&) {
            specs.clear();
        }
        if (!specs.empty())
            start = toQString(specs.front().folder);
    }
    const QString chosen = m_services.getOpenFileName(this, QStringLiteral("Choose a File"), start,
                                                      QStringLiteral("All files (*)"));
    if (chosen.isEmpty())
        return;
    try {
        addValidated(HistoryBox::FilesToSearch, QFileInfo(chosen).fileName());
        rememberSelection(HistoryBox::FilesToSearch);
    } catch (const std::exception&) {
        m_services.showError(this, QString::fromLatin1(search::kInvalidFilesFormatText));
    }
    emit edited();
}

// ---- Content

search::Criteria CriteriaPanel::criteria() const {
    search::Criteria criteria;
    criteria.folders = box(HistoryBox::FoldersToSearch)->currentText().toStdString();
    criteria.files = box(HistoryBox::FilesToSearch)->currentText().toStdString();
    criteria.find = box(HistoryBox::FindExpressions)->currentText().toStdString();
    criteria.replace = box(HistoryBox::ReplaceExpressions)->currentText().toStdString();
    return criteria;
}

QString CriteriaPanel::rootFolder() const {
    return box(HistoryBox::RootFolders)->currentText();
}

void CriteriaPanel::clear() {
    for (HistoryBox which : {HistoryBox::FoldersToSearch, HistoryBox::FilesToSearch,
                             HistoryBox::FindExpressions, HistoryBox::ReplaceExpressions})
        setBoxIndex(box(which), -1);
}

void CriteriaPanel::clearBox(HistoryBox which) {
    setBoxIndex(box(which), -1);
}

void CriteriaPanel::showValues(const search::Criteria& values) {
    const std::pair<HistoryBox, const std::string*> shown[] = {
        {HistoryBox::FoldersToSearch, &values.folders},
        {HistoryBox::FilesToSearch, &values.files},
        {HistoryBox::FindExpressions, &values.find},
        {HistoryBox::ReplaceExpressions, &values.replace}};
    for (const auto& [which, value] : shown) {
        box(which)->setCurrentIndex(-1);
        box(which)->setEditText(toQString(*value));
    }
}

void CriteriaPanel::refreshSelections() {
    if (m_loading)
        return;
    for (QComboBox* target : m_boxes) {
        const int index = selectedIndex(target);
        if (target->isVisible() && target->count() > 0 && index >= 0)
            setBoxIndex(target, index);
    }
}

void CriteriaPanel::focusBox(HistoryBox which) {
    box(which)->setFocus(Qt::ShortcutFocusReason);
    box(which)->lineEdit()->selectAll(); // what is typed next replaces it
}

bool CriteriaPanel::enterValue(HistoryBox which, const QString& value) {
    try {
        addValidated(which, value);
    } catch (const std::exception&) {
        return false;
    }
    rememberSelection(which);
    emit edited();
    return true;
}

void CriteriaPanel::setItemNumber(const QString& text, const QColor& colour) {
    m_itemNumberLabel->setText(text);
    setTextColor(m_itemNumberLabel, colour);
}

// ---- Rows and their looks

void CriteriaPanel::setRowsShown(bool rootFolder, bool replace) {
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_rootFolderLabel, box(HistoryBox::RootFolders), m_pickRootFolderButton})
        w->setVisible(rootFolder);
    m_itemNumberLabel->setVisible(rootFolder);
    m_replaceLabel->setVisible(replace);
    box(HistoryBox::ReplaceExpressions)->setVisible(replace);
    if (replace)
        box(HistoryBox::ReplaceExpressions)->setEnabled(true);
}

void CriteriaPanel::resetRows() {
    m_itemNumberLabel->clear(); // a script item's number means nothing outside Script mode
    setFolderFileRowsActive();
    for (QLabel* label : {m_findLabel, m_regexHintLabel, m_replaceLabel})
        setTextColor(label, kGreyText);
    box(HistoryBox::FindExpressions)->setEnabled(false);
    box(HistoryBox::ReplaceExpressions)->setEnabled(false);
}

void CriteriaPanel::setFindRowsActive(bool withReplace) {
    setTextColor(m_findLabel, kBlackText);
    setTextColor(m_regexHintLabel, kTealText);
    box(HistoryBox::FindExpressions)->setEnabled(true);
    if (withReplace) {
        setTextColor(m_replaceLabel, kBlackText);
        box(HistoryBox::ReplaceExpressions)->setEnabled(true);
    }
}

void CriteriaPanel::setFolderFileRowsActive() {
    setTextColor(m_foldersLabel, kBlackText);
    setTextColor(m_filesLabel, kBlackText);
    for (QWidget* w : std::initializer_list<QWidget*>{box(HistoryBox::FoldersToSearch),
                                                      box(HistoryBox::FilesToSearch),
                                                      m_pickFoldersButton, m_pickFileButton})
        w->setEnabled(true);
}

void CriteriaPanel::setAllRowsInactive() {
    for (QLabel* label :
         {m_foldersLabel, m_filesLabel, m_findLabel, m_regexHintLabel, m_replaceLabel})
        setTextColor(label, kInactiveText);
    for (QWidget* w : std::initializer_list<QWidget*>{
             box(HistoryBox::FoldersToSearch), box(HistoryBox::FilesToSearch),
             box(HistoryBox::FindExpressions), box(HistoryBox::ReplaceExpressions),
             m_pickFoldersButton, m_pickFileButton})
        w->setEnabled(false);
}

void CriteriaPanel::setRootFolderRowActive(bool active) {
    setTextColor(m_rootFolderLabel, active ? kBlackText : kInactiveText);
    box(HistoryBox::RootFolders)->setEnabled(active);
    setBoxBackground(box(HistoryBox::RootFolders),
                     active ? QColor(Qt::white) : QColor(0xEE, 0xEE, 0xEE));
    m_pickRootFolderButton->setVisible(active && m_rootFolderLabel->isVisibleTo(this));
}

void CriteriaPanel::setReplaceFieldColour(const QColor& colour) {
    setBoxBackground(box(HistoryBox::ReplaceExpressions), colour);
}

void CriteriaPanel::setHighlight(RowGroup group, bool highlighted, const QColor& colour) {
    QWidget* panel = group == RowGroup::FolderFile ? m_folderFilePanel : m_findReplacePanel;
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window,
                     highlighted ? colour : QApplication::palette().color(QPalette::Button));
    panel->setPalette(palette);
    panel->setAutoFillBackground(true);
    refreshTextColors(panel);
}

void CriteriaPanel::setRowsEditable(bool editable) {
    m_folderFilePanel->setEnabled(editable);
    m_findReplacePanel->setEnabled(editable);
}

void CriteriaPanel::applyFontSize(int pointSize) {
    for (HistoryBox which :
         {HistoryBox::FoldersToSearch, HistoryBox::FilesToSearch, HistoryBox::RootFolders})
        box(which)->setFont(arialFont(pointSize));
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPointSize(pointSize);
    box(HistoryBox::ReplaceExpressions)->setFont(fixed);
    fixed.setBold(true);
    box(HistoryBox::FindExpressions)->setFont(fixed);
    for (QLabel* label : {m_foldersLabel, m_filesLabel, m_findLabel, m_replaceLabel,
                          m_rootFolderLabel, m_itemNumberLabel})
        label->setFont(arialFont(pointSize));
    m_regexHintLabel->setFont(arialFont(pointSize - 2));
    // Both groups share one label column, as wide as the widest label ("Replace With").
    const int labelColumn =
        textWidth(m_replaceLabel->font(), m_replaceLabel->text().remove(QLatin1Char('&')));
    for (QWidget* panel : {m_folderFilePanel, m_findReplacePanel})
        static_cast<QGridLayout*>(panel->layout())->setColumnMinimumWidth(0, labelColumn);
    const int buttonWidth =
        std::max(75, textWidth(arialFont(pointSize), QStringLiteral("Run Script")) + 10);
    for (QPushButton* button : m_actionButtons) {
        button->setFont(arialFont(pointSize));
        button->setFixedWidth(buttonWidth);
    }
    m_previewButton->setFont(arialFont(pointSize));
    m_previewButton->setFixedWidth(buttonWidth);
    refreshSelections();
}

// ---- Action buttons

void CriteriaPanel::showActionButton(ActionButton shown) {
    for (size_t i = 0; i < m_actionButtons.size(); ++i)
        m_actionButtons[i]->setVisible(static_cast<ActionButton>(i) == shown);
}

void CriteriaPanel::setActionEnabled(ActionButton button, bool enabled) {
    if (button != ActionButton::List)
        actionButton(button)->setEnabled(enabled);
}

bool CriteriaPanel::isActionEnabled(ActionButton button) const {
    return actionButton(button)->isEnabled();
}

void CriteriaPanel::pressShownAction() {
    for (QPushButton* button : m_actionButtons)
        if (button->isVisibleTo(this) && button->isEnabled())
            button->click();
}

void CriteriaPanel::setPreviewShown(bool shown) {
    m_previewButton->setVisible(shown);
}

void CriteriaPanel::setPreviewEnabled(bool enabled) {
    m_previewButton->setEnabled(enabled);
}

} // namespace kestrava::ui
