#include "printer/printer.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "labels/printer.h"
#include "serial/BCPort.h"
#include "support/local_listener.h"

namespace tandrel::printer {
namespace {

TEST(PrinterKind, Table) {
    const struct {
        const char* name;
        TPrinterKind kind;
    } cases[] = {
        {"COM1", TPrinterKind::Serial},          {"com12:", TPrinterKind::Serial},
        {"/dev/ttyUSB0", TPrinterKind::Serial},  {"\\\\.\\COM10", TPrinterKind::Serial},
        {"printer:Labels", TPrinterKind::Queue}, {"PRINTER:x", TPrinterKind::Queue},
        {"COM", TPrinterKind::Network},          {"COM1x", TPrinterKind::Network},
        {"com-1:9100", TPrinterKind::Network},   {"192.168.0.40", TPrinterKind::Network},
        {"[::1]:9100", TPrinterKind::Network},
    };
    for (const auto& c : cases) EXPECT_EQ(PrinterKind(c.name), c.kind) << c.name;
}

TEST(ParseNetworkAddress, Table) {
    const struct {
        const char* name;
        std::optional<TNetworkAddress> address;
    } cases[] = {
        {"192.168.0.40", TNetworkAddress{"192.168.0.40", 9100}},
        {"label-1:9100", TNetworkAddress{"label-1", 9100}},
        {"label-1:6101", TNetworkAddress{"label-1", 6101}},
        {"[fe80::1]", TNetworkAddress{"fe80::1", 9100}},
        {"[::1]:9200", TNetworkAddress{"::1", 9200}},
        {"::1", std::nullopt},
        {"host:", std::nullopt},
        {"host:0", std::nullopt},
        {"host:65536", std::nullopt},
        {"host:91x", std::nullopt},
        {":9100", std::nullopt},
        {"[::1", std::nullopt},
        {"[::1]x", std::nullopt},
        {"my printer", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseNetworkAddress(c.name), c.address) << c.name;
}

std::string Frame(const std::string& s) {
    return "\x02" + s + "\x03\r\n";
}

TEST(ParseHostStatus, Table) {
    const std::string ready1 = "030,0,0,0245,000,0,0,0,000,0,0,0";
    const std::string ready2 = "001,0,0,0,1,2,6,0,00000000,1,000";
    const std::string third = Frame("1234,0");
    const auto reply = [&](const std::string& one, const std::string& two) {
        return Frame(one) + Frame(two) + third;
    };
    const struct {
        std::string reply;
        std::optional<TPrinterCondition> condition;
    } cases[] = {
        {reply(ready1, ready2), TPrinterCondition::Ready},
        {"\x02" + ready1 + "\x03\x02" + ready2 + "\x03\x02" + "1234,0\x03",
         TPrinterCondition::Ready},
        {reply("030,1,0,0245,000,0,0,0,000,0,0,0", ready2), TPrinterCondition::PaperOut},
        {reply("030,0,1,0245,000,0,0,0,000,0,0,0", ready2), TPrinterCondition::Paused},
        {reply("030,0,0,0245,000,1,0,0,000,0,0,0", ready2), TPrinterCondition::BufferFull},
        {reply("030,0,0,0245,000,0,0,0,000,0,0,1", ready2), TPrinterCondition::HeadTooHot},
        {reply(ready1, "001,0,1,0,1,2,6,0,00000000,1,000"), TPrinterCondition::HeadOpen},
        {reply(ready1, "001,0,0,1,1,2,6,0,00000000,1,000"), TPrinterCondition::RibbonOut},
        // Paper out and paused at once: the label would not print.
        {reply("030,1,1,0245,000,0,0,0,000,0,0,0", ready2), TPrinterCondition::PaperOut},
        // Still coming.
        {"", std::nullopt},
        {Frame(ready1) + Frame(ready2), std::nullopt},
        {Frame(ready1) + Frame(ready2) + "\x02" + "1234,0", std::nullopt},
        {"\x02" + ready1 + "\x03\r", std::nullopt},
        // Anything else is no answer one can trust, however much of a ready one it holds.
        {"\x02\x03" + reply(ready1, ready2), TPrinterCondition::Garbled},
        {"noise" + reply(ready1, ready2), TPrinterCondition::Garbled},
        {reply("030, ,0,0245,000,0,0,0,000,0,0,0", ready2), TPrinterCondition::Garbled},
        {reply("030,,0,0245,000,0,0,0,000,0,0,0", ready2), TPrinterCondition::Garbled},
        {reply("030,0,0,0245,000,0,0,0,000,0,0", ready2), TPrinterCondition::Garbled},
        {reply(ready1, ready2 + ",0"), TPrinterCondition::Garbled},
        {reply("030,2,0,0245,000,0,0,0,000,0,0,0", ready2), TPrinterCondition::Garbled},
        {reply(ready1, ready2) + "x", TPrinterCondition::Garbled},
        {Frame(ready1) + "\n" + Frame(ready2) + third, TPrinterCondition::Garbled},
        {"\x02" + ready1.substr(0, 5) + "\x02", TPrinterCondition::Garbled},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseHostStatus(c.reply), c.condition) << c.reply;
}

// Local addresses that cannot take a label: a closed port refuses, a listener that never
// accepts and never answers is silent.
TEST(NetworkPrinter, FailuresNameTheirReason) {
    testing::LocalListener silent4("127.0.0.1"), silent6("::1");
    const std::uint16_t closed4 = testing::LocalListener::ClosedPort("127.0.0.1");
    const std::uint16_t closed6 = testing::LocalListener::ClosedPort("::1");
    const struct {
        std::string name;
        std::optional<bool> ask;
        const char* failure;  // UTF-8
    } cases[] = {
        {"127.0.0.1:" + std::to_string(closed4), false,
         "Этикетка не напечатана: принтер отклонил соединение"},
        {"[::1]:" + std::to_string(closed6), std::nullopt,
         "Этикетка не напечатана: принтер отклонил соединение"},
        {"127.0.0.1:" + std::to_string(silent4.Port()), std::nullopt,
         "Этикетка не напечатана: принтер не отвечает"},
        {"[::1]:" + std::to_string(silent6.Port()), true,
         "Этикетка не напечатана: принтер не отвечает"},
        {"host:", std::nullopt, "Этикетка не напечатана: неверный адрес принтера: host:"},
        {"printer:Labels", std::nullopt, "Этикетка не напечатана: служба печати не отвечает"},
    };
    // No print service at all.
    cupsSetServer(("127.0.0.1:" + std::to_string(closed4)).c_str());
    serial::TBComPort port;
    job::SizeRow row;
    row.Caption = "x";
    for (const auto& c : cases) {
        const labels::TPrintOutcome outcome =
            labels::PrintLabel(port, {true, c.name, c.ask}, {}, "", row, 0);
        EXPECT_EQ(Cp1251ToUtf8(outcome.Failure()), c.failure) << c.name;
    }
}

}  // namespace
}  // namespace tandrel::printer
