// Speed of a whole search run over a generated tree: 2,000 files of 100 KiB in 20 folders
// (200 MiB), searched for a rare literal and for a word that matches on many lines, on one
// thread, without (argument 0) and with (1) line numbers.
#include "search/search.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

constexpr int kFolders = 20;
constexpr int kFilesPerFolder = 100;
constexpr size_t kFileBytes = 100 * 1024;

// Deterministic text: words drawn with a small generator, 60-odd bytes per line; "zebra42"
// appears once in every 50 files, "delta" on about one line in ten.
std::string generateFile(uint32_t seed, bool withLiteral) {
    static const char* const kWords[] = {"alpha", "bravo", "charlie",  "echo",   "foxtrot",
                                         "golf",  "hotel", "india",    "juliet", "kilo",
                                         "lima",  "mike",  "november", "oscar",  "papa"};
    std::string text;
    text.reserve(kFileBytes + 80);
    uint32_t state = seed * 2654435761u + 1;
    while (text.size() < kFileBytes) {
        std::string line;
        while (line.size() < 60) {
            state = state * 1664525u + 1013904223u;
            line += (state >> 24) % 100 < 1 ? "delta" : kWords[(state >> 16) % 15];
            line += ' ';
        }
        text += line + "\n";
    }
    text.resize(kFileBytes);
    if (withLiteral)
        text.replace(kFileBytes / 2, 7, "zebra42");
    return text;
}

class GeneratedTree {
  public:
    GeneratedTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kes-bench-XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
        for (int f = 0; f < kFolders; ++f) {
            const std::string folder = m_root + "/d" + std::to_string(f);
            std::filesystem::create_directory(folder);
            for (int i = 0; i < kFilesPerFolder; ++i) {
                const uint32_t n = static_cast<uint32_t>(f * kFilesPerFolder + i);
                std::ofstream(folder + "/f" + std::to_string(i) + ".txt", std::ios::binary)
                    << generateFile(n, n % 50 == 0);
            }
        }
    }
    ~GeneratedTree() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    GeneratedTree(const GeneratedTree&) = delete;
    GeneratedTree& operator=(const GeneratedTree&) = delete;
    const std::string& root() const { return m_root; }

  private:
    std::string m_root;
};

const GeneratedTree& tree() {
    static const GeneratedTree kTree;
    return kTree;
}

void scanFor(benchmark::State& state, const std::string& find) {
    kestrava::search::CompiledRequest specs;
    const std::string errors = kestrava::search::prepareFindReplace(
        {tree().root(), "*.txt", find, "", ""}, false, false, specs);
    if (!errors.empty()) {
        state.SkipWithError(errors.c_str());
        return;
    }
    kestrava::search::FolderSpecs folders{{tree().root(), true, {}}};
    kestrava::search::FileMaskSpecs files{{"*.txt", {}}};
    specs.options.countLines = state.range(0) != 0;
    int64_t matches = 0;
    for (auto _ : state) {
        kestrava::search::SearchResults results;
        matches = kestrava::search::scanFiles(folders, files, specs, false, results, {}, {}, 1);
        benchmark::DoNotOptimize(results.files.data());
    }
    state.counters["matches"] = static_cast<double>(matches);
    state.SetBytesProcessed(state.iterations() * kFolders * kFilesPerFolder *
                            static_cast<int64_t>(kFileBytes));
}

void BM_ScanLiteral(benchmark::State& state) {
    scanFor(state, "zebra42");
}
void BM_ScanManyMatches(benchmark::State& state) {
    scanFor(state, "delta");
}

BENCHMARK(BM_ScanLiteral)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScanManyMatches)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
