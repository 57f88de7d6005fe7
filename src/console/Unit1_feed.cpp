// The main window's side of the plant feed: started from the settings, handed a snapshot of the
// station with every refresh of the operator's fields, its connection shown beside the link
// indicator. The feed runs on its own thread; nothing here waits for the broker.

#include <QLabel>

#include "base/cp1251.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/qt_text.h"
#include "console/windows_common.h"
#include "feed/feed.h"
#include "feed/journal_feed.h"

namespace tandrel::console {

void TForm1::StartFeed() {
    if (!feed_) feed_ = std::make_unique<feed::TFeed>();
    feed_->Stop();
    const auto broker = feed::ParseBroker(Settings.Broker);
    if (Settings.Broker.empty()) {
        // Off: when it comes on again, what the journal holds by then is not sent.
        feed::TJournalFeed::ForgetCursor(ProgramDirectory());
        return;
    }
    if (!broker) return;  // shown as a wrong address until it is corrected
    feed::TFeedConfig config;
    config.Broker = *broker;
    config.Station = Settings.StationName;
    config.JournalDir = ProgramDirectory();
    feed_->Start(config);
    ShowFeedState();
}

bool TForm1::ApplyFeed(const std::string& broker, const std::string& station) {
    if (!broker.empty() && !feed::ParseBroker(broker)) return false;
    if (broker == Settings.Broker && station == Settings.StationName) return true;
    Settings.Broker = broker;
    Settings.StationName = station;
    StartFeed();
    return true;
}

std::string TForm1::FeedText() const {
    if (Settings.Broker.empty()) return {};
    if (!feed_ || !feed_->Running()) return "MQTT: неверный адрес брокера"_cp1251;
    return feed_->Link() == feed::TFeedLink::Connected ? "MQTT: подключено"_cp1251
                                                       : "MQTT: нет связи с брокером"_cp1251;
}

void TForm1::ShowFeedState() {
    if (!fields_ || !fields_->FeedIndicator) return;
    const std::string text = FeedText();
    SetControlText(fields_->FeedIndicator, text);
    fields_->FeedIndicator->setVisible(!text.empty());
    if (!feed_ || !feed_->Running()) return;

    feed::TStationState s;
    const std::string noLink = "Нет связи с устройством: "_cp1251;
    const std::string link = ControlText(fields_->LinkIndicator);
    if (!fields_->LinkUp) s.Link = link.rfind(noLink, 0) == 0 ? link.substr(noLink.size()) : link;
    if (Job.RowCount > 0) {
        s.List = Job.ListName;
        s.Rows = Job.RowCount;
        s.Remaining = Job.RemainingCount;
        if (Job.CurrentRow > 0) s.Row = Job.CurrentRow;
    }
    if (fields_->Target.Has) {
        s.Target = fields_->Target.Value;
        s.InRange = fields_->Target.InRange;
    }
    if (fields_->LinkUp) s.Position = Link.CurrentPosition.load();
    s.Printer = !printerFault_.empty() ? printerFault_ : Settings.PrintLabels ? "ok" : "off";
    if (journal_) {
        const job::TPieceCounts counts = journal_->Counts();
        s.PiecesToday = counts.Today;
        s.PiecesHour = counts.LastHour;
    }
    feed_->SetState(s);
}

void TForm1::StopFeed() {
    if (feed_) feed_->Stop();
}

}  // namespace tandrel::console
