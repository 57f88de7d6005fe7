#include <langinfo.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/cp1251.h"
#include "link/thread_platform.h"

namespace tandrel::link {

void LowerCurrentThreadPriority() {
    // Linux gives each thread its own nice value; one more is one step below the others.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) setpriority(PRIO_PROCESS, tid, nice + 1);
}

// The long time format is the locale's (T_FMT); strftime writes it in the locale's code set.
// Both are parameters here so that tests can give any.
std::string FormatLongTime(const std::tm& time, const char* format, const char* codeset) {
    if (format == nullptr || *format == '\0') format = "%H:%M:%S";
    std::string text(64, '\0');
    for (;;) {
        const std::size_t n = std::strftime(text.data(), text.size(), format, &time);
        // 0 is also an empty result: a buffer far longer than the format ends the growing.
        if (n > 0 || text.size() > 64 + 8 * std::strlen(format)) {
            text.resize(n);
            break;
        }
        text.resize(text.size() * 2);
    }
    // "UTF-8", "utf8": the locale's texts are UTF-8; any other set is taken byte for byte.
    std::string set;
    for (const char* c = codeset ? codeset : ""; *c; ++c)
        if (*c != '-') set += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    return set == "UTF8" ? Utf8ToCp1251(text) : text;
}

// The time of day in the current locale's long time format, as Windows-1251 text.
std::string LongTimeText(const std::tm& time) {
    return FormatLongTime(time, nl_langinfo(T_FMT), nl_langinfo(CODESET));
}

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LongTimeText(local);
}

}  // namespace tandrel::link
