#pragma once
// What the port recovery needs of the platform: switching the device behind a serial port off
// and on, and the notices that port devices went away or arrived. One implementation file per
// platform (Windows: SetupAPI and WM_DEVICECHANGE; Linux: the USB "authorized" switch under
// /sys and a watch on the port's path).

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tandrel::link {

class TPortDevices {
  public:
    virtual ~TPortDevices() = default;
    // Switches the device that backs portName on or off; when no device matches the name, the
    // present port device at fallbackIndex. Switching on after a switch off takes the device that
    // was switched off, whose port name may lead nowhere meanwhile. False when there is no such
    // device or the system refused (no rights). Main thread.
    virtual bool SetPortDeviceEnabled(const std::string& portName, std::int32_t fallbackIndex,
                                      bool on) = 0;
};

// sysRoot is where the system's device tree lies (Linux: "/sys"; tests pass a fixture tree).
std::unique_ptr<TPortDevices> CreatePortDevices(const std::filesystem::path& sysRoot = "/sys");

// Which device to switch: the one whose port name matches, else fallbackIndex when it exists,
// else none. Port names compare without regard to case (COM3 and com3 are one port).
std::optional<std::size_t> ChoosePortDevice(const std::vector<std::string>& portNames,
                                            const std::string& portName,
                                            std::int32_t fallbackIndex);

// A device-change notice as the main window acts on it.
struct TDeviceChange {
    enum Kind { Other, Arrival, RemoveComplete } kind = Other;
    std::uint32_t deviceType = 0;  // 3: a port
    bool IsPort() const { return deviceType == kPortDeviceType; }
    static constexpr std::uint32_t kPortDeviceType = 3;
};

// The broadcast header a device-change message points to (the system's own layout).
struct TBroadcastHeader {
    std::uint32_t Size;
    std::uint32_t DeviceType;
    std::uint32_t Reserved;
};

// Decodes the event code and the header of a device-change message; header may be null.
TDeviceChange DecodeDeviceChange(std::uintptr_t event, const TBroadcastHeader* header);

// The filter passed when registering for port device notices: 32 bytes, the first word the size
// (32), the second the device type (3, a port), little-endian, everything else zero.
struct TNotificationFilter {
    alignas(std::uint32_t) std::array<std::uint8_t, 32> Bytes;
};
TNotificationFilter PortNotificationFilter();

// Registers the main window (its native handle) for port device notices; the result is not
// needed, the notices simply arrive. Does nothing where the platform has no such notices.
void RegisterPortNotification(void* windowHandle);

// When message (the platform's native message) is a device-change notice, decodes it.
std::optional<TDeviceChange> DeviceChangeOf(const void* nativeMessage);

// Watches a port's path for its device going away and coming back (Linux: the path of a
// device node or of a symlink to one). Polled by the main window's timer.
class TPortPathWatch {
  public:
    explicit TPortPathWatch(std::filesystem::path path);
    enum Change { None, Removed, Arrived };
    Change Poll();
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
    bool present_;
};

}  // namespace tandrel::link
