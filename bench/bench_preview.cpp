// The window's replace preview of 100,000 changes (1,000 files of 100): laying out its rows,
// drawing one screen of the grid that shows them (offscreen), and the whole way from pressing
// Preview over files on disk to the rows being ready.
#include "search/find_session.h"
#include "ui/change_plan.h"
#include "ui/results_grid.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace {

constexpr int kFiles = 1000;
constexpr int kChangesPerFile = 100;

// Each change is "colour" made "shade" on a line of its own, as a planning run keeps it.
kestrava::search::SearchResults plannedChanges() {
    kestrava::search::SearchResults results;
    for (int f = 0; f < kFiles; ++f) {
        kestrava::search::FileMatches file;
        file.fileName = "file" + std::to_string(f) + ".cpp";
        if (f < 50)
            results.folders.push_back("/project/module" + std::to_string(f) + "/");
        file.folderIndex = f % 50;
        int32_t offset = 0;
        for (int c = 0; c < kChangesPerFile; ++c) {
            const std::string head = "    value" + std::to_string(c) + " = mix(";
            const std::string tail = ", 42); // tint of line " + std::to_string(c);
            const auto start = offset + static_cast<int32_t>(head.size());
            file.replacements.push_back({start, start + 6, "shade"});
            std::string before = head;
            before.append("colour").append(tail);
            std::string after = head;
            after.append("shade").append(tail);
            file.changeViews.push_back({2 * c + 1, std::move(before), std::move(after)});
            offset += static_cast<int32_t>(head.size() + 6 + tail.size() + 1) * 2;
        }
        file.numMatches = kChangesPerFile;
        results.files.push_back(std::move(file));
    }
    results.filesScanned = results.filesWithMatches = kFiles;
    results.totalMatches = kFiles * kChangesPerFile;
    return results;
}

const kestrava::search::SearchResults& plan() {
    static const kestrava::search::SearchResults kPlan = plannedChanges();
    return kPlan;
}

// The same changes as files: each of 200 lines, every other one holding "colour".
class PlannedTree {
  public:
    PlannedTree() {
        std::string pattern = std::filesystem::temp_directory_path() / "kes-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_root = pattern;
        for (const kestrava::search::FileMatches& file : plan().files) {
            std::ofstream out(m_root + "/" + file.fileName, std::ios::binary);
            for (const kestrava::search::ChangeView& view : file.changeViews)
                out << view.before << "\n// unchanged\n";
        }
    }
    ~PlannedTree() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    PlannedTree(const PlannedTree&) = delete;
    PlannedTree& operator=(const PlannedTree&) = delete;
    const std::string& root() const { return m_root; }

  private:
    std::string m_root;
};

QApplication& application() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "bench_preview";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

void BM_LayOutPreviewRows(benchmark::State& state) {
    kestrava::ui::ChangePlan rows;
    for (auto _ : state) {
        rows.build(plan());
        benchmark::DoNotOptimize(rows.rows().data());
    }
    state.counters["rows"] = static_cast<double>(rows.rows().size());
}

// One screen (1200 x 800) from the middle of the preview; with argument 1 the rows are laid out
// first, as when the preview appears.
void BM_DrawPreviewScreen(benchmark::State& state) {
    application();
    kestrava::ui::ResultsGrid grid;
    grid.resize(1200, 800);
    grid.show();
    kestrava::ui::ChangePlan rows;
    rows.build(plan());
    QImage screen(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        if (state.range(0) == 1)
            rows.build(plan());
        grid.showPlan(&plan(), &rows);
        grid.verticalScrollBar()->setValue(static_cast<int>(rows.rows().size() / 2));
        grid.viewport()->render(&screen);
    }
    state.counters["rows shown"] =
        static_cast<double>(grid.viewport()->height()) / grid.defaultRowHeight();
}

// The planning search (one thread per core) and the rows, as Preview runs them.
void BM_PlanAndLayOut(benchmark::State& state) {
    static const PlannedTree kTree;
    kestrava::search::ScanOptions scan;
    scan.planOnly = true;
    scan.keepReplacements = true;
    kestrava::ui::ChangePlan rows;
    for (auto _ : state) {
        kestrava::search::FindSession session(
            {{kTree.root(), "*.cpp", "colour", "shade", ""}, true, false, false, 0, scan});
        if (!session.check().empty())
            throw std::runtime_error("the criteria were refused");
        kestrava::search::SearchResults results;
        session.run(results, {}, {});
        rows.build(results);
        benchmark::DoNotOptimize(rows.rows().data());
    }
    state.counters["changes"] = static_cast<double>(rows.changeCount());
}

BENCHMARK(BM_LayOutPreviewRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawPreviewScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlanAndLayOut)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
