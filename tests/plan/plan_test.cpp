#include "plan/plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <thread>

namespace tandrel::plan {
namespace {

// Everything a plan promises, checked from its bars alone.
void ExpectSound(const TProblem& problem, const TPlan& plan) {
    const auto& cut = problem.Cut;
    std::vector<int> seen(problem.Pieces.size(), 0);
    std::set<std::int32_t> remnants;
    std::map<std::int32_t, std::int32_t> perStock;
    TLength newStock = 0, waste = 0, used = 0;
    for (std::size_t b = 0; b < plan.Bars.size(); ++b) {
        const TBar& bar = plan.Bars[b];
        const bool isNew = bar.Remnant < 0;
        ASSERT_NE(isNew, bar.Stock < 0) << "bar " << b;
        TLength pieces = 0;
        for (std::size_t p = 0; p < bar.Pieces.size(); ++p) {
            const TPiece& piece = problem.Pieces[static_cast<std::size_t>(bar.Pieces[p])];
            ++seen[static_cast<std::size_t>(bar.Pieces[p])];
            pieces += piece.Length;
            if (p > 0) {
                EXPECT_LE(piece.Length,
                          problem.Pieces[static_cast<std::size_t>(bar.Pieces[p - 1])].Length)
                    << "bar " << b << ": longest first";
            }
        }
        const auto count = static_cast<std::int32_t>(bar.Pieces.size());
        EXPECT_TRUE(Fits(cut, bar.Length, isNew, pieces, count)) << "bar " << b;
        EXPECT_EQ(bar.Leftover, bar.Length - (isNew ? cut.Head : 0) - pieces - count * cut.Kerf);
        if (isNew) {
            const TStock& stock = problem.Stock[static_cast<std::size_t>(bar.Stock)];
            EXPECT_EQ(bar.Length, stock.Length);
            ++perStock[bar.Stock];
            newStock += bar.Length;
            waste += cut.Head;
        } else {
            EXPECT_TRUE(remnants.insert(bar.Remnant).second) << "remnant used twice";
            EXPECT_EQ(bar.Length, problem.Remnants[static_cast<std::size_t>(bar.Remnant)].Length);
            used += bar.Length;
        }
        waste += count * cut.Kerf;
        if (cut.MinRemnant == 0 || bar.Leftover < cut.MinRemnant) waste += bar.Leftover;
        // Bars of one pattern come one after another.
        for (std::size_t later = b + 2; later < plan.Bars.size(); ++later) {
            const TBar& other = plan.Bars[later];
            if (other.Stock == bar.Stock && other.Remnant < 0 && bar.Remnant < 0 &&
                other.Pieces.size() == bar.Pieces.size() && plan.Bars[b + 1].Pieces != bar.Pieces) {
                std::vector<TLength> a, c;
                for (auto p : bar.Pieces)
                    a.push_back(problem.Pieces[static_cast<std::size_t>(p)].Length);
                for (auto p : other.Pieces)
                    c.push_back(problem.Pieces[static_cast<std::size_t>(p)].Length);
                std::vector<TLength> n;
                for (auto p : plan.Bars[b + 1].Pieces)
                    n.push_back(problem.Pieces[static_cast<std::size_t>(p)].Length);
                EXPECT_TRUE(a != c || n == a) << "pattern of bar " << b << " split";
            }
        }
    }
    for (const auto p : plan.Unplaced) ++seen[static_cast<std::size_t>(p)];
    for (std::size_t p = 0; p < seen.size(); ++p) EXPECT_EQ(seen[p], 1) << "piece " << p;
    for (const auto& [stock, bars] : perStock) {
        const auto limit = problem.Stock[static_cast<std::size_t>(stock)].Count;
        if (limit != kUnlimited) {
            EXPECT_LE(bars, limit);
        }
    }
    EXPECT_EQ(plan.NewStock, newStock);
    EXPECT_EQ(plan.Waste, waste);
    EXPECT_EQ(plan.RemnantsUsed, used);
    if (plan.Unplaced.empty()) {
        EXPECT_LE(plan.Bound, plan.NewStock);
    }
    EXPECT_EQ(plan.Proven, plan.Unplaced.empty() && plan.NewStock == plan.Bound);
}

// The best plan by trying every way to split the pieces into bars: (pieces left out, new stock).
std::pair<int, TLength> Exhaustive(const TProblem& problem) {
    const auto n = problem.Pieces.size();
    std::vector<int> block(n, -1);
    std::pair<int, TLength> best{static_cast<int>(n) + 1, 0};
    // Bars to be had: new stock by entry, remnants one each.
    struct TKind {
        TLength Length;
        bool New;
        std::int32_t Left;
    };
    std::vector<TKind> kinds;
    for (const auto& s : problem.Stock)
        kinds.push_back(
            {s.Length, true, s.Count == kUnlimited ? static_cast<std::int32_t>(n) : s.Count});
    for (const auto& r : problem.Remnants) kinds.push_back({r.Length, false, 1});
    // Each block onto a kind, then the cheapest assignment of blocks to kinds.
    std::function<void(std::size_t, int)> split = [&](std::size_t i, int blocks) {
        if (i == n) {
            std::vector<std::pair<TLength, int>> groups(static_cast<std::size_t>(blocks), {0, 0});
            for (std::size_t p = 0; p < n; ++p) {
                groups[static_cast<std::size_t>(block[p])].first += problem.Pieces[p].Length;
                ++groups[static_cast<std::size_t>(block[p])].second;
            }
            std::function<void(std::size_t, int, TLength)> assign = [&](std::size_t g, int out,
                                                                        TLength cost) {
                if (std::make_pair(out, cost) >= best) return;
                if (g == groups.size()) {
                    best = {out, cost};
                    return;
                }
                // A block left out entirely.
                assign(g + 1, out + groups[g].second, cost);
                for (auto& kind : kinds) {
                    if (kind.Left == 0 || !Fits(problem.Cut, kind.Length, kind.New, groups[g].first,
                                                groups[g].second))
                        continue;
                    --kind.Left;
                    assign(g + 1, out, cost + (kind.New ? kind.Length : 0));
                    ++kind.Left;
                }
            };
            assign(0, 0, 0);
            return;
        }
        for (int b = 0; b <= blocks; ++b) {
            block[i] = b;
            split(i + 1, std::max(blocks, b + 1));
        }
    };
    split(0, 0);
    return best;
}

TProblem RandomProblem(std::mt19937& rng) {
    auto pick = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(rng);
    };
    TProblem problem;
    const int kinds = pick(1, 2);
    for (int k = 0; k < kinds; ++k)
        problem.Stock.push_back(
            {pick(30, 60) * 100, pick(0, 2) == 0 ? pick(1, 3) : kUnlimited, ""});
    for (int r = pick(0, 2); r > 0; --r)
        problem.Remnants.push_back({"R" + std::to_string(r), pick(10, 40) * 100, ""});
    problem.Cut = {pick(0, 1) * 40, pick(0, 1) * 100, pick(0, 1) * 500, pick(0, 3) == 0 ? 2 : 0};
    for (int p = pick(1, 7); p > 0; --p)
        problem.Pieces.push_back({p, pick(5, 30) * 100 + pick(0, 9), ""});
    // Every piece must fit something for the problem to be taken.
    for (auto& piece : problem.Pieces)
        piece.Length = std::min<TLength>(
            piece.Length, problem.Stock[0].Length - problem.Cut.Head - problem.Cut.Kerf);
    return problem;
}

TEST(MakePlan, SmallProblemsMatchExhaustiveSearch) {
    std::mt19937 rng(46);
    for (int round = 0; round < 150; ++round) {
        const TProblem problem = RandomProblem(rng);
        ASSERT_EQ(CheckProblem(problem), "") << "round " << round;
        const TPlan plan = MakePlan(problem);
        SCOPED_TRACE("round " + std::to_string(round));
        ExpectSound(problem, plan);
        const auto best = Exhaustive(problem);
        EXPECT_EQ(static_cast<int>(plan.Unplaced.size()), best.first);
        if (best.first == 0) {
            EXPECT_EQ(plan.NewStock, best.second);
            EXPECT_LE(plan.Bound, best.second);
        }
    }
}

TProblem LargerProblem(unsigned seed, int pieces) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<TLength> size(3000, 24000);
    TProblem problem;
    problem.Stock = {{60000, kUnlimited, ""}, {30000, 20, ""}};
    problem.Remnants = {{"R000001", 25000, ""}, {"R000002", 12000, ""}};
    problem.Cut = {40, 100, 5000, 0};
    for (int p = 1; p <= pieces; ++p) problem.Pieces.push_back({p, size(rng) / 10 * 10, ""});
    return problem;
}

