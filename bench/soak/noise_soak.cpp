// Soak of line noise: a list worked by the device's own "#" key while the simulator sends bursts
// of random bytes at random moments, and now and then drops the line and sends noise into the
// handshake that follows. After every burst the link must come back (the link up and the next
// ping answered); at the end every row in the progress file must be one the program worked, and
// no more rows worked than the "#" keys pressed and the "#" bytes the noise held.
// Prints the bursts, the time until the link was back (median, worst), the handshakes the noise
// started over, the rows worked and recorded, and the longest stall of the event loop; fails
// when any of them lies outside what it can possibly be.
// TANDREL_BENCH_SMOKE=1: eight bursts instead of three hundred.

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "console/application.h"
#include "soak_support.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;
using namespace tandrel::soak;

namespace {
constexpr int kBackWithinMs = 10000;

bool LinkUp() {
    return !Form1->Link.DeviceArrivalPending && Form1->Link.LinkState.load() >= 7;
}

// Up, and the device's pings answered again since `requests` position requests.
bool WaitForPingAnswered(TSimulator& sim, long long requests) {
    return WaitFor([&] { return LinkUp() && StateValue(sim.Command("state"), "T") > requests; },
                   kBackWithinMs);
}
// Digits in the noise are an entry on the device's display: the operator clears it with "*".
void ClearDeviceEntry(TSimulator& sim) {
    for (int i = 0; i < 20 && !Form1->Link.DeviceEntry.empty(); ++i) {
        sim.Command("key *");
        Pause(20);
    }
}
}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int bursts = smoke ? 8 : 300;
    TProgramDir dir;
    TSimulator sim(dir.Path(), {"--ping-ms", "50", "--speed", "100000", "--seed", "11"});
    if (!StartWorkingList(dir, sim)) return 1;

    std::mt19937 random(3);
    std::vector<double> backs;
    int cameBack = 0, presses = 0, intoHandshakes = 0;
    const long long handshakesBefore = StateValue(sim.Command("state"), "N");
    const long long restartsBefore = Form1->Link.HandshakeRestarts.load();
    for (int burst = 0; burst < bursts; ++burst) {
        const int pressesNow = 1 + static_cast<int>(random() % 4);
        const int burstAt = static_cast<int>(random() % (pressesNow + 1));
        for (int i = 0; i < burstAt; ++i) {
            sim.Command("key #");
            ++presses;
            Pause(30 + static_cast<int>(random() % 60));
        }
        QElapsedTimer clock;
        clock.start();
        bool back = false;
        if (burst % 5 == 4) {
            // Noise into the handshake after the line comes back.
            ++intoHandshakes;
            const long long requests = StateValue(sim.Command("state"), "T");
            sim.Command("drop 300");
            WaitFor([] { return Form1->Link.DeviceArrivalPending; }, 3000);
            QElapsedTimer handshake;
            handshake.start();
            while (handshake.elapsed() < 1500) {
                sim.Command("noise " + std::to_string(1 + random() % 48));
                Pause(20 + static_cast<int>(random() % 80));
            }
            clock.restart();
            back = WaitForPingAnswered(sim, requests);
        } else {
            const long long requests = StateValue(sim.Command("state"), "T");
            sim.Command("noise " + std::to_string(1 + random() % 512));
            back = WaitForPingAnswered(sim, requests);
        }
        if (back) {
            ++cameBack;
            backs.push_back(clock.elapsed() / 1000.0);
        }
        ClearDeviceEntry(sim);
        for (int i = burstAt; i < pressesNow; ++i) {
            sim.Command("key #");
            ++presses;
            Pause(30 + static_cast<int>(random() % 60));
        }
    }
    WaitFor(LinkUp, kBackWithinMs);
    Pause(300);  // the last move's report

    const std::string state = sim.Command("state");
    const long long noiseStarts = StateValue(state, "noise#");
    const long long noiseBytes = StateValue(state, "noise");
    const long long serialRequests = StateValue(state, "N") - handshakesBefore;
    const long long restarted = Form1->Link.HandshakeRestarts.load() - restartsBefore;
    const std::map<int, int> recorded = RecordedRows(Form1->Job.ProgressFile);
    int worked = 0, recordedNotWorked = 0, workedNotRecorded = 0;
    for (int row = 1; row <= Form1->Job.RowCount; ++row) {
        const bool done = Form1->Job.Rows[static_cast<std::size_t>(row)].Done;
        const bool inFile = recorded.count(row) != 0;
        worked += done;
        recordedNotWorked += inFile && !done;
        workedNotRecorded += done && !inFile;
    }
    for (const auto& [row, times] : recorded)
        recordedNotWorked += (row < 1 || row > Form1->Job.RowCount) ? 1 : 0;

    std::sort(backs.begin(), backs.end());
    const double median = backs.empty() ? 0 : backs[backs.size() / 2];
    const double worst = backs.empty() ? 0 : backs.back();
    std::printf("noise bursts %d (%d into a handshake after a drop), link back after %d\n", bursts,
                intoHandshakes, cameBack);
    std::printf("link back and a ping answered: median %.2f s, worst %.2f s\n", median, worst);
    std::printf("handshakes started over by the noise itself: %lld\n", restarted);
    std::printf("device keys \"#\" %d, \"#\" in the noise %lld, rows worked %d\n", presses,
                noiseStarts, worked);
    std::printf("rows recorded but not worked %d; worked but unconfirmed (not recorded) %d\n",
                recordedNotWorked, workedNotRecorded);
    std::printf("longest stall of the event loop: %lld ms\n",
                static_cast<long long>(LongestStallMs()));
    // Every figure within what it can possibly be: one outside shows a fault of the count.
    // A handshake starts over only after its serial number request went out.
    const struct {
        const char* name;
        long long value, low, high;
    } ranges[] = {
        {"bursts into a handshake", intoHandshakes, 0, bursts},
        {"bursts the link came back after", cameBack, 0, bursts},
        {"handshakes started over", restarted, 0, std::max(0LL, serialRequests)},
        {"\"#\" in the noise", noiseStarts, 0, std::max(0LL, noiseBytes)},
        {"rows worked", worked, 0, Form1->Job.RowCount},
        {"rows recorded but not worked", recordedNotWorked, 0,
         Form1->Job.RowCount + static_cast<long long>(recorded.size())},
        {"rows worked but not recorded", workedNotRecorded, 0, worked},
        {"worst time until the link was back, ms", static_cast<long long>(worst * 1000), 0,
         kBackWithinMs},
    };
    bool inRange = true;
    for (const auto& r : ranges) {
        if (r.value >= r.low && r.value <= r.high) continue;
        std::printf("out of range: %s %lld (possible %lld to %lld)\n", r.name, r.value, r.low,
                    r.high);
        inRange = false;
    }
    const bool ok =
        inRange && cameBack == bursts && recordedNotWorked == 0 && worked <= presses + noiseStarts;
    DestroyWindows();
    return ok ? 0 : 1;
}
