#include "job/cut_list.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "base/cp1251.h"
#include "job/progress.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

enum class Verdict { Row, Skipped, Rejected, Raised };

TEST(ParseListLine, Grammar) {
    const struct {
        const char* line;  // UTF-8 here, Windows-1251 to the parser
        Verdict verdict;
        double size;
        const char* caption;
        std::map<int, const char*> fields;
        int fieldCount;
    } rows[] = {
        {"1200", Verdict::Row, 1200, "", {}, 0},
        {"  1200,5 Дверь <E1А-12><E3 x>  ",
         Verdict::Row,
         1200.5,
         "Дверь",
         {{1, "А-12"}, {3, " x"}},
         3},
        {"1200;Дверь", Verdict::Row, 1200, ";Дверь", {}, 0},
        {"1200\tДверь", Verdict::Row, 1200, "Дверь", {}, 0},
        {"1200.", Verdict::Row, 1200, "", {}, 0},
        {"1.200,5 Дверь", Verdict::Rejected, 0, "", {}, 0},
        {"1..5", Verdict::Rejected, 0, "", {}, 0},
        {"Дверь 1200", Verdict::Raised, 0, "", {}, 0},
        {",5 Дверь", Verdict::Raised, 0, "", {}, 0},
        {"Размер;Наименование", Verdict::Raised, 0, "", {}, 0},
        {"-5 Дверь", Verdict::Raised, 0, "", {}, 0},
        {"3000000000 Дверь", Verdict::Raised, 0, "", {}, 0},
        {"", Verdict::Skipped, 0, "", {}, 0},
        {" \t  \x01", Verdict::Skipped, 0, "", {}, 0},
        {"<b>1200", Verdict::Raised, 0, "", {}, 0},
        {"1200 <b>жирный</b>", Verdict::Row, 1200, "жирный", {}, 0},
        {"1200 <e1x> Дверь", Verdict::Row, 1200, "Дверь", {}, 0},
        {"1200 <E1>", Verdict::Row, 1200, "", {{1, ""}}, 1},
        {"1200 <E1a> x <E1b>", Verdict::Row, 1200, "x", {{1, "b"}}, 1},
        {"1200 x<E2y>z", Verdict::Row, 1200, "xz", {{2, "y"}}, 2},
        {"1200 <E6f><E0a><E7b><E9c> Дверь", Verdict::Row, 1200, "Дверь", {{6, "f"}}, 6},
        {"1200 Дверь <E1А", Verdict::Row, 1200, "Дверь <E1А", {}, 0},
        {"1200 a>b <E1x>", Verdict::Row, 1200, "a>b", {{1, "x"}}, 1},
        {"1200 <E2y> <E1", Verdict::Row, 1200, "<E1", {{2, "y"}}, 2},
        {"1200 <E>", Verdict::Raised, 0, "", {}, 0},
        {"1200 <Ex1>", Verdict::Raised, 0, "", {}, 0},
    };
    for (const auto& r : rows) {
        std::vector<SizeRow> staged(1);
        std::uint8_t fieldCount = 0;
        Verdict got = Verdict::Raised;
        try {
            got = ParseListLine(Utf8ToCp1251(r.line), staged, fieldCount)
                      ? (staged.size() == 2 ? Verdict::Row : Verdict::Skipped)
                      : Verdict::Rejected;
        } catch (const EListLine& e) {
            EXPECT_FALSE(e.Message().empty());
        }
        ASSERT_EQ(got, r.verdict) << r.line;
        if (got != Verdict::Row) continue;
        const SizeRow& row = staged[1];
        EXPECT_EQ(row.Size, r.size) << r.line;
        EXPECT_EQ(Cp1251ToUtf8(row.Caption), r.caption) << r.line;
        EXPECT_FALSE(row.Done);
        for (int d = 1; d <= 6; ++d) {
            const auto f = r.fields.find(d);
            EXPECT_EQ(Cp1251ToUtf8(row.Fields[d - 1]), f == r.fields.end() ? "" : f->second)
                << r.line << " E" << d;
        }
        EXPECT_EQ(fieldCount, r.fieldCount) << r.line;
    }
}

std::string Fixture(const char* name) {
    return std::string(TANDREL_JOB_FIXTURES) + "/" + name;
}

class LoadListTest : public ::testing::Test {
  protected:
    TempDir dir;
    TJobState state;

    std::string List(const std::string& name, const std::string& utf8) {
        WriteBytes(dir.Path() / name, Utf8ToCp1251(utf8));
        return dir.Name(name);
    }
    // Loads a copy of the file at source, made in the temporary folder (its progress file goes
    // there too).
    TLoadOutcome LoadCopyOf(const std::filesystem::path& source) {
        std::filesystem::copy_file(source, dir.Path() / source.filename());
        return LoadList(state, dir.Name(source.filename().string()));
    }
};

