#include "plan/plan_file.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "job/job_state.h"
#include "plan/replan.h"

namespace tandrel::plan {
namespace {

TPlanFile Sample() {
    TPlanFile plan;
    plan.Crc = 4294967295u;
    plan.Sizes = {24000, 18005, 20000, 9000};
    plan.Cut = DefaultStationCut();
    plan.Cut.Stock = {{60000, kUnlimited, ""}, {25000, 2, ""}};
    plan.Bars = {{60000, 12400, "", {3, 1}}, {25000, 5955, "R-12", {2}}};
    plan.Unplaced = {4};
    plan.Settled = {2};
    plan.Flawed = {2};
    return plan;
}

TEST(PlanFile, ReadsBackWhatItWrites) {
    const TPlanFile plan = Sample();
    const std::string text = FormatPlanFile(plan);
    EXPECT_EQ(text,
              "plan=1\r\ncrc=4294967295\r\nrows=4\r\nsize=1;2400\r\nsize=2;1800.5\r\n"
              "size=3;2000\r\nsize=4;900\r\nstock=6000,2500x2\r\nkerf=4\r\nhead=10\r\n"
              "remnant=500\r\npieces=0\r\nbar=6000;1240;3,1\r\nbar=2500;595.5;2;R-12\r\n"
              "unplaced=4\r\nsettled=2\r\nflawed=2\r\nend\r\n");
    TPlanFile read;
    EXPECT_EQ(ParsePlanFile(text, read), "");
    EXPECT_EQ(read, plan);
    EXPECT_EQ(PlanFilePath("/w/list.crc"), std::filesystem::path("/w/list.plan"));
}

// Whatever a cut short or garbled file holds, it is refused with a reason and nothing breaks.
TEST(PlanFile, RefusesCutShortAndGarbledFiles) {
    const std::string text = FormatPlanFile(Sample());
    TPlanFile read;
    for (std::size_t n = 0; n + 2 < text.size(); ++n)
        EXPECT_NE(ParsePlanFile(text.substr(0, n), read), "") << n;
    const struct {
        const char* from;
        const char* to;
    } garbled[] = {
        {"bar=6000;1240;3,1", "bar=6000;1240;3,3"},  // a row twice
        {"bar=6000;1240;3,1", "bar=6000;1240;3,5"},  // no such row
        {"bar=6000;1240;3,1", "bar=6000;7000;3,1"},  // leftover past the bar
        {"crc=4294967295", "crc=4294967296"},
        {"size=2;1800.5", "size=3;1800.5"},
        {"rows=4", "rows=5"},
        {"stock=6000,2500x2", "stock=-1"},
        {"unplaced=4", "wrong=4"},
        {"settled=2", "settled=3"},  // no such bar
        {"flawed=2", "flawed=0"},
    };
    for (const auto& g : garbled) {
        std::string bad = text;
        bad.replace(bad.find(g.from), std::string(g.from).size(), g.to);
        EXPECT_NE(ParsePlanFile(bad, read), "") << g.to;
    }
}

TEST(PlanFile, StaleWhenTheListOrTheSettingsDiffer) {
    const TPlanFile plan = Sample();
    TStationCut otherCut = plan.Cut;
    otherCut.Cut.Kerf = 30;
    std::vector<TLength> otherSizes = plan.Sizes;
    otherSizes[1] = 18000;
    const struct {
        std::uint32_t crc;
        std::vector<TLength> sizes;
        TStationCut cut;
        const char* reason;  // UTF-8
    } cases[] = {
        {plan.Crc, plan.Sizes, plan.Cut, ""},
        {1, plan.Sizes, plan.Cut, "список изменён"},
        {plan.Crc, otherSizes, plan.Cut, "размеры деталей другие"},
        {plan.Crc, {24000}, plan.Cut, "размеры деталей другие"},
        {plan.Crc, plan.Sizes, otherCut, "настройки раскроя изменены"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp1251ToUtf8(StaleReason(plan, c.crc, c.sizes, c.cut)), c.reason);
}

TEST(PlanFile, GridHasAHeadingPerBarAndTheRestLast) {
    job::TJobState state;
    state.RowCount = 5;
    state.Rows[5].Done = true;  // not in the plan, done: not shown
    std::vector<std::string> shown;
    for (const job::TGridLine& line : PlanGridLines(Sample(), state))
        shown.push_back(line.Row == 0 ? Cp1251ToUtf8(line.Heading) : std::to_string(line.Row));
    EXPECT_EQ(shown, (std::vector<std::string>{"Хлыст 1 из 2 · 6000 · остаток 1240", "3", "1",
                                               "Хлыст 2 из 2 · 2500 R-12 · с дефектом", "2",
                                               "Не размещено в плане: 1", "4"}));
}

// Bar 1 (rows 3, 1) flawed after row 3: row 1 is planned again from the stock and the store the
// plan leaves, and its new bar goes right after bar 1.
TEST(PlanFile, FlawedBarsPiecesArePlannedAgainAfterIt) {
    TPlanFile plan = Sample();
    plan.Flawed.clear();
    plan.Cut.Stock = {{60000, 2, ""}, {25000, 2, ""}, {60000, kUnlimited, "AL"}};
    job::TJobState state;
    state.RowCount = 4;
    state.Rows[3].Done = true;
    const TFlawedBar flawed = MarkFlawed(plan, 0, state);
    EXPECT_EQ(flawed.Rows, std::vector<std::int32_t>{1});
    EXPECT_EQ(flawed.Remainder, 60000 - 100 - 20000 - 40);
    EXPECT_EQ(plan.Bars[0].Rows, std::vector<std::int32_t>{3});
    EXPECT_EQ(plan.Unplaced, (std::vector<std::int32_t>{1, 4}));
    EXPECT_EQ(plan.Settled, (std::vector<std::int32_t>{2, 1}));

    const TProblem problem =
        ReplanProblem(plan, state, flawed.Rows, {{"R-12", 25000, ""}, {"R-13", 30000, ""}});
    // One counted 6000 is the flawed bar's; bar 2 is a remnant and takes no stock.
    EXPECT_EQ(problem.Stock,
              (std::vector<TStock>{{60000, 1, ""}, {25000, 2, ""}, {60000, kUnlimited, "AL"}}));
    EXPECT_EQ(problem.Remnants, (std::vector<TRemnant>{{"R-13", 30000, ""}}));
    EXPECT_EQ(problem.Pieces, (std::vector<TPiece>{{1, 24000, ""}}));

    TPlan replan;
    replan.Bars = {{-1, 0, 30000, {0}, 5960}};
    EXPECT_EQ(SpliceReplan(plan, 0, problem, replan, state), 1u);
    EXPECT_EQ(plan.Bars[1], (TPlanBar{30000, 5960, "R-13", {1}}));
    EXPECT_EQ(plan.Bars[2].RemnantId, "R-12");
    EXPECT_EQ(plan.Unplaced, std::vector<std::int32_t>{4});
    EXPECT_EQ(plan.Settled, (std::vector<std::int32_t>{3, 1}));
    EXPECT_EQ(plan.Flawed, std::vector<std::int32_t>{1});

    // A piece cut meanwhile as an unplaced one is no new bar's.
    TPlanFile again = Sample();
    MarkFlawed(again, 0, state);
    state.Rows[1].Done = true;
    EXPECT_EQ(SpliceReplan(again, 0, problem, replan, state), 0u);
    EXPECT_EQ(again.Bars.size(), 2u);
}

}  // namespace
}  // namespace tandrel::plan
