// Event delivery over real pseudo-terminals, with a TQueueExecutor as the main thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "base/cp1251.h"
#include "pty_peer.h"
#include "serial/BCPort.h"

namespace tandrel::serial {
namespace {

using namespace std::chrono_literals;
using testing::ProcessCpuMs;
using testing::ThreadCount;
using testing::TPty;

class EventsTest : public ::testing::TestWithParam<TSyncMethod> {
  protected:
    EventsTest() : port(&main) {
        port.SetPort(pty.Path());
        port.SetSyncMethod(GetParam());
    }
    // Lets the main thread run until done() holds.
    bool Until(const std::function<bool()>& done, std::chrono::milliseconds limit = 3000ms) {
        return main.RunUntil(done, limit);
    }

    TQueueExecutor main;
    TPty pty;
    TBComPort port;
    std::mutex seen;  // under smNone the handlers run beside the test
};

TEST_P(EventsTest, RxCharCountsEveryWaitingByteOnTheRightThread) {
    std::vector<int> counts;
    std::atomic<int> calls{0};
    std::thread::id handlerThread;
    port.OnRxChar = [&](TBComPort&, std::int32_t count) {
        std::lock_guard lock(seen);
        handlerThread = std::this_thread::get_id();
        counts.push_back(count);  // reads nothing: the bytes stay waiting
        ++calls;
    };
    ASSERT_TRUE(port.OpenPort());
    pty.Write("abc");
    ASSERT_TRUE(Until([&] { return calls >= 1; }));
    std::unique_lock lock(seen);
    EXPECT_EQ(counts.at(0), 3);
    if (GetParam() == smNone)
        EXPECT_NE(handlerThread, std::this_thread::get_id());
    else
        EXPECT_EQ(handlerThread, std::this_thread::get_id());

    lock.unlock();
    // Unread bytes raise nothing by themselves...
    main.RunFor(100ms);
    EXPECT_EQ(calls, 1);
    // ...and count again with the next arrival.
    pty.Write("de");
    ASSERT_TRUE(Until([&] { return calls >= 2; }));
    lock.lock();
    EXPECT_EQ(counts.at(1), 5);
    lock.unlock();
    std::string got;
    EXPECT_EQ(port.ReadText(got, 100), 5);
    EXPECT_EQ(got, "abcde");
}

TEST_P(EventsTest, HandlerReadingExactlyCountSeesEveryByteInOrder) {
    std::string all;
    port.OnRxChar = [&](TBComPort& p, std::int32_t count) {
        std::string part;
        EXPECT_EQ(p.ReadText(part, count), count);
        std::lock_guard lock(seen);
        all += part;
    };
    ASSERT_TRUE(port.OpenPort());
    std::string sent;
    for (int i = 0; i < 50; ++i) {
        const std::string chunk = "P" + std::to_string(i) + "_";
        sent += chunk;
        pty.Write(chunk);
    }
    EXPECT_TRUE(Until([&] {
        std::lock_guard lock(seen);
        return all.size() >= sent.size();
    }));
    std::lock_guard lock(seen);
    EXPECT_EQ(all, sent);
}

TEST_P(EventsTest, TxEmptyFollowsEveryWriteAndAnIdlePortStaysQuiet) {
    std::atomic<int> empties{0};
    std::thread::id handlerThread;
    port.OnTxEmpty = [&](TBComPort& p) {
        EXPECT_EQ(&p, &port);
        std::lock_guard lock(seen);
        handlerThread = std::this_thread::get_id();
        ++empties;
    };
    ASSERT_TRUE(port.OpenPort());
    pty.Write("P");  // bytes that arrive raise no TxEmpty
    main.RunFor(100ms);
    EXPECT_EQ(empties, 0);
    const std::string writes[] = {"T", "****1500#", std::string(3000, 'x')};
    int expected = 0;
    for (const std::string& text : writes) {
        EXPECT_EQ(port.WriteText(text), static_cast<int>(text.size()));
        EXPECT_EQ(pty.Read(text.size()).size(), text.size());
        ++expected;
        ASSERT_TRUE(Until([&] { return empties >= expected; })) << text.size();
        main.RunFor(50ms);
    }
    // A large write may drain more than once while it goes out; every write drains at least once.
    EXPECT_GE(empties, expected);
    const int settled = empties;
    main.RunFor(200ms);
    EXPECT_EQ(empties, settled);  // an idle port stays quiet
    std::lock_guard lock(seen);
    if (GetParam() == smNone)
        EXPECT_NE(handlerThread, std::this_thread::get_id());
    else
        EXPECT_EQ(handlerThread, std::this_thread::get_id());
}

TEST_P(EventsTest, FarEndClosingRaisesLineLostOnceThenCostsNothing) {
    std::atomic<int> lost{0};
    port.OnLineLost = [&](TBComPort& p) {
        EXPECT_EQ(&p, &port);
        ++lost;
    };
    ASSERT_TRUE(port.OpenPort());
    pty.CloseMaster();
    ASSERT_TRUE(Until([&] { return lost >= 1; }));
    const double before = ProcessCpuMs();
    main.RunFor(300ms);
    EXPECT_LT(ProcessCpuMs() - before, 30.0);  // a spinning thread would use most of it
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(port.IsOpen());
    try {
        port.WriteText("T");
        ADD_FAILURE() << "the write succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Message(), "Ошибка записи в порт"_cp1251);
    }
}

TEST_P(EventsTest, ClosingFromInsideAHandlerDoesNotDeadlock) {
    const int before = ThreadCount();
    std::atomic<bool> closed{false};
    port.OnRxChar = [&](TBComPort& p, std::int32_t) {
        p.ClosePort();
        closed = true;
    };
    ASSERT_TRUE(port.OpenPort());
    pty.Write("P");
    ASSERT_TRUE(Until([&] { return closed.load(); }));
    EXPECT_FALSE(port.IsOpen());
    // The event thread ends by itself once the delivery has returned.
    EXPECT_TRUE(Until([&] { return ThreadCount() == before; }));
    // And the port opens again at once.
    port.OnRxChar = nullptr;
    EXPECT_TRUE(port.OpenPort());
}

TEST_P(EventsTest, DestroyingFromInsideAHandler) {
    const int before = ThreadCount();
    auto owned = std::make_unique<TBComPort>(&main);
    owned->SetPort(pty.Path());
    owned->SetSyncMethod(GetParam());
    std::atomic<bool> gone{false};
    owned->OnRxChar = [&](TBComPort&, std::int32_t) {
        owned.reset();
        gone = true;
    };
    owned->OnTxEmpty = [](TBComPort&) { ADD_FAILURE() << "raised after the port was destroyed"; };
    ASSERT_TRUE(owned->OpenPort());
    pty.Write("P");
    ASSERT_TRUE(Until([&] { return gone.load(); }));
    EXPECT_TRUE(Until([&] { return ThreadCount() == before; }));
}

TEST_P(EventsTest, StoppingWhileTheEventThreadWaitsForTheMainThread) {
    // The main thread is busy elsewhere while bytes arrive; then it closes without draining.
    if (GetParam() != smNone)  // smNone delivers at once, on the event thread
        port.OnRxChar = [](TBComPort&, std::int32_t) {
            ADD_FAILURE() << "delivered after the close";
        };
    const int before = ThreadCount();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(port.OpenPort());
        pty.Write("PP");
        std::this_thread::sleep_for(30ms);
        EXPECT_TRUE(port.ClosePort());
        main.RunPending();  // whatever was still queued is dropped
    }
    EXPECT_EQ(ThreadCount(), before);
}

std::string SyncName(const ::testing::TestParamInfo<TSyncMethod>& info) {
    static const char* const kNames[] = {"ThreadSync", "WindowSync", "None"};
    return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Sync, EventsTest, ::testing::Values(smThreadSync, smWindowSync, smNone),
                         SyncName);

TEST(EventsThreadSync, HandlerExceptionEndsTheEventThreadButThePortStaysUsable) {
    TQueueExecutor main;
    TPty pty;
    TBComPort port(&main);
    port.SetPort(pty.Path());
    const int before = ThreadCount();
    int calls = 0;
    port.OnRxChar = [&](TBComPort&, std::int32_t) {
        ++calls;
        throw EComPort("Ошибка записи в порт"_cp1251);
    };
    ASSERT_TRUE(port.OpenPort());
    pty.Write("P");
    ASSERT_TRUE(main.RunUntil([&] { return calls == 1; }, 3s));
    EXPECT_TRUE(main.RunUntil([&] { return ThreadCount() == before; }, 3s));
    pty.Write("P");
    main.RunFor(100ms);
    EXPECT_EQ(calls, 1);  // no more events until reopened
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.WriteText("T"), 1);
    EXPECT_EQ(pty.Read(1), "T");
    std::string got;
    EXPECT_EQ(port.ReadText(got, 10), 2);
    EXPECT_TRUE(port.ClosePort());
    ASSERT_TRUE(port.OpenPort());
    pty.Write("P");
    EXPECT_TRUE(main.RunUntil([&] { return calls == 2; }, 3s));
}

