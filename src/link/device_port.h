#pragma once
// The device port: a TBComPort with the device line's settings on the port named by the
// settings, its received characters going to ComPortRxChar on the main thread. When it cannot be
// opened (no port set, no such port, port busy) it says why and tries again every
// kRetryInterval, so that a device plugged in later links up without a restart.

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "link/dispatcher.h"
#include "link/link_state.h"

namespace tandrel::serial {
class TMainThreadExecutor;
}

namespace tandrel::link {

// Writes to the device port in link.DevicePort. With no port open nothing is sent and nothing is
// raised (returns false); otherwise raises what WriteText raises. Any thread.
bool WriteDevice(TLinkData& link, std::string_view text);

class TDevicePort {
  public:
    static constexpr std::chrono::milliseconds kRetryInterval{2000};

    // appException: the application-wide handler; whatever ComPortRxChar raises reaches it as a
    // queued call on mainThread, after the delivery has returned. All of it must outlive this.
    TDevicePort(TLinkData& link, TLinkView& view, serial::TMainThreadExecutor& mainThread,
                std::function<void(std::exception_ptr)> appException);
    ~TDevicePort();  // stops retrying, closes and releases the port
    TDevicePort(const TDevicePort&) = delete;
    TDevicePort& operator=(const TDevicePort&) = delete;

    // Opens the port of that name into link.DevicePort; empty: none set. On failure keeps the
    // reason and tries again every RetryInterval until it opens or Release is called.
    // Returns true when open. Main thread; never raises.
    bool Open(const std::string& portName);
    // Closes the port and forgets it; no more retries until the next Open. Main thread.
    void Release();

    bool IsOpen() const;
    // "COM порт": the port's name, and while it is not open why not.
    std::string PortFieldText() const;
    // Runs on the main thread after each attempt to open (true: it opened). May be empty.
    std::function<void(bool open)> OnStateChanged;

    // Shorter retries for tests.
    std::chrono::milliseconds RetryInterval = kRetryInterval;

  private:
    struct TRetry;
    bool TryOpen();
    void StartRetrying();
    void StopRetrying();

    TLinkData& link_;
    TLinkView& view_;
    serial::TMainThreadExecutor& main_;
    std::function<void(std::exception_ptr)> appException_;
    std::string name_;
    std::string reason_;
    std::unique_ptr<TRetry> retry_;
};

}  // namespace tandrel::link
