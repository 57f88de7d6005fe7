#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "link/thread_platform.h"

namespace tandrel::link {

void LowerCurrentThreadPriority() {
    // Linux gives each thread its own nice value; one more is one step below the others.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) setpriority(PRIO_PROCESS, tid, nice + 1);
}

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[16];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &local);
    // The long time format of the Russian locale has no leading zero in the hour.
    return buf[0] == '0' ? std::string(buf + 1) : std::string(buf);
}

}  // namespace tandrel::link
