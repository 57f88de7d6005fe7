#pragma once
// Printing one label: composed in one pass (label.h), then handed to the printer that setting g
// names (printer/printer.h): a serial port (the main window's BComPort1), a network printer, or a
// print queue. One connection per label, closed on every way out, so a failed label never blocks
// the next one and a changed name takes effect at the next label. Main thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/job_state.h"
#include "printer/printer.h"
#include "serial/BCPort.h"

namespace tandrel::labels {

struct TPrintSettings {
    bool PrintLabels = false;   // setting j
    std::string LabelPortName;  // setting g; empty: no printer
    // Setting n; unset asks a network printer and not a serial one (many serial cables carry
    // no receive wire).
    std::optional<bool> AskState;
};

// The printer port's line: 9600 baud 8N1, buffers of 2048 bytes, write time-outs of 100 ms per
// byte plus 1000 ms, events on the main thread and no handlers. Call while the port is closed.
void ConfigureLabelPort(serial::TBComPort& port);

struct TPrintOutcome {
    // "" when printed or when there was nothing to print, else "Этикетка не напечатана: " and
    // the reason (Windows-1251).
    std::string Failure;
    // A label that went out all the same, but to a printer that will not print it yet
    // ("Принтер на паузе").
    std::string Notice;
};

// True when the printer's state is asked before a label of these settings: always for a print
// queue, whose state the system knows.
bool AsksState(const TPrintSettings& settings);

// Prints one label (see ComposeLabel): text when not empty (the settings window's "Тест"), else
// the row's label. Nothing happens while printing is off or no printer is named. When the state
// is asked, a printer out of paper, with its head open, out of ribbon, with a full buffer, too
// hot, or silent for a second gets no label. Raises nothing, so that a printer's fault never
// reaches the device link's recovery.
TPrintOutcome PrintLabel(serial::TBComPort& port, const TPrintSettings& settings,
                         const std::vector<std::string>& templateLines, std::string_view text,
                         const job::SizeRow& row, std::uint8_t fieldCount);

// The label of the row in work, Rows[CurrentRow], as job sequencing asks for it; nothing when
// no row is in work.
TPrintOutcome PrintRowLabel(serial::TBComPort& port, const TPrintSettings& settings,
                            const std::vector<std::string>& templateLines,
                            const job::TJobState& state);

}  // namespace tandrel::labels
