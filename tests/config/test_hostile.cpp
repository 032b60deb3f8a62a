// Hostile settings and history files: entity tricks, deep nesting, huge values, NUL bytes, byte
// order marks and duplicate keys never crash, hang or read another file; a broken file leaves
// the defaults and says so. Saving is atomic, even for two processes saving at once.
#include "config/NativeXml.h"
#include "config/kes_uHistory.h"
#include "config/kes_uLoadConfig.h"

#include "../util/UtilTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

namespace kes {
namespace {

using namespace std::string_literals;

constexpr const char* kHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

// Each entity names the one below ten times: nine levels would expand to 10^9 "lol"s.
std::string BillionLaughs() {
    std::string text =
        std::string(kHead) + "<!DOCTYPE KestravaConfig [\r\n<!ENTITY l0 \"lol\">\r\n";
    for (int i = 1; i <= 9; ++i) {
        text += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            text += "&l" + std::to_string(i - 1) + ";";
        text += "\">\r\n";
    }
    return text + "]>\r\n<KestravaConfig><options><scriptsfolder value=\"&l9;\"/>"
                  "<fileeditor filespec=\"&l9;\" commandline=\"%Filename%\"/></options>"
                  "</KestravaConfig>\r\n";
}

std::string ExternalEntity() {
    return std::string(kHead) +
           "<!DOCTYPE KestravaConfig [<!ENTITY pw SYSTEM \"file:///etc/passwd\">"
           "<!ENTITY % remote SYSTEM \"/etc/passwd\"> %remote;]>\r\n"
           "<KestravaConfig><options><scriptsfolder value=\"&pw;\"/>"
           "<fileeditor filespec=\"&pw;\" commandline=\"&pw;\"/></options>"
           "</KestravaConfig>\r\n";
}

std::string DeepNesting(int depth) {
    std::string text = std::string(kHead) + "<KestravaConfig><options>";
    for (int i = 0; i < depth; ++i)
        text += "<n>";
    for (int i = 0; i < depth; ++i)
        text += "</n>";
    return text + "<fontsize value=\"Large\"/></options></KestravaConfig>\r\n";
}

std::string HugeAttribute() {
    return std::string(kHead) + "<KestravaConfig><options><fileeditor filespec=\"" +
           std::string(10u << 20, 'e') + "\" commandline=\"%Filename%\"/></options>" +
           "</KestravaConfig>\r\n";
}

struct HostileConfigCase {
    const char* Name;
    std::string Text;
};

TEST(HostileSettings, NeverCrashHangOrReadAnotherFileAndFallBackToDefaults) {
    const HostileConfigCase cases[] = {
        {"billion laughs", BillionLaughs()},
        {"external entity", ExternalEntity()},
        {"10,000-deep nesting", DeepNesting(10000)},
        {"10 MB attribute", HugeAttribute()},
        {"NUL bytes", std::string(kHead) + "<KestravaConfig>\0<options/>\0</KestravaConfig>"s},
        {"unclosed 10,000 deep", std::string(kHead) + "<KestravaConfig>" +
                                     [] {
                                         std::string open;
                                         for (int i = 0; i < 10000; ++i)
                                             open += "<n>";
                                         return open;
                                     }()},
    };
    const std::string passwd = kestest::ReadFile("/etc/passwd");
    for (const HostileConfigCase& c : cases) {
        SCOPED_TRACE(c.Name);
        kestest::TempFolder folder;
        const std::string fileName = folder.Path() + "KestravaConfig.xml";
        kestest::WriteRaw(fileName, c.Text);
        TkesConfig config;
        const std::string error =
            kestest::ErrorOf([&] { LoadConfig(fileName, "/opt/k", 1920, 1080, config); });
        const TkesSettings& s = config.Settings;
        // No entity is ever expanded: a value holds at most what the file spells out.
        for (const std::string* value :
             {&s.ScriptsFolder, &s.EditorFileSpec, &s.EditorCommandLine}) {
            EXPECT_LE(value->size(), c.Text.size());
            if (!passwd.empty()) {
                EXPECT_EQ(value->find(passwd.substr(0, passwd.find('\n'))), std::string::npos);
            }
        }
        if (error != "(no error)") {
            // The user is told, and gets the defaults.
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(s.EditorFileSpec, "xdg-open");
            EXPECT_EQ(s.ScriptsFolder, "/opt/k/");
            EXPECT_EQ(s.FontSize, fsSmall);
        }
    }
}

TEST(HostileSettings, TheXmlLayerRefusesTreesTooDeepToCopyAndKeepsShallowOnes) {
    TUtf8NativeXml document;
    EXPECT_EQ(kestest::ErrorOf([&] { document.LoadFromString(DeepNesting(10000)); }),
              "Elements nested more than 256 levels deep");
    ASSERT_NO_THROW(document.LoadFromString(DeepNesting(200)));
    EXPECT_NE(document.WriteToString().find("<fontsize value=\"Large\"/>"), std::string::npos);
}

// ---- History files --------------------------------------------------------------------------

struct HostileHistoryCase {
    const char* Name;
    std::string Text;
    std::vector<std::string> Finds; // the Find entries expected, in order
};

TEST(HostileHistory, LoadsWhatItCanWithoutCrashing) {
    const std::string huge(10u << 20, 'h');
    const HostileHistoryCase cases[] = {
        {"10 MB line", "[FindExpressions]\n1=" + huge + "\n2=b\n", {huge, "b"}},
        {"NUL bytes", "[FindExpressions]\n1=a\0b\n2=c\n"s, {"a\0b"s, "c"}},
        {"byte order mark", "\xef\xbb\xbf[FindExpressions]\r\n1=a\r\n", {"a"}},
        {"duplicate keys", "[FindExpressions]\n1=a\n1=b\n2=c\n", {}},
        {"duplicate sections", "[FindExpressions]\n1=a\n[FindExpressions]\n1=b\n", {}},
        {"no sections, only noise", std::string(1u << 20, '\n') + "=x\n[", {}},
    };
    for (const HostileHistoryCase& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> finds;
        THistoryLoadCallbacks callbacks;
        callbacks.AddItem = [&](THistoryBox box, const std::string& entry) {
            if (box == hbFindExpressions)
                finds.push_back(entry);
        };
        const std::string error = kestest::ErrorOf([&] { LoadHistoryFromText(c.Text, callbacks); });
        if (error != "(no error)") {
            EXPECT_TRUE(error.starts_with("Error loading configuration: ")) << error;
        }
        for (const std::string& entry : finds)
            EXPECT_LE(entry.size(), c.Text.size());
        if (!c.Finds.empty()) {
            EXPECT_EQ(finds, c.Finds);
        }
    }
}

// ---- Atomic saves ---------------------------------------------------------------------------

TkesConfig ConfigWith(const std::string& editor) {
    TkesConfig config;
    config.Settings.EditorFileSpec = editor;
    config.Settings.ScriptsFolder = "/s/";
    return config;
}

THistoryBoxes HistoryWith(const std::string& find) {
    THistoryBoxes boxes;
    boxes[hbFindExpressions].Items = {find, "second"};
    boxes[hbFindExpressions].ItemIndex = 0;
    return boxes;
}

struct SaveCase {
    const char* Name;
    std::function<void(const std::string&, const std::string&)> Save; // file, distinct text
    std::function<std::string(const std::string&)> Text;              // what Save writes
};

const SaveCase kSaves[] = {
    {"settings", [](const std::string& f, const std::string& t) { SaveConfig(f, ConfigWith(t)); },
     [](const std::string& t) { return ConfigToXml(ConfigWith(t)); }},
    {"history", [](const std::string& f, const std::string& t) { SaveHistory(f, HistoryWith(t)); },
     [](const std::string& t) { return HistoryToText(HistoryWith(t)); }},
};

TEST(AtomicSaves, AKillDuringASaveLeavesTheOldFileWhole) {
    for (const SaveCase& c : kSaves) {
        SCOPED_TRACE(c.Name);
        kestest::TempFolder folder;
        const std::string file = folder.Path() + "saved";
        c.Save(file, "old");
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("KESTRAVA_FAULT", "after-temp-write:abort", 1);
            c.Save(file, std::string(100000, 'n'));
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the fault hook did not fire";
        EXPECT_EQ(kestest::ReadFile(file), c.Text("old"));
    }
}

TEST(AtomicSaves, TwoProcessesSavingAtOnceLeaveOneWholeFile) {
    constexpr int kRounds = 40;
    for (const SaveCase& c : kSaves) {
        SCOPED_TRACE(c.Name);
        kestest::TempFolder folder;
        const std::string file = folder.Path() + "sub/saved";
        const std::string texts[] = {std::string(300000, 'a'), std::string(200000, 'b')};
        pid_t pids[2];
        for (int i = 0; i < 2; ++i) {
            pids[i] = ::fork();
            if (pids[i] == 0) {
                for (int round = 0; round < kRounds; ++round)
                    c.Save(file, texts[i]);
                ::_exit(0);
            }
        }
        for (const pid_t pid : pids) {
            int status = 0;
            ::waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
        }
        const std::string saved = kestest::ReadFile(file);
        EXPECT_TRUE(saved == c.Text(texts[0]) || saved == c.Text(texts[1]))
            << "a mix of " << saved.size() << " bytes";
        EXPECT_EQ(kestest::Names(folder.Path() + "sub"), std::vector<std::string>{"saved"});
    }
}

} // namespace
} // namespace kes
