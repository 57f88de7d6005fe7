#pragma once
// One connection to an MQTT broker, through the MQTT library: the only file that knows it.
// Not thread-safe: one thread at a time creates, drives and destroys a client (Connect may run
// on another thread, handed over under a lock). A client is used for one connection; after it
// is lost, a new one starts clean, so that nothing the library still holds is sent a second
// time behind the feed's back.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tandrel::feed {

struct TMqttOptions {
    std::string ClientId;  // UTF-8; empty: the broker picks one
    bool Mqtt5 = true;     // else 3.1.1
    std::string User;      // UTF-8; empty: no log-in
    std::string Password;
    // TLS when CaFile is set: the broker's certificate is checked against it and against the
    // host name given to Connect. CertFile: the station's certificate and its key, one file.
    std::filesystem::path CaFile, CertFile;
    std::string WillTopic;  // sent retained, QoS 1, when the connection ends without a close
    std::string WillPayload;
};

// Why a connection ended or never began.
struct TMqttEnd {
    enum TKind : std::uint8_t {
        Network,       // no route, no answer, reset, closed without a word
        Refused,       // the broker's CONNACK refused it; Code is its reason
        Disconnected,  // the broker closed it with a DISCONNECT; Code is its reason
        Untrusted,     // TLS: the broker's certificate is not signed by the CA
        NameMismatch,  // TLS: the certificate is for another name
        Tls,           // TLS: anything else (the files, the handshake)
    };
    TKind Kind = Network;
    int Code = 0;
};

struct TMqttEvents {
    std::function<void()> Connected;     // the broker accepted the connection
    std::function<void(TMqttEnd)> Lost;  // refused, closed or broken
    // A QoS 1 message acknowledged; a reason of 0x80 or more is a refusal (MQTT 5 only).
    std::function<void(int messageId, int reason)> Delivered;
};

class TMqttClient {
  public:
    TMqttClient(const TMqttOptions& options, TMqttEvents events);
    ~TMqttClient();
    TMqttClient(const TMqttClient&) = delete;
    TMqttClient& operator=(const TMqttClient&) = delete;

    // Looks the host up (which may block for as long as the system's resolver takes) and
    // begins to connect without waiting for the broker's answer; false with why when the
    // attempt cannot even start (no such host, no network, unreadable certificate files).
    bool Connect(const std::string& host, int port, int keepAliveSeconds, TMqttEnd& why);
    // Sends and receives for up to timeoutMs; events are called from inside. False once the
    // connection is gone.
    bool Loop(int timeoutMs);
    // The message's id, or -1 when it could not be queued.
    int Publish(const std::string& topic, std::string_view payload, int qos, bool retain);
    void Disconnect();

    // Sets the library up for the process; the feed calls it once before the first client.
    static void InitLibrary();

    struct TImpl;  // the library's handle and the events, shared with its callbacks

  private:
    std::unique_ptr<TImpl> impl_;
};

// MQTT reason codes the feed acts on (CONNACK, PUBACK, DISCONNECT); 3.1.1's CONNACK codes map
// onto them.
inline constexpr int kReasonUnsupportedProtocol = 0x84;
inline constexpr int kReasonBadLogin = 0x86;
inline constexpr int kReasonNotAuthorized = 0x87;
inline constexpr int kReasonSessionTakenOver = 0x8E;
int ConnackReason(int code, bool mqtt5);

}  // namespace tandrel::feed
