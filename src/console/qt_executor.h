#pragma once
// The serial component's way to the main thread, on Qt's event loop: a queued call that the
// event thread waits for (thread-synchronised events, the handshake's window steps), or one
// it does not wait for (window-synchronised events).

#include <QObject>
#include <mutex>

#include "serial/executor.h"

namespace tandrel::console {

class TQtExecutor final : public serial::TMainThreadExecutor {
  public:
    // Runs fn on the main thread and waits. Gives up, without running fn, when stop is
    // requested before fn has started, so that stopping a port or a handshake whose thread
    // waits here never deadlocks. Rethrows what fn threw.
    bool RunAndWait(std::function<void()> fn, std::stop_token stop) override;
    // What fn throws goes to the application's exception handler.
    void Post(std::function<void()> fn) override;

  private:
    // Calls are queued to this object: those still queued when the executor goes are dropped
    // with it, never run on a window that no longer exists. Lives on the main thread.
    QObject context_;
};

// Results of threads that may outlive the window they report to (a print service's answer):
// posted to it while it lives, dropped once it has closed the box. Any thread.
class TPostBox {
  public:
    explicit TPostBox(serial::TMainThreadExecutor& executor) : executor_(&executor) {}
    void Post(std::function<void()> fn) {
        const std::lock_guard lock(lock_);
        if (executor_ != nullptr) executor_->Post(std::move(fn));
    }
    void Close() {
        const std::lock_guard lock(lock_);
        executor_ = nullptr;
    }

  private:
    std::mutex lock_;
    serial::TMainThreadExecutor* executor_;
};

}  // namespace tandrel::console
