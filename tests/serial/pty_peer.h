#pragma once
// A pseudo-terminal for the port tests: the component opens the slave by its path, the test is
// the far end on the master.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tandrel::serial::testing {

class TPty {
  public:
    TPty() {
        char name[256];
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("openpty failed");
        path_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~TPty() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& Path() const { return path_; }
    int Slave() const { return slave_; }  // for reading the line settings back
    int Master() const { return master_; }

    void Write(std::string_view bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                WaitFor(POLLOUT, 100);
        }
    }

    // What arrives within the time (stops early once want bytes are there).
    std::string Read(std::size_t want, int timeoutMs = 2000) {
        std::string out;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < want) {
            char buffer[4096];
            const auto n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                out.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            WaitFor(POLLIN, static_cast<int>(left.count()));
        }
        return out;
    }

    // True when the master has nothing to read within the time.
    bool Silent(int ms) { return !WaitFor(POLLIN, ms); }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    termios Settings() const {
        termios t{};
        ::tcgetattr(slave_, &t);
        return t;
    }

  private:
    bool WaitFor(short events, int ms) {
        pollfd p{master_, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
};

// Threads of this process. The first call starts and ends one thread, so that helper threads
// a runtime starts with the first thread (ThreadSanitizer's) exist before anything is counted.
inline int ThreadCount() {
    static const bool warmed = [] {
        std::thread([] {}).join();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return true;
    }();
    (void)warmed;
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ++n;
    return n;
}

// CPU time this process has used, in milliseconds.
inline double ProcessCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace tandrel::serial::testing
