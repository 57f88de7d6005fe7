#include "job/scan_burst.h"

namespace tandrel::job {

TScanBurst::TStep TScanBurst::SettleHeld() {
    TStep step;
    step.Settled = held_;
    // Fast keys that never ended in Enter were no hand either: nothing of them acts.
    step.SettledTyped = held_ < kMinKeys;
    held_ = 0;
    return step;
}

TScanBurst::TStep TScanBurst::Press(std::int64_t ms, bool enter) {
    TStep step;
    if (held_ > 0 && ms - last_ > kGapMs) step = SettleHeld();
    if (!enter) {
        ++held_;
        last_ = ms;
        step.This = TThis::Hold;
        return step;
    }
    // An Enter can only end a burst: it is never held.
    if (held_ + 1 >= kMinKeys) {
        held_ = 0;
        step.This = TThis::Scan;
        return step;
    }
    if (held_ > 0) step = SettleHeld();
    step.This = TThis::Act;
    return step;
}

TScanBurst::TStep TScanBurst::Expire(std::int64_t nowMs) {
    if (held_ == 0 || nowMs - last_ <= kGapMs) return {};
    return SettleHeld();
}

std::optional<std::int64_t> TScanBurst::Due() const {
    if (held_ == 0) return std::nullopt;
    return last_ + kGapMs + 1;
}

}  // namespace tandrel::job
