// The serial backend on Win32: an overlapped handle on "\\.\" + name, the device control block,
// the time-out record, and WaitCommEvent for the event thread.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "serial/BCPort.h"
#include "serial/backend.h"
#include "serial/dcb_win.h"

namespace tandrel::serial::detail {

namespace {

// A manual-reset event, closed with its owner.
class TEvent {
  public:
    explicit TEvent(bool signalled) : handle_(::CreateEventA(nullptr, TRUE, signalled, nullptr)) {}
    ~TEvent() {
        if (handle_) ::CloseHandle(handle_);
    }
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;
    HANDLE Get() const { return handle_; }

  private:
    HANDLE handle_;
};

struct TWinRequest final : TRequestState {
    TWinRequest() {
        ZeroMemory(&overlapped, sizeof overlapped);
        overlapped.hEvent = event.Get();
    }
    TEvent event{true};
    OVERLAPPED overlapped;
};

// Consecutive failed waits after which the line counts as gone: a pulled adapter makes every
// wait fail at once, and waiting again would only spin.
constexpr int kFailuresUntilLost = 3;

class TWinBackend final : public TPortBackend, public std::enable_shared_from_this<TWinBackend> {
  public:
    ~TWinBackend() override { Close(); }

    TOpenResult Open(const std::string& name) override {
        const std::string device = WinDevicePath(name);
        handle_ = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE) return TOpenResult::kOpened;
        switch (::GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
                return TOpenResult::kNotFound;
            case ERROR_ACCESS_DENIED:
                return TOpenResult::kBusy;
            default:
                return TOpenResult::kOther;
        }
    }

