#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "printer/name_lookup.h"
#include "printer/tcp_connection.h"

namespace tandrel::printer {
namespace {

// At most this many of a name's addresses are tried at once.
constexpr std::size_t kMaxAddresses = 8;

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

// The addresses of host, or only when it is an address itself; none when unknown.
std::vector<TAddress> Lookup(const std::string& host, const std::string& service, bool numeric) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = (numeric ? AI_NUMERICHOST : 0) | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0) return {};
    auto out = Copy(list);
    ::freeaddrinfo(list);
    return out;
}

int SliceMs(TClock::time_point until) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - TClock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kStopCheckMs));
}

void CheckStop(const std::atomic<bool>* stop) {
    if (stop != nullptr && stop->load()) throw EPrinter(ClosedText(), TBound::Stop);
}

// Ready for events by then; false when the time ran out.
bool Wait(int fd, short events, TClock::time_point until, const std::atomic<bool>* stop) {
    for (;;) {
        CheckStop(stop);
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, SliceMs(until));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return true;  // the call that follows reports it
        if (TClock::now() >= until) return false;
    }
}

int SocketError(int fd) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

// Bytes we sent that the peer has not acknowledged yet.
int Unacknowledged(int fd) {
    int queued = 0;
    if (::ioctl(fd, SIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

}  // namespace

void TTcpConnection::Connect(const std::string& host, std::uint16_t port, TClock::time_point until,
                             const std::atomic<bool>* stop) {
    Close();
    std::vector<TAddress> addresses = Resolve<TAddress>(host, port, until, Lookup);
    if (addresses.size() > kMaxAddresses) addresses.resize(kMaxAddresses);
    // A name whose first address drops packets must not hold back its working second one.
    std::vector<pollfd> waiting;
    bool refused = false;
    const auto closeAll = [&waiting] {
        for (const pollfd& p : waiting) ::close(p.fd);
        waiting.clear();
    };
    for (const TAddress& address : addresses) {
        const int fd = ::socket(address.Family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) continue;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.Storage), address.Size) == 0 ||
            errno == EINPROGRESS) {
            waiting.push_back({fd, POLLOUT, 0});
            continue;
        }
        refused = refused || errno == ECONNREFUSED;
        ::close(fd);
    }
    try {
        while (!waiting.empty()) {
            CheckStop(stop);
            if (TClock::now() >= until) break;
            for (pollfd& p : waiting) p.revents = 0;
            if (::poll(waiting.data(), waiting.size(), SliceMs(until)) < 0 && errno != EINTR) break;
            for (std::size_t i = waiting.size(); i-- > 0;) {
                if (waiting[i].revents == 0) continue;
                const int fd = waiting[i].fd;
                const int error = SocketError(fd);
                waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
                if (error == 0) {
                    closeAll();
                    const int on = 1;
                    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    socket_ = fd;
                    return;
                }
                refused = refused || error == ECONNREFUSED;
                ::close(fd);
            }
        }
    } catch (...) {
        closeAll();
        throw;
    }
    const bool timedOut = !waiting.empty();
    closeAll();
    if (timedOut || !refused) throw EPrinter(NoAnswerText(), TBound::Connect);
    throw EPrinter(RefusedText());
}

void TTcpConnection::Send(std::string_view bytes, TClock::time_point until,
                          const std::atomic<bool>* stop) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const int fd = static_cast<int>(socket_);
    while (!bytes.empty()) {
        CheckStop(stop);
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!Wait(fd, POLLOUT, until, stop)) throw EPrinter(NoAnswerText(), TBound::Label);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            throw EPrinter(BrokenText());
        }
    }
}

std::string TTcpConnection::Receive(TClock::time_point until, const std::atomic<bool>* stop) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const int fd = static_cast<int>(socket_);
    if (!Wait(fd, POLLIN, until, stop)) return {};
    char buffer[1024];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got > 0) return std::string(buffer, static_cast<std::size_t>(got));
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return {};
    throw EPrinter(BrokenText());
}

bool TTcpConnection::Finish(TClock::time_point until, const std::atomic<bool>* stop) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const int fd = static_cast<int>(socket_);
    if (::shutdown(fd, SHUT_WR) != 0) throw EPrinter(BrokenText());
    char buffer[1024];
    for (;;) {
        if (!Wait(fd, POLLIN, until, stop)) return false;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (got < 0) throw EPrinter(BrokenText());
        break;
    }
    // Its close may come before our last bytes reached it, which it then refuses with a reset.
    while (SocketError(fd) == 0 && Unacknowledged(fd) > 0) {
        CheckStop(stop);
        if (TClock::now() >= until) throw EPrinter(BrokenText());
        ::usleep(2000);
    }
    if (SocketError(fd) != 0) throw EPrinter(BrokenText());
    return true;
}

void TTcpConnection::Close() noexcept {
    if (socket_ == kNone) return;
    ::close(static_cast<int>(socket_));
    socket_ = kNone;
}

}  // namespace tandrel::printer
