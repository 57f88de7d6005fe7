#include "serial/executor.h"

#include <atomic>

namespace tandrel::serial {

TMainThreadExecutor::~TMainThreadExecutor() = default;

namespace {
std::atomic<TMainThreadExecutor*> defaultExecutor{nullptr};
}

TMainThreadExecutor* DefaultExecutor() {
    return defaultExecutor.load();
}
void SetDefaultExecutor(TMainThreadExecutor* executor) {
    defaultExecutor.store(executor);
}

struct TQueueExecutor::Call {
    enum Phase { kQueued, kRunning, kDone, kCancelled };
    std::function<void()> fn;
    bool waited = false;  // RunAndWait: the caller takes the exception
    Phase phase = kQueued;
    std::exception_ptr error;
};

TQueueExecutor::TQueueExecutor() : main_(std::this_thread::get_id()) {}

TQueueExecutor::~TQueueExecutor() = default;

bool TQueueExecutor::RunAndWait(std::function<void()> fn, std::stop_token stop) {
    if (std::this_thread::get_id() == main_) {
        fn();
        return true;
    }
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    call->waited = true;
    {
        std::lock_guard lock(mutex_);
        if (stop.stop_requested()) return false;
        queue_.push_back(call);
    }
    work_.notify_one();
    std::unique_lock lock(mutex_);
    while (call->phase != Call::kDone) {
        if (call->phase == Call::kQueued && stop.stop_requested()) {
            call->phase = Call::kCancelled;
            return false;
        }
        done_.wait_for(lock, kStopCheckInterval);
    }
    if (call->error) std::rethrow_exception(call->error);
    return true;
}

void TQueueExecutor::Post(std::function<void()> fn) {
    auto call = std::make_shared<Call>();
    call->fn = std::move(fn);
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(call));
    }
    work_.notify_one();
}

// Runs the first queued call, if any; the lock is released while it runs.
bool TQueueExecutor::RunOne(std::unique_lock<std::mutex>& lock) {
    while (!queue_.empty()) {
        auto call = std::move(queue_.front());
        queue_.pop_front();
        if (call->phase == Call::kCancelled) continue;
        call->phase = Call::kRunning;
        lock.unlock();
        std::exception_ptr error;
        try {
            call->fn();
        } catch (...) {
            error = std::current_exception();
        }
        call->fn = nullptr;
        if (error && !call->waited && OnException) OnException(error);
        lock.lock();
        call->error = call->waited ? error : nullptr;
        call->phase = Call::kDone;
        done_.notify_all();
        return true;
    }
    return false;
}

int TQueueExecutor::RunPending() {
    std::unique_lock lock(mutex_);
    int count = 0;
    for (auto n = queue_.size(); n > 0 && RunOne(lock); --n) ++count;
    return count;
}

int TQueueExecutor::RunFor(Clock::duration duration) {
    const auto deadline = Clock::now() + duration;
    std::unique_lock lock(mutex_);
    int count = 0;
    for (;;) {
        if (RunOne(lock)) {
            ++count;
            continue;
        }
        if (work_.wait_until(lock, deadline, [this] { return !queue_.empty(); })) continue;
        return count;
    }
}

bool TQueueExecutor::RunUntil(const std::function<bool()>& done, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    std::unique_lock lock(mutex_);
    for (;;) {
        while (RunOne(lock)) {
            lock.unlock();
            const bool finished = done();
            lock.lock();
            if (finished) return true;
        }
        lock.unlock();
        if (done()) return true;
        lock.lock();
        const auto now = Clock::now();
        if (now >= deadline) return false;
        // done() may turn on another thread's work that queues nothing: look again soon.
        work_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(1)),
                         [this] { return !queue_.empty(); });
    }
}

}  // namespace tandrel::serial
