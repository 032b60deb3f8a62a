#include "folder_picker.h"

#include "folder_picker_form.h"

#include <memory>

namespace kestrava::ui {

FolderPicker::FolderPicker(QObject* parent) : QObject(parent) {}

int FolderPicker::execute(QWidget* parentWindow) {
    // One window per use, freed on return.
    const auto form = std::make_unique<FolderPickerForm>(parentWindow);
    form->setWindowTitle(caption);
    form->setWindowState(windowState);
    const QString start = existingFolderOrParent(path);
    form->setCurrentDirectory(start.isEmpty() ? form->shownDirectory() : start);
    const int result = form->exec();
    if (result == QDialog::Accepted)
        path = FolderPickerForm::currentDirectory();
    return result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

} // namespace kestrava::ui
