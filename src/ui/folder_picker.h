// The folder picker that the main window keeps for its folder buttons: Execute shows a modal
// FolderPickerForm at the folder its box names (else at Path) and, when confirmed, Path becomes
// the chosen folder.
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>

namespace kestrava::ui {

class FolderPicker : public QObject {
    Q_OBJECT
  public:
    explicit FolderPicker(QObject* parent = nullptr);

    QString caption = "Select a Directory";
    QString path; // the folder last chosen, where Execute opens when the box names none
    Qt::WindowState windowState = Qt::WindowNoState;

    // Shows the dialog modally over parentWindow, at pickerStartFolder(boxText, path); returns
    // QDialog::Accepted (Path updated) or QDialog::Rejected (Path unchanged).
    int execute(QWidget* parentWindow = nullptr, const QString& boxText = {});
};

// Where a picker opened from a box holding boxText starts: the first folder of its Folder(s)
// entry when that is an existing folder (made absolute); else lastPicked, or its nearest existing
// parent; else the home folder.
QString pickerStartFolder(const QString& boxText, const QString& lastPicked);

} // namespace kestrava::ui
