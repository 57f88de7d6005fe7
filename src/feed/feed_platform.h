#pragma once
// What the feed asks of the system. One implementation file per platform; every call may run on
// any thread.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include "job/journal.h"

namespace tandrel::feed {

// The computer's name (Windows-1251): the station's name while none is set.
std::string ComputerName();

// The path as the C library's file calls take it (the MQTT library opens certificates so).
std::string NativePath(const std::filesystem::path& path);

// A secret sealed for the machine's user, and opened again; nothing when the system refuses.
std::optional<std::string> ProtectSecret(const std::string& secret);
std::optional<std::string> UnprotectSecret(const std::string& sealed);
// The file (created empty when missing) readable and writable by its owner alone, before a
// secret is written to it; nothing where the sealing itself protects it.
void RestrictToOwner(const std::filesystem::path& path);

// The local time now and its distance from UTC in seconds.
struct TLocalNow {
    job::TLocalTime At;
    std::int32_t OffsetSeconds = 0;
};
TLocalNow LocalNowWithOffset();

// Between the journal's clock fields and the C library's; ToTm leaves summer time to the zone.
inline job::TLocalTime FromTm(const std::tm& tm) {
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}
inline std::tm ToTm(const job::TLocalTime& at) {
    std::tm tm{};
    tm.tm_year = at.Year - 1900;
    tm.tm_mon = at.Month - 1;
    tm.tm_mday = at.Day;
    tm.tm_hour = at.Hour;
    tm.tm_min = at.Minute;
    tm.tm_sec = at.Second;
    tm.tm_isdst = -1;
    return tm;
}

// The distance from UTC of a moment of the local clock (a journal line's), in seconds.
std::int32_t LocalOffsetSeconds(const job::TLocalTime& at);

}  // namespace tandrel::feed
