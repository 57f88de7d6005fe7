#include "console/raskroy_view.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"

namespace tandrel::console {
namespace {

using plan::kUnlimited;
using K = TSegmentKind;

TEST(RaskroyView, FieldsReadBackOrRefusedWithTheirCaption) {
    plan::TStationCut cut = plan::DefaultStationCut();
    EXPECT_EQ(FieldsOf(cut), (TCutFields{"6000", "4", "10", "500", "0"}));

    struct {
        TCutFields Fields;
        std::string Refusal;  // the start of the reason, UTF-8; "" when read
    } rows[] = {
        {{"6000x20, 3000", "3,5", "10", "0", "4"}, ""},
        {{"", "4", "10", "500", "0"}, "Хлысты: "},
        {{"6000x0", "4", "10", "500", "0"}, "Хлысты: "},
        {{"6000", "-1", "10", "500", "0"}, "Пропил: "},
        {{"6000", "4", "abc", "500", "0"}, "Торцовка: "},
        {{"6000", "4", "10", "500", "1.5"}, "Деталей на хлыст: "},
    };
    for (const auto& row : rows) {
        plan::TStationCut read = plan::DefaultStationCut();
        const std::string why = ReadCutFields(row.Fields, read);
        if (row.Refusal.empty()) {
            EXPECT_EQ(why, "");
            EXPECT_EQ(read.Stock,
                      (std::vector<plan::TStock>{{60000, 20, ""}, {30000, kUnlimited, ""}}));
            EXPECT_EQ(read.Cut, (plan::TCutSettings{35, 100, 0, 4}));
        } else {
            EXPECT_TRUE(why.starts_with(Utf8ToCp1251(row.Refusal))) << Cp1251ToUtf8(why);
            EXPECT_EQ(read, plan::DefaultStationCut());  // nothing taken from a bad entry
        }
    }
}

TEST(RaskroyView, BarsOfOnePatternGroupAndStripsFollowTheLengths) {
    plan::TProblem problem;
    problem.Stock = {{60000, kUnlimited, ""}, {30000, kUnlimited, ""}};
    problem.Cut = {40, 100, 5000, 0};
    problem.Pieces = {{1, 25000, ""}, {2, 25000, ""}, {3, 9000, ""}, {4, 25000, ""},
                      {5, 25000, ""}, {6, 9000, ""},  {7, 20000, ""}};
    plan::TPlan plan;
    // A new bar loses its head trim and a kerf per piece; what is left over is its leftover.
    plan.Bars = {{0, -1, 60000, {0, 1, 2}, 60000 - 100 - 59120},
                 {0, -1, 60000, {3, 4, 5}, 60000 - 100 - 59120},
                 {1, -1, 30000, {6}, 30000 - 100 - 20040}};

    const auto groups = GroupBars(problem, plan);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].Count, 2);
    EXPECT_EQ(groups[0].Bars, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(groups[1].First, 2u);

    // 6000 mm over 600 px: a tenth of a millimetre is 1/100 px.
    EXPECT_EQ(BarSegments(problem, plan.Bars[0], 60000, 600),
              (std::vector<TSegment>{{K::Head, 0, 1, -1},
                                     {K::Piece, 1, 251, 0},
                                     {K::Kerf, 251, 251, -1},
                                     {K::Piece, 251, 501, 1},
                                     {K::Kerf, 501, 502, -1},
                                     {K::Piece, 502, 592, 2},
                                     {K::Kerf, 592, 592, -1},
                                     {K::Waste, 592, 600, -1}}));
    // The 3000 bar at the same scale: half the width, its leftover kept as a remnant.
    const auto shorter = BarSegments(problem, plan.Bars[2], 60000, 600);
    ASSERT_EQ(shorter.size(), 4u);
    EXPECT_EQ(shorter.back(), (TSegment{K::Remnant, 201, 300, -1}));
    problem.Cut.MinRemnant = 10000;  // then too short to keep
    EXPECT_EQ(BarSegments(problem, plan.Bars[2], 60000, 600).back().Kind, K::Waste);
}

TEST(RaskroyView, TotalsAndProof) {
    plan::TProblem problem;
    problem.Pieces = {{1, 29000, ""}, {2, 28000, ""}};
    plan::TPlan plan;
    plan.Bars = {{0, -1, 60000, {0, 1}, 2920}};
    plan.NewStock = 60000;
    plan.Bound = 57960;
    plan.Waste = 3040;
    EXPECT_EQ(Cp1251ToUtf8(TotalsText(problem, plan)),
              "Хлыстов: 1 · израсходовано 6000 мм · отходы 304 мм · выход 95,0 %");
    EXPECT_EQ(Cp1251ToUtf8(ProofText(plan)), "не более 204 мм сверх нижней границы");
    plan.Proven = true;
    EXPECT_EQ(Cp1251ToUtf8(ProofText(plan)), "план оптимален");
}

}  // namespace
}  // namespace tandrel::console
