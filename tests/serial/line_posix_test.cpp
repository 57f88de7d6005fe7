// The component on a pseudo-terminal that plays a real port's line (line_preload.c): error
// counters, an output queue that drains at the line's speed and takes only what fits.

#include <dlfcn.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "base/cp1251.h"
#include "pty_peer.h"
#include "serial/BCPort.h"

namespace tandrel::serial {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::TPty;

bool ShimLoaded() {
    return dlsym(RTLD_DEFAULT, "tandrel_line_preload") != nullptr;
}

// The shim's control file: the speed its queue drains at (0: the line's own) and the error
// counters it reports.
class TLine {
  public:
    TLine()
        : path_(std::filesystem::temp_directory_path() /
                ("tandrel-line-" + std::to_string(getpid()))) {
        ::setenv("TANDREL_LINE", path_.c_str(), 1);
        Set(0);
    }
    ~TLine() {
        std::filesystem::remove(path_);
        std::filesystem::remove(CutPath());
    }
    void Set(long baud, long frame = 0, long parity = 0, long overrun = 0, long brk = 0,
             long bufOverrun = 0, int queueQueryErrno = 0) {
        const auto temporary = path_.string() + ".new";
        std::ofstream(temporary) << baud << ' ' << frame << ' ' << parity << ' ' << overrun << ' '
                                 << brk << ' ' << bufOverrun << ' ' << queueQueryErrno << '\n';
        std::filesystem::rename(temporary, path_);
    }
    // Bytes that output flushes have discarded from the queue so far.
    long Cut() const {
        long n = 0;
        std::ifstream(CutPath()) >> n;
        return n;
    }

  private:
    std::filesystem::path CutPath() const { return path_.string() + ".cut"; }
    std::filesystem::path path_;
};

class PortOnRealLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ShimLoaded()) << "line_preload.c is not preloaded";
        port.SetPort(pty.Path());
    }
    TLine line;
    TQueueExecutor main;
    TPty pty;
    TBComPort port{&main};
};

