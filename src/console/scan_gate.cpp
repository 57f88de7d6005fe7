#include "console/scan_gate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>

#include "console/qt_text.h"

namespace tandrel::console {
namespace {

bool IsEnter(const QKeyEvent& event) {
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

// A scanner types characters and Enter; every other key acts at once.
bool ScannerKey(const QKeyEvent& event) {
    if (IsEnter(event)) return true;
    const QString text = event.text();
    return !text.isEmpty() && text.at(0).isPrint();
}

// Shift and the like come with a scanner's capitals: they neither wait nor end a burst.
bool Modifier(const QKeyEvent& event) {
    const int key = event.key();
    return (key >= Qt::Key_Shift && key <= Qt::Key_ScrollLock) || key == Qt::Key_AltGr ||
           key == Qt::Key_Mode_switch || key == Qt::Key_Super_L || key == Qt::Key_Super_R;
}

// A timer this late was held up by a busy main thread: keys queued meanwhile go first.
constexpr std::int64_t kLateMs = 10;

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
    stamped_ = false;
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
    if (!ScannerKey(key)) {
        // It acts now, after the keys typed before it.
        if (type == QEvent::KeyPress && !held_.empty() && !Modifier(key)) {
            Apply(burst_.SettleAll());
            Schedule();
        }
        return false;
    }

    if (type == QEvent::KeyRelease) {
        if (held_.empty()) return false;
        held_.push_back({watched, std::unique_ptr<QKeyEvent>(key.clone())});
        key.accept();
        return true;
    }
    if (key.isAutoRepeat()) {
        // A key held down is a hand: what was held settles, and the repeat acts.
        Apply(burst_.SettleAll());
        THeld repeat{watched, std::unique_ptr<QKeyEvent>(key.clone())};
        Replay(repeat);
        Schedule();
        key.accept();
        return true;
    }
    // A burst goes by the events' own time stamps, so that a busy main thread never makes a
    // scan of hand typing, while each stamp goes forward; a stamp of 0, one repeated or one
    // behind (remote-control and on-screen keyboards send such) times the key and the rest of
    // its burst by their arrival instead. The two clocks are never compared.
    const std::int64_t arrival = clock_();
    lateOnce_ = false;
    const auto stamp = static_cast<std::int64_t>(key.timestamp());
    const bool forward = stamp != 0 && stamp > lastStamp_;
    lastStamp_ = stamp;
    if (burst_.Held() == 0) {
        stamped_ = forward;
    } else if (stamped_ && !forward) {
        stamped_ = false;
        burst_.Rebase(lastArrival_);
    }
    const job::TScanBurst::TStep step = burst_.Press(stamped_ ? stamp : arrival, IsEnter(key));
    if (step.Settled > 0 && burst_.Held() == 1) {
        // Too slow for the burst before it: it begins the next one, on its own clock.
        stamped_ = forward;
        burst_.Rebase(forward ? stamp : arrival);
    }
    lastArrival_ = arrival;
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
        if (step.This == job::TScanBurst::TThis::Act) Apply({1, job::TScanBurst::TThis::Hold});
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
        Replay(held);
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
    const std::optional<std::int64_t> window = burst_.Window();
    if (!window) return;
    const std::int64_t due = lastArrival_ + *window + 1;
    const std::int64_t now = clock_();
    if (now < due) {
        Schedule();
        return;
    }
    if (now - due > kLateMs && !lateOnce_) {
        lateOnce_ = true;
        QTimer::singleShot(0, this, [this] { Expire(); });
        return;
    }
    lateOnce_ = false;
    Apply(burst_.SettleAll());
    Schedule();
}

void TScanGate::Schedule() {
    const std::optional<std::int64_t> window = burst_.Window();
    if (!window) {
        timer_->stop();
        return;
    }
    const std::int64_t wait = lastArrival_ + *window + 1 - clock_();
    timer_->start(static_cast<int>(std::max<std::int64_t>(wait, 1)));
}

}  // namespace tandrel::console
