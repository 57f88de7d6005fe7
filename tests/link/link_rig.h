#pragma once
// The device link over a real pseudo-terminal: a TBComPort on the slave through TDevicePort, the
// handshake and the dispatcher as the program runs them, the test thread as the main thread, and
// a scripted device on the master.

#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "device_peer.h"
#include "link/device_port.h"
#include "link/drayver.h"
#include "link_harness.h"
#include "serial/executor.h"

namespace tandrel::link::testing {

// The main window's side: writes go to the device port; the handshake's main-thread calls fill
// the fake view.
class TPortView : public TFakeView {
  public:
    explicit TPortView(TLinkData& link) : link_(link) {}
    void WriteDevice(const std::string& text) override {
        TFakeView::WriteDevice(text);
        link::WriteDevice(link_, text);
    }

  private:
    TLinkData& link_;
};

struct TLinkRig {
    TLinkRig() { SetDecimalSeparator(','); }
    ~TLinkRig() {
        link.HandshakeThread.reset();
        port.Release();
        SetDecimalSeparator('.');
    }

    THandshakeHooks Hooks() {
        THandshakeHooks h;
        h.Write = [this](const std::string& request) { link::WriteDevice(link, request); };
        h.Post = [this](std::function<void()> fn) { main.Post(std::move(fn)); };
        h.ShowDeviceData = [this] {
            ++shown;
            const auto t = DeviceTexts(link, ',');
            view.SetCurrentPositionField(t.Position);
            view.SetPositionDisplay(t.Position);
        };
        h.ShowReady = [this] { ++ready; };
        h.AppException = [this](std::exception_ptr e) { errors.push_back(e); };
        h.Notice = [this](const std::string& text, bool) { notices.push_back(text); };
        h.ResendInterval = resend;
        return h;
    }
    void Start() { StartHandshake(link, Hooks()); }
    // The handshake has shown its starting values and waits for the first ping.
    bool Waiting() { return ready >= 1 && link.LinkState.load() == kAwaitingPing; }
    bool Linked() {
        return link.LinkState.load() == kLinked && link.HandshakeThread &&
               !link.HandshakeThread->Running();
    }
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return main.RunUntil(done, timeout);
    }
    // Starts the handshake on the open port and sends the first ping.
    bool LinkUp() {
        Start();
        if (!RunUntil([&] { return Waiting(); })) return false;
        peer.Send("P");
        return RunUntil([&] { return Linked(); });
    }

    // The requests the device has seen, once there are at least count of them (or after 2 s).
    std::vector<std::string> Seen(std::size_t count) {
        peer.WaitRequests(count, std::chrono::seconds(2));
        return peer.Requests();
    }

    serial::TQueueExecutor main;  // constructed on the test thread: that is the main thread
    TLinkData link;
    TPortView view{link};
    TDevicePeer peer;
    std::vector<std::exception_ptr> errors;
    TDevicePort port{link, view, main, [this](std::exception_ptr e) { errors.push_back(e); }};
    std::chrono::milliseconds resend{2000};
    int shown = 0, ready = 0;
    std::vector<std::string> notices;
};

}  // namespace tandrel::link::testing
