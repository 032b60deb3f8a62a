// The grammar of kestrava-cli, given to CLI11, which parses it and writes its help.
#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <stdexcept>

namespace kestrava::cli {

namespace {

const char* const kDescription =
    "Finds (and replaces) Perl-compatible regular-expression matches across many files.";

const char* const kFooter =
    "Folders: \"/src\", \"/src<+>\" with its subfolders, \"/src<+><excluding tmp,.git>\" leaving\n"
    "some out; \"|\" separates folders, and each further -d adds more (the same for -f).\n"
    "Files: masks such as \"*.cpp|*.h\", each optionally followed by \"<excluding "
    "a.txt,*.min.js>\".\n"
    "\n"
    "Examples:\n"
    "  kestrava-cli find -d 'src<+><excluding build>' -f '*.cpp|*.h' -e 'TODO|FIXME' -n\n"
    "  kestrava-cli find -d 'notes<+>' -f '*.*<excluding draft.txt>' -e '\\bkestrel\\b' -C 1\n"
    "  kestrava-cli replace -d 'src<+>' -f '*.cpp' -e 'oldName\\(' -r 'newName(' --in-situ --yes\n"

    "\n"
    "Each command's options: kestrava-cli find --help (and replace, script, undo).\n"
    "A replace or script run can be undone: kestrava-cli undo puts back what the last one\n"
    "changed.\n"
    "Every output but the unique views, which keep one row per distinct text, is written as\n"
    "the search goes on: an error is told after what was found before it.\n"
    "\n"
    "Exit status: 0 when something matched, 1 when nothing did, 2 on an error (also when a\n"
    "folder is not there and nothing matched elsewhere).\n";

const std::map<std::string, results::View> kViews = {
    {"lines", results::View::LinesWithMatches},
    {"matches", results::View::MatchesOnly},
    {"unique", results::View::UniqueMatches},
    {"unique-sorted", results::View::UniqueMatchesSorted},
};

constexpr int kMostContextLines = 1'000'000;

// A whole number from lowest to highest. CLI11's own Range words its message differently from
// one release to the next; this keeps the message the same wherever the program is built.
CLI::Validator wholeNumberIn(int lowest, int highest) {
    const std::string low = std::to_string(lowest);
    const std::string high = std::to_string(highest);
    return {[=](const std::string& text) -> std::string {
                int value = 0;
                const char* end = text.data() + text.size();
                const auto [stop, error] = std::from_chars(text.data(), end, value);
                if (error != std::errc() || stop != end || value < lowest || value > highest)
                    return "Value " + text + " not in range " + low + " to " + high;
                return {};
            },
            "INT in [" + low + " - " + high + "]"};
}

// What the parse writes into, before it becomes the options.
struct Values {
    CliOptions options;
    std::vector<std::string> folders;
    std::vector<std::string> files;
    std::vector<std::string> finds;        // each -e
    std::vector<std::string> replacements; // each -r
    std::vector<std::string> globs;        // each -g
    std::vector<std::string> positionals;  // [PATTERN] [REPLACEMENT] [PATH ...], "--" and after
    std::string view = "lines";
    std::string color = "auto";
    bool smartCase = false;
    bool onlyMatching = false;
    bool caseGiven = false; // -i or -s was given, which -S gives way to
    bool fixedStrings = false;
    bool wordRegexp = false;
    bool lineRegexp = false;
    bool version = false;
};

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "|") + part;
    return text;
}

// -A, -B and -C in the order given: a later one overrides an earlier one on its side.
void addContextOptions(CLI::App& command, search::ScanOptions* scan) {
    const auto add = [&](const char* names, const char* help, bool before, bool after) {
        command
            .add_option_function<int32_t>(
                names,
                [scan, before, after](const int32_t& lines) {
                    if (before)
                        scan->contextBefore = lines;
                    if (after)
                        scan->contextAfter = lines;
                },
                help)
            ->type_name("N")
            ->check(wholeNumberIn(0, kMostContextLines))
            ->trigger_on_parse();
    };
    add("-A,--after-context", "show N lines after each matched line (lines view only)", false,
        true);
    add("-B,--before-context", "show N lines before each matched line", true, false);
    add("-C,--context",
        "show N lines before and after; \"--\" separates groups that do not follow on, and with "
        "-n context lines begin \"N-\"",
        true, true);
}

