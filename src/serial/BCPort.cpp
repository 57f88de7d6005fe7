// The front of the serial component: settings and their rules, the open/close transaction, the
// synchronous operations on top of the overlapped ones, and the event thread with its delivery.
// The system calls are behind detail::TPortBackend.

#include "serial/BCPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <thread>

#include "base/cp1251.h"
#include "serial/backend.h"

namespace tandrel::serial {

using detail::TPortBackend;

namespace {

[[noreturn]] void Raise(const char* utf8) {
    throw EComPort(Utf8ToCp1251(utf8));
}

const char* const kNotFound = "Попытка открыть несуществующий COM-порт";
const char* const kBusy = "Порт занят другой программой";
const char* const kWriteFailed = "Ошибка записи в порт";
const char* const kReadFailed = "Ошибка чтения из порта";
const char* const kBadAsync = "Недопустимый параметр Async";
const char* const kLocked = "Нельзя менять свойство, пока порт открыт";

std::uint32_t DriverTimeout(std::int32_t value) {
    return value < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

}  // namespace

std::string SystemPortName(std::string_view name) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (name.starts_with(kDevicePrefix)) name.remove_prefix(kDevicePrefix.size());
    // "COM3:" is how DOS named the port; the device has no colon.
    if (name.ends_with(':')) name.remove_suffix(1);
    return std::string(name);
}

std::string WinDevicePath(std::string_view name) {
    return "\\\\.\\" + SystemPortName(name);
}

std::uint32_t BaudRateValue(TBaudRate rate) {
    static constexpr std::uint32_t kRates[] = {110,   300,   600,    1200,   2400,
                                               4800,  9600,  14400,  19200,  38400,
                                               56000, 57600, 115200, 128000, 256000};
    return rate < std::size(kRates) ? kRates[rate] : 9600;
}

TComErrors ComErrorsFromFlags(std::uint32_t flags, TParity parity) {
    TComErrors errors;
    if (flags & 0x0008) errors.Include(ceFrame);
    if ((flags & 0x0004) && parity != paNone) errors.Include(ceRxParity);
    if (flags & 0x0002) errors.Include(ceOverrun);
    if (flags & 0x0001) errors.Include(ceRxOver);
    if (flags & 0x0100) errors.Include(ceTxFull);
    if (flags & 0x0010) errors.Include(ceBreak);
    if (flags & 0x0400) errors.Include(ceIO);
    if (flags & 0x8000) errors.Include(ceMode);
    return errors;
}

TComEvents ComEventsFromMask(std::uint32_t mask) {
    static constexpr std::uint32_t kBits[] = {0x0001, 0x0004, 0x0100, 0x0008,
                                              0x0010, 0x0020, 0x0080, 0x0400};
    TComEvents events;
    for (std::uint8_t i = 0; i < 8; ++i)
        if (mask & kBits[i]) events.Include(static_cast<TComEvent>(i));
    return events;
}

// --- TComTimeouts ---

TComTimeouts::TComTimeouts(const TComTimeouts& other) {
    other.AssignTo(*this);
}

void TComTimeouts::AssignTo(TComTimeouts& dest) const {
    std::memcpy(dest.values_, values_, sizeof values_);
}

void TComTimeouts::Set(int index, std::int32_t value) {
    if (values_[index] == value) return;
    values_[index] = value;
    if (port_) port_->ApplyTimeouts();
}

// --- requests and backend bases ---

namespace detail {
TRequestState::~TRequestState() = default;
TEventWaiter::~TEventWaiter() = default;
TPortBackend::~TPortBackend() = default;
}  // namespace detail

TAsyncRequest::TAsyncRequest() = default;
TAsyncRequest::~TAsyncRequest() = default;

// --- the event thread ---

namespace detail {

// What one opening's event thread shares with the port. The thread holds it too, so that a
// thread left to end by itself (closed from its own handler) never touches a destroyed port.
struct TThreadShared : std::enable_shared_from_this<TThreadShared> {
    using Clock = std::chrono::steady_clock;
    TBComPort* port = nullptr;
    std::shared_ptr<TPortBackend> backend;
    std::unique_ptr<TEventWaiter> waiter;
    TSyncMethod sync = smThreadSync;
    TMainThreadExecutor* executor = nullptr;
    std::stop_source stop;
    std::atomic<std::uint8_t> events{0};
    std::atomic<std::thread::id> delivering{};  // the thread running a delivery of ours
    // The component's own call failed inside a delivery (a pulled adapter): the line is lost.
    std::atomic<bool> componentFailed{false};
    std::atomic<bool> lostGiven{false};  // the line-lost notice is given once per opening
    // When bytes last came, taken by this thread as they come (not when a busy main thread
    // delivers them); the opening's time until then.
    std::atomic<Clock::rep> lastArrival{Clock::now().time_since_epoch().count()};
    std::thread thread;

