// The serial backend on POSIX termios, for any tty: real ports, USB adapters, pseudo-terminals.
//
// How each system operation of the component maps here:
//
//   CreateFileA, exclusive   open(O_RDWR|O_NOCTTY|O_NONBLOCK), TIOCEXCL, flock(LOCK_EX|LOCK_NB).
//                            TIOCEXCL keeps out other users but not root, so the flock is what
//                            makes a second opener (root included) fail as "in use".
//                            ENOENT/ENXIO/ENODEV: no such port; EBUSY/EACCES/flock: in use.
//   SetupComm                sizes our input queue (below); the kernel's buffers are fixed.
//   SetCommState             raw termios (cfmakeraw, CLOCAL|CREAD, VMIN=VTIME=0), the data
//                            bits, parity (INPCK when on, CMSPAR for mark/space) and CSTOPB;
//                            speeds without a B-constant through termios2. DTR and RTS raised.
//   SetCommTimeouts          kept here; reads and writes wait with poll() by the same rules.
//   ReadFile / WriteFile     non-blocking read/write; the rest of a transfer is finished by
//                            AwaitRequest. A write completes once the bytes have left the
//                            kernel's output queue (TIOCOUTQ), as a Windows serial write does, so
//                            that a close right after a label does not cut it off.
//   WaitCommEvent            the event thread's poll() on the port and a wake-up pipe, never a
//                            time-out. Arrived bytes move into our input queue (the equivalent of
//                            the driver's queue) so that poll reports only new bytes: RxChar once
//                            per arrival, never again for bytes a handler left unread.
//                            Rx80Full when that queue passes 80 % of InBufSize. When it is full,
//                            the port is left out of poll() until a read makes room.
//                            POLLHUP/POLLERR/POLLNVAL or a failing read: the line is lost; a
//                            read of nothing is not (a handler may have read the bytes first).
//   EV_ERR / ClearCommError  the kernel's error counters (TIOCGICOUNT) where the driver keeps
//                            them: frame, parity, overrun, break, buffer overrun. A pseudo-
//                            terminal keeps none and raises none. cbInQue = our queue + FIONREAD.
//   EV_CTS/DSR/RLSD/RING     TIOCMIWAIT on a thread of its own with the line counters
//                            (modem_watch_linux.cpp), where the driver keeps them; it wakes the
//                            event thread. A pseudo-terminal has none and raises none.
//   EV_TXEMPTY               once the kernel's output queue (TIOCOUTQ) is empty after bytes were
//                            written: the event thread looks at it again when the bytes should
//                            have left at the line's speed, less often while it does not move
//                            (flow control), never while nothing was written.
//   GetCommModemStatus       TIOCMGET; a device without modem lines (ENOTTY, EINVAL: a pseudo-
//                            terminal) reports none.
//   EscapeCommFunction       TIOCMBIS / TIOCMBIC; a device without modem lines accepts it.
//   PurgeComm                abort: pending transfers end as failed; clear: tcflush and our
//                            queue emptied.

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "serial/backend.h"
#include "serial/modem_watch_linux.h"

