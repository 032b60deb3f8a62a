// The folder-picking window behind FolderPicker: a field to type or paste a path, a drive
// selector (the root, the home folder and mounted volumes), a folder tree linked to it, OK/Cancel
// and a status bar that shows the current folder. The unit keeps the last current folder of any
// of its windows.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QStatusBar;
class QTreeView;

namespace kestrava::ui {

class FolderPickerForm : public QDialog {
    Q_OBJECT
  public:
    // 390 x 313; the folder tree opens at the process's current folder.
    explicit FolderPickerForm(QWidget* parent = nullptr);

    // Makes path the current folder: the unit's last folder takes it, the path field, the drive
    // selector and the tree follow it (when it exists and is shown), and the status bar shows it.
    void setCurrentDirectory(const QString& path);
    // The unit's last current folder.
    static QString currentDirectory();
    // The folder the tree shows as selected (before any setCurrentDirectory: the process's
    // current folder).
    QString shownDirectory() const;

    QLineEdit* pathEdit = nullptr;
    QComboBox* driveCombo = nullptr;
    QTreeView* folderTree = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QStatusBar* statusLabel = nullptr;

  private:
    void buildControls();
    void fillDrives();
    void showInTree(const QString& path);
    void selectInTree(const QString& path);
    void folderLoaded(const QString& folder);
    void driveChosen(int index);
    void folderChosen(const QModelIndex& current);
    // OK, or Enter: the folder in the path field becomes the answer; a path that is no folder is
    // said in the status bar and the dialog stays open.
    void confirm();

    QFileSystemModel* m_model = nullptr;
    QString m_shown;
    bool m_updating = false;
};

// The mount points of real, user-visible volumes in the text of /proc/self/mounts: block
// devices and network shares, not "/" and not the system's own folders; octal escapes decoded.
QStringList parseMountedVolumes(const QString& mountsText);

// The drive selector's entries: "/", the home folder, then the mounted volumes that are folders.
QStringList driveList();

// path itself when it names a folder; otherwise its nearest existing parent folder, so that a
// folder deleted since it was chosen never comes back as the answer. Empty for an empty path.
QString existingFolderOrParent(const QString& path);

// The folder a path typed into the field means: "~" is the home folder, a file:// URL its local
// path, and a relative path lies under base. Cleaned; empty for an empty text.
QString typedFolderPath(const QString& typed, const QString& base);

// The entry of drives that holds path most closely (the longest folder prefix); "/" by default.
QString driveOfPath(const QStringList& drives, const QString& path);

} // namespace kestrava::ui