    void Run();
    bool Deliver(TComEvents occurred);
    void DeliverLost();
    void Dispatch(TComEvents occurred);
    void Raise(TComEvent event);
    bool OnOwnerThread(const std::function<void()>& fn);
    void NotifyLost();
};

namespace {
// Marks the current thread as delivering for the length of a scope.
class TDeliveryScope {
  public:
    explicit TDeliveryScope(std::atomic<std::thread::id>& slot)
        : slot_(slot), previous_(slot.exchange(std::this_thread::get_id())) {}
    ~TDeliveryScope() { slot_.store(previous_); }
    TDeliveryScope(const TDeliveryScope&) = delete;
    TDeliveryScope& operator=(const TDeliveryScope&) = delete;

  private:
    std::atomic<std::thread::id>& slot_;
    std::thread::id previous_;
};
}  // namespace

void TThreadShared::Run() {
    try {
        while (!stop.stop_requested()) {
            std::uint32_t mask = 0;
            const TWaitResult r = waiter->Wait(mask);
            if (r == TWaitResult::kStopped) break;
            if (r == TWaitResult::kNothing) continue;
            if (r == TWaitResult::kLost || componentFailed.load()) {
                DeliverLost();
                waiter->WaitForStop();
                break;
            }
            if (mask & 0x0001) lastArrival.store(Clock::now().time_since_epoch().count());
            const TComEvents occurred = ComEventsFromMask(mask);
            events.store(occurred.Bits());
            if (!Deliver(occurred)) break;
            if (componentFailed.load()) {
                DeliverLost();
                waiter->WaitForStop();
                break;
            }
        }
    } catch (...) {
        // A handler that fails ends the event thread quietly; the port stays open.
    }
}

// Runs fn where smThreadSync / smNone deliver; false when the port stopped first.
bool TThreadShared::OnOwnerThread(const std::function<void()>& fn) {
    if (sync == smNone || !executor) {
        fn();
        return !stop.stop_requested();
    }
    return executor->RunAndWait(fn, stop.get_token()) && !stop.stop_requested();
}

bool TThreadShared::Deliver(TComEvents occurred) {
    if (sync == smWindowSync && executor) {
        static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evRing,
                                               evCTS,   evDSR,    evRLSD,    evRx80Full};
        for (TComEvent e : kOrder) {
            if (!occurred.Contains(e)) continue;
            executor->Post([self = shared_from_this(), e] {
                if (self->stop.stop_requested() || self->componentFailed.load()) return;
                self->Raise(e);
                // The event thread waits for the line; the notice is given here, once.
                if (self->componentFailed.load()) self->NotifyLost();
            });
        }
        return true;
    }
    return OnOwnerThread([this, occurred] {
        TDeliveryScope scope(delivering);
        Dispatch(occurred);
    });
}

void TThreadShared::NotifyLost() {
    if (stop.stop_requested() || lostGiven.exchange(true)) return;
    auto handler = port->OnLineLost;
    if (handler) handler(*port);
}

void TThreadShared::DeliverLost() {
    auto notify = [self = shared_from_this()] { self->NotifyLost(); };
    if (sync == smWindowSync && executor) {
        executor->Post(notify);
        return;
    }
    OnOwnerThread([this, &notify] {
        TDeliveryScope scope(delivering);
        notify();
    });
}

void TThreadShared::Dispatch(TComEvents occurred) {
    // Error first: its error report reads the flags before RxChar's count clears them.
    static constexpr TComEvent kOrder[] = {evError, evRxChar, evTxEmpty, evRing,
                                           evCTS,   evDSR,    evRLSD,    evRx80Full};
    for (TComEvent e : kOrder) {
        // A handler may have closed or destroyed the port: then touch nothing more.
        if (stop.stop_requested() || componentFailed.load()) return;
        if (occurred.Contains(e)) Raise(e);
    }
}

void TThreadShared::Raise(TComEvent event) {
    TBComPort& p = *port;
    // The component's own calls fail when the device has gone (a pulled adapter answers them so):
    // that is a lost line, not a fault of the handler, and it ends the delivery here.
    auto own = [this](const std::function<void()>& call) {
        try {
            call();
            return true;
        } catch (const EComPort&) {
            componentFailed.store(true);
            return false;
        }
    };
    // Handlers are copied before the call: a handler may reassign itself.
    auto signal = [&p, &own](const std::function<void(TBComPort&, bool)>& slot, TModemSignal line) {
        auto handler = slot;
        TModemSignals now;
        if (handler && own([&] { now = p.ModemSignals(); })) handler(p, now.Contains(line));
    };
    auto plain = [&p](const std::function<void(TBComPort&)>& slot) {
        auto handler = slot;
        if (handler) handler(p);
    };
    switch (event) {
        case evRxChar: {
            std::int32_t n = 0;
            if (!own([&] { n = p.InputCount(); })) break;
            auto handler = p.OnRxChar;
            if (n > 0 && handler) handler(p, n);
            break;
        }
        case evError: {
            detail::TCommStatus status;
            if (!backend->ClearCommError(status)) {
                componentFailed.store(true);
                break;
            }
            const TComErrors errors = ComErrorsFromFlags(status.errors, p.Parity());
            auto handler = p.OnError;
            if (!errors.Empty() && handler) handler(p, errors);
            break;
        }
        case evTxEmpty:
            plain(p.OnTxEmpty);
            break;
        case evRing:
            plain(p.OnRing);
            break;
        case evRx80Full:
            plain(p.OnRx80Full);
            break;
        case evCTS:
            signal(p.OnCTSChange, msCTS);
            break;
        case evDSR:
            signal(p.OnDSRChange, msDSR);
            break;
        case evRLSD:
            signal(p.OnRLSDChange, msRLSD);
            break;
    }
}

}  // namespace detail

