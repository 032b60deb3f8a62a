#include "command_line.h"

#include "about_dialog.h"

#include <filesystem>
#include <string_view>

namespace kestrava::ui {

namespace {

const char* const kHelpText =
    "Usage: kestrava [OPTION...] [FOLDER...]\n"
    "Find and replace regular-expression matches across many files, in a window.\n"
    "Each FOLDER is put in Folder(s), searched with its subfolders.\n"
    "\n"
    "  -h, --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "  --             the arguments after it are folders, even when they begin with \"-\"\n"
    "\n"
    "Qt's options, such as -platform NAME and -style NAME, are passed on to Qt.\n"
    "The command-line program is kestrava-cli (see kestrava-cli --help).\n";

struct QtOption {
    std::string_view name;
    bool takesValue;
};

// The options QGuiApplication and QApplication read themselves (either with one dash or two).
constexpr QtOption kQtOptions[] = {{"platform", true},        {"platformpluginpath", true},
                                   {"platformtheme", true},   {"plugin", true},
                                   {"qwindowgeometry", true}, {"qwindowicon", true},
                                   {"qwindowtitle", true},    {"session", true},
                                   {"display", true},         {"geometry", true},
                                   {"style", true},           {"stylesheet", true},
                                   {"qmljsdebugger", true},   {"reverse", false},
                                   {"widgetcount", false},    {"nograb", false},
                                   {"dograb", false},         {"sync", false}};

// The Qt option an argument names ("-style", "--style", "-style=Fusion"), if any.
const QtOption* qtOption(std::string_view argument, bool& valueAttached) {
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    const size_t equals = argument.find('=');
    valueAttached = equals != std::string_view::npos;
    const std::string_view name = argument.substr(0, equals);
    for (const QtOption& option : kQtOptions)
        if (option.name == name && (option.takesValue || !valueAttached))
            return &option;
    return nullptr;
}

std::string absoluteFolder(const std::string& argument) {
    std::string path = std::filesystem::absolute(argument).lexically_normal().string();
    if (path.size() > 1 && path.ends_with('/'))
        path.pop_back(); // "dir/" and "dir/." name dir itself
    return path;
}

} // namespace

CommandLine readCommandLine(int argc, char* argv[], std::ostream& out, std::ostream& err) {
    CommandLine line;
    line.qtArguments.push_back(argv[0]);
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (!argument.empty())
                line.folders.push_back(absoluteFolder(argument));
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            out << kHelpText;
            line.exitCode = 0;
            return line;
        } else if (argument == "--version") {
            out << "kestrava " << kKestravaVersion << '\n';
            line.exitCode = 0;
            return line;
        } else if (bool attached = false; const QtOption* option = qtOption(argument, attached)) {
            line.qtArguments.push_back(argv[i]);
            if (option->takesValue && !attached && i + 1 < argc)
                line.qtArguments.push_back(argv[++i]);
        } else {
            err << "kestrava: unknown option '" << argument << "'\n"
                << "Try 'kestrava --help' for more information.\n";
            line.exitCode = 2;
            return line;
        }
    }
    return line;
}

} // namespace kestrava::ui
