#include "labels/label_queue.h"

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
};

namespace {

TPrintOutcome Print(serial::TBComPort& port, const TLabelJob& job, const TLabelTimes& times,
                    const std::atomic<bool>& stop) {
    if (printer::TClock::now() >= job.Step + times.Start) {
        TPrintOutcome late;
        late.Result = TPrintOutcome::TResult::Failed;
        late.Reason = printer::NotTakenText();
        late.Fired = printer::TBound::Start;
        return late;
    }
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

}  // namespace

TLabelQueue::TLabelQueue(std::function<void()> wake, TLabelTimes times)
    : shared_(std::make_shared<TShared>(std::move(wake), times)) {
    shared_->Thread = std::thread([shared = shared_] { Run(shared); });
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
    }
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
            const std::lock_guard lock(s.WakeLock);
            if (s.Wake) s.Wake();
        }
    }
    const std::lock_guard lock(s.Lock);
    s.Running = false;
    s.Ended.notify_all();
}

}  // namespace

}  // namespace tandrel::labels
