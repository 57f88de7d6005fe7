#include "labels/printer.h"

#include <exception>

#include "base/cp1251.h"
#include "labels/label.h"
#include "link/protocol.h"

namespace tandrel::labels {
namespace {

using TResult = TPrintOutcome::TResult;

// After a failure the port is closed all the same; the first failure is the one reported.
void CloseQuietly(printer::TPrinter& printer) noexcept {
    try {
        printer.Close();
    } catch (...) {
    }
}

TPrintOutcome Failed(std::string reason, printer::TBound fired = printer::TBound::None) {
    TPrintOutcome outcome;
    outcome.Result = TResult::Failed;
    outcome.Reason = std::move(reason);
    outcome.Fired = fired;
    return outcome;
}

TPrintOutcome PrintOn(printer::TPrinter& printer, bool askState,
                      const std::vector<std::string>& writes, const printer::TLabelBounds& bounds) {
    TPrintOutcome outcome;
    outcome.Result = TResult::Printed;
    bool sent = false;
    try {
        printer.SetBounds(bounds);
        printer.Open();
        // Opening a port or a queue may itself take the label's time.
        if (printer::TClock::now() >= bounds.Deadline) {
            CloseQuietly(printer);
            return Failed(printer::NotTakenText(), printer::TBound::Start);
        }
        if (askState) {
            const printer::TStateAnswer answer = printer.AskState();
            if (answer.Condition == printer::TPrinterCondition::Paused) {
                outcome.Result = TResult::Paused;  // it keeps the label and prints it once resumed
            } else if (answer.Condition != printer::TPrinterCondition::Ready) {
                CloseQuietly(printer);
                return Failed(printer::ConditionText(answer.Condition), answer.Fired);
            }
        }
        for (const auto& w : writes) printer.Write(w);
        const printer::TLabelEnd end = printer.EndLabel(askState);
        sent = true;
        if (end.Paused) outcome.Result = TResult::Paused;
        outcome.Notice = end.Notice;
        outcome.Fired = end.Fired;
        printer.Close();
    } catch (const printer::EPrinter& e) {
        CloseQuietly(printer);
        if (sent) return outcome;
        return Failed(e.what(), e.Fired());
    } catch (const std::exception& e) {
        CloseQuietly(printer);
        // Taken, but the port would not close: the next label opens it again.
        if (sent) return outcome;
        return Failed(e.what());
    }
    if (outcome.Result == TResult::Paused)
        outcome.Notice = printer::ConditionText(printer::TPrinterCondition::Paused);
    return outcome;
}

}  // namespace

std::string TPrintOutcome::Failure() const {
    return Failed() ? "Этикетка не напечатана: "_cp1251 + Reason : std::string();
}

void ConfigureLabelPort(serial::TBComPort& port) {
    port.SetBaudRate(serial::br9600);
    port.SetByteSize(serial::bs8);
    port.SetParity(serial::paNone);
    port.SetStopBits(serial::sb1);
    port.SetInBufSize(protocol::kBufferSize);
    port.SetOutBufSize(protocol::kBufferSize);
    // No handlers: nothing to deliver, and the printing thread has no window to deliver to.
    port.SetSyncMethod(serial::smNone);
    serial::TComTimeouts& t = port.Timeouts();
    t.SetReadInterval(protocol::kReadInterval);
    t.SetReadTotalMultiplier(protocol::kReadTotalMultiplier);
    t.SetReadTotalConstant(protocol::kReadTotalConstant);
    t.SetWriteTotalMultiplier(protocol::kWriteTotalMultiplier);
    t.SetWriteTotalConstant(protocol::kWriteTotalConstant);
}

bool AsksState(const TPrintSettings& settings) {
    const printer::TPrinterKind kind = printer::PrinterKind(settings.LabelPortName);
    // A queue's state is the system's, known without a word to the printer.
    if (kind == printer::TPrinterKind::Queue) return true;
    return settings.AskState.value_or(kind == printer::TPrinterKind::Network);
}

printer::TLabelBounds LabelBounds(printer::TClock::time_point step) {
    printer::TLabelBounds bounds;
    bounds.Deadline = step + kLabelTime;
    bounds.FollowLimit = step + kFollowTime;
    return bounds;
}

TPrintOutcome PrintComposed(serial::TBComPort& port, const TPrintSettings& settings,
                            const std::vector<std::string>& writes,
                            const printer::TLabelBounds& bounds) {
    if (!settings.PrintLabels || settings.LabelPortName.empty()) return {};
    const auto printer = printer::MakePrinter(settings.LabelPortName, port);
    printer::TLabelBounds own = bounds;
    // Once begun, a serial label keeps its port's per-byte bounds.
    if (printer::PrinterKind(settings.LabelPortName) == printer::TPrinterKind::Serial) {
        if (printer::TClock::now() >= bounds.Deadline)
            return Failed(printer::NotTakenText(), printer::TBound::Start);
        own.Deadline = printer::TClock::time_point::max();
    }
    return PrintOn(*printer, AsksState(settings), writes, own);
}

TPrintOutcome PrintLabel(serial::TBComPort& port, const TPrintSettings& settings,
                         const std::vector<std::string>& templateLines, std::string_view text,
                         const job::SizeRow& row, std::uint8_t fieldCount) {
    return PrintComposed(port, settings, ComposeLabel(templateLines, text, row, fieldCount).Writes,
                         LabelBounds(printer::TClock::now()));
}

}  // namespace tandrel::labels
