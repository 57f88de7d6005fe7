#pragma once
// The handshake thread: puts the device values to their starting values, waits for the device's
// first ping and asks for serial number, limits, precision, firmware version and position, one
// request after each reply, then sends the status request and marks the link up.
//
// It sleeps on TLinkData::Changed while it waits, resends a request that got no answer within
// ResendInterval up to MaxResends times and then starts over from the first ping, and starts over
// too when a reply cannot be read. Everything that touches a window runs on the main thread
// through Post while the thread waits; a stop makes that wait give up, so stopping never
// deadlocks, not even while the main thread is busy.

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "link/link_state.h"

namespace tandrel::link {

struct THandshakeHooks {
    // Writes a request to the device port; called on the handshake thread. May raise: the error
    // ends the handshake and goes to AppException.
    std::function<void(const std::string&)> Write;
    // Queues a call for the main thread and returns at once (bind to the main-thread executor).
    std::function<void(std::function<void()>)> Post;
    // Run on the main thread while the handshake waits. ShowDeviceData fills the information
    // window and Edit1 from DeviceTexts(); ShowReady shows BitBtn1 and sets the title.
    std::function<void()> ShowDeviceData;
    std::function<void()> ShowReady;
    // Main thread, just before ShowDeviceData once the position has come: Distance := 0,
    // MoveCount := 0, LastAutoTarget := position. May be empty.
    std::function<void(double position)> ResetAutoTest;
    // Main thread, queued: an error raised by Write or by a main-thread call.
    std::function<void(std::exception_ptr)> AppException;
    // Main thread, queued: a line for the status line (fault: something went wrong). May be empty.
    std::function<void(const std::string& text, bool fault)> Notice;
    // The starting serial number; LocalTimeText() when empty.
    std::function<std::string()> Now;

    std::chrono::milliseconds ResendInterval{1000};
    int MaxResends = 3;
};

class drayver {
  public:
    // Starts the thread at once, one step below normal priority.
    drayver(TLinkData& link, THandshakeHooks hooks);
    // Stops and joins.
    ~drayver();
    drayver(const drayver&) = delete;
    drayver& operator=(const drayver&) = delete;

    // Tells the thread to stop and waits for it to end; a main-thread call it is waiting for is
    // abandoned, one already running is waited for. Any thread; from inside the handshake's own
    // main-thread call it does not wait (the thread ends by itself as soon as that call returns).
    void Stop();
    // True until the body has returned (link up, stopped, or ended by an error).
    bool Running() const;

    struct TState;

  private:
    std::shared_ptr<TState> state_;
};

// Stops the handshake in link.HandshakeThread, if any, then starts a new one there.
// Main thread.
void StartHandshake(TLinkData& link, THandshakeHooks hooks);

}  // namespace tandrel::link
