#pragma once
// Modem-line changes on Linux: a thread that blocks in TIOCMIWAIT (which poll() cannot wait
// for) and reads the kernel's line counters after each wake-up. Only for drivers that keep
// those counters (real UARTs, most USB adapters); a pseudo-terminal gets no thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace tandrel::serial::detail {

class TModemWatch {
  public:
    // onChange receives the system event bits (EV_CTS, EV_DSR, EV_RLSD, EV_RING) of each change,
    // on the watch thread.
    TModemWatch(int fd, std::function<void(std::uint32_t)> onChange);
    ~TModemWatch();  // Stop()
    TModemWatch(const TModemWatch&) = delete;
    TModemWatch& operator=(const TModemWatch&) = delete;

    // Ends the thread: TIOCMIWAIT only returns on a line change or a signal, so the thread is
    // signalled until it has left. Any thread but the watch thread; idempotent.
    void Stop();

  private:
    void Run(int fd);

    std::function<void(std::uint32_t)> onChange_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> exited_{false};
    std::thread thread_;
};

}  // namespace tandrel::serial::detail
