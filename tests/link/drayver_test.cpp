#include "link/drayver.h"

#include <gtest/gtest.h>

#include <map>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/numbers.h"
#include "link_harness.h"

namespace tandrel::link {
namespace {

using namespace std::chrono_literals;
using testing::TFakeView;
using testing::TMainLoop;
using Strings = std::vector<std::string>;

// A device inside the test: each request is answered on the main loop with its scripted batch,
// as the port's event thread would deliver it. Requests without a script go unanswered.
class Handshake : public ::testing::Test {
  public:
    void SetUp() override { SetDecimalSeparator(','); }
    void TearDown() override {
        link.HandshakeThread.reset();
        SetDecimalSeparator('.');
    }

    THandshakeHooks Hooks() {
        THandshakeHooks h;
        h.Write = [this](const std::string& request) {
            std::string reply;
            {
                std::lock_guard lock(mutex);
                requests.push_back(request);
                if (writeFails) throw Exception("Ошибка записи в порт"_cp1251);
                auto& answers = script[request];
                if (answers.empty()) return;
                reply = answers.front();
                if (answers.size() > 1) answers.erase(answers.begin());  // the last one repeats
            }
            if (!reply.empty()) loop.Post([this, reply] { ComPortRxChar(link, view, reply); });
        };
        h.Post = [this](std::function<void()> fn) { loop.Post(std::move(fn)); };
        h.ShowDeviceData = [this] {
            ++shown;
            const auto t = DeviceTexts(link, ',');
            view.SetCurrentPositionField(t.Position);
            view.SetPositionDisplay(t.Position);
            serialShown = t.SerialNumber;
        };
        h.ShowReady = [this] { ++ready; };
        h.ResetAutoTest = [this](double position) {
            resetTo = position;
            shownAtReset = shown;
        };
        h.AppException = [this](std::exception_ptr e) { appException = e; };
        h.Notice = [this](const std::string& text, bool) { notices.push_back(text); };
        h.Now = [] { return std::string("9:00:00"); };
        h.ResendInterval = resend;
        return h;
    }
    void Start() { StartHandshake(link, Hooks()); }
    void Device(const std::string& request, Strings answers) {
        std::lock_guard lock(mutex);
        script[request] = std::move(answers);
    }
    void Standard() {
        Device("N", {"N12345_"});
        Device("M", {"M200_"});
        Device("B", {"B3050_"});
        Device("D", {"D1_"});
        Device("V", {"V2.1_"});
        Device("T", {"T1000_"});
        Device("S", {"S0_"});
    }
    Strings Requests() {
        std::lock_guard lock(mutex);
        return requests;
    }
    bool Linked() { return link.LinkState.load() == kLinked && !link.HandshakeThread->Running(); }
    void Ping() { ComPortRxChar(link, view, "P"); }