TComThread::TComThread(std::shared_ptr<detail::TThreadShared> shared)
    : shared_(std::move(shared)) {}

TComThread::~TComThread() {
    auto& s = *shared_;
    s.stop.request_stop();
    s.waiter->Stop();
    std::this_thread::yield();
    if (!s.thread.joinable()) return;
    // Stopped from inside our own delivery, the thread waits for the very caller: it ends by
    // itself once the delivery returns, holding what it still needs.
    const auto self = std::this_thread::get_id();
    if (self == s.thread.get_id() || self == s.delivering.load())
        s.thread.detach();
    else
        s.thread.join();
}

TComEvents TComThread::Events() const {
    return TComEvents::FromBits(shared_->events.load());
}

std::chrono::steady_clock::time_point TComThread::LastArrival() const {
    using Clock = std::chrono::steady_clock;
    return Clock::time_point(Clock::duration(shared_->lastArrival.load()));
}

// --- TBComPort ---

TBComPort::TBComPort(TMainThreadExecutor* mainThread) : ownExecutor_(mainThread) {
    timeouts_.port_ = this;
}

TBComPort::~TBComPort() {
    try {
        ClosePort();
    } catch (...) {
        // The port is closed all the same; a destructor must not throw.
    }
    timeouts_.port_ = nullptr;
}

std::chrono::steady_clock::time_point TBComPort::LastArrival() const {
    return thread_ ? thread_->LastArrival() : std::chrono::steady_clock::time_point{};
}

