#include "preferences_dialog.h"

#include "widget_style.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrava::ui {

config::InitialMode initialModeFromIndex(int index) {
    switch (index) {
    case 0:
        return config::InitialMode::LastUsed;
    case 2:
        return config::InitialMode::Replace;
    case 3:
        return config::InitialMode::Script;
    case 4:
        return config::InitialMode::ViewFoldersFiles;
    default:
        return config::InitialMode::Find;
    }
}

config::FontSize fontSizeFromIndex(int index) {
    switch (index) {
    case 1:
        return config::FontSize::Medium;
    case 2:
        return config::FontSize::Large;
    default:
        return config::FontSize::Small;
    }
}

namespace {

constexpr int64_t kMebibyte = int64_t{1} << 20;
constexpr int kMaxRunsKept = 1000;
constexpr int kMaxMebibytesKept = 1 << 20; // 1 TiB

// Whole MiB, rounded up, so that a limit of a few bytes still shows as one.
int mebibytes(int64_t bytes) {
    return static_cast<int>(
        std::min<int64_t>((bytes + kMebibyte - 1) / kMebibyte, kMaxMebibytesKept));
}

// Cream panels with a thin border on the light grey dialog background; on a dark theme the
// panels take the theme's own colours, so its light text stays readable on them.
QColor panelColor(const QPalette& palette) {
    return isDark(palette.color(QPalette::Window)) ? palette.color(QPalette::Base)
                                                   : QColor(0xFF, 0xFB, 0xF0);
}

QString preferencesStyle(const QPalette& palette) {
    const bool dark = isDark(palette.color(QPalette::Window));
    const QColor window = dark ? palette.color(QPalette::Window) : QColor(0xEF, 0xEF, 0xEF);
    const QColor panel = panelColor(palette);
    const QColor border =
        dark ? blend(palette.color(QPalette::WindowText), window, 0.35) : QColor(0xA0, 0xA0, 0xA0);
    return QStringLiteral(R"(
QDialog#fmPreferences { background-color: %1; }
QGroupBox {
    background-color: %2;
    border: 1px solid %3;
    border-radius: 3px;
    margin-top: 1.1em;
    padding: 6px 4px 4px 4px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 8px;
    padding: 0 3px;
    background-color: %1;
}
)")
        .arg(window.name(), panel.name(), border.name());
}

QGroupBox* newGroup(const QString& caption, const QString& name, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(name);
    return group;
}

// A list of fixed items with no free text.
QComboBox* newDropDown(const QString& name, const QStringList& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(false);
    box->addItems(items);
    return box;
}

} // namespace

PreferencesDialog::PreferencesDialog(config::Settings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings) {
    setObjectName("fmPreferences");
    setWindowTitle("Kestrava Preferences");
    setStyleSheet(preferencesStyle(palette()));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeGuiGroup());
    layout->addWidget(makeFindGroup());
    layout->addWidget(makeReplaceGroup());
    layout->addWidget(makeEditorGroup());
    layout->addStretch(1);
    layout->addLayout(makeButtonRow());
    setMinimumWidth(520);
    for (QCheckBox* check : findChildren<QCheckBox*>())
        check->setPalette(checkBoxPalette(check->palette(), panelColor(palette())));
    fillFromSettings();
}

QGroupBox* PreferencesDialog::makeGuiGroup() {
    auto* group = newGroup("GUI", "gbGUI", this);
    initialModeCombo =
        newDropDown("initialModeCombo", {"Last Used", "Find", "Replace", "Script"}, group);
    fontSizeCombo = newDropDown("fontSizeCombo", {"Small", "Medium", "Large"}, group);
    auto* form = new QFormLayout(group);
    form->addRow("Initial Mode", initialModeCombo);
    form->addRow("Font Size", fontSizeCombo);
    return group;
}

QGroupBox* PreferencesDialog::makeFindGroup() {
    auto* group = newGroup("Find", "gbFind", this);
    auto* column = new QVBoxLayout(group);
    const auto addCheck = [&](const char* text, const char* name) {
        auto* check = new QCheckBox(text, group);
        check->setObjectName(name);
        column->addWidget(check);
        return check;
    };
    caseSensitiveCheck = addCheck("Case Sensitive Matching", "caseSensitiveCheck");
    skipBinaryCheck = addCheck("Skip binary files", "skipBinaryCheck");
    skipBinaryCheck->setToolTip("Leave out files with a NUL byte in their first 64 KiB");
    respectGitignoreCheck = addCheck("Leave out what .gitignore excludes", "respectGitignoreCheck");
    respectGitignoreCheck->setToolTip(
        "Leave out what git ignores in the repository a searched folder belongs to");
    includeHiddenCheck = addCheck("Search hidden files and folders (names beginning with \".\")",
                                  "includeHiddenCheck");
    includeHiddenCheck->setToolTip("A folder named .git is never searched");
    return group;
}

QGroupBox* PreferencesDialog::makeReplaceGroup() {
    auto* group = newGroup("Replace", "gbReplace", this);
    replaceInPlaceCheck = new QCheckBox("Replace In-Situ (no backup)", group);
    replaceInPlaceCheck->setObjectName("replaceInPlaceCheck");
    auto* column = new QVBoxLayout(group);
    column->addWidget(replaceInPlaceCheck);
    column->addLayout(makeUndoRows(group));
    // With the journal on, replacing in place keeps the old content after all.
    connect(undoJournalCheck, &QCheckBox::toggled, this, &PreferencesDialog::showInPlaceText);
    return group;
}

