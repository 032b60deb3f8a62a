// Reading and writing KestravaConfig.xml. Reading is forgiving (every missing or unknown value
// falls back to its default); writing always produces the same complete layout.
#include "config/kes_uLoadConfig.h"

#include "config/NativeXml.h"
#include "config/kes_uConfigPaths.h"
#include "config/kes_uReadFile.h"
#include "util/ldiFileIO.h"
#include "util/ldiText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <stdexcept>

namespace kes {

namespace {

constexpr int32_t kFormWidth = 1060;
constexpr int32_t kFormHeight = 748;

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Plain decimal notation only ("2", "-0.5", "1e3"): from_chars alone would also take "inf".
bool TryParseNumber(std::string_view text, double& number) {
    text = TrimBlanks(text);
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

bool TryParseInt32(std::string_view text, int32_t& number) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, number);
    return !text.empty() && ec == std::errc() && ptr == end;
}

// The attribute of the named child of parent; fallback when the child or the value is missing.
std::string ValueOr(const TUtf8XmlNode* parent, std::string_view child, std::string_view attribute,
                    std::string_view fallback) {
    const TUtf8XmlNode* node = parent ? parent->NodeByName(child) : nullptr;
    std::string value = node ? node->AttributeByName(attribute) : std::string();
    return value.empty() ? std::string(fallback) : value;
}

bool BoolOr(const TUtf8XmlNode* options, std::string_view child) {
    const TUtf8XmlNode* node = options->NodeByName(child);
    return node != nullptr && ConfigStrToBool(node->AttributeByName("value"), false);
}

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

TInitialMode InitialModeFromText(const std::string& text) {
    const std::string word = AsciiLower(text);
    if (word == "lastmode")
        return imLastUsed;
    if (word == "replace")
        return imReplace;
    if (word == "script")
        return imScript;
    if (word == "viewfoldersfiles")
        return imViewFoldersFiles;
    return imFind;
}

TFontSize FontSizeFromText(const std::string& text) {
    const std::string word = AsciiLower(text);
    if (word == "large")
        return fsLarge;
    if (word == "medium")
        return fsMedium;
    return fsSmall;
}

TkesMode ModeFromText(const std::string& text) {
    const std::string word = AsciiLower(text);
    if (word == "replace")
        return mdFindAndReplace;
    if (word == "script")
        return mdScript;
    if (word == "viewfoldersfiles")
        return mdViewFoldersFiles;
    return mdFind;
}

const char* InitialModeText(TInitialMode mode) {
    switch (mode) {
    case imLastUsed:
        return "LastMode";
    case imReplace:
        return "Replace";
    case imScript:
        return "Script";
    case imViewFoldersFiles:
        return "ViewFoldersFiles";
    default:
        return "Find";
    }
}

const char* FontSizeText(TFontSize size) {
    switch (size) {
    case fsMedium:
        return "Medium";
    case fsLarge:
        return "Large";
    default:
        return "Small";
    }
}

const char* ModeText(TkesMode mode) {
    switch (mode) {
    case mdFindAndReplace:
        return "Replace";
    case mdScript:
        return "Script";
    case mdViewFoldersFiles:
        return "ViewFoldersFiles";
    default:
        return "Find";
    }
}

void SetDefaults(const std::string& scriptsFolder, int32_t screenWidth, int32_t screenHeight,
                 TkesConfig& config) {
    TkesSettings& s = config.Settings;
    s.InitialMode = imFind;
    s.FontSize = fsSmall;
    s.CaseSensitiveMatching = false;
    s.ReplaceInSitu = false;
    s.ScriptsFolder = scriptsFolder;
    s.EditorFileSpec = kDefaultEditorFileSpec;
    s.EditorCommandLine = kDefaultEditorCommandLine;
    config.Bounds = DefaultFormBounds(screenWidth, screenHeight);
    config.LastMode = mdFind;
}

void ReadOptions(const TUtf8XmlNode& options, const std::string& scriptsFolder, TkesSettings& s) {
    s.InitialMode = InitialModeFromText(ValueOr(&options, "initialmode", "value", "Find"));
    s.FontSize = FontSizeFromText(ValueOr(&options, "fontsize", "value", "small"));
    s.CaseSensitiveMatching = BoolOr(&options, "casesensitivematching");
    s.ReplaceInSitu = BoolOr(&options, "replaceinsitu");
    s.ScriptsFolder = ValueOr(&options, "scriptsfolder", "value", scriptsFolder);
    s.EditorFileSpec = ValueOr(&options, "fileeditor", "filespec", kDefaultEditorFileSpec);
    s.EditorCommandLine = ValueOr(&options, "fileeditor", "commandline", kDefaultEditorCommandLine);
}

void ReadBounds(const TUtf8XmlNode& mainForm, TkesFormBounds& bounds) {
    const std::array<std::pair<const char*, int32_t*>, 4> fields = {{{"top", &bounds.Top},
                                                                     {"left", &bounds.Left},
                                                                     {"height", &bounds.Height},
                                                                     {"width", &bounds.Width}}};
    for (const auto& [name, field] : fields) {
        int32_t value = 0;
        if (TryParseInt32(mainForm.AttributeByName(name), value))
            *field = value;
    }
}

void ReadDocument(const TUtf8XmlNode& root, const std::string& scriptsFolder, TkesConfig& config) {
    if (const TUtf8XmlNode* options = root.NodeByName("options"))
        ReadOptions(*options, scriptsFolder, config.Settings);
    if (const TUtf8XmlNode* forms = root.NodeByName("forms")) {
        if (const TUtf8XmlNode* mainForm = forms->NodeByName("mainform"))
            ReadBounds(*mainForm, config.Bounds);
    }
    if (const TUtf8XmlNode* info = root.NodeByName("info"))
        config.LastMode = ModeFromText(ValueOr(info, "lastmode", "value", "Find"));
}

} // namespace

