// Linux: a USB serial adapter can be switched off and on through its "authorized" attribute
// under /sys (root only, as switching a device is on any system). Ports without one (built-in
// UARTs, pseudo-terminals) cannot be switched: the caller then reopens the port by itself.

#include <fstream>
#include <system_error>

#include "link/port_device.h"

namespace tandrel::link {

namespace {
namespace fs = std::filesystem;

// The "authorized" file of the USB device that backs /dev/<tty>, if any.
std::optional<fs::path> AuthorizedFile(const fs::path& sysRoot, const std::string& portName) {
    std::error_code error;
    const fs::path device = fs::canonical(portName, error);
    if (error) return std::nullopt;
    const fs::path link = sysRoot / "class" / "tty" / device.filename() / "device";
    fs::path dir = fs::canonical(link, error);
    if (error) return std::nullopt;
    const fs::path top = fs::canonical(sysRoot, error);
    if (error) return std::nullopt;
    // Walk up from the tty's device to the USB device, never above the /sys root.
    for (; !dir.empty() && dir != top && dir != dir.root_path(); dir = dir.parent_path()) {
        const fs::path file = dir / "authorized";
        if (fs::exists(dir / "idVendor", error) && fs::exists(file, error)) return file;
    }
    return std::nullopt;
}

class TPosixPortDevices : public TPortDevices {
  public:
    explicit TPosixPortDevices(fs::path sysRoot) : sysRoot_(std::move(sysRoot)) {}

    bool SetPortDeviceEnabled(const std::string& portName, bool on) override {
        // Only the device behind the named port: there is no list of anonymous port devices.
        // Switched off, the device's tty is gone (the driver is unbound, its node, by-id link and
        // class entry removed), so the port's name leads nowhere: switch on the device that was
        // switched off.
        std::optional<fs::path> file;
        if (on && switchedOff_) file = switchedOff_;
        if (!file) file = AuthorizedFile(sysRoot_, portName);
        if (!file) return false;
        std::ofstream out(*file);
        out << (on ? "1" : "0");
        out.flush();
        if (!out) return false;
        if (on)
            switchedOff_.reset();
        else
            switchedOff_ = file;
        return true;
    }

  private:
    fs::path sysRoot_;
    std::optional<fs::path> switchedOff_;  // the "authorized" file of the device switched off
};
}  // namespace

std::unique_ptr<TPortDevices> CreatePortDevices(const std::filesystem::path& sysRoot) {
    return std::make_unique<TPosixPortDevices>(sysRoot);
}

void RegisterPortNotification(void*) {}

std::optional<TDeviceChange> DeviceChangeOf(const void*) {
    return std::nullopt;
}

}  // namespace tandrel::link