bool TBComPort::IsOpen() const {
    std::lock_guard lock(backendLock_);
    return isOpen_;
}

std::shared_ptr<TPortBackend> TBComPort::Backend() const {
    std::lock_guard lock(backendLock_);
    return backend_;
}

void TBComPort::SetBaudRate(TBaudRate value) {
    if (value == baudRate_) return;
    baudRate_ = value;
    ApplyLineSettings();
}

void TBComPort::SetByteSize(TByteSize value) {
    if (value == byteSize_) return;
    byteSize_ = value;
    ApplyLineSettings();
}

void TBComPort::SetParity(TParity value) {
    if (value == parity_) return;
    parity_ = value;
    ApplyLineSettings();
}

void TBComPort::SetStopBits(TStopBits value) {
    if (value == stopBits_) return;
    stopBits_ = value;
    ApplyLineSettings();
}

void TBComPort::SetInBufSize(std::int32_t value) {
    if (value == inBufSize_) return;
    inBufSize_ = (value > 0 && value % 2 != 0) ? value - 1 : value;
    ApplyBuffers();
}

void TBComPort::SetOutBufSize(std::int32_t value) {
    if (value == outBufSize_) return;
    outBufSize_ = (value > 0 && value % 2 != 0) ? value - 1 : value;
    ApplyBuffers();
}

void TBComPort::SetPort(const std::string& value) {
    if (IsOpen()) Raise(kLocked);
    port_ = value;
}

void TBComPort::SetSyncMethod(TSyncMethod value) {
    if (value == syncMethod_) return;
    if (IsOpen()) Raise(kLocked);
    syncMethod_ = value;
}

void TBComPort::SetTimeouts(const TComTimeouts& value) {
    value.AssignTo(timeouts_);
    ApplyTimeouts();
}

void TBComPort::ApplyBuffers() {
    auto b = Backend();
    if (!b) return;
    if (!b->SetupComm(inBufSize_, outBufSize_)) Raise("Ошибка функции SetupComm");
}

void TBComPort::ApplyLineSettings() {
    auto b = Backend();
    if (!b) return;
    const detail::TLineSettings settings{
        BaudRateValue(baudRate_), static_cast<std::uint8_t>(byteSize_ + 5), parity_, stopBits_};
    if (!b->SetCommState(settings)) Raise("Ошибка функции SetCommState");
}

void TBComPort::ApplyTimeouts() {
    auto b = Backend();
    if (!b) return;
    const detail::TTimeoutValues values{DriverTimeout(timeouts_.ReadInterval()),
                                        DriverTimeout(timeouts_.ReadTotalMultiplier()),
                                        DriverTimeout(timeouts_.ReadTotalConstant()),
                                        DriverTimeout(timeouts_.WriteTotalMultiplier()),
                                        DriverTimeout(timeouts_.WriteTotalConstant())};
    if (!b->SetCommTimeouts(values)) Raise("Ошибка функции SetCommTimeouts");
}

bool TBComPort::OpenPort() {
    if (IsOpen()) return true;
    auto backend = TPortBackend::Create();
    switch (backend->Open(port_)) {
        case detail::TOpenResult::kNotFound:
            Raise(kNotFound);
        case detail::TOpenResult::kBusy:
            Raise(kBusy);
        default:
            break;  // any other failure shows as the buffer step's failure below
    }
    {
        std::lock_guard lock(backendLock_);
        backend_ = backend;
        isOpen_ = true;
    }
    try {
        ApplyBuffers();
        ApplyLineSettings();
        ApplyTimeouts();
        mainThread_ = ownExecutor_ ? ownExecutor_ : DefaultExecutor();
        auto shared = std::make_shared<detail::TThreadShared>();
        shared->port = this;
        shared->backend = backend;
        shared->sync = syncMethod_;
        shared->executor = mainThread_;
        backend->SetCommMask(kAllEventsMask);
        shared->waiter = backend->NewEventWaiter();
        shared->thread = std::thread([shared] { shared->Run(); });
        thread_.reset(new TComThread(shared));
    } catch (...) {
        backend->Close();
        std::lock_guard lock(backendLock_);
        backend_.reset();
        isOpen_ = false;
        throw;
    }
    return true;
}

