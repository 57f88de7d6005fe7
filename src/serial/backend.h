#pragma once
// The one interface between TBComPort and the system's serial calls. BCPort_posix.cpp and
// BCPort_win.cpp implement it; CMake builds one of them. The backend only talks to the system:
// every check, setting and message lives in the front (BCPort.cpp).

#include <cstdint>
#include <memory>
#include <string>

namespace tandrel::serial::detail {

enum class TOpenResult { kOpened, kNotFound, kBusy, kOther };

struct TLineSettings {
    std::uint32_t baudRate;  // bits per second
    std::uint8_t byteSize;   // 5..8
    std::uint8_t parity;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits;   // 0 one, 1 one and a half, 2 two
};

// The system's time-out record; 0xFFFFFFFF is "maximum".
struct TTimeoutValues {
    std::uint32_t readInterval, readTotalMultiplier, readTotalConstant;
    std::uint32_t writeTotalMultiplier, writeTotalConstant;
};

// Purge flags and escape codes with the system's values.
inline constexpr std::uint32_t kPurgeTxAbort = 0x1, kPurgeRxAbort = 0x2, kPurgeTxClear = 0x4,
                               kPurgeRxClear = 0x8;
enum class TEscape { kSetRts = 3, kClrRts = 4, kSetDtr = 5, kClrDtr = 6 };
// Modem status bits and error flags with the system's values.
inline constexpr std::uint32_t kMsCtsOn = 0x10, kMsDsrOn = 0x20, kMsRingOn = 0x40, kMsRlsdOn = 0x80;

struct TCommStatus {
    std::uint32_t errors = 0;  // the system's CE_ flags
    std::uint32_t inQueue = 0;
    std::uint32_t outQueue = 0;
};

class TPortBackend;

// The system's part of one overlapped request.
class TRequestState {
  public:
    virtual ~TRequestState();
    std::shared_ptr<TPortBackend> owner;  // the opening the request was started on
};

enum class TWaitResult {
    kEvents,   // mask holds what occurred
    kNothing,  // a pass that delivers nothing (a failed wait that may recover)
    kStopped,  // Stop() was called
    kLost,     // the line is gone: waiting again would fail again at once
};

// Waits for the port's events on the event thread; Stop() may come from any thread.
class TEventWaiter {
  public:
    virtual ~TEventWaiter();
    virtual TWaitResult Wait(std::uint32_t& mask) = 0;
    virtual void WaitForStop() = 0;  // blocks until Stop()
    virtual void Stop() = 0;
};

class TPortBackend {
  public:
    static std::shared_ptr<TPortBackend> Create();
    virtual ~TPortBackend();  // closes what is still open

    virtual TOpenResult Open(const std::string& name) = 0;
    virtual void Close() = 0;

    // Each returns false when the system call fails.
    virtual bool SetupComm(std::int32_t inSize, std::int32_t outSize) = 0;
    virtual bool SetCommState(const TLineSettings& settings) = 0;
    virtual bool SetCommTimeouts(const TTimeoutValues& timeouts) = 0;
    virtual bool SetCommMask(std::uint32_t mask) = 0;
    virtual bool EscapeCommFunction(TEscape function) = 0;
    virtual bool PurgeComm(std::uint32_t flags) = 0;
    // The line error flags (cleared by the call) and the bytes in the input and output queues.
    virtual bool ClearCommError(TCommStatus& status) = 0;
    virtual bool GetCommModemStatus(std::uint32_t& status) = 0;

    virtual std::unique_ptr<TRequestState> NewRequestState() = 0;
    // Start a transfer: false when it did not start; done = bytes moved so far.
    virtual bool StartWrite(TRequestState& request, const char* data, std::int32_t count,
                            std::int32_t& done) = 0;
    virtual bool StartRead(TRequestState& request, char* buffer, std::int32_t count,
                           std::int32_t& done) = 0;
    // Waits for the transfer to finish: false when it failed; count = bytes moved.
    virtual bool AwaitRequest(TRequestState& request, std::int32_t& count) = 0;

    virtual std::unique_ptr<TEventWaiter> NewEventWaiter() = 0;
};

}  // namespace tandrel::serial::detail
