// The printing thread against printers that misbehave, on local addresses, with its times
// shortened: each label's outcome, its reason and the bound that decided it.

#include "labels/label_queue.h"

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "base/cp1251.h"
#include "printer/queue_printer.h"
#include "printer/tcp_connection.h"
#include "support/hostile_printer.h"
#include "support/private_cupsd.h"
#include "support/temp_dir.h"

namespace tandrel::labels {
namespace {

using namespace std::chrono_literals;
using printer::TBound;
using tandrel::testing::FullListener;
using tandrel::testing::HostilePrinter;
using TEnd = HostilePrinter::TEnd;
using TResult = TPrintOutcome::TResult;

constexpr TLabelTimes kShort{.Start = 1500ms,
                             .Follow = 3000ms,
                             .Connect = 400ms,
                             .State = 300ms,
                             .Close = 300ms,
                             .Service = 400ms};

// A label no socket's buffers take whole: it goes only as fast as the printer reads.
constexpr std::size_t kMoreThanBuffers = 16 << 20;

// A printing thread whose outcomes a test waits for.
class Printing {
  public:
    explicit Printing(TLabelTimes times = kShort) : queue_([this] { Wake(); }, times) {}

    // Stepped now, unless told when.
    std::uint64_t Add(const std::string& printer, std::optional<bool> ask, std::string label,
                      std::optional<printer::TClock::time_point> step = std::nullopt) {
        TLabelJob job{{true, printer, ask}, {}, {}};
        job.Writes.push_back(std::move(label));
        job.Step = step.value_or(printer::TClock::now());
        return queue_.Add(std::move(job));
    }
    // The outcomes of the next count labels, in their order.
    std::vector<TPrintOutcome> Wait(std::size_t count) {
        std::vector<TPrintOutcome> outcomes;
        std::unique_lock lock(lock_);
        woken_.wait_for(lock, 60s, [&] {
            for (TLabelDone& done : queue_.TakeDone()) outcomes.push_back(std::move(done.Outcome));
            return outcomes.size() >= count;
        });
        return outcomes;
    }
    TLabelQueue& Queue() { return queue_; }

