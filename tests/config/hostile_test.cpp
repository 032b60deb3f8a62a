// Hostile settings and history files: entity tricks, deep nesting, huge values, NUL bytes, byte
// order marks and duplicate keys never crash, hang or read another file; a broken file leaves
// the defaults and says so. Saving is atomic, even for two processes saving at once.
#include "config/history.h"
#include "config/settings.h"
#include "config/xml_document.h"

#include "../util/util_test_support.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace kestrava::config {
namespace {

using namespace std::string_literals;

constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

std::string repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i)
        all += text;
    return all;
}

// Each entity names the one below ten times: nine levels would expand to 10^9 "lol"s.
std::string billionLaughs() {
    std::string text = kHead + "<!DOCTYPE KestravaConfig [\r\n<!ENTITY l0 \"lol\">\r\n"s;
    for (int i = 1; i <= 9; ++i)
        text += "<!ENTITY l" + std::to_string(i) + " \"" +
                repeated("&l" + std::to_string(i - 1) + ";", 10) + "\">\r\n";
    return text + "]>\r\n<KestravaConfig><options><scriptsfolder value=\"&l9;\"/>"
                  "<fileeditor filespec=\"&l9;\" commandline=\"%Filename%\"/></options>"
                  "</KestravaConfig>\r\n";
}

// Elements nested depth deep inside the options; left open, the file ends among them.
std::string deepNesting(int depth, bool closed = true) {
    return kHead + "<KestravaConfig><options>"s + repeated("<n>", depth) +
           (closed
                ? repeated("</n>", depth) + "<fontsize value=\"Large\"/></options></KestravaConfig>"
                : "");
}

TEST(HostileSettings, NeverCrashHangOrReadAnotherFileAndFallBackToDefaults) {
    const std::pair<const char*, std::string> cases[] = {
        {"billion laughs", billionLaughs()},
        {"external entity",
         kHead +
             "<!DOCTYPE KestravaConfig [<!ENTITY pw SYSTEM \"file:///etc/passwd\">"
             "<!ENTITY % remote SYSTEM \"/etc/passwd\"> %remote;]>\r\n"
             "<KestravaConfig><options><scriptsfolder value=\"&pw;\"/>"
             "<fileeditor filespec=\"&pw;\" commandline=\"&pw;\"/></options></KestravaConfig>"s},
        {"10,000-deep nesting", deepNesting(10000)},
        {"10 MB attribute", kHead + "<KestravaConfig><options><fileeditor filespec=\""s +
                                std::string(10u << 20, 'e') + "\"/></options></KestravaConfig>"},
        {"NUL bytes", kHead + "<KestravaConfig>\0<options/>\0</KestravaConfig>"s},
        {"unclosed 10,000 deep", deepNesting(10000, false)},
    };
    const std::string passwd = kestest::readFile("/etc/passwd");
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        kestest::TempFolder folder;
        const std::string fileName = folder.path() + "KestravaConfig.xml";
        kestest::writeRaw(fileName, text);
        Config config;
        const std::string error =
            kestest::errorOf([&] { loadConfig(fileName, "/opt/k", 1920, 1080, config); });
        const Settings& s = config.settings;
        // No entity is ever expanded: a value holds at most what the file spells out.
        for (const std::string* value :
             {&s.scriptsFolder, &s.editorFileSpec, &s.editorCommandLine}) {
            EXPECT_LE(value->size(), text.size());
            EXPECT_EQ(value->find(passwd.substr(0, passwd.find('\n'))), std::string::npos);
        }
        if (error != "(no error)") {
            // The user is told, and gets the defaults.
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(s.editorFileSpec, "xdg-open");
            EXPECT_EQ(s.scriptsFolder, "/opt/k/");
            EXPECT_EQ(s.fontSize, FontSize::Small);
        }
    }
}

TEST(HostileSettings, TheXmlLayerRefusesTreesTooDeepToCopyAndKeepsShallowOnes) {
    XmlDocument document;
    EXPECT_EQ(kestest::errorOf([&] { document.loadFromString(deepNesting(10000)); }),
              "Elements nested more than 256 levels deep");
    ASSERT_NO_THROW(document.loadFromString(deepNesting(200)));
    EXPECT_NE(document.writeToString().find("<fontsize value=\"Large\"/>"), std::string::npos);
}