    void Close() override {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    HANDLE Handle() const { return handle_; }

    bool SetupComm(std::int32_t inSize, std::int32_t outSize) override {
        return ::SetupComm(handle_, static_cast<DWORD>(inSize), static_cast<DWORD>(outSize));
    }

    bool SetCommState(const TLineSettings& s) override {
        DCB dcb = DeviceControlBlock(s);
        return ::SetCommState(handle_, &dcb);
    }

    bool SetCommTimeouts(const TTimeoutValues& t) override {
        COMMTIMEOUTS record{t.readInterval, t.readTotalMultiplier, t.readTotalConstant,
                            t.writeTotalMultiplier, t.writeTotalConstant};
        return ::SetCommTimeouts(handle_, &record);
    }

    bool SetCommMask(std::uint32_t mask) override { return ::SetCommMask(handle_, mask); }

    bool EscapeCommFunction(TEscape function) override {
        return ::EscapeCommFunction(handle_, static_cast<DWORD>(function));
    }

    bool PurgeComm(std::uint32_t flags) override { return ::PurgeComm(handle_, flags); }

    bool ClearCommError(TCommStatus& result) override {
        DWORD flags = 0;
        COMSTAT status;
        ZeroMemory(&status, sizeof status);
        if (!::ClearCommError(handle_, &flags, &status)) return false;
        result.errors = flags;
        result.inQueue = status.cbInQue;
        result.outQueue = status.cbOutQue;
        return true;
    }

    bool GetCommModemStatus(std::uint32_t& status) override {
        DWORD bits = 0;
        if (!::GetCommModemStatus(handle_, &bits)) return false;
        status = bits;
        return true;
    }

    std::unique_ptr<TRequestState> NewRequestState() override {
        return std::make_unique<TWinRequest>();
    }

    bool StartWrite(TRequestState& state, const char* data, std::int32_t count,
                    std::int32_t& done) override {
        auto& r = static_cast<TWinRequest&>(state);
        DWORD n = 0;
        if (::WriteFile(handle_, data, static_cast<DWORD>(count), &n, &r.overlapped)) {
            done = static_cast<std::int32_t>(n);
            return true;
        }
        done = 0;
        return ::GetLastError() == ERROR_IO_PENDING;
    }

    bool StartRead(TRequestState& state, char* buffer, std::int32_t count,
                   std::int32_t& done) override {
        auto& r = static_cast<TWinRequest&>(state);
        DWORD n = 0;
        if (::ReadFile(handle_, buffer, static_cast<DWORD>(count), &n, &r.overlapped)) {
            done = static_cast<std::int32_t>(n);
            return true;
        }
        done = 0;
        return ::GetLastError() == ERROR_IO_PENDING;
    }

    bool AwaitRequest(TRequestState& state, std::int32_t& count) override {
        auto& r = static_cast<TWinRequest&>(state);
        count = 0;
        if (::WaitForSingleObject(r.event.Get(), INFINITE) != WAIT_OBJECT_0) return false;
        DWORD n = 0;
        if (!::GetOverlappedResult(handle_, &r.overlapped, &n, FALSE)) return false;
        count = static_cast<std::int32_t>(n);
        return true;
    }

    std::unique_ptr<TEventWaiter> NewEventWaiter() override;

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class TWinWaiter final : public TEventWaiter {
  public:
    explicit TWinWaiter(std::shared_ptr<TWinBackend> backend) : backend_(std::move(backend)) {
        ZeroMemory(&overlapped_, sizeof overlapped_);
        overlapped_.hEvent = waitEvent_.Get();
    }

    ~TWinWaiter() override {
        // The system still writes into our record while a wait is pending: end it first.
        if (!pending_) return;
        ::SetCommMask(backend_->Handle(), 0);
        if (::WaitForSingleObject(waitEvent_.Get(), 1000) != WAIT_OBJECT_0) {
            ::CancelIoEx(backend_->Handle(), &overlapped_);
            ::WaitForSingleObject(waitEvent_.Get(), 1000);
        }
    }

    TWaitResult Wait(std::uint32_t& mask) override {
        const HANDLE handle = backend_->Handle();
        if (!pending_) {
            mask_ = 0;
            if (!::WaitCommEvent(handle, &mask_, &overlapped_) &&
                ::GetLastError() != ERROR_IO_PENDING)
                return Failed();
            pending_ = true;
        }
        const HANDLE list[2] = {quit_.Get(), waitEvent_.Get()};
        const DWORD r = ::WaitForMultipleObjects(2, list, FALSE, INFINITE);
        if (r != WAIT_OBJECT_0 + 1) return TWaitResult::kStopped;
        pending_ = false;
        DWORD n = 0;
        if (!::GetOverlappedResult(handle, &overlapped_, &n, FALSE)) return Failed();
        // A wait that ends with no event (the mask was changed) does not count as working.
        if (mask_ == 0) return Failed();
        failures_ = 0;
        mask = mask_;
        return TWaitResult::kEvents;
    }

    void WaitForStop() override { ::WaitForSingleObject(quit_.Get(), INFINITE); }
    void Stop() override { ::SetEvent(quit_.Get()); }

  private:
    TWaitResult Failed() {
        if (++failures_ >= kFailuresUntilLost) return TWaitResult::kLost;
        if (::WaitForSingleObject(quit_.Get(), 0) == WAIT_OBJECT_0) return TWaitResult::kStopped;
        return TWaitResult::kNothing;
    }

    std::shared_ptr<TWinBackend> backend_;
    TEvent quit_{false};
    TEvent waitEvent_{true};
    OVERLAPPED overlapped_;
    DWORD mask_ = 0;
    bool pending_ = false;
    int failures_ = 0;
};

std::unique_ptr<TEventWaiter> TWinBackend::NewEventWaiter() {
    return std::make_unique<TWinWaiter>(shared_from_this());
}

}  // namespace

DCB DeviceControlBlock(const TLineSettings& s) {
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;  // 28
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = s.byteSize;
    dcb.Parity = s.parity;
    dcb.StopBits = s.stopBits;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    // Flags word 0x1011, or 0x1013 with parity: binary, DTR and RTS raised, nothing else. No
    // flow control: a device that does not drive CTS or DSR would hold every write until its
    // time-out.
    dcb.fBinary = 1;
    dcb.fParity = s.parity != 0 ? 1 : 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    return dcb;
}

std::shared_ptr<TPortBackend> TPortBackend::Create() {
    return std::make_shared<TWinBackend>();
}

}  // namespace tandrel::serial::detail
