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

// Releases the device list on every path.
class TDeviceList {
  public:
    TDeviceList() : handle_(SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT)) {}
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

class TWinPortDevices : public TPortDevices {
  public:
    bool SetPortDeviceEnabled(const std::string& portName, std::int32_t fallbackIndex,
                              bool on) override {
        TDeviceList list;
        if (!list.Valid()) return false;
        std::vector<SP_DEVINFO_DATA> devices;
        std::vector<std::string> names;
        for (DWORD i = 0;; ++i) {
            SP_DEVINFO_DATA info{};
            info.cbSize = sizeof info;  // 32 on 64-bit Windows, 28 on 32-bit
            if (!SetupDiEnumDeviceInfo(list.Get(), i, &info)) break;
            names.push_back(PortNameOf(list.Get(), info));
            devices.push_back(info);
        }
        const std::optional<std::size_t> chosen = ChoosePortDevice(names, portName, fallbackIndex);
        if (!chosen) return false;
        SP_PROPCHANGE_PARAMS params{};
        params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
        params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
        params.StateChange = on ? DICS_ENABLE : DICS_DISABLE;
        params.Scope = DICS_FLAG_GLOBAL;
        params.HwProfile = 0;
        SP_DEVINFO_DATA& device = devices[*chosen];
        if (!SetupDiSetClassInstallParamsA(list.Get(), &device, &params.ClassInstallHeader,
                                           sizeof params))
            return false;
        return SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, list.Get(), &device) != FALSE;
    }
};
}  // namespace

std::unique_ptr<TPortDevices> CreatePortDevices(const std::filesystem::path&) {
    return std::make_unique<TWinPortDevices>();
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
