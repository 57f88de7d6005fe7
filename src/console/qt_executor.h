#pragma once
// The serial component's way to the main thread, on Qt's event loop: a queued call that the
// event thread waits for (thread-synchronised events, the handshake's window steps), or one
// it does not wait for (window-synchronised events).

#include <QObject>

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

}  // namespace tandrel::console