TEST(MakePlan, LargerPlansAreSoundBeatFirstFitAndRepeat) {
    for (const unsigned seed : {1u, 2u}) {
        const TProblem problem = LargerProblem(seed, 60);
        const TPlan plan = MakePlan(problem);
        SCOPED_TRACE("seed " + std::to_string(seed));
        ExpectSound(problem, plan);
        EXPECT_LE(plan.NewStock, plan.FirstFit);
        // The store's remnants are used before new stock.
        EXPECT_EQ(plan.RemnantsUsed, 37000);
        // A search that ended by itself ends the same way again.
        const TPlan again = MakePlan(problem);
        if (!plan.Stopped && !again.Stopped) {
            EXPECT_EQ(again, plan);
        }
    }
}

TEST(MakePlan, CountedStockLeavesPiecesOut) {
    TProblem problem;
    problem.Stock = {{6000, 2, ""}};
    problem.Remnants = {{"R1", 2500, ""}};
    for (int p = 1; p <= 5; ++p) problem.Pieces.push_back({p, 2500, ""});
    const TPlan plan = MakePlan(problem);
    ExpectSound(problem, plan);
    EXPECT_EQ(plan.Unplaced.size(), 0u);
    problem.Pieces.push_back({6, 2500, ""});
    const TPlan shorter = MakePlan(problem);
    ExpectSound(problem, shorter);
    EXPECT_EQ(shorter.Unplaced.size(), 1u);
    EXPECT_FALSE(shorter.Proven);
}

