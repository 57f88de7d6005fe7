#pragma once
// Whether a linked device has gone quiet: with the cable pulled at the device's end the port
// stays, nothing fails and nothing arrives. Silent is nothing received for kMinimum or
// kPingIntervals of the device's ping interval, whichever is longer; the interval is measured
// over the pings seen since the handshake began.

#include <chrono>

namespace tandrel::link {

class TSilenceWatch {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kMinimum{3000};
    static constexpr int kPingIntervals = 6;

    // A handshake begins: the interval is measured afresh. Main thread.
    void Restart();
    // A ping arrived. Main thread (the dispatcher).
    void Ping(Clock::time_point at);
    // How long nothing may come before the device counts as silent.
    Clock::duration Limit() const;
    // lastArrival: when the port's event thread last received bytes.
    bool Silent(Clock::time_point lastArrival, Clock::time_point now) const {
        return now - lastArrival > Limit();
    }

  private:
    Clock::time_point first_{};
    Clock::time_point last_{};
    long pings_ = 0;
};

}  // namespace tandrel::link
