// The main window's operator fields: the target and where the stop stands, pending entries, the
// link indicator, refusals said on the status line, and the move that follows a row's step when
// the setting "Отправлять размеры на упор" is on.

#include "console/Unit1_operator.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "console/Unit1.h"
#include "console/elided_label.h"
#include "console/qt_text.h"
#include "console/windows_common.h"
#include "link/device_port.h"
#include "link/protocol.h"
#include "link/recovery.h"
#include "serial/BCPort.h"

namespace tandrel::console {

namespace {

constexpr int kTargetHeight = 76;
constexpr int kEntryHeight = 64;
constexpr int kGloveButtonHeight = 76;

struct TColours {
    const char* background;
    const char* text;
};

TColours ColoursOf(TTargetLook look) {
    switch (look) {
        case TTargetLook::AtTarget:
            return {"#007a33", "white"};
        case TTargetLook::Elsewhere:
            return {"#ffc800", "black"};
        case TTargetLook::OutOfRange:
            return {"#c00000", "white"};
        case TTargetLook::NoLink:
            return {"#707070", "white"};
        case TTargetLook::None:
            break;
    }
    return {"#d8d8d8", "#505050"};
}

QString PanelStyle(const char* name, TColours colours) {
    return QStringLiteral("#%1 { background: %2; } QLabel { color: %3; }")
        .arg(QString::fromLatin1(name), QString::fromLatin1(colours.background),
             QString::fromLatin1(colours.text));
}

// The port may be a path (Linux) or a name the system lists (Windows).
bool PortExists(const std::string& name) {
    if (name.empty()) return false;
    std::error_code ec;
    if (std::filesystem::exists(Cp1251ToPath(name), ec)) return true;
    std::vector<std::string> ports;
    try {
        serial::ListSerialPorts(ports);
    } catch (...) {
        return false;
    }
    return std::find(ports.begin(), ports.end(), name) != ports.end();
}

}  // namespace

void FitForGloves(QMessageBox& box) {
    box.setFont(PixelFont("Tahoma", 28));
    for (QAbstractButton* button : box.buttons()) {
        button->setFont(PixelFont("Tahoma", 28));
        button->setMinimumSize(180, kGloveButtonHeight);
    }
}

void TForm1::CreateOperatorFields() {
    fields_ = std::make_unique<TOperatorFields>();
    TOperatorFields& f = *fields_;
    auto* column = static_cast<QVBoxLayout*>(centralWidget()->layout());

    f.TargetPanel = new QWidget(centralWidget());
    f.TargetPanel->setObjectName(QStringLiteral("TargetPanel"));
    f.TargetPanel->setAttribute(Qt::WA_StyledBackground);
    f.TargetPanel->setFixedHeight(kTargetHeight);
    auto* target = new QHBoxLayout(f.TargetPanel);
    target->setContentsMargins(12, 0, 12, 0);
    target->setSpacing(24);
    f.TargetValue = new QLabel(f.TargetPanel);
    f.TargetValue->setObjectName(QStringLiteral("TargetValue"));
    QFont large = PixelFont("Tahoma", 53);
    large.setBold(true);
    f.TargetValue->setFont(large);
    // Never asks for room: with the row's buttons a long state must not widen the window.
    f.TargetState = new TElidedLabel(f.TargetPanel);
    f.TargetState->setObjectName(QStringLiteral("TargetState"));
    f.TargetState->setFont(PixelFont("Tahoma", 40));
    target->addWidget(f.TargetValue);
    target->addWidget(f.TargetState, 1);
    // Last in the row: more buttons go in just left of it.
    f.Reprint = new QPushButton(ToQ("Печать этикетки"_cp1251), f.TargetPanel);
    f.Reprint->setObjectName(QStringLiteral("Reprint"));
    f.Reprint->setFont(PixelFont("Tahoma", 26));
    f.Reprint->setFocusPolicy(Qt::NoFocus);  // Enter and the scanner stay with Start
    f.Reprint->setFixedHeight(kTargetHeight - 8);
    f.Reprint->setMinimumWidth(230);
    target->addWidget(f.Reprint);
    connect(f.Reprint, &QPushButton::clicked, this, [this] { ReprintLabel(); });
    column->insertWidget(column->indexOf(Panel1) + 1, f.TargetPanel);

    f.EntryPanel = new QWidget(centralWidget());
    f.EntryPanel->setObjectName(QStringLiteral("EntryPanel"));
    f.EntryPanel->setAttribute(Qt::WA_StyledBackground);
    f.EntryPanel->setStyleSheet(PanelStyle("EntryPanel", {"#fff2a8", "black"}));
    f.EntryPanel->setFixedHeight(kEntryHeight);
    auto* entry = new QHBoxLayout(f.EntryPanel);
    entry->setContentsMargins(12, 2, 12, 2);
    f.EntryHint = new QLabel(f.EntryPanel);
    f.EntryHint->setObjectName(QStringLiteral("EntryHint"));
    f.EntryHint->setFont(PixelFont("Tahoma", 26));
    f.EntryHint->setWordWrap(true);
    f.EntryClear = new QPushButton(ToQ("Стереть"_cp1251), f.EntryPanel);
    f.EntryClear->setObjectName(QStringLiteral("EntryClear"));
    f.EntryClear->setFont(PixelFont("Tahoma", 26));
    f.EntryClear->setFocusPolicy(Qt::NoFocus);
    f.EntryClear->setFixedHeight(kEntryHeight - 4);
    f.EntryClear->setMinimumWidth(180);
    entry->addWidget(f.EntryHint, 1);
    entry->addWidget(f.EntryClear);
    f.EntryPanel->setVisible(false);
    column->insertWidget(column->indexOf(f.TargetPanel) + 1, f.EntryPanel);
    connect(f.EntryClear, &QPushButton::clicked, this, [this] { ClearManualEntry(); });

    // The link indicator shares the bottom row with the status line.
    const int at = column->indexOf(StatusLine);
    column->removeWidget(StatusLine);
    auto* bottom = new QWidget(centralWidget());
    bottom->setObjectName(QStringLiteral("BottomPanel"));
    auto* row = new QHBoxLayout(bottom);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    f.LinkIndicator = new QLabel(bottom);
    f.LinkIndicator->setObjectName(QStringLiteral("LinkIndicator"));
    f.LinkIndicator->setFont(PixelFont("Tahoma", 30));
    f.LinkIndicator->setWordWrap(true);
    f.LinkIndicator->setMargin(4);
    // As tall as its text wrapped to the width it gets (a port's path can take three lines);
    // the grid takes what is left.
    QSizePolicy indicatorPolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    indicatorPolicy.setHeightForWidth(true);
    f.LinkIndicator->setSizePolicy(indicatorPolicy);
    bottom->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    row->addWidget(f.LinkIndicator, 2);
    f.FeedIndicator = new QLabel(bottom);
    f.FeedIndicator->setObjectName(QStringLiteral("FeedIndicator"));
    f.FeedIndicator->setFont(PixelFont("Tahoma", 30));
    f.FeedIndicator->setWordWrap(true);
    f.FeedIndicator->setMargin(4);
    f.FeedIndicator->setSizePolicy(indicatorPolicy);
    f.FeedIndicator->setVisible(false);
    row->addWidget(f.FeedIndicator, 1);
    row->addWidget(StatusLine, 3);
    column->insertWidget(at, bottom);

    connect(Edit1, &QLineEdit::textChanged, this, [this] { ShowOperatorFields(); });
    f.Refresh = new QTimer(this);
    f.Refresh->setInterval(250);
    connect(f.Refresh, &QTimer::timeout, this, [this] { ShowOperatorFields(); });
    f.Refresh->start();
    ShowOperatorFields();
}

void TForm1::ShowOperatorFields() {
    if (!fields_) return;
    TOperatorFields& f = *fields_;
    TLinkInputs li;
    li.PortName = DevicePortName;
    li.PortOpen = Link.GetDevicePort() != nullptr;
    li.Recovering = recovery_ && recovery_->Pending();
    li.LinkState = Link.LinkState.load();
    li.Silent = DeviceSilent();
    li.PortExists = !li.PortOpen && !li.Recovering && PortExists(DevicePortName);
    const TLinkText link = DescribeLink(li);
    SetControlText(f.LinkIndicator, link.Text);

    TTargetInputs ti;
    ti.Target = f.Target;
    ti.LinkUp = link.Up;
    ti.Position = Link.CurrentPosition.load();
    ti.MinSize = Link.MinSize.load();
    ti.MaxSize = Link.MaxSize.load();
    ti.DecimalSeparator = DecimalSeparator();
    const TTargetText shown = DescribeTarget(ti);
    SetControlText(f.TargetValue, shown.Value);
    SetControlText(f.TargetState, shown.State);

    // Style sheets are costly: set only on a change of look.
    if (!f.Styled || shown.Look != f.Look)
        f.TargetPanel->setStyleSheet(PanelStyle("TargetPanel", ColoursOf(shown.Look)));
    if (!f.Styled || link.Up != f.LinkUp)
        f.LinkIndicator->setStyleSheet(link.Up
                                           ? QStringLiteral("color: white; background: #007a33")
                                           : QStringLiteral("color: white; background: #c00000"));
    f.Look = shown.Look;
    f.LinkUp = link.Up;
    f.Styled = true;

    const std::string hint = EntryHint(Entry.ManualEntry, Link.DeviceEntry);
    SetControlText(f.EntryHint, hint);
    f.EntryClear->setVisible(!Entry.ManualEntry.empty());
    f.EntryPanel->setVisible(!hint.empty() && !KeypadFull());
    ShowFeedState();
}

bool TForm1::DeviceSilent() const {
    const auto port = Link.GetDevicePort();
    if (!port || !link::IsLinkUp(Link.LinkState.load())) return false;
    return Link.Silence.Silent(port->LastArrival(), link::TSilenceWatch::Clock::now());
}

void TForm1::SetInfoLine(const std::string& cp1251, bool rangeError) {
    SetControlText(Label3, cp1251);
    if (fields_ && fields_->InfoLineRed == rangeError) return;
    if (fields_) fields_->InfoLineRed = rangeError;
    Label3->setStyleSheet(rangeError ? QStringLiteral("color: #c00000")
                                     : QStringLiteral("color: blue"));
}

bool TForm1::RefuseEntry(double value, bool testMin) {
    const std::string why =
        EntryRefusal(value, Link.MinSize.load(), Link.MaxSize.load(), testMin, DecimalSeparator());
    std::string& shown = fields_->RefusalNotice;
    if (why.empty()) {
        if (!shown.empty() && StatusText() == shown) ShowStatus("", false);
        shown.clear();
        return false;
    }
    ShowStatus(why, true);
    shown = why;
    return true;
}

void TForm1::ClearManualEntry() {
    if (ControlText(Label3) == Entry.ManualEntry) SetInfoLine("");
    Entry.ManualEntry.clear();
    ShowOperatorFields();
}

void TForm1::TypedMoveSent(double value) {
    fields_->Target = {true, value, true, true};
    ShowOperatorFields();
}

void TForm1::ListOpened(bool loaded) {
    if (!loaded) return;
    if (!QuietReload()) {
        fields_->Target = {};
        steppedRows_.clear();
    }
    if (Job.RowCount > 0 && Job.RemainingCount == 0)
        ShowStatus(ListFinishedText(Job.RowCount), false);
    ShowOperatorFields();
}

void TForm1::LabelOutcome(const std::string& problem) {
    if (!problem.empty()) {
        printerFault_ = problem;
        return;
    }
    // The printer works again: its old failure is no longer true.
    if (!printerFault_.empty() && StatusIsFault() &&
        StatusText().find(printerFault_) != std::string::npos)
        ShowStatus("", false);
    printerFault_.clear();
}

void TForm1::StepFinished(double target, bool inRange) {
    if (Job.CurrentRow > 0) steppedRows_[Job.CurrentRow] = {target, inRange};
    fields_->Target = {true, target, inRange, false};
    if (!inRange) SetInfoLine(ControlText(Label3), true);
    PlanPieceWorked(Job.CurrentRow);
    // The step's own faults stay on screen, first, with what follows them.
    std::vector<std::string> notices = std::exchange(stepFaults_, {});
    stepping_ = false;
    bool fault = !notices.empty();
    if (Job.RowCount > 0 && Job.RemainingCount == 0) {
        // A printer on pause stays said beside it; a label's late failure gives way to the
        // next step's word, as a step's own failure does.
        if (LabelNoticeStanding() && !labelNoticeFault_) notices.push_back(labelNotice_);
        notices.push_back(ListFinishedText(Job.RowCount));
    }
    const bool send = Settings.SendSizes && inRange;
    const bool silent = DeviceSilent();
    const bool linked =
        link::IsLinkUp(Link.LinkState.load()) && Link.GetDevicePort() != nullptr && !silent;
    if (send && !linked) {
        notices.push_back(
            "Размер "_cp1251 + job::TargetText(target) + " не отправлен на упор: "_cp1251 +
            (silent ? "устройство не отвечает"_cp1251 : "нет связи с устройством"_cp1251));
        fault = true;
    }
    if (!notices.empty()) ShowStatus(JoinNotices(notices), fault);
    ShowOperatorFields();
    if (!send || !linked) return;
    // Last: a failed write goes on to the recovery with the row already recorded.
    link::WriteDevice(Link, protocol::AutoMove(target, DecimalSeparator()));
    Link.SetLinkState(link::kMoveSent);
}

}  // namespace tandrel::console
