#include "job/table_list.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "job/cut_list.h"
#include "job/xlsx_table.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(TableList, WhichFilesAreTables) {
    const struct {
        const char* name;
        const char* bytes;
        TListKind kind;
    } cases[] = {
        {"order.CSV", "", TListKind::Csv},
        {"order.xlsx", "", TListKind::Xlsx},
        {"order.txt", "\r\n  Размер;Кол-во\r\n2450;4\r\n", TListKind::Csv},
        {"order.txt", "\xEF\xBB\xBF\"Size\",Qty\n", TListKind::Csv},
        {"order.txt", "Size\tQty\n", TListKind::Csv},
        {"order.txt", "1200;Дверь\n", TListKind::Text},  // a size first: the text list's
        {"order.txt", "Дверь 1200\n", TListKind::Text},  // no separator
        {"order.lst", "Size;Qty\n", TListKind::Text},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListKindOf(c.name, c.bytes), c.kind) << c.name << " " << c.bytes;  // UTF-8 too
}

// A row as the test expects it: size, caption as the grid shows it, fields E1..E3.
struct TExpectedRow {
    double size;
    const char* grid;
    const char* e1;
    const char* e2;
};

void ExpectRows(const SizeRow* rows, std::size_t count, const std::vector<TExpectedRow>& expected,
                const std::string& what) {
    ASSERT_EQ(count, expected.size()) << what;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(rows[i].Size, expected[i].size) << what << " row " << i;
        EXPECT_EQ(Cp1251ToUtf8(GridCaption(rows[i])), expected[i].grid) << what << " row " << i;
        EXPECT_EQ(Cp1251ToUtf8(rows[i].Fields[0]), expected[i].e1) << what << " row " << i;
        EXPECT_EQ(Cp1251ToUtf8(rows[i].Fields[1]), expected[i].e2) << what << " row " << i;
    }
}

TEST(TableList, DialectsGiveRows) {
    const struct {
        const char* what;
        const char* csv;  // UTF-8 here, Windows-1251 for the reader
        std::vector<TExpectedRow> rows;
        int fieldCount;
    } cases[] = {
        {"Russian Excel",
         "Размер;Кол-во;Наименование;Заказ\r\n2450;2;Стойка;1502\r\n\r\n1 800,5;;Ригель;1502\r\n",
         {{2450, "Стойка (1/2)", "1502", ""},
          {2450, "Стойка (2/2)", "1502", ""},
          {1800.5, "Ригель", "1502", ""}},
         1},
        {"commas and quotes",
         "Size,Qty,Name\n\"1200.5\",1,\"a; \"\"b\"\", c\"\n",
         {{1200.5, "a; \"b\", c", "", ""}},
         0},
        {"tabs, a quantity of 0",
         "Длина\tШт\tДеталь\tE2\n960\t0\tX\ty\n700\t1\tY\tz\n",
         {{700, "Y", "", "z"}},
         2},
        {"a line break in quotes, ё and letter case",
         " ДЛИНА ;Название;Позиция;E1\n100;\"два\nслова\";П-1;Ё\n",
         {{100, "два\nслова", "Ё", "П-1"}},
         2},
    };
    for (const auto& c : cases) {
        const TTable table = ReadCsv(Utf8ToCp1251(c.csv));
        ASSERT_TRUE(table.Failure.empty()) << c.what;
        std::vector<SizeRow> staged(1);
        std::uint8_t fieldCount = 0;
        std::int32_t failed = 0;
        ASSERT_EQ(TableToRows(table, staged, fieldCount, failed), "") << c.what;
        EXPECT_EQ(fieldCount, c.fieldCount) << c.what;
        ExpectRows(&staged[1], staged.size() - 1, c.rows, c.what);
    }
}

TEST(TableList, RefusalsSayTheLineAndWhy) {
    const struct {
        const char* csv;
        const char* reason;
    } cases[] = {
        {"Наименование;Кол-во\nX;1\n", "нет столбца размера: Длина, Размер, Size или Length"},
        {"Размер;Кол-во\n1000;1\n\n1000;2,5\n",
         "строка 4: в столбце «Кол-во» не целое число «2,5»"},
        {"Размер;Кол-во\n1000;30001\n", "строка 2: в столбце «Кол-во» не целое число «30001»"},
        {"Size;Name\nabc;x\n", "строка 2: в столбце «Size» не размер «abc»"},
        {"Size;Qty\n1;20000\n2;10001\n", "строка 3: в списке больше 30000 строк"},
        {"Size;Name\n1;\"open\n", "строка 2: кавычка не закрыта"},
    };
    for (const auto& c : cases) {
        const TTable table = ReadCsv(Utf8ToCp1251(c.csv));
        std::string why = table.Failure;
        if (why.empty()) {
            std::vector<SizeRow> staged(1);
            std::uint8_t fieldCount = 0;
            std::int32_t failed = 0;
            why = TableToRows(table, staged, fieldCount, failed);
        }
        EXPECT_EQ(Cp1251ToUtf8(why), c.reason) << c.csv;
    }
}