void PreferencesDialog::showInPlaceText(bool journalKept) {
    replaceInPlaceCheck->setText(journalKept ? "Replace in place (the old content is kept for undo)"
                                             : "Replace In-Situ (no backup)");
}

QLayout* PreferencesDialog::makeUndoRows(QWidget* group) {
    undoJournalCheck = new QCheckBox("Keep an undo journal", group);
    undoJournalCheck->setObjectName("undoJournalCheck");
    undoJournalCheck->setToolTip("Before a file is replaced, its old content is kept, so that "
                                 "Edit > Undo Last Replace can put it back");
    const auto newSpin = [group](const char* name, int most) {
        auto* spin = new QSpinBox(group);
        spin->setObjectName(name);
        spin->setRange(1, most);
        return spin;
    };
    undoRunsSpin = newSpin("undoRunsSpin", kMaxRunsKept);
    undoMegabytesSpin = newSpin("undoMegabytesSpin", kMaxMebibytesKept);
    undoMegabytesSpin->setSuffix(" MiB");
    // The limits mean nothing without the journal.
    for (QSpinBox* spin : {undoRunsSpin, undoMegabytesSpin})
        connect(undoJournalCheck, &QCheckBox::toggled, spin, &QWidget::setEnabled);
    auto* form = new QFormLayout;
    form->addRow(undoJournalCheck);
    form->addRow("Runs kept", undoRunsSpin);
    form->addRow("Old content kept", undoMegabytesSpin);
    return form;
}

QGroupBox* PreferencesDialog::makeEditorGroup() {
    auto* group = newGroup("Editor", "gbEditor", this);
    editorEdit = new QLineEdit(group);
    editorEdit->setObjectName("editorEdit");
    editorCommandLineEdit = new QLineEdit(group);
    editorCommandLineEdit->setObjectName("editorCommandLineEdit");
    auto* tokens = new QLabel(
        "Tokens:  %CursorAt% %LineNumber% %Column% %StartSel% %EndSel% %Filename%", group);
    tokens->setObjectName("laEditorTokens");
    auto* form = new QFormLayout(group);
    form->addRow("FileSpec", editorEdit);
    form->addRow("Command Line ", editorCommandLineEdit);
    form->addRow(tokens);
    return group;
}

QLayout* PreferencesDialog::makeButtonRow() {
    okButton = new QPushButton("Accept", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    cancelButton = new QPushButton("Cancel", this);
    cancelButton->setObjectName("cancelButton");
    connect(okButton, &QPushButton::clicked, this, &PreferencesDialog::acceptPreferences);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(okButton);
    row->addWidget(cancelButton);
    return row;
}

void PreferencesDialog::fillFromSettings() {
    // View Folders/Files (4) and unknown values have no item: nothing is selected.
    const auto mode = static_cast<int>(m_settings.initialMode);
    initialModeCombo->setCurrentIndex(mode >= 0 && mode < initialModeCombo->count() ? mode : -1);
    const auto size = static_cast<int>(m_settings.fontSize);
    fontSizeCombo->setCurrentIndex(size >= 0 && size < fontSizeCombo->count() ? size : -1);
    caseSensitiveCheck->setChecked(m_settings.caseSensitiveMatching);
    skipBinaryCheck->setChecked(m_settings.skipBinaryFiles);
    respectGitignoreCheck->setChecked(m_settings.respectGitignore);
    includeHiddenCheck->setChecked(m_settings.includeHidden);
    replaceInPlaceCheck->setChecked(m_settings.replaceInSitu);
    undoJournalCheck->setChecked(m_settings.keepUndoJournal);
    showInPlaceText(m_settings.keepUndoJournal);
    undoRunsSpin->setValue(m_settings.undoRunsKept);
    undoMegabytesSpin->setValue(mebibytes(m_settings.undoBytesKept));
    for (QSpinBox* spin : {undoRunsSpin, undoMegabytesSpin})
        spin->setEnabled(m_settings.keepUndoJournal);
    editorEdit->setText(QString::fromStdString(m_settings.editorFileSpec));
    editorCommandLineEdit->setText(QString::fromStdString(m_settings.editorCommandLine));
}

void PreferencesDialog::acceptPreferences() {
    m_settings.initialMode = initialModeFromIndex(initialModeCombo->currentIndex());
    m_settings.fontSize = fontSizeFromIndex(fontSizeCombo->currentIndex());
    m_settings.caseSensitiveMatching = caseSensitiveCheck->isChecked();
    m_settings.skipBinaryFiles = skipBinaryCheck->isChecked();
    m_settings.respectGitignore = respectGitignoreCheck->isChecked();
    m_settings.includeHidden = includeHiddenCheck->isChecked();
    m_settings.replaceInSitu = replaceInPlaceCheck->isChecked();
    m_settings.keepUndoJournal = undoJournalCheck->isChecked();
    m_settings.undoRunsKept = undoRunsSpin->value();
    // A limit not in whole MiB (set in the file) stays as it was unless the box was changed.
    if (undoMegabytesSpin->value() != mebibytes(m_settings.undoBytesKept))
        m_settings.undoBytesKept = undoMegabytesSpin->value() * kMebibyte;
    m_settings.editorFileSpec = editorEdit->text().toStdString();
    m_settings.editorCommandLine = editorCommandLineEdit->text().toStdString();
    accept();
}

} // namespace kestrava::ui
