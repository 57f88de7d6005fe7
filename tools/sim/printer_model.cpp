#include "sim/printer_model.h"

namespace tandrel::sim {

bool ParsePrinterState(std::string_view word, PrinterState& state) {
    for (PrinterState s : {PrinterState::kReady, PrinterState::kPaperOut, PrinterState::kHeadOpen,
                           PrinterState::kPaused, PrinterState::kSilent}) {
        if (word == PrinterStateName(s)) {
            state = s;
            return true;
        }
    }
    return false;
}

const char* PrinterStateName(PrinterState state) {
    switch (state) {
        case PrinterState::kReady:
            return "ready";
        case PrinterState::kPaperOut:
            return "paper";
        case PrinterState::kHeadOpen:
            return "head";
        case PrinterState::kPaused:
            return "pause";
        case PrinterState::kSilent:
            return "silent";
    }
    return "ready";
}

std::string HostStatusReply(PrinterState state) {
    if (state == PrinterState::kSilent) return {};
    // String 1: settings, paper out, paused, label length, formats waiting, buffer full, and
    // six more flags; string 2: settings, unused, head up, ribbon out, and more; string 3:
    // password and memory.
    const char paper = state == PrinterState::kPaperOut ? '1' : '0';
    const char paused = state == PrinterState::kPaused ? '1' : '0';
    const char head = state == PrinterState::kHeadOpen ? '1' : '0';
    std::string reply;
    reply +=
        "\x02"
        "030,";
    reply += paper;
    reply += ',';
    reply += paused;
    reply += ",0245,000,0,0,0,000,0,0,0\x03\r\n";
    reply +=
        "\x02"
        "001,0,";
    reply += head;
    reply += ",0,1,2,6,0,00000000,1,000\x03\r\n";
    reply +=
        "\x02"
        "1234,0\x03\r\n";
    return reply;
}

PrinterSession::Output PrinterSession::Feed(std::string_view bytes, PrinterState state) {
    Output out;
    std::string seen = tail_ + std::string(bytes);
    for (std::size_t at = seen.find("~HS"); at != std::string::npos; at = seen.find("~HS", at + 3))
        out.reply += HostStatusReply(state);
    tail_ = seen.size() > 2 ? seen.substr(seen.size() - 2) : seen;
    out.labels = collector_.Feed(bytes);
    return out;
}

}  // namespace tandrel::sim
