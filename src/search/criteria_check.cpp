// The checks of a Find or Find & Replace request, shared by the window and the command line so
// both refuse the same requests with the same words.
#include "search/search.h"

#include "util/common.h"

namespace kestrava::search {

namespace {

const char* const kCrLf = "\r\n";

std::string emptyCriteriaErrors(const Criteria& criteria) {
    std::string errors;
    if (criteria.folders.empty())
        errors += std::string(kCrLf) + "No Folder(s) specified";
    if (criteria.files.empty())
        errors += std::string(kCrLf) + "No File(s) specified";
    if (criteria.find.empty())
        errors += std::string(kCrLf) + "Nothing to \"Find\" specified";
    return errors;
}

// Compiles the Find text; a pattern error replaces everything collected so far.
int32_t compileFind(const std::string& find, regex::PatternSet& regEx, std::string& errors) {
    regEx.clearPatterns();
    int32_t patternID = -1;
    regex::PatternStatus status;
    std::string message;
    if (!regEx.addPattern(find, patternID, status))
        errors = "Invalid Find Expression: " + status.errorMessage;
    else if (util::checkFindExpression(find, message))
        errors = "Invalid Find Expression: " + message;
    return patternID;
}

} // namespace

std::string prepareFindReplace(const Criteria& criteria, bool replacing, bool caseSensitive,
                               CompiledRequest& specs) {
    applyCaseSetting(specs.regEx, caseSensitive);
    std::string errors = emptyCriteriaErrors(criteria);
    ReplaceRule item;
    item.patternID = compileFind(criteria.find, specs.regEx, errors);
    specs.replace = false;
    if (replacing && !criteria.replace.empty()) {
        item.doReplace = true;
        item.replaceWith = criteria.replace == "^$" ? "" : criteria.replace;
        specs.replace = true;
    } else if (replacing) {
        errors += std::string(kCrLf) + "Nothing to \"ReplaceWith\" specified";
    }
    specs.items.assign(1, item);
    if (!errors.empty())
        specs.regEx.clearPatterns();
    return errors;
}

std::string replaceConfirmText(bool replaceInPlace, bool undoKept) {
    return "Replace all matches of the \"Find\" expression with the \"ReplaceWith\" expression "
           "in the specified files" +
           replaceNote(replaceInPlace, undoKept) + "?";
}

void applyCaseSetting(regex::PatternSet& regEx, bool caseSensitive) {
    regex::PatternOptions options = regEx.defaultPatternOptions();
    if (caseSensitive)
        options.exclude(regex::PatternOption::IgnoreCase);
    else
        options.include(regex::PatternOption::IgnoreCase);
    regEx.setDefaultPatternOptions(options);
}

} // namespace kestrava::search