TkesFormBounds DefaultFormBounds(int32_t screenWidth, int32_t screenHeight) {
    TkesFormBounds bounds;
    bounds.Width = std::min(kFormWidth, screenWidth);
    bounds.Height = std::min(kFormHeight, screenHeight);
    // Integer division truncates toward zero, as the centring wants.
    bounds.Left = std::max(0, (screenWidth - kFormWidth) / 2);
    bounds.Top = std::max(0, (screenHeight - kFormHeight) / 2);
    return bounds;
}

bool ConfigStrToBool(std::string_view value, bool defaultValue) {
    double number = 0;
    if (TryParseNumber(value, number))
        return number != 0;
    const std::string word = AsciiLower(value);
    if (word == "y" || word == "yes" || word == "true")
        return true;
    if (word == "n" || word == "no" || word == "false")
        return false;
    return defaultValue;
}

void LoadConfig(const std::string& fileName, const std::string& defaultScriptsFolder,
                int32_t screenWidth, int32_t screenHeight, TkesConfig& config) {
    const std::string scriptsFolder = WithTrailingSlash(defaultScriptsFolder);
    SetDefaults(scriptsFolder, screenWidth, screenHeight, config);
    std::string text;
    std::string error;
    switch (ReadSettingsFile(fileName, text, error)) {
    case rfMissing:
        return;
    case rfFailed:
        throw std::runtime_error(error);
    case rfOk:
        break;
    }
    TUtf8NativeXml document;
    document.LoadFromString(text); // raises before any value is taken over
    ReadDocument(*document.Root(), scriptsFolder, config);
}

std::string ConfigToXml(const TkesConfig& config) {
    const TkesSettings& s = config.Settings;
    TUtf8NativeXml document("KestravaConfig");
    document.SetXmlFormat(xfReadable);
    TUtf8XmlNode& root = *document.Root();
    TUtf8XmlNode& options = root.NodeNew("options");
    options.NodeNew("initialmode").WriteAttributeString("value", InitialModeText(s.InitialMode));
    options.NodeNew("fontsize").WriteAttributeString("value", FontSizeText(s.FontSize));
    options.NodeNew("casesensitivematching")
        .WriteAttributeString("value", s.CaseSensitiveMatching ? "yes" : "no");
    options.NodeNew("replaceinsitu").WriteAttributeString("value", s.ReplaceInSitu ? "yes" : "no");
    options.NodeNew("scriptsfolder").WriteAttributeString("value", s.ScriptsFolder);
    TUtf8XmlNode& editor = options.NodeNew("fileeditor");
    editor.WriteAttributeString("filespec", s.EditorFileSpec);
    editor.WriteAttributeString("commandline", s.EditorCommandLine);
    TUtf8XmlNode& mainForm = root.NodeNew("forms").NodeNew("mainform");
    mainForm.WriteAttributeInteger("top", config.Bounds.Top);
    mainForm.WriteAttributeInteger("left", config.Bounds.Left);
    mainForm.WriteAttributeInteger("height", config.Bounds.Height);
    mainForm.WriteAttributeInteger("width", config.Bounds.Width);
    root.NodeNew("info")
        .NodeNew("lastmode")
        .WriteAttributeString("value", ModeText(config.LastMode));
    return document.WriteToString();
}

void SaveConfig(const std::string& fileName, const TkesConfig& config) {
    WriteSettingsFile(fileName, ConfigToXml(config));
}

} // namespace kes
