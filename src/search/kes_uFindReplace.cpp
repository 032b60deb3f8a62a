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

std::string WriteReplacedText(const std::string& fullPath, const TReadTarget& read,
                              const std::string& text, bool replaceInPlace) {
    const std::string folder = ldiFileFolder(fullPath);
    std::string message;
    const TWriteOutcome outcome =
        replaceInPlace ? ldiReplaceReadFile(read, text, message)
                       : ldiWriteIntoSubfolder(folder, "kesReplace", fullPath.substr(folder.size()),
                                               text, message);
    if (outcome == woFailed)
        throw std::runtime_error(message + " (" + ReplaceOutputName(fullPath, replaceInPlace) +
                                 ")");
    return outcome == woRefused ? message : std::string();
}

std::string PartialReplaceSummary(int32_t replaced, int32_t listed) {
    const auto files = [](int32_t count) {
        return std::to_string(count) + (count == 1 ? " file was" : " files were");
    };
    return files(replaced) + " replaced before the error; " + files(listed - replaced) +
           " not touched";
}

TReplaceStoppedError::TReplaceStoppedError(const std::string& message,
                                           std::vector<std::string> replaced,
                                           std::vector<std::string> notTouched)
    : std::runtime_error(
          message + "\r\n" +
          PartialReplaceSummary(static_cast<int32_t>(replaced.size()),
                                static_cast<int32_t>(replaced.size() + notTouched.size()))),
      Replaced(std::move(replaced)), NotTouched(std::move(notTouched)) {}

std::string ReplaceNote(bool replaceInPlace) {
    if (replaceInPlace)
        return " (note: original files will be altered and no backup performed)";
    return " (note: original files will not be altered and files with the same names and "
           "containing the original files contents with replacements will be created in a "
           "subfolder named \"kesReplace\")";
}

} // namespace kes
