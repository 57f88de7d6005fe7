// The main window's side of the port fault recovery: the application-wide exception handler,
// the port device switch, the device-change notices and the arrival steps.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "console/Unit1.h"
#include "console/Unit1_views.h"
#include "console/Unit2.h"
#include "console/application.h"
#include "console/qt_text.h"
#include "link/device_port.h"
#include "link/drayver.h"
#include "link/port_device.h"
#include "link/recovery.h"

namespace tandrel::console {

namespace {
using Clock = link::TRecovery::Clock;

// The one failure the handler acts on: the whole message, exactly.
bool IsPortWriteError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return std::string(e.what()) == "Ошибка записи в порт"_cp1251;
    } catch (...) {
        return false;
    }
}
}  // namespace

void TForm1::BuildRecovery(std::chrono::milliseconds removalWait,
                           std::chrono::milliseconds reopenInterval) {
    link::TRecovery::Actions actions;
    actions.SetPortDeviceEnabled = [this](bool on) {
        return portDevices_->SetPortDeviceEnabled(DevicePortName, on);
    };
    actions.ReopenDevicePort = [this] {
        if (devicePort_->Open(DevicePortName)) return true;
        devicePort_->Release();  // the recovery itself tries again
        return false;
    };
    actions.RunArrivalSteps = [this] {
        Link.DeviceArrivalPending = false;
        StartDrayver();
        Entry.ManualEntry.clear();
        ReloadListInWork();
        ShowLinkState();
    };
    recovery_ = std::make_unique<link::TRecovery>(
        std::move(actions), link::TRecovery::Intervals{removalWait, reopenInterval});
}

void TForm1::CreateRecovery() {
    Link.DeviceArrivalPending = false;
    portDevices_ = link::CreatePortDevices("/sys");
    BuildRecovery(link::TRecovery::Intervals{}.RemovalWait,
                  link::TRecovery::Intervals{}.ReopenInterval);
    recoveryTimer_ = new QTimer(this);
    recoveryTimer_->setSingleShot(true);
    connect(recoveryTimer_, &QTimer::timeout, this, [this] {
        recovery_->Tick(Clock::now());
        ScheduleRecoveryTick();
    });
    watchTimer_ = new QTimer(this);
    watchTimer_->setInterval(500);
    connect(watchTimer_, &QTimer::timeout, this, [this] {
        // Linux: the port's path going and coming stands for the system's device notices.
        if (!portWatch_ || portWatch_->Path() != Cp1251ToPath(DevicePortName))
            portWatch_ = std::make_unique<link::TPortPathWatch>(Cp1251ToPath(DevicePortName));
        link::TDeviceChange change;
        change.deviceType = link::TDeviceChange::kPortDeviceType;
        switch (portWatch_->Poll()) {
            case link::TPortPathWatch::Removed:
                change.kind = link::TDeviceChange::RemoveComplete;
                break;
            case link::TPortPathWatch::Arrived:
                change.kind = link::TDeviceChange::Arrival;
                break;
            case link::TPortPathWatch::None:
                return;
        }
        WMDeviceChange(change);
    });
    watchTimer_->start();
    link::RegisterPortNotification(reinterpret_cast<void*>(winId()));
}

void TForm1::SetRecoveryIntervals(int removalWaitMs, int reopenMs, int watchMs) {
    BuildRecovery(std::chrono::milliseconds(removalWaitMs), std::chrono::milliseconds(reopenMs));
    watchTimer_->setInterval(watchMs);
}

void TForm1::ScheduleRecoveryTick() {
    const Clock::time_point deadline = recovery_->NextDeadline();
    if (deadline == Clock::time_point::max()) {
        recoveryTimer_->stop();
        ShowLinkState();
        return;
    }
    const auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    recoveryTimer_->start(std::max<int>(0, static_cast<int>(wait.count())));
}

void TForm1::AppException(std::exception_ptr error) {
    if (!IsPortWriteError(error)) return;   // every other failure: the action simply stops
    if (Link.DeviceArrivalPending) return;  // already on the way back
    // The port is released before its device is switched off: a device with an open handle
    // refuses to be removed, and a stuck adapter would never be reset.
    Link.DeviceArrivalPending = true;
    ReleaseDevicePort();
    DisablePortDevice();
    BitBtn1->setVisible(false);
    BitBtn1->setEnabled(false);
    BitBtn2->setVisible(false);
    BitBtn2->setEnabled(false);
    SetControlText(Label1, "");
    SetControlText(Edit1, "");
    for (int field = 1; field <= 9; ++field) SetControlText(Form2->Field(field), "");
    ShowLinkState();
    ShowStatus("Ошибка записи в порт устройства: связь восстанавливается"_cp1251, true);
    ScheduleRecoveryTick();
}

void TForm1::DisablePortDevice() {
    Link.DeviceArrivalPending = true;
    recovery_->Fault(Clock::now());  // switches the port device off
}

void TForm1::SetPortDeviceEnabled(bool on) {
    portDevices_->SetPortDeviceEnabled(DevicePortName, on);
}

void TForm1::SetPortDevices(std::unique_ptr<link::TPortDevices> devices) {
    portDevices_ = std::move(devices);
}

void TForm1::ReleaseDevicePort() {
    // The handshake writes to the port: it stops first.
    if (Link.HandshakeThread) Link.HandshakeThread->Stop();
    devicePort_->Release();
}

void TForm1::ChangeDevicePort(const std::string& port) {
    recovery_->End();
    Link.DeviceArrivalPending = false;
    ReleaseDevicePort();
    DevicePortName = port;
    OpenDevicePort();
    StartDrayver();
    ShowLinkState();
}

void TForm1::WMDeviceChange(const link::TDeviceChange& change) {
    if (!Link.DeviceArrivalPending || !change.IsPort()) return;
    if (change.kind == link::TDeviceChange::Arrival) recovery_->ArrivalNotice(Clock::now());
    if (change.kind == link::TDeviceChange::RemoveComplete) recovery_->RemovalNotice(Clock::now());
    ScheduleRecoveryTick();
}

void TForm1::trhtrh1Click() {
    link::RegisterPortNotification(reinterpret_cast<void*>(winId()));
}

void TForm1::NativeMessage(const void* message) noexcept {
    try {
        if (const std::optional<link::TDeviceChange> change = link::DeviceChangeOf(message))
            WMDeviceChange(*change);
    } catch (...) {
        // Unwinding through the window procedure and the system's frames would end the process:
        // the application's handler takes it, as it takes what a window event raises.
        if (TApplication* app = TApplication::Instance())
            app->HandleException(std::current_exception());
    }
}

bool TForm1::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    NativeMessage(message);
    return QMainWindow::nativeEvent(eventType, message, result);
}

}  // namespace tandrel::console
