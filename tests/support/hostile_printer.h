#pragma once
// Network printers that misbehave, on a local address (POSIX): each takes connections on a
// thread of its own and answers "~HS", reads, resets or closes as it is told. A listener whose
// accept queue is full, for a connect that gets no answer at all.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/local_listener.h"

namespace tandrel::testing {

// The three host-status frames of a ready printer.
inline std::string ReadyHostStatus() {
    return "\x02"
           "030,0,0,0245,000,0,0,0,000,0,0,0\x03\r\n\x02"
           "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n\x02"
           "1234,0\x03\r\n";
}

inline sockaddr_storage LocalAddress(const std::string& host, std::uint16_t port, socklen_t& size) {
    sockaddr_storage storage{};
    if (host.find(':') != std::string::npos) {
        auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
        a->sin6_family = AF_INET6;
        a->sin6_port = htons(port);
        ::inet_pton(AF_INET6, host.c_str(), &a->sin6_addr);
        size = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&storage);
        a->sin_family = AF_INET;
        a->sin_port = htons(port);
        ::inet_pton(AF_INET, host.c_str(), &a->sin_addr);
        size = sizeof *a;
    }
    return storage;
}

// A listening socket on host (port 0: any free one).
inline int Listen(const std::string& host, std::uint16_t port, int backlog) {
    socklen_t size = 0;
    sockaddr_storage address = LocalAddress(host, port, size);
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (address.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(fd, backlog) != 0)
        throw std::runtime_error("listen on " + host);
    return fd;
}

inline std::uint16_t PortOf(int fd) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// A listener nobody accepts on, whose queue is full: a further connect gets no answer at all.
class FullListener {
  public:
    explicit FullListener(const std::string& host, std::uint16_t port = 0)
        : host_(host), fd_(Listen(host, port, 0)) {
        for (int i = 0; i < 8; ++i) {
            socklen_t size = 0;
            sockaddr_storage address = LocalAddress(host, PortOf(fd_), size);
            const int c =
                ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(c, reinterpret_cast<sockaddr*>(&address), size);
            fillers_.push_back(c);
            pollfd p{c, POLLOUT, 0};
            if (::poll(&p, 1, 300) == 0) break;  // this one got no answer: the queue is full
        }
    }
    ~FullListener() {
        for (const int c : fillers_) ::close(c);
        ::close(fd_);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;
    std::uint16_t Port() const { return PortOf(fd_); }

  private:
    std::string host_;
    int fd_;
    std::vector<int> fillers_;
};

// A printer on host that behaves as told with every connection.
class HostilePrinter {
  public:
    enum class TEnd {
        CloseAtEnd,  // reads until our side ends, then closes: a well-behaved printer
        Hold,        // stops reading and keeps the connection
        Reset,       // resets the connection
        Close,       // closes with the label half read
    };
    struct TBehaviour {
        std::optional<std::string> HostStatus = ReadyHostStatus();  // nothing: never answers
        std::size_t ReadLimit = static_cast<std::size_t>(-1);       // then End
        TEnd End = TEnd::CloseAtEnd;
        std::optional<std::string> LaterHostStatus = std::nullopt;  // the answer after the first
    };

    HostilePrinter(const std::string& host, TBehaviour behaviour, std::uint16_t port = 0)
        : fd_(Listen(host, port, 16)), behaviour_(std::move(behaviour)) {
        thread_ = std::thread([this] { Serve(); });
    }
    ~HostilePrinter() {
        stop_ = true;
        thread_.join();
        for (const int c : held_) ::close(c);
        ::close(fd_);
    }
    HostilePrinter(const HostilePrinter&) = delete;
    HostilePrinter& operator=(const HostilePrinter&) = delete;

    std::uint16_t Port() const { return PortOf(fd_); }
    // Bytes of labels received, "~HS" included.
    std::string Received() const {
        const std::lock_guard lock(lock_);
        return received_;
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) Talk(c);
        }
    }

    void Talk(int c) {
        std::size_t read = 0, asked = 0;
        std::string seen;
        char buffer[4096];
        while (!stop_ && read < behaviour_.ReadLimit) {
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const std::size_t want = std::min(sizeof buffer, behaviour_.ReadLimit - read);
            const ssize_t got = ::recv(c, buffer, want, 0);
            if (got <= 0) break;
            read += static_cast<std::size_t>(got);
            seen.append(buffer, static_cast<std::size_t>(got));
            {
                const std::lock_guard lock(lock_);
                received_.append(buffer, static_cast<std::size_t>(got));
            }
            for (auto at = seen.find("~HS"); at != std::string::npos; at = seen.find("~HS")) {
                seen.erase(0, at + 3);
                const auto& answer = asked++ > 0 && behaviour_.LaterHostStatus
                                         ? behaviour_.LaterHostStatus
                                         : behaviour_.HostStatus;
                if (answer) ::send(c, answer->data(), answer->size(), MSG_NOSIGNAL);
            }
            if (seen.size() > 2) seen.erase(0, seen.size() - 2);
        }
        switch (behaviour_.End) {
            case TEnd::Hold:
                held_.push_back(c);
                return;
            case TEnd::Reset: {
                const linger now{1, 0};
                ::setsockopt(c, SOL_SOCKET, SO_LINGER, &now, sizeof now);
                break;
            }
            case TEnd::Close: {
                // The rest of the label waits unread: the close resets it.
                pollfd p{c, POLLIN, 0};
                ::poll(&p, 1, 1000);
                break;
            }
            case TEnd::CloseAtEnd:
                break;
        }
        ::close(c);
    }

    int fd_;
    TBehaviour behaviour_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> held_;
    mutable std::mutex lock_;
    std::string received_;
};

}  // namespace tandrel::testing
