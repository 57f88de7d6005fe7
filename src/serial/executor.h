#pragma once
// How the serial component reaches the thread that owns it ("the main thread"). The console
// supplies one built on its event loop; TQueueExecutor is a plain queue for programs and tests
// without one.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace tandrel::serial {

// How often a thread waiting in RunAndWait looks whether its stop was requested. It waits in
// slices rather than being woken by a std::stop_callback: with MinGW's libstdc++ the end of a
// stop callback that another thread ran can miss its wake-up and hang for good (a port closed
// while its event thread waited here, under Wine).
inline constexpr std::chrono::milliseconds kStopCheckInterval{5};

class TMainThreadExecutor {
  public:
    virtual ~TMainThreadExecutor();

    // Runs fn on the main thread and waits until it has run; rethrows what fn threw. When stop
    // is requested before fn has started, fn never runs and the call returns false; once fn is
    // running the call waits for it to end. Returns true when fn ran. Called on the main thread
    // itself, it runs fn directly. Any thread.
    virtual bool RunAndWait(std::function<void()> fn, std::stop_token stop) = 0;

    // Queues fn for the main thread and returns at once. What fn throws goes to the
    // application's exception handling, never back to the caller. Any thread.
    virtual void Post(std::function<void()> fn) = 0;
};

// Executor used by ports constructed without one (nullptr when none was set). The console sets
// it once at start, before it creates any port.
TMainThreadExecutor* DefaultExecutor();
void SetDefaultExecutor(TMainThreadExecutor* executor);

// A queue that the thread which constructed it drains with RunFor / RunUntil / RunPending.
class TQueueExecutor final : public TMainThreadExecutor {
  public:
    using Clock = std::chrono::steady_clock;

    TQueueExecutor();            // the constructing thread becomes the main thread
    ~TQueueExecutor() override;  // no thread may still wait in RunAndWait
    TQueueExecutor(const TQueueExecutor&) = delete;
    TQueueExecutor& operator=(const TQueueExecutor&) = delete;

    bool RunAndWait(std::function<void()> fn, std::stop_token stop) override;
    void Post(std::function<void()> fn) override;

    // Main thread only. Runs queued work as it comes for the whole duration; returns how many
    // items ran.
    int RunFor(Clock::duration duration);
    // Main thread only. Runs queued work until done() holds (checked after each item and at
    // least every millisecond) or the time-out passes; returns done().
    bool RunUntil(const std::function<bool()>& done, Clock::duration timeout);
    // Main thread only. Runs what is queued now, without waiting.
    int RunPending();

    // Receives what posted work threw; without it such exceptions are dropped. Main thread.
    std::function<void(std::exception_ptr)> OnException;

  private:
    struct Call;
    bool RunOne(std::unique_lock<std::mutex>& lock);

    const std::thread::id main_;
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<std::shared_ptr<Call>> queue_;
};

}  // namespace tandrel::serial
