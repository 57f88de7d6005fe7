// A step with each kind of label printer, through the real windows and the simulator, with
// "Отправлять размеры на упор" on: the time from a click of Start to the row's move string on the
// line (the simulator's byte log, stamped on the same monotonic clock), and the main thread's
// longest stall meanwhile. Printing off; a serial printer; a network printer; a print queue (a
// private cupsd sending to that network printer); a network printer that never answers (a
// listener whose accept queue is full); a print server that never answers.
// TANDREL_BENCH_SMOKE=1: five rounds a case instead of a hundred.

#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "bench_windows.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "simulator.h"
#include "stall_meter.h"
#include "support/hostile_printer.h"
#include "support/private_cupsd.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int rounds = smoke ? 5 : 100;
    TProgramDir dir;
    const auto log = dir.Path() / "line.log";
    TSimulator sim(dir.Path(),
                   {"--ping-ms", "50", "--speed", "1000000", "--precision", "1", "--printer-tcp",
                    "0", "--log", log.string()},
                   true);
    if (!sim.Ready()) {
        std::puts("simulator did not start");
        return 1;
    }
    const std::string tcp = sim.NetworkPrinter();
    tandrel::testing::PrivateCupsd cupsd(
        dir.Path() / "cups", "Label",
        static_cast<std::uint16_t>(std::stoi(tcp.substr(tcp.rfind(':') + 1))));
    if (!cupsd.Ready()) {
        std::puts("cupsd did not start");
        return 1;
    }
    tandrel::testing::FullListener deafPrinter("127.0.0.1");
    tandrel::testing::HostilePrinter deafServer(
        "127.0.0.1", {.HostStatus = std::nullopt,
                      .ReadLimit = 0,
                      .End = tandrel::testing::HostilePrinter::TEnd::Hold});
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = sim.Device();
    settings.SendSizes = true;
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
    const struct {
        const char* what;
        std::string printer;  // "" with printing off
        std::string cups;     // the print service of the case
        bool dead;            // its labels never come out
    } cases[] = {
        {"printing off", "", "", false},
        {"serial", sim.Printer(), "", false},
        {"network", tcp, "", false},
        {"print queue", "printer:Label", cupsd.Server(), false},
        {"a printer that never answers", "127.0.0.1:" + std::to_string(deafPrinter.Port()), "",
         true},
        {"a print server that never answers", "printer:Label",
         "127.0.0.1:" + std::to_string(deafServer.Port()), true},
    };
    if (!StartLinkedWithList(dir.Path(), rounds * static_cast<int>(std::size(cases)))) return 1;
    TLogReader reader(log);
    int status = 0;
    for (const auto& c : cases) {
        setenv("CUPS_SERVER", c.cups.c_str(), 1);
        Form1->StartPrinting();  // a new thread takes the case's print service
        Form1->Settings.PrintLabels = !c.printer.empty();
        LabelPortName = c.printer;
        std::vector<double> ms;
        TStallMeter stall;
        for (int round = 0; round < rounds; ++round) {
            const double took = StartToMoveMs(reader);
            if (took < 0) {
                std::printf("%s, round %d: no move string on the line\n", c.what, round + 1);
                return 1;
            }
            ms.push_back(took);
        }
        const long long stalled = static_cast<long long>(stall.WorstMs());
        std::sort(ms.begin(), ms.end());
        std::printf(
            "Start click to move string, %s: median %.2f ms, 99th percentile %.2f ms, longest "
            "stall of the windows %lld ms over %d rounds\n",
            c.what, ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], stalled,
            rounds);
        // The labels of a working printer all come out; those of a dead one are not waited for.
        for (int i = 0; i < 3000 && !c.dead && Form1->LabelsPending(); ++i) QTest::qWait(5);
        if (!c.dead && Form1->LabelsPending()) {
            std::printf("%s: labels still waiting after 15 s\n", c.what);
            status = 1;
        }
    }
    DestroyWindows();
    return status;
}
