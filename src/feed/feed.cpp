#include "feed/feed.h"

#include "base/cp1251.h"
#include "feed/feed_json.h"
#include "feed/feed_platform.h"
#include "feed/feed_session.h"
#include "feed/mqtt_client.h"

namespace tandrel::feed {
namespace {

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
                      const std::string& isoTime, const std::optional<std::string>& feed) {
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
        .Integer("pieces_hour", s.PiecesHour)
        .Text("feed", feed);
    return json.Done();
}

std::string StationTopicName(const std::string& station) {
    return Cp1251ToUtf8(CleanStationName(station.empty() ? ComputerName() : station));
}

TFeed::TFeed() {
    TMqttClient::InitLibrary();
}

TFeed::~TFeed() {
    Stop();
}

void TFeed::Start(const TFeedConfig& config) {
    Stop();
    shared_ = std::make_shared<TShared>();
    shared_->Status.Text = FailureText({});
    acknowledged_ = 0;
    // Measured now, read on the thread: a line written after Start returns is sent.
    TJournalEnds ends;
    if (!TJournalFeed::HasCursor(config.JournalDir)) ends = TJournalFeed::Ends(config.JournalDir);
    thread_ = std::thread([this, config, shared = shared_, ends = std::move(ends)] {
        TFeedSession(config, *shared, acknowledged_, ends).Run();
    });
}

void TFeed::Stop(bool retire) {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard lock(shared_->Mutex);
        shared_->Stop = true;
        shared_->Retire = retire;
    }
    shared_->Wake.notify_all();
    thread_.join();
}

void TFeed::SetState(const TStationState& state) {
    if (!shared_) return;
    const std::lock_guard lock(shared_->Mutex);
    shared_->State = state;
}

TFeedStatus TFeed::Status() const {
    if (!shared_) return {};
    const std::lock_guard lock(shared_->Mutex);
    return shared_->Status;
}

}  // namespace tandrel::feed