    TLinkData link;
    TFakeView view;
    TMainLoop loop;
    std::mutex mutex;
    std::map<std::string, Strings> script;
    Strings requests;
    bool writeFails = false;
    // Long enough that a loaded machine never resends where a test counts requests.
    std::chrono::milliseconds resend = 2s;
    int shown = 0, ready = 0;
    int shownAtReset = -1;  // ShowDeviceData calls before the automatic test's reset
    double resetTo = -1;
    std::string serialShown;
    std::exception_ptr appException;
    Strings notices;
};

TEST_F(Handshake, StartingValuesShownBeforeAnyReply) {
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(serialShown, "9:00:00");
    EXPECT_EQ(view.PositionDisplay, "3050");
    EXPECT_EQ(link.MinSize.load(), 200.0);
    EXPECT_EQ(link.GetFirmwareVersion(), "3");
    EXPECT_EQ(link.LinkState.load(), kAwaitingPing);
    EXPECT_TRUE(Requests().empty());
}

TEST_F(Handshake, Transcript) {
    Standard();
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    Ping();
    ASSERT_TRUE(loop.RunUntil([&] { return Linked(); }));
    EXPECT_EQ(Requests(), (Strings{"N", "M", "B", "D", "V", "T", "S"}));
    EXPECT_EQ(link.GetSerialNumber(), "12345");
    EXPECT_EQ(link.MinSize.load(), 200.0);
    EXPECT_EQ(link.MaxSize.load(), 3050.0);
    EXPECT_EQ(link.Precision.load(), 1);
    EXPECT_EQ(link.GetFirmwareVersion(), "2.1");
    EXPECT_EQ(link.CurrentPosition.load(), 1000.0);
    EXPECT_EQ(resetTo, 1000.0);
    EXPECT_EQ(view.PositionDisplay, "1000");
    EXPECT_EQ(ready, 2);
    EXPECT_EQ(shown, 8);
    // Reset before the last show: the position shown may make the automatic test move at once.
    EXPECT_EQ(shownAtReset, 7);
    EXPECT_EQ(appException, nullptr);
    // Linked now: pings ask for the position.
    Ping();
    EXPECT_EQ(view.Written, Strings{"T"});
}

TEST_F(Handshake, OddRepliesAndBatches) {
    const struct {
        const char* name;
        Strings n, m;  // answers to N and M
        std::string serial;
        double minSize;
    } rows[] = {
        {"wrong kind ignored", {"N12345_"}, {"N9_M250_"}, "12345", 250.0},
        {"empty serial", {"N_"}, {"M200_"}, "", 200.0},
        {"reply and ping in one batch", {"N77_P"}, {"PM300_P"}, "77", 300.0},
        {"noise around replies", {"x#N5_"}, {"M2.5_9"}, "5", 2.5},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TLinkData l;
        link.HandshakeThread.reset();
        {
            std::lock_guard lock(mutex);
            requests.clear();
        }
        Standard();
        Device("N", r.n);
        Device("M", r.m);
        link.LinkState = 0;
        Start();
        ASSERT_TRUE(loop.RunUntil([&] { return link.HandshakeThread && ready >= 1; }));
        Ping();
        ASSERT_TRUE(loop.RunUntil([&] { return Linked(); }));
        EXPECT_EQ(link.GetSerialNumber(), r.serial);
        EXPECT_EQ(link.MinSize.load(), r.minSize);
        EXPECT_EQ(Requests(), (Strings{"N", "M", "B", "D", "V", "T", "S"}));
        ready = 0;
        link.DeviceEntry.clear();
    }
}

// An unreadable reply to request makes the handshake wait for a ping again and start over.
void StartsOver(Handshake& t, const std::string& request, Strings answers, Strings before) {
    t.Standard();
    t.Device(request, std::move(answers));
    t.Start();
    ASSERT_TRUE(t.loop.RunUntil([&] { return t.ready == 1; }));
    t.Ping();
    ASSERT_TRUE(t.loop.RunUntil([&] { return !t.notices.empty() && t.link.LinkState == 0; }));
    EXPECT_EQ(t.notices[0], "Устройство прислало ответ, который нельзя прочитать"_cp1251);
    EXPECT_TRUE(t.link.HandshakeThread->Running());
    t.Ping();
    ASSERT_TRUE(t.loop.RunUntil([&] { return t.Linked(); }));
    for (const char* r : {"N", "M", "B", "D", "V", "T", "S"}) before.push_back(r);
    EXPECT_EQ(t.Requests(), before);
    EXPECT_EQ(t.link.HandshakeRestarts.load(), 1);
}

TEST_F(Handshake, EmptyMinimumStartsOver) {
    StartsOver(*this, "M", {"M_", "M200_"}, {"N", "M"});
}

TEST_F(Handshake, FractionalPrecisionStartsOver) {
    StartsOver(*this, "D", {"D1.5_", "D0_"}, {"N", "M", "B", "D"});
    EXPECT_EQ(link.Precision.load(), 0);
}

TEST_F(Handshake, IgnoredRequestIsSentAgain) {
    resend = 300ms;
    Standard();
    Device("B", {"", "B3000_"});  // the first B gets nothing back
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    Ping();
    ASSERT_TRUE(loop.RunUntil([&] { return Linked(); }));
    EXPECT_EQ(Requests(), (Strings{"N", "M", "B", "B", "D", "V", "T", "S"}));
    EXPECT_EQ(link.MaxSize.load(), 3000.0);
    EXPECT_EQ(link.HandshakeRestarts.load(), 0);  // a resend is no start over
}

TEST_F(Handshake, SilentDeviceGetsThreeResendsThenStartOver) {
    resend = 100ms;
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    Ping();
    ASSERT_TRUE(loop.RunUntil([&] { return !notices.empty(); }));
    EXPECT_EQ(Requests(), (Strings{"N", "N", "N", "N"}));
    EXPECT_EQ(notices[0], "Устройство не отвечает"_cp1251);
    EXPECT_EQ(link.LinkState.load(), kAwaitingPing);
    // Waiting for a ping has no time limit: nothing more goes out.
    loop.RunFor(350ms);
    EXPECT_EQ(Requests().size(), 4u);
    EXPECT_EQ(link.HandshakeRestarts.load(), 1);
}

TEST_F(Handshake, MoveDuringHandshakeHoldsIt) {
    resend = 100ms;
    Device("N", {"N1_"});
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    Ping();
    ASSERT_TRUE(loop.RunUntil([&] { return link.LinkState.load() == 2; }));
    link.SetLinkState(kMoveSent);
    loop.RunFor(300ms);  // no resend while linked by the move
    EXPECT_EQ(Requests(), (Strings{"N", "M"}));
    EXPECT_TRUE(link.HandshakeThread->Running());
}

TEST_F(Handshake, WriteErrorGoesToAppException) {
    writeFails = true;
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    Ping();
    ASSERT_TRUE(loop.RunUntil([&] { return appException != nullptr; }));
    EXPECT_FALSE(link.HandshakeThread->Running());
    try {
        std::rethrow_exception(appException);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Ошибка записи в порт"_cp1251);
    }
}

TEST_F(Handshake, StopWhileWaitingForTheMainThreadDoesNotDeadlock) {
    Start();
    // The main loop never runs: the thread waits inside its first ShowDeviceData.
    std::this_thread::sleep_for(20ms);
    link.HandshakeThread->Stop();
    EXPECT_FALSE(link.HandshakeThread->Running());
    loop.RunFor(20ms);  // the abandoned call does nothing when it comes
    EXPECT_EQ(shown, 0);
}

TEST_F(Handshake, StopFromInsideItsOwnMainThreadCall) {
    THandshakeHooks h = Hooks();
    h.ShowDeviceData = [this] { link.HandshakeThread->Stop(); };
    StartHandshake(link, h);
    loop.RunFor(50ms);
    ASSERT_TRUE(loop.RunUntil([&] { return !link.HandshakeThread->Running(); }));
    EXPECT_EQ(ready, 0);
}

TEST_F(Handshake, NewHandshakeStopsTheOldOne) {
    Start();
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 1; }));
    Standard();
    Start();  // the first is waiting for a ping; it must be gone before the second begins
    ASSERT_TRUE(loop.RunUntil([&] { return ready == 2; }));
    Ping();
    ASSERT_TRUE(loop.RunUntil([&] { return Linked(); }));
    EXPECT_EQ(Requests(), (Strings{"N", "M", "B", "D", "V", "T", "S"}));
}

}  // namespace
}  // namespace tandrel::link
