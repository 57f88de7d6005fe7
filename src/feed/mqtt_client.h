#pragma once
// One connection to an MQTT broker, through the MQTT library: the only file that knows it.
// Not thread-safe: one thread creates, drives and destroys a client. A client is used for one
// connection; after it is lost, a new one starts clean, so that nothing the library still holds
// is sent a second time behind the feed's back.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tandrel::feed {

struct TMqttEvents {
    std::function<void()> Connected;               // the broker accepted the connection
    std::function<void()> Lost;                    // refused, closed or broken
    std::function<void(int messageId)> Delivered;  // a QoS 1 message acknowledged
};

class TMqttClient {
  public:
    // clientId may be empty (the broker picks one). The will is sent retained, QoS 1, when the
    // connection ends without a clean close.
    TMqttClient(const std::string& clientId, TMqttEvents events);
    ~TMqttClient();
    TMqttClient(const TMqttClient&) = delete;
    TMqttClient& operator=(const TMqttClient&) = delete;

    void SetWill(const std::string& topic, std::string_view payload);
    // Begins to connect without waiting for the broker's answer; false when the attempt cannot
    // even start (no such host, no network).
    bool Connect(const std::string& host, int port, int keepAliveSeconds);
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

}  // namespace tandrel::feed
