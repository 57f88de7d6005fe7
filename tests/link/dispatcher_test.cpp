#include "link/dispatcher.h"

#include <gtest/gtest.h>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/numbers.h"
#include "link_harness.h"

namespace tandrel::link {
namespace {

using testing::Replies;
using testing::TFakeView;
using Strings = std::vector<std::string>;

class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDecimalSeparator(',');
        link.MinSize = 200.0;
        link.MaxSize = 3050.0;
    }
    void TearDown() override { SetDecimalSeparator('.'); }
    void Rx(std::string_view batch) { ComPortRxChar(link, view, batch); }

    TLinkData link;
    TFakeView view;
};

TEST_F(Dispatcher, RepliesAndPingsQueueForTheHandshake) {
    const struct {
        std::uint8_t state;
        const char* batch;
        Strings replies;
        Strings written;
    } rows[] = {
        {1, "N123_", {"N123"}, {}},
        {3, "T1500.5_", {"T1500.5"}, {}},  // not linked: not a position report
        {0, "P", {"P"}, {}},
        {0, "N12_P", {"N12", "P"}, {}},  // a ping does not replace a finished reply
        {1, "N12P_", {"P"}, {}},         // a ping closes the open reply unfinished
        {7, "_", {}, {}},                // nothing open, nothing for the handshake
        {7, "S0_", {"S0"}, {}},
        {7, "N12P", {}, {"T"}},          // linked: the ping asks for the position
        {2, "N1M200_", {"M200"}, {}},    // a new kind letter drops the open reply
        {2, "M2\xC0_", {"M2\xC0"}, {}},  // payload bytes pass as they are
    };
    for (const auto& r : rows) {
        TLinkData fresh;
        TFakeView v;
        fresh.LinkState = r.state;
        ComPortRxChar(fresh, v, r.batch);
        EXPECT_EQ(Replies(fresh), r.replies) << r.batch;
        EXPECT_EQ(v.Written, r.written) << r.batch;
        EXPECT_TRUE(fresh.ReplyBuffer.empty()) << r.batch;
    }
}

TEST_F(Dispatcher, ReplyNotTakenSurvivesLaterBatches) {
    link.LinkState = 1;
    Rx("N123_");
    Rx("P");
    Rx("12");
    EXPECT_EQ(Replies(link), (Strings{"N123", "P"}));
}

