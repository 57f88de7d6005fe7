#pragma once
// The printing thread: labels handed over by the steps, reprints and the test label are printed
// one at a time, in the order they came, on a thread of its own with a serial label port of its
// own, so that no printer ever holds a step, the stop or the windows. A label not begun within
// its time after its step is not sent at all, so that it never comes out late, and is said so at
// that time even while another label holds the thread; at most 16 wait.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "labels/printer.h"

namespace tandrel::labels {

inline constexpr std::size_t kLabelQueueLimit = 16;

// The bounds of every label; tests shorten them.
struct TLabelTimes {
    std::chrono::milliseconds Start = kLabelTime;  // begun (and a network or queue label done)
    std::chrono::milliseconds Follow = kFollowTime;
    std::chrono::milliseconds Connect{3000};
    std::chrono::milliseconds State{1000};
    std::chrono::milliseconds Close{2000};
    std::chrono::milliseconds Service{3000};
};

struct TLabelJob {
    TPrintSettings Settings;
    std::vector<std::string> Writes;  // composed at the step, with the settings then in force
    printer::TClock::time_point Step = printer::TClock::now();
};

struct TLabelDone {
    std::uint64_t Id = 0;
    TPrintOutcome Outcome;
};

class TLabelQueue {
  public:
    // wake runs on a thread of the queue each time an outcome is ready for TakeDone; it must not
    // block. Starts the threads.
    explicit TLabelQueue(std::function<void()> wake, TLabelTimes times = {});
    ~TLabelQueue();  // Stop with no wait
    TLabelQueue(const TLabelQueue&) = delete;
    TLabelQueue& operator=(const TLabelQueue&) = delete;

    // The label's id (from 1), or 0 when 16 labels already wait (then nothing is added). Any
    // thread.
    std::uint64_t Add(TLabelJob job);
    // The outcomes come since the last call, in the order they came (a label not begun in its
    // time may end before the one in hand). Any thread.
    std::vector<TLabelDone> TakeDone();
    // Labels handed over and not yet begun. Any thread.
    std::size_t Waiting() const;

    // Ends the printing thread: labels not begun are dropped, the one in hand is ended at its
    // next wait, and the thread is waited for at most `wait`; one still in a system call after
    // that is left to end alone. wake is never called once this returns; outcomes that came
    // before are still in TakeDone. Safe to call twice.
    void Stop(std::chrono::milliseconds wait);

    struct TShared;  // what the thread uses; it may outlive the queue

  private:
    std::shared_ptr<TShared> shared_;
};

}  // namespace tandrel::labels
