#include "link/port_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

namespace tandrel::link {
namespace {

namespace fs = std::filesystem;

TEST(PortDevice, ChoiceTable) {
    const std::vector<std::string> names = {"COM1", "COM4", "", "COM3"};
    const struct {
        const char* port;
        std::optional<std::size_t> chosen;
    } cases[] = {
        {"COM3", 3},   // the device behind the port, not the first one
        {"com4", 1},   // names compare without regard to case
        {"COM3:", 3},  // as p may name it
        {"\\\\.\\COM4", 1}, {"COM9", std::nullopt},  // absent: no other device stands in for it
        {"", std::nullopt},                          // no device port: nothing to switch
    };
    for (const auto& c : cases) EXPECT_EQ(ChoosePortDevice(names, c.port), c.chosen) << c.port;
    EXPECT_EQ(ChoosePortDevice({}, "COM1"), std::nullopt);  // no port device present
}

TEST(PortDevice, DeviceChangeDecoding) {
    const TBroadcastHeader port{12, 3, 0};
    const TBroadcastHeader volume{12, 2, 0};
    const TBroadcastHeader shortRecord{4, 3, 0};
    struct Case {
        std::uintptr_t event;
        const TBroadcastHeader* header;
        TDeviceChange::Kind kind;
        bool isPort;
    } cases[] = {
        {0x8000, &port, TDeviceChange::Arrival, true},
        {0x8004, &port, TDeviceChange::RemoveComplete, true},
        {0x8000, &volume, TDeviceChange::Arrival, false},
        {0x8000, nullptr, TDeviceChange::Arrival, false},
        {0x8000, &shortRecord, TDeviceChange::Arrival, false},  // a record too small to read
        {0x0007, &port, TDeviceChange::Other, false},           // DBT_DEVNODES_CHANGED
        {0x8003, &port, TDeviceChange::Other, false},           // remove pending
    };
    for (const Case& c : cases) {
        const TDeviceChange change = DecodeDeviceChange(c.event, c.header);
        EXPECT_EQ(change.kind, c.kind) << c.event;
        EXPECT_EQ(change.IsPort(), c.isPort) << c.event;
    }
}

class Fixture : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("tandrel-sys-" + std::to_string(getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "dev");
    }
    void TearDown() override { fs::remove_all(root); }
    static void Write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    static std::string Read(const fs::path& file) {
        std::ifstream in(file);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path root;
};

TEST_F(Fixture, UsbAdapterIsSwitchedThroughItsAuthorizedFile) {
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
    const fs::path tty = usb / "1-2:1.0/ttyUSB7";
    Write(usb / "idVendor", "0403\n");
    Write(usb / "authorized", "1\n");
    fs::create_directories(tty);
    fs::create_directories(root / "sys/class/tty/ttyUSB7");
    fs::create_directory_symlink(tty, root / "sys/class/tty/ttyUSB7/device");
    Write(root / "dev/ttyUSB7", "");
    fs::create_symlink(root / "dev/ttyUSB7", root / "dev/by-id-link");

    auto devices = CreatePortDevices(root / "sys");
    EXPECT_TRUE(devices->SetPortDeviceEnabled((root / "dev/by-id-link").string(), false));
    EXPECT_EQ(Read(usb / "authorized"), "0");
    EXPECT_TRUE(devices->SetPortDeviceEnabled((root / "dev/ttyUSB7").string(), true));
    EXPECT_EQ(Read(usb / "authorized"), "1");
}

// Writing 0 to "authorized" unbinds the driver: the kernel takes the tty's node, its by-id link
// and its class entry away, and brings them back when 1 is written.
TEST_F(Fixture, AdapterSwitchedOffIsSwitchedOnAgainThoughItsTtyIsGone) {
    const fs::path usb = root / "sys/devices/pci0000:00/usb1/1-2";
    const fs::path tty = usb / "1-2:1.0/ttyUSB0";
    const fs::path byId = root / "dev/serial/by-id/usb-adapter-if00-port0";
    Write(usb / "idVendor", "0403\n");
    Write(usb / "authorized", "1\n");
    auto bind = [&] {
        fs::create_directories(tty);
        fs::create_directories(root / "sys/class/tty/ttyUSB0");
        fs::create_directory_symlink(tty, root / "sys/class/tty/ttyUSB0/device");
        Write(root / "dev/ttyUSB0", "");
        fs::create_directories(byId.parent_path());
        fs::create_symlink(root / "dev/ttyUSB0", byId);
    };
    auto unbind = [&] {
        fs::remove_all(tty);
        fs::remove_all(root / "sys/class/tty/ttyUSB0");
        fs::remove(root / "dev/ttyUSB0");
        fs::remove(byId);
    };
    bind();
    auto devices = CreatePortDevices(root / "sys");
    // Three cycles, through either name of the port.
    const std::string names[] = {byId.string(), (root / "dev/ttyUSB0").string(), byId.string()};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(devices->SetPortDeviceEnabled(name, false));
        EXPECT_EQ(Read(usb / "authorized"), "0");
        unbind();
        EXPECT_TRUE(devices->SetPortDeviceEnabled(name, true));
        EXPECT_EQ(Read(usb / "authorized"), "1");
        bind();
    }
    // Switching on twice (the removal notice and the reopen's own attempt) does no harm.
    EXPECT_TRUE(devices->SetPortDeviceEnabled(byId.string(), true));
    EXPECT_EQ(Read(usb / "authorized"), "1");
}

TEST_F(Fixture, PortsWithoutASwitchReportFailure) {
    // A built-in UART: a device directory without a USB parent.
    const fs::path uart = root / "sys/devices/platform/serial8250/tty/ttyS0";
    fs::create_directories(uart);
    fs::create_directories(root / "sys/class/tty/ttyS0");
    fs::create_directory_symlink(uart, root / "sys/class/tty/ttyS0/device");
    Write(root / "dev/ttyS0", "");
    auto devices = CreatePortDevices(root / "sys");
    EXPECT_FALSE(devices->SetPortDeviceEnabled((root / "dev/ttyS0").string(), false));
    EXPECT_FALSE(devices->SetPortDeviceEnabled((root / "dev/missing").string(), false));
}

TEST_F(Fixture, PathWatchReportsEachChangeOnce) {
    const fs::path port = root / "dev/device-link";
    TPortPathWatch watch(port);
    EXPECT_EQ(watch.Poll(), TPortPathWatch::None);
    Write(port, "");
    EXPECT_EQ(watch.Poll(), TPortPathWatch::Arrived);
    EXPECT_EQ(watch.Poll(), TPortPathWatch::None);
    fs::remove(port);
    EXPECT_EQ(watch.Poll(), TPortPathWatch::Removed);
    EXPECT_EQ(watch.Poll(), TPortPathWatch::None);
}

}  // namespace
}  // namespace tandrel::link
