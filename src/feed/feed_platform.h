#pragma once
// What the feed asks of the system. One implementation file per platform; every call may run on
// any thread.

#include <cstdint>
#include <string>

#include "job/journal.h"

namespace tandrel::feed {

// The computer's name (Windows-1251): the station's name while none is set.
std::string ComputerName();

// The local time now and its distance from UTC in seconds.
struct TLocalNow {
    job::TLocalTime At;
    std::int32_t OffsetSeconds = 0;
};
TLocalNow LocalNowWithOffset();

// The distance from UTC of a moment of the local clock (a journal line's), in seconds.
std::int32_t LocalOffsetSeconds(const job::TLocalTime& at);

}  // namespace tandrel::feed
