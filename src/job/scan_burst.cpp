#include "job/scan_burst.h"

namespace tandrel::job {

TScanBurst::TStep TScanBurst::SettleAll() {
    TStep step;
    step.Settled = held_;
    held_ = 0;
    return step;
}

std::optional<std::int64_t> TScanBurst::Window() const {
    if (held_ == 0) return std::nullopt;
    return held_ >= kMinChars ? kEnterGapMs : kKeyGapMs;
}

TScanBurst::TStep TScanBurst::Press(std::int64_t ms, bool enter) {
    if (enter) {
        if (held_ >= kMinChars && ms - last_ <= kEnterGapMs) {
            held_ = 0;
            return {0, TThis::Scan};
        }
        TStep step = SettleAll();
        step.This = TThis::Act;
        return step;
    }
    // A character too slow for the burst ends it as typing; it may begin the next one.
    TStep step;
    if (held_ > 0 && ms - last_ > kKeyGapMs) step = SettleAll();
    ++held_;
    last_ = ms;
    step.This = TThis::Hold;
    return step;
}

TScanBurst::TStep TScanBurst::Expire(std::int64_t nowMs) {
    const std::optional<std::int64_t> due = Due();
    if (!due || nowMs < *due) return {};
    return SettleAll();
}

std::optional<std::int64_t> TScanBurst::Due() const {
    const std::optional<std::int64_t> window = Window();
    if (!window) return std::nullopt;
    return last_ + *window + 1;
}

}  // namespace tandrel::job
