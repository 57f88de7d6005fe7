#pragma once
// The label printer on its own serial port (the main window's BComPort1): opened, written and
// closed again around every label, so the port is free in between and a changed port name takes
// effect at the next label. Main thread only.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job/job_state.h"
#include "serial/BCPort.h"

namespace tandrel::labels {

struct TPrintSettings {
    bool PrintLabels = false;   // setting j
    std::string LabelPortName;  // setting g; empty: no printer
};

// The printer port's line: 9600 baud 8N1, buffers of 2048 bytes, write time-outs of 100 ms per
// byte plus 1000 ms, events on the main thread and no handlers. Call while the port is closed.
void ConfigureLabelPort(serial::TBComPort& port);

// Prints one label (see EncodedLabelWrites): text when not empty (the settings window's "Тест"),
// else the row's label. Nothing happens while printing is off or no port is named. The port is
// closed on every way out, so a failed label never blocks the next one. Returns "" when printed or
// when there was nothing to print, else "Этикетка не напечатана: " and the port's message; raises
// nothing, so that a printer's fault never reaches the device link's recovery.
std::string PrintLabel(serial::TBComPort& port, const TPrintSettings& settings,
                       const std::vector<std::string>& templateLines, std::string_view text,
                       const job::SizeRow& row, std::uint8_t fieldCount);

// The label of the row in work, Rows[CurrentRow], as job sequencing asks for it; "" when no
// row is in work.
std::string PrintRowLabel(serial::TBComPort& port, const TPrintSettings& settings,
                          const std::vector<std::string>& templateLines,
                          const job::TJobState& state);

}  // namespace tandrel::labels
