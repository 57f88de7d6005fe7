#include "feed/feed.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "base/cp1251.h"
#include "feed/feed_json.h"
#include "feed/feed_platform.h"
#include "feed/journal_feed.h"
#include "feed/mqtt_client.h"

namespace tandrel::feed {
namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kInFlight = 32;   // pieces sent and not yet acknowledged
constexpr int kLoopMs = 50;             // the longest the thread sleeps in the library
constexpr milliseconds kStateGap{200};  // at most 5 states a second
constexpr milliseconds kConnectTimeout{10000};
constexpr milliseconds kFirstBackoff{1000};
constexpr milliseconds kCloseWait{500};  // the clean close's wait for "offline" to arrive
constexpr int kKeepAliveSeconds = 30;
// The cursor reaches the disk at most this often: its flush competes with the journal's, and
// what a crash loses of it is only sent twice.
constexpr milliseconds kCursorSaveGap{1000};

std::optional<std::string> Utf8(const std::optional<std::string>& cp1251) {
    if (!cp1251) return std::nullopt;
    return Cp1251ToUtf8(*cp1251);
}

}  // namespace

std::optional<TBrokerAddress> ParseBroker(std::string_view text) {
    TBrokerAddress address;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        address.Host = std::string(text.substr(1, close - 1));
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
            if (port.empty()) return std::nullopt;
        }
    } else {
        const std::size_t colon = text.rfind(':');
        address.Host = std::string(text.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = text.substr(colon + 1);
            if (port.empty()) return std::nullopt;
        }
    }
    if (address.Host.empty() || address.Host.find_first_of(" \t") != std::string::npos)
        return std::nullopt;
    if (!port.empty()) {
        int value = 0;
        for (const char c : port) {
            if (c < '0' || c > '9' || value > 65535) return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535) return std::nullopt;
        address.Port = value;
    }
    return address;
}

std::string StateJson(const std::string& station, const TStationState& s,
                      const std::string& isoTime) {
    TJsonObject json;
    json.Text("station", std::string_view(station))
        .Text("time", std::string_view(isoTime))
        .Text("link", std::string_view(Cp1251ToUtf8(s.Link)))
        .Text("list", Utf8(s.List))
        .Integer("rows", s.Rows)
        .Integer("remaining", s.Remaining)
        .Integer("row", s.Row)
        .Number("target", s.Target)
        .Number("position", s.Position)
        .Bool("in_range", s.InRange)
        .Text("printer", std::string_view(Cp1251ToUtf8(s.Printer)))
        .Integer("pieces_today", s.PiecesToday)
        .Integer("pieces_hour", s.PiecesHour);
    return json.Done();
}

TFeed::~TFeed() {
    Stop();
}

void TFeed::Start(const TFeedConfig& config) {
    Stop();
    stop_ = false;
    link_ = TFeedLink::NoBroker;
    acknowledged_ = 0;
    // The cursor is read (or set at the journal's end) now: a line written after Start returns
    // is sent, whenever the thread gets to it.
    auto journal = std::make_shared<TJournalFeed>(config.JournalDir);
    journal->Open();
    thread_ = std::thread([this, config, journal] { Run(config, *journal); });
}

void TFeed::Stop() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    link_ = TFeedLink::Off;
}

void TFeed::SetState(const TStationState& state) {
    const std::lock_guard lock(mutex_);
    state_ = state;
}

void TFeed::Run(const TFeedConfig& config, TJournalFeed& journal) {
    const std::string station =
        StationTopic(config.Station.empty() ? ComputerName() : config.Station);
    const std::string topic = "tandrel/" + station + "/";

    std::unique_ptr<TMqttClient> client;
    bool connected = false, lost = false;
    std::map<int, std::pair<std::string, std::int64_t>> inFlight;  // message id: file, line
    int closingId = -1;                                            // the clean close's "offline"
    std::optional<TStationState> published;
    TClock::time_point lastState, lastSave, attemptAt, nextAttempt = TClock::now();
    milliseconds backoff = kFirstBackoff;
    const milliseconds maxBackoff{std::max(config.MaxBackoffMs, 1)};

    TMqttEvents events;
    events.Connected = [&] {
        connected = true;
        backoff = kFirstBackoff;
        published.reset();  // a broker that lost its retained state gets it again
        client->Publish(topic + "status", "online", 1, true);
        link_ = TFeedLink::Connected;
    };
    events.Lost = [&] { lost = true; };
    events.Delivered = [&](int id) {
        if (id == closingId) closingId = -1;
        const auto it = inFlight.find(id);
        if (it == inFlight.end()) return;
        journal.Acknowledge(it->second.first, it->second.second);
        inFlight.erase(it);
        ++acknowledged_;
    };

    for (;;) {
        {
            const std::lock_guard lock(mutex_);
            if (stop_) break;
        }
        if (!client && TClock::now() >= nextAttempt) {
            client = std::make_unique<TMqttClient>(std::string(), events);
            client->SetWill(topic + "status", "offline");
            attemptAt = TClock::now();
            if (!client->Connect(config.Broker.Host, config.Broker.Port, kKeepAliveSeconds))
                lost = true;
        }
        if (client && !lost) client->Loop(kLoopMs);
        if (client && !connected && TClock::now() - attemptAt > kConnectTimeout) lost = true;
        if (lost) {
            // Whatever was in flight is sent again from the cursor on the next connection.
            client.reset();
            connected = lost = false;
            link_ = TFeedLink::NoBroker;
            inFlight.clear();
            journal.Rewind();
            nextAttempt = TClock::now() + backoff;
            backoff = std::min(backoff * 2, maxBackoff);
        }
        if (connected) {
            while (!lost && inFlight.size() < kInFlight) {
                const auto lines = journal.Next(kInFlight - inFlight.size());
                if (lines.empty()) break;
                for (const TJournalLineRef& line : lines) {
                    const auto json = PieceJson(line.Text, station, line.File, line.Number);
                    if (!json) {  // the header, or a line that is no record
                        journal.Acknowledge(line.File, line.Number);
                        continue;
                    }
                    const int id = client->Publish(topic + "piece", *json, 1, false);
                    if (id < 0) {
                        lost = true;
                        break;
                    }
                    inFlight[id] = {line.File, line.Number};
                }
            }
            std::optional<TStationState> state;
            {
                const std::lock_guard lock(mutex_);
                state = state_;
            }
            const auto at = TClock::now();
            const bool due = state && (!published || *state != *published ||
                                       at - lastState >= milliseconds(config.StateEveryMs));
            if (due && at - lastState >= kStateGap) {
                const TLocalNow local = LocalNowWithOffset();
                client->Publish(topic + "state",
                                StateJson(station, *state, IsoTime(local.At, local.OffsetSeconds)),
                                1, true);
                published = state;
                lastState = at;
            }
        }
        if (TClock::now() - lastSave >= kCursorSaveGap) {
            journal.Save();
            lastSave = TClock::now();
        }
        if (!client) {
            std::unique_lock lock(mutex_);
            wake_.wait_until(lock, std::min(nextAttempt, TClock::now() + milliseconds(kLoopMs)),
                             [this] { return stop_; });
        }
    }

    if (client && connected) {
        // A clean close: "offline" replaces the retained "online" before the connection ends.
        closingId = client->Publish(topic + "status", "offline", 1, true);
        const auto until = TClock::now() + kCloseWait;
        while (closingId >= 0 && !lost && TClock::now() < until) client->Loop(kLoopMs / 5);
        client->Disconnect();
        client->Loop(0);
    }
    journal.Save();
    link_ = TFeedLink::Off;
}

}  // namespace tandrel::feed
