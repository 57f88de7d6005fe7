// The plant feed: its messages, the journal cursor, and the feed against a real mosquitto set up
// as plants set it up, and against brokers that misbehave.

#include "feed/feed.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "base/cp1251.h"
#include "base/files.h"
#include "feed/feed_check.h"
#include "feed/feed_json.h"
#include "feed/journal_feed.h"
#include "job/journal.h"
#include "support/fake_broker.h"
#include "support/mqtt_broker.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

// A name lookup that hangs, as a resolver whose server went away does: the feed's stop must not
// wait for it. Every other name is the system's.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** res) {
    using TReal = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<TReal>(dlsym(RTLD_NEXT, "getaddrinfo"));
    if (node && std::string_view(node) == "hang.invalid") {
        std::this_thread::sleep_for(std::chrono::seconds(3));
        return EAI_AGAIN;
    }
    return real(node, service, hints, res);
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace tandrel;
using tandrel::testing::FakeBroker;
using tandrel::testing::MqttBroker;
using tandrel::testing::MqttSubscriber;
using tandrel::testing::ReadBytes;
using tandrel::testing::TempDir;
using tandrel::testing::WriteBytes;

// Three hours east of UTC, without a time zone database.
void MoscowTime() {
    setenv("TZ", "MSK-3", 1);
    tzset();
}

std::string Line(const char* utf8) {
    return Utf8ToCp1251(utf8);
}

template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

TEST(FeedJson, PieceOfEachKindOfJournalLine) {
    MoscowTime();
    const struct {
        const char* line;
        const char* json;  // "" for none
    } rows[] = {
        {"09.12.2026;23:45:39;Заказ \"12\";3;1502,5;-2;1500,5;да;нет;напечатана",
         R"({"id":"St/f/t/1","time":"2026-12-09T23:45:39+03:00",)"
         R"("list":"Заказ \"12\"","row":3,"size":1502.5,"correction":-2,"target":1500.5,)"
         R"("in_range":true,"again":false,"label":"напечатана","piece":true})"},
        {"01.01.2027;00:00:01;a.txt;;3000;;3000;да;нет;не напечатана",
         R"({"id":"St/f/t/1","time":"2027-01-01T00:00:01+03:00",)"
         R"("list":"a.txt","row":null,"size":3000,"correction":null,"target":3000,)"
         R"("in_range":true,"again":false,"label":"не напечатана","piece":false})"},
        {"09.12.2026;08:00:00;a.txt;4;5000;0;5000;нет;да;Принтер: нет бумаги",
         R"({"id":"St/f/t/1","time":"2026-12-09T08:00:00+03:00",)"
         R"("list":"a.txt","row":4,"size":5000,"correction":0,"target":5000,)"
         R"("in_range":false,"again":true,"label":"Принтер: нет бумаги","piece":false})"},
        // A queued label's outcome, after its step's line: never a piece of its own.
        {"09.12.2026;23:45:41;a.txt;3;1502,5;-2;1500,5;да;да;итог: напечатана",
         R"({"id":"St/f/t/1","time":"2026-12-09T23:45:41+03:00",)"
         R"("list":"a.txt","row":3,"size":1502.5,"correction":-2,"target":1500.5,)"
         R"("in_range":true,"again":true,"label":"итог: напечатана","piece":false})"},
        // A bar's leftover kept as a remnant: published, never a piece.
        {"10.12.2026;09:00:00;a.txt;;1240;;1240;да;нет;остаток R000123: итог: напечатана",
         R"({"id":"St/f/t/1","time":"2026-12-10T09:00:00+03:00",)"
         R"("list":"a.txt","row":null,"size":1240,"correction":null,"target":1240,)"
         R"("in_range":true,"again":false,"label":"остаток R000123: итог: напечатана",)"
         R"("piece":false})"},
        {"Дата;Время;Список;Строка;Размер;Коррекция;Цель;В диапазоне;Повторно;Этикетка", ""},
        {"09.12.2026;23:45", ""},
    };
    for (const auto& r : rows) {
        const auto json = feed::PieceJson(Line(r.line), "St/f/t/1");
        if (*r.json)
            EXPECT_EQ(json.value_or("none"), r.json) << r.line;
        else
            EXPECT_FALSE(json) << r.line;
    }
}

