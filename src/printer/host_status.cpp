#include <array>
#include <vector>

#include "printer/printer.h"

namespace tandrel::printer {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';

std::vector<std::string_view> SplitFields(std::string_view frame) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = frame.find(',');
        fields.push_back(frame.substr(0, comma));
        if (comma == std::string_view::npos) return fields;
        frame.remove_prefix(comma + 1);
    }
}

bool Flag(const std::vector<std::string_view>& fields, std::size_t i) {
    return i < fields.size() && fields[i] == "1";
}

}  // namespace

// String 1: communication settings, paper out, paused, label length, formats in the buffer,
// buffer full, diagnostic mode, partial format, unused, corrupt RAM, under temperature, over
// temperature. String 2: function settings, unused, head up, ribbon out, and more. String 3:
// password and memory; only its arrival counts.
std::optional<TPrinterCondition> ParseHostStatus(std::string_view reply) {
    std::array<std::string_view, 3> frames;
    std::size_t found = 0;
    while (found < frames.size()) {
        const auto start = reply.find(kStx);
        if (start == std::string_view::npos) return std::nullopt;
        const auto end = reply.find(kEtx, start + 1);
        if (end == std::string_view::npos) return std::nullopt;
        frames[found++] = reply.substr(start + 1, end - start - 1);
        reply.remove_prefix(end + 1);
    }
    const auto first = SplitFields(frames[0]);
    const auto second = SplitFields(frames[1]);
    if (Flag(first, 1)) return TPrinterCondition::PaperOut;
    if (Flag(second, 2)) return TPrinterCondition::HeadOpen;
    if (Flag(second, 3)) return TPrinterCondition::RibbonOut;
    if (Flag(first, 5)) return TPrinterCondition::BufferFull;
    if (Flag(first, 11)) return TPrinterCondition::HeadTooHot;
    if (Flag(first, 2)) return TPrinterCondition::Paused;
    return TPrinterCondition::Ready;
}

}  // namespace tandrel::printer
