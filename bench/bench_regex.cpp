// Matches over a 64 MiB text: JIT-compiled patterns against the interpreter.
#include "regex/pattern_table.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

const std::string& text() {
    static const std::string kText = [] {
        const char* words[] = {"the",    "river",   "stone",  "running", "cloud",   "of",
                               "apple",  "bring",   "singer", "towards", "kestrel", "and",
                               "string", "morning", "quiet",  "garden",  "walked",  "to",
                               "light",  "over",    "thing",  "before",  "window",  "a"};
        std::mt19937 random(42);
        std::uniform_int_distribution<size_t> pick(0, std::size(words) - 1);
        std::string out;
        out.reserve(64u << 20);
        size_t lineLength = 0;
        while (out.size() < (64u << 20)) {
            const char* word = words[pick(random)];
            out += word;
            lineLength += std::char_traits<char>::length(word) + 1;
            out += lineLength > 70 ? '\n' : ' ';
            lineLength = lineLength > 70 ? 0 : lineLength;
        }
        return out;
    }();
    return kText;
}

void BM_Matches(benchmark::State& state, const char* pattern, bool jit) {
    kestrava::regex::PatternSet regex;
    if (!jit)
        regex.setDefaultPatternOptions({kestrava::regex::PatternOption::IgnoreCase,
                                        kestrava::regex::PatternOption::DotMatchesAll,
                                        kestrava::regex::PatternOption::NoStudy});
    int32_t id = 0;
    kestrava::regex::PatternStatus status;
    if (!regex.addPattern(pattern, id, status)) {
        state.SkipWithError(status.errorMessage.c_str());
        return;
    }
    const std::string& sample = text();
    kestrava::regex::MatchCollection results;
    for (auto _ : state) {
        regex.matches(id, sample.data(), static_cast<uint32_t>(sample.size()), 0, {}, results);
        benchmark::DoNotOptimize(results.data());
    }
    state.counters["matches"] = static_cast<double>(results.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * sample.size()));
}

BENCHMARK_CAPTURE(BM_Matches, literal_jit, "kestrel", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, literal_interpreter, "kestrel", false)->Unit(benchmark::kMillisecond);
// Absent from the text: the pure scanning speed of the search.
BENCHMARK_CAPTURE(BM_Matches, rare_literal, "zebra", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, rare_alternation, "zebra|quartz|yak", true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, alternation_jit, "apple|river|stone|cloud|garden", true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, alternation_interpreter, "apple|river|stone|cloud|garden", false)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, ing_words_jit, "\\b\\w+ing\\b", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, ing_words_interpreter, "\\b\\w+ing\\b", false)
    ->Unit(benchmark::kMillisecond);
// Words of six letters or more: one attempt where each begins, none inside words or between.
BENCHMARK_CAPTURE(BM_Matches, long_words_jit, "\\b(?:[A-Z][a-z]+){3}\\b", true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Matches, long_words_engine_alone, "\\b(?:[A-Z][a-z]+){3}\\b(?#)", true)
    ->Unit(benchmark::kMillisecond);

} // namespace
