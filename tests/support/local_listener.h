#pragma once
// Local TCP ends for printer tests (POSIX): a listener that never accepts nor answers, and a
// port nobody listens on.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tandrel::testing {

class LocalListener {
  public:
    // host: "127.0.0.1" or "::1".
    explicit LocalListener(const std::string& host) : fd_(Bound(host, port_)) {
        if (::listen(fd_, 8) != 0) throw std::runtime_error("listen");
    }
    ~LocalListener() { ::close(fd_); }
    LocalListener(const LocalListener&) = delete;
    LocalListener& operator=(const LocalListener&) = delete;
    std::uint16_t Port() const { return port_; }
    int Fd() const { return fd_; }

    // A port that was free a moment ago: connecting to it is refused.
    static std::uint16_t ClosedPort(const std::string& host) {
        std::uint16_t port = 0;
        ::close(Bound(host, port));
        return port;
    }

  private:
    static int Bound(const std::string& host, std::uint16_t& port) {
        const bool v6 = host.find(':') != std::string::npos;
        const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage storage{};
        socklen_t size = 0;
        if (v6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
            a->sin6_family = AF_INET6;
            ::inet_pton(AF_INET6, host.c_str(), &a->sin6_addr);
            size = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&storage);
            a->sin_family = AF_INET;
            ::inet_pton(AF_INET, host.c_str(), &a->sin_addr);
            size = sizeof *a;
        }
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&storage), size) != 0)
            throw std::runtime_error("bind " + host);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &size);
        port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                        : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
        return fd;
    }

    std::uint16_t port_ = 0;
    int fd_;
};

}  // namespace tandrel::testing
