#pragma once
// The plant feed: publishes the station's state and every journal line to the plant's MQTT
// broker from a thread of its own. The main thread only hands over snapshots and reads the
// connection's state; no call here waits for the broker.
//
// Topics under "tandrel/<station>/": "status" ("online"/"offline", retained, the latter also the
// connection's will), "state" (retained JSON at QoS 0, on a change at most 5 a second and every
// 60 s), "piece" (QoS 1 JSON, one per journal record line, in the journal's order; the cursor
// beside the journal keeps the last acknowledged line, so a restart or an outage loses none).
// MQTT 5 first, so that a broker's refusal of a piece is seen and the piece kept; 3.1.1 with a
// broker that refuses 5.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
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

// The state's message at that moment (UTF-8 JSON); feedUtf8: the feed's own trouble (a
// refusal, another computer with the station's name), null when none.
std::string StateJson(const std::string& stationUtf8, const TStationState& state,
                      const std::string& isoTime, const std::optional<std::string>& feedUtf8);

enum class TFeedLink : std::uint8_t { Off, NoBroker, Connected };

// The connection as the operator is told of it: Text follows "MQTT: " (Windows-1251).
struct TFeedStatus {
    TFeedLink Link = TFeedLink::Off;
    std::string Text;
    // A refusal or a clash of two computers: the state carries Text in its "feed" field.
    bool Trouble = false;
    bool operator==(const TFeedStatus&) const = default;
};

struct TFeedConfig {
    TBrokerAddress Broker;
    std::string Station;  // Windows-1251, as set; ComputerName() when empty
    std::filesystem::path JournalDir;
    std::string User;                // Windows-1251; empty: no log-in
    std::string Password;            // as stored
    std::filesystem::path CaFile;    // TLS when set
    std::filesystem::path CertFile;  // the station's certificate and key, PEM
    // Times; tests shorten them.
    int StateEveryMs = 60 * 1000;       // the state repeated even without a change
    int MaxBackoffMs = 30 * 1000;       // between attempts to connect
    int AckTimeoutMs = 10 * 1000;       // a publish unacknowledged this long ends the connection
    int RefusedRetryMaxMs = 60 * 1000;  // a refused piece tried again at most this far apart
    int ClashWaitMs = 60 * 1000;        // after another computer took the station's session
};

// The station's name as a topic level and client ID: UTF-8, whatever the settings file holds
// (StationNameFault's characters as "_"); ComputerName() when empty.
std::string StationTopicName(const std::string& stationCp1251);

class TFeed {
  public:
    TFeed();
    ~TFeed();  // Stop
    TFeed(const TFeed&) = delete;
    TFeed& operator=(const TFeed&) = delete;

    // Starts the feed's thread (after stopping a running one). Without a cursor the journal's
    // files are measured (no byte read) and the thread starts after their last lines: a line
    // written after Start returns is sent. Never waits for the broker or reads a journal file.
    void Start(const TFeedConfig& config);
    // Says "offline" and closes the connection, then ends the thread: within half a second
    // whatever the broker, the network or a name lookup does (a lookup in progress ends alone
    // on its own thread). retire: the station's name is going; its retained status and state
    // are cleared instead, where the broker allows it. Nothing when not started.
    void Stop(bool retire = false);
    bool Running() const { return thread_.joinable(); }

    // The state to publish; the thread compares and sends it. Any thread, never blocks on I/O.
    void SetState(const TStationState& state);
    // The connection as last seen by the thread. Any thread.
    TFeedLink Link() const { return Status().Link; }
    TFeedStatus Status() const;
    // Journal lines acknowledged by the broker since Start. Any thread; for tests and benches.
    std::int64_t Acknowledged() const { return acknowledged_.load(); }

    struct TShared;  // what the thread and the windows share, under its mutex

  private:
    std::thread thread_;
    std::shared_ptr<TShared> shared_;
    std::atomic<std::int64_t> acknowledged_{0};
};

}  // namespace tandrel::feed
