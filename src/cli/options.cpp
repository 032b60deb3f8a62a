#include "cli/options.h"

#include <stdexcept>

namespace kestrava::cli {

const char* const kUsageText =
    "Usage:\n"
    "  kestrava-cli find    -d|--folders SPEC -f|--files SPEC -e|--find EXPR [options]\n"
    "  kestrava-cli replace -d SPEC -f SPEC -e EXPR -r|--replace TEMPLATE [--in-situ] [--yes] "
    "[options]\n"
    "  kestrava-cli script  FILE.ksc [--root-folder TEXT] [--in-situ] [--yes] [options]\n"
    "\n"
    "Finds (and replaces) Perl-compatible regular-expression matches across many files.\n"
    "\n"
    "  -d, --folders SPEC   folders to search: \"/src<+>\" adds subfolders, \"/src<+>excluding "
    "tmp|.git\"\n"
    "                       leaves some out; several specifications are separated by \"|\"\n"
    "                       (or given by more -d options; the same for -f)\n"
    "  -f, --files SPEC     file masks such as \"*.cpp|*.h\", optionally \"*.* excluding a.txt\"\n"
    "  -e, --find EXPR      the regular expression to find\n"
    "  -r, --replace TEMPLATE  the replacement: $1, $<name>, \\$ for a dollar; \"^$\" replaces "
    "with nothing\n"
    "      --root-folder TEXT  for a script: the text that replaces {RootFolder}\n"
    "      --in-situ        replace in the files themselves (default: copies in a kesReplace "
    "subfolder)\n"
    "      --yes            replace without asking\n"
    "      --view VIEW      lines (default), matches, unique or unique-sorted\n"
    "      --case-sensitive match letter case exactly (default: ignore it)\n"
    "      --filenames-only list the files only, without line or match rows\n"
    "      --no-header      leave out the criteria lines at the top\n"
    "  -n, --line-number    begin each line and match row with its line number and \":\"\n"
    "                       (lines are counted by their line feeds)\n"
    "  -A, --after-context N   show N lines after each matched line (lines view only)\n"
    "  -B, --before-context N  show N lines before each matched line\n"
    "  -C, --context N      show N lines before and after; \"--\" separates groups of lines\n"
    "                       that do not follow on, and with -n context lines begin \"N-\"\n"
    "      --skip-binary    leave out files with a NUL byte in their first 64 KiB\n"
    "      --respect-gitignore  leave out what git ignores (.gitignore files, .git/info/exclude,\n"
    "                       the global excludes file) in the repository of each folder\n"
    "      --rtf            print the rich-text document instead of the text\n"
    "      --threads N      search on N threads (default: one per core); the output is the same\n"
    "      --verbose        when an error stops a replace, name the files replaced before it and\n"
    "                       those not touched\n"
    "  -h, --help           show this help\n"
    "      --version        show the version\n"
    "\n"
    "Exit status: 0 when something matched, 1 when nothing did, 2 on an error (also when a\n"
    "folder is not there and nothing matched elsewhere).\n";

namespace {

results::View parseView(const std::string& text) {
    if (text == "lines")
        return results::View::LinesWithMatches;
    if (text == "matches")
        return results::View::MatchesOnly;
    if (text == "unique")
        return results::View::UniqueMatches;
    if (text == "unique-sorted")
        return results::View::UniqueMatchesSorted;
    throw std::invalid_argument("Unknown view \"" + text +
                                "\": use lines, matches, unique or unique-sorted");
}

int32_t parseNumber(const std::string& name, const std::string& text, int lowest, int highest) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < lowest || value > highest)
        throw std::invalid_argument(name + " needs a number from " + std::to_string(lowest) +
                                    " to " + std::to_string(highest) + ", not \"" + text + "\"");
    return value;
}

constexpr int kMostContextLines = 1'000'000;

// -A, -B and -C (also written -C3, as grep allows); false for any other option.
bool applyContext(CliOptions& options, const std::vector<std::string>& args, size_t& i,
                  const std::string& name, const std::string& inlineValue, bool hasInline);

Command parseCommand(const std::string& word) {
    if (word == "find")
        return Command::Find;
    if (word == "replace")
        return Command::Replace;
    if (word == "script")
        return Command::Script;
    if (word == "-h" || word == "--help" || word == "help")
        return Command::Help;
    if (word == "--version")
        return Command::Version;
    throw std::invalid_argument("Unknown command \"" + word + "\": use find, replace or script");
}

// The value of an option: "--name=value", or the next argument.
std::string optionValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
                        const std::string& inlineValue, bool hasInline) {
    if (hasInline)
        return inlineValue;
    if (i + 1 >= args.size())
        throw std::invalid_argument("Option " + name + " needs a value");
    return args[++i];
}

