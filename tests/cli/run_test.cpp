// kestrava-cli end to end: the built program run on trees the tests create, its standard output
// compared byte for byte. (The preview diff, checked once with git apply and patch, is golden.)
#include "cli_test_util.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>

namespace {

using namespace kestrava::cli::test;

using RunOutput = CliScratchTest;

// A line too long to keep, in a file large enough to be mapped, is read back from the file a
// piece at a time when it is shown: with matches far apart in it, a match that runs into it from
// the line before, colours and lines around it, it comes out as any line does.
TEST_F(RunOutput, ALineOfSeveralMegabytesComesOutAsAnyLine) {
    std::string line(size_t{6} << 20, 'x');
    std::string painted;
    size_t from = 0;
    for (const size_t at : {size_t{0}, size_t{300} << 10, (size_t{1} << 20) - 2, size_t{5} << 20}) {
        line.replace(at, 4, "beta");
        painted += line.substr(from, at - from) + "\x1b[1;31mbeta\x1b[0m";
        from = at + 4;
    }
    painted += line.substr(from);
    writeFile(m_root + "/long.txt", "alpha\n" + line + "\ngamma\n");
    const std::string f = "./long.txt";
    const auto head = [&](int n) {
        return "Found " + std::to_string(n) + (n == 1 ? " match in " : " matches in ") + f + "\n";
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
        {{"-l"}, f + "\n"},
        {{"-c", "-0"}, f + std::string(1, '\0') + "1\n"},
        {{"-m", "1", "-c", "-e", "alpha|beta|gamma"}, f + ":1\n"},
        {{"-m", "2", "-H", "-e", "alpha|gamma"}, f + ":1:alpha\n" + f + ":3:gamma\n"},
        {{"-H"}, f + ":2:" + line + "\n"},
        {{"-H", "-e", "a\\sbeta"}, f + ":1:alpha\n" + f + ":2:" + line + "\n"},
        {{"--vimgrep", "-e", "beta|gamma"},
         f + ":2:1:" + line + "\n" + f + ":2:307201:" + line + "\n" + f + ":2:1048575:" + line +
             "\n" + f + ":2:5242881:" + line + "\n" + f + ":3:1:gamma\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args{"find", "-d", ".", "-f", "*", "--no-header"};
        if (std::find(c.options.begin(), c.options.end(), "-e") == c.options.end())
            args.insert(args.end(), {"-e", "beta"});
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun run = cli(args);
        EXPECT_TRUE(run.out == c.out) << run.out.size() << " bytes, not " << c.out.size();
        EXPECT_EQ(run.status, 0);
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
    const Keys line = {"absolute_offset", "line_number", "lines", "path", "submatches"};
    const Keys stats = {"bytes_printed",      "bytes_searched", "elapsed",
                        "matched_lines",      "matches",        "searches",
                        "searches_with_match"};
    // The summary is rg's with extras of our own (what was skipped, replaced); the rest exact.
    const std::map<std::string, Keys> dataKeys = {
        {"begin", {"path"}},
        {"match", line},
        {"context", line},
        {"end", replacing ? Keys{"binary_offset", "path", "replaced", "stats"}
                          : Keys{"binary_offset", "path", "stats"}}};
    std::vector<nlohmann::json> messages;
    std::istringstream lines(out);
    for (std::string text; std::getline(lines, text);) {
        SCOPED_TRACE(text);
        const nlohmann::json& message = messages.emplace_back(nlohmann::json::parse(text));
        EXPECT_EQ(keysOf(message), (Keys{"data", "type"}));
        const nlohmann::json& data = message["data"];
        const std::string type = message["type"];
        if (type == "end" || type == "summary") {
            const Keys has = keysOf(data["stats"]);
            EXPECT_TRUE(type == "end" ? has == stats : std::ranges::includes(has, stats));
            const nlohmann::json& elapsed =
                type == "end" ? data["stats"]["elapsed"] : data["elapsed_total"];
            EXPECT_EQ(keysOf(elapsed), (Keys{"human", "nanos", "secs"}));
            EXPECT_LT(elapsed["nanos"].get<int64_t>(), 1'000'000'000);
        }
        if (type == "summary")
            continue;
        EXPECT_EQ(keysOf(data), dataKeys.contains(type) ? dataKeys.at(type) : Keys{"?"}) << type;
        EXPECT_TRUE(isData(data["path"]));
        if (type != "match" && type != "context")
            continue;
        EXPECT_TRUE(isData(data["lines"]));
        EXPECT_EQ(type == "context", data["submatches"].empty());
        if (!data["lines"].contains("text"))
            continue;
        const std::string matched = data["lines"]["text"];
        EXPECT_EQ(file.substr(data["absolute_offset"], matched.size()), matched);
        EXPECT_TRUE(matched.ends_with('\n') ||
                    data["absolute_offset"].get<size_t>() + matched.size() == file.size());
        for (const nlohmann::json& sub : data["submatches"]) {
            EXPECT_EQ(keysOf(sub), (replacing ? Keys{"end", "match", "replacement", "start"}
                                              : Keys{"end", "match", "start"}));
            EXPECT_EQ(
                matched.substr(sub["start"], sub["end"].get<size_t>() - sub["start"].get<size_t>()),
                sub["match"]["text"]);
        }
    }
    return messages;
}

std::vector<std::string> typesOf(const std::vector<nlohmann::json>& messages) {
    std::vector<std::string> types;
    types.reserve(messages.size());
    for (const nlohmann::json& message : messages)
        types.push_back(message["type"]);
    return types;
}

TEST_F(RunOutput, JsonLinesAsRipgrepWritesThem) {
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

} // namespace
