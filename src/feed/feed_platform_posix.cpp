#include <unistd.h>

#include <ctime>

#include "feed/feed_platform.h"

namespace tandrel::feed {
namespace {
job::TLocalTime FromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}
}  // namespace

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
    std::tm tm{};
    tm.tm_year = at.Year - 1900;
    tm.tm_mon = at.Month - 1;
    tm.tm_mday = at.Day;
    tm.tm_hour = at.Hour;
    tm.tm_min = at.Minute;
    tm.tm_sec = at.Second;
    tm.tm_isdst = -1;  // the zone's own rule for that day
    if (mktime(&tm) == static_cast<std::time_t>(-1)) return 0;
    return static_cast<std::int32_t>(tm.tm_gmtoff);
}

}  // namespace tandrel::feed
