#pragma once
// A plan made on a thread of its own, for a window that must not wait for it: the window starts
// it, looks at its progress and takes the plan when it has ended. A stop request ends the search
// with the best plan found so far.
//
// Start, Cancel, Progress, Finished and Take are called from one thread (the window's); OnEnd
// runs on the planning thread.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "plan/plan.h"

namespace tandrel::plan {

struct TPlanResult {
    TPlan Plan;
    std::string Failure;  // why no plan came (Windows-1251); "" with a plan
};

class TPlanRunner {
  public:
    TPlanRunner() = default;
    // Stops the search and waits for its thread: within a moment, as the search looks at its
    // stop request between steps.
    ~TPlanRunner();
    TPlanRunner(const TPlanRunner&) = delete;
    TPlanRunner& operator=(const TPlanRunner&) = delete;

    // Plans problem. A plan still running is stopped first and its result dropped. onEnd (may be
    // empty) runs on the planning thread once the result can be taken.
    void Start(TProblem problem, TPlanOptions options, std::function<void()> onEnd = {});
    // Asks the search to end now with its best plan; nothing when none runs.
    void Cancel();
    bool Running() const;
    // The best plan and bound so far; none before the first.
    std::optional<TProgress> Progress() const;
    // The result once, after the search has ended; none while it runs or when taken.
    std::optional<TPlanResult> Take();

  private:
    void Stop();

    mutable std::mutex mutex_;
    std::optional<TProgress> progress_;
    std::optional<TPlanResult> result_;
    bool running_ = false;
    std::jthread thread_;  // last: it ends before the state it writes goes
};

}  // namespace tandrel::plan
