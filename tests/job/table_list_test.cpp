#include "job/table_list.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/cut_list.h"
#include "job/sequence.h"
#include "job/table_rows.h"
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
        std::string bytes;
        TListKind kind;
    } cases[] = {
        {"order.CSV", "", TListKind::Csv},
        {"order.xlsx", "", TListKind::Xlsx},
        {"order.ODS", "", TListKind::Ods},
        {"order.txt", "\r\n  Размер;Кол-во\r\n2450;4\r\n", TListKind::Csv},
        {"order.txt", "\xEF\xBB\xBF\"Size\",Qty\n", TListKind::Csv},
        {"order.txt", "Size\tQty\n", TListKind::Csv},
        {"order.txt",
         std::string("\xFF\xFE"
                     "S\0i\0z\0e\0",
                     10),
         TListKind::Csv},
        {"order.txt", "1200;Дверь\n", TListKind::Text},  // a size first: the text list's
        {"order.txt", "Дверь 1200\n", TListKind::Text},  // no separator
        {"order.lst", "Size;Qty\n", TListKind::Text},
        {"order.xls", "PK\x03\x04", TListKind::Xlsx},
        {"order.xls", "<html>", TListKind::OldWorkbook},
        {"order.csv", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", TListKind::OldWorkbook},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListKindOf(c.name, c.bytes), c.kind) << c.name << " " << c.bytes;  // UTF-8 too
    for (const char* lock : {"~$Заказ 15.xlsx", "C:\\in\\~$a.csv", ".~lock.Заказ 15.ods#"})
        EXPECT_TRUE(IsLockFileName(lock)) << lock;
    for (const char* list : {"Заказ~$.xlsx", ".~lock.ods", "1502.txt"})
        EXPECT_FALSE(IsLockFileName(list)) << list;
}

// A row as the test expects it: size, caption as the grid shows it, fields E1..E3 joined by "|".
struct TExpectedRow {
    double size;
    const char* grid;
    const char* fields;
};

std::string FieldsOf(const SizeRow& row) {
    return Cp1251ToUtf8(row.Fields[0] + "|" + row.Fields[1] + "|" + row.Fields[2]);
}

void ExpectRows(const SizeRow* rows, std::size_t count, const std::vector<TExpectedRow>& expected,
                const std::string& what) {
    ASSERT_EQ(count, expected.size()) << what;
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(rows[i].Size, expected[i].size) << what << " row " << i;
        EXPECT_EQ(Cp1251ToUtf8(GridCaption(rows[i])), expected[i].grid) << what << " row " << i;
        EXPECT_EQ(FieldsOf(rows[i]), expected[i].fields) << what << " row " << i;
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
         {{2450, "Стойка (1/2)", "1502||"},
          {2450, "Стойка (2/2)", "1502||"},
          {1800.5, "Ригель", "1502||"}},
         1},
        {"commas and quotes",
         "Size,Qty,Name\n\"1200.5\",1,\"a; \"\"b\"\", c\"\n",
         {{1200.5, "a; \"b\", c", "||"}},
         0},
        {"tabs, a quantity of 0",
         "Длина\tШт\tДеталь\tE2\n960\t0\tX\ty\n700\t1\tY\tz\n",
         {{700, "Y", "|z|"}},
         2},
        {"a line break in quotes, ё and letter case",
         " ДЛИНА ;Название;Позиция;E1\n100;\"два\nслова\";П-1;Ё\n",
         {{100, "два\nслова", "Ё|П-1|"}},
         2},
        {"names as people write them",
         "Кол. во;Размер детали, мм;Наименование изделия;E 1;Примечание\n3;1200;Полка;x;y\n",
         {{1200, "Полка (1/3)", "x|y|"},
          {1200, "Полка (2/3)", "x|y|"},
          {1200, "Полка (3/3)", "x|y|"}},
         2},
    };
    for (const auto& c : cases) {
        const TTable table = ReadCsv(Utf8ToCp1251(c.csv));
        ASSERT_TRUE(table.Failure.empty()) << c.what;
        std::vector<SizeRow> staged(1);
        std::uint8_t fieldCount = 0;
        std::int32_t failed = 0;
        ASSERT_EQ(Cp1251ToUtf8(TableToRows(table, staged, fieldCount, failed)), "") << c.what;
        EXPECT_EQ(fieldCount, c.fieldCount) << c.what;
        ExpectRows(&staged[1], staged.size() - 1, c.rows, c.what);
    }
}

TEST(TableList, AMaterialColumnNamesThePieceAndStaysALabelField) {
    for (const char* csv : {"Размер;Материал;Заказ\r\n2450; AL 40x40 ;1502\r\n1200;;1502\r\n",
                            "Размер;Заказ;Профиль, тип\r\n2450;1502;AL 40x40\r\n1200;1502;\r\n"}) {
        std::vector<SizeRow> staged(1);
        std::uint8_t fieldCount = 0;
        std::int32_t failed = 0;
        ASSERT_EQ(TableToRows(ReadCsv(Utf8ToCp1251(csv)), staged, fieldCount, failed), "") << csv;
        ASSERT_EQ(staged.size(), 3u) << csv;
        EXPECT_EQ(staged[1].Material, "AL 40x40") << csv;
        EXPECT_EQ(staged[2].Material, "") << csv;
        EXPECT_NE(FieldsOf(staged[1]).find("AL 40x40"), std::string::npos) << csv;
    }
}

