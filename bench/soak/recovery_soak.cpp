// Soak of the port recovery: a list worked by the device's own "#" key while the simulator
// drops the line at random moments. Prints the drops, the recoveries, the median and worst
// time from the device's return to the link being up, whether every completed row is in the
// progress file exactly once, and the program's CPU while the link was up between drops.
// TANDREL_BENCH_SMOKE=1: two drops instead of fifty.

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "console/application.h"
#include "soak_support.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;
using namespace tandrel::soak;

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int drops = smoke ? 2 : 50;
    TProgramDir dir;
    TSimulator sim(dir.Path(), {"--ping-ms", "50", "--speed", "100000"});
    if (!StartWorkingList(dir, sim)) return 1;

    std::mt19937 random(1);
    std::vector<double> returns;
    double idleCpu = 0, idleSeconds = 0;
    int recovered = 0;
    for (int drop = 0; drop < drops; ++drop) {
        // Work rows with the device's "#" for a while, the link up.
        const double cpuBefore = CpuMs();
        QElapsedTimer up;
        up.start();
        const int presses = 3 + static_cast<int>(random() % 5);
        for (int i = 0; i < presses; ++i) {
            sim.Command("key #");
            QTest::qWait(60);
        }
        QTest::qWait(200 + static_cast<int>(random() % 400));
        idleCpu += CpuMs() - cpuBefore;
        idleSeconds += up.elapsed() / 1000.0;
        const int downMs = 200 + static_cast<int>(random() % 1500);
        sim.Command("drop " + std::to_string(downMs));
        QElapsedTimer down;
        down.start();
        WaitFor([] { return Form1->Link.DeviceArrivalPending; }, 3000);
        if (!WaitFor(
                [] {
                    return !Form1->Link.DeviceArrivalPending && Form1->Link.LinkState.load() == 7;
                },
                20000))
            continue;
        ++recovered;
        returns.push_back(std::max<qint64>(0, down.elapsed() - downMs) / 1000.0);
    }

    // Every completed row is in the progress file exactly once.
    std::map<int, int> recorded = RecordedRows(Form1->Job.ProgressFile);
    int done = 0, mismatched = 0;
    for (int row = 1; row <= Form1->Job.RowCount; ++row) {
        const bool isDone = Form1->Job.Rows[static_cast<std::size_t>(row)].Done;
        done += isDone;
        if ((isDone ? 1 : 0) != recorded[row]) ++mismatched;
    }
    std::sort(returns.begin(), returns.end());
    const double median = returns.empty() ? 0 : returns[returns.size() / 2];
    const double worst = returns.empty() ? 0 : returns.back();
    std::printf("drops %d, recoveries %d\n", drops, recovered);
    std::printf("device back to link up: median %.2f s, worst %.2f s (target < 3 s)\n", median,
                worst);
    std::printf("rows completed %d, rows not recorded exactly once %d\n", done, mismatched);
    std::printf("CPU while linked: %.1f ms over %.1f s (%.2f %%)\n", idleCpu, idleSeconds,
                idleSeconds > 0 ? idleCpu / (idleSeconds * 10) : 0);
    const bool ok = recovered == drops && mismatched == 0 && worst < 3.0;
    DestroyWindows();
    return ok ? 0 : 1;
}