namespace tandrel::serial::detail {

bool SetCustomBaudRate(int fd, unsigned rate);
unsigned StandardSpeed(std::uint32_t rate);

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
constexpr std::uint32_t kMax = 0xFFFFFFFFu;

// A descriptor closed on every path.
class TFd {
  public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() { Reset(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

bool NoModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

class TPosixWaiter;

struct TPosixRequest final : TRequestState {
    bool write = false;
    const char* data = nullptr;
    char* buffer = nullptr;
    std::int32_t count = 0;
    std::int32_t done = 0;
    bool failed = false;
    std::uint64_t abortGeneration = 0;
    Clock::time_point started;
};

class TPosixBackend final : public TPortBackend,
                            public std::enable_shared_from_this<TPosixBackend> {
  public:
    ~TPosixBackend() override { Close(); }

    TOpenResult Open(const std::string& name) override {
        TFd fd(::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() < 0) {
            switch (errno) {
                case ENOENT:
                case ENXIO:
                case ENODEV:
                case ENOTDIR:
                    return TOpenResult::kNotFound;
                case EBUSY:
                case EACCES:
                case EPERM:
                    return TOpenResult::kBusy;
                default:
                    return TOpenResult::kOther;
            }
        }
        if (!::isatty(fd.Get())) return TOpenResult::kOther;
        if (::ioctl(fd.Get(), TIOCEXCL) != 0) return TOpenResult::kOther;
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            return errno == EWOULDBLOCK ? TOpenResult::kBusy : TOpenResult::kOther;
        std::lock_guard lock(mutex_);
        haveCounters_ = ::ioctl(fd.Get(), TIOCGICOUNT, &counters_) == 0;
        fd_ = fd.Release();
        return TOpenResult::kOpened;
    }

    void Close() override {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0) {
            ::ioctl(fd_, TIOCNXCL);
            ::close(fd_);  // releases the flock too
        }
        fd_ = -1;
        queue_.clear();
        ++abortGeneration_;
        arrived_.notify_all();
    }

    bool SetupComm(std::int32_t inSize, std::int32_t) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        capacity_ = inSize > 0 ? static_cast<std::size_t>(inSize) : 2048;
        return true;
    }

    bool SetCommState(const TLineSettings& s) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag |= kSizes[std::clamp<int>(s.byteSize, 5, 8) - 5];
        tio.c_iflag &= ~(INPCK | IGNPAR | PARMRK | IXON | IXOFF | IXANY);
        if (s.parity != 0) {
            tio.c_cflag |= PARENB;
            tio.c_iflag |= INPCK;
            if (s.parity == 1 || s.parity == 3) tio.c_cflag |= PARODD;
            if (s.parity >= 3) tio.c_cflag |= CMSPAR;
        }
        if (s.stopBits != 0) tio.c_cflag |= CSTOPB;  // 1.5 and 2 stop bits
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        const auto speed = static_cast<speed_t>(StandardSpeed(s.baudRate));
        if (speed != B0 && ::cfsetspeed(&tio, speed) != 0) return false;
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
        if (speed == B0 && !SetCustomBaudRate(fd_, s.baudRate)) return false;
        baudRate_ = s.baudRate;
        bitsPerChar_ = 2u + s.byteSize + (s.parity ? 1u : 0u) + (s.stopBits ? 1u : 0u);
        int lines = TIOCM_DTR | TIOCM_RTS;
        if (::ioctl(fd_, TIOCMBIS, &lines) != 0 && !NoModemLines(errno)) return false;
        return true;
    }

    bool SetCommTimeouts(const TTimeoutValues& timeouts) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        timeouts_ = timeouts;
        return true;
    }

    bool SetCommMask(std::uint32_t) override { return true; }

