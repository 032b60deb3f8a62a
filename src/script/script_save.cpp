// Save, Save As, the save-before-continuing question, New and Open: the script menu's logic,
// with the dialogs supplied by the caller.
#include "script/script.h"

#include "util/file_io.h"

namespace kestrava::script {

std::string withScriptExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (nameStart >= path.size())
        return path; // no file name to extend
    // A leading dot names a hidden file; it is not an extension.
    if (path.find('.', nameStart + 1) != std::string::npos)
        return path;
    return path + "." + std::string(kScriptDefaultExt);
}

bool saveScript(Script& script, ScriptDialogs& dialogs) {
    if (script.fileName.empty())
        return saveScriptAs(script, dialogs);
    writeScript(script, script.fileName);
    return true;
}

bool saveScriptAs(Script& script, ScriptDialogs& dialogs) {
    std::string path;
    if (!dialogs.chooseScriptToSave(path) || path.empty())
        return false;
    writeScript(script, withScriptExtension(path));
    return true;
}

bool saveChangedScript(Script& script, ScriptDialogs& dialogs) {
    if (!script.changed)
        return true;
    switch (dialogs.askYesNoCancel(std::string(kSaveChangedScriptQuestion))) {
    case SaveAnswer::Yes:
        return saveScript(script, dialogs);
    case SaveAnswer::No:
        clearScript(script);
        return true;
    default:
        return false;
    }
}

bool newScript(Script& script, ScriptDialogs& dialogs) {
    if (script.changed && !saveChangedScript(script, dialogs))
        return false;
    clearScript(script);
    return true;
}

bool openScript(Script& script, ScriptDialogs& dialogs, std::string& scriptsFolder) {
    if (script.changed && !saveChangedScript(script, dialogs))
        return false;
    std::string path;
    if (!dialogs.chooseScriptToOpen(scriptsFolder, path) || path.empty())
        return true;
    loadScript(script, path);
    scriptsFolder = util::fileFolder(path);
    return true;
}

} // namespace kestrava::script
