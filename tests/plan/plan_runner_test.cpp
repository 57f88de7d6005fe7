#include "plan/plan_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/exact_triples.h"

namespace tandrel::plan {
namespace {

using namespace std::chrono_literals;

// Exact triples: only a plan that finds every fill reaches the bound, so the search runs long.
TProblem ExactTriples(int bars) {
    TProblem problem;
    problem.Stock = {{60000, kUnlimited, ""}};
    for (const int mm : tandrel::testing::ExactTripleSizes(bars))
        problem.Pieces.push_back(
            {static_cast<std::int32_t>(problem.Pieces.size() + 1), TLength{mm} * 10, ""});
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