bool applyFlag(CliOptions& options, const std::string& name) {
    const bool replacing =
        options.command == Command::Replace || options.command == Command::Script;
    if (name == "--in-situ" && replacing)
        options.inSitu = true;
    else if (name == "--yes" && replacing)
        options.yes = true;
    else if (name == "--case-sensitive")
        options.caseSensitive = true;
    else if (name == "--filenames-only")
        options.filenamesOnly = true;
    else if (name == "--no-header")
        options.noHeader = true;
    else if (name == "-n" || name == "--line-number")
        options.lineNumbers = true;
    else if (name == "--rtf")
        options.richText = true;
    else if (name == "--verbose")
        options.verbose = true;
    else if (name == "--skip-binary")
        options.scan.skipBinary = true;
    else if (name == "--respect-gitignore")
        options.scan.respectGitignore = true;
    else if (name == "-h" || name == "--help")
        options.command = Command::Help;
    else if (name == "--version")
        options.command = Command::Version;
    else
        return false;
    return true;
}

std::string* valueTarget(CliOptions& options, const std::string& name) {
    if (options.command == Command::Script)
        return name == "--root-folder" ? &options.rootFolder : nullptr;
    if (name == "-d" || name == "--folders")
        return &options.criteria.folders;
    if (name == "-f" || name == "--files")
        return &options.criteria.files;
    if (name == "-e" || name == "--find")
        return &options.criteria.find;
    if ((name == "-r" || name == "--replace") && options.command == Command::Replace)
        return &options.criteria.replace;
    return nullptr;
}

// A value given again replaces the earlier one, except folders and masks: each further -d or -f
// adds its folders or masks, as if joined with "|".
void setValue(std::string& target, const std::string& value, bool adds) {
    if (adds && !target.empty())
        target += "|" + value;
    else
        target = value;
}

bool applyContext(CliOptions& options, const std::vector<std::string>& args, size_t& i,
                  const std::string& name, const std::string& inlineValue, bool hasInline) {
    static const std::pair<const char*, const char*> kNames[] = {
        {"-A", "--after-context"}, {"-B", "--before-context"}, {"-C", "--context"}};
    for (const auto& [shortName, longName] : kNames) {
        std::string value;
        if (name == shortName || name == longName)
            value = optionValue(args, i, name, inlineValue, hasInline);
        else if (name.size() > 2 && name.starts_with(shortName) && !hasInline)
            value = name.substr(2);
        else
            continue;
        const int32_t lines = parseNumber(longName, value, 0, kMostContextLines);
        if (shortName[1] != 'B')
            options.scan.contextAfter = lines;
        if (shortName[1] != 'A')
            options.scan.contextBefore = lines;
        return true;
    }
    return false;
}

// Context lines belong to the lines view alone; elsewhere they would be dropped unseen.
void checkContext(const CliOptions& options) {
    const bool context = options.scan.contextBefore > 0 || options.scan.contextAfter > 0;
    if (context && options.view != results::View::LinesWithMatches)
        throw std::invalid_argument("-A, -B and -C show context lines in the lines view only, not "
                                    "with --view matches, unique or unique-sorted");
}

} // namespace

CliOptions parseCommandLine(const std::vector<std::string>& args) {
    CliOptions options;
    if (args.empty())
        throw std::invalid_argument("No command given");
    options.command = parseCommand(args[0]);
    for (size_t i = 1;
         i < args.size() && options.command != Command::Help && options.command != Command::Version;
         ++i) {
        const std::string& arg = args[i];
        const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const std::string inlineValue = equals == std::string::npos ? "" : arg.substr(equals + 1);
        const bool hasInline = equals != std::string::npos;
        if (options.command == Command::Script && options.scriptFile.empty() &&
            !arg.starts_with("-"))
            options.scriptFile = arg;
        else if (std::string* target = valueTarget(options, name))
            setValue(*target, optionValue(args, i, name, inlineValue, hasInline),
                     target == &options.criteria.folders || target == &options.criteria.files);
        else if (name == "--view")
            options.view = parseView(optionValue(args, i, name, inlineValue, hasInline));
        else if (name == "--threads")
            options.threads =
                parseNumber(name, optionValue(args, i, name, inlineValue, hasInline), 1, 256);
        else if (applyContext(options, args, i, name, inlineValue, hasInline))
            continue;
        else if (hasInline || !applyFlag(options, name))
            throw std::invalid_argument("Unknown option \"" + arg + "\" for " + args[0]);
    }
    if (options.command == Command::Script && options.scriptFile.empty())
        throw std::invalid_argument("No script file given");
    checkContext(options);
    return options;
}

} // namespace kestrava::cli
