#include <langinfo.h>
#include <locale.h>

#include <system_error>

#include "base/numbers.h"
#include "base/system.h"

namespace tandrel {

std::filesystem::path ProgramDir() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return std::filesystem::current_path(ec);
    return exe.parent_path();
}

char SystemDecimalSeparator() {
    // The environment's LC_NUMERIC (LC_ALL and LANG as usual), read through a locale object of
    // its own so that the process locale is never switched under another thread.
    const locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (numeric == static_cast<locale_t>(nullptr)) return '.';
    const char* point = nl_langinfo_l(RADIXCHAR, numeric);
    const char sep = (point && point[0] && !point[1]) ? point[0] : '.';
    freelocale(numeric);
    return sep;
}

}  // namespace tandrel
