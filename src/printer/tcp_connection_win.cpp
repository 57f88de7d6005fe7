#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "printer/name_lookup.h"
#include "printer/tcp_connection.h"

namespace tandrel::printer {
namespace {

// At most this many of a name's addresses are tried at once.
constexpr std::size_t kMaxAddresses = 8;

// Winsock wants one start-up per process before the first call.
void StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw EPrinter(BrokenText());
}

struct TAddress {
    sockaddr_storage Storage{};
    int Size = 0;
    int Family = AF_INET;
};

std::vector<TAddress> Copy(const addrinfo* list) {
    std::vector<TAddress> out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        TAddress address;
        std::memcpy(&address.Storage, a->ai_addr, a->ai_addrlen);
        address.Size = static_cast<int>(a->ai_addrlen);
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

// The next slice of a wait: at most kStopCheckMs, never past until.
timeval Slice(TClock::time_point until) {
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(until - TClock::now()).count();
    us = std::clamp<long long>(us, 0, kStopCheckMs * 1000LL);
    timeval tv;
    tv.tv_sec = static_cast<long>(us / 1000000);
    tv.tv_usec = static_cast<long>(us % 1000000);
    return tv;
}

void CheckStop(const std::atomic<bool>* stop) {
    if (stop != nullptr && stop->load()) throw EPrinter(ClosedText(), TBound::Stop);
}

enum class TReady { Yes, TimedOut, Failed };

// select rather than WSAPoll: older WSAPoll never reports a failed connect.
TReady Wait(SOCKET s, bool forWrite, TClock::time_point until, const std::atomic<bool>* stop) {
    for (;;) {
        CheckStop(stop);
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval tv = Slice(until);
        const int n =
            ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
        if (n < 0 || (n > 0 && FD_ISSET(s, &failed))) return TReady::Failed;
        if (n > 0) return TReady::Yes;
        if (TClock::now() >= until) return TReady::TimedOut;
    }
}

int SocketError(SOCKET s) {
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0)
        return ::WSAGetLastError();
    return error;
}

}  // namespace

void TTcpConnection::Connect(const std::string& host, std::uint16_t port, TClock::time_point until,
                             const std::atomic<bool>* stop) {
    Close();
    StartWinsock();
    std::vector<TAddress> addresses = Resolve<TAddress>(host, port, until, Lookup);
    if (addresses.size() > kMaxAddresses) addresses.resize(kMaxAddresses);
    // A name whose first address drops packets must not hold back its working second one.
    std::vector<SOCKET> waiting;
    bool refused = false;
    const auto closeAll = [&waiting] {
        for (const SOCKET s : waiting) ::closesocket(s);
        waiting.clear();
    };
    for (const TAddress& address : addresses) {
        const SOCKET s = ::socket(address.Family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) continue;
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        if (::connect(s, reinterpret_cast<const sockaddr*>(&address.Storage), address.Size) == 0 ||
            ::WSAGetLastError() == WSAEWOULDBLOCK) {
            waiting.push_back(s);
            continue;
        }
        refused = refused || ::WSAGetLastError() == WSAECONNREFUSED;
        ::closesocket(s);
    }
    try {
        while (!waiting.empty()) {
            CheckStop(stop);
            if (TClock::now() >= until) break;
            fd_set ready, failed;
            FD_ZERO(&ready);
            FD_ZERO(&failed);
            for (const SOCKET s : waiting) {
                FD_SET(s, &ready);
                FD_SET(s, &failed);
            }
            timeval tv = Slice(until);
            if (::select(0, nullptr, &ready, &failed, &tv) < 0) break;
            for (std::size_t i = waiting.size(); i-- > 0;) {
                const SOCKET s = waiting[i];
                const bool isFailed = FD_ISSET(s, &failed) != 0;
                if (!isFailed && !FD_ISSET(s, &ready)) continue;
                int error = SocketError(s);
                if (isFailed && error == 0) error = WSAECONNREFUSED;
                waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
                if (error == 0) {
                    closeAll();
                    const BOOL on = TRUE;
                    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                                 sizeof on);
                    socket_ = static_cast<std::intptr_t>(s);
                    return;
                }
                refused = refused || error == WSAECONNREFUSED;
                ::closesocket(s);
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
    const SOCKET s = static_cast<SOCKET>(socket_);
    while (!bytes.empty()) {
        CheckStop(stop);
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 65536));
        const int sent = ::send(s, bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
            const TReady ready = Wait(s, true, until, stop);
            if (ready == TReady::TimedOut) throw EPrinter(NoAnswerText(), TBound::Label);
            if (ready == TReady::Failed) throw EPrinter(BrokenText());
        } else {
            throw EPrinter(BrokenText());
        }
    }
}

std::string TTcpConnection::Receive(TClock::time_point until, const std::atomic<bool>* stop) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const SOCKET s = static_cast<SOCKET>(socket_);
    const TReady ready = Wait(s, false, until, stop);
    if (ready == TReady::TimedOut) return {};
    char buffer[1024];
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got > 0) return std::string(buffer, static_cast<std::size_t>(got));
    if (got == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return {};
    throw EPrinter(BrokenText());
}

bool TTcpConnection::Finish(TClock::time_point until, const std::atomic<bool>* stop) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const SOCKET s = static_cast<SOCKET>(socket_);
    if (::shutdown(s, SD_SEND) != 0) throw EPrinter(BrokenText());
    char buffer[1024];
    for (;;) {
        const TReady ready = Wait(s, false, until, stop);
        if (ready == TReady::TimedOut) return false;
        const int got = ::recv(s, buffer, sizeof buffer, 0);
        if (got > 0) continue;
        if (got == 0) return true;
        if (::WSAGetLastError() == WSAEWOULDBLOCK) continue;
        throw EPrinter(BrokenText());
    }
}

void TTcpConnection::Close() noexcept {
    if (socket_ == kNone) return;
    ::closesocket(static_cast<SOCKET>(socket_));
    socket_ = kNone;
}

}  // namespace tandrel::printer