TEST_F(LoadListTest, FixtureLoadsWithFieldsAndStartsItsProgressFile) {
    const TLoadOutcome out = LoadCopyOf(Fixture("five.txt"));
    ASSERT_TRUE(out.Loaded) << Cp1251ToUtf8(out.Reason);
    EXPECT_EQ(out.Rows, 5);
    EXPECT_EQ(state.RowCount, 5);
    EXPECT_EQ(state.RemainingCount, 5);
    EXPECT_EQ(state.CurrentRow, 0);
    EXPECT_EQ(state.FieldCount, 3);
    EXPECT_EQ(state.Rows[2].Size, 1350.5);
    EXPECT_EQ(Cp1251ToUtf8(state.Rows[2].Caption), "Полка");
    EXPECT_EQ(Cp1251ToUtf8(state.Rows[2].Fields[1]), " левая");
    EXPECT_EQ(state.Rows[4].Size, 1500.25);
    EXPECT_EQ(Cp1251ToUtf8(state.Rows[5].Caption), "Планка");
    EXPECT_FALSE(out.AskRestart);
    EXPECT_TRUE(state.ProgressFile.is_absolute());
    EXPECT_EQ(state.ProgressFile, dir.Path() / "five.crc");
    EXPECT_EQ(ReadBytes(state.ProgressFile), std::to_string(state.ProgressCrc) + "\r\n");
}

// The list the package and the README's run command hand to a new user.
TEST_F(LoadListTest, TheShippedSampleLoadsWhole) {
    const TLoadOutcome out = LoadCopyOf(std::string(TANDREL_EXAMPLES) + "/order-1502.txt");
    ASSERT_TRUE(out.Loaded) << Cp1251ToUtf8(out.Reason);
    EXPECT_FALSE(out.Utf8);
    EXPECT_EQ(out.Replaced, 0);
    EXPECT_EQ(state.RowCount, 30);
    EXPECT_EQ(state.FieldCount, 3);
    EXPECT_EQ(state.Rows[1].Size, 2450);
    EXPECT_EQ(Cp1251ToUtf8(state.Rows[1].Caption), "Стойка каркаса 50х100");
    EXPECT_EQ(Cp1251ToUtf8(state.Rows[1].Fields[2]), "ООО «Дом-Строй»");
    for (std::int32_t r = 1; r <= state.RowCount; ++r) {
        EXPECT_GT(state.Rows[r].Size, 0) << r;
        EXPECT_FALSE(state.Rows[r].Caption.empty()) << r;
    }
}

TEST_F(LoadListTest, LineEnds) {
    WriteBytes(dir.Path() / "ends.txt",
               "1200\r\n1300 a\rb\n\n1400 c\x1A"
               "1500\n");
    ASSERT_TRUE(LoadList(state, dir.Name("ends.txt")).Loaded);
    EXPECT_EQ(state.RowCount, 3);  // the text ends at Ctrl-Z
    EXPECT_EQ(state.Rows[2].Caption, "ab");
    EXPECT_EQ(state.Rows[3].Caption, "c");
    // A file with no LF at all, as an old Mac writes it: CR ends each line.
    WriteBytes(dir.Path() / "mac.txt", "1200 a\r1300 b\r");
    ASSERT_TRUE(LoadList(state, dir.Name("mac.txt")).Loaded);
    EXPECT_EQ(state.RowCount, 2);
    EXPECT_EQ(state.Rows[2].Caption, "b");
}

TEST_F(LoadListTest, RejectionKeepsThePreviousListAndSaysWhy) {
    const std::string good = List("good.txt", "100 a <E1x>\n200 b\n300 c\n");
    ASSERT_TRUE(LoadList(state, good).Loaded);
    state.CurrentRow = 2;
    state.RemainingCount = 1;
    state.Rows[1].Done = state.Rows[2].Done = true;
    const auto progress = state.ProgressFile;
    const auto crc = state.ProgressCrc;

    std::string many;
    for (int i = 0; i < 30001; ++i) many += "5\n";
    const struct {
        std::string name;
        int line;
        const char* reason;
    } cases[] = {
        {Fixture("two_separators.txt"), 3, "строка 3: в размере больше одного разделителя"},
        // A header with a separator is a table; without one it stays a line of no size.
        {Fixture("header_line.txt"), 1, "строка 1: строка не начинается с размера"},
        {List("big.txt", "1\n99999999999\n"), 2, "строка 2: размер больше 2147483647"},
        {List("tag.txt", "1\n\n2 <Eq>\n"), 3, "строка 3: неверный номер поля в метке <Eq>"},
        {List("empty.txt", "\n  \n"), 0, "в файле нет ни одной строки с размером"},
        {List("many.txt", many), 30001, "строка 30001: в списке больше 30000 строк"},
        {dir.Name("missing.txt"), 0, "не удалось открыть файл"},
    };
    for (const auto& c : cases) {
        const TLoadOutcome out = LoadList(state, c.name);
        EXPECT_FALSE(out.Loaded) << c.name;
        EXPECT_EQ(out.Line, c.line) << c.name;
        const std::string reason = Cp1251ToUtf8(out.Reason);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_NE(reason.find(Cp1251ToUtf8(FileNameOnly(c.name))), std::string::npos) << reason;
        EXPECT_EQ(state.RowCount, 3);
        EXPECT_EQ(state.CurrentRow, 2);
        EXPECT_EQ(state.RemainingCount, 1);
        EXPECT_EQ(state.FieldCount, 1);
        EXPECT_EQ(state.Rows[1].Fields[0], "x");
        EXPECT_EQ(state.Rows[3].Caption, "c");
        EXPECT_EQ(state.ProgressFile, progress);
        EXPECT_EQ(state.ProgressCrc, crc);
    }
}

