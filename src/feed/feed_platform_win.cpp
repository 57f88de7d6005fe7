#include <windows.h>
// after windows.h
#include <dpapi.h>
#include <wincrypt.h>

#include <ctime>

#include "feed/feed_platform.h"

namespace tandrel::feed {
namespace {

// The wall clock's distance from the UTC moment it shows.
std::int32_t Offset(const std::tm& local, std::time_t utc) {
    return static_cast<std::int32_t>(job::WallSeconds(FromTm(local)) -
                                     static_cast<std::int64_t>(utc));
}
}  // namespace

std::string ComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return {};
    return std::string(name, size);
}

std::string NativePath(const std::filesystem::path& path) {
    const std::wstring wide = path.wstring();
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

namespace {
std::optional<std::string> Crypt(const std::string& in, bool protect) {
    DATA_BLOB from{static_cast<DWORD>(in.size()),
                   reinterpret_cast<BYTE*>(const_cast<char*>(in.data()))};
    DATA_BLOB to{};
    const BOOL ok = protect ? CryptProtectData(&from, L"Tandrel MQTT", nullptr, nullptr, nullptr,
                                               CRYPTPROTECT_UI_FORBIDDEN, &to)
                            : CryptUnprotectData(&from, nullptr, nullptr, nullptr, nullptr,
                                                 CRYPTPROTECT_UI_FORBIDDEN, &to);
    if (!ok) return std::nullopt;
    std::string out(reinterpret_cast<const char*>(to.pbData), to.cbData);
    SecureZeroMemory(to.pbData, to.cbData);
    LocalFree(to.pbData);
    return out;
}
}  // namespace

// DPAPI for the user who runs the program: another user's or another machine's copy of the
// file opens to nothing.
std::optional<std::string> ProtectSecret(const std::string& secret) {
    return Crypt(secret, true);
}

std::optional<std::string> UnprotectSecret(const std::string& sealed) {
    return Crypt(sealed, false);
}

void RestrictToOwner(const std::filesystem::path&) {}

TLocalNow LocalNowWithOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_s(&local, &now) != 0) return {};
    return {FromTm(local), Offset(local, now)};
}

std::int32_t LocalOffsetSeconds(const job::TLocalTime& at) {
    std::tm tm = ToTm(at);
    const std::time_t utc = mktime(&tm);
    if (utc == static_cast<std::time_t>(-1)) return 0;
    return Offset(tm, utc);
}

}  // namespace tandrel::feed
