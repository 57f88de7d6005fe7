#include "job/sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <vector>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "job/journal.h"
#include "job/progress.h"
#include "support/temp_dir.h"

namespace tandrel::job {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// The main window reduced to what the job reads and writes.
class RecordingView : public TJobView {
  public:
    explicit RecordingView(TJobState& state) : state_(state) {}

    std::string position;
    std::vector<std::string> positions;  // every text the display showed
    std::string info, status, startCaption = "Старт"_cp1251, counter, shownList;
    bool statusFault = false, startEnabled = false, backEnabled = false, buttonsShown = false;
    bool answerYes = false, manualEntry = false;
    std::int32_t selected = 0, top = 0, visible = 5, records = -1;
    std::vector<std::int32_t> labels;  // rows whose label was handed over
    std::vector<std::string> messages, questions;
    std::string printFailure;
    bool printsLabels = false;
    std::vector<TJournalEntry> journal;

    std::string PositionText() const override { return position; }
    void SetPositionText(const std::string& text) override {
        if (text == position) return;
        position = text;
        positions.push_back(text);
        Edit1Change(state_, *this);
    }
    void SetInfoLine(const std::string& text) override { info = text; }
    void SetStatusLine(const std::string& text, bool fault) override {
        status = text;
        statusFault = fault;
    }
    void SetStartCaption(const std::string& caption) override { startCaption = caption; }
    void SetStartEnabled(bool enabled) override { startEnabled = enabled; }
    bool StartEnabled() const override { return startEnabled; }
    void SetBackEnabled(bool enabled) override { backEnabled = enabled; }
    void ShowButtons() override { buttonsShown = true; }
    void FocusStart() override {}
    std::int32_t SelectedRow() const override { return selected; }
    std::int32_t VisibleRows() const override { return visible; }
    void SelectRow(std::int32_t row, std::int32_t topRow) override {
        selected = row;
        top = topRow;
    }
    void SetRowCounter(const std::string& text) override { counter = text; }
    void RowChanged(std::int32_t) override {}
    void ShowList(const std::string& listName) override { shownList = listName; }
    bool AskRestart(const std::string& question) override {
        questions.push_back(question);
        return answerYes;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetRecordCount(std::int32_t count) override { records = count; }
    bool EnterManualEntry() override { return manualEntry; }
    TLabelHandOver PrintRowLabel(const TJournalEntry& step) override {
        if (!printFailure.empty()) return {TLabelResult::Failed, printFailure};
        labels.push_back(step.Row);
        return {printsLabels ? TLabelResult::Queued : TLabelResult::NotPrinted, {}};
    }
    void JournalStep(const TJournalEntry& entry) override { journal.push_back(entry); }

    // Each finished step: its target, whether in range, and the progress file's lines by then.
    struct Finished {
        double target;
        bool inRange;
        std::size_t progressLines;
    };
    std::vector<Finished> finished;
    void StepFinished(double target, bool inRange) override {
        std::string text;
        if (std::filesystem::is_regular_file(state_.ProgressFile))
            text = ReadBytes(state_.ProgressFile);
        finished.push_back({target, inRange,
                            static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'))});
    }

  private:
    TJobState& state_;
};

class SequenceTest : public ::testing::Test {
  protected:
    TempDir dir;
    TJobState state;
    RecordingView view{state};
    TStepLimits limits{100, 5000, 0, false};

    void SetUp() override { SetDecimalSeparator(','); }

    // Loads a list of the given sizes with the given rows already recorded.
    void Load(const std::vector<double>& sizes, const std::vector<int>& done = {}) {
        std::string text;
        for (double s : sizes) text += FormatGeneral(s, '.') + " row\r\n";
        WriteBytes(dir.Path() / "list.txt", text);
        ASSERT_TRUE(LoadList(state, dir.Name("list.txt")).Loaded);
        std::string progress = std::to_string(state.ProgressCrc) + "\r\n";
        for (int r : done) progress += std::to_string(r) + "\r\n";
        WriteBytes(state.ProgressFile, progress);
        ASSERT_TRUE(OpenList(state, view, dir.Name("list.txt")).Loaded);
    }

    // Row numbers after the CRC line of the progress file.
    std::vector<int> Recorded() {
        std::vector<int> rows;
        const std::string text = ReadBytes(state.ProgressFile);
        std::size_t pos = text.find("\r\n") + 2;
        while (pos < text.size()) {
            const auto end = text.find("\r\n", pos);
            rows.push_back(std::stoi(text.substr(pos, end - pos)));
            pos = end + 2;
        }
        return rows;
    }

    void Start() { BitBtn1Click(state, view, limits); }
};

TEST_F(SequenceTest, Targets) {
    const struct {
        double size;
        std::int32_t precision, correction;
        const char* shown;
    } rows[] = {
        {1234.56, 0, 0, "1235"},   {1234.56, 1, 0, "1234,6"}, {1234.56, 1, 5, "1239,6"},
        {1234.5, 0, 0, "1234"},    {1235.5, 0, 0, "1236"},    {2.25, 1, 0, "2,2"},
        {1234.45, 1, 0, "1234,5"}, {99.6, 0, 0, "100"},       {5000.4, 0, 0, "5000"},
    };
    limits.MinSize = 0;
    for (const auto& r : rows) {
        Load({r.size});
        limits.Precision = r.precision;
        state.Correction = r.correction;
        view.position = "1500";
        view.positions.clear();
        Start();
        ASSERT_EQ(view.positions.size(), 2u) << r.size;
        EXPECT_EQ(view.positions[0], "1500->" + std::string(r.shown)) << r.size;
        EXPECT_EQ(view.positions[1], r.shown) << r.size;
        EXPECT_EQ(Recorded(), std::vector<int>{1}) << r.size;
    }
}

// A move after the step must never find its row unrecorded: the step's end comes after the
// completion has written the row, for rows in range and out of it, and once a step.
TEST_F(SequenceTest, StepFinishesAfterTheRowIsRecorded) {
    Load({1200, 99, 1300.4});
    limits.Precision = 1;
    for (int i = 0; i < 3; ++i) Start();
    Start();  // nothing left: no step, nothing finished
    ASSERT_EQ(view.finished.size(), 3u);
    const struct {
        double target;
        bool inRange;
        std::size_t lines;  // the CRC line and the rows recorded so far
    } expected[] = {{1200, true, 2}, {99, false, 4}, {1300.4, true, 5}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(view.finished[i].target, expected[i].target) << i;
        EXPECT_EQ(view.finished[i].inRange, expected[i].inRange) << i;
        EXPECT_EQ(view.finished[i].progressLines, expected[i].lines) << i;
    }
}

TEST_F(SequenceTest, InRangeRowIsShownLabelledAndRecorded) {
    Load({1200, 1300});
    EXPECT_EQ(view.counter, "2/2");
    EXPECT_EQ(view.records, 2);
    EXPECT_TRUE(view.startEnabled && view.buttonsShown && !view.backEnabled);
    Start();
    EXPECT_EQ(view.info, "row");
    EXPECT_EQ(view.labels, std::vector<std::int32_t>{1});
    EXPECT_EQ(view.position, "1200");
    EXPECT_EQ(view.counter, "2/1");
    EXPECT_EQ(Cp1251ToUtf8(view.startCaption), "Следующий");
    EXPECT_EQ(Recorded(), std::vector<int>{1});
    EXPECT_TRUE(state.Rows[1].Done);
}

TEST_F(SequenceTest, RangeBoundsAndOutOfRange) {
    Load({100, 5000, 5001, 99});
    for (int i = 0; i < 4; ++i) Start();
    EXPECT_EQ(view.labels, (std::vector<std::int32_t>{1, 2}));
    // Out of range: recorded by the step and again by the completion.
    EXPECT_EQ(Recorded(), (std::vector<int>{1, 2, 3, 3, 4, 4}));
    EXPECT_EQ(Cp1251ToUtf8(view.info), "Ошибка! Размер 99 вне диапазона!");
    EXPECT_EQ(view.position, "99");
    EXPECT_TRUE(state.Rows[4].Done);
    EXPECT_FALSE(view.startEnabled);
}

TEST_F(SequenceTest, SkipsDoneRowsOrTakesThemInOrder) {
    const struct {
        bool consecutive;
        std::vector<int> rows;
        std::vector<const char*> counters;
    } cases[] = {
        {false, {1, 3, 5}, {"5/2", "5/1", "5/0"}},
        {true, {1, 2, 3, 4, 5}, {"5/2", "5/2", "5/1", "5/1", "5/0"}},
    };
    for (const auto& c : cases) {
        Load({1001, 1002, 1003, 1004, 1005}, {2, 4});
        EXPECT_EQ(view.counter, "5/3");
        limits.ConsecutiveRows = c.consecutive;
        for (std::size_t i = 0; i < c.rows.size(); ++i) {
            EXPECT_TRUE(view.startEnabled);
            Start();
            EXPECT_EQ(state.CurrentRow, c.rows[i]);
            EXPECT_EQ(view.counter, c.counters[i]);
        }
        EXPECT_FALSE(view.startEnabled);
        const std::string before = view.position;
        Start();  // nothing remains: nothing happens
        EXPECT_EQ(view.position, before);
    }
}

TEST_F(SequenceTest, WrapsAroundAndCountsTheRowItStandsOn) {
    Load({1001, 1002, 1003}, {1, 3});
    state.CurrentRow = 3;
    Start();
    EXPECT_EQ(state.CurrentRow, 2);
    EXPECT_EQ(view.counter, "3/0");

    // A reload during work can leave CurrentRow on a row that is not done.
    Load({1001, 1002, 1003}, {1, 3});
    state.CurrentRow = 2;
    Start();
    EXPECT_EQ(state.CurrentRow, 2);
    EXPECT_TRUE(state.Rows[2].Done);
    EXPECT_EQ(view.counter, "3/0");
    EXPECT_FALSE(view.startEnabled);
}

TEST_F(SequenceTest, BackAndDoubleClick) {
    Load({1001, 1002, 1003, 1004});
    Start();
    Start();  // rows 1 and 2 done, row 2 selected
    EXPECT_TRUE(view.backEnabled);

    BitBtn2Click(state, view, limits);  // row 1 again, not counted
    EXPECT_EQ(state.CurrentRow, 1);
    EXPECT_EQ(view.counter, "4/2");
    EXPECT_FALSE(view.backEnabled);
    BitBtn2Click(state, view, limits);  // selection on row 1: nothing
    EXPECT_EQ(state.CurrentRow, 1);

    view.selected = 4;  // not done: worked and counted
    StringGrid1DblClick(state, view, limits);
    EXPECT_EQ(state.CurrentRow, 4);
    EXPECT_EQ(view.counter, "4/1");
    view.selected = 2;  // done: again, not counted
    StringGrid1DblClick(state, view, limits);
    EXPECT_EQ(state.CurrentRow, 2);
    EXPECT_EQ(view.counter, "4/1");
    Start();  // forward from the revisited row
    EXPECT_EQ(state.CurrentRow, 3);
    EXPECT_EQ(view.counter, "4/0");
    EXPECT_EQ(Recorded(), (std::vector<int>{1, 2, 1, 4, 2, 3}));

    for (std::int32_t outside : {0, -1, 5, 30000}) {
        view.selected = outside;
        StringGrid1DblClick(state, view, limits);
        BitBtn2Click(state, view, limits);
        EXPECT_EQ(state.CurrentRow, 3);
    }
}

// A plan's order: headings are no rows, rows outside the list or shown twice are dropped, and
// Start, Back and the wrap-around walk the pieces in that order.
TEST_F(SequenceTest, WorksTheRowsInAnOrderOfTheirOwn) {
    Load({1001, 1002, 1003, 1004, 1005}, {1});
    state.Order = MakeWorkOrder(
        {{0, "A"}, {3, {}}, {1, {}}, {0, "B"}, {5, {}}, {2, {}}, {9, {}}, {3, {}}, {4, {}}},
        state.RowCount);
    EXPECT_EQ(GridRowCount(state), 7);
    EXPECT_EQ(state.Order.Rows, (std::vector<std::int32_t>{3, 1, 5, 2, 4}));
    EXPECT_EQ(CellLook(state, 4, false), TCellLook::Heading);
    EXPECT_EQ(CellLook(state, 3, false), TCellLook::Done);  // row 1

    const struct { std::int32_t row, gridRow; } steps[] = {{3, 2}, {5, 5}, {2, 6}, {4, 7}};
    for (const auto& s : steps) {
        Start();
        EXPECT_EQ(state.CurrentRow, s.row);
        EXPECT_EQ(view.selected, s.gridRow);
    }
    EXPECT_EQ(Recorded(), (std::vector<int>{1, 3, 5, 2, 4}));
    EXPECT_FALSE(view.startEnabled);

    view.selected = 5;  // row 5: Back takes row 1, across the heading
    BitBtn2Click(state, view, limits);
    EXPECT_EQ(state.CurrentRow, 1);
    EXPECT_EQ(view.selected, 3);
    view.selected = 4;  // a heading: nothing
    BitBtn2Click(state, view, limits);
    StringGrid1DblClick(state, view, limits);
    EXPECT_EQ(state.CurrentRow, 1);

    // Not done again: the next piece in order after the one in work, then around.
    state.Rows[3].Done = false;
    state.RemainingCount = 1;
    state.CurrentRow = 2;
    Start();
    EXPECT_EQ(state.CurrentRow, 3);
}

TEST_F(SequenceTest, ScrollsTheRowToTheMiddle) {
    Load(std::vector<double>(20, 1000));
    const struct {
        std::int32_t visible, row, top;
    } cases[] = {{5, 10, 8}, {7, 10, 6}, {7, 3, 1}, {4, 1, 1}};
    for (const auto& c : cases) {
        view.visible = c.visible;
        view.selected = c.row + 1;  // double-click one below, then Back
        state.Rows[c.row].Done = true;
        BitBtn2Click(state, view, limits);
        EXPECT_EQ(view.selected, c.row);
        EXPECT_EQ(view.top, c.top) << c.visible << " " << c.row;
    }
}

TEST_F(SequenceTest, FailuresOfPrinterAndProgressFileDoNotStopTheStep) {
    Load({1001, 1002});
    view.printFailure = "Этикетка не напечатана: Порт занят другой программой"_cp1251;
    Start();
    EXPECT_EQ(view.status, view.printFailure);
    EXPECT_TRUE(view.statusFault);
    EXPECT_EQ(view.position, "1001");
    EXPECT_EQ(Recorded(), std::vector<int>{1});
    EXPECT_TRUE(view.startEnabled);

    std::filesystem::remove(state.ProgressFile);
    std::filesystem::create_directory(state.ProgressFile);  // can no longer be appended to
    view.printFailure.clear();
    Start();
    EXPECT_EQ(state.CurrentRow, 2);
    EXPECT_NE(Cp1251ToUtf8(view.status).find("Строка 2 не записана"), std::string::npos);
}

TEST_F(SequenceTest, OpenListRejectsAndRestarts) {
    Load({1001, 1002});
    Start();
    WriteBytes(dir.Path() / "bad.txt", "1\n1..2\n");
    EXPECT_FALSE(OpenList(state, view, dir.Name("bad.txt")).Loaded);
    EXPECT_TRUE(view.statusFault);
    EXPECT_NE(Cp1251ToUtf8(view.status).find("строка 2"), std::string::npos);
    EXPECT_EQ(view.shownList, dir.Name("list.txt"));
    Start();  // the old list goes on
    EXPECT_EQ(state.CurrentRow, 2);
    EXPECT_EQ(Recorded(), (std::vector<int>{1, 2}));

    for (bool yes : {false, true}) {
        view.answerYes = yes;
        view.questions.clear();
        ASSERT_TRUE(OpenList(state, view, dir.Name("list.txt")).Loaded);
        EXPECT_EQ(view.questions.size(), 1u);
        EXPECT_EQ(view.counter, yes ? "2/2" : "2/0");
        EXPECT_EQ(view.startCaption, "Старт"_cp1251);
        EXPECT_TRUE(view.startEnabled);
        EXPECT_EQ(state.CurrentRow, 0);
    }
    EXPECT_TRUE(Recorded().empty());
}

int FailReadsOfCrcFail(FileStep step, const std::filesystem::path& path) {
    return step == FileStep::Read && path.filename() == "crcfail.txt" ? EIO : 0;
}

// A refused load leaves the list in work, its progress file and the refused file as they were.
TEST_F(SequenceTest, RefusedLoadsChangeNoFile) {
    Load({1001, 1002});
    Start();
    const std::string progress = ReadBytes(state.ProgressFile);
    const struct {
        const char* name;
        bool crcMessage;
    } cases[] = {
        {"plan.crc", false},  // it would be its own progress file
        {"PLAN.Crc", false},
        {"crcfail.txt", true},  // its progress file would be started afresh
    };
    const FileStepHook previous = SetFileStepHook(&FailReadsOfCrcFail);
    for (const auto& c : cases) {
        const std::string bytes = "1000 A\r\n";
        WriteBytes(dir.Path() / c.name, bytes);
        view.messages.clear();
        EXPECT_FALSE(OpenList(state, view, dir.Name(c.name)).Loaded) << c.name;
        EXPECT_TRUE(view.statusFault) << c.name;
        EXPECT_EQ(view.messages.size(), c.crcMessage ? 1u : 0u) << c.name;
        EXPECT_EQ(ReadBytes(dir.Path() / c.name), bytes) << c.name;
        EXPECT_EQ(state.RowCount, 2) << c.name;
    }
    SetFileStepHook(previous);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "crcfail.crc"));
    EXPECT_EQ(ReadBytes(state.ProgressFile), progress);
}

TEST_F(SequenceTest, ResumesAfterARestartOfTheProgram) {
    Load({1001, 1002, 1003, 1004});
    Start();
    Start();
    TJobState restarted;
    RecordingView again(restarted);
    ASSERT_TRUE(OpenList(restarted, again, dir.Name("list.txt")).Loaded);
    EXPECT_EQ(again.counter, "4/2");
    BitBtn1Click(restarted, again, limits);
    EXPECT_EQ(restarted.CurrentRow, 3);
    EXPECT_EQ(again.counter, "4/1");
}

TEST(CellLook, Table) {
    TJobState state;
    state.RowCount = 2;
    state.Rows[2].Done = true;
    state.Rows[3].Done = true;  // beyond the list
    const struct {
        std::int32_t row;
        bool selected;
        TCellLook look;
    } cases[] = {{0, false, TCellLook::Header}, {1, false, TCellLook::Grid},
                 {2, false, TCellLook::Done},   {2, true, TCellLook::Selected},
                 {3, false, TCellLook::Grid},   {-1, false, TCellLook::Grid}};
    for (const auto& c : cases) EXPECT_EQ(CellLook(state, c.row, c.selected), c.look) << c.row;
}

TEST_F(SequenceTest, ManualEntryTakesStart) {
    Load({1001});
    view.manualEntry = true;
    Start();
    EXPECT_EQ(state.CurrentRow, 0);
    EXPECT_EQ(view.counter, "1/1");
}

// The journal's lines of a worked list, one per step, as they reach the file.
TEST_F(SequenceTest, JournalLinesOfAWorkedList) {
    Load({1200.5, 6000, 1300, 1400});
    const std::string list = dir.Name("list.txt");
    state.Correction = 2;
    view.printsLabels = true;
    const TLocalTime at{2026, 12, 9, 7, 5, 3};
    auto lines = [&] {
        std::vector<std::string> out;
        for (const auto& e : view.journal) out.push_back(Cp1251ToUtf8(JournalLine(e, at)));
        view.journal.clear();
        return out;
    };
    const std::string head = "09.12.2026;07:05:03;" + Cp1251ToUtf8(list) + ";";
    const std::string failure = "Этикетка не напечатана: Порт занят другой программой";

    const struct {
        const char* name;
        std::function<void()> act;
        std::vector<std::string> expected;  // after the list name
    } steps[] = {
        {"in range, label handed to the printer",
         [&] { Start(); },
         {"1;1200,5;2;1202;да;нет;в очереди"}},
        {"out of range: no label", [&] { Start(); }, {"2;6000;2;6002;нет;нет;не напечатана"}},
        {"label failure",
         [&] {
             view.printFailure = Utf8ToCp1251(failure);
             Start();
             view.printFailure.clear();
         },
         {"3;1300;2;1302;да;нет;" + failure}},
        {"Back works row 2 again",
         [&] { BitBtn2Click(state, view, limits); },
         {"2;6000;2;6002;нет;да;не напечатана"}},
        {"out of range again, display already showing it",
         [&] {
             view.selected = 2;
             StringGrid1DblClick(state, view, limits);
         },
         {"2;6000;2;6002;нет;да;не напечатана"}},
        {"printing off, correction changed",
         [&] {
             view.printsLabels = false;
             state.Correction = -1;
             view.selected = 1;
             StringGrid1DblClick(state, view, limits);
         },
         {"1;1200,5;-1;1199;да;да;не напечатана"}},
        {"a later completion of the same step adds none",
         [&] {
             view.SetPositionText("1500");
             view.SetPositionText("1199");
         },
         {}},
        {"double-click on a row not done",
         [&] {
             view.selected = 4;
             StringGrid1DblClick(state, view, limits);
         },
         {"4;1400;-1;1399;да;нет;не напечатана"}},
        {"nothing left: Start does nothing", [&] { Start(); }, {}},
    };
    for (const auto& step : steps) {
        step.act();
        std::vector<std::string> expected;
        for (const auto& e : step.expected) expected.push_back(head + e + "\r\n");
        EXPECT_EQ(lines(), expected) << step.name;
    }
    EXPECT_EQ(Cp1251ToUtf8(JournalLine(KeypadMoveEntry(list, 1500.5), at)),
              head + ";1500,5;;1500,5;да;нет;не напечатана\r\n");
}

TEST_F(SequenceTest, RowsTakenAgainInOrderAreWorkedAgain) {
    Load({1000, 1100, 1200}, {2});
    limits.ConsecutiveRows = true;
    for (int i = 0; i < 3; ++i) Start();
    ASSERT_EQ(view.journal.size(), 3u);
    const bool again[] = {false, true, false};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(view.journal[i].Row, static_cast<std::int32_t>(i + 1));
        EXPECT_EQ(view.journal[i].WorkedAgain, again[i]) << i;
        EXPECT_EQ(view.journal[i].IsPiece(), !again[i]) << i;
    }
}

// The label preview shows the row the next Start works: the prediction must be that row.
TEST_F(SequenceTest, NextStepRowIsTheRowStartWorks) {
    const struct {
        const char* what;
        std::vector<int> done;
        bool consecutive;
        std::int32_t currentRow;
    } cases[] = {
        {"fresh list", {}, false, 0},
        {"done rows skipped", {1, 2, 4}, false, 0},
        {"wraps around", {1, 3}, false, 3},
        {"consecutive takes done rows", {2, 4}, true, 1},
        {"reload leaves CurrentRow on a row not done", {1, 3}, false, 2},
    };
    for (const auto& c : cases) {
        Load({1001, 1002, 1003, 1004, 1005}, c.done);
        limits.ConsecutiveRows = c.consecutive;
        state.CurrentRow = c.currentRow;
        for (int step = 0; step < 6; ++step) {
            const std::int32_t predicted = NextStepRow(state, c.consecutive);
            const std::int32_t before = state.CurrentRow;
            Start();
            if (predicted == 0) {
                EXPECT_EQ(state.CurrentRow, before) << c.what << " step " << step;
                break;
            }
            EXPECT_EQ(state.CurrentRow, predicted) << c.what << " step " << step;
        }
        EXPECT_EQ(NextStepRow(state, c.consecutive), 0) << c.what;
    }
    // After Back or a double-click the next Start searches forward from the revisited row.
    for (const bool back : {true, false}) {
        Load({1001, 1002, 1003, 1004});
        Start();
        Start();
        Start();
        view.selected = 2;
        if (back)
            BitBtn2Click(state, view, limits);
        else
            StringGrid1DblClick(state, view, limits);
        const std::int32_t predicted = NextStepRow(state, false);
        Start();
        EXPECT_EQ(state.CurrentRow, predicted) << (back ? "back" : "double-click");
        EXPECT_EQ(predicted, 4);
    }
    TJobState empty;
    EXPECT_EQ(NextStepRow(empty, false), 0);
}

}  // namespace
}  // namespace tandrel::job
