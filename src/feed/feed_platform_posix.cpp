#include <unistd.h>

#include <ctime>

#include "feed/feed_platform.h"

namespace tandrel::feed {
std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

TLocalNow LocalNowWithOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return {};
    return {FromTm(local), static_cast<std::int32_t>(local.tm_gmtoff)};
}

std::int32_t LocalOffsetSeconds(const job::TLocalTime& at) {
    std::tm tm = ToTm(at);
    if (mktime(&tm) == static_cast<std::time_t>(-1)) return 0;
    return static_cast<std::int32_t>(tm.tm_gmtoff);
}

}  // namespace tandrel::feed
