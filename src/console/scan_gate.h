#pragma once
// Holds keys back from the windows while they may belong to a barcode scanner's burst, so that a
// scan never types into the manual entry, presses Start or Back, or answers a box. Installed on
// the application; main thread only.

#include <QObject>
#include <QPointer>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "job/scan_burst.h"

class QKeyEvent;
class QTimer;
class QWidget;

namespace tandrel::console {

class TScanGate : public QObject {
  public:
    // Milliseconds of a steady clock: when each key arrives.
    using TClock = std::function<std::int64_t()>;
    // Keys to the scan windows (the main window, the list screen) are gated, and a scan there
    // calls onScan with its code (Windows-1251). While another modal window is open its keys
    // are gated too and a scan is swallowed.
    TScanGate(std::function<bool(const QWidget* window)> scanWindow,
              std::function<void(const std::string& code)> onScan, QObject* parent);
    ~TScanGate() override;

    // Tests drive the clock of arrivals.
    void SetClock(TClock clock);
    // Settles the keys held when their time is up; the gate's timer calls it.
    void Expire();
    bool Holding() const { return !held_.empty(); }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct THeld {
        QPointer<QObject> Receiver;
        std::unique_ptr<QKeyEvent> Event;
    };
    // The time of a key press on its burst's clock: the event's own time stamp while every stamp
    // of the burst goes forward, else its arrival.
    std::int64_t TimeOf(const QKeyEvent& event, std::int64_t arrival);
    void Apply(const job::TScanBurst::TStep& step);
    void Replay(THeld& held);
    void Schedule();

    std::function<bool(const QWidget*)> scanWindow_;
    std::function<void(const std::string&)> onScan_;
    TClock clock_;
    job::TScanBurst burst_;
    std::deque<THeld> held_;  // presses and their releases, in order
    bool swallow_ = false;    // the held keys go to a modal window other than the scan windows
    bool replaying_ = false;
    bool stamped_ = false;        // the burst is timed by the events' time stamps
    std::int64_t lastStamp_ = 0;  // the last press's time stamp
    std::int64_t lastArrival_ = 0;
    bool lateOnce_ = false;  // the timer came late: queued keys go first
    QTimer* timer_ = nullptr;
};

}  // namespace tandrel::console
