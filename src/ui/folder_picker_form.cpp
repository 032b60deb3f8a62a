#include "folder_picker_form.h"

#include <algorithm>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrava::ui {

namespace {

// The last current folder of any picker window; empty until the first one opens.
QString gLastDirectory;

// Mount-point folders that belong to the system rather than to the user's volumes.
bool isSystemFolder(const QString& path) {
    static const QStringList kSystemRoots = {"/proc", "/sys", "/dev", "/boot", "/efi",
                                             "/etc",  "/usr", "/var", "/snap", "/run"};
    if (path.startsWith("/run/media/"))
        return false;
    for (const QString& root : kSystemRoots) {
        if (path == root || path.startsWith(root + "/"))
            return true;
    }
    return false;
}

bool isNetworkFileSystem(const QString& type) {
    static const QStringList kNetworkTypes = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs"};
    return kNetworkTypes.contains(type);
}

// /proc/self/mounts writes space, tab, newline and backslash as \ooo octal escapes.
QString decodeMountField(const QString& field) {
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QString digits = field.mid(i + 1, 3);
        const bool escape =
            field[i] == '\\' && digits.size() == 3 &&
            std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= '0' && c <= '7'; });
        if (escape) {
            out += QChar(digits.toInt(nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool isUnderOrSame(const QString& path, const QString& folder) {
    if (folder == "/")
        return path.startsWith('/');
    return path == folder || path.startsWith(folder + "/");
}

} // namespace

QStringList parseMountedVolumes(const QString& mountsText) {
    QStringList volumes;
    for (const QString& line : mountsText.split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        if (fields.size() < 3)
            continue;
        const QString& device = fields[0];
        const QString mountPoint = decodeMountField(fields[1]);
        const bool real = device.startsWith("/dev/") || isNetworkFileSystem(fields[2]);
        if (real && mountPoint != "/" && !isSystemFolder(mountPoint) &&
            !volumes.contains(mountPoint))
            volumes.append(mountPoint);
    }
    return volumes;
}

QStringList driveList() {
    QStringList drives = {"/"};
    const QString home = QDir::homePath();
    if (home != "/")
        drives.append(home);
    QFile mounts("/proc/self/mounts");
    if (!mounts.open(QIODevice::ReadOnly))
        return drives;
    for (const QString& volume : parseMountedVolumes(QString::fromLocal8Bit(mounts.readAll()))) {
        if (!drives.contains(volume) && QFileInfo(volume).isDir())
            drives.append(volume);
    }
    return drives;
}

QString existingFolderOrParent(const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isDir())
        return path;
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            return QDir::rootPath();
        folder = parent;
    }
    return folder;
}

QString typedFolderPath(const QString& typed, const QString& base) {
    if (typed.isEmpty())
        return {};
    QString path = typed;
    if (path.startsWith(QStringLiteral("file://")))
        path = QUrl(path).toLocalFile();
    else if (path == "~" || path.startsWith(QStringLiteral("~/")))
        path = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QDir(base).absoluteFilePath(path));
}

QString driveOfPath(const QStringList& drives, const QString& path) {
    QString best = "/";
    for (const QString& drive : drives) {
        if (isUnderOrSame(path, drive) && drive.size() > best.size())
            best = drive;
    }
    return best;
}

FolderPickerForm::FolderPickerForm(QWidget* parent) : QDialog(parent) {
    setObjectName("ldiDirectoryDialogForm");
    resize(390, 313);
    buildControls();
    fillDrives();
    m_shown = QDir::currentPath();
    showInTree(m_shown);
    pathEdit->setText(m_shown);
    // Centred on the screen, not on the calling window.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        move(screen->availableGeometry().center() - rect().center());
}

