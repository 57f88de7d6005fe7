#pragma once
// A scripted positioning device on the far end of a pseudo-terminal: the program opens Path(),
// the peer answers each request with the next reply of its script, on its own thread.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace tandrel::link::testing {

class TDevicePeer {
  public:
    using Clock = std::chrono::steady_clock;

    TDevicePeer() {
        char name[256];
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        path_ = name;
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);  // no echo of what the peer writes, before the program opens it
        ::tcsetattr(slave_, TCSANOW, &t);
        if (::pipe(wake_) != 0) throw std::runtime_error("pipe failed");
        thread_ = std::thread([this] { Run(); });
    }
    ~TDevicePeer() {
        const char c = 0;
        [[maybe_unused]] auto n = ::write(wake_[1], &c, 1);
        thread_.join();
        ::close(wake_[0]);
        ::close(wake_[1]);
        ::close(master_);
        ::close(slave_);
    }
    TDevicePeer(const TDevicePeer&) = delete;
    TDevicePeer& operator=(const TDevicePeer&) = delete;

    const std::string& Path() const { return path_; }

    // Replies to a request, one per request; the last one repeats; "" leaves a request unanswered.
    void Answer(char request, std::vector<std::string> replies) {
        std::lock_guard lock(mutex_);
        script_[request] = std::move(replies);
    }
    void AnswerStandard() {
        Answer('N', {"N12345_"});
        Answer('M', {"M200_"});
        Answer('B', {"B3050_"});
        Answer('D', {"D1_"});
        Answer('V', {"V2.1_"});
        Answer('T', {"T1000_"});
        Answer('S', {"S0_"});
    }
    // Bytes from the device, written at once.
    void Send(std::string_view bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const auto n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0) done += static_cast<std::size_t>(n);
        }
    }
    // Requests received so far: single letters, and move strings whole ("****1200#").
    std::vector<std::string> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::size_t RequestCount() {
        std::lock_guard lock(mutex_);
        return requests_.size();
    }
    bool WaitRequests(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
    }
    // Called on the peer's thread for every request, before it is answered.
    void SetOnRequest(std::function<void(const std::string&)> fn) {
        std::lock_guard lock(mutex_);
        onRequest_ = std::move(fn);
    }

  private:
    void Run() {
        std::string move;
        for (;;) {
            pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(p, 2, -1) < 0) continue;
            if (p[1].revents) return;
            if (!(p[0].revents & POLLIN)) {
                // The program's side is closed: POLLHUP until it opens again.
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            char buffer[256];
            const auto n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buffer[i];
                if (!move.empty() || c == '*') {
                    move += c;
                    if (c == '#') Request(std::exchange(move, {}));
                } else {
                    Request(std::string(1, c));
                }
            }
        }
    }
    void Request(const std::string& request) {
        std::string reply;
        {
            std::lock_guard lock(mutex_);
            if (onRequest_) onRequest_(request);
            requests_.push_back(request);
            auto it = script_.find(request[0]);
            if (request.size() == 1 && it != script_.end() && !it->second.empty()) {
                reply = it->second.front();
                if (it->second.size() > 1) it->second.erase(it->second.begin());
            }
        }
        changed_.notify_all();
        Send(reply);
    }

    int master_ = -1, slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<char, std::vector<std::string>> script_;
    std::vector<std::string> requests_;
    std::function<void(const std::string&)> onRequest_;
    std::thread thread_;
};

}  // namespace tandrel::link::testing
