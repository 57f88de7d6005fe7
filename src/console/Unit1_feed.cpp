// The main window's side of the plant feed: started from the settings, handed a snapshot of the
// station with every refresh of the operator's fields, its connection shown beside the link
// indicator. The feed runs on its own thread; nothing here waits for the broker.

#include <QLabel>

#include "base/cp1251.h"
#include "base/error.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/qt_text.h"
#include "console/windows_common.h"
#include "feed/feed.h"
#include "feed/feed_check.h"
#include "feed/feed_json.h"
#include "feed/feed_secret.h"
#include "feed/journal_feed.h"

namespace tandrel::console {
namespace {

feed::TFeedConfig ConfigOf(const TFeedSetup& setup, const feed::TBrokerAddress& broker) {
    feed::TFeedConfig config;
    config.Broker = broker;
    config.Station = setup.Station;
    config.JournalDir = ProgramDirectory();
    config.User = setup.User;
    config.CaFile = setup.CaFile;
    config.CertFile = setup.CertFile;
    // A password that cannot be read back (another user's file) logs in without one, and the
    // broker's refusal says so.
    config.Password =
        setup.Password.value_or(feed::LoadPassword(ProgramDirectory()).value_or(std::string()));
    return config;
}

}  // namespace

void TForm1::SettleStationName() {
    const std::string fault = feed::StationNameFault(Settings.StationName);
    if (fault.empty()) return;
    Settings.StationName = feed::CleanStationName(Settings.StationName);
    ShowStatus(fault + ": они заменены на «_» (\""_cp1251 + Settings.StationName + "\")", true);
}

TFeedSetup TForm1::FeedSetup() const {
    return {Settings.Broker,     Settings.StationName,  Settings.MqttUser,
            Settings.MqttCaFile, Settings.MqttCertFile, std::nullopt};
}

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
    feed_->Start(ConfigOf(FeedSetup(), *broker));
    ShowFeedState();
}

std::string TForm1::ApplyFeed(const TFeedSetup& setup) {
    if (!setup.Broker.empty() && !feed::ParseBroker(setup.Broker))
        return "Нужен адрес брокера: хост:порт"_cp1251;
    if (std::string fault = feed::StationNameFault(setup.Station); !fault.empty()) return fault;
    if (setup.Password) {
        try {
            feed::StorePassword(ProgramDirectory(), *setup.Password);
        } catch (const Exception& e) {
            return e.what();
        }
    }
    const TFeedSetup now = FeedSetup();
    if (!setup.Password && setup.Broker == now.Broker && setup.Station == now.Station &&
        setup.User == now.User && setup.CaFile == now.CaFile && setup.CertFile == now.CertFile)
        return {};
    // Another name: the old one's tile goes from the board (its retained messages cleared
    // through the connection that has the right to them).
    const bool renamed =
        feed::StationTopicName(setup.Station) != feed::StationTopicName(Settings.StationName);
    if (feed_ && renamed) feed_->Stop(true);
    Settings.Broker = setup.Broker;
    Settings.StationName = setup.Station;
    Settings.MqttUser = setup.User;
    Settings.MqttCaFile = setup.CaFile;
    Settings.MqttCertFile = setup.CertFile;
    StartFeed();
    return {};
}

std::string TForm1::CheckFeed(const TFeedSetup& setup, std::chrono::milliseconds limit) {
    const auto broker = feed::ParseBroker(setup.Broker);
    if (!broker) return "Нужен адрес брокера: хост:порт"_cp1251;
    return feed::CheckBroker(ConfigOf(setup, *broker), limit);
}

std::string TForm1::FeedText() const {
    if (Settings.Broker.empty()) return {};
    if (!feed_ || !feed_->Running()) return "MQTT: неверный адрес брокера"_cp1251;
    return "MQTT: "_cp1251 + feed_->Status().Text;
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
