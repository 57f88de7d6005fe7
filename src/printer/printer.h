#pragma once
// The label printer, whatever way it hangs on: a serial port, the network (raw TCP), or a system
// print queue. One connection per label: SetBounds, Open, optionally AskState, Write the label's
// bytes back to back, EndLabel (the printer's word that it took the label), Close. One thread at a
// time (the printing thread); every call ends within its bounds.

#include <atomic>
#include <chrono>
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

using TClock = std::chrono::steady_clock;

// Which bound ended a label, or decided its outcome.
enum class TBound : std::uint8_t {
    None,
    Start,    // nothing had reached the printer within the label's time after its step
    Label,    // the whole label's time (network and queue labels)
    Connect,  // the connect's own time
    State,    // the answer to "~HS"
    Close,    // the printer's close after the label, which never came: printed all the same
    Service,  // a print service's answer to one request
    Stop,     // the program closed
};

// A printer that cannot be reached or written; what() is the reason in Russian (Windows-1251),
// as it follows "Этикетка не напечатана: ". Fired() says which bound ended it, if one did.
class EPrinter : public Exception {
  public:
    explicit EPrinter(const std::string& reason, TBound fired = TBound::None)
        : Exception(reason), fired_(fired) {}
    TBound Fired() const { return fired_; }

  private:
    TBound fired_;
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
    Garbled,
    PaperOut,
    HeadOpen,
    RibbonOut,
    BufferFull,
    HeadTooHot,
    Paused,
    Ready,
};

// The reply to "~HS": three frames, each STX, comma-separated fields (12, 11 and 2 of them,
// letters and digits), ETX, each optionally followed by CR LF. nullopt while the reply so far
// may still become one; Garbled as soon as it cannot.
std::optional<TPrinterCondition> ParseHostStatus(std::string_view reply);

// The reason a label was held back, or the notice for a paused printer (Windows-1251); "" for
// Ready.
std::string ConditionText(TPrinterCondition condition);

// "принтер не принял её за 10 с": the label was never begun.
std::string NotTakenText();
// "программа закрыта": the program ended before the label did.
std::string ClosedText();

// The label's bounds, set before Open.
struct TLabelBounds {
    // Network and queue labels end by then, whatever their calls; a serial label keeps its
    // port's per-byte write bounds once begun.
    TClock::time_point Deadline = TClock::time_point::max();
    std::chrono::milliseconds Connect{3000};
    std::chrono::milliseconds State{1000};
    std::chrono::milliseconds Close{2000};    // the network printer's close after the label
    std::chrono::milliseconds Service{3000};  // one request to a print service
    // A queue's job that has reached its printer at the deadline is followed up to here.
    TClock::time_point FollowLimit = TClock::time_point::max();
    const std::atomic<bool>* Stop = nullptr;  // set when the program closes

    bool Stopped() const { return Stop != nullptr && Stop->load(); }
    // now + span, but never past the deadline; Fired() says which of the two it is.
    TClock::time_point Within(std::chrono::milliseconds span) const;
    TBound Fired(TClock::time_point until, TBound own) const {
        return until == Deadline ? TBound::Label : own;
    }
};

// What a printer said once it had the label.
struct TLabelEnd {
    bool Paused = false;  // it keeps the label until it is resumed
    std::string Notice;   // its state after the label, when it will not print the next one
    TBound Fired = TBound::None;
};

struct TStateAnswer {
    TPrinterCondition Condition = TPrinterCondition::Ready;
    TBound Fired = TBound::None;  // for NoAnswer: State, or Label when the deadline came first
};

class TPrinter {
  public:
    virtual ~TPrinter() = default;
    void SetBounds(const TLabelBounds& bounds) { bounds_ = bounds; }
    // Raises EPrinter or the serial port's EComPort; nothing is open afterwards when it does.
    virtual void Open() = 0;
    // Raises as Open.
    virtual void Write(std::string_view bytes) = 0;
    // After the label's last write: the printer's word that it took the label. The network
    // printer asks "~HS" again when askState and awaits the printer's close; a print queue
    // hands the job over and follows it. Raises as Open when it did not take the label.
    virtual TLabelEnd EndLabel(bool /*askState*/) { return {}; }
    // Closes whatever is open (a queue's job not handed over is withdrawn); safe to call twice.
    // Raises only when the port cannot be closed.
    virtual void Close() = 0;

    // Sends exactly "~HS" and reads the reply within the state bound. A broken connection
    // raises as Write. A print queue answers from the system's state, taken at Open.
    virtual TStateAnswer AskState();

  protected:
    // Whatever arrives until then, possibly nothing; raises when the line broke.
    virtual std::string Read(TClock::time_point until) = 0;
    TLabelBounds bounds_;
};

// The printer that name (setting g) denotes; the serial kind speaks through port, which must be
// configured and stays the caller's.
std::unique_ptr<TPrinter> MakePrinter(std::string_view name, serial::TBComPort& port);

}  // namespace tandrel::printer