TEST(FeedJson, StationNamesAndBrokerAddresses) {
    const struct {
        std::string name;
        bool refused;
        const char* topic;  // the name as a topic level, UTF-8
    } names[] = {
        {Line("Линия 2"), false, "Линия 2"},
        {Line("пила/2"), true, "пила_2"},
        {"a+b#c:d", true, "a_b_c_d"},
        {"St\x01\x7f", true, "St__"},
        {"St\x98", true, "St_"},  // U+0098 in Windows-1251
    };
    for (const auto& n : names) {
        EXPECT_EQ(!feed::StationNameFault(n.name).empty(), n.refused) << n.topic;
        EXPECT_EQ(feed::StationTopicName(n.name), n.topic);
    }
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

job::TJournalEntry Piece(std::int32_t row, const std::string& list = "a.txt") {
    job::TJournalEntry e;
    e.ListName = list;
    e.Row = row;
    e.Size = e.Target = 1000 + row;
    e.Correction = 0;
    return e;
}

std::string Ids(const std::vector<feed::TJournalLineRef>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l.File.substr(8, 7) + "/" + l.Moment + "/" + std::to_string(l.K) + " ";
    return out;
}

void AcknowledgeAll(feed::TJournalFeed& source, const std::vector<feed::TJournalLineRef>& lines) {
    for (const auto& l : lines) source.Acknowledge(l.File, l.End);
    source.Save();
}

TEST(FeedCursor, StartsAtTheJournalsEndAndResumesAfterTheLastAcknowledgedLine) {
    TempDir dir;
    job::TLocalTime now{2026, 11, 30, 23, 59, 0};
    job::TJournal journal(dir.Path(), [&] { return now; });
    journal.Append(Piece(1));  // written while the feed was off
    {
        feed::TJournalFeed source(dir.Path());
        source.Open(feed::TJournalFeed::Ends(dir.Path()));
        EXPECT_TRUE(source.Next(10).empty());
        journal.Append(Piece(2));
        journal.Append(Piece(3));  // the same second: k counts on
        now = {2026, 12, 1, 0, 0, 5};
        journal.Append(Piece(4));  // a new month's file, its header first
        AppendAndFlush(journal.FileAt(now), "01.12.2026;00:00");  // torn: waits
        const auto lines = source.Next(10);
        EXPECT_EQ(Ids(lines),
                  "2026-11/20261130T235900/2 2026-11/20261130T235900/3 2026-12//0 "
                  "2026-12/20261201T000005/1 ");
        ASSERT_EQ(lines.size(), 4u);
        // Acknowledged out of order: the cursor moves only over an unbroken run.
        source.Acknowledge(lines[3].File, lines[3].End);
        source.Acknowledge(lines[1].File, lines[1].End);
        EXPECT_EQ(source.Cursor().at("journal-2026-11.csv").Offset,
                  lines[0].End - lines[0].Text.size() - 2);
        source.Acknowledge(lines[0].File, lines[0].End);
        source.Acknowledge(lines[2].File, lines[2].End);
        source.Save();
        EXPECT_EQ(source.Cursor().at("journal-2026-12.csv").Offset, lines[3].End);
        job::TJournal restartedJournal(dir.Path(), [&] { return now; });
        restartedJournal.Append(Piece(5));  // cuts the torn line off first
        const auto fifth = source.Next(10);
        EXPECT_EQ(Ids(fifth), "2026-12/20261201T000005/2 ");
        // Handed out again after a lost connection, with the same id.
        source.Rewind();
        EXPECT_EQ(Ids(source.Next(10)), Ids(fifth));
        // Not acknowledged before the program ends.
    }
    feed::TJournalFeed restarted(dir.Path());
    restarted.Open({});
    const auto lines = restarted.Next(10);
    EXPECT_EQ(Ids(lines), "2026-12/20261201T000005/2 ");
    EXPECT_NE(lines.at(0).Text.find(";5;"), std::string::npos);

    // Switched off and on: the cursor is forgotten and the feed starts at the end again.
    feed::TJournalFeed::ForgetCursor(dir.Path());
    journal.Append(Piece(6));
    feed::TJournalFeed again(dir.Path());
    again.Open(feed::TJournalFeed::Ends(dir.Path()));
    EXPECT_TRUE(again.Next(10).empty());
}

// Hand edits of a journal before the cursor: no unsent line is ever skipped, and a line keeps
// its id wherever it moved.
TEST(FeedCursor, HandEditsNeverSkipAnUnsentLine) {
    const struct {
        const char* name;
        std::function<std::string(std::vector<std::string>)> edit;  // of the lines
        const char* next;  // rows handed out next, and their k (all lines share one second)
    } edits[] = {
        {"two sent lines deleted", [](auto l) { return l[0] + l[3] + l[4] + l[5]; }, "4/2 5/3"},
        {"a line added before the cursor",
         [](auto l) { return l[0] + l[1] + l[1] + l[2] + l[3] + l[4] + l[5]; }, "4/5 5/6"},
        {"the last sent line changed: the file again",
         [](auto l) {
             l[3].replace(l[3].find("1003"), 4, "1013");
             return l[0] + l[1] + l[2] + l[3] + l[4] + l[5];
         },
         "1/1 2/2 3/3 4/4 5/5"},
    };
    for (const auto& e : edits) {
        TempDir dir;
        job::TLocalTime now{2026, 12, 9, 8, 0, 0};
        job::TJournal journal(dir.Path(), [&] { return now; });
        journal.Append(Piece(1));  // the header and 1
        feed::TJournalFeed source(dir.Path());
        source.Open({});
        for (int row = 2; row <= 5; ++row) journal.Append(Piece(row));
        auto lines = source.Next(4);  // the header, 1, 2 and 3
        AcknowledgeAll(source, lines);
        const std::string file = ReadBytes(journal.FileAt(now));
        std::vector<std::string> split;
        for (std::size_t at = 0; at < file.size();) {
            const std::size_t end = file.find("\r\n", at) + 2;
            split.push_back(file.substr(at, end - at));
            at = end;
        }
        ASSERT_EQ(split.size(), 6u);
        WriteBytes(journal.FileAt(now), e.edit(split));
        feed::TJournalFeed restarted(dir.Path());
        restarted.Open({});
        std::string rows;
        for (const auto& l : restarted.Next(10)) {
            if (l.Moment.empty()) continue;
            rows += (rows.empty() ? "" : " ") + job::SplitJournalLine(l.Text)[3] + "/" +
                    std::to_string(l.K);
        }
        EXPECT_EQ(rows, e.next) << e.name;
    }
}

// A piece's rows in arrival order, from "topic payload" lines.
std::vector<int> Rows(const std::vector<std::string>& lines, const std::string& station = "St") {
    std::vector<int> rows;
    const std::string topic = "tandrel/" + station + "/piece ";
    const std::regex row(R"re("row":(\d+))re");
    for (const auto& line : lines) {
        std::smatch m;
        if (line.rfind(topic, 0) == 0 && std::regex_search(line, m, row))
            rows.push_back(std::stoi(m[1]));
    }
    return rows;
}

std::vector<std::string> Payloads(const std::vector<std::string>& lines, const std::string& topic) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line == topic + " (null)")
            out.push_back("");  // an empty, retained message: cleared
        else if (line.rfind(topic + " ", 0) == 0)
            out.push_back(line.substr(topic.size() + 1));
    return out;
}

