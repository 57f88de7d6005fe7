// The Windows port device switch on a stand-in for the system's device list.

#include <gtest/gtest.h>

#include "link/port_device.h"

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

}  // namespace
}  // namespace tandrel::link
