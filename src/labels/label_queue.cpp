#include "labels/label_queue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "serial/BCPort.h"

namespace tandrel::labels {

// Everything the thread uses: it may outlive the queue when a system call holds it at Stop.
struct TLabelQueue::TShared {
    explicit TShared(std::function<void()> wake, TLabelTimes times)
        : Wake(std::move(wake)), Times(times) {}

    mutable std::mutex Lock;
    std::condition_variable Work;   // a label came, or the stop
    std::condition_variable Watch;  // a label came, or the stop: the watch looks again
    std::condition_variable Ended;  // the thread has ended
    std::deque<std::pair<std::uint64_t, TLabelJob>> Labels;
    std::vector<TLabelDone> Done;
    std::uint64_t NextId = 1;
    bool Running = true;

    std::mutex WakeLock;  // Stop waits for a wake under way, then none comes
    std::function<void()> Wake;

    std::atomic<bool> Stop{false};
    const TLabelTimes Times;
    std::thread Thread;
    std::thread Watcher;

    void CallWake() {
        const std::lock_guard lock(WakeLock);
        if (Wake) Wake();
    }
};

namespace {

TPrintOutcome NotTaken() {
    TPrintOutcome late;
    late.Result = TPrintOutcome::TResult::Failed;
    late.Reason = printer::NotTakenText();
    late.Fired = printer::TBound::Start;
    return late;
}

TPrintOutcome Print(serial::TBComPort& port, const TLabelJob& job, const TLabelTimes& times,
                    const std::atomic<bool>& stop) {
    if (printer::TClock::now() >= job.Step + times.Start) return NotTaken();
    printer::TLabelBounds bounds;
    bounds.Deadline = job.Step + times.Start;
    bounds.FollowLimit = job.Step + times.Follow;
    bounds.Connect = times.Connect;
    bounds.State = times.State;
    bounds.Close = times.Close;
    bounds.Service = times.Service;
    bounds.Stop = &stop;
    return PrintComposed(port, job.Settings, job.Writes, bounds);
}

void Run(const std::shared_ptr<TLabelQueue::TShared>& shared);
void Watch(TLabelQueue::TShared& s);

}  // namespace

TLabelQueue::TLabelQueue(std::function<void()> wake, TLabelTimes times)
    : shared_(std::make_shared<TShared>(std::move(wake), times)) {
    shared_->Thread = std::thread([shared = shared_] { Run(shared); });
    shared_->Watcher = std::thread([&s = *shared_] { Watch(s); });
}

TLabelQueue::~TLabelQueue() {
    Stop(std::chrono::milliseconds(0));
}

std::uint64_t TLabelQueue::Add(TLabelJob job) {
    const std::lock_guard lock(shared_->Lock);
    if (shared_->Stop || shared_->Labels.size() >= kLabelQueueLimit) return 0;
    const std::uint64_t id = shared_->NextId++;
    shared_->Labels.emplace_back(id, std::move(job));
    shared_->Work.notify_one();
    shared_->Watch.notify_one();
    return id;
}

std::vector<TLabelDone> TLabelQueue::TakeDone() {
    const std::lock_guard lock(shared_->Lock);
    return std::exchange(shared_->Done, {});
}

std::size_t TLabelQueue::Waiting() const {
    const std::lock_guard lock(shared_->Lock);
    return shared_->Labels.size();
}

void TLabelQueue::Stop(std::chrono::milliseconds wait) {
    TShared& s = *shared_;
    {
        const std::lock_guard lock(s.Lock);
        s.Stop = true;
        s.Labels.clear();
        s.Work.notify_all();
        s.Watch.notify_all();
    }
    if (s.Watcher.joinable()) s.Watcher.join();  // it never waits on anything but the lock
    {
        const std::lock_guard lock(s.WakeLock);
        s.Wake = nullptr;
    }
    bool ended = false;
    {
        std::unique_lock lock(s.Lock);
        ended = s.Ended.wait_for(lock, wait, [&s] { return !s.Running; });
    }
    if (!s.Thread.joinable()) return;
    if (ended) {
        s.Thread.join();
    } else {
        s.Thread.detach();  // a serial write or a spooler call that takes no time-out
    }
}

namespace {

void Run(const std::shared_ptr<TLabelQueue::TShared>& shared) {
    TLabelQueue::TShared& s = *shared;
    {
        // The label port belongs to this thread: it is opened, written and closed here alone.
        serial::TBComPort port;
        ConfigureLabelPort(port);
        for (;;) {
            std::pair<std::uint64_t, TLabelJob> next;
            {
                std::unique_lock lock(s.Lock);
                s.Work.wait(lock, [&s] { return s.Stop || !s.Labels.empty(); });
                if (s.Stop) break;
                next = std::move(s.Labels.front());
                s.Labels.pop_front();
            }
            TLabelDone done{next.first, Print(port, next.second, s.Times, s.Stop)};
            {
                const std::lock_guard lock(s.Lock);
                s.Done.push_back(std::move(done));
            }
            s.CallWake();
        }
    }
    const std::lock_guard lock(s.Lock);
    s.Running = false;
    s.Ended.notify_all();
}

// A label waiting behind one that holds the thread (a serial printer taking its time, a spooler
// call that takes no time-out) is said not taken at its own time, not once the thread is free.
void Watch(TLabelQueue::TShared& s) {
    std::unique_lock lock(s.Lock);
    while (!s.Stop) {
        const auto now = printer::TClock::now();
        auto next = printer::TClock::time_point::max();
        bool expired = false;
        for (auto it = s.Labels.begin(); it != s.Labels.end();) {
            const auto end = it->second.Step + s.Times.Start;
            if (now >= end) {
                s.Done.push_back({it->first, NotTaken()});
                it = s.Labels.erase(it);
                expired = true;
            } else {
                next = std::min(next, end);
                ++it;
            }
        }
        if (expired) {
            lock.unlock();
            s.CallWake();
            lock.lock();
            continue;
        }
        if (next == printer::TClock::time_point::max()) {
            s.Watch.wait(lock);
        } else {
            s.Watch.wait_until(lock, next);
        }
    }
}

}  // namespace

}  // namespace tandrel::labels