void FolderPickerForm::buildControls() {
    pathEdit = new QLineEdit(this);
    pathEdit->setObjectName("pathEdit");
    pathEdit->setAccessibleName("Folder path");
    auto* pathLabel = new QLabel("&Folder:", this);
    pathLabel->setBuddy(pathEdit);
    driveCombo = new QComboBox(this);
    driveCombo->setObjectName("driveCombo");
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot); // no files, no hidden folders
    m_model->setReadOnly(true);
    folderTree = new QTreeView(this);
    folderTree->setObjectName("folderTree");
    folderTree->setModel(m_model);
    folderTree->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        folderTree->hideColumn(column);
    folderTree->setUniformRowHeights(true);
    okButton = new QPushButton("&OK", this);
    okButton->setObjectName("okButton");
    okButton->setDefault(true);
    cancelButton = new QPushButton("&Cancel", this);
    cancelButton->setObjectName("cancelButton");
    statusLabel = new QStatusBar(this);
    statusLabel->setObjectName("statusLabel");
    statusLabel->setSizeGripEnabled(false);

    // The selector sits in the tree's column, so the two always share one width.
    auto* typed = new QHBoxLayout;
    typed->addWidget(pathLabel);
    typed->addWidget(pathEdit, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(typed);
    left->addWidget(driveCombo);
    left->addWidget(folderTree, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(okButton);
    right->addWidget(cancelButton);
    right->addStretch(1);
    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 1);
    middle->addLayout(right);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 16, 8, 0); // the empty strip on top
    outer->addLayout(middle, 1);
    outer->addWidget(statusLabel);

    // Enter in the field reaches the default button, so both end in confirm.
    connect(okButton, &QPushButton::clicked, this, &FolderPickerForm::confirm);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(driveCombo, &QComboBox::activated, this, &FolderPickerForm::driveChosen);
    connect(folderTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &FolderPickerForm::folderChosen);
    connect(m_model, &QFileSystemModel::directoryLoaded, this, &FolderPickerForm::folderLoaded);
}

void FolderPickerForm::fillDrives() {
    driveCombo->addItems(driveList());
}

void FolderPickerForm::showInTree(const QString& path) {
    const QStringList drives = [this] {
        QStringList items;
        for (int i = 0; i < driveCombo->count(); ++i)
            items.append(driveCombo->itemText(i));
        return items;
    }();
    const QString drive = driveOfPath(drives, QDir::cleanPath(path));
    driveCombo->setCurrentIndex(static_cast<int>(drives.indexOf(drive)));
    folderTree->setRootIndex(m_model->setRootPath(drive));
    selectInTree(path);
}

void FolderPickerForm::selectInTree(const QString& path) {
    const QModelIndex current = m_model->index(QDir::cleanPath(path));
    if (!current.isValid() || current == folderTree->rootIndex())
        return; // a hidden or missing folder, or the drive itself: nothing to select
    m_updating = true;
    folderTree->setCurrentIndex(current);
    folderTree->expand(current);
    folderTree->scrollTo(current);
    m_updating = false;
}

void FolderPickerForm::setCurrentDirectory(const QString& path) {
    gLastDirectory = path;
    m_shown = path;
    showInTree(path);
    pathEdit->setText(path);
    statusLabel->showMessage(path);
}

QString FolderPickerForm::currentDirectory() {
    return gLastDirectory;
}

QString FolderPickerForm::shownDirectory() const {
    return m_shown;
}

void FolderPickerForm::driveChosen(int index) {
    if (index >= 0)
        setCurrentDirectory(driveCombo->itemText(index));
}

void FolderPickerForm::folderLoaded(const QString& folder) {
    // Folders load in the background: once one on the way to the current folder has arrived,
    // open the tree further and keep the current folder in view.
    if (isUnderOrSame(QDir::cleanPath(m_shown), folder))
        selectInTree(m_shown);
}

void FolderPickerForm::folderChosen(const QModelIndex& current) {
    if (!m_updating && current.isValid())
        setCurrentDirectory(m_model->filePath(current));
}

void FolderPickerForm::confirm() {
    const QString typed = pathEdit->text();
    if (typed == m_shown) { // the current folder, as the list or the caller set it
        accept();
        return;
    }
    const QString folder = typedFolderPath(typed, m_shown);
    if (!QFileInfo(folder).isDir()) {
        statusLabel->showMessage(typed.isEmpty() ? QStringLiteral("Type or choose a folder")
                                                 : QStringLiteral("Not a folder: ") + typed);
        pathEdit->setFocus();
        pathEdit->selectAll();
        return;
    }
    setCurrentDirectory(folder);
    accept();
}

} // namespace kestrava::ui
