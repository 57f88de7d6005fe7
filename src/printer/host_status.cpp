#include <array>
#include <vector>

#include "printer/printer.h"

namespace tandrel::printer {
namespace {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr std::array<std::size_t, 3> kFieldCounts = {12, 11, 2};

bool IsFieldByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One frame's fields; nothing when a field is empty or holds a byte no field holds.
std::optional<std::vector<std::string_view>> SplitFields(std::string_view frame) {
    std::vector<std::string_view> fields;
    for (;;) {
        const auto comma = frame.find(',');
        const std::string_view field = frame.substr(0, comma);
        if (field.empty()) return std::nullopt;
        for (const char c : field)
            if (!IsFieldByte(c)) return std::nullopt;
        fields.push_back(field);
        if (comma == std::string_view::npos) return fields;
        frame.remove_prefix(comma + 1);
    }
}

}  // namespace

// String 1: communication settings, paper out, paused, label length, formats in the buffer,
// buffer full, diagnostic mode, partial format, unused, corrupt RAM, under temperature, over
// temperature. String 2: function settings, unused, head up, ribbon out, and more. String 3:
// password and memory; only its form counts.
std::optional<TPrinterCondition> ParseHostStatus(std::string_view reply) {
    std::array<std::vector<std::string_view>, 3> frames;
    for (std::size_t n = 0; n < frames.size(); ++n) {
        if (reply.empty()) return std::nullopt;
        if (reply.front() != kStx) return TPrinterCondition::Garbled;
        const auto end = reply.find(kEtx);
        const std::string_view body =
            reply.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1);
        // A frame still coming may only hold what a frame holds.
        if (body.find(kStx) != std::string_view::npos) return TPrinterCondition::Garbled;
        for (const char c : body)
            if (c != ',' && !IsFieldByte(c)) return TPrinterCondition::Garbled;
        if (end == std::string_view::npos) return std::nullopt;
        auto fields = SplitFields(body);
        if (!fields || fields->size() != kFieldCounts[n]) return TPrinterCondition::Garbled;
        frames[n] = std::move(*fields);
        reply.remove_prefix(end + 1);
        if (reply.starts_with("\r\n")) {
            reply.remove_prefix(2);
        } else if (reply == "\r") {
            return std::nullopt;
        }
    }
    if (!reply.empty()) return TPrinterCondition::Garbled;
    // The flags read are "0" or "1"; anything else is no answer one can trust.
    const auto flag = [&](std::size_t frame, std::size_t i, bool& set) {
        const std::string_view f = frames[frame][i];
        set = f == "1";
        return f == "0" || f == "1";
    };
    bool paper = false, paused = false, full = false, hot = false, head = false, ribbon = false;
    if (!flag(0, 1, paper) || !flag(0, 2, paused) || !flag(0, 5, full) || !flag(0, 11, hot) ||
        !flag(1, 2, head) || !flag(1, 3, ribbon))
        return TPrinterCondition::Garbled;
    if (paper) return TPrinterCondition::PaperOut;
    if (head) return TPrinterCondition::HeadOpen;
    if (ribbon) return TPrinterCondition::RibbonOut;
    if (full) return TPrinterCondition::BufferFull;
    if (hot) return TPrinterCondition::HeadTooHot;
    if (paused) return TPrinterCondition::Paused;
    return TPrinterCondition::Ready;
}

}  // namespace tandrel::printer
