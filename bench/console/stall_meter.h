#pragma once
// The main thread's stalls for the benchmarks of the windows.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>

namespace tandrel::console::testing {

// The longest gap between the ticks of a 5 ms timer on the main thread: what the windows froze;
// and the most CPU time the main thread itself used between two ticks, which tells its own work
// from the time a loaded machine kept it waiting for a core.
class TStallMeter {
  public:
    TStallMeter() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            worst_ = std::max(worst_, clock_.restart());
            const double cpu = ThreadCpuMs();
            worstCpu_ = std::max(worstCpu_, cpu - lastCpu_);
            lastCpu_ = cpu;
        });
        timer_.start(5);
        Reset();
    }
    void Reset() {
        worst_ = 0;
        worstCpu_ = 0;
        clock_.restart();
        lastCpu_ = ThreadCpuMs();
    }
    qint64 WorstMs() const { return std::max(worst_, clock_.elapsed()); }
    std::string Said() const {
        char text[120];
        std::snprintf(text, sizeof text, "%lld ms (its own work at most %.0f ms of a gap)",
                      static_cast<long long>(WorstMs()), worstCpu_);
        return text;
    }

  private:
    static double ThreadCpuMs() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
    double worstCpu_ = 0;
    double lastCpu_ = 0;
};

}  // namespace tandrel::console::testing
