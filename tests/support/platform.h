#pragma once
// What a test needs to know about the system it runs on.

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

// A secret's file as the platform protects it: Windows seals the bytes (the secret is not in
// them), elsewhere the file is its owner's alone.
inline bool SecretProtected(const std::filesystem::path& file, const std::string& secret) {
#ifdef _WIN32
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return !bytes.empty() && bytes.find(secret) == std::string::npos;
#else
    (void)secret;
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && (info.st_mode & 077) == 0;
#endif
}

}  // namespace tandrel::testing