TEST(EventsWindowSync, HandlerExceptionGoesToTheApplicationAndEventsGoOn) {
    TQueueExecutor main;
    std::vector<std::string> reported;
    main.OnException = [&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const EComPort& error) {
            reported.push_back(error.Message());
        }
    };
    TPty pty;
    TBComPort port(&main);
    port.SetPort(pty.Path());
    port.SetSyncMethod(smWindowSync);
    int calls = 0;
    port.OnRxChar = [&](TBComPort& p, std::int32_t n) {
        std::string drop;
        p.ReadText(drop, n);
        ++calls;
        throw EComPort("Ошибка записи в порт"_cp1251);
    };
    ASSERT_TRUE(port.OpenPort());
    pty.Write("P");
    ASSERT_TRUE(main.RunUntil([&] { return calls == 1; }, 3s));
    pty.Write("P");
    EXPECT_TRUE(main.RunUntil([&] { return calls == 2; }, 3s));
    EXPECT_EQ(reported.size(), 2u);
}

TEST(EventsWindowSync, AHandlerReadingBeforeTheEventThreadLeavesTheLineUp) {
    // The handler runs beside the event thread and may take bytes that poll() has just reported:
    // the event thread then reads nothing, which is no hang-up.
    TQueueExecutor main;
    TPty pty;
    TBComPort port(&main);
    port.SetPort(pty.Path());
    port.SetSyncMethod(smWindowSync);
    std::string got;
    int lost = 0;
    port.OnRxChar = [&](TBComPort& p, std::int32_t n) {
        std::string bytes;
        p.ReadText(bytes, n);
        got += bytes;
    };
    port.OnLineLost = [&](TBComPort&) { ++lost; };
    ASSERT_TRUE(port.OpenPort());
    std::thread peer([&] {
        for (int i = 0; i < 300; ++i) {
            pty.Write("P");
            std::this_thread::sleep_for(200us);
        }
    });
    // The main thread keeps reading while the bytes come, so that it often reads first.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (got.size() < 300 && lost == 0 && std::chrono::steady_clock::now() < deadline) {
        std::string more;
        port.ReadText(more, 16);
        got += more;
        main.RunPending();
    }
    peer.join();
    main.RunFor(50ms);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(got, std::string(300, 'P'));
}

}  // namespace
}  // namespace tandrel::serial
