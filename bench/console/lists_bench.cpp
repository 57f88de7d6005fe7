// The "Списки" screen over a folder of ten thousand lists, through the real windows: what a look
// at the folder costs (the listing, the pass over the lists' states), how long a list that
// arrives takes to show on the screen, the main thread's longest stall meanwhile (screen open and
// closed), and how long a touch on a large list takes to put it in work, the windows running
// meanwhile. Prints medians and worsts. TANDREL_BENCH_SMOKE=1: a smaller folder and fewer rounds.

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "base/cp1251.h"
#include "console/application.h"
#include "console/incoming_poller.h"
#include "console/lists_screen.h"
#include "console/nastr_file.h"
#include "stall_meter.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void WriteList(const fs::path& file, int rows) {
    std::ofstream out(file, std::ios::binary);
    for (int i = 1; i <= rows; ++i) out << 300 + (i * 37) % 2700 << " row " << i << "\r\n";
}

void WriteTable(const fs::path& file, int rows) {
    std::ofstream out(file, std::ios::binary);
    out << "Size;Qty;Name;E1\r\n";
    for (int i = 1; i <= rows; ++i)
        out << 300 + (i * 37) % 2700 << ",5;" << 1 + i % 3 << ";part " << i << ";order\r\n";
}

void PrintSpread(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s: median %.1f ms, worst %.1f ms over %zu rounds\n", what, ms[ms.size() / 2],
                ms.back(), ms.size());
}

}  // namespace

// Waits, the windows running, until done() or the time-out; false on the time-out.
template <typename Done>
bool WaitFor(Done done, int timeoutMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > timeoutMs) return false;
        QTest::qWait(2);
    }
    return true;
}

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int lists = smoke ? 200 : 10000;
    const int rounds = smoke ? 2 : 10;
    const int bigRows = smoke ? 2000 : 20000;
    TProgramDir dir;
    const fs::path in = dir.Path() / "incoming";
    fs::create_directories(in);
    for (int i = 0; i < lists; ++i) WriteList(in / ("order " + std::to_string(i) + ".txt"), 30);
    WriteList(in / "big.txt", bigRows);
    WriteTable(in / "big.csv", bigRows / 2);  // about as many pieces, after the quantities
    WriteSettingsFile(SettingsFilePath(dir.Path()), DefaultSettings(dir.Path()));
    CreateWindows();
    Form1->show();
    TIncomingPoller& poller = Form1->Incoming();
    TStallMeter stall;

    const auto opened = Clock::now();
    Form1->SetIncomingDir(in);
    Form1->ListsButton->click();
    TListsScreen* screen = Form1->ListsScreen();
    const int shown = lists + 2;
    if (!WaitFor([&] { return screen->RowCount() == shown; }, 30000)) {
        std::printf("the screen shows %d lists of %d\n", screen->RowCount(), shown);
        return 1;
    }
    const double rowsMs = Ms(Clock::now() - opened);
    if (!WaitFor([&] { return screen->StateText(shown - 1) != "…"_cp1251; }, 120000)) {
        std::puts("the states of the folder's lists were not read within 120 s");
        return 1;
    }
    std::printf(
        "The screen opened over a folder of %d lists: every row after %.1f ms, every state after "
        "%.1f ms (the first pass reads every list); main thread's longest stall %s\n",
        shown, rowsMs, Ms(Clock::now() - opened), stall.Said().c_str());

    // Looks at a folder that does not change: the listing and the pass over the states.
    std::vector<double> listing, states;
    const auto counting = QObject::connect(&poller, &TIncomingPoller::Looked, [&] {
        listing.push_back(static_cast<double>(poller.ListingMs()));
        states.push_back(static_cast<double>(poller.StatesMs()));
    });
    stall.Reset();
    WaitFor([&] { return listing.size() >= static_cast<std::size_t>(rounds) + 1; }, 60000);
    QObject::disconnect(counting);
    listing.erase(listing.begin());  // the pass before it may still have been the first
    states.erase(states.begin());
    PrintSpread("A look at the unchanged folder, its listing (off the main thread)", listing);
    PrintSpread("A look at the unchanged folder, its pass over the states (off the main thread)",
                states);
    std::printf("Main thread's longest stall meanwhile, the screen open: %s\n",
                stall.Said().c_str());

    // Arrivals, each at a random moment of the poller's interval.
    std::vector<double> arrival, openable;
    stall.Reset();
    for (int round = 0; round < rounds; ++round) {
        QTest::qWait(100 + 337 * round % 1500);
        const std::string name = "new " + std::to_string(round) + ".txt";
        const auto written = Clock::now();
        WriteList(in / name, 30);
        // Newest first: its row is the top one, "записывается" until a second look agrees.
        if (!WaitFor([&] { return screen->CellText(0, 0) == name; }, 10000)) {
            std::printf("a new list did not show within 10 s: the top row is %s of %d\n",
                        screen->CellText(0, 0).c_str(), screen->RowCount());
            return 1;
        }
        arrival.push_back(Ms(Clock::now() - written));
        WaitFor([&] { return screen->StateText(0).starts_with("нов"_cp1251); }, 10000);
        openable.push_back(Ms(Clock::now() - written));
    }
    PrintSpread("A list's arrival to its row on the screen", arrival);
    PrintSpread("A list's arrival to its row open to a touch", openable);
    std::printf("Main thread's longest stall while the screen follows the folder: %s\n",
                stall.Said().c_str());

    screen->reject();
    stall.Reset();
    QTest::qWait(smoke ? 1000 : 6000);
    std::printf("Main thread's longest stall with the screen closed: %s\n", stall.Said().c_str());

    // A touch on a large list: the screen closes at once, the list is read and parsed off the main
    // thread and goes into work when both have ended.
    for (const char* name : {"big.txt", "big.csv"}) {
        Form1->ListsButton->click();
        const int row = [&] {
            for (int r = 0; r < screen->RowCount(); ++r)
                if (screen->CellText(r, 0).starts_with(name)) return r;
            return -1;
        }();
        if (row < 0) {
            std::printf("%s is not on the screen\n", name);
            return 1;
        }
        stall.Reset();
        const auto touched = Clock::now();
        screen->OpenRow(row);
        WaitFor([&] { return !Form1->Loading(); }, 10000);
        const double ms = Ms(Clock::now() - touched);
        if (Form1->Job.ListPath.filename() != name || Form1->Job.RowCount < bigRows / 2) {
            std::printf("%s was not loaded: %s\n", name, Form1->StatusText().c_str());
            return 1;
        }
        std::printf(
            "A touch on %s (%d rows after quantities) to the list in work: %.1f ms (limit 3000 "
            "ms); main thread's longest stall meanwhile %s\n",
            name, static_cast<int>(Form1->Job.RowCount), ms, stall.Said().c_str());
    }
    return 0;
}
