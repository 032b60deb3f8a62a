#include "ldiDirectoryDialog.h"

#include "ldiDirectorydialogForm.h"

#include <memory>

TldiDirectoryDialog::TldiDirectoryDialog(QObject* parent) : QObject(parent) {}

int TldiDirectoryDialog::Execute(QWidget* parentWindow) {
    // One window per use, freed on return.
    const auto form = std::make_unique<TldiDirectoryDialogForm>(parentWindow);
    form->setWindowTitle(Caption);
    form->setWindowState(WindowState);
    const QString start = ExistingFolderOrParent(Path);
    form->SetCurrentDirectory(start.isEmpty() ? form->ShownDirectory() : start);
    const int result = form->exec();
    if (result == QDialog::Accepted)
        Path = TldiDirectoryDialogForm::CurrentDirectory();
    return result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}
