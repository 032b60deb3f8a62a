#include "folder_picker.h"

#include "folder_picker_form.h"
#include "search/entries.h"

#include <QDir>
#include <QFileInfo>

#include <memory>
#include <stdexcept>

namespace kestrava::ui {

namespace {

// The first folder of a Folder(s) entry, without its "<+>" and exclusions; empty when the entry
// names none or cannot be read.
QString firstFolderOf(const QString& entry) {
    search::FolderSpecs specs;
    try {
        search::parseFoldersToSearch(entry.toStdString(), specs);
    } catch (const std::runtime_error&) {
        return {};
    }
    return specs.empty() ? QString() : QString::fromStdString(specs.front().folder);
}

} // namespace

QString pickerStartFolder(const QString& boxText, const QString& lastPicked) {
    const QString named = firstFolderOf(boxText);
    if (!named.isEmpty() && QFileInfo(named).isDir())
        return QDir::cleanPath(QFileInfo(named).absoluteFilePath());
    if (!lastPicked.isEmpty())
        return existingFolderOrParent(lastPicked);
    return QDir::homePath();
}

FolderPicker::FolderPicker(QObject* parent) : QObject(parent) {}

int FolderPicker::execute(QWidget* parentWindow, const QString& boxText) {
    // One window per use, freed on return.
    const auto form = std::make_unique<FolderPickerForm>(parentWindow);
    form->setWindowTitle(caption);
    form->setWindowState(windowState);
    form->setCurrentDirectory(pickerStartFolder(boxText, path));
    const int result = form->exec();
    if (result == QDialog::Accepted)
        path = FolderPickerForm::currentDirectory();
    return result == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

} // namespace kestrava::ui
