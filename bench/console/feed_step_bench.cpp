// A step's time (a click of Start to the row recorded in the progress file and the journal)
// with the plant feed off, with its broker up and with its broker down. The feed's thread must
// never show in it. Prints the median, the 95th percentile and the worst of each.
// TANDREL_BENCH_SMOKE=1: ten rounds of each instead of two hundred.

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "bench_windows.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "feed/feed.h"
#include "simulator.h"
#include "support/mqtt_broker.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {

double Measure(int rounds, int& row, const char* what) {
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
        QTest::qWait(20);  // the timers run between steps, the feed's snapshot among them
        const auto clicked = std::chrono::steady_clock::now();
        Form1->BitBtn1->click();
        const auto done = std::chrono::steady_clock::now();
        if (!Form1->Job.Rows[static_cast<std::size_t>(++row)].Done) {
            std::printf("%s: row %d not recorded\n", what, row);
            return -1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(done - clicked).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "Start click to the row recorded, %s: median %.3f ms, 95th percentile %.3f ms, "
        "worst %.3f ms over %d rounds\n",
        what, ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)], ms.back(),
        rounds);
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int rounds = smoke ? 10 : 200;
    TProgramDir dir;
    TSimulator sim(dir.Path(), {"--ping-ms", "50", "--precision", "1"});
    tandrel::testing::MqttBroker broker(dir.Path() / "broker");
    if (!sim.Ready()) {
        std::puts("simulator did not start");
        return 1;
    }
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = sim.Device();
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
    if (!StartLinkedWithList(dir.Path(), 3 * rounds)) return 1;
    int row = 0;
    if (Measure(rounds, row, "feed off") < 0) return 1;

    Form1->ApplyFeed(broker.Address(), "bench");
    for (int i = 0; i < 500 && Form1->Feed()->Link() != feed::TFeedLink::Connected; ++i)
        QTest::qWait(10);
    if (Form1->Feed()->Link() != feed::TFeedLink::Connected) {
        std::puts("the feed did not connect");
        return 1;
    }
    if (Measure(rounds, row, "broker up") < 0) return 1;
    std::printf("pieces acknowledged by the broker: %lld of %d\n",
                static_cast<long long>(Form1->Feed()->Acknowledged()), rounds);

    broker.Stop();
    for (int i = 0; i < 500 && Form1->Feed()->Link() == feed::TFeedLink::Connected; ++i)
        QTest::qWait(10);
    if (Measure(rounds, row, "broker down") < 0) return 1;
    DestroyWindows();
    return 0;
}
