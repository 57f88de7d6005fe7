#pragma once
// The label printer's side that talks back: the state an operator can put it in, and the answer
// to "~HS" (three host-status strings, each framed by STX and ETX and closed by CR LF). No I/O.
#include <string>
#include <string_view>
#include <vector>

#include "sim/label_collector.h"

namespace tandrel::sim {

enum class PrinterState { kReady, kPaperOut, kHeadOpen, kPaused, kSilent };

// "ready", "paper", "head", "pause", "silent"; false for anything else.
bool ParsePrinterState(std::string_view word, PrinterState& state);
const char* PrinterStateName(PrinterState state);

// The three strings a printer in this state sends for "~HS"; empty when silent.
std::string HostStatusReply(PrinterState state);

// One connection to the printer (or its serial line): splits what arrives into labels and
// answers each "~HS" in it, also when split across reads.
class PrinterSession {
  public:
    struct Output {
        std::vector<std::string> labels;
        std::string reply;  // to be sent back at once
    };
    Output Feed(std::string_view bytes, PrinterState state);

  private:
    LabelCollector collector_;
    std::string tail_;  // the last two bytes, which may begin "~HS"
};

}  // namespace tandrel::sim
