// The folder picker that the main window keeps for its folder buttons: Execute shows a modal
// FolderPickerForm at Path and, when confirmed, Path becomes the chosen folder.
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
    QString path; // where the next Execute opens; the chosen folder after an accepted one
    Qt::WindowState windowState = Qt::WindowNoState;

    // Shows the dialog modally over parentWindow; returns QDialog::Accepted (Path updated) or
    // QDialog::Rejected (Path unchanged).
    int execute(QWidget* parentWindow = nullptr);
};

} // namespace kestrava::ui
