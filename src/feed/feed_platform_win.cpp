#include <windows.h>

#include <ctime>

#include "feed/feed_platform.h"

namespace tandrel::feed {
namespace {

// The wall clock's distance from the UTC moment it shows.
std::int32_t Offset(const std::tm& local, std::time_t utc) {
    return static_cast<std::int32_t>(job::WallSeconds(FromTm(local)) -
                                     static_cast<std::int64_t>(utc));
}
}  // namespace

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

TLocalNow LocalNowWithOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_s(&local, &now) != 0) return {};
    return {FromTm(local), Offset(local, now)};
}

std::int32_t LocalOffsetSeconds(const job::TLocalTime& at) {
    std::tm tm = ToTm(at);
    const std::time_t utc = mktime(&tm);
    if (utc == static_cast<std::time_t>(-1)) return 0;
    return Offset(tm, utc);
}

}  // namespace tandrel::feed