// The options every command has: how results are shown and which files are left out.
void addOutputOptions(CLI::App& command, Values& values) {
    CliOptions& o = values.options;
    command.add_option("--view", values.view, "lines (default), matches, unique or unique-sorted")
        ->type_name("VIEW")
        ->check(CLI::IsMember({"lines", "matches", "unique", "unique-sorted"}));
    // The last of -i, -s and --case-sensitive holds, as in grep.
    command
        .add_flag_callback(
            "-s,--case-sensitive",
            [&values] { values.options.caseSensitive = values.caseGiven = true; },
            "match letter case exactly")
        ->trigger_on_parse();
    command
        .add_flag_callback(
            "-i,--ignore-case",
            [&values] {
                values.options.caseSensitive = false;
                values.caseGiven = true;
            },
            "ignore letter case (the default)")
        ->trigger_on_parse();
    command.add_flag("-S,--smart-case", values.smartCase,
                     "match letter case exactly when a pattern holds an upper-case letter");
    command.add_flag("-F,--fixed-strings", values.fixedStrings,
                     "take each pattern as the text itself, not a regular expression");
    command.add_flag("-w,--word-regexp", values.wordRegexp,
                     "match whole words only: no word character right before or after a match");
    command.add_flag("-x,--line-regexp", values.lineRegexp, "match whole lines only");
    command.add_flag("--filenames-only", o.filenamesOnly,
                     "list the files only, without line or match rows");
    command.add_flag("-l,--files-with-matches", o.pathsOnly,
                     "print the path of each file with a match, one a line");
    command.add_flag("-c,--count", o.countOnly,
                     "print \"path:N\" for each file with a match, N its matched lines");
    command.add_flag("-0,--null", o.nullAfterPath,
                     "with -l or -c, follow each path with a NUL byte instead of a line end");
    command.add_flag("--vimgrep", o.vimgrep,
                     "print \"path:line:column:text\" for each match, as Vim's grepformat "
                     "%f:%l:%c:%m reads it");
    command.add_flag("-H,--no-heading", o.noHeading,
                     "print \"path:line:text\" for each matched line, the whole line");
    command.add_flag("-o,--only-matching", values.onlyMatching,
                     "print each match alone (--view matches)");
    command.add_flag("--hidden", o.scan.includeHidden,
                     "search files and folders whose names begin with \".\" too (never .git)");
    command
        .add_option("--max-depth", o.scan.maxDepth,
                    "descend at most N folders below each folder given (1: its own files)")
        ->type_name("N")
        ->check(wholeNumberIn(0, 1'000'000));
    command.add_flag("--no-header", o.noHeader, "leave out the criteria lines at the top");
    command.add_flag("-n,--line-number", o.lineNumbers,
                     "begin each line and match row with its line number and \":\" (lines are "
                     "counted by their line feeds)");
    addContextOptions(command, &o.scan);
    command.add_flag("--skip-binary", o.scan.skipBinary,
                     "leave out files with a NUL byte in their first 64 KiB");
    command.add_flag("--respect-gitignore", o.scan.respectGitignore,
                     "leave out what git ignores in the repository of each folder");
    command.add_flag("--rtf", o.richText, "print the rich-text document instead of the text");
    command
        .add_option("--color,--colour", values.color,
                    "colour matches, line numbers and file headers: auto (on a terminal, unless "
                    "NO_COLOR is set), always or never")
        ->type_name("WHEN")
        ->check(CLI::IsMember({"auto", "always", "never"}));
    command.add_flag("--json", o.json,
                     "one JSON object per line: begin, match (and context) and end for each file, "
                     "then a summary");
    command.add_flag("-q,--quiet", o.quiet,
                     "print nothing, only the exit status; a find stops at its first match");
    command.add_option("--threads", o.threads, "search on N threads (default: one per core)")
        ->type_name("N")
        ->check(wholeNumberIn(1, 256));
    command.add_flag("--verbose", o.verbose,
                     "when an error stops a replace, name the files replaced before it and those "
                     "not touched");
    command.add_flag("--version", values.version, "show the version");
}

