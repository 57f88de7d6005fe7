#include "job/journal.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TJournalEntry Piece(std::int32_t row, double size = 1200) {
    TJournalEntry e;
    e.ListName = "C:\\Раскрой\\plan.txt"_cp1251;
    e.Row = row;
    e.Size = size;
    e.Correction = 0;
    e.Target = size;
    return e;
}

// A clock the test moves by hand.
struct ManualClock {
    TLocalTime now{2026, 12, 9, 10, 0, 0};
    TClock Get() {
        return [this] { return now; };
    }
};

class JournalTest : public ::testing::Test {
  protected:
    TempDir dir;
    ManualClock clock;
    void SetUp() override { SetDecimalSeparator(','); }
};

TEST(JournalFormat, FieldsAreQuotedOnlyWhereTheyMustBe) {
    const struct {
        const char* text;
        const char* field;
    } rows[] = {
        {"plain", "plain"},
        {"", ""},
        {"C:\\lists\\a;b.txt", "\"C:\\lists\\a;b.txt\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "two  lines"},
        {"1234,5", "1234,5"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(JournalField(r.text), r.field) << r.text;
        EXPECT_EQ(
            SplitJournalLine(std::string("x;") + JournalField(r.text) + ";y"),
            (std::vector<std::string>{
                "x",
                JournalField(r.text).find('"') == 0 ? std::string(r.text) : JournalField(r.text),
                "y"}))
            << r.text;
    }
}

TEST(JournalFormat, FileNameHeaderAndLine) {
    SetDecimalSeparator('.');
    EXPECT_EQ(JournalFileName({2026, 3, 31, 23, 59, 59}), "journal-2026-03.csv");
    EXPECT_EQ(Cp1251ToUtf8(JournalHeader()),
              "Дата;Время;Список;Строка;Размер;Коррекция;Цель;В диапазоне;Повторно;Этикетка\r\n");
    TJournalEntry e = Piece(17, 1234.56);
    e.Correction = 5;
    e.Target = 1239.6;
    e.Label = TLabelResult::Printed;
    EXPECT_EQ(
        Cp1251ToUtf8(JournalLine(e, {2026, 1, 2, 3, 4, 5})),
        "02.01.2026;03:04:05;C:\\Раскрой\\plan.txt;17;1234.56;5;1239.6;да;нет;напечатана\r\n");
}

TEST(JournalFormat, ALeftoverIsALineButNoPiece) {
    SetDecimalSeparator(',');
    TJournalEntry kept = LeftoverEntry("a.txt", 1240.5, TLeftover::Remnant, "R000123");
    kept.Label = TLabelResult::Queued;
    TJournalEntry outcome = kept;
    outcome.Outcome = true;
    outcome.Label = TLabelResult::Failed;
    outcome.LabelFailure = "нет бумаги"_cp1251;
    const struct {
        TJournalEntry entry;
        const char* label;
    } rows[] = {
        {kept, "остаток R000123: в очереди"},
        {outcome, "остаток R000123: итог: нет бумаги"},
        {LeftoverEntry("a.txt", 320, TLeftover::Waste), "отход"},
        {LeftoverEntry("a.txt", 320, TLeftover::FlawedBar), "хлыст с дефектом"},
    };
    for (const auto& r : rows) {
        const std::string line = JournalLine(r.entry, {2026, 12, 10, 9, 0, 0});
        const std::string size = r.entry.Size == 320 ? "320" : "1240,5";
        EXPECT_EQ(Cp1251ToUtf8(line), "10.12.2026;09:00:00;a.txt;;" + size + ";;" + size +
                                          ";да;нет;" + r.label + "\r\n");
        EXPECT_FALSE(r.entry.IsPiece());
        EXPECT_FALSE(ParseJournalLine(line.substr(0, line.size() - 2))->Piece) << r.label;
    }
    SetDecimalSeparator('.');
}

TEST(JournalFormat, LinesReadBack) {
    TJournalEntry out = Piece(3);
    out.InRange = false;
    TJournalEntry again = Piece(3);
    again.WorkedAgain = true;
    TJournalEntry quoted = Piece(4);
    quoted.ListName = "a;\"b\".txt";
    quoted.Label = TLabelResult::Failed;
    quoted.LabelFailure = "fault; \"x\"";
    TJournalEntry queued = Piece(5);
    queued.Label = TLabelResult::Queued;
    TJournalEntry outcome = queued;  // as the main window writes it when the label is done
    outcome.WorkedAgain = true;
    outcome.Outcome = true;
    outcome.Label = TLabelResult::Paused;
    const TLocalTime at{2026, 12, 9, 8, 30, 0};
    EXPECT_TRUE(Cp1251ToUtf8(JournalLine(queued, at)).ends_with(";да;нет;в очереди\r\n"));
    EXPECT_TRUE(Cp1251ToUtf8(JournalLine(outcome, at)).ends_with(";да;да;итог: на паузе\r\n"));
    const struct {
        const char* name;
        std::string line;
        bool parsed, piece;
    } rows[] = {
        {"a step whose label is queued", JournalLine(queued, at), true, true},
        {"its label's outcome", JournalLine(outcome, at), true, false},
        {"piece", JournalLine(Piece(1), at), true, true},
        {"keypad move", JournalLine(KeypadMoveEntry("plan.txt", 1500), at), true, false},
        {"out of range", JournalLine(out, at), true, false},
        {"worked again", JournalLine(again, at), true, false},
        {"quoted fields", JournalLine(quoted, at), true, true},
        {"header", JournalHeader(), false, false},
        {"no such day", "32.12.2026;08:30:00;a;1;1;0;1;да;нет;x", false, false},
        {"no such hour", "09.12.2026;24:00:00;a;1;1;0;1;да;нет;x", false, false},
        {"fields missing", "09.12.2026;08:30:00;a;1;1;0;1;да;нет", false, false},
        {"garbage", "09.12.20", false, false},
    };
    for (const auto& r : rows) {
        std::string line = r.line;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        const auto record = ParseJournalLine(line);
        ASSERT_EQ(record.has_value(), r.parsed) << r.name;
        if (!record) continue;
        EXPECT_EQ(record->At, at) << r.name;
        EXPECT_EQ(record->Piece, r.piece) << r.name;
    }
    EXPECT_EQ(
        SplitJournalLine(JournalLine(quoted, at).substr(0, JournalLine(quoted, at).size() - 2))
            .at(2),
        "a;\"b\".txt");
}

TEST(JournalFormat, WallClockArithmetic) {
    const TLocalTime rows[] = {
        {1970, 1, 1, 0, 0, 0},
        {2026, 12, 31, 23, 59, 59},
        {2028, 2, 29, 12, 0, 1},
        {2027, 1, 1, 0, 0, 0},
    };
    for (const auto& t : rows) EXPECT_EQ(FromWallSeconds(WallSeconds(t)), t);
    EXPECT_EQ(WallSeconds({2027, 1, 1, 0, 0, 0}) - WallSeconds({2026, 12, 31, 23, 0, 0}), 3600);
}

TEST_F(JournalTest, ANewFileStartsWithItsHeaderAndEveryLineIsAppended) {
    TJournal journal(dir.Path(), clock.Get());
    ASSERT_TRUE(journal.Append(Piece(1)).Written);
    clock.now.Second = 7;
    ASSERT_TRUE(journal.Append(KeypadMoveEntry("", 1500.5)).Written);
    const auto file = dir.Path() / "journal-2026-12.csv";
    EXPECT_EQ(journal.FileAt(clock.now), file);
    EXPECT_EQ(ReadBytes(file), JournalHeader() + JournalLine(Piece(1), {2026, 12, 9, 10, 0, 0}) +
                                   JournalLine(KeypadMoveEntry("", 1500.5), clock.now));
    // Another run of the program goes on in the same file.
    TJournal next(dir.Path(), clock.Get());
    ASSERT_TRUE(next.Append(Piece(2)).Written);
    EXPECT_EQ(ReadBytes(file).find(JournalHeader(), 1), std::string::npos);
}

TEST_F(JournalTest, AMonthBoundaryStartsANewFile) {
    TJournal journal(dir.Path(), clock.Get());
    clock.now = {2026, 12, 31, 23, 59, 59};
    ASSERT_TRUE(journal.Append(Piece(1)).Written);
    const std::string december = ReadBytes(dir.Path() / "journal-2026-12.csv");
    clock.now = {2027, 1, 1, 0, 0, 1};
    ASSERT_TRUE(journal.Append(Piece(2)).Written);
    EXPECT_EQ(ReadBytes(dir.Path() / "journal-2026-12.csv"), december);
    EXPECT_EQ(ReadBytes(dir.Path() / "journal-2027-01.csv"),
              JournalHeader() + JournalLine(Piece(2), clock.now));
    // The last hour reaches back into December.
    EXPECT_EQ(journal.Counts(), (TPieceCounts{1, 2}));
    TJournal restarted(dir.Path(), clock.Get());
    restarted.LoadPieces();
    EXPECT_EQ(restarted.Counts(), (TPieceCounts{1, 2}));
}

TEST_F(JournalTest, ATornLastLineIsIgnoredAndTheNextLineStartsAfresh) {
    const auto file = dir.Path() / "journal-2026-12.csv";
    const std::string whole = JournalHeader() + JournalLine(Piece(1), {2026, 12, 9, 9, 30, 0});
    const struct {
        const char* name;
        std::string before;
        std::string kept;  // what remains ahead of the new line
    } rows[] = {
        {"torn line", whole + "09.12.2026;09:4", whole},
        {"torn line end", whole + JournalLine(Piece(5), {2026, 12, 9, 9, 40, 0}).substr(0, 40),
         whole},
        {"torn header", JournalHeader().substr(0, 7), JournalHeader()},
        {"empty file", "", JournalHeader()},
        {"whole", whole, whole},
    };
    for (const auto& r : rows) {
        WriteBytes(file, r.before);
        TJournal journal(dir.Path(), clock.Get());
        journal.LoadPieces();
        EXPECT_EQ(journal.Counts().Today, r.kept == whole ? 1 : 0) << r.name;
        ASSERT_TRUE(journal.Append(Piece(2)).Written) << r.name;
        EXPECT_EQ(ReadBytes(file), r.kept + JournalLine(Piece(2), clock.now)) << r.name;
    }
}

TEST_F(JournalTest, PiecesOfTodayAndOfTheLastHour) {
    std::string text = JournalHeader();
    TJournalEntry out = Piece(9);
    out.InRange = false;
    TJournalEntry again = Piece(1);
    again.WorkedAgain = true;
    const struct {
        TJournalEntry entry;
        TLocalTime at;
    } lines[] = {
        {Piece(1), {2026, 12, 8, 23, 30, 0}},  // yesterday
        {Piece(2), {2026, 12, 9, 8, 59, 59}},  // today, more than an hour ago
        {Piece(3), {2026, 12, 9, 9, 0, 1}},    // within the hour
        {again, {2026, 12, 9, 9, 10, 0}},      // not a piece
        {out, {2026, 12, 9, 9, 20, 0}},        // not a piece
        {KeypadMoveEntry("plan.txt", 800), {2026, 12, 9, 9, 30, 0}},  // not a piece
        {Piece(4), {2026, 12, 9, 9, 59, 0}},
    };
    for (const auto& l : lines) text += JournalLine(l.entry, l.at);
    WriteBytes(dir.Path() / "journal-2026-12.csv", text + "09.12.2026;09:59:30;x;5;1");
    TJournal journal(dir.Path(), clock.Get());
    journal.LoadPieces();
    EXPECT_EQ(journal.Counts(), (TPieceCounts{3, 2}));
    ASSERT_TRUE(journal.Append(Piece(5)).Written);
    ASSERT_TRUE(journal.Append(out).Written);
    EXPECT_EQ(journal.Counts(), (TPieceCounts{4, 3}));
    clock.now = {2026, 12, 9, 10, 58, 59};  // the hour slides on
    EXPECT_EQ(journal.Counts(), (TPieceCounts{4, 2}));
    clock.now = {2026, 12, 10, 0, 0, 0};  // a new day
    EXPECT_EQ(journal.Counts(), (TPieceCounts{0, 0}));
}

int g_failures = 0;
int FailWrites(FileStep step, const std::filesystem::path&) {
    if (step != FileStep::Write || g_failures == 0) return 0;
    --g_failures;
    return EIO;
}

TEST_F(JournalTest, AFailureIsSaidOnceUntilTheJournalWorksAgain) {
    TJournal journal(dir.Path(), clock.Get());
    const FileStepHook previous = SetFileStepHook(&FailWrites);
    g_failures = 2;
    const TJournal::TAppend first = journal.Append(Piece(1));
    const TJournal::TAppend second = journal.Append(Piece(2));
    const TJournal::TAppend third = journal.Append(Piece(3));
    g_failures = 1;
    const TJournal::TAppend fourth = journal.Append(Piece(4));
    SetFileStepHook(previous);
    EXPECT_TRUE(!first.Written && first.FirstFailure && !first.Failure.empty());
    EXPECT_TRUE(!second.Written && !second.FirstFailure && !second.Failure.empty());
    EXPECT_TRUE(third.Written && !third.FirstFailure);
    EXPECT_TRUE(!fourth.Written && fourth.FirstFailure);
    EXPECT_EQ(journal.Counts().Today, 1);  // only the line written counts
    EXPECT_EQ(ReadBytes(dir.Path() / "journal-2026-12.csv"),
              JournalHeader() + JournalLine(Piece(3), clock.now));
}

TEST_F(JournalTest, AFolderThatCannotBeWrittenFailsWithoutRaising) {
    TJournal journal(dir.Path() / "missing", clock.Get());
    journal.LoadPieces();
    const TJournal::TAppend result = journal.Append(Piece(1));
    EXPECT_FALSE(result.Written);
    EXPECT_TRUE(result.FirstFailure);
    EXPECT_EQ(journal.Counts(), (TPieceCounts{0, 0}));
}

}  // namespace
}  // namespace tandrel::job
