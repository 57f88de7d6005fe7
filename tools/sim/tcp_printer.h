#pragma once
// The label printer on the network: listens on 127.0.0.1, takes any number of connections, and
// hands each one's bytes to its own PrinterSession. Linux only, like the rest of the simulator.
#include <poll.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/printer_model.h"
#include "sim/pty_link.h"

namespace tandrel::sim {

class TcpPrinter {
  public:
    // port 0 takes a free one; raises std::system_error when it cannot listen.
    explicit TcpPrinter(std::uint16_t port);
    std::uint16_t Port() const { return port_; }

    // The descriptors to poll: the listener and every connection.
    void AddPollFds(std::vector<pollfd>& fds) const;
    // Handles what poll reported for the descriptors AddPollFds added from index first on;
    // every completed label goes to save.
    void Handle(const std::vector<pollfd>& fds, std::size_t first, PrinterState state,
                const std::function<void(const std::string& bytes)>& log,
                const std::function<void(const std::string& label)>& save);

  private:
    struct Client {
        Fd fd;
        PrinterSession session;
    };
    Fd listener_;
    std::uint16_t port_ = 0;
    std::vector<Client> clients_;
};

}  // namespace tandrel::sim
