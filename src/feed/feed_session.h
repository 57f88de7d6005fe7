#pragma once
// The feed's thread: one broker session after another, the journal's lines in order through
// them, the state beside, and what the operator is told. Internal to the feed.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "feed/feed.h"
#include "feed/journal_feed.h"
#include "feed/mqtt_client.h"

namespace tandrel::feed {

struct TFeed::TShared {
    std::mutex Mutex;
    std::condition_variable Wake;
    bool Stop = false;
    bool Retire = false;
    std::optional<TStationState> State;
    TFeedStatus Status{TFeedLink::NoBroker, {}, false};
};

// What the operator is told (Windows-1251, after "MQTT: "): of a piece's refusal by its reason
// code, and of a connection that failed or ended.
std::string RefusalText(int reason);
std::string FailureText(const TMqttEnd& why);

// A connection begun on a thread of its own, since the library's name lookup blocks: the
// session takes the client back once it is done, or abandons it, and then the thread that
// finishes the lookup destroys it.
struct TAttempt;

class TFeedSession {
  public:
    using TClock = std::chrono::steady_clock;

    // ends: where the journal starts when it has no cursor.
    TFeedSession(const TFeedConfig& config, TFeed::TShared& shared,
                 std::atomic<std::int64_t>& acknowledged, TJournalEnds ends);
    ~TFeedSession();
    void Run();

  private:
    enum class TSent : std::uint8_t { Piece, Status, Closing };
    struct TInFlight {
        TSent Kind;
        std::string File;
        std::uint64_t End = 0;
        TClock::time_point At;
    };

    bool StopAsked();
    void Begin();
    void TakeAttempt();
    void Connected();
    void Delivered(int id, int reason);
    void Ended();
    void CheckAcknowledgements();
    void SendPieces();
    void SendState();
    void Close();
    void Show();  // the status for the windows, from the session's state

    TFeedConfig config_;
    TFeed::TShared& shared_;
    std::atomic<std::int64_t>& acknowledged_;
    TJournalEnds ends_;
    std::string station_, topic_;
    TJournalFeed journal_;
    TMqttEvents events_;

    std::unique_ptr<TMqttClient> client_;
    std::shared_ptr<TAttempt> attempt_;
    bool mqtt5_ = true;
    bool connected_ = false;
    std::optional<TMqttEnd> lost_;
    bool unacknowledged_ = false;  // a publish went unanswered: the broker is not trusted
    std::map<int, TInFlight> inFlight_;
    TClock::time_point attemptAt_, connectedAt_, nextAttempt_, lastState_, lastSave_;
    std::chrono::milliseconds backoff_;
    std::string failure_;  // why the last attempt failed (Windows-1251, after "MQTT: ")
    // A piece the broker refused: its reason, and when it is tried again.
    std::optional<int> refused_;
    TClock::time_point retryAt_;
    std::chrono::milliseconds refusedBackoff_;
    bool clash_ = false;  // another computer took the station's session
    int shortEnds_ = 0;   // connections ended by the broker soon after they began, running
    std::optional<std::pair<TStationState, std::string>> published_;
};

}  // namespace tandrel::feed
