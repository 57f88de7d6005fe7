#include <clocale>
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
    // The user's locale, not the C locale the process starts in.
    const char* saved = std::setlocale(LC_NUMERIC, nullptr);
    std::string keep = saved ? saved : "C";
    std::setlocale(LC_NUMERIC, "");
    const std::lconv* conv = std::localeconv();
    const char sep = (conv && conv->decimal_point && conv->decimal_point[0] && !conv->decimal_point[1])
                         ? conv->decimal_point[0]
                         : '.';
    std::setlocale(LC_NUMERIC, keep.c_str());
    return sep;
}

}  // namespace tandrel
