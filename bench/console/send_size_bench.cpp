// With "Отправлять размеры на упор" on: the time from a click of Start to the row's move string
// on the line, as the simulator reads it (its byte log, stamped on the same monotonic clock).
// Prints the median, the 95th percentile and the worst over the rounds.
// TANDREL_BENCH_SMOKE=1: five rounds instead of two hundred.

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
#include "simulator.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int rounds = smoke ? 5 : 200;
    TProgramDir dir;
    const auto log = dir.Path() / "line.log";
    TSimulator sim(dir.Path(), {"--ping-ms", "50", "--speed", "1000000", "--precision", "1",
                                "--log", log.string()});
    if (!sim.Ready()) {
        std::puts("simulator did not start");
        return 1;
    }
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = sim.Device();
    settings.SendSizes = true;
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
    if (!StartLinkedWithList(dir.Path(), rounds)) return 1;
    TLogReader reader(log);
    std::vector<double> ms;
    for (int round = 0; round < rounds; ++round) {
        const double took = StartToMoveMs(reader);
        if (took < 0) {
            std::printf("round %d: no move string on the line\n", round + 1);
            return 1;
        }
        ms.push_back(took);
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    std::printf(
        "Start click to move string on the line: median %.2f ms, 95th percentile %.2f ms, "
        "worst %.2f ms over %d rounds\n",
        median, p95, ms.back(), rounds);
    DestroyWindows();
    return 0;
}
