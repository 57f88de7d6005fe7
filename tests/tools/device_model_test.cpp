#include "sim/device_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "link/protocol.h"

namespace tandrel::sim {
namespace {

constexpr std::int64_t kSecond = 1'000'000;

DeviceModel Device(std::int32_t precision = 1, double min = 200, double max = 3050,
                   double start = 3050) {
    DeviceIdentity id;
    id.precision = precision;
    id.minSize = min;
    id.maxSize = max;
    id.startPosition = start;
    return DeviceModel(id, DeviceTiming{100'000, 250.0}, 7, 0);
}

std::string Exchange(DeviceModel& device, std::string_view sent, std::int64_t now = 0) {
    device.Receive(sent, now);
    return device.TakeOutput();
}

TEST(DeviceModel, HandshakeTranscript) {
    struct Case {
        std::int32_t precision;
        double min, max;
        const char* expected;
    } cases[] = {
        {1, 200, 3050, "N100001_M200.0_B3050.0_D1_V3_T3050.0_S0_"},
        {0, 200.4, 3050, "N100001_M200_B3050_D0_V3_T3050_S0_"},
        {1, 0.25, 3050, "N100001_M0.2_B3050.0_D1_V3_T3050.0_S0_"},  // halves go to even
    };
    for (const auto& c : cases) {
        DeviceModel device = Device(c.precision, c.min, c.max);
        EXPECT_EQ(Exchange(device, "NMBDVTS"), c.expected) << c.precision;
        for (auto count : device.RequestCounts()) EXPECT_EQ(count, 1);
    }
}

TEST(DeviceModel, PingsOncePerIntervalAndNeverBurst) {
    DeviceModel device = Device();
    device.Advance(99'999);
    EXPECT_EQ(device.TakeOutput(), "");
    device.Advance(100'000);
    device.Advance(150'000);
    EXPECT_EQ(device.TakeOutput(), "P");
    device.Advance(10 * kSecond);  // a stalled loop: one ping, then the schedule resumes
    EXPECT_EQ(device.TakeOutput(), "P");
    EXPECT_EQ(device.NextPingUs(), 10 * kSecond + 100'000);
    EXPECT_EQ(device.Pings(), 2);
}

TEST(DeviceModel, KeypadEntryRules) {
    struct Case {
        const char* keys;
        const char* entry;
    } cases[] = {
        {"12*5", "12.5"}, {"12*", "12."},  {"12**", ""},
        {"*", ""},        {"****", ""},    {"12*5****", ""},
        {"12*5*", ""},    {"12*5*7", "7"}, {"1234567890123", "123456789012"},
        {"0", "0"},
    };
    for (const auto& c : cases) {
        DeviceModel device = Device();
        device.Receive(c.keys, 0);
        EXPECT_EQ(device.Entry(), c.entry) << c.keys;
        EXPECT_EQ(device.TakeOutput(), "") << "a received key is not echoed";
    }
}

TEST(DeviceModel, MoveStringsAcceptedOnlyWithinLimits) {
    struct Case {
        std::int32_t precision;
        std::string move;
        double target;  // start position when rejected
        bool accepted;
    } cases[] = {
        {1, protocol::TypedMove("1234.5"), 1234.5, true},
        {1, protocol::AutoMove(1500, ','), 1500, true},
        {1, protocol::TypedMove("200"), 200, true},
        {1, protocol::TypedMove("3050"), 3050, true},
        {1, protocol::TypedMove("199.9"), 3050, false},
        {1, protocol::TypedMove("3050.1"), 3050, false},
        {1, protocol::TypedMove("999999999999"), 3050, false},  // beyond 32 bits
        {1, protocol::TypedMove("1234.56"), 1234.6, true},
        {0, protocol::TypedMove("1234.5"), 1234, true},  // whole millimetres, half to even
        {0, protocol::TypedMove("1235.5"), 1236, true},
    };
    for (const auto& c : cases) {
        DeviceModel device = Device(c.precision);
        device.Receive("12*3", 0);  // a stale entry the four asterisks must clear
        device.Receive(c.move, 0);
        EXPECT_EQ(device.Target(), c.target) << c.move;
        EXPECT_EQ(device.MovesAccepted(), c.accepted ? 1 : 0) << c.move;
        EXPECT_EQ(device.MovesRejected(), c.accepted ? 0 : 1) << c.move;
        EXPECT_EQ(device.Entry(), "") << c.move;
    }
}

TEST(DeviceModel, TravelsAtItsSpeedAndReportsOnTheWay) {
    DeviceModel device = Device();
    device.Receive(protocol::TypedMove("1234.5"), 0);
    struct Step {
        std::int64_t at;
        const char* reply;
    } steps[] = {
        {0, "T3050.0_"},
        {kSecond, "T2800.0_"},
        {kSecond + 1000, "T2799.8_"},
        {7 * kSecond, "T1300.0_"},
        {8 * kSecond, "T1234.5_"},  // arrived (after 7.262 s) and stays
        {60 * kSecond, "T1234.5_"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(Exchange(device, "T", s.at), s.reply) << s.at;
        std::string payload = std::string(s.reply).substr(1, std::strlen(s.reply) - 2);
        EXPECT_NEAR(protocol::ParseSize(payload), device.Position(s.at), 0.051);
    }
    // A new target mid-way turns back from where the stop is.
    DeviceModel turning = Device();
    turning.Receive(protocol::TypedMove("200"), 0);
    turning.Receive(protocol::TypedMove("3050"), 2 * kSecond);
    EXPECT_EQ(Exchange(turning, "T", 3 * kSecond), "T2800.0_");
}

TEST(DeviceModel, OwnKeypadGoesOutAndWorksTheEntry) {
    DeviceModel device = Device();
    for (char key : std::string("305#")) EXPECT_TRUE(device.PressKey(key, 0));
    EXPECT_FALSE(device.PressKey('A', 0));
    EXPECT_EQ(device.TakeOutput(), "305#");
    EXPECT_EQ(device.Target(), 305);
    device.PressKey('1', 0);
    EXPECT_EQ(device.Entry(), "1");
}

TEST(DeviceModel, Faults) {
    struct Case {
        const char* name;
        void (*arrange)(DeviceModel&);
        const char* sent;
        const char* expected;
    } cases[] = {
        {"ignore T", [](DeviceModel& d) { d.SetIgnored('T'); }, "NTTS", "N100001_S0_"},
        {"ignore cleared",
         [](DeviceModel& d) {
             d.SetIgnored('T');
             d.SetIgnored(std::nullopt);
         },
         "T", "T3050.0_"},
        {"malformed T once", [](DeviceModel& d) { d.MalformNext('T'); }, "TT", "T-3050.0_T3050.0_"},
        {"malformed M once", [](DeviceModel& d) { d.MalformNext('M'); }, "MM", "M-200.0_M200.0_"},
        {"malformed D once", [](DeviceModel& d) { d.MalformNext('D'); }, "DD", "D1.5_D1_"},
        {"malformed T leaves M", [](DeviceModel& d) { d.MalformNext('T'); }, "MT",
         "M200.0_T-3050.0_"},
        {"silent", [](DeviceModel& d) { d.SetSilent(true); }, "NMBDVTS", ""},
        {"silent key",
         [](DeviceModel& d) {
             d.SetSilent(true);
             d.PressKey('5', 0);
         },
         "", ""},
    };
    for (const auto& c : cases) {
        DeviceModel device = Device();
        c.arrange(device);
        EXPECT_EQ(Exchange(device, c.sent), c.expected) << c.name;
    }
    DeviceModel device = Device();
    EXPECT_FALSE(device.SetIgnored('X'));
    EXPECT_FALSE(device.MalformNext('N'));
    device.SetSilent(true);
    device.Advance(kSecond);
    EXPECT_EQ(device.TakeOutput(), "");
    EXPECT_EQ(device.Pings(), 0);
}

TEST(DeviceModel, NoiseIsRepeatableForASeed) {
    DeviceModel a = Device(), b = Device();
    a.InjectNoise(64);
    b.InjectNoise(64);
    std::string noise = a.TakeOutput();
    EXPECT_EQ(noise.size(), 64u);
    EXPECT_EQ(noise, b.TakeOutput());
    // The soak bounds the rows worked by the "#" bytes the noise held.
    a.InjectNoise(4000);
    noise += a.TakeOutput();
    const auto starts = std::count(noise.begin(), noise.end(), '#');
    const std::string state = a.StateLine(0);
    EXPECT_NE(state.find(" noise=4064 "), std::string::npos) << state;
    EXPECT_NE(state.find(" noise#=" + std::to_string(starts)), std::string::npos) << state;
    EXPECT_GT(starts, 0);
}

TEST(DeviceModel, UnknownBytesAreCountedNotAnswered) {
    DeviceModel device = Device();
    EXPECT_EQ(Exchange(device, std::string("xP_\0", 4)), "");
    EXPECT_EQ(device.OtherBytes(), 4);
    EXPECT_NE(device.StateLine(0).find("other=4"), std::string::npos);
}

}  // namespace
}  // namespace tandrel::sim
