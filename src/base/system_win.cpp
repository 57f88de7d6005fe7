#include <windows.h>

#include "base/numbers.h"
#include "base/system.h"

namespace tandrel {

std::filesystem::path ProgramDir() {
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n == 0 || n >= std::size(buffer)) return std::filesystem::current_path();
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
}

char SystemDecimalSeparator() {
    // Read wide: the ANSI call would turn a separator outside the code page into '?'.
    wchar_t sep[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) == 2 && sep[0] > 0 &&
        sep[0] < 0x80)
        return static_cast<char>(sep[0]);
    return '.';
}

}  // namespace tandrel
