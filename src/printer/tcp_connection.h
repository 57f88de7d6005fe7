#pragma once
// One raw TCP connection where every call ends by a time given to it, or at once when the
// program closes (stop): BSD sockets or Winsock, one file per platform. Failures raise EPrinter
// with the reason in Russian. Any one thread at a time.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "printer/printer.h"

namespace tandrel::printer {

class TTcpConnection {
  public:
    TTcpConnection() = default;
    ~TTcpConnection() { Close(); }
    TTcpConnection(const TTcpConnection&) = delete;
    TTcpConnection& operator=(const TTcpConnection&) = delete;

    // Resolves host and connects to all of its addresses at once; the first that accepts is
    // kept. Refused, a name that cannot be resolved: EPrinter; no answer by then: EPrinter
    // fired Connect.
    void Connect(const std::string& host, std::uint16_t port, TClock::time_point until,
                 const std::atomic<bool>* stop);
    // All of bytes by then, or EPrinter (fired Label when the time ran out).
    void Send(std::string_view bytes, TClock::time_point until, const std::atomic<bool>* stop);
    // What arrives until then (empty when nothing); EPrinter when the peer closed or the
    // connection broke.
    std::string Receive(TClock::time_point until, const std::atomic<bool>* stop);
    // Ends our side and awaits the peer's close, dropping what it sends. True when it closed
    // having taken every byte, false when it had not closed by then; EPrinter when the
    // connection was reset or broke.
    bool Finish(TClock::time_point until, const std::atomic<bool>* stop);
    // Closes at once; nothing raised.
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

// The numeric addresses a host name stands for, in place of the system's lookup; tests set it
// to give one name several addresses. Empty: the system's lookup. Set before any connect.
using THostLookup = std::function<std::vector<std::string>(const std::string& host)>;
void SetHostLookup(THostLookup lookup);
const THostLookup& HostLookup();

// How long one slice of a wait lasts, so that a closing program is noticed.
inline constexpr int kStopCheckMs = 50;

}  // namespace tandrel::printer
