#include "link/recovery.h"

#include <gtest/gtest.h>

#include <string>

namespace tandrel::link {
namespace {

using namespace std::chrono_literals;
using Clock = TRecovery::Clock;

// A recorded run: what the recovery asked of the platform and when.
struct Recorder {
    bool switchWorks = true;
    int opensBeforeSuccess = 0;  // failed reopen attempts before one succeeds
    std::string log = {};
    int arrivals = {};

    TRecovery Make() {
        return TRecovery({[this](bool on) {
                              log += on ? "on " : "off ";
                              return switchWorks;
                          },
                          [this] {
                              log += "open ";
                              return opensBeforeSuccess-- <= 0;
                          },
                          [this] {
                              log += "arrival ";
                              ++arrivals;
                          }},
                         {3000ms, 2000ms});
    }
};

const Clock::time_point t0{};

TEST(Recovery, SwitchOffRemovalSwitchOnArrival) {
    Recorder run;
    TRecovery recovery = run.Make();
    recovery.Fault(t0);
    EXPECT_TRUE(recovery.Pending());
    recovery.RemovalNotice(t0 + 100ms);
    recovery.ArrivalNotice(t0 + 200ms);
    EXPECT_EQ(run.log, "off on open arrival ");
    EXPECT_FALSE(recovery.Pending());
    EXPECT_EQ(recovery.NextDeadline(), Clock::time_point::max());
}

TEST(Recovery, FailedSwitchReopensEveryInterval) {
    Recorder run;
    run.switchWorks = false;
    run.opensBeforeSuccess = 1;
    TRecovery recovery = run.Make();
    recovery.Fault(t0);
    recovery.Tick(t0 + 1999ms);
    EXPECT_EQ(run.log, "off ");
    recovery.Tick(t0 + 2000ms);
    EXPECT_EQ(run.log, "off open ");
    EXPECT_EQ(recovery.NextDeadline(), t0 + 4000ms);
    recovery.Tick(t0 + 4000ms);
    EXPECT_EQ(run.log, "off open open arrival ");
    EXPECT_EQ(run.arrivals, 1);
}

TEST(Recovery, NoRemovalNoticeWithinTheWait) {
    Recorder run;
    TRecovery recovery = run.Make();
    recovery.Fault(t0);
    EXPECT_EQ(recovery.NextDeadline(), t0 + 3000ms);
    recovery.Tick(t0 + 2999ms);
    EXPECT_EQ(run.log, "off ");
    recovery.Tick(t0 + 3000ms);
    EXPECT_EQ(run.log, "off on open arrival ");
}

TEST(Recovery, NoticesWithoutAFaultDoNothing) {
    Recorder run;
    TRecovery recovery = run.Make();
    recovery.RemovalNotice(t0);
    recovery.ArrivalNotice(t0);
    recovery.Tick(t0 + 10s);
    EXPECT_EQ(run.log, "");
}

TEST(Recovery, ArrivalOfAnotherPortOnlyStartsReopenAttempts) {
    Recorder run;
    run.opensBeforeSuccess = 1;
    TRecovery recovery = run.Make();
    recovery.Fault(t0);
    recovery.ArrivalNotice(t0 + 500ms);  // our port does not open yet
    EXPECT_EQ(run.arrivals, 0);
    EXPECT_TRUE(recovery.Pending());
    recovery.Tick(t0 + 2500ms);
    EXPECT_EQ(run.log, "off open open arrival ");
}

TEST(Recovery, RemovalWithoutArrivalStillComesBack) {
    Recorder run;
    TRecovery recovery = run.Make();
    recovery.Fault(t0);
    recovery.RemovalNotice(t0 + 100ms);
    recovery.Tick(t0 + 2100ms);
    EXPECT_EQ(run.log, "off on open arrival ");
}

TEST(Recovery, ASecondFaultDuringARecoveryIsPartOfIt) {
    Recorder run;
    run.switchWorks = false;
    TRecovery recovery = run.Make();
    recovery.Fault(t0);
    recovery.Fault(t0 + 1s);
    recovery.Tick(t0 + 2s);
    EXPECT_EQ(run.log, "off open arrival ");
}

}  // namespace
}  // namespace tandrel::link
