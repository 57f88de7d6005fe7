#include "labels/printer.h"

#include <exception>

#include "base/cp1251.h"
#include "labels/label.h"
#include "labels/label_encoding.h"
#include "link/protocol.h"

namespace tandrel::labels {
namespace {

// After a failure the port is closed all the same; the first failure is the one reported.
void CloseQuietly(serial::TBComPort& port) noexcept {
    try {
        port.ClosePort();
    } catch (...) {
    }
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

std::string PrintLabel(serial::TBComPort& port, const TPrintSettings& settings,
                       const std::vector<std::string>& templateLines, std::string_view text,
                       const job::SizeRow& row, std::uint8_t fieldCount) {
    if (!settings.PrintLabels || settings.LabelPortName.empty()) return "";
    const std::vector<std::string> writes =
        EncodedLabelWrites(templateLines, text, row, fieldCount);
    std::string failure;
    bool sent = false;
    try {
        // Left open by someone else, the port would refuse its new name.
        if (port.IsOpen()) port.ClosePort();
        port.SetPort(settings.LabelPortName);
        port.OpenPort();
        for (const auto& w : writes) port.WriteText(w);
        sent = true;
        port.ClosePort();
        return "";
    } catch (const std::exception& e) {
        failure = e.what();
    }
    CloseQuietly(port);
    if (sent) return "Порт принтера этикеток не закрыт: "_cp1251 + failure;
    return "Этикетка не напечатана: "_cp1251 + failure;
}

std::string PrintRowLabel(serial::TBComPort& port, const TPrintSettings& settings,
                          const std::vector<std::string>& templateLines,
                          const job::TJobState& state) {
    if (state.CurrentRow < 1 || state.CurrentRow > state.RowCount) return "";
    return PrintLabel(port, settings, templateLines, "", state.Rows[state.CurrentRow],
                      state.FieldCount);
}

}  // namespace tandrel::labels