TEST_F(LoadListTest, FullTableLoads) {
    std::string text;
    for (int i = 1; i <= kRowCapacity; ++i) text += std::to_string(i) + " r\r\n";
    ASSERT_TRUE(LoadList(state, List("full.txt", text)).Loaded);
    EXPECT_EQ(state.RowCount, kRowCapacity);
    EXPECT_EQ(state.Rows[kRowCapacity].Size, kRowCapacity);
}

TEST_F(LoadListTest, ShorterListLeavesNothingOfTheLonger) {
    ASSERT_TRUE(LoadList(state, List("long.txt", "1 a <E1x><E2y>\n2 b <E2z>\n3 c\n")).Loaded);
    ASSERT_TRUE(LoadList(state, List("short.txt", "7 d <E2w>\n")).Loaded);
    EXPECT_EQ(state.RowCount, 1);
    EXPECT_EQ(state.FieldCount, 2);
    EXPECT_EQ(state.Rows[1].Fields[0], "");
    EXPECT_EQ(state.Rows[1].Fields[1], "w");
    EXPECT_EQ(state.Rows[2].Caption, "");
    EXPECT_EQ(state.Rows[2].Fields[1], "");
}

TEST_F(LoadListTest, ResumesAndRestartsOnAnyChangedByte) {
    const std::string list = List("plan.txt", "1\r\n2\r\n3\r\n");
    ASSERT_TRUE(LoadList(state, list).Loaded);
    WriteBytes(state.ProgressFile, ReadBytes(state.ProgressFile) + "1\r\n3\r\n");
    ASSERT_TRUE(LoadList(state, list).Loaded);
    EXPECT_TRUE(state.Rows[1].Done && state.Rows[3].Done && !state.Rows[2].Done);
    EXPECT_EQ(state.RemainingCount, 1);

    WriteBytes(dir.Path() / "plan.txt", "1\r\n2\r\n3\n");  // one line end changed
    ASSERT_TRUE(LoadList(state, list).Loaded);
    EXPECT_EQ(state.RemainingCount, 3);
    EXPECT_EQ(ReadBytes(state.ProgressFile), std::to_string(state.ProgressCrc) + "\r\n");
}

TEST_F(LoadListTest, FinishedListAsksAndRestartsOnYes) {
    const std::string list = List("done.txt", "1\n2\n");
    ASSERT_TRUE(LoadList(state, list).Loaded);
    WriteBytes(state.ProgressFile, ReadBytes(state.ProgressFile) + "2\r\n1\r\n");
    const TLoadOutcome out = LoadList(state, list);
    ASSERT_TRUE(out.AskRestart);
    EXPECT_EQ(Cp1251ToUtf8(out.RestartQuestion),
              "Файл done.txt полностью сделан, запустить заново?");
    EXPECT_EQ(RowCounterText(state), "2/0");
    EXPECT_TRUE(RestartList(state));
    EXPECT_EQ(RowCounterText(state), "2/2");
    EXPECT_FALSE(state.Rows[1].Done || state.Rows[2].Done);
    EXPECT_EQ(ReadBytes(state.ProgressFile), std::to_string(state.ProgressCrc) + "\r\n");
}

TEST_F(LoadListTest, ProgressStaysWithTheFolderOfTheLoad) {
    ASSERT_TRUE(LoadList(state, List("plan.txt", "1\n2\n")).Loaded);
    const auto progress = state.ProgressFile;
    std::filesystem::create_directory(dir.Path() / "other");
    std::filesystem::current_path(dir.Path() / "other");
    EXPECT_FALSE(LoadList(state, "missing.txt").Loaded);
    ASSERT_TRUE(AppendProgress(state, 2, nullptr));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "other" / "plan.crc"));
    EXPECT_EQ(ReadBytes(progress), std::to_string(state.ProgressCrc) + "\r\n2\r\n");
}

TEST_F(LoadListTest, RowTableStaysUnder16MB) {
    std::string text;
    for (int i = 1; i <= kRowCapacity; ++i) {
        text += std::to_string(i) + " Дверь шкафа левая <E1А-" + std::to_string(i) + "><E2 x>\n";
    }
    ASSERT_TRUE(LoadList(state, List("full.txt", text)).Loaded);
    EXPECT_LT(RowTableBytes(state), 16u * 1024 * 1024);
}

}  // namespace
}  // namespace tandrel::job
