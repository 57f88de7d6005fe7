#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "base/cp1251.h"
#include "base/error.h"
#include "link/protocol.h"
#include "link_rig.h"

namespace tandrel::link {
namespace {

using namespace std::chrono_literals;
using testing::TLinkRig;
using Strings = std::vector<std::string>;

const Strings kTranscript = {"N", "M", "B", "D", "V", "T", "S"};

TEST(LinkOverPty, Transcript) {
    TLinkRig rig;
    rig.peer.AnswerStandard();
    ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
    EXPECT_EQ(rig.port.PortFieldText(), rig.peer.Path());
    ASSERT_TRUE(rig.LinkUp());
    EXPECT_EQ(rig.Seen(kTranscript.size()), kTranscript);
    EXPECT_EQ(rig.link.GetSerialNumber(), "12345");
    EXPECT_EQ(rig.link.MinSize.load(), 200.0);
    EXPECT_EQ(rig.link.MaxSize.load(), 3050.0);
    EXPECT_EQ(rig.link.Precision.load(), 1);
    EXPECT_EQ(rig.link.GetFirmwareVersion(), "2.1");
    EXPECT_EQ(rig.link.CurrentPosition.load(), 1000.0);
    EXPECT_EQ(rig.view.PositionDisplay, "1000");
    EXPECT_TRUE(rig.errors.empty());
}

TEST(LinkOverPty, OddDevices) {
    const struct {
        const char* name;
        char request;
        Strings answers;
        Strings requests;  // as the device sees them
    } rows[] = {
        {"reply and ping in one batch", 'N', {"N12345_P"}, kTranscript},
        {"noise around a reply", 'M', {"x?\x01M200_z"}, kTranscript},
        {"wrong reply first", 'B', {"N9_B3050_"}, kTranscript},
        {"one request ignored", 'D', {"", "D1_"}, {"N", "M", "B", "D", "D", "V", "T", "S"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TLinkRig rig;
        rig.resend = 300ms;
        rig.peer.AnswerStandard();
        rig.peer.Answer(r.request, r.answers);
        ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
        ASSERT_TRUE(rig.LinkUp());
        EXPECT_EQ(rig.Seen(r.requests.size()), r.requests);
        EXPECT_EQ(rig.link.MaxSize.load(), 3050.0);
    }
}

TEST(LinkOverPty, UnreadableRepliesStartOver) {
    const struct {
        char request;
        Strings answers;
        Strings before;  // requests up to the unreadable reply
    } rows[] = {
        {'M', {"M_", "M200_"}, {"N", "M"}},
        {'D', {"D1.5_", "D1_"}, {"N", "M", "B", "D"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.request);
        TLinkRig rig;
        rig.peer.AnswerStandard();
        rig.peer.Answer(r.request, r.answers);
        ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
        rig.Start();
        ASSERT_TRUE(rig.RunUntil([&] { return rig.ready >= 1; }));
        rig.peer.Send("P");
        ASSERT_TRUE(rig.RunUntil([&] { return !rig.notices.empty(); }));
        EXPECT_EQ(rig.link.LinkState.load(), kAwaitingPing);
        rig.peer.Send("P");
        ASSERT_TRUE(rig.RunUntil([&] { return rig.Linked(); }));
        Strings expected = r.before;
        expected.insert(expected.end(), kTranscript.begin(), kTranscript.end());
        EXPECT_EQ(rig.Seen(expected.size()), expected);
    }
}

TEST(LinkOverPty, PingsAnsweredOnlyOnceLinkedAndPositionsShown) {
    TLinkRig rig;
    rig.peer.AnswerStandard();
    ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
    // Before any handshake the link is down: a ping gets no "T".
    rig.peer.Send("P");
    rig.main.RunFor(100ms);
    EXPECT_TRUE(rig.peer.Requests().empty());

    ASSERT_TRUE(rig.LinkUp());
    rig.peer.Answer('T', {"T1500.5_"});
    rig.link.SetLinkState(kMoveSent);
    rig.peer.Send("P");
    ASSERT_TRUE(rig.RunUntil([&] { return rig.view.PositionDisplay == "1500,5"; }));
    EXPECT_EQ(rig.view.PositionField, "1500,5");
    EXPECT_EQ(rig.link.LinkState.load(), kLinked);
    EXPECT_EQ(rig.peer.Requests().back(), "T");
}

TEST(LinkOverPty, MoveStringReachesTheDevice) {
    TLinkRig rig;
    ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
    EXPECT_TRUE(WriteDevice(rig.link, protocol::TypedMove("1234.5")));
    ASSERT_TRUE(rig.peer.WaitRequests(1, 2s));
    EXPECT_EQ(rig.peer.Requests(), Strings{"****1234*5#"});
}

TEST(LinkOverPty, DeviceKeypadClicksStart) {
    TLinkRig rig;
    rig.peer.AnswerStandard();
    ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
    ASSERT_TRUE(rig.LinkUp());
    rig.view.Start = true;
    rig.peer.Send("12#");
    ASSERT_TRUE(rig.RunUntil([&] { return rig.view.Label1 == "12"; }));
    EXPECT_EQ(rig.link.DeviceEntry, "12");  // below MinSize: kept
    rig.peer.Send("**");                    // tenths: a point, then empty
    rig.peer.Send("#");
    ASSERT_TRUE(rig.RunUntil([&] { return rig.view.StartClicks == 1; }));
    EXPECT_EQ(rig.link.DeviceEntry, "");
}

TEST(LinkOverPty, NoPortSendsNothingAndSaysWhy) {
    TLinkRig rig;
    rig.port.RetryInterval = 50ms;
    EXPECT_FALSE(rig.port.Open(""));
    EXPECT_EQ(rig.port.PortFieldText(), "не задан"_cp1251);
    EXPECT_TRUE(rig.view.Notices.empty());  // a standing state, not an event
    EXPECT_FALSE(WriteDevice(rig.link, "T"));
    EXPECT_FALSE(rig.port.Open("/nonexistent/ttyX"));
    EXPECT_NE(rig.port.PortFieldText().find("/nonexistent/ttyX"), std::string::npos);
    EXPECT_GT(rig.port.PortFieldText().size(), std::string("/nonexistent/ttyX").size());
    ASSERT_FALSE(rig.view.Notices.empty());
    EXPECT_NE(rig.view.Notices.back().find("/nonexistent/ttyX не открыт: "_cp1251),
              std::string::npos);
}

TEST(LinkOverPty, DevicePluggedInLaterLinksUp) {
    TLinkRig rig;
    rig.peer.AnswerStandard();
    const auto dir =
        std::filesystem::temp_directory_path() / ("tandrel-link-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto name = (dir / "ttyDEVICE").string();
    rig.port.RetryInterval = 50ms;
    EXPECT_FALSE(rig.port.Open(name));
    rig.Start();  // as at start-up: the handshake waits for a ping that cannot come yet
    rig.main.RunFor(150ms);
    EXPECT_FALSE(rig.port.IsOpen());

    std::filesystem::create_symlink(rig.peer.Path(), name);  // the device appears
    ASSERT_TRUE(rig.RunUntil([&] { return rig.port.IsOpen(); }));
    EXPECT_EQ(rig.port.PortFieldText(), name);
    rig.peer.Send("P");
    ASSERT_TRUE(rig.RunUntil([&] { return rig.Linked(); }));
    EXPECT_EQ(rig.Seen(kTranscript.size()), kTranscript);
    std::filesystem::remove_all(dir);
}

TEST(LinkOverPty, HandlerErrorReachesAppExceptionAndDeliveryGoesOn) {
    TLinkRig rig;
    ASSERT_TRUE(rig.port.Open(rig.peer.Path()));
    rig.view.OnWrite = [](const std::string&) { throw Exception("boom"); };
    rig.link.SetLinkState(kLinked);
    rig.link.MaxSize = 3050.0;
    rig.peer.Send("P");  // the "T" answer raises
    ASSERT_TRUE(rig.RunUntil([&] { return rig.errors.size() == 1; }));
    rig.view.OnWrite = nullptr;
    rig.peer.Send("7");
    ASSERT_TRUE(rig.RunUntil([&] { return rig.view.Label1 == "7"; }));
}

}  // namespace
}  // namespace tandrel::link
