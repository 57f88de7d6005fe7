// Labels through a real CUPS queue: a private cupsd whose raw queue sends to the simulator's
// network printer, which saves each label it receives.

#include "printer/queue_printer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/cp1251.h"
#include "labels/label.h"
#include "labels/printer.h"
#include "serial/BCPort.h"
#include "simulator.h"
#include "support/private_cupsd.h"
#include "support/temp_dir.h"

namespace tandrel::printer {
namespace {

using console::testing::TSimulator;
using tandrel::testing::PrivateCupsd;
using tandrel::testing::ReadBytes;
using tandrel::testing::TempDir;

bool WaitFor(const std::filesystem::path& file, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return std::filesystem::exists(file);
}

TEST(PrintQueue, CupsQueue) {
    TempDir dir;
    TSimulator sim(dir.Path(), {"--printer-tcp", "0"}, true);
    ASSERT_TRUE(sim.Ready());
    const std::string tcp = sim.NetworkPrinter();
    const auto port = static_cast<std::uint16_t>(std::stoi(tcp.substr(tcp.rfind(':') + 1)));
    PrivateCupsd cupsd(dir.Path() / "cups", "Label", port);
    ASSERT_TRUE(cupsd.Ready()) << cupsd.Log();
    cupsd.UseHere();

    const TQueueList queues = PrintQueues();
    EXPECT_EQ(queues.Queues, std::vector<std::string>{"printer:Label"});
    EXPECT_EQ(queues.Problem, "");

    serial::TBComPort port1;
    labels::ConfigureLabelPort(port1);
    const std::vector<std::string> lines = labels::SplitTemplateLines(labels::kDefaultTemplate);
    job::SizeRow row;
    row.Fields[0] = "Профиль 12"_cp1251;
    const std::string expected = "^XA^PW360^FO10,00^ASN,70,70^FDПрофиль 12^FS^XZ"_cp1251;
    const auto label = [&](int n) {
        return sim.Labels() / ("label-000" + std::to_string(n) + ".zpl");
    };

    // Printed byte for byte, whatever the letter case of "printer:".
    auto outcome = labels::PrintLabel(port1, {true, "PRINTER:Label", false}, lines, "", row, 1);
    EXPECT_EQ(outcome.Result, labels::TPrintOutcome::TResult::Printed);
    EXPECT_EQ(outcome.Notice, "");
    ASSERT_TRUE(WaitFor(label(1), std::chrono::seconds(10))) << cupsd.Log();
    EXPECT_EQ(ReadBytes(label(1)), expected);

    // A paused queue keeps the job and says so; it prints once resumed.
    ASSERT_TRUE(cupsd.Queue("cupsdisable"));
    outcome = labels::PrintLabel(port1, {true, "printer:Label", false}, lines, "", row, 1);
    EXPECT_EQ(outcome.Result, labels::TPrintOutcome::TResult::Paused);
    EXPECT_EQ(outcome.Notice, "Принтер на паузе"_cp1251);
    EXPECT_FALSE(WaitFor(label(2), std::chrono::milliseconds(300)));
    ASSERT_TRUE(cupsd.Queue("cupsenable"));
    ASSERT_TRUE(WaitFor(label(2), std::chrono::seconds(10)));
    EXPECT_EQ(ReadBytes(label(2)), expected);

    // Labels that cannot go say why, and nothing reaches the printer.
    ASSERT_TRUE(cupsd.Queue("cupsreject"));
    const struct {
        const char* name;
        std::string failure;
    } refused[] = {
        {"printer:Label", QueueRejectsText("Label")},
        {"printer:Нет такой", QueueMissingText("Нет такой"_cp1251)},
    };
    for (const auto& c : refused) {
        outcome = labels::PrintLabel(port1, {true, Utf8ToCp1251(c.name), false}, lines, "", row, 1);
        EXPECT_EQ(outcome.Failure(), "Этикетка не напечатана: "_cp1251 + c.failure) << c.name;
    }
    EXPECT_FALSE(WaitFor(label(3), std::chrono::milliseconds(300)));
}

}  // namespace
}  // namespace tandrel::printer
