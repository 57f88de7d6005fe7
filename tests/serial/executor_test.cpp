#include "serial/executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace tandrel::serial {
namespace {

using namespace std::chrono_literals;

TEST(QueueExecutor, RunAndWaitRunsOnTheMainThreadAndRethrows) {
    TQueueExecutor main;
    const auto mainId = std::this_thread::get_id();
    std::stop_source stop;
    std::atomic<int> state{0};
    std::thread other([&] {
        std::thread::id ranOn;
        EXPECT_TRUE(main.RunAndWait([&] { ranOn = std::this_thread::get_id(); }, stop.get_token()));
        EXPECT_EQ(ranOn, mainId);
        EXPECT_THROW(main.RunAndWait([] { throw std::runtime_error("x"); }, stop.get_token()),
                     std::runtime_error);
        state = 1;
    });
    EXPECT_TRUE(main.RunUntil([&] { return state == 1; }, 3s));
    other.join();
}

TEST(QueueExecutor, CancelledBeforeItRunsNeverRuns) {
    TQueueExecutor main;
    std::stop_source stop;
    std::atomic<bool> ran{false}, returned{false}, result{true};
    std::thread other([&] {
        result = main.RunAndWait([&] { ran = true; }, stop.get_token());
        returned = true;
    });
    std::this_thread::sleep_for(20ms);  // queued, not run: the main thread is busy
    stop.request_stop();
    other.join();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(result);
    main.RunPending();
    EXPECT_FALSE(ran);
    // An already stopped token queues nothing.
    EXPECT_FALSE(std::async(std::launch::async, [&] {
                     return main.RunAndWait([&] { ran = true; }, stop.get_token());
                 }).get());
    EXPECT_EQ(main.RunPending(), 0);
}

TEST(QueueExecutor, OnTheMainThreadItselfRunsDirectly) {
    TQueueExecutor main;
    int calls = 0;
    EXPECT_TRUE(main.RunAndWait([&] { ++calls; }, {}));
    EXPECT_EQ(calls, 1);
}

TEST(QueueExecutor, PostedWorkRunsInOrderAndItsExceptionsGoToTheHandler) {
    TQueueExecutor main;
    std::string order;
    int errors = 0;
    main.OnException = [&](std::exception_ptr) { ++errors; };
    std::thread other([&] {
        main.Post([&] { order += 'a'; });
        main.Post([&] { throw std::runtime_error("x"); });
        main.Post([&] { order += 'b'; });
    });
    other.join();
    EXPECT_EQ(main.RunPending(), 3);
    EXPECT_EQ(order, "ab");
    EXPECT_EQ(errors, 1);
}

}  // namespace
}  // namespace tandrel::serial
