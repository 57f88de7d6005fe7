// The "Раскрой" window through the real windows: "Рассчитать" to the picture shown for a list of
// 1,000 pieces on three stock lengths, and the main thread's longest stall meanwhile; then a
// search that runs to its time limit (exact triples, the progress bar and "Отмена" shown) with
// its stall. Prints medians and worsts. TANDREL_BENCH_SMOKE=1: small lists, one round.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "console/application.h"
#include "console/raskroy.h"
#include "stall_meter.h"
#include "support/exact_triples.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {

// A shop's list: pieces of 50 sizes between 200 and 2500 mm.
std::string ShopList(int pieces) {
    std::mt19937 rng(1502);
    std::uniform_int_distribution<int> size(200, 2500);
    std::vector<int> sizes;
    for (int s = 0; s < 50; ++s) sizes.push_back(size(rng));
    std::string list;
    for (int i = 0; i < pieces; ++i)
        list += std::to_string(sizes[static_cast<std::size_t>(i % 50)]) + ",5 part " +
                std::to_string(i % 50) + "\r\n";
    return list;
}

// A list of exact triples: the search runs to its limit.
std::string ExactTriples(int bars) {
    std::string list;
    for (const int mm : tandrel::testing::ExactTripleSizes(bars))
        list += std::to_string(mm) + " x\r\n";
    return list;
}

struct TRound {
    double Ms = 0;
    qint64 StallMs = 0;
    std::string Stall;
    bool Shown = false;
};

// Clicks "Рассчитать" and runs the windows until the plan is painted.
TRound PlanOnce(TRaskroyWindow* w, TStallMeter& stalls, int timeoutMs) {
    TRound round;
    QCoreApplication::processEvents();
    stalls.Reset();
    QElapsedTimer clock;
    clock.start();
    w->PlanButton->click();
    while (w->ShownPlan() == nullptr && clock.elapsed() < timeoutMs) QTest::qWait(1);
    QCoreApplication::processEvents();  // the picture painted
    round.Ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    round.StallMs = stalls.WorstMs();
    round.Stall = stalls.Said();
    round.Shown = w->ShownPlan() != nullptr;
    return round;
}

TRaskroyWindow* OpenWith(TProgramDir& dir, const std::string& settings, const std::string& list) {
    CloseWindows();
    dir.Write("raskroy.dat", settings);
    dir.Write("bench.txt", list);
    CreateWindows();
    Form1->resize(1280, 800);
    Form1->show();
    Form1->LoadList((dir.Path() / "bench.txt").string());
    Form1->N7->trigger();
    return Form1->Raskroy();
}

}  // namespace

int main(int, char** argv) {
    TApplication app(ProgramArgc(), argv);
    LoadProgramFonts();
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int pieces = smoke ? 100 : 1000;
    const int rounds = smoke ? 1 : 5;
    TProgramDir dir;

    TRaskroyWindow* w = OpenWith(
        dir, "stock=6000,4000,3000\r\nkerf=4\r\nhead=10\r\nremnant=500\r\n", ShopList(pieces));
    TStallMeter stalls;
    std::vector<double> ms;
    qint64 worstStall = 0;
    std::string worstSaid;
    for (int r = 0; r < rounds; ++r) {
        const TRound round = PlanOnce(w, stalls, 120000);
        if (!round.Shown) {
            std::puts("no plan shown within 120 s");
            return 1;
        }
        ms.push_back(round.Ms);
        if (round.StallMs >= worstStall) worstStall = round.StallMs, worstSaid = round.Stall;
    }
    std::sort(ms.begin(), ms.end());
    std::printf(
        "%d pieces, 3 stock lengths: \"Рассчитать\" to the picture median %.0f ms, worst "
        "%.0f ms over %d rounds (%zu bars, %zu patterns, %s)\n",
        pieces, ms[ms.size() / 2], ms.back(), rounds, w->ShownPlan()->Bars.size(),
        w->Picture->Groups().size(), w->ShownPlan()->Proven ? "proven" : "not proven");
    std::printf("  the windows' longest stall meanwhile: %s\n", worstSaid.c_str());

    // A search that runs to its time limit: the progress bar shows, the windows keep going.
    const int bars = smoke ? 100 : 333;
    w = OpenWith(dir, "stock=6000\r\nkerf=0\r\nhead=0\r\nremnant=0\r\n", ExactTriples(bars));
    w->TimeLimit = std::chrono::milliseconds(smoke ? 1000 : 5000);
    const TRound limited = PlanOnce(w, stalls, 300000);
    if (!limited.Shown) {
        std::puts("no plan shown within 300 s");
        return 1;
    }
    std::printf(
        "%d pieces of exact triples, time limit %lld ms: plan shown after %.0f ms (%s), "
        "longest stall %s\n",
        3 * bars, static_cast<long long>(w->TimeLimit.count()), limited.Ms,
        w->ShownPlan()->Stopped ? "search stopped at its limit" : "search ended",
        limited.Stall.c_str());
    CloseWindows();
    return 0;
}