void addCriteria(CLI::App& command, Values& values, bool replacing) {
    // One value each time, so that the pattern and paths may follow.
    const auto each = [&command](const char* names, std::vector<std::string>& into,
                                 const char* help, const char* type) {
        command.add_option(names, into, help)
            ->type_name(type)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };
    each("-d,--folders", values.folders, "folders to search (instead of PATH)", "SPEC");
    each("-f,--files", values.files, "file masks (default with PATH: every file)", "SPEC");
    each("-g,--glob", values.globs,
         "a file name mask added to the masks (\"*.rs\"), or with \"!\" one that leaves files "
         "out (\"!*.min.js\"); given again, adds more",
         "GLOB");
    each("-e,--find,--regexp", values.finds,
         "the regular expression (instead of PATTERN); given several times, any of them", "EXPR");
    if (!replacing)
        command
            .add_option("-m,--max-count", values.options.scan.maxLines,
                        "list at most N matched lines of each file")
            ->type_name("N")
            ->check(wholeNumberIn(0, 2'000'000'000));
    if (replacing)
        each("-r,--replace", values.replacements,
             "the replacement (instead of REPLACEMENT): $1, $<name>, \\$ for a dollar; \"^$\" "
             "replaces with nothing",
             "TEMPLATE");
    command.add_option("ARGS", values.positionals,
                       replacing ? "the pattern and the replacement unless -e and -r give them, "
                                   "then the files and folders to search, each folder with its "
                                   "subfolders (default: \".\"); after \"--\" each may begin "
                                   "with \"-\""
                                 : "the pattern unless -e gives it, then the files and folders to "
                                   "search, each folder with its subfolders (default: \".\"); "
                                   "after \"--\" each may begin with \"-\"");
}

void addReplacing(CLI::App& command, CliOptions& options) {
    command.add_flag("--in-situ", options.inSitu,
                     "replace in the files themselves (default: copies in a kesReplace subfolder)");
    command.add_flag("--yes", options.yes, "replace without asking");
    command.add_flag("--preview", options.preview,
                     "print the changes as a unified diff (for git apply or patch -p1) and write "
                     "nothing; exit status 0 when something would change");
    command.add_flag("--no-undo", options.noUndo,
                     "keep no undo journal of the files replaced (kestrava-cli undo cannot put "
                     "them back)");
}

void addUndo(CLI::App& command, CliOptions& options) {
    command.add_option("RUN_ID", options.runId,
                       "the run to undo (see --list); default: the newest not undone yet");
    command.add_flag("--list", options.listRuns, "list the kept runs, newest first");
    command.add_flag("--force", options.force,
                     "put back also the files changed since the run, losing those changes");
    command.add_flag("--yes", options.yes, "undo without asking");
}

// The whole grammar, writing into `values`.
std::unique_ptr<CLI::App> makeApp(Values& values) {
    auto app = std::make_unique<CLI::App>(kDescription, "kestrava-cli");
    app->footer(kFooter);
    // A value given again replaces the earlier one (folders and masks add to them instead).
    app->option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app->require_subcommand(0, 1);
    app->add_flag("--version", values.version, "show the version");
    CLI::App* find = app->add_subcommand("find", "list the matches");
    CLI::App* replace = app->add_subcommand("replace", "replace the matches");
    CLI::App* script = app->add_subcommand("script", "run a .ksc script file");
    CLI::App* undo = app->add_subcommand(
        "undo", "put back the files a replace or script run changed (the last 20 runs are kept)");
    addUndo(*undo, values.options);
    undo->footer(
        "Runs are kept in $XDG_STATE_HOME/kestrava/undo (~/.local/state/kestrava/undo).\n");
    undo->allow_extras();
    addCriteria(*find, values, false);
    addCriteria(*replace, values, true);
    addReplacing(*replace, values.options);
    replace->add_flag("--interactive", values.options.interactive,
                      "ask for each change on the terminal: y (replace), n (keep), a (this and "
                      "the rest of the file), d (none of the rest of the file), q (stop)");
    script->add_option("FILE.ksc", values.options.scriptFile, "the script to run")->required();
    script
        ->add_option("--root-folder", values.options.rootFolder,
                     "the text that replaces {RootFolder}")
        ->type_name("TEXT");
    addReplacing(*script, values.options);
    for (CLI::App* command : {find, replace, script}) {
        addOutputOptions(*command, values);
        command->footer(kFooter);
        command->allow_extras(); // told by name afterwards (see checkExtras)
    }
    return app;
}

Command commandOf(const CLI::App& app) {
    if (app.got_subcommand("find"))
        return Command::Find;
    if (app.got_subcommand("replace"))
        return Command::Replace;
    if (app.got_subcommand("script"))
        return Command::Script;
    if (app.got_subcommand("undo"))
        return Command::Undo;
    return Command::None;
}

// The number of single-letter edits from one word to another.
size_t editDistance(std::string_view from, std::string_view to) {
    std::vector<size_t> row(to.size() + 1);
    for (size_t j = 0; j <= to.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= from.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= to.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (from[i - 1] == to[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[to.size()];
}

// ", did you mean --hidden?" for a long option a letter or two away from one of the command's.
std::string nearMiss(const CLI::App& command, const std::string& typed) {
    if (!typed.starts_with("--"))
        return {};
    const std::string name = typed.substr(2, typed.find('=') - 2);
    std::string best;
    size_t bestDistance = name.size() < 5 ? 1 : 2; // at most this far
    for (const CLI::Option* option : command.get_options())
        for (const std::string& known : option->get_lnames())
            if (const size_t distance = editDistance(name, known);
                distance <= bestDistance && (best.empty() || distance < bestDistance))
                best = known, bestDistance = distance;
    return best.empty() ? std::string() : ": did you mean --" + best + "?";
}

// Arguments no command or option took, named as the user typed them.
void checkExtras(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands()) {
        const std::vector<std::string> extras = sub->remaining();
        if (extras.empty())
            continue;
        const std::string& first = extras.front();
        throw std::invalid_argument(
            (first.starts_with('-') ? "Unknown option \"" : "Unexpected \"") + first + "\" for " +
            sub->get_name() + nearMiss(*sub, first));
    }
}

// CLI11's words for a failed parse, where ours say more.
std::string parseErrorText(const CLI::ParseError& error) {
    std::string text = error.what();
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr)
        return "No script file given";
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr)
        return "Option " + text.substr(0, text.find(':')) + " needs a value";
    return text;
}

// Options that would be dropped unseen, or that contradict each other.
void checkCombinations(const CliOptions& options, const Values& values) {
    const bool context = options.scan.contextBefore > 0 || options.scan.contextAfter > 0;
    if (context && options.view != results::View::LinesWithMatches)
        throw std::invalid_argument("-A, -B and -C show context lines in the lines view only, not "
                                    "with --view matches, unique or unique-sorted");
    if (options.interactive && (options.preview || options.json || options.richText))
        throw std::invalid_argument("--interactive asks for each change; leave out --preview, "
                                    "--json and --rtf");
    if (options.preview && options.noUndo)
        throw std::invalid_argument("--preview writes nothing; leave out --no-undo");
    if (options.listRuns && (!options.runId.empty() || options.force))
        throw std::invalid_argument("--list lists the runs; leave out the run and --force");
    if (options.preview && (options.json || options.richText))
        throw std::invalid_argument("--preview prints a diff; leave out --json and --rtf");
    if (options.json && (options.richText || options.view != results::View::LinesWithMatches))
        throw std::invalid_argument("--json writes every matched line; leave out --rtf and --view");
    if ((options.pathsOnly || options.countOnly) &&
        (options.json || options.richText || options.preview))
        throw std::invalid_argument("-l and -c print paths; leave out --json, --rtf and --preview");
    if ((options.vimgrep || options.noHeading) &&
        (options.json || options.richText || options.preview || options.pathsOnly ||
         options.countOnly || options.interactive || options.vimgrep == options.noHeading))
        throw std::invalid_argument("--vimgrep and --no-heading print lines of their own; give one "
                                    "and leave out --json, --rtf, --preview, -l, -c and "
                                    "--interactive");
    if (options.nullAfterPath && !options.pathsOnly && !options.countOnly)
        throw std::invalid_argument("-0 ends the paths of -l and -c; give one of them");
    if (values.replacements.size() > 1 &&
        std::adjacent_find(values.replacements.begin(), values.replacements.end(),
                           std::not_equal_to<>()) != values.replacements.end())
        throw std::invalid_argument("Several -r give different replacements: one replacement "
                                    "serves every pattern");
}

// The pattern as the text itself: \Q...\E, with any "\E" in it ended and quoted on its own.
std::string quotedText(const std::string& text) {
    std::string quoted = "\\Q";
    for (size_t at = 0; at < text.size(); ++at) {
        if (text.compare(at, 2, "\\E") == 0) {
            quoted += "\\E\\\\E\\Q";
            ++at;
        } else {
            quoted += text[at];
        }
    }
    return quoted + "\\E";
}

// Whether a pattern holds an upper-case letter that is not part of an escape such as \W.
bool holdsUpperCase(const std::string& pattern) {
    for (size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == '\\')
            ++at;
        else if (pattern[at] >= 'A' && pattern[at] <= 'Z')
            return true;
    }
    return false;
}

// The one expression searched for: each -e as it is, or quoted with -F; several of them as
// alternatives that each number their groups from 1 (so $1 and \1 mean the same in each); then
// confined to whole words or whole lines. One pattern without those flags is left as it is.
std::string searchedExpression(const Values& values) {
    std::vector<std::string> patterns = values.finds;
    if (values.fixedStrings)
        for (std::string& pattern : patterns)
            pattern = quotedText(pattern);
    std::string any = patterns.size() == 1 ? patterns.front() : std::string();
    if (patterns.size() > 1) {
        any = "(?|";
        for (const std::string& pattern : patterns)
            any += (any.size() > 3 ? "|(?:" : "(?:") + pattern + ")";
        any += ")";
    }
    if (values.lineRegexp)
        return "(?m:^)(?:" + any + ")(?m:$)";
    if (values.wordRegexp)
        return "(?<!\\w)(?:" + any + ")(?!\\w)";
    return any;
}

// -g: masks join the file masks (or stand for every file when -f gave none); "!" masks leave
// files out of every mask, added to its "<excluding ...>".
void applyGlobs(Values& values, bool masksGiven) {
    std::vector<std::string> added;
    std::string excluded;
    for (const std::string& glob : values.globs) {
        const bool leaveOut = glob.starts_with('!');
        const std::string mask = leaveOut ? glob.substr(1) : glob;
        if (mask.empty() || mask.find_first_of("/|<>,") != std::string::npos)
            throw std::invalid_argument("-g takes a file name mask such as \"*.rs\" or "
                                        "\"!*.min.js\", without \"/\", \"|\", \"<\", \">\" "
                                        "or \",\" (\"" +
                                        glob + "\")");
        if (leaveOut)
            excluded += (excluded.empty() ? "" : ",") + mask;
        else
            added.push_back(mask);
    }
    if (!added.empty() && !masksGiven)
        values.files.clear(); // the masks stand for every file only until -g names some
    values.files.insert(values.files.end(), added.begin(), added.end());
    if (excluded.empty())
        return;
    std::vector<std::string> masks;
    for (const std::string& entry : values.files)
        for (size_t start = 0; start <= entry.size();) {
            const size_t bar = std::min(entry.find('|', start), entry.size());
            std::string mask = entry.substr(start, bar - start);
            if (mask.ends_with('>') && mask.find("<excluding ") != std::string::npos)
                mask.insert(mask.size() - 1, "," + excluded);
            else
                mask += "<excluding " + excluded + ">";
            masks.push_back(std::move(mask));
            start = bar + 1;
        }
    values.files = std::move(masks);
}

// The pattern, the replacement and the paths: from -e, -r and -d, or else from the arguments in
// that order. Each PATH (default ".") is searched with its subfolders, for every file unless -f
// gives masks; a PATH that is a file is searched alone.
void takeArguments(Values& values, bool replacing) {
    const std::vector<std::string>& arguments = values.positionals;
    size_t next = 0;
    if (values.finds.empty() && next < arguments.size())
        values.finds.push_back(arguments[next++]);
    if (replacing && values.replacements.empty() && next < arguments.size())
        values.replacements.push_back(arguments[next++]);
    std::vector<std::string> paths(arguments.begin() + static_cast<long>(next), arguments.end());
    const bool masksGiven = !values.files.empty();
    if (!values.folders.empty()) {
        if (!paths.empty())
            throw std::invalid_argument("Give the folders with -d or as PATH, not both (\"" +
                                        paths.front() + "\")");
    } else {
        if (paths.empty())
            paths.emplace_back(".");
        for (const std::string& path : paths)
            values.folders.push_back(path + "<+>");
        if (values.files.empty())
            values.files.emplace_back("*");
    }
    applyGlobs(values, masksGiven);
}

ColorChoice colorChoice(const std::string& word) {
    return word == "always"  ? ColorChoice::Always
           : word == "never" ? ColorChoice::Never
                             : ColorChoice::Auto;
}

} // namespace