// ---- History files --------------------------------------------------------------------------

TEST(HostileHistory, LoadsWhatItCanWithoutCrashing) {
    const std::string huge(10u << 20, 'h');
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> finds; // the Find entries expected, in order
    } cases[] = {
        {"10 MB line", "[FindExpressions]\n1=" + huge + "\n2=b\n", {huge, "b"}},
        {"NUL bytes", "[FindExpressions]\n1=a\0b\n2=c\n"s, {"a\0b"s, "c"}},
        {"duplicate keys", "[FindExpressions]\n1=a\n1=b\n2=c\n", {}},
        {"duplicate sections", "[FindExpressions]\n1=a\n[FindExpressions]\n1=b\n", {}},
        {"no sections, only noise", std::string(1u << 20, '\n') + "=x\n[", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> finds;
        HistoryLoadCallbacks callbacks;
        callbacks.addItem = [&](HistoryBox box, const std::string& entry) {
            if (box == HistoryBox::FindExpressions)
                finds.push_back(entry);
        };
        const std::string error = kestest::errorOf([&] { loadHistoryFromText(c.text, callbacks); });
        if (error != "(no error)") {
            EXPECT_TRUE(error.starts_with("Error loading configuration: ")) << error;
        }
        for (const std::string& entry : finds)
            EXPECT_LE(entry.size(), c.text.size());
        if (!c.finds.empty()) {
            EXPECT_EQ(finds, c.finds);
        }
    }
}

// ---- Atomic saves ---------------------------------------------------------------------------

Config configWith(const std::string& editor) {
    Config config;
    config.settings.editorFileSpec = editor;
    config.settings.scriptsFolder = "/s/";
    return config;
}

HistoryBoxes historyWith(const std::string& find) {
    HistoryBoxes boxes;
    boxes[HistoryBox::FindExpressions] = {{find, "second"}, 0};
    return boxes;
}

// A kill during a save leaves the old file whole; two processes saving at once leave one whole
// file of either, and no temporary file.
TEST(AtomicSaves, AKillLeavesTheOldFileAndTwoSavesAtOnceOneWholeFile) {
    const struct {
        const char* name;
        std::function<void(const std::string&, const std::string&)> save; // file, distinct text
        std::function<std::string(const std::string&)> text;              // what the save writes
    } savers[] = {
        {"settings",
         [](const std::string& f, const std::string& t) { saveConfig(f, configWith(t)); },
         [](const std::string& t) { return configToXml(configWith(t)); }},
        {"history",
         [](const std::string& f, const std::string& t) { saveHistory(f, historyWith(t)); },
         [](const std::string& t) { return historyToText(historyWith(t)); }},
    };
    for (const auto& c : savers) {
        SCOPED_TRACE(c.name);
        kestest::TempFolder folder;
        const std::string killed = folder.path() + "killed";
        c.save(killed, "old");
        int status = 0;
        ::waitpid(kestest::startChild([&] {
                      ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
                      c.save(killed, std::string(100000, 'n'));
                  }),
                  &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
        EXPECT_EQ(kestest::readFile(killed), c.text("old"));

        const std::string file = folder.path() + "sub/saved";
        const std::string texts[] = {std::string(300000, 'a'), std::string(200000, 'b')};
        std::vector<pid_t> pids;
        for (const std::string& text : texts)
            pids.push_back(kestest::startChild([&] {
                for (int round = 0; round < 40; ++round)
                    c.save(file, text);
            }));
        for (const pid_t pid : pids) {
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
        }
        const std::string saved = kestest::readFile(file);
        EXPECT_TRUE(saved == c.text(texts[0]) || saved == c.text(texts[1]))
            << "a mix of " << saved.size() << " bytes";
        EXPECT_EQ(kestest::names(folder.path() + "sub"), std::vector<std::string>{"saved"});
    }
}

} // namespace
} // namespace kestrava::config
