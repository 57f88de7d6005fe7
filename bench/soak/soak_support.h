#pragma once
// What the soaks share: the process's CPU time, waiting on the windows' event loop (and the
// longest time the loop was away), and the rows that the progress file records.

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "console/nastr_file.h"
#include "simulator.h"
#include "window_fixture.h"

namespace tandrel::soak {

inline double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The longest gap seen between two turns of the waiting loop: a hung window shows here.
inline qint64& LongestStallMs() {
    static qint64 longest = 0;
    return longest;
}

inline bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock, turn;
    clock.start();
    turn.start();
    while (!done()) {
        if (clock.elapsed() > ms) return false;
        QTest::qWait(5);
        LongestStallMs() = std::max(LongestStallMs(), turn.restart() - 5);
    }
    return true;
}

inline void Pause(int ms) {
    WaitFor([] { return false; }, ms);
}

// Row number -> how many times the progress file records it (the first line is the CRC).
inline std::map<int, int> RecordedRows(const std::string& progressFile) {
    std::map<int, int> recorded;
    std::ifstream in(progressFile);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line))
        if (!line.empty()) ++recorded[std::atoi(line.c_str())];
    return recorded;
}

// The number after "name=" in the simulator's state line, or -1.
inline long long StateValue(const std::string& state, const std::string& name) {
    const std::string key = " " + name + "=";
    const auto at = state.find(key);
    return at == std::string::npos ? -1 : std::atoll(state.c_str() + at + key.size());
}

// Points the program at the simulator's device, opens the windows, waits for the link and loads a
// list of 20000 sizes. False (with the reason printed) when any of it fails.
inline bool StartWorkingList(const console::testing::TProgramDir& dir,
                             const console::testing::TSimulator& sim) {
    using namespace console;
    if (!sim.Ready()) {
        std::puts("simulator did not start");
        return false;
    }
    TSettings settings = DefaultSettings(dir.Path());
    settings.DevicePortName = sim.Device();
    WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
    const auto list = dir.Path() / "soak.txt";
    {
        std::ofstream out(list);
        for (int i = 1; i <= 20000; ++i) out << 200 + i % 2800 << " row " << i << "\r\n";
    }
    CreateWindows();
    Form1->show();
    if (!WaitFor([] { return Form1->Link.LinkState.load() == 7; }, 10000)) {
        std::puts("no link at start");
        return false;
    }
    Form1->LoadList(list.string());
    return true;
}

}  // namespace tandrel::soak