  private:
    void Wake() {
        const std::lock_guard lock(lock_);
        woken_.notify_all();
    }
    std::mutex lock_;
    std::condition_variable woken_;
    TLabelQueue queue_;
};

std::string At(const std::string& host, std::uint16_t port) {
    return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

TEST(HostilePrinters, Table) {
    tandrel::testing::TempDir dir;
    const std::uint16_t closed = tandrel::testing::LocalListener::ClosedPort("127.0.0.1");
    FullListener full("127.0.0.1");
    HostilePrinter neverReads("127.0.0.1", {.ReadLimit = 0, .End = TEnd::Hold});
    HostilePrinter resets("127.0.0.1", {.ReadLimit = 10, .End = TEnd::Reset});
    HostilePrinter closesMidLabel("127.0.0.1", {.ReadLimit = 10, .End = TEnd::Close});
    HostilePrinter silent("127.0.0.1", {.HostStatus = std::nullopt});
    HostilePrinter garbled("127.0.0.1",
                           {.HostStatus = "\x02\x03" + tandrel::testing::ReadyHostStatus()});
    HostilePrinter neverCloses("127.0.0.1", {.End = TEnd::Hold});
    std::string paperOut = tandrel::testing::ReadyHostStatus();
    paperOut[5] = '1';  // the first frame's second field
    HostilePrinter outOfPaperAfter("127.0.0.1", {.LaterHostStatus = paperOut});
    // One name, two addresses: the first drops every connect, the second is the printer.
    HostilePrinter second("127.0.0.1", {});
    FullListener first("::1", second.Port());
    printer::SetHostLookup([](const std::string& host) {
        return host == "printer-host" ? std::vector<std::string>{"::1", "127.0.0.1"}
                                      : std::vector<std::string>{};
    });
    HostilePrinter deafServer("127.0.0.1",
                              {.HostStatus = std::nullopt, .ReadLimit = 0, .End = TEnd::Hold});
    tandrel::testing::PrivateCupsd cupsd(dir.Path() / "cups", "Label", closed);
    ASSERT_TRUE(cupsd.Ready()) << cupsd.Log();

    const std::string local = "127.0.0.1";
    const std::string none;
    const struct {
        const char* what;
        std::string printer;      // setting g
        std::string cups;         // the print service
        std::optional<bool> ask;  // setting n
        std::size_t bytes;
        TResult result;
        const char* said;  // UTF-8: the reason of a failure, the printer's word after a label
        TBound fired;
    } cases[] = {
        {"refused", At(local, closed), none, std::nullopt, 40, TResult::Failed,
         "принтер отклонил соединение", TBound::None},
        {"no answer to connect", At(local, full.Port()), none, std::nullopt, 40, TResult::Failed,
         "принтер не отвечает", TBound::Connect},
        {"accepts and never reads", At(local, neverReads.Port()), none, false, kMoreThanBuffers,
         TResult::Failed, "принтер не отвечает", TBound::Label},
        {"reads 10 bytes then resets", At(local, resets.Port()), none, false, 64 << 10,
         TResult::Failed, "соединение с принтером разорвано", TBound::None},
        {"closes mid-label", At(local, closesMidLabel.Port()), none, false, 64 << 10,
         TResult::Failed, "соединение с принтером разорвано", TBound::None},
        {"never answers ~HS", At(local, silent.Port()), none, std::nullopt, 40, TResult::Failed,
         "принтер не отвечает", TBound::State},
        {"a garbled ~HS", At(local, garbled.Port()), none, std::nullopt, 40, TResult::Failed,
         "принтер ответил непонятно", TBound::None},
        {"never closes after the label", At(local, neverCloses.Port()), none, std::nullopt, 40,
         TResult::Printed, "", TBound::Close},
        {"out of paper once it has the label", At(local, outOfPaperAfter.Port()), none,
         std::nullopt, 40, TResult::Printed, "принтер: нет бумаги", TBound::None},
        {"first address silent, second the printer",
         "printer-host:" + std::to_string(second.Port()), none, std::nullopt, 40, TResult::Printed,
         "", TBound::None},
        {"a print server that accepts and never answers", "printer:Label",
         At(local, deafServer.Port()), std::nullopt, 40, TResult::Failed,
         "служба печати не отвечает", TBound::Service},
        {"a queue whose device is unreachable", "printer:Label", cupsd.Server(), std::nullopt, 40,
         TResult::Failed, "очередь печати не передала этикетку принтеру", TBound::Label},
    };

    for (const auto& c : cases) {
        // A thread of its own for each: CUPS takes its server once per thread.
        setenv("CUPS_SERVER", c.cups.c_str(), 1);
        Printing printing;
        ASSERT_NE(printing.Add(c.printer, c.ask, std::string(c.bytes, 'x')), 0u);
        const std::vector<TPrintOutcome> outcomes = printing.Wait(1);
        ASSERT_EQ(outcomes.size(), 1u) << c.what;
        EXPECT_EQ(outcomes[0].Result, c.result) << c.what;
        EXPECT_EQ(Cp1251ToUtf8(outcomes[0].Failed() ? outcomes[0].Reason : outcomes[0].Notice),
                  c.said)
            << c.what;
        EXPECT_EQ(outcomes[0].Fired, c.fired) << c.what;
    }
    EXPECT_EQ(second.Received(), "~HS" + std::string(40, 'x') + "~HS");
    printer::SetHostLookup({});
    unsetenv("CUPS_SERVER");
}

// A printer that takes nothing holds the thread until the label's deadline: the labels behind it
// are never sent late and are said so at their own deadline, not the held label's; no more than
// 16 wait, and a closing program ends the one in hand at once.
TEST(LabelQueue, NoLabelComesOutLateAndNoneHoldsTheClose) {
    HostilePrinter neverReads("127.0.0.1", {.ReadLimit = 0, .End = TEnd::Hold});
    HostilePrinter good("127.0.0.1", {});
    const std::string stuck = At("127.0.0.1", neverReads.Port());
    TLabelTimes times = kShort;
    times.Start = 3000ms;
    Printing printing(times);
    std::string big(kMoreThanBuffers, 'x');
    const auto step = printer::TClock::now();
    ASSERT_NE(printing.Add(stuck, false, std::move(big), step), 0u);
    while (printing.Queue().Waiting() > 0) std::this_thread::sleep_for(1ms);  // in hand
    // Stepped before it, so that their time ends half-way through its.
    std::size_t taken = 0;
    while (printing.Add(At("127.0.0.1", good.Port()), false, std::string(40, 'x'), step - 1500ms) !=
           0)
        ++taken;
    EXPECT_EQ(taken, kLabelQueueLimit);
    const std::vector<TPrintOutcome> outcomes = printing.Wait(1 + kLabelQueueLimit);
    ASSERT_EQ(outcomes.size(), 1 + kLabelQueueLimit);
    for (std::size_t i = 0; i < kLabelQueueLimit; ++i) {
        EXPECT_EQ(Cp1251ToUtf8(outcomes[i].Reason), "принтер не принял её за 10 с");
        EXPECT_EQ(outcomes[i].Fired, TBound::Start);
    }
    EXPECT_EQ(outcomes[kLabelQueueLimit].Fired, TBound::Label);
    EXPECT_EQ(good.Received(), "");

    ASSERT_NE(printing.Add(stuck, false, std::string(kMoreThanBuffers, 'x')), 0u);
    std::this_thread::sleep_for(100ms);
    printing.Queue().Stop(kShort.Start * 4);
    const std::vector<TLabelDone> closing = printing.Queue().TakeDone();
    ASSERT_EQ(closing.size(), 1u);
    EXPECT_EQ(Cp1251ToUtf8(closing[0].Outcome.Reason), "программа закрыта");
    EXPECT_EQ(closing[0].Outcome.Fired, TBound::Stop);
}

}  // namespace
}  // namespace tandrel::labels
