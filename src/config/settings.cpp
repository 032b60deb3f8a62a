// Reading and writing KestravaConfig.xml. Reading is forgiving (every missing or unknown value
// falls back to its default); writing always produces the same complete layout.
#include "config/settings.h"

#include "config/config_paths.h"
#include "config/settings_file.h"
#include "config/xml_document.h"
#include "util/file_io.h"
#include "util/text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <stdexcept>

namespace kestrava::config {

namespace {

constexpr int32_t kFormWidth = 1060;
constexpr int32_t kFormHeight = 748;

// Plain decimal notation only ("2", "-0.5", "1e3"): from_chars alone would also take "inf".
bool tryParseNumber(std::string_view text, double& number) {
    text = util::trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const size_t first = (!text.empty() && text.front() == '-') ? 1 : 0;
    if (first >= text.size() ||
        !(std::isdigit(static_cast<unsigned char>(text[first])) || text[first] == '.'))
        return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, number, std::chars_format::general);
    return ec == std::errc() && ptr == end;
}

template <class Integer> bool tryParseInteger(std::string_view text, Integer& number) {
    text = util::trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, number);
    return !text.empty() && ec == std::errc() && ptr == end;
}

// The attribute of the named child of parent; fallback when the child or the value is missing.
std::string valueOr(const XmlNode* parent, std::string_view child, std::string_view attribute,
                    std::string_view fallback) {
    const XmlNode* node = parent ? parent->nodeByName(child) : nullptr;
    std::string value = node ? node->attributeByName(attribute) : std::string();
    return value.empty() ? std::string(fallback) : value;
}

bool boolOr(const XmlNode* options, std::string_view child, bool otherwise = false) {
    const XmlNode* node = options->nodeByName(child);
    return node != nullptr ? configStrToBool(node->attributeByName("value"), otherwise) : otherwise;
}

std::string withTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

InitialMode initialModeFromText(const std::string& text) {
    const std::string word = util::asciiLower(text);
    if (word == "lastmode")
        return InitialMode::LastUsed;
    if (word == "replace")
        return InitialMode::Replace;
    if (word == "script")
        return InitialMode::Script;
    if (word == "viewfoldersfiles")
        return InitialMode::ViewFoldersFiles;
    return InitialMode::Find;
}

FontSize fontSizeFromText(const std::string& text) {
    const std::string word = util::asciiLower(text);
    if (word == "large")
        return FontSize::Large;
    if (word == "medium")
        return FontSize::Medium;
    return FontSize::Small;
}

// The stored words of the window's modes, by their number.
constexpr std::array<const char*, 4> kModeWords = {"Find", "Replace", "Script", "ViewFoldersFiles"};

int32_t modeFromText(const std::string& text) {
    const std::string word = util::asciiLower(text);
    for (size_t mode = 1; mode < kModeWords.size(); ++mode)
        if (word == util::asciiLower(kModeWords[mode]))
            return static_cast<int32_t>(mode);
    return 0;
}

const char* initialModeText(InitialMode mode) {
    switch (mode) {
    case InitialMode::LastUsed:
        return "LastMode";
    case InitialMode::Replace:
        return "Replace";
    case InitialMode::Script:
        return "Script";
    case InitialMode::ViewFoldersFiles:
        return "ViewFoldersFiles";
    default:
        return "Find";
    }
}

const char* fontSizeText(FontSize size) {
    switch (size) {
    case FontSize::Medium:
        return "Medium";
    case FontSize::Large:
        return "Large";
    default:
        return "Small";
    }
}

const char* modeText(int32_t mode) {
    return mode >= 0 && mode < static_cast<int32_t>(kModeWords.size())
               ? kModeWords[static_cast<size_t>(mode)]
               : kModeWords[0];
}

