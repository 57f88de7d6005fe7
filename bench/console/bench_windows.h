#pragma once
// The benchmarks' start: the windows on the simulator's device, linked, with a list of rows; the
// simulator's byte log, stamped on the same monotonic clock as NowUs.

#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/Unit1.h"
#include "window_fixture.h"

namespace tandrel::console::testing {

// The link is up and at rest.
inline bool Linked() {
    return Form1->Link.LinkState.load() == 7;
}

// Writes a list of `rows` sizes into dir, starts the windows (the settings file already
// written), waits for the link and loads the list. False, said on stdout, when no link came.
inline bool StartLinkedWithList(const std::filesystem::path& dir, int rows) {
    const auto list = dir / "bench.txt";
    {
        std::ofstream out(list);
        for (int i = 1; i <= rows; ++i) out << 300 + (i * 37) % 2700 << ",5 row " << i << "\r\n";
    }
    CreateWindows();
    Form1->show();
    for (int i = 0; i < 1000 && !Linked(); ++i) QTest::qWait(10);
    if (!Linked()) {
        std::puts("no link");
        return false;
    }
    Form1->LoadList(list.string());
    return true;
}

inline std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// Reads the simulator's byte log as it grows: "<us> dev< 23 #" is a "#" the device received.
class TLogReader {
  public:
    explicit TLogReader(const std::filesystem::path& file) : file_(file) {}

    // The time stamp of the next "#" the device received, or -1 when none came in time.
    std::int64_t NextEnter(int limitMs) {
        const std::int64_t end = NowUs() + limitMs * 1000LL;
        while (NowUs() < end) {
            std::ifstream in(file_, std::ios::binary);
            in.seekg(offset_);
            std::string line;
            while (std::getline(in, line)) {
                if (in.eof()) break;  // a line not yet whole: read again later
                offset_ += static_cast<std::streamoff>(line.size() + 1);
                if (line.find(" dev< 23 ") != std::string::npos) return std::atoll(line.c_str());
            }
            QTest::qWait(1);
        }
        return -1;
    }

  private:
    std::filesystem::path file_;
    std::streamoff offset_ = 0;
};

// Clicks Start once the link is at rest: the milliseconds to the row's move string on the line,
// or a negative value when none came within 5 s.
inline double StartToMoveMs(TLogReader& reader) {
    for (int i = 0; i < 500 && !Linked(); ++i) QTest::qWait(2);
    const std::int64_t clicked = NowUs();
    Form1->BitBtn1->click();
    const std::int64_t onLine = reader.NextEnter(5000);
    return onLine < 0 ? -1 : (onLine - clicked) / 1000.0;
}

}  // namespace tandrel::console::testing
