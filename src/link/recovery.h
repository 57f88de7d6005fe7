#pragma once
// The way back after a port fault (a failed write, or the line lost under an open port): the
// port device is switched off and on, and once the device port opens again the link and the
// job come back. Plain logic driven by the main window: notices and ticks in, actions out.
//
// The platform's removal notice may never come (switching needs rights an operator's account
// often lacks, and some systems list no port devices), so after a failed switch, or when no
// removal notice has come within RemovalWait, the machine reopens the port itself every
// ReopenInterval; it also reopens after an arrival notice. The arrival steps run only once the
// device port has really opened again. All calls on the main thread.

#include <chrono>
#include <functional>

namespace tandrel::link {

class TRecovery {
  public:
    using Clock = std::chrono::steady_clock;

    struct Actions {
        // Switches the device port's device on or off; false when the system refused.
        std::function<bool(bool on)> SetPortDeviceEnabled;
        // Tries to open a new device port; true when it is open.
        std::function<bool()> ReopenDevicePort;
        // A new handshake, the manual entry emptied, the list reloaded.
        std::function<void()> RunArrivalSteps;
    };

    struct Intervals {
        std::chrono::milliseconds RemovalWait{3000};
        std::chrono::milliseconds ReopenInterval{2000};
    };

    TRecovery(Actions actions, Intervals intervals);

    // The fault: DeviceArrivalPending is set and the device is switched off. The caller has
    // already released the device port.
    void Fault(Clock::time_point now);

    // Platform notices about port devices.
    void RemovalNotice(Clock::time_point now);
    void ArrivalNotice(Clock::time_point now);

    // Ends a recovery in progress without reopening (the port is given up for another); the
    // device is switched back on in case it went off.
    void End();

    // Lets the waits run out; call at least every ReopenInterval while Pending().
    void Tick(Clock::time_point now);

    // DeviceArrivalPending: set from the fault until the port has opened again.
    bool Pending() const { return pending_; }
    // When Tick next has something to do; Clock::time_point::max() when nothing waits.
    Clock::time_point NextDeadline() const;

  private:
    void TryReopen(Clock::time_point now);

    Actions actions_;
    Intervals intervals_;
    bool pending_ = false;
    bool reopening_ = false;  // reopen attempts due at nextAttempt_
    Clock::time_point removalDeadline_ = Clock::time_point::max();
    Clock::time_point nextAttempt_ = Clock::time_point::max();
};

}  // namespace tandrel::link
