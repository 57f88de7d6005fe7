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

namespace {

std::int64_t NowUs() {
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

}  // namespace

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
        // The previous move reported back, so that each round starts from a link at rest.
        for (int i = 0; i < 500 && !Linked(); ++i) QTest::qWait(2);
        const std::int64_t clicked = NowUs();
        Form1->BitBtn1->click();
        const std::int64_t onLine = reader.NextEnter(5000);
        if (onLine < 0) {
            std::printf("round %d: no move string on the line\n", round + 1);
            return 1;
        }
        ms.push_back((onLine - clicked) / 1000.0);
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
