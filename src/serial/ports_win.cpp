// The port list on Windows: the values of the registry's serial device map.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "base/cp1251.h"
#include "serial/BCPort.h"

namespace tandrel::serial {

namespace {

[[noreturn]] void RegistryFailed() {
    throw EComPort("Ошибка обращения к системному реестру"_cp1251);
}

class TKey {
  public:
    explicit TKey(HKEY key) : key_(key) {}
    ~TKey() { ::RegCloseKey(key_); }
    TKey(const TKey&) = delete;
    TKey& operator=(const TKey&) = delete;
    HKEY Get() const { return key_; }

  private:
    HKEY key_;
};

}  // namespace

void ListSerialPorts(std::vector<std::string>& target) {
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &raw) !=
        ERROR_SUCCESS)
        RegistryFailed();
    TKey key(raw);
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        BYTE data[256];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        const LONG r =
            ::RegEnumValueA(key.Get(), index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) RegistryFailed();
        // The stored name ends with a NUL that is not part of it.
        const char* text = reinterpret_cast<const char*>(data);
        const auto length = std::find(text, text + dataSize, '\0') - text;
        names.emplace_back(text, static_cast<std::size_t>(length));
    }
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return ::lstrcmpiA(a.c_str(), b.c_str()) < 0;
    });
    target = std::move(names);
}

}  // namespace tandrel::serial
