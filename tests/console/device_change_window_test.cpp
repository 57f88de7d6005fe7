// The main window's device-change notices on Windows: the port device that the recovery switches,
// with a stand-in for the system's device list, and what their handling raises.

#include <windows.h>
// clang-format off
#include <dbt.h>
// clang-format on

#include <QtTest>
#include <stdexcept>

#include "base/cp1251.h"
#include "base/error.h"
#include "console/application.h"
#include "console/nastr_file.h"
#include "link/port_device.h"
#include "window_fixture.h"

using namespace tandrel;
using namespace tandrel::console;
using namespace tandrel::console::testing;

namespace {
const link::TPortDeviceEntry kBuiltIn{"ACPI\\PNP0501\\1", "COM1"};
const link::TPortDeviceEntry kAdapter{"FTDIBUS\\VID_0403+A50285BI\\0000", "COM7"};

class TFakeSetup : public link::TDeviceSetup {
  public:
    explicit TFakeSetup(QStringList& log) : log_(log) {}
    bool PresentPorts(std::vector<link::TPortDeviceEntry>& devices) override {
        devices = {kBuiltIn, kAdapter};
        return true;
    }
    bool SetEnabled(const std::string& id, bool on) override {
        log_ << QString::fromStdString((on ? "on " : "off ") + id);
        if (on && FailNextOn) {
            FailNextOn = false;
            throw std::runtime_error("the class installer failed");
        }
        return true;
    }
    bool FailNextOn = false;

  private:
    QStringList& log_;
};
}  // namespace

class DeviceChangeWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void noticesSwitchTheDevicePortsDeviceAndErrorsGoToTheHandler() {
        TProgramDir dir;
        TSettings settings = DefaultSettings(dir.Path());
        settings.DevicePortName = kAdapter.PortName;  // not mapped under Wine: never opens
        WriteSettingsFile(SettingsFilePath(dir.Path()), settings);
        StartWindows();
        Form1->SetRecoveryIntervals(600000, 600000, 600000);  // only the notices act
        QStringList log;
        auto setup = std::make_unique<TFakeSetup>(log);
        TFakeSetup& system = *setup;
        Form1->SetPortDevices(link::CreatePortDevices(std::move(setup)));
        int handed = 0;
        TApplication::Instance()->SetExceptionHandler([&](std::exception_ptr) { ++handed; });

        Form1->AppException(std::make_exception_ptr(Exception("Ошибка записи в порт"_cp1251)));
        const QString off = QString::fromStdString("off " + kAdapter.InstanceId);
        const QString on = QString::fromStdString("on " + kAdapter.InstanceId);
        QCOMPARE(log, QStringList{off});

        const struct {
            const char* name;
            WPARAM event;
            DWORD deviceType;
            bool switchFails;
            QStringList log;
            int handed;
        } rows[] = {
            {"a volume removed", DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_VOLUME, false, {off}, 0},
            {"a port's removal pending", DBT_DEVICEREMOVEPENDING, DBT_DEVTYP_PORT, false, {off}, 0},
            {"the switch raises", DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, true, {off, on}, 1},
            {"a port removed", DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, false, {off, on, on}, 1},
            {"a port arrived", DBT_DEVICEARRIVAL, DBT_DEVTYP_PORT, false, {off, on, on}, 1},
        };
        for (const auto& r : rows) {
            system.FailNextOn = r.switchFails;
            DEV_BROADCAST_HDR header{sizeof header, r.deviceType, 0};
            MSG message{};
            message.hwnd = reinterpret_cast<HWND>(Form1->winId());
            message.message = WM_DEVICECHANGE;
            message.wParam = r.event;
            message.lParam = reinterpret_cast<LPARAM>(&header);
            Form1->NativeMessage(&message);
            QVERIFY2(log == r.log, r.name);
            QVERIFY2(handed == r.handed, r.name);
        }
        QVERIFY(Form1->Link.DeviceArrivalPending);  // the port itself never opened
    }
};

int main(int argc, char** argv) {
    TApplication app(tandrel::console::testing::ProgramArgc(), argv);
    DeviceChangeWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "device_change_window_test.moc"