    bool EscapeCommFunction(TEscape function) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        const bool dtr = function == TEscape::kSetDtr || function == TEscape::kClrDtr;
        const bool on = function == TEscape::kSetDtr || function == TEscape::kSetRts;
        int lines = dtr ? TIOCM_DTR : TIOCM_RTS;
        if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &lines) == 0) return true;
        return NoModemLines(errno);
    }

    bool PurgeComm(std::uint32_t flags) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        if (flags & (kPurgeTxAbort | kPurgeRxAbort)) {
            ++abortGeneration_;
            arrived_.notify_all();
        }
        bool ok = true;
        if (flags & kPurgeRxClear) {
            queue_.clear();
            ok = ::tcflush(fd_, TCIFLUSH) == 0 && ok;
        }
        if (flags & kPurgeTxClear) {
            // Nothing queued, nothing to discard; on a pseudo-terminal the flush would also drop
            // what the far end has not read yet (a label written just before the close).
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued > 0)
                ok = ::tcflush(fd_, TCOFLUSH) == 0 && ok;
        }
        return ok;
    }

    bool ClearCommError(TCommStatus& status) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        int pending = 0;
        if (::ioctl(fd_, FIONREAD, &pending) != 0) {
            // A line that hung up has nothing queued; the next wait reports it lost, once.
            if (errno != EIO && errno != ENXIO) return false;
            pending = 0;
        }
        status.inQueue =
            static_cast<std::uint32_t>(queue_.size() + static_cast<std::size_t>(pending));
        int unsent = 0;
        if (::ioctl(fd_, TIOCOUTQ, &unsent) != 0 || unsent < 0) unsent = 0;
        status.outQueue = static_cast<std::uint32_t>(unsent);
        status.errors = 0;
        serial_icounter_struct now{};
        if (haveCounters_ && ::ioctl(fd_, TIOCGICOUNT, &now) == 0) {
            status.errors = ErrorFlags(counters_, now);
            counters_ = now;
        }
        return true;
    }

    bool GetCommModemStatus(std::uint32_t& status) override {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        int lines = 0;
        status = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0) return NoModemLines(errno);
        if (lines & TIOCM_CTS) status |= kMsCtsOn;
        if (lines & TIOCM_DSR) status |= kMsDsrOn;
        if (lines & TIOCM_RNG) status |= kMsRingOn;
        if (lines & TIOCM_CAR) status |= kMsRlsdOn;
        return true;
    }

    std::unique_ptr<TRequestState> NewRequestState() override {
        return std::make_unique<TPosixRequest>();
    }

    bool StartWrite(TRequestState& state, const char* data, std::int32_t count,
                    std::int32_t& done) override {
        auto& r = static_cast<TPosixRequest&>(state);
        r.write = true;
        r.data = data;
        r.count = count;
        r.done = 0;
        r.started = Clock::now();
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        r.abortGeneration = abortGeneration_;
        if (count > 0 && !WriteSome(r)) return false;
        done = r.done;
        return true;
    }

    bool StartRead(TRequestState& state, char* buffer, std::int32_t count,
                   std::int32_t& done) override {
        auto& r = static_cast<TPosixRequest&>(state);
        r.write = false;
        r.buffer = buffer;
        r.count = count;
        r.done = 0;
        r.started = Clock::now();
        std::lock_guard lock(mutex_);
        if (fd_ < 0) return false;
        r.abortGeneration = abortGeneration_;
        if (!ReadSome(r)) return false;
        done = r.done;
        return true;
    }

    bool AwaitRequest(TRequestState& state, std::int32_t& count) override {
        auto& r = static_cast<TPosixRequest&>(state);
        const bool ok = r.write ? AwaitWrite(r) : AwaitRead(r);
        count = r.done;
        return ok && !r.failed;
    }

    std::unique_ptr<TEventWaiter> NewEventWaiter() override;

    // For the event thread. Moves what has arrived into the queue and returns the events that
    // makes (0: none); false when the line is gone.
    bool Drain(std::uint32_t& mask);
    bool WantsInput() {
        std::lock_guard lock(mutex_);
        return queue_.size() < capacity_;
    }
    int Descriptor() {
        std::lock_guard lock(mutex_);
        return fd_;
    }
    bool HasCounters() {
        std::lock_guard lock(mutex_);
        return haveCounters_;
    }
    void PostModemEvents(std::uint32_t mask) {
        std::lock_guard lock(mutex_);
        modemEvents_ |= mask;
        Nudge();
    }
    std::uint32_t TakeModemEvents() {
        std::lock_guard lock(mutex_);
        return std::exchange(modemEvents_, 0u);
    }
    // For the event thread, after bytes were written: true once the output queue is empty
    // (EV_TXEMPTY); otherwise waitMs is when to look again (-1: nothing to look for).
    bool TakeTxEmpty(int& waitMs) {
        std::lock_guard lock(mutex_);
        waitMs = -1;
        if (!txPending_ || fd_ < 0) return false;
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
            txPending_ = false;  // no queue to watch
            return false;
        }
        if (queued <= 0) {
            txPending_ = false;
            return true;
        }
        const auto drain =
            static_cast<int>(static_cast<std::uint64_t>(queued) * bitsPerChar_ * 1000u / baudRate_);
        // A queue that has not moved since the last look is held (flow control): back off.
        txWaitMs_ = queued >= txLastQueued_ && txWaitMs_ > 0 ? std::min(txWaitMs_ * 2, 1000)
                                                             : std::clamp(drain + 1, 5, 1000);
        txLastQueued_ = queued;
        waitMs = txWaitMs_;
        return false;
    }
    void SetWaiter(TPosixWaiter* waiter) {
        std::lock_guard lock(mutex_);
        waiter_ = waiter;
    }

  private:
    static std::uint32_t ErrorFlags(const serial_icounter_struct& before,
                                    const serial_icounter_struct& now) {
        std::uint32_t flags = 0;
        if (now.frame != before.frame) flags |= 0x0008;
        if (now.parity != before.parity) flags |= 0x0004;
        if (now.overrun != before.overrun) flags |= 0x0002;
        if (now.buf_overrun != before.buf_overrun) flags |= 0x0001;
        if (now.brk != before.brk) flags |= 0x0010;
        return flags;
    }

    // Under mutex_. False on a failed write (the line gone, a bad descriptor).
    bool WriteSome(TPosixRequest& r) {
        while (r.done < r.count) {
            const ssize_t n = ::write(fd_, r.data + r.done, static_cast<size_t>(r.count - r.done));
            if (n > 0) {
                r.done += static_cast<std::int32_t>(n);
                // The queue grew by writing, not by being held: no back-off for it.
                txWaitMs_ = 0;
                txLastQueued_ = 0;
                if (!std::exchange(txPending_, true)) Nudge();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        }
        return true;
    }

    // Under mutex_: the queue first, then the descriptor, so the order of bytes holds.
    bool ReadSome(TPosixRequest& r) {
        const bool wasFull = queue_.size() >= capacity_;
        while (r.done < r.count && !queue_.empty()) {
            const auto n = std::min<std::size_t>(queue_.size(), r.count - r.done);
            std::copy_n(queue_.begin(), n, r.buffer + r.done);
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(n));
            r.done += static_cast<std::int32_t>(n);
        }
        if (wasFull) Nudge();
        while (r.done < r.count) {
            const ssize_t n = ::read(fd_, r.buffer + r.done, static_cast<size_t>(r.count - r.done));
            if (n > 0) {
                r.done += static_cast<std::int32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) return true;
            return false;
        }
        return true;
    }

    void Nudge();

    Clock::time_point Deadline(const TPosixRequest& r, std::uint32_t multiplier,
                               std::uint32_t constant) const {
        if ((multiplier == 0 && constant == 0) || multiplier == kMax || constant == kMax)
            return Clock::time_point::max();
        const auto total =
            static_cast<std::uint64_t>(multiplier) * static_cast<std::uint64_t>(r.count) + constant;
        return r.started + milliseconds(total);
    }

    bool AwaitWrite(TPosixRequest& r);
    bool AwaitRead(TPosixRequest& r);

    std::mutex mutex_;
    std::condition_variable arrived_;  // the queue grew, a transfer was aborted, the port closed
    int fd_ = -1;
    std::deque<char> queue_;
    std::size_t capacity_ = 2048;
    TTimeoutValues timeouts_{kMax, 0, 0, 100, 1000};
    std::uint32_t baudRate_ = 9600;
    std::uint32_t bitsPerChar_ = 10;
    bool haveCounters_ = false;
    serial_icounter_struct counters_{};
    std::uint64_t abortGeneration_ = 0;
    std::uint32_t modemEvents_ = 0;  // changes the modem watch saw, not yet delivered
    bool txPending_ = false;         // bytes written since the output queue was last empty
    int txWaitMs_ = 0;
    int txLastQueued_ = 0;
    TPosixWaiter* waiter_ = nullptr;
};

