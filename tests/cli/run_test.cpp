// kestrava-cli end to end: the built program run on trees the tests create, its standard output
// compared byte for byte.
#include "cli_test_util.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using namespace kestrava::cli::test;

class CliTest : public CliScratchTest {
  protected:
    void SetUp() override {
        CliScratchTest::SetUp();
        writeFile(m_root + "/a.txt", "gamma Beta\r\nalpha beta\n");
        writeFile(m_root + "/notes.txt", "nothing here\n");
        writeFile(m_root + "/sub/b.txt", "BETA first\tsecond\n");
        writeFile(m_root + "/sub/c.log", "beta in a log\n");
        setenv("LC_ALL", "en_US.UTF-8", 1);
    }

    CliRun find(std::vector<std::string> extra, const std::string& find = "gamma|beta|alpha") {
        std::vector<std::string> args{"find", "-d", m_root + "<+>", "-f", "*.txt", "-e", find};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli(args);
    }
    std::string header(const std::string& find = "gamma|beta|alpha") const {
        return "Folders:  " + m_root + "<+>\nFiles:    *.txt\nFind:     " + find + "\n\n";
    }
};

TEST_F(CliTest, EachViewPrintsItsRowsOrOnlyItsFiles) {
    const std::string a = "Found 4 matches in " + m_root + "/a.txt\n";
    const std::string b = "Found 1 match in " + m_root + "/sub/b.txt\n";
    const std::string files = a + "\n" + b + "\n\n";
    const std::string found = "Searched 3 files:   Found 5 matches in 2 files";
    const std::string unique = found + " (3 Unique Matches)\n";
    const struct {
        std::vector<std::string> extra;
        std::string out;
        std::string err;
        std::string find = "gamma|beta|alpha";
        int status = 0;
    } cases[] = {
        {{"--view", "lines"},
         header() + a + "gamma Beta\nalpha beta\n\n" + b + "BETA first\n\n\n",
         found + "\n"},
        {{"--view", "matches"},
         header() + a + "gamma\nBeta\nalpha\nbeta\n\n" + b + "BETA\n\n\n",
         found + "\n"},
        {{"--view", "unique"}, header() + "gamma\nBeta\nalpha\n\n", unique},
        {{"--view", "unique-sorted"}, header() + "alpha\nBeta\ngamma\n\n", unique},
        {{"-n", "--view", "lines"},
         header() + a + "1:gamma Beta\n2:alpha beta\n\n" + b + "1:BETA first\n\n\n",
         found + "\n"},
        {{"--line-number", "--view", "matches", "--no-header"},
         a + "1:gamma\n1:Beta\n2:alpha\n2:beta\n\n" + b + "1:BETA\n\n\n",
         found + "\n"},
        {{"--filenames-only"}, header() + files, found + "\n"},
        {{"--filenames-only", "--view", "matches"}, header() + files, found + "\n"},
        {{"--filenames-only", "--view", "unique"}, header() + "\n", unique},
        {{"--filenames-only", "--view", "unique-sorted", "--no-header"}, "\n", unique},
        {{},
         "No matches found\n\n\n",
         "Searched 3 files:   Found 0 matches in 0 files\n",
         "zebra",
         1},
        {{"--case-sensitive", "--no-header", "--view", "matches"},
         b + "BETA\n\n\n",
         "Searched 3 files:   Found 1 match in 1 file\n",
         "BETA"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.extra) + " " + c.find);
        const CliRun run = find(c.extra, c.find);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(run.status, c.status);
    }
}

// A file with more matched lines than are kept at once is written in parts as it is searched:
// its rows still follow its header, in order, between the other files, on one thread or two.
TEST_F(CliTest, AFileOfVeryManyMatchedLinesComesOutWhole) {
    std::string text;
    std::string lines;
    std::string matches;
    for (int i = 1; i <= 10000; ++i) {
        const std::string n = std::to_string(i);
        text += "beta " + n + " alpha\n";
        lines += n + ":beta " + n + " alpha\n";
        matches += n + ":beta\n" + n + ":alpha\n";
    }
    writeFile(m_root + "/big.txt", text);
    const std::string a = "Found 4 matches in " + m_root + "/a.txt\n";
    const std::string big = "Found 20000 matches in " + m_root + "/big.txt\n";
    const std::string b = "Found 1 match in " + m_root + "/sub/b.txt\n";
    for (const char* threads : {"1", "2"}) {
        EXPECT_EQ(find({"-n", "--threads", threads}).out,
                  header() + a + "1:gamma Beta\n2:alpha beta\n\n" + big + lines + "\n" + b +
                      "1:BETA first\n\n\n");
        EXPECT_EQ(find({"-n", "--view", "matches", "--threads", threads}).out,
                  header() + a + "1:gamma\n1:Beta\n2:alpha\n2:beta\n\n" + big + matches + "\n" + b +
                      "1:BETA\n\n\n");
    }
}

