// The plant feed: its messages, the journal cursor, and the feed against a real mosquitto.

#include "feed/feed.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "base/cp1251.h"
#include "base/files.h"
#include "feed/feed_json.h"
#include "feed/journal_feed.h"
#include "job/journal.h"
#include "support/mqtt_broker.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tandrel;
using tandrel::testing::TempDir;

// Three hours east of UTC, without a time zone database.
void MoscowTime() {
    setenv("TZ", "MSK-3", 1);
    tzset();
}

std::string Line(const char* utf8) {
    return Utf8ToCp1251(utf8);
}

TEST(FeedJson, PieceOfEachKindOfJournalLine) {
    MoscowTime();
    const struct {
        const char* line;
        const char* json;  // "" for none
    } rows[] = {
        {"09.12.2026;23:45:39;Заказ \"12\";3;1502,5;-2;1500,5;да;нет;напечатана",
         R"({"id":"St/journal-2026-12.csv/7","time":"2026-12-09T23:45:39+03:00",)"
         R"("list":"Заказ \"12\"","row":3,"size":1502.5,"correction":-2,"target":1500.5,)"
         R"("in_range":true,"again":false,"label":"напечатана","piece":true})"},
        {"01.01.2027;00:00:01;a.txt;;3000;;3000;да;нет;не напечатана",
         R"({"id":"St/journal-2026-12.csv/7","time":"2027-01-01T00:00:01+03:00",)"
         R"("list":"a.txt","row":null,"size":3000,"correction":null,"target":3000,)"
         R"("in_range":true,"again":false,"label":"не напечатана","piece":false})"},
        {"09.12.2026;08:00:00;a.txt;4;5000;0;5000;нет;да;Принтер: нет бумаги",
         R"({"id":"St/journal-2026-12.csv/7","time":"2026-12-09T08:00:00+03:00",)"
         R"("list":"a.txt","row":4,"size":5000,"correction":0,"target":5000,)"
         R"("in_range":false,"again":true,"label":"Принтер: нет бумаги","piece":false})"},
        // A queued label's outcome, after its step's line: never a piece of its own.
        {"09.12.2026;23:45:41;a.txt;3;1502,5;-2;1500,5;да;да;итог: напечатана",
         R"({"id":"St/journal-2026-12.csv/7","time":"2026-12-09T23:45:41+03:00",)"
         R"("list":"a.txt","row":3,"size":1502.5,"correction":-2,"target":1500.5,)"
         R"("in_range":true,"again":true,"label":"итог: напечатана","piece":false})"},
        {"Дата;Время;Список;Строка;Размер;Коррекция;Цель;В диапазоне;Повторно;Этикетка", ""},
        {"09.12.2026;23:45", ""},
    };
    for (const auto& r : rows) {
        const auto json = feed::PieceJson(Line(r.line), "St", "journal-2026-12.csv", 7);
        if (*r.json)
            EXPECT_EQ(json.value_or("none"), r.json) << r.line;
        else
            EXPECT_FALSE(json) << r.line;
    }
}

TEST(FeedJson, StationNamesAndBrokerAddresses) {
    EXPECT_EQ(feed::StationTopic(Line("Линия 2/пила+#\x01 ")), "Линия 2_пила___ ");
    const struct {
        const char* text;
        std::optional<feed::TBrokerAddress> address;
    } rows[] = {
        {"plant", feed::TBrokerAddress{"plant", 1883}},
        {"10.0.0.5:1884", feed::TBrokerAddress{"10.0.0.5", 1884}},
        {"[::1]:1885", feed::TBrokerAddress{"::1", 1885}},
        {"[::1]", feed::TBrokerAddress{"::1", 1883}},
        {"", std::nullopt},
        {":1883", std::nullopt},
        {"plant:", std::nullopt},
        {"plant:0", std::nullopt},
        {"plant:65536", std::nullopt},
        {"plant:18x3", std::nullopt},
        {"pl ant:1883", std::nullopt},
    };
    for (const auto& r : rows) EXPECT_EQ(feed::ParseBroker(r.text), r.address) << r.text;
}

job::TJournalEntry Piece(std::int32_t row) {
    job::TJournalEntry e;
    e.ListName = "a.txt";
    e.Row = row;
    e.Size = e.Target = 1000 + row;
    e.Correction = 0;
    return e;
}

