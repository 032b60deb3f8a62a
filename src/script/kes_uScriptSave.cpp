// Save, Save As, the save-before-continuing question, New and Open: the script menu's logic,
// with the dialogs supplied by the caller.
#include "script/kes_uScript.h"

#include "util/ldiFileIO.h"

namespace kes {

std::string WithScriptExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (nameStart >= path.size())
        return path; // no file name to extend
    // A leading dot names a hidden file; it is not an extension.
    if (path.find('.', nameStart + 1) != std::string::npos)
        return path;
    return path + "." + std::string(kScriptDefaultExt);
}

bool SaveScript(TkesScript& script, TkesScriptDialogs& dialogs) {
    if (script.FileName.empty())
        return SaveScriptAs(script, dialogs);
    WriteScript(script, script.FileName);
    return true;
}

bool SaveScriptAs(TkesScript& script, TkesScriptDialogs& dialogs) {
    std::string path;
    if (!dialogs.ChooseScriptToSave(path) || path.empty())
        return false;
    WriteScript(script, WithScriptExtension(path));
    return true;
}

bool SaveChangedScript(TkesScript& script, TkesScriptDialogs& dialogs) {
    if (!script.Changed)
        return true;
    switch (dialogs.AskYesNoCancel(std::string(kSaveChangedScriptQuestion))) {
    case saYes:
        return SaveScript(script, dialogs);
    case saNo:
        ClearScript(script);
        return true;
    default:
        return false;
    }
}

bool NewScript(TkesScript& script, TkesScriptDialogs& dialogs) {
    if (script.Changed && !SaveChangedScript(script, dialogs))
        return false;
    ClearScript(script);
    return true;
}

bool OpenScript(TkesScript& script, TkesScriptDialogs& dialogs, std::string& scriptsFolder) {
    if (script.Changed && !SaveChangedScript(script, dialogs))
        return false;
    std::string path;
    if (!dialogs.ChooseScriptToOpen(scriptsFolder, path) || path.empty())
        return true;
    LoadScript(script, path);
    scriptsFolder = ldiFileFolder(path);
    return true;
}

} // namespace kes
