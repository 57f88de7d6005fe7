#include "console/scan_gate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <limits>

#include "console/qt_text.h"

namespace tandrel::console {
namespace {

bool IsEnter(const QKeyEvent& event) {
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

// A scanner types characters and Enter; other keys (F2, the arrows, Escape) act at once.
bool ScannerKey(const QKeyEvent& event) {
    if (IsEnter(event) || event.key() == Qt::Key_Backspace) return true;
    const QString text = event.text();
    return !text.isEmpty() && text.at(0).isPrint();
}

std::int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

TScanGate::TScanGate(std::function<bool(const QWidget*)> scanWindow,
                     std::function<void(const std::string&)> onScan, QObject* parent)
    : QObject(parent),
      scanWindow_(std::move(scanWindow)),
      onScan_(std::move(onScan)),
      clock_(SteadyMs),
      timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] { Expire(); });
}

TScanGate::~TScanGate() = default;

void TScanGate::SetClock(TClock clock) {
    clock_ = std::move(clock);
    timed_ = false;
}

std::int64_t TScanGate::Now() const {
    return clock_() - (timed_ ? offset_ : 0);
}

std::int64_t TScanGate::TimeOf(const QKeyEvent& event) {
    const auto stamp = static_cast<std::int64_t>(event.timestamp());
    if (stamp == 0) return clock_();
    // The smallest lag between an event's time and its handling is the clocks' own offset: a
    // busy main thread only makes the lag larger.
    const std::int64_t lag = clock_() - stamp;
    if (!timed_ || lag < offset_) offset_ = lag;
    timed_ = true;
    return stamp;
}

bool TScanGate::eventFilter(QObject* watched, QEvent* event) {
    if (replaying_) return false;
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    const QWidget* modal = QApplication::activeModalWidget();
    const bool scanWindow = scanWindow_(widget->window());
    const bool otherModal = modal != nullptr && !scanWindow_(modal);
    if (!(otherModal ? widget->window() == modal : scanWindow)) return false;
    auto& key = static_cast<QKeyEvent&>(*event);
    if (!ScannerKey(key)) return false;  // modifiers too: Shift comes with a scanner's capitals

    if (type == QEvent::KeyRelease) {
        if (held_.empty()) return false;
        held_.push_back({watched, std::unique_ptr<QKeyEvent>(key.clone())});
        key.accept();
        return true;
    }
    if (key.isAutoRepeat()) {
        // A key held down is a hand: what was held settles, and the repeat acts.
        Apply(burst_.Expire(std::numeric_limits<std::int64_t>::max()));
        THeld repeat{watched, std::unique_ptr<QKeyEvent>(key.clone())};
        Replay(repeat);
        key.accept();
        return true;
    }
    const job::TScanBurst::TStep step = burst_.Press(TimeOf(key), IsEnter(key));
    Apply(step);
    if (step.This == job::TScanBurst::TThis::Scan) {
        std::string code;
        for (const THeld& held : held_)
            if (held.Event->type() == QEvent::KeyPress) code += FromQ(held.Event->text());
        const bool swallowed = swallow_;
        held_.clear();
        if (!swallowed && onScan_) onScan_(code);
    } else {
        if (held_.empty()) swallow_ = otherModal;
        held_.push_back({watched, std::unique_ptr<QKeyEvent>(key.clone())});
        if (step.This == job::TScanBurst::TThis::Act)
            Apply({1, true, job::TScanBurst::TThis::Hold});
    }
    Schedule();
    key.accept();
    return true;
}

void TScanGate::Apply(const job::TScanBurst::TStep& step) {
    // The settled presses leave with the releases held after them, up to the next press.
    std::size_t presses = 0;
    while (!held_.empty()) {
        const bool press = held_.front().Event->type() == QEvent::KeyPress;
        if (press && presses == step.Settled) break;
        if (press) ++presses;
        THeld held = std::move(held_.front());
        held_.pop_front();
        if (step.SettledTyped) Replay(held);
    }
}

void TScanGate::Replay(THeld& held) {
    if (held.Receiver.isNull()) return;
    replaying_ = true;
    struct TEnd {
        bool& flag;
        ~TEnd() { flag = false; }
    } end{replaying_};
    QCoreApplication::sendEvent(held.Receiver, held.Event.get());
}

void TScanGate::Expire() {
    Apply(burst_.Expire(Now()));
    Schedule();
}

void TScanGate::Schedule() {
    const std::optional<std::int64_t> due = burst_.Due();
    if (!due) {
        timer_->stop();
        return;
    }
    const std::int64_t wait = *due - Now();
    timer_->start(static_cast<int>(std::max<std::int64_t>(wait, 1)));
}

}  // namespace tandrel::console
