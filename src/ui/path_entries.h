// The Folder(s) and File(s) entries that make a search take given folders and files, as a drop
// on the window or the program's FOLDER arguments name them.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrava::ui {

struct PathEntries {
    QString folders;     // each folder with its subfolders, or each file's folder alone
    QString files;       // the files' names as masks matching only themselves; empty for folders
    QStringList refused; // paths the boxes' syntax cannot name ("|" in them, spaces at an end)
};

// The entries for absolute paths. Folders win: when any path is a folder, the files among the
// paths are refused, since masks of their names would narrow the folders' search to them.
PathEntries pathEntries(const QStringList& paths);

} // namespace kestrava::ui