bool TBComPort::ClosePort() {
    if (!IsOpen()) return true;
    // Every step runs; a pulled adapter refuses the first three, and the port must close anyway.
    std::exception_ptr first;
    auto step = [&first](auto&& fn) {
        try {
            fn();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    };
    bool drained = false;
    step([this, &drained] { drained = DrainOutput(); });
    step([this] { SetDtr(false); });
    step([this] { SetRts(false); });
    // Once the output has drained the transmit side is left alone: on a pseudo-terminal (a COM
    // port under Wine is one) an output purge drops what the far end has not read yet, such as
    // the label just written.
    const std::uint32_t tx = drained ? 0 : detail::kPurgeTxAbort;
    step([this, tx] { Purge(tx | detail::kPurgeRxAbort); });
    thread_.reset();  // stops the event thread (see ~TComThread)
    auto backend = Backend();
    backend->SetCommMask(0);
    backend->PurgeComm((drained ? 0 : detail::kPurgeTxClear) | detail::kPurgeRxClear);
    backend->Close();
    {
        std::lock_guard lock(backendLock_);
        backend_.reset();
        isOpen_ = false;
    }
    if (first) std::rethrow_exception(first);
    return true;
}

bool TBComPort::DrainOutput() {
    auto b = Backend();
    detail::TCommStatus status;
    if (!b || !b->ClearCommError(status)) return false;
    if (status.outQueue == 0) return true;
    using std::chrono::milliseconds;
    const std::uint64_t bits =
        1u + (byteSize_ + 5u) + (parity_ != paNone ? 1u : 0u) + (stopBits_ == sb1 ? 1u : 2u);
    const std::uint64_t rate = BaudRateValue(baudRate_);
    auto onTheLine = [&](std::uint32_t bytes) {
        return milliseconds(bytes * bits * 1000u / rate + 1u);
    };
    // As long as a write of these bytes may take; where the time-outs set no bound, their time on
    // the line and a second more, so that a line that never drains (flow control) cannot hold it.
    const std::int32_t multiplier = timeouts_.WriteTotalMultiplier();
    const std::int32_t constant = timeouts_.WriteTotalConstant();
    const bool bounded = multiplier >= 0 && constant >= 0 && (multiplier > 0 || constant > 0);
    const milliseconds limit =
        bounded ? milliseconds(static_cast<std::uint64_t>(multiplier) * status.outQueue +
                               static_cast<std::uint64_t>(constant))
                : onTheLine(status.outQueue) + milliseconds(1000);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return false;
        const milliseconds pause =
            std::clamp(onTheLine(status.outQueue), milliseconds(1), milliseconds(200));
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, pause));
        if (!b->ClearCommError(status)) return false;
        if (status.outQueue == 0) return true;
    }
}

std::int32_t TBComPort::WriteText(std::string_view text) {
    std::lock_guard write(writeLock_);
    std::unique_ptr<TAsyncRequest> request;
    NewRequest(request);
    StartWriteText(text, request.get());
    const std::int32_t n = AwaitRequest(request.get());
    FreeRequest(request);
    return n;
}

std::int32_t TBComPort::ReadText(std::string& text, std::int32_t count) {
    std::unique_ptr<TAsyncRequest> request;
    NewRequest(request);
    StartReadText(text, count, request.get());
    const std::int32_t n = AwaitRequest(request.get());
    text.resize(static_cast<std::size_t>(n));
    FreeRequest(request);
    return n;
}

std::int32_t TBComPort::InputCount() {
    auto b = Backend();
    detail::TCommStatus status;
    if (!b || !b->ClearCommError(status)) Raise("Ошибка функции ClearCommError");
    return static_cast<std::int32_t>(status.inQueue);
}