TEST(FeedCursor, StartsAtTheJournalsEndAndResumesAfterTheLastAcknowledgedLine) {
    TempDir dir;
    job::TLocalTime now{2026, 11, 30, 23, 59, 0};
    job::TJournal journal(dir.Path(), [&] { return now; });
    journal.Append(Piece(1));  // written while the feed was off
    {
        feed::TJournalFeed source(dir.Path());
        source.Open();
        EXPECT_TRUE(source.Next(10).empty());
        journal.Append(Piece(2));
        now = {2026, 12, 1, 0, 0, 5};
        journal.Append(Piece(3));  // a new month's file: its header is line 1
        AppendAndFlush(journal.FileAt(now), "01.12.2026;00:00");  // torn: waits
        const auto lines = source.Next(10);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0].File + "/" + std::to_string(lines[0].Number), "journal-2026-11.csv/3");
        EXPECT_EQ(lines[1].File + "/" + std::to_string(lines[1].Number), "journal-2026-12.csv/1");
        EXPECT_EQ(lines[2].Number, 2);
        // Acknowledged out of order: the cursor moves only over an unbroken run.
        source.Acknowledge("journal-2026-12.csv", 2);
        source.Acknowledge("journal-2026-11.csv", 3);
        source.Save();
        EXPECT_EQ(source.Cursor().at("journal-2026-11.csv"), 3);
        EXPECT_EQ(source.Cursor().count("journal-2026-12.csv"), 0u);
        source.Acknowledge("journal-2026-12.csv", 1);
        source.Save();
        EXPECT_EQ(source.Cursor().at("journal-2026-12.csv"), 2);
        job::TJournal restartedJournal(dir.Path(), [&] { return now; });
        restartedJournal.Append(Piece(4));  // cuts the torn line off first
        ASSERT_EQ(source.Next(10).size(), 1u);
        // Not acknowledged before the program ends.
    }
    feed::TJournalFeed restarted(dir.Path());
    restarted.Open();
    const auto lines = restarted.Next(10);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].Number, 3);
    EXPECT_NE(lines[0].Text.find(";4;"), std::string::npos);

    // Switched off and on: the cursor is forgotten and the feed starts at the end again.
    feed::TJournalFeed::ForgetCursor(dir.Path());
    journal.Append(Piece(5));
    feed::TJournalFeed again(dir.Path());
    again.Open();
    EXPECT_TRUE(again.Next(10).empty());
}

// "topic payload" lines of one topic.
std::vector<std::string> Payloads(const std::vector<std::string>& lines, const std::string& topic) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line.rfind(topic + " ", 0) == 0) out.push_back(line.substr(topic.size() + 1));
    return out;
}

// The line numbers of the piece ids, in arrival order.
std::vector<int> PieceLines(const std::vector<std::string>& lines) {
    std::vector<int> numbers;
    const std::regex id(R"re("id":"[^"]*/journal-\d{4}-\d{2}\.csv/(\d+)")re");
    for (const auto& payload : Payloads(lines, "tandrel/St/piece")) {
        std::smatch m;
        if (std::regex_search(payload, m, id)) numbers.push_back(std::stoi(m[1]));
    }
    return numbers;
}

TEST(Feed, SendsEveryLineInOrderThroughABrokerRestartAndSaysOffline) {
    TempDir dir;
    tandrel::testing::MqttBroker broker(dir.Path() / "broker");
    tandrel::testing::MqttSubscriber sub(broker, dir.Path() / "received.txt");
    job::TJournal journal(dir.Path());
    std::this_thread::sleep_for(300ms);  // the subscriber's session exists before anything is sent

    feed::TFeed feed;
    feed::TFeedConfig config;
    config.Broker = *feed::ParseBroker(broker.Address());
    config.Station = "St";
    config.JournalDir = dir.Path();
    config.MaxBackoffMs = 500;
    feed.Start(config);
    feed::TStationState state;
    state.List = "a.txt";
    state.Rows = 10;
    feed.SetState(state);
    for (int row = 1; row <= 3; ++row) journal.Append(Piece(row));
    const auto count = [](std::size_t n) {
        return [n](const std::vector<std::string>& l) { return PieceLines(l).size() >= n; };
    };
    ASSERT_TRUE(sub.WaitFor(count(3), 10s)) << ::testing::PrintToString(sub.Lines());
    EXPECT_EQ(feed.Link(), feed::TFeedLink::Connected);

    broker.Stop();
    for (int row = 4; row <= 6; ++row) journal.Append(Piece(row));
    ASSERT_TRUE(
        sub.WaitFor([&](const auto&) { return feed.Link() == feed::TFeedLink::NoBroker; }, 5s));
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(sub.WaitFor(count(6), 20s));

    feed.Stop();
    ASSERT_TRUE(sub.WaitFor(
        [](const auto& l) {
            const auto s = Payloads(l, "tandrel/St/status");
            return !s.empty() && s.back() == "offline";
        },
        5s));
    const auto lines = sub.Lines();
    // Every line once at least, in order; a copy may only repeat what came before.
    std::vector<int> firsts;
    for (const int n : PieceLines(lines))
        if (firsts.empty() || n > firsts.back()) firsts.push_back(n);
    EXPECT_EQ(firsts, (std::vector<int>{2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(Payloads(lines, "tandrel/St/status").front(), "online");
    const auto states = Payloads(lines, "tandrel/St/state");
    ASSERT_FALSE(states.empty());
    EXPECT_TRUE(std::regex_match(
        states.front(),
        std::regex(R"re(\{"station":"St","time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d",)re"
                   R"re("link":"up","list":"a.txt","rows":10,"remaining":null,"row":null,)re"
                   R"re("target":null,"position":null,"in_range":null,"printer":"off",)re"
                   R"re("pieces_today":0,"pieces_hour":0\})re")))
        << states.front();
}

}  // namespace
