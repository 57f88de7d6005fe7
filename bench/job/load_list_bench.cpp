// Loading a full cut list (30000 rows with captions and label fields, its CRC and its progress
// file) beside a bare read of the same file plus its CRC, and the memory of the row table; the
// same rows as a CSV (goal: within 1.5x the text list) and as an XLSX workbook (goal: under 1 s).
// Smoke run: job_bench --benchmark_min_time=0.01

#include <benchmark/benchmark.h>
#include <minizip/zip.h>

#include <cstdio>
#include <filesystem>
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
std::string gList, gCsv, gXlsx;

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

void BM_LoadList(benchmark::State& st, const std::string* list) {
    job::TJobState state;
    for (auto _ : st) {
        const auto out = job::LoadList(state, *list);
        if (!out.Loaded) st.SkipWithError("not loaded");
        benchmark::DoNotOptimize(state.RowCount);
    }
    st.counters["rows"] = state.RowCount;
    st.counters["table_MB"] = static_cast<double>(job::RowTableBytes(state)) / (1024.0 * 1024.0);
}
BENCHMARK_CAPTURE(BM_LoadList, text, &gList)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, csv, &gCsv)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LoadList, xlsx, &gXlsx)->Unit(benchmark::kMillisecond);

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
