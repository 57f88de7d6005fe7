#include "feed/feed_session.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "base/cp1251.h"
#include "feed/feed_check.h"
#include "feed/feed_json.h"
#include "feed/feed_platform.h"

namespace tandrel::feed {

struct TAttempt {
    std::mutex Mutex;
    std::unique_ptr<TMqttClient> Client;
    bool Done = false, Abandoned = false, Ok = false;
    TMqttEnd Why;
};

namespace {

using std::chrono::milliseconds;

constexpr int kLoopMs = 50;             // the longest the thread sleeps in the library
constexpr milliseconds kStateGap{200};  // at most 5 states a second
constexpr milliseconds kConnectTimeout{10000};
constexpr milliseconds kFirstBackoff{1000};
constexpr milliseconds kCloseWait{300};  // "offline" to the broker, within the stop's half second
// A connection this short that the broker ended may have been taken by another computer.
constexpr milliseconds kShortConnection{120 * 1000};
constexpr int kKeepAliveSeconds = 30;
constexpr int kOwnEnd = -1;  // a connection the feed itself gave up
// Under MQTT 5 one piece at a time: a refused piece must hold every later one, and a later one
// already sent would be delivered before it. 3.1.1 cannot tell, so it keeps a window.
constexpr std::size_t kWindow5 = 1, kWindow311 = 32;
// The cursor reaches the disk at most this often: its flush competes with the journal's, and
// what a crash loses of it is only sent twice.
constexpr milliseconds kCursorSaveGap{1000};

}  // namespace

std::string RefusalText(int reason) {
    switch (reason) {
        case kReasonNotAuthorized:
            return "нет прав"_cp1251;
        case 0x97:
            return "превышена квота"_cp1251;
        case 0x95:
            return "сообщение слишком велико"_cp1251;
        default: {
            char code[16];
            std::snprintf(code, sizeof code, "0x%02X", reason);
            return "код "_cp1251 + code;
        }
    }
}

std::string FailureText(const TMqttEnd& why) {
    switch (why.Kind) {
        case TMqttEnd::Refused:
            if (why.Code == kReasonBadLogin || why.Code == kReasonNotAuthorized)
                return "брокер отклонил вход: неверное имя или пароль"_cp1251;
            return "брокер отклонил подключение: "_cp1251 + RefusalText(why.Code);
        case TMqttEnd::Untrusted:
            return "сертификат брокера не заверен центром"_cp1251;
        case TMqttEnd::NameMismatch:
            return "сертификат брокера выдан другому имени"_cp1251;
        case TMqttEnd::Tls:
            return "ошибка TLS"_cp1251;
        default:
            return "нет связи с брокером"_cp1251;
    }
}

TFeedSession::TFeedSession(const TFeedConfig& config, TFeed::TShared& shared,
                           std::atomic<std::int64_t>& acknowledged, TJournalEnds ends)
    : config_(config),
      shared_(shared),
      acknowledged_(acknowledged),
      ends_(std::move(ends)),
      station_(StationTopicName(config.Station)),
      topic_("tandrel/" + station_ + "/"),
      journal_(config.JournalDir),
      backoff_(kFirstBackoff),
      refusedBackoff_(kFirstBackoff) {
    events_.Connected = [this] { Connected(); };
    events_.Lost = [this](TMqttEnd why) {
        if (!lost_) lost_ = why;
    };
    events_.Delivered = [this](int id, int reason) { Delivered(id, reason); };
    failure_ = FailureText({});
}

TFeedSession::~TFeedSession() = default;

bool TFeedSession::StopAsked() {
    const std::lock_guard lock(shared_.Mutex);
    return shared_.Stop;
}

void TFeedSession::Show() {
    TFeedStatus status;
    status.Link = connected_ ? TFeedLink::Connected : TFeedLink::NoBroker;
    if (clash_) {
        status.Text =
            "станция «"_cp1251 + config_.Station + "» подключена с другого компьютера"_cp1251;
        status.Trouble = true;
    } else if (!connected_) {
        status.Text = unacknowledged_ ? "брокер не подтверждает"_cp1251 : failure_;
    } else if (refused_) {
        status.Text = "брокер отклоняет: "_cp1251 + RefusalText(*refused_);
        status.Trouble = true;
    } else {
        status.Text = unacknowledged_ ? "брокер не подтверждает"_cp1251 : "подключено"_cp1251;
    }
    const std::lock_guard lock(shared_.Mutex);
    shared_.Status = status;
}

void TFeedSession::Begin() {
    if (std::string fault = TlsFilesFault(config_.CaFile, config_.CertFile); !fault.empty()) {
        // Looked at again with every attempt: IT may put the right file in place meanwhile.
        failure_ = std::move(fault);
        nextAttempt_ = TClock::now() + backoff_;
        backoff_ = std::min(backoff_ * 2, milliseconds(std::max(config_.MaxBackoffMs, 1)));
        Show();
        return;
    }
    TMqttOptions options;
    options.ClientId = "tandrel-" + station_;
    options.Mqtt5 = mqtt5_;
    options.User = Cp1251ToUtf8(config_.User);
    options.Password = config_.Password;
    options.CaFile = config_.CaFile;
    options.CertFile = config_.CertFile;
    options.WillTopic = topic_ + "status";
    options.WillPayload = "offline";
    auto attempt = std::make_shared<TAttempt>();
    attempt->Client = std::make_unique<TMqttClient>(options, events_);
    attemptAt_ = TClock::now();
    attempt_ = attempt;
    std::thread([attempt, host = config_.Broker.Host, port = config_.Broker.Port] {
        // The client is the attempt's until Done: nobody else touches it meanwhile.
        TMqttEnd why;
        const bool ok = attempt->Client->Connect(host, port, kKeepAliveSeconds, why);
        std::unique_ptr<TMqttClient> abandoned;
        {
            const std::lock_guard lock(attempt->Mutex);
            attempt->Done = true;
            attempt->Ok = ok;
            attempt->Why = why;
            if (attempt->Abandoned) abandoned = std::move(attempt->Client);
        }
    }).detach();
}

void TFeedSession::TakeAttempt() {
    const std::shared_ptr<TAttempt> attempt = attempt_;  // outlives the lock below
    const std::lock_guard lock(attempt->Mutex);
    if (!attempt_->Done) {
        if (TClock::now() - attemptAt_ > kConnectTimeout) {
            // A lookup that hangs: left to end alone; the next attempt waits its turn.
            attempt_->Abandoned = true;
            attempt_.reset();
            lost_ = TMqttEnd{TMqttEnd::Network, kOwnEnd};
        }
        return;
    }
    client_ = std::move(attempt_->Client);
    if (!attempt_->Ok) lost_ = attempt_->Why;
    attempt_.reset();
}

void TFeedSession::Connected() {
    connected_ = true;
    connectedAt_ = TClock::now();
    backoff_ = kFirstBackoff;
    published_.reset();       // a broker that lost its retained state gets it again
    retryAt_ = connectedAt_;  // a refused piece is tried again on every new connection
    const int id = client_->Publish(topic_ + "status", "online", 1, true);
    if (id >= 0) inFlight_[id] = {TSent::Status, {}, 0, connectedAt_};
    Show();
}

void TFeedSession::Delivered(int id, int reason) {
    const auto it = inFlight_.find(id);
    if (it == inFlight_.end()) return;
    const TInFlight sent = it->second;
    inFlight_.erase(it);
    unacknowledged_ = false;
    if (reason >= 0x80) {
        if (sent.Kind == TSent::Piece) {
            // Not delivered: the cursor stays before it, and it holds every later piece.
            refused_ = reason;
            retryAt_ = TClock::now() + refusedBackoff_;
            refusedBackoff_ =
                std::min(refusedBackoff_ * 2, milliseconds(config_.RefusedRetryMaxMs));
            journal_.Rewind();
        } else if (sent.Kind == TSent::Status) {
            refused_ = reason;
        }
    } else if (sent.Kind == TSent::Piece) {
        journal_.Acknowledge(sent.File, sent.End);
        ++acknowledged_;
        refused_.reset();
        refusedBackoff_ = kFirstBackoff;
    }
    Show();
}

void TFeedSession::Ended() {
    const TMqttEnd why = *lost_;
    const auto now = TClock::now();
    const bool wasUp = connected_;
    client_.reset();
    connected_ = false;
    lost_.reset();
    inFlight_.clear();
    journal_.Rewind();
    if (why.Kind == TMqttEnd::Refused && why.Code == kReasonUnsupportedProtocol && mqtt5_) {
        mqtt5_ = false;  // a broker of MQTT 3.1.1: refusals can no longer be seen
        nextAttempt_ = now;
        return;
    }
    failure_ = FailureText(why);
    nextAttempt_ = now + backoff_;
    backoff_ = std::min(backoff_ * 2, milliseconds(std::max(config_.MaxBackoffMs, 1)));
    if (why.Kind == TMqttEnd::Disconnected && why.Code == kReasonSessionTakenOver) {
        clash_ = true;
        nextAttempt_ = now + milliseconds(config_.ClashWaitMs);
    } else if (wasUp && why.Kind == TMqttEnd::Network && why.Code != kOwnEnd &&
               now - connectedAt_ < kShortConnection) {
        // Closed without a word soon after it began, twice running: under 3.1.1 (and by brokers
        // that do not send the reason) a takeover cannot be told from a lost connection, so
        // two computers with one name then take turns at most about once a minute. Once is
        // a broker's restart as well, which must not cost a minute.
        if (++shortEnds_ >= 2) nextAttempt_ = now + milliseconds(config_.ClashWaitMs);
    }
    Show();
}

void TFeedSession::CheckAcknowledgements() {
    const auto now = TClock::now();
    for (const auto& [id, sent] : inFlight_) {
        if (now - sent.At < milliseconds(config_.AckTimeoutMs)) continue;
        unacknowledged_ = true;
        lost_ = TMqttEnd{TMqttEnd::Network, kOwnEnd};
        return;
    }
}

void TFeedSession::SendPieces() {
    const std::size_t window = mqtt5_ ? kWindow5 : kWindow311;
    if (refused_ && TClock::now() < retryAt_) return;
    std::size_t pieces = 0;
    for (const auto& [id, sent] : inFlight_) pieces += sent.Kind == TSent::Piece;
    while (!lost_ && pieces < window) {
        const auto lines = journal_.Next(window - pieces);
        if (lines.empty()) break;
        for (const TJournalLineRef& line : lines) {
            if (line.Moment.empty()) {  // the header, or a line that is no record
                journal_.Acknowledge(line.File, line.End);
                continue;
            }
            const std::string id =
                station_ + "/" + line.File + "/" + line.Moment + "/" + std::to_string(line.K);
            const auto json = PieceJson(line.Text, id);
            const int mid = json ? client_->Publish(topic_ + "piece", *json, 1, false) : -1;
            if (mid < 0) {
                lost_ = TMqttEnd{};
                break;
            }
            inFlight_[mid] = {TSent::Piece, line.File, line.End, TClock::now()};
            ++pieces;
        }
    }
    // A refused piece sent again waits for its answer before anything else is tried.
    if (refused_ && pieces > 0) retryAt_ = TClock::time_point::max();
}

void TFeedSession::SendState() {
    std::optional<TStationState> state;
    TFeedStatus status;
    {
        const std::lock_guard lock(shared_.Mutex);
        state = shared_.State;
        status = shared_.Status;
    }
    if (!state) return;
    const std::string trouble = status.Trouble ? status.Text : std::string();
    const auto at = TClock::now();
    const bool due = !published_ || published_->first != *state || published_->second != trouble ||
                     at - lastState_ >= milliseconds(config_.StateEveryMs);
    if (!due || at - lastState_ < kStateGap) return;
    const TLocalNow local = LocalNowWithOffset();
    const std::optional<std::string> feed =
        trouble.empty() ? std::nullopt : std::optional(Cp1251ToUtf8(trouble));
    // At QoS 0, so that the state never takes the pieces' window of unacknowledged messages.
    client_->Publish(topic_ + "state",
                     StateJson(station_, *state, IsoTime(local.At, local.OffsetSeconds), feed), 0,
                     true);
    published_ = {*state, trouble};
    lastState_ = at;
}

void TFeedSession::Run() {
    journal_.Open(ends_);
    Show();
    while (!StopAsked()) {
        const auto now = TClock::now();
        if (!client_ && !attempt_ && now >= nextAttempt_) Begin();
        if (attempt_) TakeAttempt();
        if (client_ && !lost_) client_->Loop(kLoopMs);
        if (client_ && !connected_ && !lost_ && TClock::now() - attemptAt_ > kConnectTimeout)
            lost_ = TMqttEnd{TMqttEnd::Network, kOwnEnd};
        if (connected_ && !lost_) CheckAcknowledgements();
        if (lost_) Ended();
        if (connected_) {
            if (TClock::now() - connectedAt_ >= kShortConnection) {
                shortEnds_ = 0;
                if (clash_) {
                    clash_ = false;
                    Show();
                }
            }
            SendPieces();
            if (!lost_) SendState();
        }
        if (TClock::now() - lastSave_ >= kCursorSaveGap) {
            journal_.Save();
            lastSave_ = TClock::now();
        }
        if (!client_) {
            std::unique_lock lock(shared_.Mutex);
            shared_.Wake.wait_until(lock, TClock::now() + milliseconds(kLoopMs),
                                    [this] { return shared_.Stop; });
        }
    }
    Close();
}

void TFeedSession::Close() {
    if (const std::shared_ptr<TAttempt> attempt = std::move(attempt_)) {
        const std::lock_guard lock(attempt->Mutex);
        attempt->Abandoned = true;
        if (attempt->Done) client_ = std::move(attempt->Client);
    }
    bool retire = false;
    {
        const std::lock_guard lock(shared_.Mutex);
        retire = shared_.Retire;
    }
    if (client_ && connected_ && !lost_) {
        // A clean close: "offline" replaces the retained "online" before the connection ends;
        // a station whose name goes leaves nothing retained behind.
        const auto now = TClock::now();
        const auto say = [&](const std::string& topic, std::string_view payload) {
            const int id = client_->Publish(topic_ + topic, payload, 1, true);
            if (id >= 0) inFlight_[id] = {TSent::Closing, {}, 0, now};
        };
        if (retire) {
            say("status", "");
            say("state", "");
        } else {
            say("status", "offline");
        }
        const auto until = now + kCloseWait;
        const auto closing = [this] {
            return std::any_of(inFlight_.begin(), inFlight_.end(),
                               [](const auto& sent) { return sent.second.Kind != TSent::Status; });
        };
        while (closing() && !lost_ && TClock::now() < until) client_->Loop(kLoopMs / 5);
        client_->Disconnect();
        client_->Loop(0);
    }
    client_.reset();
    journal_.Save();
    const std::lock_guard lock(shared_.Mutex);
    shared_.Status = {TFeedLink::Off, {}, false};
}

}  // namespace tandrel::feed