// Workbooks written by real writers (tests/fixtures/job/xlsx/make_fixtures.sh).
TEST(TableList, WorkbooksOfEveryWriterLoad) {
    const struct {
        const char* file;
        std::vector<TExpectedRow> rows;
    } cases[] = {
        {"shared.xlsx",  // shared strings, a formula's cached value, an empty row
         {{2450, "Стойка каркаса 50х100 (1/2)", "1502", ""},
          {2450, "Стойка каркаса 50х100 (2/2)", "1502", ""},
          {1800.5, "Ригель верхний", "1502", ""}}},
        {"inline.xlsx",  // inline strings
         {{960, "Подоконная доска", "", "ПД-1"},
          {1200, "Полка (1/3)", "", "П-2"},
          {1200, "Полка (2/3)", "", "П-2"},
          {1200, "Полка (3/3)", "", "П-2"}}},
        {"minimal.xlsx",  // four parts, E notation, rich text, a size as text
         {{2450, "Стойка каркаса", "", ""}, {1800.5, "", "", ""}}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string bytes =
            ReadBytes(std::filesystem::path(TANDREL_JOB_FIXTURES) / "xlsx" / c.file);
        WriteBytes(dir.Path() / c.file, bytes);
        TJobState state;
        const TLoadOutcome out = LoadList(state, dir.Name(c.file));
        ASSERT_TRUE(out.Loaded) << c.file << ": " << Cp1251ToUtf8(out.Reason);
        ExpectRows(&state.Rows[1], static_cast<std::size_t>(state.RowCount), c.rows, c.file);
    }
    EXPECT_FALSE(ReadXlsx("PK\x03\x04 not a workbook").Failure.empty());
}

// A CSV as Excel saves it in either encoding: the same rows; the progress keeps the pieces.
TEST(TableList, ProgressCountsPieces) {
    TempDir dir;
    const std::string utf8 = "Размер;Кол-во;Наименование\r\n2450;3;Стойка\r\n960;1;Доска\r\n";
    WriteBytes(dir.Path() / "order-1502.csv", "\xEF\xBB\xBF" + utf8);
    WriteBytes(dir.Path() / "order-cp.csv", Utf8ToCp1251(utf8));
    for (const char* name : {"order-cp.csv", "order-1502.csv"}) {
        TJobState state;
        ASSERT_TRUE(LoadList(state, dir.Name(name)).Loaded) << name;
        EXPECT_EQ(state.RowCount, 4) << name;
        EXPECT_EQ(state.Rows[3].Caption, "Стойка"_cp1251) << name;
    }
    TJobState state;
    ASSERT_TRUE(LoadList(state, dir.Name("order-1502.csv")).Loaded);
    EXPECT_EQ(state.ProgressFile.filename(), "order-1502.crc");
    WriteBytes(state.ProgressFile, std::to_string(state.ProgressCrc) + "\r\n1\r\n2\r\n");
    ASSERT_TRUE(LoadList(state, dir.Name("order-1502.csv")).Loaded);
    EXPECT_EQ(state.RemainingCount, 2);
    EXPECT_FALSE(state.Rows[3].Done);
}

}  // namespace
}  // namespace tandrel::job

namespace tandrel::job {
namespace {

// maps.dat: kept maps come back from the file; lines that are no usable map are skipped; a kept
// map wins over the name rules, for exactly its header.
TEST(ColumnMaps, KeptInTheFileAndWinningOverTheNameRules) {
    const std::string file =
        "size=Длина реза\tqty=Шт.\tE2=Размер\r\n"_cp1251
        "caption=a\tqty=b\r\n"  // no size
        "size=a\tsize=b\r\n"    // two sizes
        "E7=a\tsize=b\r\n"      // no such role
        "none=\tsize=L\r\n";
    const TColumnMaps maps = TColumnMaps::Parse(file);
    ASSERT_EQ(maps.Maps().size(), 2u);
    EXPECT_EQ(TColumnMaps::Parse(maps.Format()).Maps(), maps.Maps());
    EXPECT_EQ(maps.Format(), "size=Длина реза\tqty=Шт.\tE2=Размер\r\nnone=\tsize=L\r\n"_cp1251);

    TColumnMaps kept = maps;
    EXPECT_FALSE(kept.Keep({{"a\tb", "L"}, {TColumnRole::Unused, TColumnRole::Size}}));
    EXPECT_TRUE(kept.Keep({{"", "L"}, {TColumnRole::Caption, TColumnRole::Size}}));
    EXPECT_EQ(kept.Maps().size(), 2u);  // in place of the map for the same header

    const TTable table = ReadCsv("Длина реза;Шт.;Размер\r\n1200;2;М-4\r\n"_cp1251);
    std::vector<SizeRow> staged(1);
    std::uint8_t fields = 0;
    std::int32_t failedRow = 0;
    std::vector<std::string> unmapped;
    EXPECT_NE(TableToRows(table, staged, fields, failedRow, nullptr, &unmapped), "");
    EXPECT_TRUE(unmapped.empty());  // the rules found a size column: no map is asked for
    EXPECT_NE(TableToRows(ReadCsv(" Деталь ;L\r\nA;1200\r\n"_cp1251), staged, fields, failedRow,
                          &maps, &unmapped),
              "");
    EXPECT_EQ(unmapped, (std::vector<std::string>{"Деталь"_cp1251, "L"}));
    staged.resize(1);
    EXPECT_EQ(TableToRows(table, staged, fields, failedRow, &maps), "");
    ASSERT_EQ(staged.size(), 3u);  // a quantity of 2
    EXPECT_EQ(staged[1].Size, 1200);
    EXPECT_EQ(staged[2].Fields[1], "М-4"_cp1251);  // "Размер" is E2 here, not the size
}

}  // namespace
}  // namespace tandrel::job
