#pragma once
// What a test needs to know about the system it runs on.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tandrel::testing {

// Wine runs the Windows build here; a few calls behave there unlike on Windows, and the tests
// that rely on them are Windows-only (skipped under Wine with the reason).
inline bool UnderWine() {
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// Whether a folder without write permission refuses new files: not for root, and never on
// Windows, which ignores the read-only attribute of a folder.
inline bool ReadOnlyFoldersRefuseWrites() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() != 0;
#endif
}

}  // namespace tandrel::testing