bool TPosixBackend::AwaitWrite(TPosixRequest& r) {
    const auto deadline = Deadline(r, timeouts_.writeTotalMultiplier, timeouts_.writeTotalConstant);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (fd_ < 0 || r.abortGeneration != abortGeneration_) return false;
        if (r.done < r.count) {
            if (!WriteSome(r)) return false;
        } else {
            // Written to the kernel; wait until it has left the output queue.
            int queued = 0;
            if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued <= 0) return true;
            if (Clock::now() >= deadline) {
                r.done = std::max(0, r.done - queued);
                return true;
            }
            const auto drain = std::chrono::microseconds(
                static_cast<std::uint64_t>(queued) * bitsPerChar_ * 1000000u / baudRate_ + 1000);
            arrived_.wait_until(lock, std::min(deadline, Clock::now() + drain));
            continue;
        }
        if (r.done == r.count) continue;
        const auto now = Clock::now();
        if (now >= deadline) return true;  // short: the caller reports the time-out
        const int fd = fd_;
        lock.unlock();
        pollfd p{fd, POLLOUT, 0};
        const auto slice = std::min<Clock::duration>(deadline - now, milliseconds(50));
        ::poll(&p, 1, static_cast<int>(std::chrono::ceil<milliseconds>(slice).count()));
        lock.lock();
    }
}