TModemSignals TBComPort::ModemSignals() {
    auto b = Backend();
    std::uint32_t status = 0;
    if (!b || !b->GetCommModemStatus(status)) Raise("Ошибка функции GetCommModemStatus");
    TModemSignals signals;
    if (status & detail::kMsCtsOn) signals.Include(msCTS);
    if (status & detail::kMsDsrOn) signals.Include(msDSR);
    if (status & detail::kMsRingOn) signals.Include(msRing);
    if (status & detail::kMsRlsdOn) signals.Include(msRLSD);
    return signals;
}

void TBComPort::SetDtr(bool on) {
    auto b = Backend();
    if (!b || !b->EscapeCommFunction(on ? detail::TEscape::kSetDtr : detail::TEscape::kClrDtr))
        Raise("Ошибка функции EscapeCommFunction");
}

void TBComPort::SetRts(bool on) {
    auto b = Backend();
    if (!b || !b->EscapeCommFunction(on ? detail::TEscape::kSetRts : detail::TEscape::kClrRts))
        Raise("Ошибка функции EscapeCommFunction");
}

void TBComPort::AbortIo() {
    Purge(detail::kPurgeTxAbort | detail::kPurgeRxAbort);
}

void TBComPort::Purge(std::uint32_t flags) {
    auto b = Backend();
    if (!b || !b->PurgeComm(flags)) Raise("Ошибка функции PurgeComm");
}

void TBComPort::NewRequest(std::unique_ptr<TAsyncRequest>& request) {
    request = std::make_unique<TAsyncRequest>();
}

void TBComPort::FreeRequest(std::unique_ptr<TAsyncRequest>& request) {
    request.reset();
}

std::int32_t TBComPort::StartWrite(const void* buffer, std::int32_t count, TAsyncRequest* request) {
    if (!request) Raise(kBadAsync);
    request->kind = TAsyncRequest::kWrite;
    request->data.reset();
    request->dataSize = 0;
    if (count > 0) {
        request->data = std::make_unique<char[]>(static_cast<std::size_t>(count));
        std::memcpy(request->data.get(), buffer, static_cast<std::size_t>(count));
        request->dataSize = count;
    }
    auto b = Backend();
    if (!b) Raise(kWriteFailed);
    request->system = b->NewRequestState();
    request->system->owner = b;
    std::int32_t done = 0;
    if (!b->StartWrite(*request->system, request->data.get(), request->dataSize, done))
        Raise(kWriteFailed);
    return done;
}

std::int32_t TBComPort::StartWriteText(std::string_view text, TAsyncRequest* request) {
    if (text.empty()) return 0;
    return StartWrite(text.data(), static_cast<std::int32_t>(text.size()), request);
}

std::int32_t TBComPort::StartRead(void* buffer, std::int32_t count, TAsyncRequest* request) {
    if (!request) Raise(kBadAsync);
    request->kind = TAsyncRequest::kRead;
    auto b = Backend();
    if (!b) Raise(kReadFailed);
    request->system = b->NewRequestState();
    request->system->owner = b;
    std::int32_t done = 0;
    if (!b->StartRead(*request->system, static_cast<char*>(buffer), count < 0 ? 0 : count, done))
        Raise(kReadFailed);
    return done;
}

std::int32_t TBComPort::StartReadText(std::string& text, std::int32_t count,
                                      TAsyncRequest* request) {
    text.assign(count > 0 ? static_cast<std::size_t>(count) : 0, '\0');
    if (count <= 0) return 0;
    return StartRead(text.data(), count, request);
}

std::int32_t TBComPort::AwaitRequest(TAsyncRequest* request) {
    if (!request) Raise(kBadAsync);
    // A request on which nothing was started is complete with 0 bytes.
    if (!request->system || !request->system->owner) return 0;
    std::int32_t n = 0;
    const bool ok = request->system->owner->AwaitRequest(*request->system, n);
    if (request->kind == TAsyncRequest::kRead) {
        if (!ok) Raise(kReadFailed);
    } else if (!ok || n < request->dataSize) {
        // A write the driver ended early (a time-out) failed: the bytes did not all go.
        Raise(kWriteFailed);
    }
    return n;
}

}  // namespace tandrel::serial
