#include "console/nastr_feed.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/cp1251.h"
#include "console/qt_text.h"
#include "feed/feed_platform.h"

namespace tandrel::console {

TFeedRows AddFeedRows(const TAddRow& addRow) {
    constexpr int kTouchRow = 40;
    TFeedRows rows;
    // Broker and station share one row, so that the window fits a screen 800 px high.
    auto* line = new QWidget;
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    rows.Broker = new QLineEdit(line);
    rows.Broker->setObjectName(QStringLiteral("FeedBroker"));
    // Short enough to be read whole beside the station's name on a screen 1280 px wide.
    rows.Broker->setPlaceholderText(ToQ("адрес:1883 или пусто"_cp1251));
    rows.Broker->setToolTip(ToQ("адрес:1883, пусто: не отправлять"_cp1251));
    rows.Station = new QLineEdit(line);
    rows.Station->setObjectName(QStringLiteral("FeedStation"));
    rows.Station->setPlaceholderText(ToQ(feed::ComputerName()));
    auto* stationCaption = new QLabel(ToQ("Имя станции"_cp1251), line);
    stationCaption->setBuddy(rows.Station);
    for (QWidget* widget : {static_cast<QWidget*>(rows.Broker), static_cast<QWidget*>(rows.Station),
                            static_cast<QWidget*>(stationCaption)})
        widget->setMinimumHeight(kTouchRow);
    layout->addWidget(rows.Broker, 3);
    layout->addSpacing(16);
    layout->addWidget(stationCaption);
    layout->addWidget(rows.Station, 1);
    rows.Credentials = new QPushButton(ToQ("Брокер…"_cp1251));
    rows.Credentials->setObjectName(QStringLiteral("FeedCredentials"));
    // At the row's end, in two lines: a row of its own would not fit a screen 800 px high.
    rows.JournalOff = new QLabel(ToQ("Журнал не ведётся: детали не отправляются"_cp1251), line);
    rows.JournalOff->setObjectName(QStringLiteral("FeedJournalOff"));
    rows.JournalOff->setStyleSheet(QStringLiteral("color: #c00000"));
    rows.JournalOff->setWordWrap(true);
    layout->addWidget(rows.JournalOff, 2);
    addRow("Брокер MQTT"_cp1251, line, rows.Credentials);
    return rows;
}

void MarkFeed(const TFeedRows& rows, const std::string& reason, bool journalOn) {
    // The station's name is refused for its characters, the broker for its form.
    const bool station = reason.find("станции"_cp1251) != std::string::npos;
    const QString marked = QStringLiteral("background: #ffaaaa");
    rows.Broker->setStyleSheet(!reason.empty() && !station ? marked : QString());
    rows.Station->setStyleSheet(station ? marked : QString());
    rows.Broker->setToolTip(
        ToQ(reason.empty() || station ? "адрес:1883, пусто: не отправлять"_cp1251 : reason));
    rows.JournalOff->setText(
        ToQ(reason.empty() ? "Журнал не ведётся: детали не отправляются"_cp1251 : reason));
    rows.JournalOff->setVisible(!reason.empty() || !journalOn);
}

}  // namespace tandrel::console