bool TPosixBackend::AwaitRead(TPosixRequest& r) {
    const auto& t = timeouts_;
    // The system's read time-out rules: (MAX, 0, 0) returns at once; (MAX, MAX, c) waits up to c
    // for a first byte; otherwise a total of multiplier × count + constant and an interval
    // between bytes, each 0 for none.
    if (t.readInterval == kMax && t.readTotalMultiplier == 0 && t.readTotalConstant == 0)
        return true;
    const bool firstByteEnds = t.readInterval == kMax && t.readTotalMultiplier == kMax;
    const auto total = firstByteEnds ? (t.readTotalConstant == kMax
                                            ? Clock::time_point::max()
                                            : r.started + milliseconds(t.readTotalConstant))
                                     : Deadline(r, t.readTotalMultiplier, t.readTotalConstant);
    const bool useInterval = !firstByteEnds && t.readInterval != 0 && t.readInterval != kMax;
    std::unique_lock lock(mutex_);
    auto lastByte = Clock::now();
    for (;;) {
        if (fd_ < 0 || r.abortGeneration != abortGeneration_) return false;
        const std::int32_t before = r.done;
        if (!ReadSome(r)) return false;
        if (r.done > before) lastByte = Clock::now();
        if (r.done >= r.count || (firstByteEnds && r.done > 0)) return true;
        auto until = total;
        if (useInterval && r.done > 0)
            until = std::min(until, lastByte + milliseconds(t.readInterval));
        const auto now = Clock::now();
        if (now >= until) return true;
        // The event thread moves arrivals into the queue and signals; without one running, the
        // descriptor is read again after a short while.
        arrived_.wait_until(lock, std::min(until, now + milliseconds(20)));
    }
}