TEST(MakePlan, StopFromAnotherThreadReturnsTheBestSoFar) {
    const TProblem problem = LargerProblem(9, 600);
    std::stop_source stop;
    TPlan plan;
    std::thread planner([&] {
        plan = MakePlan(problem, {std::chrono::seconds(600), {}}, stop.get_token());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop.request_stop();
    planner.join();
    ExpectSound(problem, plan);
    EXPECT_TRUE(plan.Unplaced.empty());
}

TEST(CheckProblem, RefusesWhatCannotBePlanned) {
    const struct {
        const char* what;
        std::function<void(TProblem&)> change;
    } rows[] = {
        {"piece longer than every stock", [](TProblem& p) { p.Pieces[0].Length = 6001; }},
        {"piece that fits no bar after the head",
         [](TProblem& p) { p.Cut.Head = 10, p.Pieces[0].Length = 5991; }},
        {"no stock", [](TProblem& p) { p.Stock.clear(); }},
        {"no length", [](TProblem& p) { p.Pieces[0].Length = 0; }},
        {"other material", [](TProblem& p) { p.Pieces[0].Material = "AL"; }},
        {"negative kerf", [](TProblem& p) { p.Cut.Kerf = -1; }},
        {"stock past 100 m", [](TProblem& p) { p.Stock[0].Length = kLongestBar + 1; }},
    };
    for (const auto& row : rows) {
        TProblem problem;
        problem.Stock = {{6000, kUnlimited, ""}};
        problem.Pieces = {{1, 6000, ""}};
        EXPECT_EQ(CheckProblem(problem), "");
        row.change(problem);
        EXPECT_NE(CheckProblem(problem), "") << row.what;
        EXPECT_THROW(MakePlan(problem), std::invalid_argument) << row.what;
    }
    // A piece that only a remnant holds is taken.
    TProblem problem;
    problem.Stock = {{6000, kUnlimited, ""}};
    problem.Remnants = {{"R1", 7000, ""}};
    problem.Pieces = {{1, 6500, ""}};
    EXPECT_EQ(CheckProblem(problem), "");
}

TEST(Lengths, TenthsRoundHalvesToEvenAndFormat) {
    EXPECT_EQ(ToTenths(1800.5), 18005);
    EXPECT_EQ(ToTenths(2.25), 22);
    EXPECT_EQ(ToTenths(2.35), 24);
    EXPECT_EQ(ToTenths(1234.45), 12344);
    EXPECT_EQ(FormatTenths(24500), "2450");
    EXPECT_EQ(FormatTenths(18005), "1800.5");
    EXPECT_EQ(FormatTenths(5), "0.5");
}

}  // namespace
}  // namespace tandrel::plan
