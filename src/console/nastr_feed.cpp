#include "console/nastr_feed.h"

#include <QLabel>
#include <QLineEdit>

#include "base/cp1251.h"
#include "console/qt_text.h"
#include "feed/feed_platform.h"

namespace tandrel::console {

TFeedRows AddFeedRows(const TAddRow& addRow) {
    TFeedRows rows;
    rows.Broker = new QLineEdit;
    rows.Broker->setObjectName(QStringLiteral("FeedBroker"));
    rows.Broker->setPlaceholderText(ToQ("адрес:1883, пусто: не отправлять"_cp1251));
    rows.Station = new QLineEdit;
    rows.Station->setObjectName(QStringLiteral("FeedStation"));
    rows.Station->setPlaceholderText(ToQ(feed::ComputerName()));
    rows.JournalOff = new QLabel(ToQ("Журнал не ведётся: детали не отправляются"_cp1251));
    rows.JournalOff->setObjectName(QStringLiteral("FeedJournalOff"));
    rows.JournalOff->setStyleSheet(QStringLiteral("color: #c00000"));
    addRow("Брокер MQTT"_cp1251, rows.Broker);
    addRow("Имя станции"_cp1251, rows.Station);
    addRow("", rows.JournalOff);
    return rows;
}

void MarkBroker(const TFeedRows& rows, bool refused) {
    rows.Broker->setStyleSheet(refused ? QStringLiteral("background: #ffaaaa") : QString());
    rows.Broker->setToolTip(refused ? ToQ("Нужен адрес брокера: хост:порт"_cp1251) : QString());
}

}  // namespace tandrel::console