void setDefaults(const std::string& scriptsFolder, int32_t screenWidth, int32_t screenHeight,
                 Config& config) {
    Settings& s = config.settings;
    s.initialMode = InitialMode::Find;
    s.fontSize = FontSize::Small;
    s.caseSensitiveMatching = false;
    s.replaceInSitu = false;
    s.scriptsFolder = scriptsFolder;
    s.editorFileSpec = kDefaultEditorFileSpec;
    s.editorCommandLine = kDefaultEditorCommandLine;
    s.showLineNumbers = true;
    s.skipBinaryFiles = false;
    s.respectGitignore = false;
    s.includeHidden = false;
    s.showPreview = false;
    s.previewSize = 0;
    s.keepUndoJournal = true;
    s.undoRunsKept = 20;
    s.undoBytesKept = int64_t{1} << 30;
    config.bounds = defaultFormBounds(screenWidth, screenHeight);
    config.lastMode = 0;
}

// Takes the attribute when it is a whole number of at least `least`; else number keeps its value.
template <class Integer>
void readAtLeast(const XmlNode& node, std::string_view attribute, Integer least, Integer& number) {
    Integer value = 0;
    if (tryParseInteger(node.attributeByName(attribute), value) && value >= least)
        number = value;
}

// Files written before the journal existed lack it: it is kept, within the default limits.
void readUndoJournal(const XmlNode& options, Settings& s) {
    s.keepUndoJournal = boolOr(&options, "undojournal", true);
    if (const XmlNode* journal = options.nodeByName("undojournal")) {
        readAtLeast(*journal, "runs", 1, s.undoRunsKept);
        readAtLeast(*journal, "bytes", int64_t{1}, s.undoBytesKept);
    }
}

void readOptions(const XmlNode& options, const std::string& scriptsFolder, Settings& s) {
    s.initialMode = initialModeFromText(valueOr(&options, "initialmode", "value", "Find"));
    s.fontSize = fontSizeFromText(valueOr(&options, "fontsize", "value", "small"));
    s.caseSensitiveMatching = boolOr(&options, "casesensitivematching");
    s.replaceInSitu = boolOr(&options, "replaceinsitu");
    s.scriptsFolder = valueOr(&options, "scriptsfolder", "value", scriptsFolder);
    s.editorFileSpec = valueOr(&options, "fileeditor", "filespec", kDefaultEditorFileSpec);
    s.editorCommandLine = valueOr(&options, "fileeditor", "commandline", kDefaultEditorCommandLine);
    // Files written before the column existed lack the option: it starts shown.
    s.showLineNumbers = boolOr(&options, "linenumbers", true);
    s.skipBinaryFiles = boolOr(&options, "skipbinary");
    s.respectGitignore = boolOr(&options, "respectgitignore");
    // Files written before the option existed lack it: hidden names stay left out.
    s.includeHidden = boolOr(&options, "includehidden");
    s.showPreview = boolOr(&options, "preview");
    int32_t size = 0;
    if (const XmlNode* preview = options.nodeByName("preview");
        preview != nullptr && tryParseInteger(preview->attributeByName("size"), size) && size >= 0)
        s.previewSize = size;
    readUndoJournal(options, s);
}

void readBounds(const XmlNode& mainForm, WindowBounds& bounds) {
    const std::array<std::pair<const char*, int32_t*>, 4> fields = {{{"top", &bounds.top},
                                                                     {"left", &bounds.left},
                                                                     {"height", &bounds.height},
                                                                     {"width", &bounds.width}}};
    for (const auto& [name, field] : fields) {
        int32_t value = 0;
        if (tryParseInteger(mainForm.attributeByName(name), value))
            *field = value;
    }
}

void readDocument(const XmlNode& root, const std::string& scriptsFolder, Config& config) {
    if (const XmlNode* options = root.nodeByName("options"))
        readOptions(*options, scriptsFolder, config.settings);
    if (const XmlNode* forms = root.nodeByName("forms")) {
        if (const XmlNode* mainForm = forms->nodeByName("mainform"))
            readBounds(*mainForm, config.bounds);
    }
    if (const XmlNode* info = root.nodeByName("info"))
        config.lastMode = modeFromText(valueOr(info, "lastmode", "value", "Find"));
}

} // namespace