class TPosixWaiter final : public TEventWaiter {
  public:
    explicit TPosixWaiter(std::shared_ptr<TPosixBackend> backend) : backend_(std::move(backend)) {
        int fds[2];
        if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category());
        wakeRead_.Reset(fds[0]);
        wakeWrite_.Reset(fds[1]);
        backend_->SetWaiter(this);
        if (backend_->HasCounters())
            modemWatch_ = std::make_unique<TModemWatch>(
                backend_->Descriptor(),
                [backend = backend_.get()](std::uint32_t mask) { backend->PostModemEvents(mask); });
    }
    ~TPosixWaiter() override {
        modemWatch_.reset();
        backend_->SetWaiter(nullptr);
    }

    TWaitResult Wait(std::uint32_t& mask) override {
        const int fd = backend_->Descriptor();
        for (;;) {
            if (stopped_.load()) return TWaitResult::kStopped;
            int timeout = -1;
            if (backend_->TakeTxEmpty(timeout)) {
                mask = 0x0004;
                return TWaitResult::kEvents;
            }
            pollfd fds[2] = {{fd, static_cast<short>(backend_->WantsInput() ? POLLIN : 0), 0},
                             {wakeRead_.Get(), POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeout);
            if (ready < 0) {
                if (errno == EINTR) continue;
                return TWaitResult::kLost;
            }
            if (ready == 0) continue;  // time to look at the output queue again
            if (fds[1].revents) {
                ClearWake();
                mask = backend_->TakeModemEvents();
                if (mask != 0 && !stopped_.load()) return TWaitResult::kEvents;
                continue;
            }
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return TWaitResult::kLost;
            if (fds[0].revents & POLLIN) {
                mask = 0;
                if (!backend_->Drain(mask)) return TWaitResult::kLost;
                if (mask != 0) return TWaitResult::kEvents;
            }
        }
    }

    void WaitForStop() override {
        while (!stopped_.load()) {
            pollfd p{wakeRead_.Get(), POLLIN, 0};
            if (::poll(&p, 1, -1) > 0) ClearWake();
        }
    }

    void Stop() override {
        stopped_.store(true);
        Wake();
        if (modemWatch_) modemWatch_->Stop();  // before the port's descriptor is closed
    }

    void Wake() {
        const char byte = 1;
        [[maybe_unused]] auto n = ::write(wakeWrite_.Get(), &byte, 1);  // a full pipe wakes too
    }

  private:
    void ClearWake() {
        char buffer[64];
        while (::read(wakeRead_.Get(), buffer, sizeof buffer) > 0) {
        }
    }

    std::shared_ptr<TPosixBackend> backend_;
    TFd wakeRead_, wakeWrite_;
    std::atomic<bool> stopped_{false};
    std::unique_ptr<TModemWatch> modemWatch_;
};

void TPosixBackend::Nudge() {
    if (waiter_) waiter_->Wake();
}

bool TPosixBackend::Drain(std::uint32_t& mask) {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return false;
    const std::size_t before = queue_.size();
    char buffer[4096];
    bool sawEnd = false;
    while (queue_.size() < capacity_) {
        const auto room = std::min(sizeof buffer, capacity_ - queue_.size());
        const ssize_t n = ::read(fd_, buffer, room);
        if (n > 0) {
            queue_.insert(queue_.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // Nothing to read: a handler on another thread may have taken the bytes since poll().
        // A hang-up shows in poll() itself.
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) break;
        sawEnd = true;  // a read error (EIO on a tty whose far end is gone)
        break;
    }
    const std::size_t after = queue_.size();
    if (after > before) {
        mask |= 0x0001;
        const std::size_t mark = capacity_ * 8 / 10;
        if (before < mark && after >= mark) mask |= 0x0400;
        arrived_.notify_all();
    }
    serial_icounter_struct now{};
    if (haveCounters_ && ::ioctl(fd_, TIOCGICOUNT, &now) == 0 && ErrorFlags(counters_, now) != 0)
        mask |= 0x0080;
    return !sawEnd || after > before;
}

std::unique_ptr<TEventWaiter> TPosixBackend::NewEventWaiter() {
    return std::make_unique<TPosixWaiter>(shared_from_this());
}

}  // namespace

std::shared_ptr<TPortBackend> TPortBackend::Create() {
    return std::make_shared<TPosixBackend>();
}

}  // namespace tandrel::serial::detail
