#pragma once
// Printing one label: composed in one pass (label.h), then handed to the printer that setting g
// names (printer/printer.h): a serial port, a network printer, or a print queue. One connection
// per label, closed on every way out, so a failed label never blocks the next one and a changed
// name takes effect at the next label. The printing thread (label_queue.h) calls it; so may a
// test or a benchmark, on any one thread.

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
// byte plus 1000 ms, no handlers. Call while the port is closed.
void ConfigureLabelPort(serial::TBComPort& port);

struct TPrintOutcome {
    enum class TResult : std::uint8_t {
        Nothing,  // printing off, or no printer named
        Printed,  // the printer took it
        Paused,   // it took it, and prints it once resumed
        Failed,
    };
    TResult Result = TResult::Nothing;
    std::string Reason;  // Failed: why, as it follows "Этикетка не напечатана: " (Windows-1251)
    // Printed: the printer's state after it, when it will not print the next one ("принтер: нет
    // бумаги"); Paused: "Принтер на паузе".
    std::string Notice;
    printer::TBound Fired = printer::TBound::None;  // the bound that ended or decided it

    bool Failed() const { return Result == TResult::Failed; }
    // "Этикетка не напечатана: " and the reason when it failed, else "".
    std::string Failure() const;
};

// True when the printer's state is asked before a label of these settings: always for a print
// queue, whose state the system knows.
bool AsksState(const TPrintSettings& settings);

// The bounds of a label stepped at step: everything of a network or queue label within 10 s of
// it (a queue's job that has reached its printer followed up to 30 s).
inline constexpr std::chrono::milliseconds kLabelTime{10000};
inline constexpr std::chrono::milliseconds kFollowTime{30000};
printer::TLabelBounds LabelBounds(printer::TClock::time_point step);

// Prints a composed label's writes. Nothing happens while printing is off or no printer is named.
// When the state is asked, a printer out of paper, with its head open, out of ribbon, with a full
// buffer, too hot, silent or talking nonsense gets no label. Raises nothing, so that a printer's
// fault never reaches the device link's recovery.
TPrintOutcome PrintComposed(serial::TBComPort& port, const TPrintSettings& settings,
                            const std::vector<std::string>& writes,
                            const printer::TLabelBounds& bounds);

// Composes (see ComposeLabel) and prints one label now: text when not empty (the test label),
// else the row's.
TPrintOutcome PrintLabel(serial::TBComPort& port, const TPrintSettings& settings,
                         const std::vector<std::string>& templateLines, std::string_view text,
                         const job::SizeRow& row, std::uint8_t fieldCount);

}  // namespace tandrel::labels
