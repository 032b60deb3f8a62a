#include "preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

// Cream panels with a thin border on the light grey dialog background.
const char* const kPreferencesStyle = R"(
QDialog#fmPreferences { background-color: #EFEFEF; }
QGroupBox {
    background-color: #FFFBF0;
    border: 1px solid #A0A0A0;
    border-radius: 3px;
    margin-top: 1.1em;
    padding: 6px 4px 4px 4px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 8px;
    padding: 0 3px;
    background-color: #EFEFEF;
}
)";

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
    setStyleSheet(kPreferencesStyle);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeGuiGroup());
    layout->addWidget(makeFindGroup());
    layout->addWidget(makeReplaceGroup());
    layout->addWidget(makeEditorGroup());
    layout->addStretch(1);
    layout->addLayout(makeButtonRow());
    setMinimumWidth(520);
    FormCreate();
}

QGroupBox* PreferencesDialog::makeGuiGroup() {
    auto* group = newGroup("GUI", "gbGUI", this);
    cboxInitialMode =
        newDropDown("cboxInitialMode", {"Last Used", "Find", "Replace", "Script"}, group);
    cboxFontSize = newDropDown("cboxFontSize", {"Small", "Medium", "Large"}, group);
    auto* form = new QFormLayout(group);
    form->addRow("Initial Mode", cboxInitialMode);
    form->addRow("Font Size", cboxFontSize);
    return group;
}

QGroupBox* PreferencesDialog::makeFindGroup() {
    auto* group = newGroup("Find", "gbFind", this);
    cbCaseSensitiveMatching = new QCheckBox("Case Sensitive Matching", group);
    cbCaseSensitiveMatching->setObjectName("cbCaseSensitiveMatching");
    (new QVBoxLayout(group))->addWidget(cbCaseSensitiveMatching);
    return group;
}

QGroupBox* PreferencesDialog::makeReplaceGroup() {
    auto* group = newGroup("Replace", "gbReplace", this);
    cbReplaceInSitu = new QCheckBox("Replace In-Situ (no backup)", group);
    cbReplaceInSitu->setObjectName("cbReplaceInSitu");
    (new QVBoxLayout(group))->addWidget(cbReplaceInSitu);
    return group;
}

QGroupBox* PreferencesDialog::makeEditorGroup() {
    auto* group = newGroup("Editor", "gbEditor", this);
    edEditorFileSpec = new QLineEdit(group);
    edEditorFileSpec->setObjectName("edEditorFileSpec");
    edEditorCommandLine = new QLineEdit(group);
    edEditorCommandLine->setObjectName("edEditorCommandLine");
    auto* tokens = new QLabel(
        "Tokens:  %CursorAt% %LineNumber% %Column% %StartSel% %EndSel% %Filename%", group);
    tokens->setObjectName("laEditorTokens");
    auto* form = new QFormLayout(group);
    form->addRow("FileSpec", edEditorFileSpec);
    form->addRow("Command Line ", edEditorCommandLine);
    form->addRow(tokens);
    return group;
}

QLayout* PreferencesDialog::makeButtonRow() {
    BitBtn1 = new QPushButton("Accept", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    connect(BitBtn1, &QPushButton::clicked, this, &PreferencesDialog::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(BitBtn1);
    row->addWidget(BitBtn2);
    return row;
}

void PreferencesDialog::FormCreate() {
    // View Folders/Files (4) and unknown values have no item: nothing is selected.
    const auto mode = static_cast<int>(m_settings.initialMode);
    cboxInitialMode->setCurrentIndex(mode >= 0 && mode < cboxInitialMode->count() ? mode : -1);
    const auto size = static_cast<int>(m_settings.fontSize);
    cboxFontSize->setCurrentIndex(size >= 0 && size < cboxFontSize->count() ? size : -1);
    cbCaseSensitiveMatching->setChecked(m_settings.caseSensitiveMatching);
    cbReplaceInSitu->setChecked(m_settings.replaceInSitu);
    edEditorFileSpec->setText(QString::fromStdString(m_settings.editorFileSpec));
    edEditorCommandLine->setText(QString::fromStdString(m_settings.editorCommandLine));
}

void PreferencesDialog::BitBtn1Click() {
    m_settings.initialMode = initialModeFromIndex(cboxInitialMode->currentIndex());
    m_settings.fontSize = fontSizeFromIndex(cboxFontSize->currentIndex());
    m_settings.caseSensitiveMatching = cbCaseSensitiveMatching->isChecked();
    m_settings.replaceInSitu = cbReplaceInSitu->isChecked();
    m_settings.editorFileSpec = edEditorFileSpec->text().toStdString();
    m_settings.editorCommandLine = edEditorCommandLine->text().toStdString();
    accept();
}

} // namespace kestrava::ui