CliOptions parseCommandLine(const std::vector<std::string>& args) {
    if (args.empty())
        throw std::invalid_argument("No command given");
    Values values;
    static const char* const kCommands[] = {"find", "replace", "script", "undo", "help"};
    if (!args[0].starts_with('-') &&
        std::find(std::begin(kCommands), std::end(kCommands), args[0]) == std::end(kCommands))
        throw std::invalid_argument("Unknown command \"" + args[0] +
                                    "\": use find, replace, script or undo");
    if (args[0] == "help") {
        values.options.command = Command::Help;
        values.options.helpText = usageText();
        return values.options;
    }
    const std::unique_ptr<CLI::App> app = makeApp(values);
    // What follows "--" are arguments, taken as they are even when they begin with "-".
    const auto optionsEnd = std::find(args.begin(), args.end(), "--");
    try {
        // CLI11 takes the arguments in reverse order.
        app->parse(std::vector<std::string>(std::make_reverse_iterator(optionsEnd), args.rend()));
    } catch (const CLI::CallForHelp&) {
        // The help of the command it was asked of, or of the program.
        const std::vector<CLI::App*> commands = app->get_subcommands();
        values.options.command = Command::Help;
        std::string help = commands.empty() ? app->help() : commands.front()->help();
        if (const size_t usage = help.find("Usage: ");
            !commands.empty() && usage != std::string::npos)
            help.insert(usage + 7, "kestrava-cli ");
        values.options.helpText = std::move(help);
        return values.options;
    } catch (const CLI::ParseError& error) {
        throw std::invalid_argument(parseErrorText(error));
    }
    checkExtras(*app);
    const Command command = values.version ? Command::Version : commandOf(*app);
    if (command == Command::None)
        throw std::invalid_argument("No command given: use find, replace, script or undo");
    if (command == Command::Find || command == Command::Replace) {
        if (optionsEnd != args.end())
            values.positionals.insert(values.positionals.end(), optionsEnd + 1, args.end());
        takeArguments(values, command == Command::Replace);
    }
    CliOptions options = std::move(values.options);
    options.command = command;
    if (!values.finds.empty()) {
        if (values.smartCase && !values.caseGiven)
            options.caseSensitive =
                std::any_of(values.finds.begin(), values.finds.end(), holdsUpperCase);
        options.criteria.find = searchedExpression(values);
    }
    if (!values.replacements.empty())
        options.criteria.replace = values.replacements.front();
    options.criteria.folders = joined(values.folders);
    options.criteria.files = joined(values.files);
    options.view = values.onlyMatching ? results::View::MatchesOnly : kViews.at(values.view);
    options.color = colorChoice(values.color);
    checkCombinations(options, values);
    return options;
}

std::string usageText() {
    Values values;
    return makeApp(values)->help();
}

} // namespace kestrava::cli
