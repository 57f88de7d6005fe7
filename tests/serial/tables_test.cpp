// The component's fixed tables and setter rules, without a port.

#include <gtest/gtest.h>

#include "serial/BCPort.h"

namespace tandrel::serial {
namespace {

TEST(ComErrors, FlagsMapToTheSetAndParityCountsOnlyWithParityOn) {
    const struct {
        std::uint32_t flags;
        TParity parity;
        TComErrors expected;
    } rows[] = {
        {0x0000, paNone, {}},
        {0x0008, paNone, {ceFrame}},
        {0x0004, paNone, {}},
        {0x0004, paEven, {ceRxParity}},
        {0x000C, paNone, {ceFrame}},
        {0x000C, paOdd, {ceFrame, ceRxParity}},
        {0x0002, paNone, {ceOverrun}},
        {0x0001, paNone, {ceRxOver}},
        {0x0100, paNone, {ceTxFull}},
        {0x0010, paNone, {ceBreak}},
        {0x0400, paNone, {ceIO}},
        {0x8000, paNone, {ceMode}},
        {0x0020 | 0x0040 | 0x0200, paNone, {}},  // flags the set has no member for
        {0x851F,
         paMark,
         {ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull}},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(ComErrorsFromFlags(r.flags, r.parity).Bits(), r.expected.Bits())
            << std::hex << r.flags;
    }
    EXPECT_EQ(TComErrors({ceFrame}).Bits(), 0x01);
    EXPECT_EQ(TComErrors({ceTxFull}).Bits(), 0x80);
}

TEST(ComEvents, SystemMaskToTheEventSet) {
    const struct {
        std::uint32_t mask;
        TComEvents expected;
    } rows[] = {
        {0x0001, {evRxChar}},
        {0x0004, {evTxEmpty}},
        {0x0100, {evRing}},
        {0x0008, {evCTS}},
        {0x0010, {evDSR}},
        {0x0020, {evRLSD}},
        {0x0080, {evError}},
        {0x0400, {evRx80Full}},
        {0x0002 | 0x0040 | 0x0200, {}},
        {kAllEventsMask, TComEvents::FromBits(0xFF)},
    };
    for (const auto& r : rows) EXPECT_EQ(ComEventsFromMask(r.mask), r.expected) << r.mask;
}

TEST(BaudRate, EveryRateHasItsSpeed) {
    const std::uint32_t speeds[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int i = 0; i <= br256000; ++i)
        EXPECT_EQ(BaudRateValue(static_cast<TBaudRate>(i)), speeds[i]);
}

// The device a Windows port name opens, for the label printer's g and the device's p alike.
TEST(WinDevicePath, EveryWayOfNamingAPortOpensIt) {
    const struct {
        const char* name;
        const char* device;
    } cases[] = {
        {"COM3", R"(\\.\COM3)"},           {"COM3:", R"(\\.\COM3)"},
        {"com3", R"(\\.\com3)"},           {R"(\\.\COM10)", R"(\\.\COM10)"},
        {R"(\\.\COM10:)", R"(\\.\COM10)"},
    };
    for (const auto& c : cases) EXPECT_EQ(WinDevicePath(c.name), c.device) << c.name;
}

TEST(BComPort, InitialValues) {
    TBComPort port;
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.ByteSize(), bs8);
    EXPECT_EQ(port.Parity(), paNone);
    EXPECT_EQ(port.StopBits(), sb1);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.InBufSize(), 2048);
    EXPECT_EQ(port.OutBufSize(), 2048);
    EXPECT_EQ(port.Port(), "COM2");
    EXPECT_FALSE(port.IsOpen());
    const auto& t = port.Timeouts();
    EXPECT_EQ(t.ReadInterval(), -1);
    EXPECT_EQ(t.ReadTotalMultiplier(), 0);
    EXPECT_EQ(t.ReadTotalConstant(), 0);
    EXPECT_EQ(t.WriteTotalMultiplier(), 100);
    EXPECT_EQ(t.WriteTotalConstant(), 1000);
}

TEST(BComPort, BufferSizesDropAPositiveOddByOne) {
    const struct {
        std::int32_t set, read;
    } rows[] = {{2049, 2048}, {4096, 4096}, {1, 0}, {3, 2}, {0, 0}, {-3, -3}, {-4, -4}};
    for (const auto& r : rows) {
        TBComPort port;
        port.SetInBufSize(r.set);
        port.SetOutBufSize(r.set);
        EXPECT_EQ(port.InBufSize(), r.read) << r.set;
        EXPECT_EQ(port.OutBufSize(), r.read) << r.set;
    }
}

}  // namespace
}  // namespace tandrel::serial
