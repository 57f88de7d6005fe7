#pragma once
// The plant feed: publishes the station's state and every journal line to the plant's MQTT
// broker from a thread of its own. The main thread only hands over snapshots and reads the
// connection's state; no call here waits for the broker.
//
// Topics under "tandrel/<station>/": "status" ("online"/"offline", retained, the latter also the
// connection's will), "state" (retained JSON, on a change at most 5 a second and every 60 s),
// "piece" (QoS 1 JSON, one per journal record line, in the journal's order; the cursor beside
// the journal keeps the last acknowledged line, so a restart or an outage loses none).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tandrel::feed {

// "host:port" or "host" (port 1883); "[::1]:1883" for an IPv6 address. Nothing when the text
// names no host or its port is not 1 to 65535.
struct TBrokerAddress {
    std::string Host;
    int Port = 1883;
    bool operator==(const TBrokerAddress&) const = default;
};
std::optional<TBrokerAddress> ParseBroker(std::string_view text);

// What the station shows, as the main window last saw it. Texts in Windows-1251; empty
// optionals are published as null.
struct TStationState {
    std::string Link = "up";  // "up", or the link indicator's reason
    std::optional<std::string> List;
    std::optional<std::int64_t> Rows, Remaining, Row;
    std::optional<double> Target, Position;
    std::optional<bool> InRange;
    std::string Printer = "off";  // "ok", "off", or the last failure
    std::int32_t PiecesToday = 0, PiecesHour = 0;
    bool operator==(const TStationState&) const = default;
};

// The state's message at that moment (UTF-8 JSON).
std::string StateJson(const std::string& stationUtf8, const TStationState& state,
                      const std::string& isoTime);

class TJournalFeed;

enum class TFeedLink : std::uint8_t { Off, NoBroker, Connected };

struct TFeedConfig {
    TBrokerAddress Broker;
    std::string Station;  // Windows-1251, as set; ComputerName() when empty
    std::filesystem::path JournalDir;
    int StateEveryMs = 60 * 1000;  // the state repeated even without a change
    int MaxBackoffMs = 30 * 1000;
};

class TFeed {
  public:
    TFeed() = default;
    ~TFeed();  // Stop
    TFeed(const TFeed&) = delete;
    TFeed& operator=(const TFeed&) = delete;

    // Starts the feed's thread (after stopping a running one). Reads the cursor beside the
    // journal first (without one, moves it to the journal's end); never waits for the broker.
    void Start(const TFeedConfig& config);
    // Says "offline" and closes the connection, waiting at most about half a second for the
    // broker, then ends the thread. Nothing when not started.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // The state to publish; the thread compares and sends it. Any thread, never blocks on I/O.
    void SetState(const TStationState& state);
    // The connection as last seen by the thread. Any thread.
    TFeedLink Link() const { return link_.load(); }
    // Journal lines acknowledged by the broker since Start. Any thread; for tests and benches.
    std::int64_t Acknowledged() const { return acknowledged_.load(); }

  private:
    void Run(const TFeedConfig& config, TJournalFeed& journal);

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::optional<TStationState> state_;  // under mutex_
    std::atomic<TFeedLink> link_{TFeedLink::Off};
    std::atomic<std::int64_t> acknowledged_{0};
};

}  // namespace tandrel::feed
