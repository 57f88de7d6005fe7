#include "printer/printer.h"

#include <algorithm>
#include <charconv>

#include "base/cp1251.h"
#include "printer/network_printer.h"
#include "printer/queue_printer.h"
#include "printer/serial_printer.h"

namespace tandrel::printer {
namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return Upper(a) == Upper(b); });
}

bool IsComName(std::string_view name) {
    if (name.ends_with(':')) name.remove_suffix(1);
    if (!StartsWithIgnoringCase(name, "COM") || name.size() == 3) return false;
    return std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

TPrinterKind PrinterKind(std::string_view name) {
    if (name.starts_with('/') || name.starts_with("\\\\.\\") || IsComName(name))
        return TPrinterKind::Serial;
    if (StartsWithIgnoringCase(name, "printer:")) return TPrinterKind::Queue;
    return TPrinterKind::Network;
}

std::optional<TNetworkAddress> ParseNetworkAddress(std::string_view name) {
    TNetworkAddress address;
    std::string_view port;
    if (name.starts_with('[')) {
        const auto close = name.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        address.Host = std::string(name.substr(1, close - 1));
        const std::string_view rest = name.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
            if (port.empty()) return std::nullopt;
        }
    } else {
        const auto colon = name.find(':');
        if (colon != std::string_view::npos) {
            if (name.find(':', colon + 1) != std::string_view::npos) return std::nullopt;
            port = name.substr(colon + 1);
            if (port.empty()) return std::nullopt;
        }
        address.Host = std::string(name.substr(0, colon));
    }
    if (address.Host.empty() || address.Host.find_first_of(" \t") != std::string::npos)
        return std::nullopt;
    if (!port.empty()) {
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return std::nullopt;
        address.Port = static_cast<std::uint16_t>(value);
    }
    return address;
}

std::string ConditionText(TPrinterCondition condition) {
    switch (condition) {
        case TPrinterCondition::NoAnswer:
            return "принтер не отвечает"_cp1251;
        case TPrinterCondition::Garbled:
            return "принтер ответил непонятно"_cp1251;
        case TPrinterCondition::PaperOut:
            return "принтер: нет бумаги"_cp1251;
        case TPrinterCondition::HeadOpen:
            return "принтер: открыта головка"_cp1251;
        case TPrinterCondition::RibbonOut:
            return "принтер: нет ленты"_cp1251;
        case TPrinterCondition::BufferFull:
            return "принтер: буфер заполнен"_cp1251;
        case TPrinterCondition::HeadTooHot:
            return "принтер: перегрев головки"_cp1251;
        case TPrinterCondition::Paused:
            return "Принтер на паузе"_cp1251;
        case TPrinterCondition::Ready:
            break;
    }
    return {};
}

std::string NotTakenText() {
    return "принтер не принял её за 10 с"_cp1251;
}

std::string ClosedText() {
    return "программа закрыта"_cp1251;
}

TClock::time_point TLabelBounds::Within(std::chrono::milliseconds span) const {
    const auto now = TClock::now();
    return Deadline - now < span ? Deadline : now + span;
}

TStateAnswer TPrinter::AskState() {
    Write("~HS");
    const auto until = bounds_.Within(bounds_.State);
    std::string reply;
    for (;;) {
        if (const auto condition = ParseHostStatus(reply)) return {*condition, TBound::None};
        if (TClock::now() >= until)
            return {TPrinterCondition::NoAnswer, bounds_.Fired(until, TBound::State)};
        reply += Read(until);
    }
}

std::unique_ptr<TPrinter> MakePrinter(std::string_view name, serial::TBComPort& port) {
    switch (PrinterKind(name)) {
        case TPrinterKind::Serial:
            return std::make_unique<TSerialPrinter>(port, std::string(name));
        case TPrinterKind::Queue:
            return MakeQueuePrinter(name);
        case TPrinterKind::Network:
            break;
    }
    return std::make_unique<TNetworkPrinter>(std::string(name));
}

}  // namespace tandrel::printer