// Quantities and the list's bounds: the pieces a table gives, or why it is refused.
TEST(TableList, QuantitiesAndRefusals) {
    const struct {
        const char* csv;
        std::size_t pieces;
        const char* reason;
    } cases[] = {
        {"Наименование;Кол-во\nX;1\n", 0, "нет столбца размера: Длина, Размер, Size или Length"},
        {"Размер;Кол-во\n1000;1\n\n1000;2,5\n", 0,
         "строка 4: в столбце «Кол-во» не целое число «2,5»"},
        {"Размер;Кол-во\n1000;-1\n", 0,
         "строка 2: в столбце «Кол-во» отрицательное количество «-1»"},
        {"Размер;Кол-во\n1000;999999\n", 0,
         "строка 2: в столбце «Кол-во» больше 30000 деталей «999999»"},
        {"Размер;Кол-во\n1000;x\n", 0, "строка 2: в столбце «Кол-во» не целое число «x»"},
        {"Size;Name\nabc;x\n", 0, "строка 2: в столбце «Size» не размер «abc»"},
        {"Size;Qty\n1;20000\n2;10001\n", 0, "строка 3: в списке больше 30000 строк"},
        {"Size;Name\n1;\"open\n", 0, "строка 2: кавычка не закрыта"},
        {"Длина;Размер\n1;2\n", 0, "размер в нескольких столбцах: «Длина» и «Размер»"},
        {"Размер;Кол;Шт\n1;2;3\n", 0, "количество в нескольких столбцах: «Кол» и «Шт»"},
        {"Size;Qty\n1;20000\n2;10000\n", 30000, ""},
        {"Size;Qty\n1;30000\n", 30000, ""},
        {"Size;Qty\n1;1 000\n2;0\n3;1,000\n4;-0\n", 1001, ""},
    };
    for (const auto& c : cases) {
        const TTable table = ReadCsv(Utf8ToCp1251(c.csv));
        std::string why = table.Failure;
        std::vector<SizeRow> staged(1);
        if (why.empty()) {
            std::uint8_t fieldCount = 0;
            std::int32_t failed = 0;
            why = TableToRows(table, staged, fieldCount, failed);
        }
        EXPECT_EQ(Cp1251ToUtf8(why), c.reason) << c.csv;
        if (why.empty()) {
            EXPECT_EQ(staged.size() - 1, c.pieces) << c.csv;
        }
    }
}

