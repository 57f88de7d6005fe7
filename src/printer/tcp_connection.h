#pragma once
// One raw TCP connection with time-outs on every call: BSD sockets or Winsock, one file per
// platform. Failures raise EPrinter with the reason in Russian. Any one thread at a time.

#include <cstdint>
#include <string>
#include <string_view>

#include "printer/printer.h"

namespace tandrel::printer {

class TTcpConnection {
  public:
    TTcpConnection() = default;
    ~TTcpConnection() { Close(); }
    TTcpConnection(const TTcpConnection&) = delete;
    TTcpConnection& operator=(const TTcpConnection&) = delete;

    // Resolves host and connects to the first of its addresses that accepts, all within
    // timeoutMs. Refused, no answer, a name that cannot be resolved: EPrinter.
    void Connect(const std::string& host, std::uint16_t port, int timeoutMs);
    // All of bytes within timeoutMs, or EPrinter.
    void Send(std::string_view bytes, int timeoutMs);
    // What has arrived within timeoutMs (empty when nothing); EPrinter when the peer closed or
    // the connection broke.
    std::string Receive(int timeoutMs);
    // Sends what is queued and closes; nothing raised.
    void Close() noexcept;
    bool IsOpen() const { return socket_ != kNone; }

  private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t socket_ = kNone;
};

// The texts of the failures, shared by both platforms.
std::string RefusedText();
std::string NoAnswerText();
std::string BrokenText();
std::string UnresolvedText(const std::string& host);

}  // namespace tandrel::printer
