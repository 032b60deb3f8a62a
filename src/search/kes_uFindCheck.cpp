// The checks of a Find or Find & Replace request, shared by the window and the command line so
// both refuse the same requests with the same words.
#include "search/kes_uFind.h"

#include "util/kes_uGlobal.h"

namespace kes {

namespace {

const char* const kCrLf = "\r\n";

std::string EmptyCriteriaErrors(const TkesSpecs& criteria) {
    std::string errors;
    if (criteria.Folders.empty())
        errors += std::string(kCrLf) + "No Folder(s) specified";
    if (criteria.Files.empty())
        errors += std::string(kCrLf) + "No File(s) specified";
    if (criteria.Find.empty())
        errors += std::string(kCrLf) + "Nothing to \"Find\" specified";
    return errors;
}

// Compiles the Find text; a pattern error replaces everything collected so far.
int32_t CompileFind(const std::string& find, TldiRegExMulti& regEx, std::string& errors) {
    regEx.ClearPatterns();
    int32_t patternID = -1;
    TPatternStatus status;
    std::string message;
    if (!regEx.AddPattern(find, patternID, status))
        errors = "Invalid Find Expression: " + status.ErrorMessage;
    else if (CheckFindExpression(find, message))
        errors = "Invalid Find Expression: " + message;
    return patternID;
}

} // namespace

std::string PrepareFindReplace(const TkesSpecs& criteria, bool replacing, bool caseSensitive,
                               TFindReplaceSpecs& specs) {
    ApplyCaseSetting(specs.RegEx, caseSensitive);
    std::string errors = EmptyCriteriaErrors(criteria);
    TFindReplace item;
    item.PatternID = CompileFind(criteria.Find, specs.RegEx, errors);
    specs.Replace = false;
    if (replacing && !criteria.Replace.empty()) {
        item.DoReplace = true;
        item.ReplaceWith = criteria.Replace == "^$" ? "" : criteria.Replace;
        specs.Replace = true;
    } else if (replacing) {
        errors += std::string(kCrLf) + "Nothing to \"ReplaceWith\" specified";
    }
    specs.Items.assign(1, item);
    if (!errors.empty())
        specs.RegEx.ClearPatterns();
    return errors;
}

std::string ReplaceConfirmText(bool replaceInPlace) {
    return "Replace all matches of the \"Find\" expression with the \"ReplaceWith\" expression "
           "in the specified files" +
           ReplaceNote(replaceInPlace) + "?";
}

void ApplyCaseSetting(TldiRegExMulti& regEx, bool caseSensitive) {
    TPatternOptions options = regEx.DefaultPatternOptions();
    if (caseSensitive)
        options.Exclude(coIgnoreCase);
    else
        options.Include(coIgnoreCase);
    regEx.SetDefaultPatternOptions(options);
}

} // namespace kes