TEST_F(PortOnRealLine, TxEmptyComesOnceTheQueueHasLeftTheLine) {
    port.SetSyncMethod(smNone);
    std::atomic<long long> emptyAfterUs{-1};
    const auto start = Clock::now();
    port.OnTxEmpty = [&](TBComPort&) {
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
        long long unset = -1;
        emptyAfterUs.compare_exchange_strong(unset, us.count());
    };
    ASSERT_TRUE(port.OpenPort());
    // 480 bytes at 9600 baud: half a second on the line.
    EXPECT_EQ(port.WriteText(std::string(480, 'L')), 480);
    EXPECT_GE(Clock::now() - start, 450ms);  // the write ends when its bytes have gone
    ASSERT_TRUE(main.RunUntil([&] { return emptyAfterUs.load() >= 0; }, 3s));
    EXPECT_GE(emptyAfterUs.load(), 450'000);
    EXPECT_EQ(pty.Read(480).size(), 480u);
}

TEST_F(PortOnRealLine, WritesFromTwoThreadsOfBlocksFarLargerThanTheQueueNeverInterleave) {
    // 11.5 kB/s: the queue takes 4096 bytes of a block at first, then what has drained.
    port.SetBaudRate(br115200);
    port.SetSyncMethod(smNone);
    ASSERT_TRUE(port.OpenPort());
    constexpr std::size_t kBlock = 16 * 1024;
    constexpr int kBlocks = 2;
    std::string received;
    std::thread reader([&] { received = pty.Read(2 * kBlocks * kBlock, 30000); });
    std::thread other([&] {
        for (int i = 0; i < kBlocks; ++i) port.WriteText(std::string(kBlock, 'b'));
    });
    for (int i = 0; i < kBlocks; ++i) port.WriteText(std::string(kBlock, 'a'));
    other.join();
    reader.join();
    ASSERT_EQ(received.size(), 2 * kBlocks * kBlock);
    for (std::size_t i = 0; i < received.size(); i += kBlock)
        ASSERT_EQ(received.substr(i, kBlock).find_first_not_of(received[i]), std::string::npos)
            << "block at " << i;
}

TEST_F(PortOnRealLine, ErrorComesBeforeRxCharAndItsHandlerSeesTheErrors) {
    // Counter increases with one arriving byte, and the errors the handler must see.
    const struct {
        const char* name;
        long frame, parity, overrun, brk, bufOverrun;
        TParity setting;
        TComErrors errors;
    } rows[] = {
        {"framing", 1, 0, 0, 0, 0, paNone, {ceFrame}},
        {"parity without parity", 0, 1, 0, 0, 0, paNone, {}},
        {"parity", 0, 1, 0, 0, 0, paEven, {ceRxParity}},
        {"overrun and break", 0, 0, 1, 1, 0, paNone, {ceOverrun, ceBreak}},
        {"input buffer overrun", 0, 0, 0, 0, 2, paNone, {ceRxOver}},
        {"everything", 3, 3, 3, 3, 3, paOdd, {ceFrame, ceRxParity, ceOverrun, ceBreak, ceRxOver}},
    };
    for (TSyncMethod sync : {smThreadSync, smWindowSync, smNone}) {
        for (const auto& r : rows) {
            SCOPED_TRACE(std::string(r.name) + " " + std::to_string(sync));
            line.Set(0);
            TPty rowPty;
            TBComPort rowPort(&main);
            rowPort.SetPort(rowPty.Path());
            rowPort.SetSyncMethod(sync);
            rowPort.SetParity(r.setting);
            std::mutex seen;
            std::vector<std::string> events;
            rowPort.OnError = [&](TBComPort&, TComErrors errors) {
                std::lock_guard lock(seen);
                events.push_back("error " + std::to_string(errors.Bits()));
            };
            rowPort.OnRxChar = [&](TBComPort& p, std::int32_t count) {
                std::string bytes;
                p.ReadText(bytes, count);
                std::lock_guard lock(seen);
                events.push_back("rx " + bytes);
            };
            ASSERT_TRUE(rowPort.OpenPort());
            line.Set(0, r.frame, r.parity, r.overrun, r.brk, r.bufOverrun);
            rowPty.Write("\x7F");
            ASSERT_TRUE(main.RunUntil(
                [&] {
                    std::lock_guard lock(seen);
                    return !events.empty() && events.back().rfind("rx", 0) == 0;
                },
                3s));
            std::vector<std::string> expected;
            if (!r.errors.Empty()) expected.push_back("error " + std::to_string(r.errors.Bits()));
            expected.push_back("rx \x7F");
            std::lock_guard lock(seen);
            EXPECT_EQ(events, expected);
        }
    }
}

TEST_F(PortOnRealLine, AQueueQueryFailingInADeliveryIsALostLineSaidOnce) {
    // A pulled adapter's driver may refuse the queue query while bytes or errors are reported.
    for (TSyncMethod sync : {smThreadSync, smWindowSync, smNone}) {
        for (long frame : {0L, 1L}) {  // raised in RxChar, and in Error before it
            SCOPED_TRACE(std::to_string(sync) + " frame " + std::to_string(frame));
            line.Set(0);
            TPty rowPty;
            TBComPort rowPort(&main);
            rowPort.SetPort(rowPty.Path());
            rowPort.SetSyncMethod(sync);
            std::atomic<int> lost{0}, delivered{0};
            rowPort.OnLineLost = [&](TBComPort&) { ++lost; };
            rowPort.OnRxChar = [&](TBComPort&, std::int32_t) { ++delivered; };
            rowPort.OnError = [&](TBComPort&, TComErrors) { ++delivered; };
            ASSERT_TRUE(rowPort.OpenPort());
            line.Set(0, frame, 0, 0, 0, 0, ENODEV);
            rowPty.Write("P");
            EXPECT_TRUE(main.RunUntil([&] { return lost > 0; }, 3s));
            rowPty.Write("P");
            main.RunFor(100ms);
            EXPECT_EQ(lost, 1);
            EXPECT_EQ(delivered, 0);
            line.Set(0);
        }
    }
}

TEST_F(PortOnRealLine, CloseRightAfterAWriteWaitsUntilTheQueueHasLeft) {
    ASSERT_TRUE(port.OpenPort());
    // A label of 960 bytes: a second at 9600 baud. Started, not awaited: still in the queue.
    const std::string label = "^XA" + std::string(954, 'Z') + "^XZ";
    std::unique_ptr<TAsyncRequest> request;
    port.NewRequest(request);
    port.StartWriteText(label, request.get());
    const auto start = Clock::now();
    EXPECT_TRUE(port.ClosePort());
    const auto took = Clock::now() - start;
    port.FreeRequest(request);
    EXPECT_GE(took, 800ms);
    EXPECT_LT(took, 5s);
    EXPECT_EQ(line.Cut(), 0);
    // Nothing was purged from what the far end had not read yet: the label's end is there.
    const std::string got = pty.Read(label.size(), 500);
    EXPECT_EQ(got.size(), label.size());
    EXPECT_EQ(got.substr(got.size() > 3 ? got.size() - 3 : 0), "^XZ");
}

TEST_F(PortOnRealLine, CloseWaitsNoLongerThanTheWriteTimeoutsAllow) {
    line.Set(10);  // one byte a second: a line that hardly moves (held by flow control)
    const struct {
        std::int32_t multiplier, constant;
        std::chrono::milliseconds bound;
    } rows[] = {
        {0, 300, 300ms},  {5, 0, 500ms},  // 100 bytes at 5 ms each
        {-1, 0, 1104ms},                  // no bound: the bytes' time at 9600 baud and a second
        {0, 0, 1104ms},                   // no bound either
        {-1, -1, 1104ms},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.multiplier) + " " + std::to_string(r.constant));
        port.Timeouts().SetWriteTotalMultiplier(r.multiplier);
        port.Timeouts().SetWriteTotalConstant(r.constant);
        ASSERT_TRUE(port.OpenPort());
        std::unique_ptr<TAsyncRequest> request;
        port.NewRequest(request);
        port.StartWriteText(std::string(100, 'q'), request.get());
        const long cutBefore = line.Cut();
        const auto start = Clock::now();
        EXPECT_TRUE(port.ClosePort());
        const auto took = Clock::now() - start;
        port.FreeRequest(request);
        EXPECT_GE(took, r.bound - 50ms);
        EXPECT_LT(took, r.bound + 700ms);
        EXPECT_GT(line.Cut(), cutBefore);  // what had not left by then is purged
        pty.Read(100, 50);
    }
}

}  // namespace
}  // namespace tandrel::serial

// Preloads the line library by running this program again with it, where it is not loaded yet.
int main(int argc, char** argv) {
    if (!tandrel::serial::ShimLoaded() && std::getenv("TANDREL_LINE_REEXEC") == nullptr) {
        ::setenv("TANDREL_LINE_REEXEC", "1", 1);
        ::setenv("LD_PRELOAD", TANDREL_LINE_PRELOAD, 1);
        // The sanitizers' runtime then no longer comes first in the list of libraries.
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        ::setenv("ASAN_OPTIONS",
                 (asan + (asan.empty() ? "" : ":") + "verify_asan_link_order=0").c_str(), 1);
        ::execv("/proc/self/exe", argv);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
