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
    char sep[8] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, sizeof sep) == 2) return sep[0];
    return '.';
}

}  // namespace tandrel
