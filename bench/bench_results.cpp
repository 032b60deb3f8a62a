// Building each view from results holding 1,000,000 matches.
#include "results/results.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>

namespace {

// 10,000 files of 50 lines with two matches each, drawn from `words` distinct words in two
// letter cases.
kestrava::search::SearchResults millionMatches(int words) {
    kestrava::search::SearchResults r;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> word(0, words - 1);
    for (int f = 0; f < 10000; ++f) {
        kestrava::search::FileMatches file;
        file.fileName = "file" + std::to_string(f) + ".txt";
        if (f < 100)
            r.folders.push_back("/corpus/d" + std::to_string(f) + "/");
        file.folderIndex = f % 100;
        for (int l = 0; l < 50; ++l) {
            const int w = word(random);
            const std::string a = (w % 2 ? "Word" : "word") + std::to_string(w);
            const std::string b = "term" + std::to_string(word(random));
            kestrava::search::MatchedLine line;
            line.setText("  " + a + " and " + b + " end");
            const auto aLen = static_cast<int32_t>(a.size());
            const auto bLen = static_cast<int32_t>(b.size());
            line.addMatch({3, aLen});
            line.addMatch({8 + aLen, bLen});
            file.lines.push_back(std::move(line));
        }
        file.numMatches = 100;
        r.totalMatches += 100;
        r.totalLines += 50;
        r.files.push_back(std::move(file));
    }
    r.filesScanned = r.filesWithMatches = 10000;
    return r;
}

void BM_BuildView(benchmark::State& state) {
    setenv("LC_ALL", "en_US.UTF-8", 1);
    const auto view = static_cast<kestrava::results::View>(state.range(0));
    static const kestrava::search::SearchResults kFewWords = millionMatches(5000);
    static const kestrava::search::SearchResults kAllDistinct = millionMatches(1 << 30);
    const kestrava::search::SearchResults& results = state.range(1) == 0 ? kFewWords : kAllDistinct;
    kestrava::results::Rows rows;
    for (auto _ : state) {
        kestrava::results::buildResultRows(results, view, rows);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = static_cast<double>(rows.size());
}

// Arguments: the view (0 lines, 1 matches, 2 unique, 3 unique sorted); 0 for 5,000 distinct
// words, 1 for nearly every match distinct.
BENCHMARK(BM_BuildView)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMillisecond);

} // namespace
