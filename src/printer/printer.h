#pragma once
// The label printer, whatever way it hangs on: a serial port, the network (raw TCP), or a system
// print queue. One connection per label: Open, optionally AskState, Write the label's bytes back
// to back, EndLabel, Close. Main thread only; every call is bounded by its time-out.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"

namespace tandrel::serial {
class TBComPort;
}

namespace tandrel::printer {

// A printer that cannot be reached or written; what() is the reason in Russian (Windows-1251),
// as it follows "Этикетка не напечатана: ".
class EPrinter : public Exception {
  public:
    using Exception::Exception;
};

enum class TPrinterKind { Serial, Queue, Network };

// Setting g: a serial port when it begins with "/" or "\\.\", or is "COM" and digits (any letter
// case, a trailing ":" ignored); a print queue after "printer:"; else a network printer.
TPrinterKind PrinterKind(std::string_view name);

inline constexpr std::uint16_t kRawPrintPort = 9100;

struct TNetworkAddress {
    std::string Host;  // a name, an IPv4 address, or an IPv6 address without its brackets
    std::uint16_t Port = kRawPrintPort;
    bool operator==(const TNetworkAddress&) const = default;
};

// "host", "host:port", "[v6]" or "[v6]:port"; nullopt when the text is none of these (an empty
// host, a port outside 1 to 65535, a bare IPv6 address without brackets).
std::optional<TNetworkAddress> ParseNetworkAddress(std::string_view name);

// What the printer said of itself, worst first: each but Ready and Paused holds a label back.
enum class TPrinterCondition {
    NoAnswer,
    PaperOut,
    HeadOpen,
    RibbonOut,
    BufferFull,
    HeadTooHot,
    Paused,
    Ready,
};

// The three host-status strings of "~HS" (each framed by STX and ETX) once all have come;
// nullopt while some are missing. Text between or around the frames is ignored.
std::optional<TPrinterCondition> ParseHostStatus(std::string_view reply);

// The reason a label was held back, or the notice for a paused printer (Windows-1251); "" for
// Ready.
std::string ConditionText(TPrinterCondition condition);

inline constexpr int kConnectTimeoutMs = 3000;
inline constexpr int kStateTimeoutMs = 1000;

class TPrinter {
  public:
    virtual ~TPrinter() = default;
    // Raises EPrinter or the serial port's EComPort; nothing is open afterwards when it does.
    virtual void Open() = 0;
    // One write, bounded like a serial write (100 ms a byte plus 1000 ms). Raises as Open.
    virtual void Write(std::string_view bytes) = 0;
    // After the label's last write: a print queue hands the job over here, and raises as Open
    // when it will not take it. Nothing for the other kinds.
    virtual void EndLabel() {}
    // Closes whatever is open (a queue's job not ended is cancelled); safe to call twice. Raises
    // only when the port cannot be closed.
    virtual void Close() = 0;

    // Sends exactly "~HS" and reads the reply for up to timeoutMs. NoAnswer when the three
    // strings do not come in time; a broken connection raises as Write. A print queue answers
    // from the system's state, taken at Open, instead (Paused or Ready).
    virtual TPrinterCondition AskState(int timeoutMs = kStateTimeoutMs);

  protected:
    // Whatever has arrived within timeoutMs, possibly nothing; raises when the line broke.
    virtual std::string Read(int timeoutMs) = 0;
};

// The printer that name (setting g) denotes; the serial kind speaks through port, which must be
// configured and stays the caller's.
std::unique_ptr<TPrinter> MakePrinter(std::string_view name, serial::TBComPort& port);

// Write time-out of one write of size bytes, as the serial printer port's.
int WriteTimeoutMs(std::size_t size);

}  // namespace tandrel::printer