// Files as Excel, LibreOffice, openpyxl and exports save them (tests/fixtures/job/office/
// make_corpus.sh, and the workbooks of tests/fixtures/job/xlsx/make_fixtures.sh): what each
// loads as, and what the status line says; or why it is refused.
TEST(TableList, OfficeCorpus) {
    SetDecimalSeparator(',');
    const struct {
        const char* file;
        std::int32_t rows;  // 0: refused, said is the reason
        TExpectedRow first;
        const char* said;
    } cases[] = {
        {"office/excel-units.csv", 9, {2450, "Стойка каркаса (1/4)", "1502||"}, ""},
        {"office/title-sep.csv",
         2,
         {2450, "Стойка (1/2)", "1502||"},
         "строк над заголовком пропущено: 2"},
        {"office/mac.csv", 3, {1200, "Shelf (1/2)", "||"}, ""},
        {"office/utf8-times.csv",
         2,
         {2450, "Стойка 50?100", "||"},
         "Список прочитан как UTF-8; знаков, которых нет в Windows-1251 (заменены на «?»): 1"},
        {"office/unicode-text.txt", 2, {2450, "Стойка (1/2)", "||"}, ""},
        {"office/wide.csv", 10, {1000, "Деталь 0", "||"}, ""},
        {"million.csv", 0, {}, "строка 30002: в списке больше 30000 строк"},
        {"office/hidden-first.xlsx", 3, {2450, "Стойка (1/2)", "||"}, "прочитан лист «Заказ»"},
        {"office/hidden-first.ods", 3, {2450, "Стойка (1/2)", "||"}, "прочитан лист «Заказ»"},
        {"office/active-second.xlsx", 1, {2222, "второй", "||"}, "прочитан лист «Заказ 2»"},
        {"office/active-second.ods", 1, {2222, "второй", "||"}, "прочитан лист «Заказ 2»"},
        {"office/formula-no-value.xlsx",
         0,
         {},
         "в ячейке D5 формула без значения: откройте файл в Excel и сохраните его"},
        {"office/dates.xlsx", 4, {1800.5, "Стойка (1/4)", "15.03.2024|15.03.2024 10:30|2450"}, ""},
        {"office/dates.ods", 4, {1800.5, "Стойка (1/4)", "15.03.2024|15.03.2024 10:30|2450"}, ""},
        {"office/xfd.xlsx", 3000, {1000, "Деталь 0", "||"}, ""},
        {"office/big.ods", 30000, {300, "Дверь шкафа купе левая №1", "А-1|ДСП 16|"}, ""},
        {"office/lo-order.xlsx", 6, {2450, "Стойка каркаса 50х100 (1/4)", "1502||"}, ""},
        {"office/lo-order.ods", 6, {2450, "Стойка каркаса 50х100 (1/4)", "1502||"}, ""},
        {"office/lo-order.xls", 0, {}, "старая книга Excel (.xls): сохраните её как .xlsx"},
        {"office/renamed-xls.xlsx", 0, {}, "старая книга Excel (.xls): сохраните её как .xlsx"},
        {"office/encrypted.xlsx", 0, {}, "книга защищена паролем"},
        {"office/entity-bomb.xlsx",
         0,
         {},
         "книга повреждена: в части xl/sharedStrings.xml объявлен DOCTYPE"},
        {"office/~$lo-order.xlsx", 0, {}, "это файл блокировки Excel или LibreOffice, а не список"},
        {"office/.~lock.lo-order.ods#",
         0,
         {},
         "это файл блокировки Excel или LibreOffice, а не список"},
        {"xlsx/shared.xlsx", 3, {2450, "Стойка каркаса 50х100 (1/2)", "1502||"}, ""},
        {"xlsx/inline.xlsx", 4, {960, "Подоконная доска", "|ПД-1|"}, ""},
        {"xlsx/minimal.xlsx", 2, {2450, "Стойка каркаса", "||"}, ""},
    };
    std::string million = "Размер\n"_cp1251;
    for (int i = 0; i < 1000000; ++i) million += "1\n";
    for (const auto& c : cases) {
        TempDir dir;
        const std::filesystem::path source = std::filesystem::path(TANDREL_JOB_FIXTURES) / c.file;
        const std::string name = source.filename().string();
        WriteBytes(dir.Path() / name,
                   name == c.file ? million : ReadBytes(source));  // made here, not a fixture
        TJobState state;
        const TLoadOutcome out = LoadList(state, dir.Name(name));
        if (c.rows == 0) {
            EXPECT_EQ(Cp1251ToUtf8(out.Reason), "Файл " + name + " не загружен: " + c.said)
                << c.file;
            continue;
        }
        ASSERT_TRUE(out.Loaded) << c.file << ": " << Cp1251ToUtf8(out.Reason);
        EXPECT_EQ(state.RowCount, c.rows) << c.file;
        ExpectRows(&state.Rows[1], 1, {c.first}, c.file);
        EXPECT_EQ(Cp1251ToUtf8(LoadNotice(out, name, "").Text), c.said) << c.file;
    }
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
// map wins over the name rules, for exactly its header; a header the rules cannot read offers
// its columns.
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
    EXPECT_TRUE(
        kept.Keep({{"", "L", ""}, {TColumnRole::Caption, TColumnRole::Size, TColumnRole::E1}}));
    EXPECT_EQ(kept.Maps().size(), 2u);  // in place of the map for the same header

    using R = TColumnRole;
    const TTable table = ReadCsv("Длина реза;Шт.;Размер;;\r\n1200;2;М-4\r\n"_cp1251);
    std::vector<SizeRow> staged(1);
    std::uint8_t fields = 0;
    std::int32_t failedRow = 0;
    std::optional<TColumnChoice> choice;
    EXPECT_NE(TableToRows(table, staged, fields, failedRow, nullptr, &choice), "");
    ASSERT_TRUE(choice);  // two columns could be the size: asked
    EXPECT_EQ(choice->Roles, (std::vector<R>{R::Size, R::Quantity, R::Size}));
    EXPECT_NE(TableToRows(ReadCsv(" Деталь ;L\r\nA;1200;;7\r\n"_cp1251), staged, fields, failedRow,
                          &maps, &choice),
              "");
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->Names, (std::vector<std::string>{"Деталь"_cp1251, "L", ""}));
    EXPECT_EQ(choice->Roles, (std::vector<R>{R::Caption, R::E1, R::Unused}));
    EXPECT_EQ(KeptMapOf(*choice, {R::Unused, R::Size, R::E1}),
              (TKeptMap{{"Деталь"_cp1251, "L", "", ""}, {R::Unused, R::Size, R::Unused, R::E1}}));
    staged.resize(1);
    EXPECT_EQ(TableToRows(table, staged, fields, failedRow, &maps), "");
    ASSERT_EQ(staged.size(), 3u);  // a quantity of 2
    EXPECT_EQ(staged[1].Size, 1200);
    EXPECT_EQ(staged[2].Fields[1], "М-4"_cp1251);  // "Размер" is E2 here, not the size
}

}  // namespace
}  // namespace tandrel::job
