#pragma once
// The control channel: one command a line, applied to the model; what the model cannot do
// itself (dropping the line, quitting) comes back as an action for the program's loop.
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/device_model.h"
#include "sim/printer_model.h"

namespace tandrel::sim {

struct ControlResult {
    enum class Action { kNone, kQuit, kDrop, kPrinter };
    std::string answer;  // one line without its end: "ok ..." or "error ..."
    Action action = Action::kNone;
    std::int64_t dropMs = 0;
    PrinterState printerState = PrinterState::kReady;
};

ControlResult ExecuteCommand(std::string_view line, DeviceModel& model, std::int64_t nowUs);

}  // namespace tandrel::sim
