// Loading a full cut list (30000 rows with captions and label fields, its CRC and its progress
// file) beside a bare read of the same file plus its CRC, and the memory of the row table; the
// same rows as a CSV (goal: within 1.5x the text list), as an XLSX workbook (goal: under 1 s) and
// as LibreOffice's .ods. Then files whose addresses are far larger than their content: the
// workbook whose 3000 rows each hold a cell in column XFD, a CSV of 2000 lines padded to 16384
// fields, and a million-row CSV refused at its 30,001st piece (goal for each: under 1 s and
// within 64 MB more than a list of one row). peak_MB is the process's resident high-water mark
// during the loads above what it held before them.
// Smoke run: job_bench --benchmark_min_time=0.01

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <minizip/zip.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/cp1251.h"
#include "base/files.h"
#include "job/crc32.h"
#include "job/cut_list.h"
#include "job/job_state.h"

namespace {

using namespace tandrel;

std::filesystem::path gDir;
std::string gList, gCsv, gXlsx, gOne, gWide, gMillion;
const std::string gOds = std::string(TANDREL_JOB_FIXTURES) + "/office/big.ods";
const std::string gXfd = std::string(TANDREL_JOB_FIXTURES) + "/office/xfd.xlsx";

// The resident high-water mark is reset to what the process holds now (Linux); -1 where it
// cannot be.
long StatusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return -1;
}
bool ResetPeak() {
    malloc_trim(0);  // what earlier cases freed is not held as this one's
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// A workbook of the given parts, written by minizip.
void WriteWorkbook(const std::string& path,
                   const std::vector<std::pair<std::string, std::string>>& parts) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    for (const auto& [name, text] : parts) {
        zip_fileinfo info{};
        zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                              Z_DEFAULT_COMPRESSION, 0);
        zipWriteInFileInZip(zip, text.data(), static_cast<unsigned>(text.size()));
        zipCloseFileInZip(zip);
    }
    zipClose(zip, nullptr);
}

void MakeList() {
    std::random_device rd;
    gDir = std::filesystem::temp_directory_path() / ("tandrel-job-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(gDir);
    std::filesystem::current_path(gDir);
    std::string text, csv = "Размер;Наименование;E1;E2;E3\r\n"_cp1251;
    std::string sheet =
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<sheetData><row r=\"1\"><c t=\"inlineStr\"><is><t>Размер</t></is></c>"
        "<c t=\"inlineStr\"><is><t>Наименование</t></is></c><c t=\"inlineStr\"><is><t>E1</t>"
        "</is></c><c t=\"inlineStr\"><is><t>E2</t></is></c><c t=\"inlineStr\"><is><t>E3</t>"
        "</is></c></row>";
    auto cell = [](const std::string& utf8) {
        return "<c t=\"inlineStr\"><is><t>" + utf8 + "</t></is></c>";
    };
    std::mt19937 rng(7);
    for (int i = 1; i <= job::kRowCapacity; ++i) {
        const std::string size =
            std::to_string(300 + rng() % 4000) + "," + std::to_string(rng() % 10);
        const std::string caption = "Дверь шкафа купе левая №"_cp1251 + std::to_string(i);
        const std::string e1 = "А-"_cp1251 + std::to_string(i), e2 = "ДСП 16 белый"_cp1251;
        const std::string e3 = std::to_string(rng() % 100);
        text += size + " " + caption + " <E1" + e1 + "><E2" + e2 + "><E3" + e3 + ">\r\n";
        csv += size + ";" + caption + ";" + e1 + ";" + e2 + ";" + e3 + "\r\n";
        std::string point = size;
        point[point.find(',')] = '.';
        sheet += "<row r=\"" + std::to_string(i + 1) + "\"><c><v>" + point + "</v></c>" +
                 cell(Cp1251ToUtf8(caption)) + cell(Cp1251ToUtf8(e1)) + cell(Cp1251ToUtf8(e2)) +
                 "<c><v>" + e3 + "</v></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    gList = (gDir / "plan.txt").string();
    WriteFileAtomic(gList, text);
    gCsv = (gDir / "plan.csv").string();
    WriteFileAtomic(gCsv, csv);
    gOne = (gDir / "one.txt").string();
    WriteFileAtomic(gOne, "1200 Дверь\r\n"_cp1251);
    const std::string pad(16384 - 3, ';');
    std::string wide = "Размер;Кол-во;Наименование"_cp1251 + pad + "\r\n";
    for (int i = 0; i < 2000; ++i)
        wide +=
            std::to_string(1000 + i) + ";1;" + "Деталь "_cp1251 + std::to_string(i) + pad + "\r\n";
    gWide = (gDir / "wide.csv").string();
    WriteFileAtomic(gWide, wide);
    std::string million = "Размер\r\n"_cp1251;
    for (int i = 0; i < 1000000; ++i) million += "1000\r\n";
    gMillion = (gDir / "million.csv").string();
    WriteFileAtomic(gMillion, million);
    gXlsx = (gDir / "plan.xlsx").string();
    WriteWorkbook(
        gXlsx,
        {{"xl/workbook.xml",
          "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
          "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
          "<sheets><sheet name=\"1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
         {"xl/_rels/workbook.xml.rels",
          "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Target=\"worksheets/sheet1.xml\"/></Relationships>"},
         {"xl/worksheets/sheet1.xml", sheet}});
}

// refused: the list is expected to be refused (the million rows).
void BM_LoadList(benchmark::State& st, const std::string* list, bool refused) {
    job::TJobState state;
    const bool reset = ResetPeak();
    const long before = StatusKb("VmRSS:");
    for (auto _ : st) {
        const auto out = job::LoadList(state, *list);
        if (out.Loaded == refused) st.SkipWithError("not loaded as expected");
        benchmark::DoNotOptimize(state.RowCount);
    }
    const long peak = StatusKb("VmHWM:");
    st.counters["rows"] = state.RowCount;
    st.counters["table_MB"] = static_cast<double>(job::RowTableBytes(state)) / (1024.0 * 1024.0);
    st.counters["peak_MB"] = reset && peak >= 0 ? static_cast<double>(peak - before) / 1024.0 : -1;
}
BENCHMARK_CAPTURE(BM_LoadList, one_row, &gOne, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, text, &gList, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, csv, &gCsv, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, xlsx, &gXlsx, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, ods, &gOds, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, xfd_xlsx, &gXfd, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, wide_csv, &gWide, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, million_csv_refused, &gMillion, true)->Unit(benchmark::kMillisecond);

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
