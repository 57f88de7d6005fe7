#include <windows.h>

#include "link/thread_platform.h"

namespace tandrel::link {

void LowerCurrentThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

std::string LocalTimeText() {
    char buf[64];
    const int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buf, sizeof buf);
    return n > 1 ? std::string(buf, static_cast<std::size_t>(n - 1)) : std::string();
}

}  // namespace tandrel::link
