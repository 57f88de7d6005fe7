#include "plan/plan_tool.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "job/column_maps.h"
#include "job/crc32.h"
#include "plan/plan_file.h"
#include "support/temp_dir.h"

namespace tandrel::plan::tool {
namespace {

using testing::TempDir;
using testing::WriteBytes;

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto end = std::min(line.find(' ', pos), line.size());
        if (end > pos) words.push_back(line.substr(pos, end - pos));
        pos = end + 1;
    }
    return words;
}

TEST(PlanTool, OptionsListsAndExitCodes) {
    TempDir dir;
    WriteBytes("list.txt", "2450 Стойка\n2450 Стойка\n1800,5 Ригель\n960 Доска\n"_cp1251);
    WriteBytes("rest.txt", "R1;2000\n");
    WriteBytes("ostatki.dat",
               "R000003;2000;AL;01.12.2026;\"a;b.csv\"\r\nR000004;2000;;01.12.2026;"
               "a.csv\r\nmangled\r\n");
    WriteBytes("mat.csv", "Размер;Материал\n1800;AL\n2450;ST\n"_cp1251);
    WriteBytes("coded.csv", "Код;Что\n1800;Стойка\n"_cp1251);
    const struct {
        const char* args;
        int code;
        const char* out;  // the whole standard output, or nullptr
        const char* err;  // a part of standard error
    } rows[] = {
        {"--stock 6000 --kerf 4 --head 10 --csv list.txt", kPlanned,
         "1;6000;new;2450 2450 960;118\n2;6000;new;1800.5;4185.5\n"
         "итого;2;12000;12000;4339.5;да\n",
         ""},
        {"--csv --stock 6000x5,3000 --kerf 4 --head 10 --min-remnant 500 --remnants rest.txt "
         "list.txt",
         kPlanned,
         "1;2000;R1;1800.5;195.5\n2;6000;new;2450 2450 960;118\nитого;2;6000;6000;339.5;да\n", ""},
        {"--csv --stock 6000 --kerf 4 --head 10 --min-remnant 500 --remnants ostatki.dat "
         "list.txt",
         kPlanned,
         "1;2000;R000004;1800.5;195.5\n2;6000;new;2450 2450 960;118\nитого;2;6000;6000;339.5;да\n",
         "ostatki.dat, строка 3: не остаток"},
        {"--csv --stock 6000:ST --kerf 4 --head 10 --min-remnant 500 --remnants ostatki.dat "
         "mat.csv",
         kPlanned, "1;2000;R000003;1800;196\n2;6000;new;2450;3536\nитого;2;6000;6000;214;да\n", ""},
        {"--stock 6000x1 --kerf 4 --head 10 list.txt", kShort, "",
         "не хватает хлыстов: не размещено 1 деталей\n"},
        {"--stock 2000 list.txt", kRefused, "", "длиннее любого хлыста"},
        {"--stock 6000 --kerf 4,5,6 list.txt", kRefused, "", "--kerf"},
        {"--stock 6000 --max-pieces 2.5 list.txt", kRefused, "", "--max-pieces"},
        {"--stock 6000 --saw 3 list.txt", kRefused, "", "неизвестный параметр --saw"},
        {"--kerf 4 list.txt", kRefused, "", "--stock"},
        {"--stock 6000", kRefused, "", "не задан список"},
        {"--stock 6000 missing.txt", kRefused, "", "missing.txt"},
        {"--stock 6000 --remnants missing.txt list.txt", kRefused, "", "missing.txt"},
        {"--stock 6000 coded.csv", kRefused, "", "coded.csv"},
    };
    for (const auto& row : rows) {
        std::string out, err;
        EXPECT_EQ(tool::Run(Words(row.args), dir.Path(), out, err), row.code) << row.args << "\n"
                                                                              << err;
        if (row.out) {
            EXPECT_EQ(out, row.out) << row.args;
        }
        EXPECT_NE(err.find(row.err), std::string::npos) << row.args << ": " << err;
    }

    // The text for a person names each piece's row and the proof.
    std::string out, err;
    ASSERT_EQ(tool::Run(Words("--stock 6000 --kerf 4 --head 10 list.txt"), dir.Path(), out, err),
              0);
    EXPECT_NE(out.find("Хлыст 2 из 2: 6000 мм, новый"), std::string::npos) << out;
    EXPECT_NE(out.find("1800,5 мм  Ригель  (строка 3)"), std::string::npos) << out;
    EXPECT_NE(out.find("План оптимален."), std::string::npos) << out;

    // A header it cannot map is read by the map kept beside the tool.
    job::TColumnMaps maps;
    ASSERT_TRUE(maps.Keep(
        {{"Код"_cp1251, "Что"_cp1251}, {job::TColumnRole::Size, job::TColumnRole::Caption}}));
    WriteBytes("maps.dat", maps.Format());
    EXPECT_EQ(tool::Run(Words("--stock 6000 --csv coded.csv"), dir.Path(), out, err), kPlanned)
        << err;
    EXPECT_EQ(out, "1;6000;new;1800;4200\nитого;1;6000;6000;4200;да\n");

    // The plan saved as the station reads it: the list's CRC and sizes, the bars by row.
    ASSERT_EQ(tool::Run(Words("--stock 6000 --kerf 4 --head 10 --save list.plan list.txt"),
                        dir.Path(), out, err),
              kPlanned)
        << err;
    TPlanFile saved;
    ASSERT_EQ(ReadPlanFile(dir.Path() / "list.plan", saved).Problem, "");
    EXPECT_EQ(saved.Crc, job::BytesCrc32(testing::ReadBytes(dir.Path() / "list.txt")).Crc);
    EXPECT_EQ(saved.Sizes, (std::vector<TLength>{24500, 24500, 18005, 9600}));
    EXPECT_EQ(saved.Bars.size(), 2u);
    EXPECT_EQ(saved.Bars[1].Rows, std::vector<std::int32_t>{3});
    EXPECT_EQ(tool::Run(Words("--stock 6000 --save no-such-dir/list.plan list.txt"), dir.Path(),
                        out, err),
              kRefused);
}

}  // namespace
}  // namespace tandrel::plan::tool
