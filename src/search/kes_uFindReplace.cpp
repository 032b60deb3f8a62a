// Replace output: the replaced text of a searched file goes back into the file or into a copy
// in the "kesReplace" subfolder of the file's own folder.
#include "search/kes_uFind.h"

#include "util/ldiFileIO.h"

#include <stdexcept>

namespace kes {

std::string ReplaceOutputName(const std::string& fullPath, bool replaceInPlace) {
    if (replaceInPlace)
        return fullPath;
    const size_t slash = fullPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return fullPath.substr(0, nameStart) + "kesReplace/" + fullPath.substr(nameStart);
}

std::string ReplacedText(TFindReplaceSpecs& specs, std::string text) {
    std::string replaced;
    for (const TFindReplace& item : specs.Items) {
        if (!item.DoReplace)
            continue;
        // Every match: the user confirmed "Replace all matches".
        specs.RegEx.Replace(item.PatternID, text, item.ReplaceWith, -1, 1, replaced);
        text.swap(replaced);
    }
    return text;
}

void WriteReplacedText(const std::string& fullPath, const std::string& text, bool replaceInPlace) {
    const std::string outputName = ReplaceOutputName(fullPath, replaceInPlace);
    if (!replaceInPlace && !ldiForceFileFolder(outputName))
        throw std::runtime_error("Unable to create directory for " + outputName);
    std::string errorMessage;
    if (!ldiTryWriteTextFile(outputName, text, errorMessage))
        throw std::runtime_error(errorMessage + " (" + outputName + ")");
}

std::string ReplaceNote(bool replaceInPlace) {
    if (replaceInPlace)
        return " (note: original files will be altered and no backup performed)";
    return " (note: original files will not be altered and files with the same names and "
           "containing the original files contents with replacements will be created in a "
           "subfolder named \"kesReplace\")";
}

} // namespace kes