// A line too long to keep, in a file large enough to be mapped, is read back from the file a
// piece at a time when it is shown: with matches far apart in it, a match that runs into it from
// the line before, colours and lines around it, it comes out as any line does.
TEST_F(CliTest, ALineOfSeveralMegabytesComesOutAsAnyLine) {
    std::string line(size_t{6} << 20, 'x');
    std::string painted;
    size_t from = 0;
    for (const size_t at : {size_t{0}, size_t{300} << 10, (size_t{1} << 20) - 2, size_t{5} << 20}) {
        line.replace(at, 4, "beta");
        painted += line.substr(from, at - from) + "\x1b[1;31mbeta\x1b[0m";
        from = at + 4;
    }
    painted += line.substr(from);
    const std::string folder = m_root + "/long";
    writeFile(folder + "/long.txt", "alpha\n" + line + "\ngamma\n");
    const auto head = [&](int matches) {
        return "Found " + std::to_string(matches) + (matches == 1 ? " match in " : " matches in ") +
               folder + "/long.txt\n";
    };
    const std::string beta = "2:beta\n";
    const struct {
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {{}, head(4) + line + "\n\n\n"},
        {{"-n", "--view", "matches"}, head(4) + beta + beta + beta + beta + "\n\n"},
        {{"-n", "--color", "always"},
         "\x1b[1m" + head(4).substr(0, head(4).size() - 1) +
             "\x1b[0m\n\x1b[32m2\x1b[0m\x1b[36m:\x1b[0m" + painted + "\n\n\n"},
        {{"-C", "1", "-n"}, head(4) + "1-alpha\n2:" + line + "\n3-gamma\n\n\n"},
        {{"-C", "1", "-n", "-e", "a\\sbeta"}, head(1) + "1:alpha\n2:" + line + "\n3-gamma\n\n\n"},
        {{"--filenames-only"}, head(4) + "\n\n"},
        {{"-l"}, folder + "/long.txt\n"},
        {{"-c", "-0"}, folder + "/long.txt" + std::string(1, '\0') + "1\n"},
        {{"-m", "1", "-c", "-e", "alpha|beta|gamma"}, folder + "/long.txt:1\n"},
        {{"-m", "2", "-H", "-e", "alpha|gamma"},
         folder + "/long.txt:1:alpha\n" + folder + "/long.txt:3:gamma\n"},
        {{"-H"}, folder + "/long.txt:2:" + line + "\n"},
        {{"-H", "-e", "a\\sbeta"},
         folder + "/long.txt:1:alpha\n" + folder + "/long.txt:2:" + line + "\n"},
        {{"--vimgrep", "-e", "beta|gamma"},
         folder + "/long.txt:2:1:" + line + "\n" + folder + "/long.txt:2:307201:" + line + "\n" +
             folder + "/long.txt:2:1048575:" + line + "\n" + folder +
             "/long.txt:2:5242881:" + line + "\n" + folder + "/long.txt:3:1:gamma\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args{"find", "-d", folder, "-f", "*", "--no-header"};
        if (std::find(c.options.begin(), c.options.end(), "-e") == c.options.end())
            args.insert(args.end(), {"-e", "beta"});
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = cli(args);
        EXPECT_TRUE(run.out == c.out) << run.out.size() << " bytes, not " << c.out.size();
        EXPECT_EQ(run.status, 0);
    }
}

TEST_F(CliTest, RichTextDocument) {
    writeFile(m_root + "/brace.txt", "x{y}z\n");
    const CliRun run = find({"--rtf", "--no-header", "--view", "unique"}, "\\{y}");
    EXPECT_NE(run.out.find("\\viewkind4\\uc1\\pard\\f0\\fs20 \\{y\\}\\par\r\n\\par\r\n\\cf0\\par}"),
              std::string::npos)
        << run.out;
}

TEST_F(CliTest, ReplaceIntoCopiesAndInPlace) {
    const std::vector<std::string> base{"replace", "-d",    m_root + "<+>", "-f",
                                        "*.txt",   "-e",    "(b)eta",       "-r",
                                        "[$1]",    "--yes", "--no-header"};
    const CliRun copies = cli(base);
    EXPECT_EQ(copies.status, 0) << copies.err;
    EXPECT_EQ(readFile(m_root + "/kesReplace/a.txt"), "gamma [B]\r\nalpha [b]\n");
    EXPECT_EQ(readFile(m_root + "/sub/kesReplace/b.txt"), "[B] first\tsecond\n");
    EXPECT_EQ(readFile(m_root + "/a.txt"), "gamma Beta\r\nalpha beta\n") << "original untouched";
    EXPECT_FALSE(fs::exists(m_root + "/kesReplace/notes.txt"))
        << "files without matches are not written";

    std::vector<std::string> inSitu = base;
    inSitu.push_back("--in-situ");
    inSitu[2] = m_root; // without subfolders, so the copies made above are not searched
    ASSERT_EQ(cli(inSitu).status, 0);
    EXPECT_EQ(readFile(m_root + "/a.txt"), "gamma [B]\r\nalpha [b]\n");

    std::vector<std::string> remove = base;
    remove[8] = "^$"; // the empty replacement
    remove[2] = m_root + "/sub";
    remove.push_back("--in-situ");
    ASSERT_EQ(cli(remove).status, 0);
    EXPECT_EQ(readFile(m_root + "/sub/b.txt"), " first\tsecond\n");
}

// The checks themselves are the search layer's; here, that each kind of refusal reaches standard
// error with its line breaks made the console's, and exits 2 with nothing on standard output.
// As grep does: a folder that is not there is said, the others are searched, and the status is
// an error even when something was found, unless -q found it.
TEST_F(CliTest, FoldersThatAreNotThereAreSaidAndTheOthersSearched) {
    const struct {
        const char* pattern;
        const char* quiet;
        int status;
    } cases[] = {{"gamma", "--no-header", 2}, {"zebra", "--no-header", 2}, {"gamma", "-q", 0}};
    for (const auto& [pattern, quiet, status] : cases) {
        const CliRun run = cli(
            {"find", "-d", m_root + "/gone", "-d", m_root, "-f", "*.txt", "-e", pattern, quiet});
        const std::string said = "kestrava-cli: " + m_root + "/gone: No such file or directory\n";
        EXPECT_NE(run.err.find(said), std::string::npos) << run.err;
        EXPECT_EQ(run.status, status) << pattern;
    }
}

// The walk as grep and ripgrep users expect it, typed as they type it: hidden names only with
// --hidden and never .git, the folder levels of --max-depth, a file named as a PATH searched
// alone (masks or not), -w and -x.
TEST_F(CliTest, ShortFormWalksAsRipgrepDoes) {
    const std::string top = m_root + "/walk";
    for (const char* name :
         {"/.env", "/.git/config", "/.hid/x.txt", "/a.txt", "/s/b.txt", "/s/t/c.txt"})
        writeFile(top + name, "key word\n");
    const auto counts = [&](const std::vector<std::string>& names) {
        std::string out;
        for (const std::string& name : names)
            out += top + name + ":1\n";
        return out;
    };
    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"word", top}, counts({"/a.txt", "/s/b.txt", "/s/t/c.txt"})},
        {{"--hidden", "word", top},
         counts({"/.env", "/a.txt", "/.hid/x.txt", "/s/b.txt", "/s/t/c.txt"})},
        {{"--max-depth", "2", "word", top}, counts({"/a.txt", "/s/b.txt"})},
        {{"--max-depth", "0", "word", top, top + "/s/b.txt"}, counts({"/s/b.txt"})},
        {{"-f", "*.md", "word", top + "/s/b.txt"}, counts({"/s/b.txt"})},
        {{"-w", "wor", top}, ""},
        {{"-x", "key word", top + "/a.txt"}, counts({"/a.txt"})},
        {{"-x", "key", top + "/a.txt"}, ""},
        {{"-g", "!b.txt", "word", top}, counts({"/a.txt", "/s/t/c.txt"})},
        {{"-g", "c.*", "word", top}, counts({"/s/t/c.txt"})},
        {{"-m", "0", "word", top}, ""},
        {{"-s", "WORD", top}, ""},
        {{"-s", "-i", "WORD", top + "/a.txt"}, counts({"/a.txt"})},
        {{"-S", "WORD", top}, ""},
        {{"-F", "y w", top + "/a.txt"}, counts({"/a.txt"})},
        {{"-F", "k.y", top + "/a.txt"}, ""},
        {{"-e", "absent", "-e", "word", top + "/a.txt"}, counts({"/a.txt"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::vector<std::string> args{"find", "-c"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun run = cli(args);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.status, c.out.empty() ? 1 : 0) << run.err;
    }
}

TEST_F(CliTest, ContextLinesAsGrepWritesThem) {
    const std::string folder = m_root + "/ctx";
    // Groups that touch run on without "--"; the last line has no line feed.
    writeFile(folder + "/a.txt", "l1\nhit a\nl3\nl4\nhit b\nl6\nl7\nl8\nl9\nhit c");
    writeFile(folder + "/b.txt", "x\r\nhit\r\ny\r\nz\r\n"); // CR LF: the CR is no part of a line
    writeFile(folder + "/c.txt", "hit\nhit hit\n\nend\n");  // nothing after the final line feed
    writeFile(folder + "/m.txt", "a;\n\nb;\n\nc\n");        // a match starts where another ends
    const auto head = [&](const char* name, int matches) {
        return "Found " + std::to_string(matches) + " match" + (matches == 1 ? "" : "es") + " in " +
               folder + "/" + name + "\n";
    };
    const struct {
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {{"-n", "-C1"},
         head("a.txt", 3) + "1-l1\n2:hit a\n3-l3\n4-l4\n5:hit b\n6-l6\n--\n9-l9\n10:hit c\n\n" +
             head("b.txt", 1) + "1-x\n2:hit\n3-y\n\n" + head("c.txt", 3) +
             "1:hit\n2:hit hit\n3-\n\n\n"},
        {{"-B", "2", "-e", "hit c|end"},
         head("a.txt", 1) + "l8\nl9\nhit c\n\n" + head("c.txt", 1) + "hit hit\n\nend\n\n\n"},
        {{"-A", "0", "-e", "hit b"}, head("a.txt", 1) + "hit b\n\n\n"},
        // Matches over line ends are shown whole, each of their rows numbered.
        {{"-n", "-C1", "-e", ";\\n\\n\\w"}, head("m.txt", 2) + "1:a;\n2:\n3:b;\n4:\n5:c\n\n\n"},
        {{"-n", "--view", "matches", "-e", ";\\n\\n\\w"},
         head("m.txt", 2) + "1:;\n2:\n3:b\n3:;\n4:\n5:c\n\n\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args{"find", "-d", folder, "-f", "*.txt", "--no-header"};
        if (std::find(c.options.begin(), c.options.end(), "-e") == c.options.end())
            args.insert(args.end(), {"-e", "hit"});
        args.insert(args.end(), c.options.begin(), c.options.end());
        EXPECT_EQ(cli(args).out, c.out);
    }
}

TEST_F(CliTest, BinaryFilesAreLeftOutOnlyWhenAskedAndCounted) {
    const std::string folder = m_root + "/bin";
    writeFile(folder + "/early.dat", std::string("beta\0", 5));
    writeFile(folder + "/late.dat", std::string(64 * 1024, 'x') + std::string("\0beta", 5));
    for (const bool skip : {false, true}) {
        std::vector<std::string> args{
            "find", "-d", folder, "-f", "*.dat", "-e", "beta", "--filenames-only", "--no-header"};
        if (skip)
            args.push_back("--skip-binary");
        const CliRun run = cli(args);
        EXPECT_EQ(run.err,
                  skip ? "Searched 1 file:   Found 1 match in 1 file, 1 binary file skipped\n"
                       : "Searched 2 files:   Found 2 matches in 2 files\n");
    }
}

TEST_F(CliTest, ColourOnlyWhenAskedOrOnATerminalAndQuietSaysNothing) {
    const std::string plain = find({"--no-header", "-n"}).out;
    const struct {
        std::vector<std::string> options;
        const char* noColor; // NO_COLOR, or null for unset
        bool colored;
    } cases[] = {
        {{"--color=always"}, nullptr, true},
        {{"--color=always"}, "1", true},
        {{"--color=never"}, nullptr, false},
        {{}, nullptr, false}, // auto, and standard output is a file
        {{"--color=auto"}, "1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        if (c.noColor != nullptr)
            setenv("NO_COLOR", c.noColor, 1);
        std::vector<std::string> options{"--no-header", "-n"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        const std::string out = find(options).out;
        unsetenv("NO_COLOR");
        if (c.colored) {
            EXPECT_NE(out.find("\x1b[1;31mgamma\x1b[0m"), std::string::npos) << out;
            EXPECT_NE(out.find("\x1b[1mFound 4 matches in "), std::string::npos) << out;
        } else {
            EXPECT_EQ(out, plain);
        }
    }
    for (const auto& [pattern, status] : {std::pair{"beta", 0}, std::pair{"zebra", 1}}) {
        const CliRun quiet = find({"-q"}, pattern);
        EXPECT_EQ(quiet.out + quiet.err, "");
        EXPECT_EQ(quiet.status, status);
    }
}

// The keys of a JSON object, in order.
std::vector<std::string> keysOf(const nlohmann::json& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items())
        keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// Reads the output as rg's JSON lines reader does, strictly: each message has the keys of its
// type and no others (the replace's extras aside), every text is {"text"} or {"bytes"}, and each
// line and match text is the file's bytes at its offset. Returns the messages.
std::vector<nlohmann::json> readJsonStrictly(const std::string& out, const std::string& file,
                                             bool replacing) {
    using Keys = std::vector<std::string>;
    const auto isData = [](const nlohmann::json& data) {
        return data.is_object() && data.size() == 1 &&
               (data.contains("text") ? data["text"].is_string() : data["bytes"].is_string());
    };
    const auto isElapsed = [](const nlohmann::json& elapsed) {
        return keysOf(elapsed) == Keys{"human", "nanos", "secs"} &&
               elapsed["nanos"].get<int64_t>() < 1'000'000'000;
    };
    const Keys rgStats = {"bytes_printed",      "bytes_searched", "elapsed",
                          "matched_lines",      "matches",        "searches",
                          "searches_with_match"};
    std::vector<nlohmann::json> messages;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json& message = messages.emplace_back(nlohmann::json::parse(line));
        SCOPED_TRACE(line);
        EXPECT_EQ(keysOf(message), (Keys{"data", "type"}));
        const nlohmann::json& data = message["data"];
        const std::string type = message["type"];
        if (type != "summary") {
            EXPECT_TRUE(isData(data["path"]));
        }
        if (type == "begin") {
            EXPECT_EQ(keysOf(data), Keys{"path"});
        } else if (type == "match" || type == "context") {
            EXPECT_EQ(keysOf(data),
                      (Keys{"absolute_offset", "line_number", "lines", "path", "submatches"}));
            EXPECT_TRUE(isData(data["lines"]));
            EXPECT_EQ(type == "context", data["submatches"].empty());
            if (!data["lines"].contains("text"))
                continue;
            const std::string text = data["lines"]["text"];
            EXPECT_EQ(file.substr(data["absolute_offset"], text.size()), text);
            EXPECT_TRUE(text.ends_with('\n') ||
                        data["absolute_offset"].get<size_t>() + text.size() == file.size());
            for (const nlohmann::json& sub : data["submatches"]) {
                EXPECT_EQ(keysOf(sub), (replacing ? Keys{"end", "match", "replacement", "start"}
                                                  : Keys{"end", "match", "start"}));
                EXPECT_EQ(text.substr(sub["start"],
                                      sub["end"].get<size_t>() - sub["start"].get<size_t>()),
                          sub["match"]["text"]);
            }
        } else if (type == "end") {
            EXPECT_EQ(keysOf(data), (replacing ? Keys{"binary_offset", "path", "replaced", "stats"}
                                               : Keys{"binary_offset", "path", "stats"}));
            EXPECT_EQ(keysOf(data["stats"]), rgStats);
            EXPECT_TRUE(isElapsed(data["stats"]["elapsed"]));
        } else {
            EXPECT_EQ(type, "summary");
            EXPECT_TRUE(isElapsed(data["elapsed_total"]));
            for (const std::string& key : rgStats)
                EXPECT_TRUE(data["stats"].contains(key)) << key;
        }
    }
    return messages;
}

std::vector<std::string> typesOf(const std::vector<nlohmann::json>& messages) {
    std::vector<std::string> types;
    for (const nlohmann::json& message : messages)
        types.push_back(message["type"]);
    return types;
}

TEST_F(CliTest, JsonLinesAsRipgrepWritesThem) {
    const std::string latin1 = "caf\xe9 beta\nalpha\nbeta\n";
    writeFile(m_root + "/j/latin1.txt", latin1);
    const CliRun run = cli({"find", "-d", m_root + "/j", "-f", "*.txt", "-e", "beta|alpha\\nbeta",
                            "--json", "-B", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<nlohmann::json> objects = readJsonStrictly(run.out, latin1, false);
    ASSERT_EQ(typesOf(objects),
              (std::vector<std::string>{"begin", "match", "match", "end", "summary"}));
    const nlohmann::json& first = objects[1]["data"];
    EXPECT_EQ(first["lines"], nlohmann::json({{"bytes", "Y2Fm6SBiZXRhCg=="}})) << "not UTF-8";
    EXPECT_EQ(first["submatches"][0],
              nlohmann::json({{"match", {{"text", "beta"}}}, {"start", 5}, {"end", 9}}));
    const nlohmann::json& spanning = objects[2]["data"];
    EXPECT_EQ(spanning["lines"]["text"], "alpha\nbeta\n");
    EXPECT_EQ(spanning["line_number"], 2);
    EXPECT_EQ(spanning["absolute_offset"], 10);
    const nlohmann::json& stats = objects[3]["data"]["stats"];
    EXPECT_EQ(stats["matches"], 2);
    EXPECT_EQ(stats["matched_lines"], 3) << "each line a match spans";
    EXPECT_EQ(stats["bytes_searched"], latin1.size());
    EXPECT_EQ(objects[4]["data"]["stats"]["matched_lines"], 3);
    EXPECT_EQ(objects[4]["data"]["stats"]["bytes_printed"], stats["bytes_printed"]);

    // Matches that end in a tab or a line feed are whole; two on one line make one message,
    // between the context lines around it.
    const std::string tabs = "one\nx\tbeta\tbeta\ntwo\nthree\nfour\nbeta \nend\n";
    writeFile(m_root + "/t/tabs.txt", tabs);
    const std::vector<nlohmann::json> context = readJsonStrictly(
        cli({"find", "-d", m_root + "/t", "-f", "*", "-e", "beta\\s", "--json", "-C", "1"}).out,
        tabs, false);
    EXPECT_EQ(typesOf(context),
              (std::vector<std::string>{"begin", "context", "match", "context", "context", "match",
                                        "context", "end", "summary"}));
    std::vector<std::pair<int, int>> numbered; // line number, offset
    for (const nlohmann::json& message : context)
        if (message["data"].contains("line_number"))
            numbered.emplace_back(message["data"]["line_number"],
                                  message["data"]["absolute_offset"]);
    EXPECT_EQ(numbered, (std::vector<std::pair<int, int>>{
                            {1, 0}, {2, 4}, {3, 16}, {5, 26}, {6, 31}, {7, 37}}));
    EXPECT_EQ(context[2]["data"]["submatches"][1],
              nlohmann::json({{"match", {{"text", "beta\n"}}}, {"start", 7}, {"end", 12}}));

    // A replace gives what took each match's place.
    const CliRun replaced = cli({"replace", "-d", m_root + "/j", "-f", "*.txt", "-e", "(b)eta",
                                 "-r", "$1$1", "--json", "--yes"});
    const std::vector<nlohmann::json> changes = readJsonStrictly(replaced.out, latin1, true);
    ASSERT_GE(changes.size(), 2u) << replaced.err;
    EXPECT_EQ(changes[1]["data"]["submatches"][0]["replacement"], nlohmann::json({{"text", "bb"}}));
    EXPECT_EQ(changes[changes.size() - 2]["data"]["replaced"], true);
}

TEST_F(CliTest, PreviewIsADiffThatGitAndPatchApplyAsTheReplaceWould) {
    if (std::system("git --version >/dev/null 2>&1 && patch --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "git and patch are needed";
    const std::string folder = m_root + "/p";
    std::string many;
    for (int i = 1; i <= 30; ++i)
        many += i % 9 == 0 ? "beta and beta\n" : "line " + std::to_string(i) + "\n";
    writeFile(folder + "/many.txt", many);
    writeFile(folder + "/crlf.txt", "x\r\nbeta\r\ny");      // CR LF, no line feed at the end
    writeFile(folder + "/same.txt", "nothing to change\n"); // not in the diff
    // Names that patch or git apply would misread unquoted, or that would break their line. The
    // line feeds are in folder names: GNU patch 2.8 refuses to write a file whose name has one.
    const std::vector<std::string> odd = {"a b.txt",   "t\tb.txt",       "d\nn/x.txt",
                                          "q\"u.txt",  "b\\s.txt",       "u\xff\xc3\xa9.txt",
                                          "s p\".txt", " lead d\n/x.txt"};
    for (const std::string& name : odd)
        writeFile(folder + "/" + name, "beta in " + name + "\n");
    const auto run = [&](const std::string& target, std::vector<std::string> extra) {
        std::vector<std::string> args{"replace", "-d",   target + "<+>", "-f",   "*.txt",
                                      "-e",      "beta", "-r",           "GAMMA"};
        args.insert(args.end(), extra.begin(), extra.end());
        return cli(args);
    };
    const CliRun preview = run(folder, {"--preview"});
    ASSERT_EQ(preview.status, 0) << preview.err;
    EXPECT_EQ(readFile(folder + "/many.txt"), many) << "a preview writes nothing";
    EXPECT_EQ(preview.out.find("same.txt"), std::string::npos);
    size_t files = 0;
    for (size_t at = 0; (at = preview.out.find("\n+++ ", at)) != std::string::npos; ++at)
        ++files;
    EXPECT_EQ(files, odd.size() + 2);
    writeFile(m_scratch / "p.diff", preview.out);
    const std::string diff = (m_scratch / "p.diff").string();
    // Each tool applies it in turn to the untouched tree, kept in r, and gives what the replace
    // writes in q; patch goes last, so the tree stays replaced.
    fs::copy(folder, m_root + "/q", fs::copy_options::recursive);
    fs::copy(folder, m_root + "/r", fs::copy_options::recursive);
    ASSERT_EQ(run(m_root + "/q", {"--in-situ", "--yes"}).status, 0);
    std::vector<std::string> names = odd;
    names.insert(names.end(), {"many.txt", "crlf.txt", "same.txt"});
    for (const std::string apply : {"cd / && git apply '", "patch -s -p1 -d / < '"}) {
        SCOPED_TRACE(apply);
        fs::remove_all(folder);
        fs::copy(m_root + "/r", folder, fs::copy_options::recursive);
        ASSERT_EQ(std::system((apply + diff + "'").c_str()), 0);
        for (const std::string& name : names)
            EXPECT_EQ(readFile(folder + "/" + name), readFile(m_root + "/q/" + name)) << name;
    }
    const CliRun nothing = run(folder, {"--preview"});
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.status, 1) << "nothing would change";
}

TEST_F(CliTest, ValidationMessagesAndExitCodes) {
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"find"}, "Nothing to \"Find\" specified\n"},
        {{"find", "-d", m_root, "-e", "x"}, "No File(s) specified\n"},
        {{"replace", "-d", m_root, "-f", "*.txt", "-e", "(a)", "-r", "$2", "--yes"},
         "Error during Replace: \"Error in Replacement string \"$2\" at offset (2): Invalid "
         "Capture "
         "Group \"$2\"\" reported by Method \"Match\" on Class \"TldiRegExMulti\" when calling "
         "\"MatchAndReplace\".\nFile: " +
             m_root + "/a.txt\n0 files were replaced before the error; 2 files were not touched\n"},
        {{"replace", "-d", m_root, "-f", "*.txt", "-e", "beta", "-r", "x"},
         "Replacing needs a confirmation: run on a terminal or add --yes\n"},
        {{"find", "--view", "grid"},
         "kestrava-cli: --view: grid not in {lines,matches,unique,unique-sorted}\n"
         "Try 'kestrava-cli --help'.\n"},
    };
    for (const auto& c : cases) {
        const CliRun run = cli(c.args);
        EXPECT_EQ(run.err, c.err) << c.args.back();
        EXPECT_EQ(run.status, 2) << c.args.back();
        EXPECT_EQ(run.out, "");
    }
    EXPECT_FALSE(fs::exists(m_root + "/kesReplace")) << "nothing was written without a yes";
}

TEST_F(CliTest, HelpAndVersion) {
    const CliRun help = cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("kestrava-cli find"), std::string::npos);
    EXPECT_EQ(cli({"--version"}).out, "kestrava-cli 1.1\n");
}

} // namespace
