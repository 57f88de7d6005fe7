// The Windows port device switch and its device-change notices, on a stand-in for the system's
// device list, driven by the recovery as the main window drives it.

#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on
#include <gtest/gtest.h>

#include "link/port_device.h"
#include "link/recovery.h"

namespace tandrel::link {
namespace {

using Strings = std::vector<std::string>;
using Devices = std::vector<TPortDeviceEntry>;

const TPortDeviceEntry kBuiltIn{"ACPI\\PNP0501\\1", "COM1"};
const TPortDeviceEntry kAdapter{"FTDIBUS\\VID_0403+A50285BI\\0000", "COM5"};
const TPortDeviceEntry kOther{"USB\\VID_067B&PID_2303\\5", "COM6"};

class TFakeSetup : public TDeviceSetup {
  public:
    explicit TFakeSetup(Strings& log) : log_(log) {}
    bool PresentPorts(Devices& devices) override {
        devices = Present;
        return true;
    }
    bool SetEnabled(const std::string& id, bool on) override {
        log_.push_back((on ? "on " : "off ") + id);
        return true;
    }
    Devices Present;

  private:
    Strings& log_;
};

TEST(WinPortDevices, TheDeviceBehindThePortGoesOffAndTheSameOneOn) {
    const struct {
        const char* name;
        Devices before, after;  // present at the switch off, and at the switch on
        std::string port;
        Strings switched;
    } rows[] = {
        {"the adapter, not the first device",
         {kBuiltIn, kAdapter},
         {kBuiltIn, kAdapter},
         "COM5",
         {"off " + kAdapter.InstanceId, "on " + kAdapter.InstanceId}},
        {"names without regard to case",
         {kAdapter, kBuiltIn},
         {kAdapter, kBuiltIn},
         "com5",
         {"off " + kAdapter.InstanceId, "on " + kAdapter.InstanceId}},
        {"off, its name now another's",
         {kBuiltIn, kAdapter},
         {kBuiltIn, {kOther.InstanceId, "COM5"}},
         "COM5",
         {"off " + kAdapter.InstanceId, "on " + kAdapter.InstanceId}},
        {"a named port no device has: nothing", {kBuiltIn, kOther}, {kBuiltIn, kOther}, "COM5", {}},
        {"no device port: nothing", {kBuiltIn}, {kBuiltIn}, "", {}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Strings log;
        auto setup = std::make_unique<TFakeSetup>(log);
        TFakeSetup& system = *setup;
        system.Present = r.before;
        auto devices = CreatePortDevices(std::move(setup));
        EXPECT_EQ(devices->SetPortDeviceEnabled(r.port, false), !r.switched.empty());
        system.Present = r.after;
        EXPECT_EQ(devices->SetPortDeviceEnabled(r.port, true), !r.switched.empty());
        EXPECT_EQ(log, r.switched);
    }
}

// A WM_DEVICECHANGE message as the window procedure passes it on.
struct TNotice {
    WPARAM event;
    DWORD deviceType;
};

TEST(WinPortDevices, NoticesDriveTheRecoveryInOrder) {
    Strings log;
    auto setup = std::make_unique<TFakeSetup>(log);
    setup->Present = {kBuiltIn, kAdapter};
    auto devices = CreatePortDevices(std::move(setup));
    int reopened = 0;
    TRecovery::Actions actions;
    actions.SetPortDeviceEnabled = [&](bool on) {
        return devices->SetPortDeviceEnabled("COM5", on);
    };
    actions.ReopenDevicePort = [&] {
        log.push_back("reopen");
        return ++reopened > 0;
    };
    actions.RunArrivalSteps = [&] { log.push_back("arrival steps"); };
    TRecovery recovery(std::move(actions), {});
    const auto now = TRecovery::Clock::now();
    recovery.Fault(now);

    const struct {
        const char* name;
        TNotice notice;
        std::optional<TDeviceChange::Kind> kind;
        Strings logAfter;
    } rows[] = {
        {"not a device change", {0, 0}, std::nullopt, {"off " + kAdapter.InstanceId}},
        {"a volume's removal",
         {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME},
         TDeviceChange::RemoveComplete,
         {"off " + kAdapter.InstanceId}},
        {"a removal still pending",
         {DBT_DEVICEREMOVEPENDING, DBT_DEVTYP_PORT},
         TDeviceChange::Other,
         {"off " + kAdapter.InstanceId}},
        {"the port's removal",
         {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT},
         TDeviceChange::RemoveComplete,
         {"off " + kAdapter.InstanceId, "on " + kAdapter.InstanceId}},
        {"the port's arrival",
         {DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT},
         TDeviceChange::Arrival,
         {"off " + kAdapter.InstanceId, "on " + kAdapter.InstanceId, "reopen", "arrival steps"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        DEV_BROADCAST_HDR header{sizeof header, r.notice.deviceType, 0};
        MSG message{};
        message.message = r.notice.event == 0 ? WM_PAINT : WM_DEVICECHANGE;
        message.wParam = r.notice.event;
        message.lParam = reinterpret_cast<LPARAM>(&header);
        const std::optional<TDeviceChange> change = DeviceChangeOf(&message);
        EXPECT_EQ(change.has_value(), r.kind.has_value());
        if (change && r.kind) {
            EXPECT_EQ(change->kind, *r.kind);
            // The main window acts on port notices only.
            if (change->IsPort() && change->kind == TDeviceChange::RemoveComplete)
                recovery.RemovalNotice(now);
            if (change->IsPort() && change->kind == TDeviceChange::Arrival)
                recovery.ArrivalNotice(now);
        }
        EXPECT_EQ(log, r.logAfter);
    }
    EXPECT_FALSE(recovery.Pending());
}

}  // namespace
}  // namespace tandrel::link
