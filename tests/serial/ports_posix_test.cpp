// The Linux port list on fixture trees in a temporary folder.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "base/cp1251.h"
#include "serial/BCPort.h"

namespace tandrel::serial {
namespace {

namespace fs = std::filesystem;

class PortListTest : public ::testing::Test {
  protected:
    PortListTest() {
        root = fs::temp_directory_path() / ("tandrel-ports-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "sys/bus/platform/drivers/serial8250");
        fs::create_directories(root / "sys/bus/usb-serial/drivers/ftdi_sio");
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "dev");
    }
    ~PortListTest() override { fs::remove_all(root); }

    // A tty entry; driver empty: no device behind it.
    void Tty(const std::string& name, const std::string& driver = "", int type = -1) {
        const auto dir = root / "sys/class/tty" / name;
        fs::create_directories(dir);
        if (driver.empty()) return;
        fs::create_directories(dir / "device");
        const auto bus = driver == "serial8250" ? "platform" : "usb-serial";
        fs::create_directory_symlink(root / "sys/bus" / bus / "drivers" / driver,
                                     dir / "device/driver");
        if (type >= 0) std::ofstream(dir / "type") << type << "\n";
    }
    std::vector<std::string> List() {
        std::vector<std::string> ports{"stale"};
        ListSerialPorts(ports, root / "sys", root / "dev");
        return ports;
    }
    std::string Dev(const std::string& name) { return (root / "dev" / name).string(); }

    fs::path root;
};

TEST_F(PortListTest, RealDevicesAndByIdLinksSortedIgnoringCase) {
    Tty("tty0");
    Tty("tty1");
    Tty("console");
    Tty("ptmx");
    Tty("ttyS0", "serial8250", 0);  // legacy port, no UART
    Tty("ttyS1", "serial8250", 4);  // a 16550A
    Tty("ttyS10", "serial8250", 4);
    Tty("ttyUSB0", "ftdi_sio");
    Tty("TTYX", "ftdi_sio");
    fs::create_directories(root / "dev/serial/by-id");
    fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R-if00-port0");
    const std::vector<std::string> expected = {Dev("serial/by-id/usb-FTDI_FT232R-if00-port0"),
                                               Dev("ttyS1"), Dev("ttyS10"), Dev("ttyUSB0"),
                                               Dev("TTYX")};
    EXPECT_EQ(List(), expected);
    EXPECT_EQ(List(), expected);  // the same again, nothing appended
}

TEST_F(PortListTest, NoPortsGivesAnEmptyList) {
    Tty("tty1");
    EXPECT_TRUE(List().empty());
}

TEST_F(PortListTest, UnreadableTreeRaisesAndKeepsTheList) {
    std::vector<std::string> ports{"COM1"};
    try {
        ListSerialPorts(ports, root / "nowhere", root / "dev");
        ADD_FAILURE() << "no failure";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Message(), "Ошибка обращения к системному реестру"_cp1251);
    }
    EXPECT_EQ(ports, std::vector<std::string>{"COM1"});
}

}  // namespace
}  // namespace tandrel::serial