TEST_F(Dispatcher, UntakenRepliesAreBoundedAndPingsGoFirst) {
    // Replies S<from>.. S<to - 1>, as batches and as queued.
    auto batches = [](int from, int to) {
        Strings out;
        for (int i = from; i < to; ++i) out.push_back("S" + std::to_string(i) + "_");
        return out;
    };
    auto queued = [](int from, int to) {
        Strings out;
        for (int i = from; i < to; ++i) out.push_back("S" + std::to_string(i));
        return out;
    };
    auto join = [](Strings a, const Strings& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct {
        const char* name;
        Strings batches;
        Strings expected;
    } rows[] = {
        {"the oldest reply goes", batches(0, 100), queued(84, 100)},
        {"a burst of pings keeps one", join({"N1_"}, Strings(40, "P")), {"N1", "P"}},
        {"the ping goes before a reply", join(batches(0, 15), join({"P"}, batches(15, 17))),
         queued(1, 17)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        TLinkData fresh;
        TFakeView v;
        fresh.LinkState = 1;
        for (const std::string& batch : r.batches) ComPortRxChar(fresh, v, batch);
        EXPECT_EQ(Replies(fresh), r.expected);
    }
}

TEST_F(Dispatcher, PositionReportUpdatesBothFieldsThenLinks) {
    link.LinkState = kMoveSent;
    Rx("T1500.5_");
    EXPECT_EQ(link.CurrentPosition.load(), 1500.5);
    EXPECT_EQ(view.PositionField, "1500,5");
    EXPECT_EQ(view.PositionDisplay, "1500,5");
    EXPECT_EQ(view.Order, (Strings{"field", "display"}));
    EXPECT_EQ(link.LinkState.load(), kLinked);
    EXPECT_TRUE(Replies(link).empty());

    Rx("T1500.5_");  // same text: no change handler
    EXPECT_EQ(view.PositionFieldChanges, 1);
    EXPECT_EQ(view.PositionDisplayChanges, 1);
}

TEST_F(Dispatcher, MoveInsideTheFieldUpdateStillEndsLinked) {
    link.LinkState = kLinked;
    view.OnPositionFieldChange = [&] { link.SetLinkState(kMoveSent); };
    Rx("T800_");
    EXPECT_EQ(link.LinkState.load(), kLinked);
}

TEST_F(Dispatcher, UnreadableReportIsDroppedAloneAndTheBatchGoesOn) {
    link.LinkState = kLinked;
    Rx("T_TX_T1200_");
    EXPECT_EQ(link.CurrentPosition.load(), 1200.0);
    EXPECT_EQ(view.PositionDisplay, "1200");
    EXPECT_EQ(view.Notices.size(), 2u);
}

TEST_F(Dispatcher, NoiseKeyIsDroppedAloneAndTheBatchGoesOn) {
    link.LinkState = 1;
    Rx("x-5N77_");
    EXPECT_EQ(link.DeviceEntry, "5");
    EXPECT_EQ(Replies(link), (Strings{"N77"}));
}

TEST_F(Dispatcher, WriteErrorPassesAndEndsTheBatch) {
    link.LinkState = kLinked;
    view.OnWrite = [](const std::string&) { throw Exception("Ошибка записи в порт"_cp1251); };
    EXPECT_THROW(Rx("PN1_"), Exception);
    EXPECT_TRUE(Replies(link).empty());
}

TEST_F(Dispatcher, ReplyWithoutEndIsCappedAndItsBytesAreNoKeys) {
    const std::size_t cap = TLinkData::kMaxReplyLength;
    const std::string digits(1000, '5');
    const struct {
        std::uint8_t state;
        std::string batch;
        Strings replies;
        const char* entry;
        int clicks;
    } rows[] = {
        {1, "N" + std::string(cap - 1, '1') + "_", {"N" + std::string(cap - 1, '1')}, "", 0},
        {1, "N" + std::string(cap, '1') + "_", {}, "", 0},  // one byte too long: dropped
        {1, "N" + digits + "_12", {}, "12", 0},             // keys count again after the "_"
        {7, "T" + digits + "#*#12*_", {}, "", 0},           // no key of the keypad inside
        {0, "N" + digits + "P", {"P"}, "", 0},              // a ping ends the dropped reply
        {1, "N" + digits + "N42_", {"N42"}, "", 0},         // so does a new reply letter
        {7, "S" + digits + "_#", {}, "", 1},                // and the "#" after it presses Start
    };
    for (const auto& r : rows) {
        TLinkData l;
        TFakeView v;
        l.LinkState = r.state;
        l.MaxSize = 3050.0;
        v.Start = true;
        v.Back = true;
        ComPortRxChar(l, v, r.batch);
        EXPECT_EQ(Replies(l), r.replies) << r.batch.substr(0, 8);
        EXPECT_EQ(l.DeviceEntry, r.entry) << r.batch.substr(0, 8);
        EXPECT_EQ(v.StartClicks + v.BackClicks, r.clicks) << r.batch.substr(0, 8);
        EXPECT_TRUE(v.Written.empty()) << r.batch.substr(0, 8);
        EXPECT_EQ(l.CurrentPosition.load(), 0.0) << r.batch.substr(0, 8);
    }
    // A line that sends digits forever, in many batches: the buffer stays within the cap.
    link.LinkState = 1;
    Rx("N");
    for (int i = 0; i < 1000; ++i) {
        Rx(digits);
        ASSERT_LE(link.ReplyBuffer.size(), cap);
    }
    EXPECT_TRUE(link.DeviceEntry.empty());
    Rx("_N7_");
    EXPECT_EQ(Replies(link), (Strings{"N7"}));
}

TEST_F(Dispatcher, KeypadMirror) {
    const struct {
        std::int32_t precision;
        const char* keys;
        const char* entry;
    } rows[] = {
        {0, "3050", "3050"},
        {0, "30500", "3050"},  // above MaxSize: ignored
        {0, "30500*", "305"},
        {1, "12*5", "12.5"},
        {1, "12*5*", ""},
        {1, "3050*9", "3050."},  // 3050.9 > MaxSize
        {0, "0", "0"},
        {0, "99999", "999"},                              // never more than MaxSize
        {1, "00000000000000000000", "0000000000000000"},  // zeros from a noisy line: capped
        {1,
         "1\xf5"
         "99999999999999999*",
         "1\xf5"
         "99999999999999."},  // past a separator too; "*" still adds its point
    };
    for (const auto& r : rows) {
        TLinkData l;
        TFakeView v;
        l.MaxSize = 3050.0;
        l.Precision = r.precision;
        ComPortRxChar(l, v, r.keys);
        EXPECT_EQ(l.DeviceEntry, r.entry) << r.keys;
    }
    link.Precision = 0;
    Rx("12");
    EXPECT_EQ(view.Label1, "12");
    Rx("*");  // "*" leaves Label1 alone
    EXPECT_EQ(view.Label1, "12");
}

TEST_F(Dispatcher, PointKeyErasesAFullEntry) {
    // Noise after a separator fills the entry to its cap; "*" must still get rid of it, as it
    // does any entry: a point first (with precision), then the entry emptied.
    const struct {
        std::int32_t precision;
        const char* presses;
        std::string entry;
    } rows[] = {
        {1, "*", "1\xf5" + std::string(14, '9') + "."},
        {1, "**", ""},
        {0, "*", "1\xf5" + std::string(13, '9')},
    };
    for (const auto& r : rows) {
        TLinkData l;
        TFakeView v;
        l.MaxSize = 3050.0;
        l.Precision = r.precision;
        ComPortRxChar(l, v, "1\xf5" + std::string(20, '9'));
        ASSERT_EQ(l.DeviceEntry.size(), TLinkData::kMaxEntryLength);
        ComPortRxChar(l, v, r.presses);
        EXPECT_EQ(l.DeviceEntry, r.entry) << r.precision << " " << r.presses;
    }
}

TEST_F(Dispatcher, EnterKey) {
    const struct {
        const char* entry;
        std::uint8_t state;
        bool startEnabled;
        const char* entryAfter;
        int clicks;
    } rows[] = {
        {"150", 7, true, "150", 0},  // below MinSize: stays
        {"200", 7, true, "", 0},    {"250", 7, true, "", 0}, {"", 5, true, "", 0},
        {"", 6, true, "", 1},       {"", 7, true, "", 1},    {"", 8, true, "", 1},
        {"", 7, false, "", 0},
    };
    for (const auto& r : rows) {
        TLinkData l;
        TFakeView v;
        l.MinSize = 200.0;
        l.DeviceEntry = r.entry;
        l.LinkState = r.state;
        v.Start = r.startEnabled;
        ComPortRxChar(l, v, "#");
        EXPECT_EQ(l.DeviceEntry, r.entryAfter) << r.entry << " " << int(r.state);
        EXPECT_EQ(v.StartClicks, r.clicks) << r.entry << " " << int(r.state);
    }
}

TEST_F(Dispatcher, PointKeyWithEmptyEntryClicksBack) {
    Rx("*");
    EXPECT_EQ(view.BackClicks, 0);
    view.Back = true;
    Rx("*");
    EXPECT_EQ(view.BackClicks, 1);
    EXPECT_EQ(view.StartClicks, 0);
}

}  // namespace
}  // namespace tandrel::link
