#include "plan/plan_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

namespace tandrel::plan {
namespace {

using namespace std::chrono_literals;

// Bars of 6000 filled exactly by three pieces each, shuffled: only a plan that finds every fill
// reaches the bound, so the search runs long.
TProblem ExactTriples(int bars) {
    TProblem problem;
    problem.Stock = {{60000, kUnlimited, ""}};
    std::mt19937 rng(7);
    std::uniform_int_distribution<TLength> size(1501, 2999);
    for (int b = 0; b < bars; ++b) {
        while (true) {
            const TLength first = size(rng), second = size(rng), last = 6000 - first - second;
            if (last < 1501 || last > 2999) continue;
            for (const TLength mm : {first, second, last})
                problem.Pieces.push_back(
                    {static_cast<std::int32_t>(problem.Pieces.size() + 1), mm * 10, ""});
            break;
        }
    }
    std::shuffle(problem.Pieces.begin(), problem.Pieces.end(), rng);
    return problem;
}

template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(PlanRunner, GivesThePlanOnceAndACancelEndsTheSearchWithItsBestPlan) {
    TPlanRunner runner;
    TProblem small;
    small.Stock = {{60000, kUnlimited, ""}};
    small.Pieces = {{1, 20000, ""}, {2, 30000, ""}, {3, 40000, ""}};
    runner.Start(small, {});
    std::optional<TPlanResult> result;
    ASSERT_TRUE(WaitFor([&] { return (result = runner.Take()).has_value(); }, 30s));
    EXPECT_EQ(result->Failure, "");
    EXPECT_EQ(result->Plan.Bars.size(), 2u);
    EXPECT_FALSE(runner.Take().has_value());
    EXPECT_FALSE(runner.Running());

    TPlanOptions options;
    options.TimeLimit = 600s;
    runner.Start(ExactTriples(300), options);
    std::this_thread::sleep_for(1s);
    runner.Cancel();
    ASSERT_TRUE(WaitFor([&] { return (result = runner.Take()).has_value(); }, 60s));
    EXPECT_TRUE(result->Plan.Stopped);
    EXPECT_GE(result->Plan.NewStock, result->Plan.Bound);
    EXPECT_TRUE(result->Plan.Unplaced.empty());

    // A new start drops the plan that runs: only the new one's result comes.
    runner.Start(ExactTriples(300), options);
    runner.Start(small, {});
    ASSERT_TRUE(WaitFor([&] { return (result = runner.Take()).has_value(); }, 30s));
    EXPECT_EQ(result->Plan.Bars.size(), 2u);
    EXPECT_FALSE(result->Plan.Stopped);
}

TEST(PlanRunner, ARefusedProblemGivesItsReason) {
    TPlanRunner runner;
    TProblem tooLong;
    tooLong.Stock = {{30000, kUnlimited, ""}};
    tooLong.Pieces = {{1, 40000, ""}};
    runner.Start(tooLong, {});
    std::optional<TPlanResult> result;
    ASSERT_TRUE(WaitFor([&] { return (result = runner.Take()).has_value(); }, 30s));
    EXPECT_EQ(result->Failure, CheckProblem(tooLong));
    EXPECT_NE(result->Failure, "");
}

}  // namespace
}  // namespace tandrel::plan
