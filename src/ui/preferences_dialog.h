// The Preferences dialog: edits the in-memory settings record (start-up mode, font size, case
// sensitivity, the files a search leaves out, in-place replacement, the undo journal, editor).
// Filled once when created, so a cancelled edit stays visible at the next opening; the file is
// written only at shut-down.
#pragma once

#include "config/settings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace kestrava::ui {

class PreferencesDialog : public QDialog {
    Q_OBJECT
  public:
    // Builds the controls and fills them from settings (fillFromSettings); settings must outlive
    // it. exec() returns QDialog::Accepted after Accept has copied the controls into the settings.
    explicit PreferencesDialog(config::Settings& settings, QWidget* parent = nullptr);

    // Fills the controls from the settings record.
    void fillFromSettings();
    // Copies the controls into the settings record and closes with the Accepted result.
    void acceptPreferences();

    QComboBox* initialModeCombo = nullptr;
    QComboBox* fontSizeCombo = nullptr;
    QCheckBox* caseSensitiveCheck = nullptr;
    QCheckBox* skipBinaryCheck = nullptr;
    QCheckBox* respectGitignoreCheck = nullptr;
    QCheckBox* includeHiddenCheck = nullptr;
    QCheckBox* replaceInPlaceCheck = nullptr;
    QCheckBox* undoJournalCheck = nullptr;
    QSpinBox* undoRunsSpin = nullptr;
    QSpinBox* undoMegabytesSpin = nullptr; // the settings hold bytes
    QLineEdit* editorEdit = nullptr;
    QLineEdit* editorCommandLineEdit = nullptr;
    QPushButton* okButton = nullptr;     // Accept
    QPushButton* cancelButton = nullptr; // Cancel

  private:
    QGroupBox* makeGuiGroup();
    QGroupBox* makeFindGroup();
    QGroupBox* makeReplaceGroup();
    QLayout* makeUndoRows(QWidget* group);
    // What replacing in place keeps, as the journal check says.
    void showInPlaceText(bool journalKept);
    QGroupBox* makeEditorGroup();
    QLayout* makeButtonRow();

    config::Settings& m_settings;
};

// The start-up mode that the Initial Mode list's index stands for; no selection (-1) and any
// index without a meaning of its own give Find.
config::InitialMode initialModeFromIndex(int index);

// The font size that the Font Size list's index stands for; anything unknown gives Small.
config::FontSize fontSizeFromIndex(int index);

} // namespace kestrava::ui