WindowBounds defaultFormBounds(int32_t screenWidth, int32_t screenHeight) {
    WindowBounds bounds;
    bounds.width = std::min(kFormWidth, screenWidth);
    bounds.height = std::min(kFormHeight, screenHeight);
    // Integer division truncates toward zero, as the centring wants.
    bounds.left = std::max(0, (screenWidth - kFormWidth) / 2);
    bounds.top = std::max(0, (screenHeight - kFormHeight) / 2);
    return bounds;
}

bool configStrToBool(std::string_view value, bool defaultValue) {
    double number = 0;
    if (tryParseNumber(value, number))
        return number != 0;
    const std::string word = util::asciiLower(value);
    if (word == "y" || word == "yes" || word == "true")
        return true;
    if (word == "n" || word == "no" || word == "false")
        return false;
    return defaultValue;
}

void loadConfig(const std::string& fileName, const std::string& defaultScriptsFolder,
                int32_t screenWidth, int32_t screenHeight, Config& config) {
    const std::string scriptsFolder = withTrailingSlash(defaultScriptsFolder);
    setDefaults(scriptsFolder, screenWidth, screenHeight, config);
    std::string text;
    std::string error;
    switch (readSettingsFile(fileName, text, error)) {
    case ReadFileStatus::Missing:
        return;
    case ReadFileStatus::Failed:
        throw std::runtime_error(error);
    case ReadFileStatus::Ok:
        break;
    }
    XmlDocument document;
    document.loadFromString(text); // raises before any value is taken over
    readDocument(*document.root(), scriptsFolder, config);
}

std::string configToXml(const Config& config) {
    const Settings& s = config.settings;
    XmlDocument document("KestravaConfig");
    document.setXmlFormat(XmlFormat::Readable);
    XmlNode& root = *document.root();
    XmlNode& options = root.nodeNew("options");
    options.nodeNew("initialmode").writeAttributeString("value", initialModeText(s.initialMode));
    options.nodeNew("fontsize").writeAttributeString("value", fontSizeText(s.fontSize));
    options.nodeNew("casesensitivematching")
        .writeAttributeString("value", s.caseSensitiveMatching ? "yes" : "no");
    options.nodeNew("replaceinsitu").writeAttributeString("value", s.replaceInSitu ? "yes" : "no");
    options.nodeNew("scriptsfolder").writeAttributeString("value", s.scriptsFolder);
    XmlNode& editor = options.nodeNew("fileeditor");
    editor.writeAttributeString("filespec", s.editorFileSpec);
    editor.writeAttributeString("commandline", s.editorCommandLine);
    options.nodeNew("linenumbers").writeAttributeString("value", s.showLineNumbers ? "yes" : "no");
    options.nodeNew("skipbinary").writeAttributeString("value", s.skipBinaryFiles ? "yes" : "no");
    options.nodeNew("respectgitignore")
        .writeAttributeString("value", s.respectGitignore ? "yes" : "no");
    options.nodeNew("includehidden").writeAttributeString("value", s.includeHidden ? "yes" : "no");
    XmlNode& preview = options.nodeNew("preview");
    preview.writeAttributeString("value", s.showPreview ? "yes" : "no");
    preview.writeAttributeInteger("size", s.previewSize);
    XmlNode& journal = options.nodeNew("undojournal");
    journal.writeAttributeString("value", s.keepUndoJournal ? "yes" : "no");
    journal.writeAttributeInteger("runs", s.undoRunsKept);
    journal.writeAttributeInteger("bytes", s.undoBytesKept);
    XmlNode& mainForm = root.nodeNew("forms").nodeNew("mainform");
    mainForm.writeAttributeInteger("top", config.bounds.top);
    mainForm.writeAttributeInteger("left", config.bounds.left);
    mainForm.writeAttributeInteger("height", config.bounds.height);
    mainForm.writeAttributeInteger("width", config.bounds.width);
    root.nodeNew("info")
        .nodeNew("lastmode")
        .writeAttributeString("value", modeText(config.lastMode));
    return document.writeToString();
}

void saveConfig(const std::string& fileName, const Config& config) {
    writeSettingsFile(fileName, configToXml(config));
}

} // namespace kestrava::config
