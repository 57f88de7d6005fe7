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

using Clock = std::chrono::steady_clock;

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

timeval Left(Clock::time_point deadline) {
    auto us =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (us < 0) us = 0;
    timeval tv;
    tv.tv_sec = static_cast<long>(us / 1000000);
    tv.tv_usec = static_cast<long>(us % 1000000);
    return tv;
}

enum class TReady { Yes, TimedOut, Failed };

// select rather than WSAPoll: older WSAPoll never reports a failed connect.
TReady Wait(SOCKET s, bool forWrite, Clock::time_point deadline) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv = Left(deadline);
    const int n =
        ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
    if (n == 0) return TReady::TimedOut;
    if (n < 0 || FD_ISSET(s, &failed)) return TReady::Failed;
    return TReady::Yes;
}

}  // namespace

void TTcpConnection::Connect(const std::string& host, std::uint16_t port, int timeoutMs) {
    Close();
    StartWinsock();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool refused = false;
    for (const TAddress& address : Resolve(host, port, deadline)) {
        const SOCKET s = ::socket(address.Family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) continue;
        u_long nonBlocking = 1;
        ::ioctlsocket(s, FIONBIO, &nonBlocking);
        int error = 0;
        if (::connect(s, reinterpret_cast<const sockaddr*>(&address.Storage), address.Size) != 0)
            error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            const TReady ready = Wait(s, true, deadline);
            error = WSAETIMEDOUT;
            if (ready != TReady::TimedOut) {
                int size = sizeof error;
                if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) !=
                    0)
                    error = ::WSAGetLastError();
                if (ready == TReady::Failed && error == 0) error = WSAECONNREFUSED;
            }
        }
        if (error == 0) {
            const BOOL on = TRUE;
            ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                         sizeof on);
            socket_ = static_cast<std::intptr_t>(s);
            return;
        }
        ::closesocket(s);
        refused = refused || error == WSAECONNREFUSED;
        if (Clock::now() >= deadline) break;
    }
    throw EPrinter(refused ? RefusedText() : NoAnswerText());
}

void TTcpConnection::Send(std::string_view bytes, int timeoutMs) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const SOCKET s = static_cast<SOCKET>(socket_);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!bytes.empty()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 65536));
        const int sent = ::send(s, bytes.data(), chunk, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
            const TReady ready = Wait(s, true, deadline);
            if (ready == TReady::TimedOut) throw EPrinter(NoAnswerText());
            if (ready == TReady::Failed) throw EPrinter(BrokenText());
        } else {
            throw EPrinter(BrokenText());
        }
    }
}

std::string TTcpConnection::Receive(int timeoutMs) {
    if (socket_ == kNone) throw EPrinter(BrokenText());
    const SOCKET s = static_cast<SOCKET>(socket_);
    const TReady ready = Wait(s, false, Clock::now() + std::chrono::milliseconds(timeoutMs));
    if (ready == TReady::TimedOut) return {};
    char buffer[1024];
    const int got = ::recv(s, buffer, sizeof buffer, 0);
    if (got > 0) return std::string(buffer, static_cast<std::size_t>(got));
    if (got == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) return {};
    throw EPrinter(BrokenText());
}

void TTcpConnection::Close() noexcept {
    if (socket_ == kNone) return;
    const SOCKET s = static_cast<SOCKET>(socket_);
    socket_ = kNone;
    // Unread bytes at close would make the system reset the connection and drop what is still
    // queued for the printer: end our side first, then take what it said.
    ::shutdown(s, SD_SEND);
    char buffer[1024];
    while (::recv(s, buffer, sizeof buffer, 0) > 0) {
    }
    ::closesocket(s);
}

}  // namespace tandrel::printer
