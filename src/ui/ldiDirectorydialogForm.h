// The folder-picking window behind TldiDirectoryDialog: a drive selector (the root, the home
// folder and mounted volumes), a folder tree linked to it, OK/Cancel and a status bar that shows
// the current folder. The unit keeps the last current folder of any of its windows.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QFileSystemModel;
class QModelIndex;
class QPushButton;
class QStatusBar;
class QTreeView;

class TldiDirectoryDialogForm : public QDialog {
    Q_OBJECT
  public:
    // 390 x 313; the folder tree opens at the process's current folder.
    explicit TldiDirectoryDialogForm(QWidget* parent = nullptr);

    // Makes path the current folder: the unit's last folder takes it, the drive selector and
    // the tree follow it (when it exists and is shown), and the status bar shows it.
    void SetCurrentDirectory(const QString& path);
    // The unit's last current folder.
    static QString CurrentDirectory();
    // The folder the tree shows as selected (before any SetCurrentDirectory: the process's
    // current folder).
    QString ShownDirectory() const;

    QComboBox* DriveComboBox1 = nullptr;
    QTreeView* DirectoryListBox1 = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QStatusBar* StatusBar1 = nullptr;

  private:
    void BuildControls();
    void FillDrives();
    void ShowInTree(const QString& path);
    void SelectInTree(const QString& path);
    void FolderLoaded(const QString& folder);
    void DriveComboBox1Change(int index);
    void DirectoryListBox1Change(const QModelIndex& current);

    QFileSystemModel* FModel = nullptr;
    QString FShown;
    bool FUpdating = false;
};

// The mount points of real, user-visible volumes in the text of /proc/self/mounts: block
// devices and network shares, not "/" and not the system's own folders; octal escapes decoded.
QStringList ParseMountedVolumes(const QString& mountsText);

// The drive selector's entries: "/", the home folder, then the mounted volumes that are folders.
QStringList DriveList();

// path itself when it names a folder; otherwise its nearest existing parent folder, so that a
// folder deleted since it was chosen never comes back as the answer. Empty for an empty path.
QString ExistingFolderOrParent(const QString& path);

// The entry of drives that holds path most closely (the longest folder prefix); "/" by default.
QString DriveOfPath(const QStringList& drives, const QString& path);
