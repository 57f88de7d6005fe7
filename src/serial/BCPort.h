#pragma once
// TBComPort: one serial port of the machine. It keeps its settings while closed and applies them
// when it opens (and at once while open), writes and reads byte strings, and runs an event thread
// that reports what happens on the line through the On... handlers.
//
// Threads: the owning thread (the main thread) constructs, opens, closes, destroys and sets
// properties. WriteText may also be called from any other thread; concurrent writes never
// interleave. Handlers run on the main thread (smThreadSync, smWindowSync) or on the event
// thread (smNone). Every failure raises EComPort with one of the fixed messages below.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "serial/executor.h"

// <windows.h> (winspool) makes SetPort a macro for SetPortA/SetPortW, which would rename the
// member below in some files and not in others.
#ifdef SetPort
#undef SetPort
#endif

namespace tandrel::serial {

// The ordinals are the stored values.
enum TBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TByteSize : std::uint8_t { bs5, bs6, bs7, bs8 };
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sb1, sb1_5, sb2 };
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

// Bits per second of a TBaudRate.
std::uint32_t BaudRateValue(TBaudRate rate);

// A one-byte set of enumeration members (bit n = member with ordinal n).
template <typename E>
class TSet {
  public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> members) {
        for (E m : members) Include(m);
    }
    static constexpr TSet FromBits(std::uint8_t bits) {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr void Include(E m) { bits_ = static_cast<std::uint8_t>(bits_ | (1u << m)); }
    constexpr bool Contains(E m) const { return (bits_ >> m) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint8_t Bits() const { return bits_; }
    friend constexpr bool operator==(TSet, TSet) = default;

  private:
    std::uint8_t bits_ = 0;
};

enum TComError : std::uint8_t {
    ceFrame,
    ceRxParity,
    ceOverrun,
    ceBreak,
    ceIO,
    ceMode,
    ceRxOver,
    ceTxFull
};
using TComErrors = TSet<TComError>;

// The line error flags of the system's error report as TComErrors; a parity error counts only
// with parity on.
TComErrors ComErrorsFromFlags(std::uint32_t flags, TParity parity);

// The port events in delivery-set order, with the system event bits they stand for.
enum TComEvent : std::uint8_t {
    evRxChar,
    evTxEmpty,
    evRing,
    evCTS,
    evDSR,
    evRLSD,
    evError,
    evRx80Full
};
using TComEvents = TSet<TComEvent>;
inline constexpr std::uint32_t kAllEventsMask = 0x05BD;
TComEvents ComEventsFromMask(std::uint32_t mask);

enum TModemSignal : std::uint8_t { msCTS, msDSR, msRing, msRLSD };
using TModemSignals = TSet<TModemSignal>;

// A Windows-1251 message from the fixed list; what() is the message.
class EComPort : public tandrel::Exception {
  public:
    using Exception::Exception;
};

class TBComPort;

// The five serial time-outs in milliseconds; a negative value means "maximum" (0xFFFFFFFF).
// Owned by a port, each change applies to the open port at once.
class TComTimeouts {
  public:
    TComTimeouts() = default;                 // without a port: the setters only store
    TComTimeouts(const TComTimeouts& other);  // the values, no port
    TComTimeouts& operator=(const TComTimeouts&) = delete;

    std::int32_t ReadInterval() const { return values_[0]; }
    std::int32_t ReadTotalMultiplier() const { return values_[1]; }
    std::int32_t ReadTotalConstant() const { return values_[2]; }
    std::int32_t WriteTotalMultiplier() const { return values_[3]; }
    std::int32_t WriteTotalConstant() const { return values_[4]; }
    void SetReadInterval(std::int32_t value) { Set(0, value); }
    void SetReadTotalMultiplier(std::int32_t value) { Set(1, value); }
    void SetReadTotalConstant(std::int32_t value) { Set(2, value); }
    void SetWriteTotalMultiplier(std::int32_t value) { Set(3, value); }
    void SetWriteTotalConstant(std::int32_t value) { Set(4, value); }

    // Copies the five values into dest; applies nothing.
    void AssignTo(TComTimeouts& dest) const;
    TBComPort* Port() const { return port_; }

  private:
    friend class TBComPort;
    void Set(int index, std::int32_t value);

    TBComPort* port_ = nullptr;
    std::int32_t values_[5] = {-1, 0, 0, 100, 1000};
};

namespace detail {
class TPortBackend;
class TRequestState;
struct TThreadShared;
}  // namespace detail

// One overlapped read or write; see NewRequest.
struct TAsyncRequest {
    enum Kind : std::uint8_t { kWrite = 0, kRead = 1 };
    TAsyncRequest();
    ~TAsyncRequest();
    TAsyncRequest(const TAsyncRequest&) = delete;
    TAsyncRequest& operator=(const TAsyncRequest&) = delete;

    Kind kind = kWrite;
    std::unique_ptr<char[]> data;  // the write's own copy of its bytes
    std::int32_t dataSize = 0;
    std::unique_ptr<detail::TRequestState> system;  // the system's record, made at first use
};

// The event thread of one opening. Created and stopped by the port only.
class TComThread {
  public:
    ~TComThread();  // stops the thread (or lets it end by itself, see ClosePort)
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;
    // The events of the last completed wait. Meaningful during a delivery.
    TComEvents Events() const;
    // When the event thread last saw bytes arrive (the opening's time before the first).
    std::chrono::steady_clock::time_point LastArrival() const;

  private:
    friend class TBComPort;
    explicit TComThread(std::shared_ptr<detail::TThreadShared> shared);
    std::shared_ptr<detail::TThreadShared> shared_;
};

class TBComPort {
  public:
    // mainThread: where smThreadSync and smWindowSync deliver; nullptr takes DefaultExecutor()
    // at each OpenPort. With neither, handlers run on the event thread as under smNone.
    explicit TBComPort(TMainThreadExecutor* mainThread = nullptr);
    ~TBComPort();  // closes the port; never throws
    TBComPort(const TBComPort&) = delete;
    TBComPort& operator=(const TBComPort&) = delete;

    // Line settings: stored; applied at once while open ("Ошибка функции SetCommState").
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    // Driver buffer sizes; a positive odd value is stored one less ("Ошибка функции SetupComm").
    std::int32_t InBufSize() const { return inBufSize_; }
    void SetInBufSize(std::int32_t value);
    std::int32_t OutBufSize() const { return outBufSize_; }
    void SetOutBufSize(std::int32_t value);
    // The port's name: COM1... on Windows, a device path on Linux. Raises "Нельзя менять
    // свойство, пока порт открыт" while open, even for the same name.
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    // Raises "Нельзя менять свойство, пока порт открыт" when it would change while open.
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);
    TComTimeouts& Timeouts() { return timeouts_; }
    const TComTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts& value);  // copies the values, then ApplyTimeouts
    bool IsOpen() const;
    TMainThreadExecutor* MainThread() const { return mainThread_; }
    // When bytes last arrived, as the event thread saw them come; the time of the opening before
    // the first; a default time point while closed. Owning thread.
    std::chrono::steady_clock::time_point LastArrival() const;

    // Events (see SyncMethod for the thread). A handler may close or destroy the port.
    std::function<void(TBComPort&, bool)> OnCTSChange;
    std::function<void(TBComPort&, bool)> OnDSRChange;
    std::function<void(TBComPort&, TComErrors)> OnError;
    std::function<void(TBComPort&)> OnRing;
    std::function<void(TBComPort&, bool)> OnRLSDChange;
    std::function<void(TBComPort&)> OnRx80Full;
    std::function<void(TBComPort&, std::int32_t)> OnRxChar;  // Count: bytes waiting, > 0
    std::function<void(TBComPort&)> OnTxEmpty;
    // The line went away under the open port (adapter pulled, far end closed, or the port's own
    // queue or line query failing inside a delivery). Raised once per opening, on the same path
    // as the other events; the event thread then raises nothing more.
    // The port stays open; writes raise "Ошибка записи в порт" until it is closed and reopened.
    std::function<void(TBComPort&)> OnLineLost;

    // Opens the port, applies every setting, starts the event thread; true when open (also when
    // it already was). Raises "Попытка открыть несуществующий COM-порт", "Порт занят другой
    // программой" or a settings message, and then leaves the port closed.
    bool OpenPort();
    // Waits until the driver's output queue has drained (at most as long as a write of what it
    // holds may take by the write time-outs), so that the purge at the close cuts nothing off;
    // then drops DTR and RTS, aborts transfers, stops the event thread, closes the port. Every
    // step runs even when one fails; the port is closed afterwards in any case and the first
    // failure is then raised. Called from a handler, the event thread ends once that delivery
    // returns.
    bool ClosePort();
    // Writes the whole text and waits (bounded by the write time-outs); returns its length.
    // "Ошибка записи в порт" when the write fails or ends short. Any thread.
    std::int32_t WriteText(std::string_view text);
    // Reads up to count bytes into text (its length becomes the count read) and returns the
    // count; with the initial time-outs it returns at once. "Ошибка чтения из порта".
    std::int32_t ReadText(std::string& text, std::int32_t count);
    std::int32_t InputCount();     // bytes waiting; "Ошибка функции ClearCommError"
    TModemSignals ModemSignals();  // "Ошибка функции GetCommModemStatus"
    void SetDtr(bool on);          // "Ошибка функции EscapeCommFunction"
    void SetRts(bool on);
    void AbortIo();  // "Ошибка функции PurgeComm"
    void ApplyBuffers();
    void ApplyLineSettings();
    void ApplyTimeouts();

    // Overlapped transfers. A request is owned by its creator; a started one must be awaited
    // before it is freed. Given no request they raise "Недопустимый параметр Async".
    void NewRequest(std::unique_ptr<TAsyncRequest>& request);
    void FreeRequest(std::unique_ptr<TAsyncRequest>& request);
    // Return the bytes moved so far (0 while pending). A write works from its own copy.
    std::int32_t StartWrite(const void* buffer, std::int32_t count, TAsyncRequest* request);
    std::int32_t StartWriteText(std::string_view text, TAsyncRequest* request);
    std::int32_t StartRead(void* buffer, std::int32_t count, TAsyncRequest* request);
    std::int32_t StartReadText(std::string& text, std::int32_t count, TAsyncRequest* request);
    // Waits for the request; returns the bytes moved. A write that moved fewer bytes than asked
    // raises "Ошибка записи в порт".
    std::int32_t AwaitRequest(TAsyncRequest* request);

  private:
    friend struct detail::TThreadShared;
    std::shared_ptr<detail::TPortBackend> Backend() const;
    bool DrainOutput();  // true once nothing is left to send
    void Purge(std::uint32_t flags);

    TBaudRate baudRate_ = br9600;
    TByteSize byteSize_ = bs8;
    std::int32_t inBufSize_ = 2048;
    std::int32_t outBufSize_ = 2048;
    TParity parity_ = paNone;
    std::string port_ = "COM2";
    TStopBits stopBits_ = sb1;
    TSyncMethod syncMethod_ = smThreadSync;
    TComTimeouts timeouts_;
    TMainThreadExecutor* const ownExecutor_;
    TMainThreadExecutor* mainThread_ = nullptr;

    mutable std::mutex backendLock_;  // guards backend_ and isOpen_ for WriteText's threads
    std::shared_ptr<detail::TPortBackend> backend_;
    bool isOpen_ = false;
    std::unique_ptr<TComThread> thread_;
    std::mutex writeLock_;  // one WriteText on the line at a time
};

// A Windows port's name as the system lists it: "COM3" for "COM3:", "com3" (letter case kept) and
// "\\.\COM3". Any platform.
std::string SystemPortName(std::string_view name);
// The device a Windows port opens: "\\.\" and its SystemPortName. Any platform.
std::string WinDevicePath(std::string_view name);

// Fills target with the names of the machine's serial ports, sorted ignoring case, replacing
// what it held. "Ошибка обращения к системному реестру" when the list cannot be read; target is
// then unchanged. Any thread.
void ListSerialPorts(std::vector<std::string>& target);
#ifndef _WIN32
// Linux: tty devices under <sysRoot>/class/tty with a real device behind them (no virtual
// consoles, no 8250 port without a UART) as <devRoot>/<name>, plus the links in
// <devRoot>/serial/by-id.
void ListSerialPorts(std::vector<std::string>& target, const std::filesystem::path& sysRoot,
                     const std::filesystem::path& devRoot);
#endif

}  // namespace tandrel::serial
