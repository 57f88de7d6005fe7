#pragma once
// Brokers for the feed's tests (POSIX), on a free port of 127.0.0.1: one that accepts the
// connection and then never acknowledges a publish; one of MQTT 3.1.1 that refuses MQTT 5 as
// such brokers do (with a 3.1.1 CONNACK); and one of MQTT 5 that tells a client thrown out by
// another with its client ID so (DISCONNECT, "session taken over"). One thread serves every
// connection; what was published is kept.

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/local_listener.h"

namespace tandrel::testing {

class FakeBroker {
  public:
    enum class Kind { NeverAcknowledges, Mqtt311Only, Mqtt5 };

    explicit FakeBroker(Kind kind) : kind_(kind), listener_("127.0.0.1") {
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeBroker() {
        stop_ = true;
        thread_.join();
        for (const Client& c : clients_) ::close(c.Fd);
    }
    FakeBroker(const FakeBroker&) = delete;
    FakeBroker& operator=(const FakeBroker&) = delete;

    std::string Address() const { return "127.0.0.1:" + std::to_string(listener_.Port()); }
    int Connections() const { return connections_; }
    // "topic payload" of every publish received.
    std::vector<std::string> Published() const {
        const std::lock_guard lock(mutex_);
        return published_;
    }

  private:
    struct Client {
        int Fd;
        std::string In;
        bool Five = false;
        std::string Id;
    };

    // A variable byte integer at body[at]; at moves past it.
    static std::size_t Varint(const std::string& body, std::size_t& at) {
        std::size_t value = 0;
        for (int shift = 0; at < body.size(); shift += 7) {
            const auto byte = static_cast<unsigned char>(body[at++]);
            value |= static_cast<std::size_t>(byte & 0x7f) << shift;
            if (!(byte & 0x80)) break;
        }
        return value;
    }
    static std::size_t Length16(const std::string& body, std::size_t at) {
        return (static_cast<unsigned char>(body[at]) << 8) |
               static_cast<unsigned char>(body[at + 1]);
    }

    void Serve() {
        while (!stop_) {
            std::vector<pollfd> fds{{listener_.Fd(), POLLIN, 0}};
            for (const Client& c : clients_) fds.push_back({c.Fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept(listener_.Fd(), nullptr, nullptr);
                if (fd >= 0) clients_.push_back({fd, {}, false, {}}), ++connections_;
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                Client& c = clients_[i - 1];
                if (c.Fd < 0) continue;  // thrown out by another meanwhile
                char buffer[4096];
                const ssize_t n = ::read(c.Fd, buffer, sizeof buffer);
                if (n <= 0 || !Handle(c, std::string_view(buffer, static_cast<std::size_t>(n)))) {
                    ::close(c.Fd);
                    c.Fd = -1;
                }
            }
            std::erase_if(clients_, [](const Client& c) { return c.Fd < 0; });
        }
    }

    // False when the connection ends.
    bool Handle(Client& c, std::string_view bytes) {
        c.In += bytes;
        for (;;) {
            // A packet: its type byte, its remaining length (1 to 4 bytes of 7 bits), the rest.
            std::size_t length = 0, at = 1;
            for (int shift = 0;; shift += 7, ++at) {
                if (at >= c.In.size()) return true;
                length |= static_cast<std::size_t>(c.In[at] & 0x7f) << shift;
                if (!(c.In[at] & 0x80)) break;
            }
            ++at;
            if (c.In.size() < at + length) return true;
            const auto type = static_cast<unsigned char>(c.In[0]);
            const std::string body = c.In.substr(at, length);
            c.In.erase(0, at + length);
            switch (type >> 4) {
                case 1: {  // CONNECT: "MQTT", the level, flags, keep-alive, (properties,) the ID
                    c.Five = body.size() > 6 && body[6] == 5;
                    if (kind_ == Kind::Mqtt311Only && c.Five) {
                        Send(c, std::string("\x20\x02\x00\x01", 4));  // unacceptable protocol
                        return false;
                    }
                    std::size_t at = 10;
                    if (c.Five) at += Varint(body, at);
                    c.Id = body.substr(at + 2, Length16(body, at));
                    for (Client& other : clients_) {
                        if (&other == &c || other.Fd < 0 || other.Id != c.Id) continue;
                        if (kind_ == Kind::Mqtt5) Send(other, std::string("\xe0\x01\x8e", 3));
                        ::close(other.Fd);
                        other.Fd = -1;
                    }
                    Send(c, c.Five ? std::string("\x20\x03\x00\x00\x00", 5)
                                   : std::string("\x20\x02\x00\x00", 4));
                    break;
                }
                case 3: {  // PUBLISH: the topic, a packet id at QoS 1, (properties,) the payload
                    const std::size_t topic = Length16(body, 0);
                    const bool qos1 = (type & 0x06) != 0;
                    std::size_t payload = 2 + topic + (qos1 ? 2 : 0);
                    if (c.Five) payload += Varint(body, payload);
                    {
                        const std::lock_guard lock(mutex_);
                        published_.push_back(body.substr(2, topic) + " " + body.substr(payload));
                    }
                    if (qos1 && kind_ != Kind::NeverAcknowledges)
                        Send(c, std::string("\x40\x02", 2) + body.substr(2 + topic, 2));
                    break;
                }
                case 12:  // PINGREQ
                    Send(c, std::string("\xd0\x00", 2));
                    break;
                case 14:  // DISCONNECT
                    return false;
                default:
                    break;
            }
        }
    }

    static void Send(const Client& c, const std::string& bytes) {
        [[maybe_unused]] const ssize_t n = ::send(c.Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    Kind kind_;
    LocalListener listener_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::vector<Client> clients_;  // the serving thread's
    mutable std::mutex mutex_;
    std::vector<std::string> published_;
    std::thread thread_;
};

}  // namespace tandrel::testing