// One station's journal and feed against a broker, with the feed's times shortened.
struct Station {
    TempDir Dir;
    job::TJournal Journal{Dir.Path()};
    feed::TFeed Feed;

    feed::TFeedConfig Config(const std::string& broker, const std::string& name = "St") {
        feed::TFeedConfig c;
        c.Broker = *feed::ParseBroker(broker);
        c.Station = name;
        c.JournalDir = Dir.Path();
        c.MaxBackoffMs = 500;
        c.AckTimeoutMs = 1000;
        c.RefusedRetryMaxMs = 500;
        c.ClashWaitMs = 3000;
        return c;
    }
    void Start(const feed::TFeedConfig& config) {
        Feed.Start(config);
        Feed.SetState({});
    }
    bool Says(const std::string& utf8, std::chrono::milliseconds limit = 10s) {
        return WaitUntil([&] { return Feed.Status().Text == Utf8ToCp1251(utf8); }, limit);
    }
};

TEST(Feed, SendsEveryLineInOrderThroughABrokerRestartAndSaysOffline) {
    TempDir dir;
    MqttBroker broker(dir.Path() / "broker");
    MqttSubscriber sub(broker, dir.Path() / "received.txt");
    std::this_thread::sleep_for(300ms);  // the subscriber's session exists before anything is sent
    Station st;
    st.Start(st.Config(broker.Address()));
    feed::TStationState state;
    state.List = "a.txt";
    state.Rows = 10;
    st.Feed.SetState(state);
    for (int row = 1; row <= 3; ++row) st.Journal.Append(Piece(row));
    const auto count = [](std::size_t n) {
        return [n](const std::vector<std::string>& l) { return Rows(l).size() >= n; };
    };
    ASSERT_TRUE(sub.WaitFor(count(3), 10s)) << ::testing::PrintToString(sub.Lines());
    EXPECT_EQ(st.Feed.Link(), feed::TFeedLink::Connected);

    broker.Stop();
    for (int row = 4; row <= 6; ++row) st.Journal.Append(Piece(row));
    ASSERT_TRUE(st.Says("нет связи с брокером", 5s));
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(sub.WaitFor(count(6), 20s));

    st.Feed.Stop();
    ASSERT_TRUE(sub.WaitFor(
        [](const auto& l) {
            const auto s = Payloads(l, "tandrel/St/status");
            return !s.empty() && s.back() == "offline";
        },
        5s));
    // The acknowledged lines are behind the cursor: a restarted feed sends the new line alone.
    st.Start(st.Config(broker.Address()));
    st.Journal.Append(Piece(7));
    ASSERT_TRUE(sub.WaitFor(count(7), 10s));
    std::this_thread::sleep_for(300ms);
    const auto lines = sub.Lines();
    EXPECT_EQ(Rows(lines), (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(Payloads(lines, "tandrel/St/status").front(), "online");
    const auto states = Payloads(lines, "tandrel/St/state");
    ASSERT_FALSE(states.empty());
    EXPECT_TRUE(std::regex_match(
        states.front(),
        std::regex(R"re(\{"station":"St","time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d",)re"
                   R"re("link":"up","list":"a.txt","rows":10,"remaining":null,"row":null,)re"
                   R"re("target":null,"position":null,"in_range":null,"printer":"off",)re"
                   R"re("pieces_today":0,"pieces_hour":0,"feed":null\})re")))
        << states.front();
    const std::regex id(R"re("id":"St/journal-\d{4}-\d\d\.csv/\d{8}T\d{6}/\d+")re");
    for (const auto& piece : Payloads(lines, "tandrel/St/piece"))
        EXPECT_TRUE(std::regex_search(piece, id)) << piece;
}

// A broker whose access list or message size limit refuses pieces, mended in place or by a
// restart: nothing refused is lost, the order holds, each piece arrives once.
TEST(Feed, RefusedPiecesWaitUntilTheBrokerIsMended) {
    const std::string acl =
        "topic read tandrel/#\ntopic write tandrel/St/status\n"
        "topic write tandrel/St/state\n";
    const struct {
        const char* name;
        std::string conf;
        const char* says;
        std::function<void(MqttBroker&)> mend;
    } brokers[] = {
        {"access list", "acl_file ACL", "брокер отклоняет: нет прав",
         [&](MqttBroker& b) {
             std::ofstream(b.Folder() / "acl") << acl << "topic write tandrel/St/piece\n";
             b.Reload();
         }},
        {"size limit", "message_size_limit 500", "брокер отклоняет: сообщение слишком велико",
         [](MqttBroker& b) {
             b.Stop();  // this limit is no broker's to reload
             std::ofstream(b.Folder() / "mosquitto.conf", std::ios::app)
                 << "message_size_limit 0\n";
             b.Start();
         }},
    };
    for (const auto& b : brokers) {
        SCOPED_TRACE(b.name);
        TempDir dir;
        fs::create_directories(dir.Path() / "broker");
        std::ofstream(dir.Path() / "broker" / "acl") << acl;
        const std::string conf =
            std::regex_replace(b.conf, std::regex("ACL"), (dir.Path() / "broker" / "acl").string());
        MqttBroker broker(dir.Path() / "broker", conf);
        MqttSubscriber sub(broker, dir.Path() / "received.txt");
        std::this_thread::sleep_for(300ms);
        Station st;
        st.Start(st.Config(broker.Address()));
        st.Journal.Append(Piece(1));
        st.Journal.Append(Piece(2, std::string(800, 'x')));  // too large for the limit
        st.Journal.Append(Piece(3));
        ASSERT_TRUE(st.Says(b.says));
        EXPECT_TRUE(st.Feed.Status().Trouble);
        ASSERT_TRUE(sub.WaitFor(
            [&](const auto& l) {
                const auto states = Payloads(l, "tandrel/St/state");
                return !states.empty() && states.back().find(std::string(R"("feed":")") + b.says +
                                                             "\"") != std::string::npos;
            },
            5s));
        std::this_thread::sleep_for(1500ms);  // tried again meanwhile, still refused
        EXPECT_LE(Rows(sub.Lines()).size(), 1u);
        b.mend(broker);
        ASSERT_TRUE(sub.WaitFor([](const auto& l) { return Rows(l).size() >= 3; }, 15s));
        ASSERT_TRUE(st.Says("подключено"));
        std::this_thread::sleep_for(500ms);
        EXPECT_EQ(Rows(sub.Lines()), (std::vector<int>{1, 2, 3}));
    }
}

TEST(Feed, BrokersThatMisbehave) {
    const struct {
        FakeBroker::Kind kind;
        const char* says;
        int connections;  // at least
        bool published;   // the piece arrives
    } brokers[] = {
        {FakeBroker::Kind::NeverAcknowledges, "брокер не подтверждает", 2, false},
        {FakeBroker::Kind::Mqtt311Only, "подключено", 1, true},
    };
    for (const auto& b : brokers) {
        SCOPED_TRACE(b.says);
        FakeBroker broker(b.kind);
        Station st;
        st.Start(st.Config(broker.Address()));
        st.Journal.Append(Piece(1));
        EXPECT_TRUE(st.Says(b.says));
        EXPECT_TRUE(WaitUntil([&] { return broker.Connections() >= b.connections; }, 10s));
        if (b.published) {
            EXPECT_TRUE(WaitUntil([&] { return Rows(broker.Published()).size() == 1; }, 3s));
        }
    }
}

TEST(Feed, ARenamedStationLeavesNoTileAndSendsItsLinesOnce) {
    TempDir dir;
    MqttBroker broker(dir.Path() / "broker");
    MqttSubscriber sub(broker, dir.Path() / "received.txt");
    std::this_thread::sleep_for(300ms);
    Station st;
    st.Start(st.Config(broker.Address(), "Old"));
    st.Journal.Append(Piece(1));
    ASSERT_TRUE(sub.WaitFor([](const auto& l) { return Rows(l, "Old").size() == 1; }, 10s));
    st.Feed.Stop(true);
    st.Journal.Append(Piece(2));  // unsent under the old name
    st.Start(st.Config(broker.Address(), "New"));
    ASSERT_TRUE(sub.WaitFor([](const auto& l) { return Rows(l, "New").size() == 1; }, 10s));
    std::this_thread::sleep_for(300ms);
    const auto lines = sub.Lines();
    EXPECT_EQ(Rows(lines, "Old"), std::vector<int>{1});
    EXPECT_EQ(Rows(lines, "New"), std::vector<int>{2});
    EXPECT_EQ(Payloads(lines, "tandrel/Old/status").back(), "");
    EXPECT_EQ(Payloads(lines, "tandrel/Old/state").back(), "");
}

TEST(Feed, StopsWithinHalfASecondWhateverTheNameLookupDoes) {
    Station st;
    st.Start(st.Config("hang.invalid:1883"));
    std::this_thread::sleep_for(300ms);  // the lookup hangs by now
    const auto start = std::chrono::steady_clock::now();
    st.Feed.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
}

// A broker as a plant's IT sets it up: no anonymous access, a user per station, TLS with the
// plant's CA.
TEST(Feed, LogsInWithTlsAndSaysWhyNot) {
    TempDir dir;
    tandrel::testing::TestCertificates certs;
    ASSERT_TRUE(certs.Make(dir.Path() / "certs"));
    const fs::path folder = dir.Path() / "broker";
    fs::create_directories(folder);
    std::ofstream(folder / "acl") << "user Линия-1\ntopic write tandrel/Линия-1/#\n"
                                  << "user board\ntopic read tandrel/#\n";
    ASSERT_EQ(std::system(("mosquitto_passwd -b -c '" + (folder / "passwd").string() +
                           "' Линия-1 station-pw && mosquitto_passwd -b '" +
                           (folder / "passwd").string() + "' board board-pw")
                              .c_str()),
              0);
    MqttBroker broker(folder, certs.Listener() + "allow_anonymous false\npassword_file " +
                                  (folder / "passwd").string() + "\nacl_file " +
                                  (folder / "acl").string() + "\n");
    MqttSubscriber sub(broker, dir.Path() / "received.txt",
                       {"-u", "board", "-P", "board-pw", "--cafile", certs.Ca.string()});
    std::this_thread::sleep_for(300ms);

    const struct {
        const char* name;
        std::string host;
        const char* password;
        fs::path ca, cert;
        const char* says;
    } rows[] = {
        {"right", "127.0.0.1", "station-pw", certs.Ca, {}, "подключено"},
        {"with the station's certificate", "127.0.0.1", "station-pw", certs.Ca, certs.Station,
         "подключено"},
        {"wrong password",
         "127.0.0.1",
         "nope",
         certs.Ca,
         {},
         "брокер отклонил вход: неверное имя или пароль"},
        {"another CA",
         "127.0.0.1",
         "station-pw",
         certs.OtherCa,
         {},
         "сертификат брокера не заверен центром"},
        // localhost is 127.0.0.1, but the certificate is made out to the address alone.
        {"a name the certificate lacks",
         "localhost",
         "station-pw",
         certs.Ca,
         {},
         "сертификат брокера выдан другому имени"},
        {"a key behind a pass phrase", "127.0.0.1", "station-pw", certs.Ca, certs.StationEncrypted,
         "ключ станции зашифрован: нужен ключ без пароля"},
    };
    int pieces = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Station st;
        feed::TFeedConfig config =
            st.Config(r.host + ":" + std::to_string(broker.Port()), Line("Линия-1"));
        config.User = Line("Линия-1");
        config.Password = r.password;
        config.CaFile = r.ca;
        config.CertFile = r.cert;
        EXPECT_EQ(Cp1251ToUtf8(feed::CheckBroker(config, 5s)), r.says);
        st.Start(config);
        st.Journal.Append(Piece(1));
        EXPECT_TRUE(st.Says(r.says)) << Cp1251ToUtf8(st.Feed.Status().Text);
        if (std::string_view(r.says) == "подключено") {
            ++pieces;
            EXPECT_TRUE(sub.WaitFor(
                [&](const auto& l) {
                    return static_cast<int>(Rows(l, "Линия-1").size()) == pieces;
                },
                10s));
        }
    }
}

// Two computers with one station's name: they take turns at most once a ClashWaitMs, and say
// why where the broker tells the one thrown out (MQTT 5's "session taken over"; Debian's
// mosquitto closes the connection without a word).
TEST(Feed, TwoComputersWithOneStationNameTakeTurns) {
    TempDir dir;
    MqttBroker real(dir.Path() / "broker");
    FakeBroker fake(FakeBroker::Kind::Mqtt5);
    const struct {
        std::string address;
        const char* says;
        bool trouble;  // the state's "feed" field says it
    } brokers[] = {
        {real.Address(), "нет связи с брокером", false},
        {fake.Address(), "станция «St» подключена с другого компьютера", true},
    };
    for (const auto& b : brokers) {
        SCOPED_TRACE(b.says);
        Station first, second;
        first.Start(first.Config(b.address));
        ASSERT_TRUE(first.Says("подключено"));
        second.Start(second.Config(b.address));
        ASSERT_TRUE(first.Says(b.says));
        EXPECT_EQ(first.Feed.Status().Trouble, b.trouble);
        // Turns, not a fight: the second keeps the session for a while, then the first is back.
        auto held = std::chrono::steady_clock::now();
        EXPECT_TRUE(WaitUntil(
            [&] {
                if (second.Feed.Status().Text != Utf8ToCp1251("подключено"))
                    held = std::chrono::steady_clock::now();
                return std::chrono::steady_clock::now() - held > 1500ms;
            },
            8s));
        EXPECT_TRUE(second.Says(b.says, 8s));
    }
}

}  // namespace
