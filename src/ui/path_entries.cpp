#include "path_entries.h"

#include "search/entries.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <stdexcept>

namespace kestrava::ui {

namespace {

// A mask that matches just this name: fnmatch's wildcards taken literally by a backslash.
QString literalMask(const QString& name) {
    QString mask;
    for (const QChar c : name) {
        if (c == '*' || c == '?' || c == '[' || c == '\\')
            mask += '\\';
        mask += c;
    }
    return mask;
}

// Whether the entry reads back as exactly one folder with the given subfolder setting.
bool namesFolder(const QString& entry, const QString& folder, bool withSubfolders) {
    search::FolderSpecs specs;
    try {
        search::parseFoldersToSearch(entry.toStdString(), specs);
    } catch (const std::runtime_error&) {
        return false;
    }
    return specs.size() == 1 && specs[0].folder == folder.toStdString() &&
           specs[0].includeSubfolders == withSubfolders && specs[0].excludedFolders.empty();
}

bool namesMask(const QString& mask) {
    search::FileMaskSpecs specs;
    try {
        search::parseFilesToSearch(mask.toStdString(), specs);
    } catch (const std::runtime_error&) {
        return false;
    }
    return specs.size() == 1 && specs[0].fileMask == mask.toStdString() &&
           specs[0].excludedFiles.empty();
}

void addOnce(QStringList& list, const QString& value) {
    if (!list.contains(value))
        list << value;
}

} // namespace

PathEntries pathEntries(const QStringList& paths) {
    QStringList folders;
    QStringList files;
    PathEntries entries;
    const bool anyFolder = std::any_of(
        paths.begin(), paths.end(), [](const QString& path) { return !QFileInfo(path).isFile(); });
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.isFile()) { // a folder, or a name not there yet, which the search will say
            const QString folder = QDir::cleanPath(path);
            if (namesFolder(folder + "<+>", folder, true))
                addOnce(folders, folder + "<+>");
            else
                entries.refused << path;
            continue;
        }
        const QString folder = info.absolutePath();
        const QString mask = literalMask(info.fileName());
        if (!anyFolder && namesFolder(folder, folder, false) && namesMask(mask)) {
            addOnce(folders, folder);
            addOnce(files, mask);
        } else {
            entries.refused << path;
        }
    }
    entries.folders = folders.join('|');
    entries.files = files.join('|');
    return entries;
}

} // namespace kestrava::ui
