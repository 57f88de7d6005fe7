#include "console/auto_test.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/cp1251.h"
#include "base/error.h"

namespace tandrel::console {
namespace {

TAutoTestInputs Inputs(double minSize, double maxSize, std::int32_t precision) {
    TAutoTestInputs in;
    in.AutoChecked = true;
    in.PortOpen = true;
    in.MinSize = minSize;
    in.MaxSize = maxSize;
    in.Precision = precision;
    in.DecimalSeparator = ',';
    return in;
}

TEST(AutoTest, GeneratorSequence) {
    std::uint32_t seed = 0;
    EXPECT_EQ(RandomDraw(seed, 100), 0u);  // seed 1: the first draw is 0
    EXPECT_EQ(seed, 1u);
    EXPECT_EQ(RandomDraw(seed, 0x80000000u), 134775814u >> 1);
    EXPECT_EQ(seed, 134775814u);
    std::uint32_t s = 0xFFFFFFFFu;
    RandomDraw(s, 1);
    EXPECT_EQ(s, static_cast<std::uint32_t>(0xFFFFFFFFull * 134775813ull + 1));
    std::uint32_t zero = 5;
    EXPECT_EQ(RandomDraw(zero, 0), 0u);
}

TEST(AutoTest, TargetsStayWithinTheBounds) {
    const struct {
        double minSize, maxSize;
        std::int32_t precision;
        double low, high;  // inclusive
    } rows[] = {
        {200, 3050, 0, 200, 3049},   {200, 3050, 1, 200, 3049.9},
        {200, 3050, 5, 200, 3049},                               // only precision 1 means tenths
        {1500, 1500, 1, 1500, 1500}, {3050, 200, 0, 200, 3049},  // limits the wrong way round
    };
    for (const auto& r : rows) {
        TAutoTest test;
        const auto in = Inputs(r.minSize, r.maxSize, r.precision);
        const double scale = r.precision == 1 ? 10 : 1;
        for (int i = 0; i < 2000; ++i) {
            const auto res = AutoMoveStep(test, in, [](const std::string&) {});
            ASSERT_EQ(res.Outcome, TAutoOutcome::Moved);
            ASSERT_GE(res.Target, r.low);
            ASSERT_LE(res.Target, r.high);
            ASSERT_EQ(res.Target * scale, std::round(res.Target * scale));
        }
    }
}

TEST(AutoTest, FirstMoveGoesToTheMinimumAndCounts) {
    TAutoTest test;
    test.Reset(3050);
    std::vector<std::string> sent;
    const auto res =
        AutoMoveStep(test, Inputs(200, 3050, 0), [&](const std::string& m) { sent.push_back(m); });
    EXPECT_EQ(res.Target, 200.0);
    EXPECT_EQ(sent, std::vector<std::string>{"****200#"});
    EXPECT_EQ(test.MoveCount, 1);
    EXPECT_EQ(test.Distance, 2850.0);
    EXPECT_EQ(test.LastAutoTarget, 200.0);
}

TEST(AutoTest, CountersAndDistanceText) {
    TAutoTest test;
    test.Reset(3050);
    auto move = [&](double to) {
        return AutoMoveStep(test, Inputs(to, to, 0), [](const std::string&) {});
    };
    move(200);
    move(1200);
    EXPECT_EQ(MoveCountText(test), "2");
    EXPECT_EQ(DistanceText(test, ','), "3,85 метров"_cp1251);
}

TEST(AutoTest, TenthsGoOutWithAnAsterisk) {
    TAutoTest test;
    const auto res = AutoMoveStep(test, Inputs(1234.5, 1234.5, 1), [](const std::string&) {});
    EXPECT_EQ(res.Move, "****1234*5#");
}

TEST(AutoTest, NothingOrASkip) {
    const struct {
        const char* name;
        bool startEnabled, autoChecked, portOpen;
        double maxSize;
        std::int32_t precision;
        TAutoOutcome outcome;
    } rows[] = {
        {"list in work", true, true, true, 3050, 0, TAutoOutcome::Off},
        {"unchecked", false, false, true, 3050, 0, TAutoOutcome::Off},
        {"no port", false, true, false, 3050, 0, TAutoOutcome::NoPort},
        {"too large in tenths", false, true, true, 214748364.8, 1, TAutoOutcome::TooLarge},
        {"largest in tenths", false, true, true, 214748364.7, 1, TAutoOutcome::Moved},
        {"too large", false, true, true, 3e9, 0, TAutoOutcome::TooLarge},
    };
    for (const auto& r : rows) {
        TAutoTest test;
        auto in = Inputs(200, r.maxSize, r.precision);
        in.StartEnabled = r.startEnabled;
        in.AutoChecked = r.autoChecked;
        in.PortOpen = r.portOpen;
        int writes = 0;
        const auto res = AutoMoveStep(test, in, [&](const std::string&) { ++writes; });
        EXPECT_EQ(res.Outcome, r.outcome) << r.name;
        EXPECT_EQ(writes, r.outcome == TAutoOutcome::Moved ? 1 : 0) << r.name;
        EXPECT_EQ(test.MoveCount, writes) << r.name;
        EXPECT_EQ(res.Notice.empty(),
                  r.outcome != TAutoOutcome::NoPort && r.outcome != TAutoOutcome::TooLarge)
            << r.name;
    }
}

TEST(AutoTest, FailedWriteLeavesTheCounters) {
    TAutoTest test;
    test.Reset(3050);
    EXPECT_THROW(
        AutoMoveStep(test, Inputs(200, 3050, 0), [](const std::string&) { throw Exception("x"); }),
        Exception);
    EXPECT_EQ(test.MoveCount, 0);
    EXPECT_EQ(test.Distance, 0.0);
    EXPECT_EQ(test.LastAutoTarget, 3050.0);
}

// Both counters the window shows, after moves, a handshake's reset (a reconnect) and more moves.
TEST(AutoTest, CountersAcrossReconnects) {
    const struct {
        const char* what;
        bool reset;  // the end of a handshake at position `at`, else a move to `at`
        double at;
        std::int32_t precision;
        const char* moves;
        const char* distance;
    } steps[] = {
        {"first handshake", true, 3050, 0, "0", "0 метров"},
        {"to 200", false, 200, 0, "1", "2,85 метров"},
        {"to 1200", false, 1200, 0, "2", "3,85 метров"},
        {"to 1200 again", false, 1200, 0, "3", "3,85 метров"},
        {"reconnect at 1500", true, 1500, 0, "0", "0 метров"},
        {"to 1000.5 in tenths", false, 1000.5, 1, "1", "0,4995 метров"},
        {"back to 1500", false, 1500, 1, "2", "0,999 метров"},
        {"reconnect at 2000", true, 2000, 0, "0", "0 метров"},
        {"to 3000", false, 3000, 0, "1", "1 метров"},
        {"to 200", false, 200, 0, "2", "3,8 метров"},
    };
    TAutoTest test;
    std::uint32_t draws = 0;
    for (const auto& s : steps) {
        if (s.reset) {
            const std::uint32_t seed = test.Seed;
            test.Reset(s.at);
            EXPECT_EQ(test.Seed, seed) << s.what;  // the generator goes on
        } else {
            const auto res =
                AutoMoveStep(test, Inputs(s.at, s.at, s.precision), [](const std::string&) {});
            ASSERT_EQ(res.Outcome, TAutoOutcome::Moved) << s.what;
            ++draws;
        }
        EXPECT_EQ(test.LastAutoTarget, s.at) << s.what;
        EXPECT_EQ(MoveCountText(test), s.moves) << s.what;
        EXPECT_EQ(DistanceText(test, ','), Utf8ToCp1251(s.distance)) << s.what;
    }
    std::uint32_t seed = 0;
    for (std::uint32_t i = 0; i < draws; ++i) RandomDraw(seed, 0);
    EXPECT_EQ(test.Seed, seed);
}

}  // namespace
}  // namespace tandrel::console
