#include "link/recovery.h"

#include <algorithm>

namespace tandrel::link {

TRecovery::TRecovery(Actions actions, Intervals intervals)
    : actions_(std::move(actions)), intervals_(intervals) {}

void TRecovery::Fault(Clock::time_point now) {
    if (pending_) return;  // one recovery at a time: the one running brings the port back
    pending_ = true;
    reopening_ = false;
    nextAttempt_ = Clock::time_point::max();
    removalDeadline_ = now + intervals_.RemovalWait;
    if (!actions_.SetPortDeviceEnabled(false)) {
        removalDeadline_ = Clock::time_point::max();
        reopening_ = true;
        nextAttempt_ = now + intervals_.ReopenInterval;
    }
}

void TRecovery::RemovalNotice(Clock::time_point now) {
    if (!pending_) return;
    removalDeadline_ = Clock::time_point::max();
    actions_.SetPortDeviceEnabled(true);
    // The arrival notice may never come either: keep trying to open the port.
    if (!reopening_) {
        reopening_ = true;
        nextAttempt_ = now + intervals_.ReopenInterval;
    }
}

void TRecovery::ArrivalNotice(Clock::time_point now) {
    if (!pending_) return;
    removalDeadline_ = Clock::time_point::max();
    TryReopen(now);
}

void TRecovery::Tick(Clock::time_point now) {
    if (!pending_) return;
    if (now >= removalDeadline_) {
        removalDeadline_ = Clock::time_point::max();
        // No removal notice: switch the device back on in case it did go off, and reopen.
        actions_.SetPortDeviceEnabled(true);
        TryReopen(now);
        return;
    }
    if (reopening_ && now >= nextAttempt_) TryReopen(now);
}

void TRecovery::TryReopen(Clock::time_point now) {
    if (actions_.ReopenDevicePort()) {
        pending_ = false;
        reopening_ = false;
        nextAttempt_ = Clock::time_point::max();
        actions_.RunArrivalSteps();
        return;
    }
    reopening_ = true;
    nextAttempt_ = now + intervals_.ReopenInterval;
}

void TRecovery::End() {
    if (!pending_) return;
    pending_ = false;
    reopening_ = false;
    removalDeadline_ = Clock::time_point::max();
    nextAttempt_ = Clock::time_point::max();
    actions_.SetPortDeviceEnabled(true);
}

TRecovery::Clock::time_point TRecovery::NextDeadline() const {
    if (!pending_) return Clock::time_point::max();
    return std::min(removalDeadline_, reopening_ ? nextAttempt_ : Clock::time_point::max());
}

}  // namespace tandrel::link
