// Loading a full cut list (30000 rows with captions and label fields, its CRC and its progress
// file) beside a bare read of the same file plus its CRC, and the memory of the row table.
// Smoke run: job_bench --benchmark_min_time=0.01

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "base/cp1251.h"
#include "base/files.h"
#include "job/crc32.h"
#include "job/cut_list.h"
#include "job/job_state.h"

namespace {

using namespace tandrel;

std::filesystem::path gDir;
std::string gList;

void MakeList() {
    std::random_device rd;
    gDir = std::filesystem::temp_directory_path() / ("tandrel-job-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(gDir);
    std::filesystem::current_path(gDir);
    std::string text;
    std::mt19937 rng(7);
    for (int i = 1; i <= job::kRowCapacity; ++i) {
        text += std::to_string(300 + rng() % 4000) + "," + std::to_string(rng() % 10) +
                " Дверь шкафа купе левая №"_cp1251 + std::to_string(i) + " <E1А-"_cp1251 +
                std::to_string(i) + "><E2ДСП 16 белый><E3" + std::to_string(rng() % 100) + ">\r\n";
    }
    gList = (gDir / "plan.txt").string();
    WriteFileAtomic(gList, text);
}

void BM_LoadList(benchmark::State& st) {
    job::TJobState state;
    for (auto _ : st) {
        const auto out = job::LoadList(state, gList);
        if (!out.Loaded) st.SkipWithError("not loaded");
        benchmark::DoNotOptimize(state.RowCount);
    }
    st.counters["rows"] = state.RowCount;
    st.counters["table_MB"] = static_cast<double>(job::RowTableBytes(state)) / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadList)->Unit(benchmark::kMillisecond);

void BM_BareReadAndCrc(benchmark::State& st) {
    for (auto _ : st) {
        const auto bytes = ReadWholeFile(gList);
        std::uint32_t crc = 0xFFFFFFFFu;
        for (std::size_t at = 0; at < bytes->size(); at += 32768) {
            const auto n =
                static_cast<std::uint16_t>(std::min<std::size_t>(32768, bytes->size() - at));
            crc = job::UpdateCrc32(crc, bytes->data() + at, n);
        }
        benchmark::DoNotOptimize(crc);
    }
}
BENCHMARK(BM_BareReadAndCrc)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    MakeList();
    std::printf("list: %d rows, %ju bytes\n", job::kRowCapacity,
                static_cast<std::uintmax_t>(std::filesystem::file_size(gList)));
    {
        job::TJobState state;
        job::LoadList(state, gList);
        std::printf("row table: %zu entries x %zu bytes; with texts %.2f MB (target < 16 MB)\n",
                    state.Rows.size(), sizeof(job::SizeRow),
                    static_cast<double>(job::RowTableBytes(state)) / (1024.0 * 1024.0));
    }
    std::fflush(stdout);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
    std::filesystem::remove_all(gDir, ec);
    return 0;
}
