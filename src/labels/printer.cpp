#include "labels/printer.h"

#include <exception>

#include "base/cp1251.h"
#include "labels/label.h"
#include "link/protocol.h"

namespace tandrel::labels {
namespace {

// After a failure the port is closed all the same; the first failure is the one reported.
void CloseQuietly(printer::TPrinter& printer) noexcept {
    try {
        printer.Close();
    } catch (...) {
    }
}

TPrintOutcome PrintLabelOn(printer::TPrinter& printer, bool askState,
                           const std::vector<std::string>& writes) {
    TPrintOutcome outcome;
    std::string failure;
    bool sent = false;
    try {
        printer.Open();
        if (askState) {
            const printer::TPrinterCondition condition = printer.AskState();
            if (condition == printer::TPrinterCondition::Paused) {
                // It keeps the label and prints it once resumed.
                outcome.Notice = printer::ConditionText(condition);
            } else if (condition != printer::TPrinterCondition::Ready) {
                printer.Close();
                outcome.Failure =
                    "Этикетка не напечатана: "_cp1251 + printer::ConditionText(condition);
                return outcome;
            }
        }
        for (const auto& w : writes) printer.Write(w);
        printer.EndLabel();
        sent = true;
        printer.Close();
        return outcome;
    } catch (const std::exception& e) {
        failure = e.what();
    }
    CloseQuietly(printer);
    outcome.Notice.clear();
    outcome.Failure =
        (sent ? "Порт принтера этикеток не закрыт: "_cp1251 : "Этикетка не напечатана: "_cp1251) +
        failure;
    return outcome;
}

}  // namespace

void ConfigureLabelPort(serial::TBComPort& port) {
    port.SetBaudRate(serial::br9600);
    port.SetByteSize(serial::bs8);
    port.SetParity(serial::paNone);
    port.SetStopBits(serial::sb1);
    port.SetInBufSize(protocol::kBufferSize);
    port.SetOutBufSize(protocol::kBufferSize);
    port.SetSyncMethod(serial::smThreadSync);
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

TPrintOutcome PrintLabel(serial::TBComPort& port, const TPrintSettings& settings,
                         const std::vector<std::string>& templateLines, std::string_view text,
                         const job::SizeRow& row, std::uint8_t fieldCount) {
    if (!settings.PrintLabels || settings.LabelPortName.empty()) return {};
    const TComposedLabel label = ComposeLabel(templateLines, text, row, fieldCount);
    const auto printer = printer::MakePrinter(settings.LabelPortName, port);
    return PrintLabelOn(*printer, AsksState(settings), label.Writes);
}

TPrintOutcome PrintRowLabel(serial::TBComPort& port, const TPrintSettings& settings,
                            const std::vector<std::string>& templateLines,
                            const job::TJobState& state) {
    if (state.CurrentRow < 1 || state.CurrentRow > state.RowCount) return {};
    return PrintLabel(port, settings, templateLines, "", state.Rows[state.CurrentRow],
                      state.FieldCount);
}

}  // namespace tandrel::labels
