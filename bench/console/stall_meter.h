#pragma once
// The main thread's stalls for the benchmarks of the windows.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <algorithm>

namespace tandrel::console::testing {

// The longest gap between the ticks of a 5 ms timer on the main thread: what the windows froze.
class TStallMeter {
  public:
    TStallMeter() {
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { worst_ = std::max(worst_, clock_.restart()); });
        timer_.start(5);
        clock_.start();
    }
    void Reset() {
        worst_ = 0;
        clock_.restart();
    }
    qint64 WorstMs() const { return std::max(worst_, clock_.elapsed()); }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 worst_ = 0;
};

}  // namespace tandrel::console::testing
