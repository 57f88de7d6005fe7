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
    // Switches the device that backs portName on or off. Switching on after a switch off takes
    // the device that was switched off, whose port name may lead nowhere while it is off. False
    // when no device backs the name (an empty name included) or the system refused (no rights).
    // Main thread.
    virtual bool SetPortDeviceEnabled(const std::string& portName, bool on) = 0;
};

// sysRoot is where the system's device tree lies (Linux: "/sys"; tests pass a fixture tree).
std::unique_ptr<TPortDevices> CreatePortDevices(const std::filesystem::path& sysRoot = "/sys");

// Which device backs the port: the one whose port name matches, else none (an empty name
// included). Port names compare without regard to case (COM3 and com3 are one port).
std::optional<std::size_t> ChoosePortDevice(const std::vector<std::string>& portNames,
                                            const std::string& portName);

// The device-setup calls the Windows switch makes, behind one seam so that a test can stand in
// for the system's list of port devices.
struct TPortDeviceEntry {
    std::string InstanceId;  // the system's name of the device, kept while it is off
    std::string PortName;    // "COM3"; empty when the device has none
};
class TDeviceSetup {
  public:
    virtual ~TDeviceSetup() = default;
    // The present devices of the Ports class, in the system's order; false when there is no list.
    virtual bool PresentPorts(std::vector<TPortDeviceEntry>& devices) = 0;
    // Enables or disables (globally) the device of that instance ID; false when refused.
    virtual bool SetEnabled(const std::string& instanceId, bool on) = 0;
};
#ifdef _WIN32
// The Windows switch on a given seam (CreatePortDevices gives it the system's SetupAPI).
std::unique_ptr<TPortDevices> CreatePortDevices(std::unique_ptr<TDeviceSetup> setup);
#endif

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
