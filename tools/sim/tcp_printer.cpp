#include "sim/tcp_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tandrel::sim {
namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

TcpPrinter::TcpPrinter(std::uint16_t port) {
    listener_ = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener_) Fail("socket");
    const int on = 1;
    ::setsockopt(listener_.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(listener_.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("bind");
    if (::listen(listener_.Get(), 16) != 0) Fail("listen");
    socklen_t size = sizeof address;
    ::getsockname(listener_.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
}

void TcpPrinter::AddPollFds(std::vector<pollfd>& fds) const {
    fds.push_back({listener_.Get(), POLLIN, 0});
    for (const Client& client : clients_) fds.push_back({client.fd.Get(), POLLIN, 0});
}

void TcpPrinter::Handle(const std::vector<pollfd>& fds, std::size_t first, PrinterState state,
                        const std::function<void(const std::string&)>& log,
                        const std::function<void(const std::string&)>& save) {
    // Connections first, by the indexes AddPollFds gave them; new ones are added after.
    std::vector<bool> closed(clients_.size(), false);
    for (std::size_t i = 0; i < clients_.size() && first + 1 + i < fds.size(); ++i) {
        if (!fds[first + 1 + i].revents) continue;
        char buffer[4096];
        const ssize_t got = ::read(clients_[i].fd.Get(), buffer, sizeof buffer);
        if (got <= 0) {
            closed[i] = got == 0 || (errno != EAGAIN && errno != EINTR);
            continue;
        }
        const std::string bytes(buffer, static_cast<std::size_t>(got));
        log(bytes);
        PrinterSession::Output out = clients_[i].session.Feed(bytes, state);
        // A silent printer takes labels but never answers.
        if (!out.reply.empty()) {
            const ssize_t sent =
                ::send(clients_[i].fd.Get(), out.reply.data(), out.reply.size(), MSG_NOSIGNAL);
            (void)sent;  // a peer that has gone is seen at its next read
        }
        for (const std::string& label : out.labels) save(label);
    }
    for (std::size_t i = closed.size(); i-- > 0;)
        if (closed[i]) clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i));
    if (fds[first].revents & POLLIN) {
        for (;;) {
            const int fd =
                ::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) break;
            clients_.push_back({Fd(fd), {}});
        }
    }
}

}  // namespace tandrel::sim
