// The one door through which the main window talks to the user outside its own controls:
// message boxes, questions, file and folder dialogs, and starting programs or documents.
// Production uses Qt's dialogs; tests install a fake that answers without showing anything.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace kestrava::ui {

// The answers to a Yes/No/Cancel question; closing the box counts as Cancel.
enum class Answer : uint8_t { Yes, No, Cancel };

class UiServices {
  public:
    virtual ~UiServices() = default;

    // A plain message box with OK.
    virtual void showMessage(QWidget* parent, const QString& text) = 0;
    // An error box with OK.
    virtual void showError(QWidget* parent, const QString& text) = 0;
    // A confirmation with Yes and No (No the default); true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text) = 0;
    // A confirmation with Yes, No and Cancel (Cancel the default).
    virtual Answer askYesNoCancel(QWidget* parent, const QString& text) = 0;
    // The file-open dialog; the chosen path, or empty when cancelled.
    virtual QString getOpenFileName(QWidget* parent, const QString& title,
                                    const QString& startFolder, const QString& filter) = 0;
    // The save-file dialog; the chosen path (with defaultSuffix added when it has none), or empty.
    virtual QString getSaveFileName(QWidget* parent, const QString& title,
                                    const QString& startFolder, const QString& filter,
                                    const QString& defaultSuffix) = 0;
    // The directory picker, which remembers the last folder chosen; it opens at the folder that
    // `folder` (the box's text) names, and returns true with `folder` set when the user confirms.
    virtual bool pickFolder(QWidget* parent, QString& folder) = 0;
    // Opens a document with the desktop's associated program; false when that could not start.
    virtual bool openDocument(const std::string& path) = 0;
    // Starts a program detached (argv[0] looked up on PATH); false when it could not start.
    virtual bool startProgram(const std::vector<std::string>& argv) = 0;
};

// The production implementation on Qt's message boxes, file dialogs and the directory picker.
std::unique_ptr<UiServices> makeQtUiServices();

// Text as a box shows it: CR LF line breaks become plain line breaks.
QString displayMessageText(const QString& text);

} // namespace kestrava::ui
