// The port list on Linux: what the kernel shows under /sys/class/tty with a real device behind
// it, plus the stable names udev makes in /dev/serial/by-id.

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

#include "base/cp1251.h"
#include "serial/BCPort.h"

namespace tandrel::serial {

namespace fs = std::filesystem;

namespace {

bool LessIgnoringCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) <
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The 8250 driver registers its legacy ports whether or not a UART answers there; those read
// type 0 (unknown) and cannot be opened usefully.
bool IsAbsent8250(const fs::path& ttyDir) {
    std::error_code ec;
    const auto driver = fs::read_symlink(ttyDir / "device" / "driver", ec);
    if (ec || driver.filename() != "serial8250") return false;
    std::ifstream type(ttyDir / "type");
    int value = -1;
    return (type >> value) && value == 0;
}

}  // namespace

void ListSerialPorts(std::vector<std::string>& target, const fs::path& sysRoot,
                     const fs::path& devRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator ttys(sysRoot / "class" / "tty", ec);
    if (ec) throw EComPort("Ошибка обращения к системному реестру"_cp1251);
    for (const auto& entry : ttys) {
        // Virtual consoles and pseudo-terminals have no device behind them.
        std::error_code missing;
        if (!fs::exists(entry.path() / "device", missing)) continue;
        if (IsAbsent8250(entry.path())) continue;
        names.push_back((devRoot / entry.path().filename()).string());
    }
    // No USB adapter, no by-id folder: nothing to add.
    for (const auto& link : fs::directory_iterator(devRoot / "serial" / "by-id", ec))
        names.push_back(link.path().string());
    std::stable_sort(names.begin(), names.end(), LessIgnoringCase);
    target = std::move(names);
}

void ListSerialPorts(std::vector<std::string>& target) {
    ListSerialPorts(target, "/sys", "/dev");
}

}  // namespace tandrel::serial
