#include "link/silence.h"

#include <gtest/gtest.h>

#include <vector>

namespace tandrel::link {
namespace {

using namespace std::chrono_literals;
using Clock = TSilenceWatch::Clock;

TEST(Silence, LimitIsThreeSecondsOrSixPingIntervals) {
    const struct {
        const char* name;
        std::vector<int> pingsMs;
        std::chrono::milliseconds limit;
    } rows[] = {
        {"no ping yet", {}, 3000ms},
        {"one ping: no interval", {0}, 3000ms},
        {"fast pings", {0, 500, 1000, 1500}, 3000ms},
        {"slow pings", {0, 1000, 2000}, 6000ms},
        {"the mean interval", {0, 500, 2000, 2500, 4000}, 6000ms},
    };
    for (const auto& r : rows) {
        TSilenceWatch watch;
        const Clock::time_point start{};
        for (int ms : r.pingsMs) watch.Ping(start + std::chrono::milliseconds(ms));
        EXPECT_EQ(watch.Limit(), r.limit) << r.name;
        const Clock::time_point last = start + 10s;
        EXPECT_FALSE(watch.Silent(last, last + r.limit)) << r.name;
        EXPECT_TRUE(watch.Silent(last, last + r.limit + 1ms)) << r.name;
    }
}

TEST(Silence, AHandshakeMeasuresAfresh) {
    TSilenceWatch watch;
    for (int s = 0; s < 4; ++s) watch.Ping(Clock::time_point{} + std::chrono::seconds(s));
    ASSERT_EQ(watch.Limit(), Clock::duration(6s));
    watch.Restart();
    EXPECT_EQ(watch.Limit(), Clock::duration(3s));
}

}  // namespace
}  // namespace tandrel::link
