// The journal's cost per line: formatting, the append and the flush to the disk that every line
// waits for, beside the formatting alone. The file lies in the temporary folder (TMPDIR), which
// should be on the disk the program's directory is on for a figure that means anything.
// Smoke run: journal_bench --smoke

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/journal.h"

namespace {

using namespace tandrel;

std::filesystem::path gDir;

job::TJournalEntry Entry(std::int32_t row) {
    job::TJournalEntry e;
    e.ListName = "C:\\Раскрой\\Заказ 118\\plan.txt"_cp1251;
    e.Row = row;
    e.Size = 1234.5 + row % 100;
    e.Correction = 2;
    e.Target = e.Size + 2;
    e.Label = job::TLabelResult::Printed;
    return e;
}

void BM_JournalAppendFlushed(benchmark::State& st) {
    job::TJournal journal(gDir, [] { return job::TLocalTime{2026, 12, 9, 10, 0, 0}; });
    std::int32_t row = 0;
    for (auto _ : st) {
        if (!journal.Append(Entry(++row)).Written) st.SkipWithError("not written");
    }
    st.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(row), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_JournalAppendFlushed)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_JournalLineFormat(benchmark::State& st) {
    std::int32_t row = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(job::JournalLine(Entry(++row), {2026, 12, 9, 10, 0, 0}));
    }
}
BENCHMARK(BM_JournalLineFormat)->Unit(benchmark::kMicrosecond);

// Start-up: counting the pieces of a month's journal of 30000 lines.
void BM_JournalLoadMonth(benchmark::State& st) {
    const auto dir = gDir / "month";
    std::filesystem::create_directories(dir);
    {
        std::string text = job::JournalHeader();
        for (std::int32_t i = 1; i <= 30000; ++i)
            text += job::JournalLine(Entry(i), {2026, 12, 1 + i % 28, i % 24, i % 60, 0});
        std::FILE* f = std::fopen((dir / "journal-2026-12.csv").string().c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    job::TJournal journal(dir, [] { return job::TLocalTime{2026, 12, 9, 10, 0, 0}; });
    for (auto _ : st) {
        journal.LoadPieces();
        benchmark::DoNotOptimize(journal.Counts());
    }
}
BENCHMARK(BM_JournalLoadMonth)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    // --smoke: one short pass, as CI runs it.
    std::vector<char*> args(argv, argv + argc);
    static char kShort[] = "--benchmark_min_time=0.01";
    for (auto& a : args) {
        if (std::strcmp(a, "--smoke") == 0) a = kShort;
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    SetDecimalSeparator(',');
    std::random_device rd;
    gDir =
        std::filesystem::temp_directory_path() / ("tandrel-journal-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(gDir);
    std::printf("journal folder: %s\n", gDir.string().c_str());
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(gDir, ec);
    return 0;
}
