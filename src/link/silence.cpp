#include "link/silence.h"

#include <algorithm>

namespace tandrel::link {

void TSilenceWatch::Restart() {
    *this = TSilenceWatch();
}

void TSilenceWatch::Ping(Clock::time_point at) {
    if (pings_++ == 0) first_ = at;
    last_ = at;
}

TSilenceWatch::Clock::duration TSilenceWatch::Limit() const {
    const Clock::duration minimum = kMinimum;
    if (pings_ < 2) return minimum;
    const Clock::duration interval = (last_ - first_) / (pings_ - 1);
    return std::max(minimum, interval * kPingIntervals);
}

}  // namespace tandrel::link
