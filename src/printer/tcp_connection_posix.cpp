#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "printer/name_lookup.h"
#include "printer/tcp_connection.h"

namespace tandrel::printer {
namespace {

using Clock = std::chrono::steady_clock;

struct TAddress {
    sockaddr_storage Storage{};
    socklen_t Size = 0;
    int Family = AF_INET;
};

std::vector<TAddress> Copy(const addrinfo* list) {
    std::vector<TAddress> out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        TAddress address;
        std::memcpy(&address.Storage, a->ai_addr, a->ai_addrlen);
        address.Size = a->ai_addrlen;
        address.Family = a->ai_family;
        out.push_back(address);
    }
    return out;
}

// The addresses of host (flags AI_NUMERICHOST: only when it is an address); none when unknown.
std::vector<TAddress> Lookup(const std::string& host, const std::string& service, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return {};
    auto out = Copy(list);
    ::freeaddrinfo(list);
    return out;
}

std::vector<TAddress> Resolve(const std::string& host, std::uint16_t port,
                              Clock::time_point deadline) {
    const std::string service = std::to_string(port);
    if (auto numeric = Lookup(host, service, AI_NUMERICHOST); !numeric.empty()) return numeric;
    const auto found = LookUpWithin<std::vector<TAddress>>(
        [host, service] { return Lookup(host, service, 0); }, deadline);
    if (!found || found->empty()) throw EPrinter(UnresolvedText(host));
    return *found;
}

int MsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Ready for events within the deadline; false when the time ran out.
bool Wait(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, MsLeft(deadline));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return true;  // the call that follows reports it
    }
}

}  // namespace

void TTcpConnection::Connect(const std::string& host, std::uint16_t port, int timeoutMs) {
    Close();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool refused = false;
    for (const TAddress& address : Resolve(host, port, deadline)) {
        const int fd = ::socket(address.Family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        int error = 0;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.Storage), address.Size) != 0)
            error = errno;
        if (error == EINPROGRESS) {
            error = ETIMEDOUT;
            if (Wait(fd, POLLOUT, deadline)) {
                socklen_t size = sizeof error;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
            }
        }
        if (error == 0) {
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            socket_ = fd;
            return;
        }
        ::close(fd);
        refused = refused || error == ECONNREFUSED;
        if (Clock::now() >= deadline) break;
    }
    throw EPrinter(refused ? RefusedText() : NoAnswerText());
}

void TTcpConnection::Send(std::string_view bytes, int timeoutMs) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const int fd = static_cast<int>(socket_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(fd, POLLOUT, deadline)) throw EPrinter(NoAnswerText());
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            throw EPrinter(BrokenText());
        }
    }
}

std::string TTcpConnection::Receive(int timeoutMs) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const int fd = static_cast<int>(socket_);
    if (!Wait(fd, POLLIN, Clock::now() + std::chrono::milliseconds(timeoutMs))) return {};
    char buffer[1024];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got > 0) return std::string(buffer, static_cast<std::size_t>(got));
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return {};
    throw EPrinter(BrokenText());
}

void TTcpConnection::Close() noexcept {
    if (socket_ == kNone) return;
    const int fd = static_cast<int>(socket_);
    socket_ = kNone;
    // Unread bytes at close would make the system reset the connection and drop what is still
    // queued for the printer: end our side first, then take what it said.
    ::shutdown(fd, SHUT_WR);
    char buffer[1024];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
    }
    ::close(fd);
}

}  // namespace tandrel::printer
