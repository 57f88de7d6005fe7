// Windows: the Ports device class through SetupAPI, and WM_DEVICECHANGE notices.

#include <windows.h>
// clang-format off
#include <dbt.h>
#include <setupapi.h>
// clang-format on

#include "link/port_device.h"

namespace tandrel::link {

namespace {
// {4D36E978-E325-11CE-BFC1-08002BE10318}
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Releases a device list on every path.
class TDeviceList {
  public:
    explicit TDeviceList(HDEVINFO handle) : handle_(handle) {}
    ~TDeviceList() {
        if (Valid()) SetupDiDestroyDeviceInfoList(handle_);
    }
    TDeviceList(const TDeviceList&) = delete;
    TDeviceList& operator=(const TDeviceList&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return handle_; }

  private:
    HDEVINFO handle_;
};

// The "PortName" value of a device ("COM3"), empty when it has none.
std::string PortNameOf(HDEVINFO list, SP_DEVINFO_DATA& info) {
    HKEY key = SetupDiOpenDevRegKey(list, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    char name[256] = {};
    DWORD size = sizeof name - 1;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return {};
    return std::string(name);
}

class TSetupApi final : public TDeviceSetup {
  public:
    bool PresentPorts(std::vector<TPortDeviceEntry>& devices) override {
        TDeviceList list(SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
        if (!list.Valid()) return false;
        for (DWORD i = 0;; ++i) {
            SP_DEVINFO_DATA info{};
            info.cbSize = sizeof info;  // 32 on 64-bit Windows, 28 on 32-bit
            if (!SetupDiEnumDeviceInfo(list.Get(), i, &info)) break;
            char id[512] = {};
            if (!SetupDiGetDeviceInstanceIdA(list.Get(), &info, id, sizeof id, nullptr)) continue;
            devices.push_back({id, PortNameOf(list.Get(), info)});
        }
        return true;
    }

    bool SetEnabled(const std::string& instanceId, bool on) override {
        // Opened by its instance ID, the device is found also while it is disabled.
        TDeviceList list(SetupDiCreateDeviceInfoList(&kPortsClass, nullptr));
        if (!list.Valid()) return false;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiOpenDeviceInfoA(list.Get(), instanceId.c_str(), nullptr, 0, &device))
            return false;
        SP_PROPCHANGE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = on ? DICS_ENABLE : DICS_DISABLE;
        params.Scope = DICS_FLAG_GLOBAL;
        params.HwProfile = 0;
        if (!SetupDiSetClassInstallParamsA(list.Get(), &device, &params.ClassInstallHeader,
                                           sizeof params))
            return false;
        return SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, list.Get(), &device) != FALSE;
    }
};

class TWinPortDevices : public TPortDevices {
  public:
    explicit TWinPortDevices(std::unique_ptr<TDeviceSetup> setup) : setup_(std::move(setup)) {}

    bool SetPortDeviceEnabled(const std::string& portName, bool on) override {
        if (on) {
            // The device switched off, not whichever now answers to the name (or the first one):
            // a device left disabled stays so until an administrator enables it.
            if (!switchedOff_) return false;
            if (!setup_->SetEnabled(*switchedOff_, true)) return false;
            switchedOff_.reset();
            return true;
        }
        std::vector<TPortDeviceEntry> devices;
        if (!setup_->PresentPorts(devices)) return false;
        std::vector<std::string> names;
        for (const TPortDeviceEntry& d : devices) names.push_back(d.PortName);
        const std::optional<std::size_t> chosen = ChoosePortDevice(names, portName);
        if (!chosen) return false;  // no device behind the port: nothing to switch
        // Kept even when refused: the class installer may disable it at the next restart, and
        // switching on a device that is on does no harm.
        switchedOff_ = devices[*chosen].InstanceId;
        return setup_->SetEnabled(*switchedOff_, false);
    }

  private:
    std::unique_ptr<TDeviceSetup> setup_;
    std::optional<std::string> switchedOff_;
};
}  // namespace

std::unique_ptr<TPortDevices> CreatePortDevices(std::unique_ptr<TDeviceSetup> setup) {
    return std::make_unique<TWinPortDevices>(std::move(setup));
}

std::unique_ptr<TPortDevices> CreatePortDevices(const std::filesystem::path&) {
    return CreatePortDevices(std::make_unique<TSetupApi>());
}

void RegisterPortNotification(void* windowHandle) {
    // The whole 32-byte record, not only its 12-byte header (the port form itself is 16).
    TNotificationFilter filter = PortNotificationFilter();
    RegisterDeviceNotificationA(static_cast<HWND>(windowHandle), filter.Bytes.data(),
                                DEVICE_NOTIFY_ALL_INTERFACE_CLASSES);
}

std::optional<TDeviceChange> DeviceChangeOf(const void* nativeMessage) {
    const MSG* message = static_cast<const MSG*>(nativeMessage);
    if (message == nullptr || message->message != WM_DEVICECHANGE) return std::nullopt;
    static_assert(sizeof(DEV_BROADCAST_HDR) == sizeof(TBroadcastHeader));
    return DecodeDeviceChange(static_cast<std::uintptr_t>(message->wParam),
                              reinterpret_cast<const TBroadcastHeader*>(message->lParam));
}

}  // namespace tandrel::link
