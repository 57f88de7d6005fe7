#include "link/port_device.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "serial/BCPort.h"

namespace tandrel::link {

namespace {
bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::toupper(x) == std::toupper(y);
           });
}

bool Exists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

constexpr std::uintptr_t kDeviceArrival = 0x8000;
constexpr std::uintptr_t kDeviceRemoveComplete = 0x8004;
}  // namespace

std::optional<std::size_t> ChoosePortDevice(const std::vector<std::string>& portNames,
                                            const std::string& portName) {
    if (portName.empty()) return std::nullopt;
    // p may say "COM3:" or "\\.\COM3" for the device the system lists as "COM3".
    const std::string listed = serial::SystemPortName(portName);
    for (std::size_t i = 0; i < portNames.size(); ++i)
        if (SameName(portNames[i], listed)) return i;
    return std::nullopt;
}

TDeviceChange DecodeDeviceChange(std::uintptr_t event, const TBroadcastHeader* header) {
    TDeviceChange change;
    if (event == kDeviceArrival)
        change.kind = TDeviceChange::Arrival;
    else if (event == kDeviceRemoveComplete)
        change.kind = TDeviceChange::RemoveComplete;
    else
        return change;
    if (header != nullptr && header->Size >= sizeof(TBroadcastHeader))
        change.deviceType = header->DeviceType;
    return change;
}

TNotificationFilter PortNotificationFilter() {
    TNotificationFilter filter{};
    const std::uint32_t words[2] = {sizeof filter.Bytes, TDeviceChange::kPortDeviceType};
    for (std::size_t w = 0; w < 2; ++w)
        for (std::size_t b = 0; b < 4; ++b)
            filter.Bytes[w * 4 + b] = static_cast<std::uint8_t>(words[w] >> (8 * b));
    return filter;
}

TPortPathWatch::TPortPathWatch(std::filesystem::path path)
    : path_(std::move(path)), present_(Exists(path_)) {}

TPortPathWatch::Change TPortPathWatch::Poll() {
    const bool present = Exists(path_);
    if (present == present_) return None;
    present_ = present;
    return present ? Arrived : Removed;
}

}  // namespace tandrel::link
