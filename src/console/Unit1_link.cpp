// The main window's side of the device link: the device port, the receive dispatcher's view of
// the controls, the handshake's window steps and the automatic test mode.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/Unit1.h"
#include "console/Unit1_views.h"
#include "console/Unit2.h"
#include "console/qt_text.h"
#include "link/device_port.h"
#include "link/drayver.h"
#include "link/recovery.h"

namespace tandrel::console {

namespace {
// While a modal box waits for the operator, the device's keys press nothing behind it.
bool ModalBoxOpen() {
    return QApplication::activeModalWidget() != nullptr;
}
}  // namespace

void TForm1LinkView::WriteDevice(const std::string& text) {
    link::WriteDevice(form_.Link, text);
}

void TForm1LinkView::SetCurrentPositionField(const std::string& text) {
    SetControlText(Form2->LabeledEdit4(), text);  // LabeledEdit4Change runs inside
}

void TForm1LinkView::SetPositionDisplay(const std::string& text) {
    SetControlText(form_.Edit1, text);  // Edit1Change runs inside
}

void TForm1LinkView::SetKeypadMirror(const std::string& text) {
    SetControlText(form_.Label1, text);
}

bool TForm1LinkView::BackEnabled() const {
    return form_.BitBtn2->isEnabled();
}

void TForm1LinkView::ClickBack() {
    if (!ModalBoxOpen()) form_.BitBtn2Click();
}

bool TForm1LinkView::StartEnabled() const {
    return form_.BitBtn1->isEnabled();
}

void TForm1LinkView::ClickStart() {
    if (!ModalBoxOpen()) form_.BitBtn1Click();
}

void TForm1LinkView::Notice(const std::string& text, bool fault) {
    form_.ShowStatus(text, fault);
}

void TForm1::CreateLink() {
    linkView_ = std::make_unique<TForm1LinkView>(*this);
    devicePort_ = std::make_unique<link::TDevicePort>(
        Link, *linkView_, executor_, [this](std::exception_ptr error) { AppException(error); });
    devicePort_->OnStateChanged = [this](bool) { ShowLinkState(); };
}

void TForm1::OpenDevicePort() {
    devicePort_->Open(DevicePortName);
    ShowLinkState();
}

void TForm1::ShowLinkState() {
    // On the way back after a fault the field stays empty until the new port is open; the status
    // line says that the link is being restored.
    std::string field = devicePort_->PortFieldText();
    if (recovery_ && recovery_->Pending()) field.clear();
    SetControlText(Form2->LabeledEdit8(), field);
    // The link indicator says whether there is a link and why not; the status line keeps the
    // notices of events.
    ShowOperatorFields();
}

void TForm1::StartDrayver() {
    link::THandshakeHooks hooks;
    hooks.Write = [this](const std::string& request) { link::WriteDevice(Link, request); };
    hooks.Post = [this](std::function<void()> fn) { executor_.Post(std::move(fn)); };
    hooks.ShowDeviceData = [this] {
        const link::TDeviceTexts texts = link::DeviceTexts(Link, DecimalSeparator());
        SetControlText(Form2->Field(1), texts.SerialNumber);
        SetControlText(Form2->Field(2), texts.MinSize);
        SetControlText(Form2->Field(3), texts.MaxSize);
        SetControlText(Form2->Field(4), texts.Position);
        SetControlText(Form2->Field(5), texts.DeviceStatus);
        SetControlText(Form2->Field(6), texts.Precision);
        SetControlText(Form2->Field(7), texts.FirmwareVersion);
        SetControlText(Edit1, texts.Position);
    };
    hooks.ShowReady = [this] {
        BitBtn1->setVisible(true);  // also over a full keypad
        setWindowTitle(ToQ("Автоматический ввод размеров на рольганг серии ВЕЛТА"_cp1251));
    };
    hooks.ResetAutoTest = [this](double position) { AutoTest.Reset(position); };
    hooks.AppException = [this](std::exception_ptr error) { AppException(error); };
    hooks.Notice = [this](const std::string& text, bool fault) { ShowStatus(text, fault); };
    link::StartHandshake(Link, std::move(hooks));
}

bool TForm1::SendMove(const std::string& move) {
    if (!link::WriteDevice(Link, move)) {
        ShowStatus("Перемещение не отправлено: нет связи с устройством"_cp1251, true);
        return false;
    }
    return true;
}

void TForm1::LabeledEdit4Change() {
    TAutoTestInputs in;
    in.StartEnabled = BitBtn1->isEnabled();
    in.AutoChecked = Form2->CheckBox1->isChecked();
    in.PortOpen = Link.GetDevicePort() != nullptr && !(recovery_ && recovery_->Pending());
    in.MinSize = Link.MinSize.load();
    in.MaxSize = Link.MaxSize.load();
    in.Precision = Link.Precision.load();
    in.DecimalSeparator = DecimalSeparator();
    const TAutoResult result = AutoMoveStep(
        AutoTest, in, [this](const std::string& move) { link::WriteDevice(Link, move); });
    if (result.Outcome == TAutoOutcome::Moved) {
        Entry.ManualEntry.clear();
        Link.SetLinkState(link::kMoveSent);
        SetControlText(Form2->Field(10), MoveCountText(AutoTest));
        SetControlText(Form2->Field(11), DistanceText(AutoTest, DecimalSeparator()));
    } else if (!result.Notice.empty()) {
        ShowStatus(result.Notice, true);
    }
}

void TForm1::CheckBox1Click() {
    if (Form2->CheckBox1->isChecked()) LabeledEdit4Change();
}

}  // namespace tandrel::console
