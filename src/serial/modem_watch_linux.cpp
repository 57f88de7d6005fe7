#include "serial/modem_watch_linux.h"

#include <errno.h>
#include <linux/serial.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <chrono>
#include <mutex>

namespace tandrel::serial::detail {

namespace {

// The signal that interrupts TIOCMIWAIT. Taken only when nobody else handles it.
int WakeSignal() {
    static int signal = 0;
    static std::once_flag once;
    std::call_once(once, [] {
        const int candidate = SIGRTMIN + 4;
        struct sigaction old {};
        if (::sigaction(candidate, nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
            (old.sa_flags & SA_SIGINFO))
            return;
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the ioctl must return with EINTR
        if (::sigaction(candidate, &action, nullptr) == 0) signal = candidate;
    });
    return signal;
}

}  // namespace

TModemWatch::TModemWatch(int fd, std::function<void(std::uint32_t)> onChange)
    : onChange_(std::move(onChange)) {
    serial_icounter_struct counters{};
    if (WakeSignal() == 0 || ::ioctl(fd, TIOCGICOUNT, &counters) != 0) {
        exited_ = true;
        return;
    }
    thread_ = std::thread([this, fd] { Run(fd); });
}

TModemWatch::~TModemWatch() {
    Stop();
}

void TModemWatch::Stop() {
    stop_ = true;
    if (!thread_.joinable()) return;
    // A signal that comes just before the thread enters the ioctl is lost: send until it is out.
    while (!exited_) {
        ::pthread_kill(thread_.native_handle(), WakeSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    thread_.join();
}

void TModemWatch::Run(int fd) {
    serial_icounter_struct last{};
    ::ioctl(fd, TIOCGICOUNT, &last);
    int empty = 0;
    while (!stop_) {
        if (::ioctl(fd, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG) != 0) {
            if (errno == EINTR) continue;
            break;  // not supported after all, or the device is gone
        }
        serial_icounter_struct now{};
        if (::ioctl(fd, TIOCGICOUNT, &now) != 0) break;
        std::uint32_t mask = 0;
        if (now.cts != last.cts) mask |= 0x0008;
        if (now.dsr != last.dsr) mask |= 0x0010;
        if (now.dcd != last.dcd) mask |= 0x0020;
        if (now.rng != last.rng) mask |= 0x0100;
        last = now;
        if (mask != 0) {
            empty = 0;
            onChange_(mask);
        } else if (++empty > 100) {
            break;  // a driver that wakes without changes would make this a busy loop
        }
    }
    exited_ = true;
}

}  // namespace tandrel::serial::detail
