#include "sim/control.h"

#include <charconv>

namespace tandrel::sim {
namespace {

std::string_view Trim(std::string_view s) {
    auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool ToInteger(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& out) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size() && out >= low && out <= high;
}

ControlResult Ok(std::string detail = {}) {
    return {detail.empty() ? "ok" : "ok " + detail};
}
ControlResult Error(std::string detail) {
    return {"error " + detail};
}

}  // namespace

ControlResult ExecuteCommand(std::string_view line, DeviceModel& model, std::int64_t nowUs) {
    line = Trim(line);
    auto space = line.find_first_of(" \t");
    std::string_view verb = line.substr(0, space);
    std::string_view arg = space == std::string_view::npos ? "" : Trim(line.substr(space));

    if (verb.empty()) return Error("empty command");
    if (verb == "key" || verb == "keys") {
        if (arg.empty() || (verb == "key" && arg.size() != 1))
            return Error(std::string(verb) + " needs " + (verb == "key" ? "one key" : "keys"));
        for (char c : arg)
            if (!((c >= '0' && c <= '9') || c == '*' || c == '#'))
                return Error("not a key: " + std::string(1, c));
        for (char c : arg) model.PressKey(c, nowUs);
        return Ok("entry=" + (model.Entry().empty() ? std::string("-") : model.Entry()));
    }
    if (verb == "silent") {
        if (arg != "on" && arg != "off") return Error("silent on|off");
        model.SetSilent(arg == "on");
        return Ok(std::string("silent ") + std::string(arg));
    }
    if (verb == "ignore") {
        if (arg == "-") {
            model.SetIgnored(std::nullopt);
            return Ok("ignore -");
        }
        if (arg.size() != 1 || !model.SetIgnored(arg[0])) return Error("ignore N|M|B|D|V|T|S|-");
        return Ok("ignore " + std::string(arg));
    }
    if (verb == "malformed") {
        if (arg.size() != 1 || !model.MalformNext(arg[0])) return Error("malformed T|M|D");
        return Ok("malformed " + std::string(arg));
    }
    if (verb == "noise") {
        std::int64_t count = 0;
        if (!ToInteger(arg, 1, 1'000'000, count)) return Error("noise COUNT (1 to 1000000)");
        model.InjectNoise(static_cast<int>(count));
        return Ok("noise " + std::to_string(count));
    }
    if (verb == "drop") {
        std::int64_t ms = 0;
        if (!ToInteger(arg, 0, 3'600'000, ms)) return Error("drop MS (0 to 3600000)");
        ControlResult r = Ok("drop " + std::to_string(ms));
        r.action = ControlResult::Action::kDrop;
        r.dropMs = ms;
        return r;
    }
    if (verb == "printer") {
        PrinterState state = PrinterState::kReady;
        if (!ParsePrinterState(arg, state)) return Error("printer ready|paper|head|pause|silent");
        ControlResult r = Ok("printer " + std::string(arg));
        r.action = ControlResult::Action::kPrinter;
        r.printerState = state;
        return r;
    }
    if (verb == "state") return Ok(model.StateLine(nowUs));
    if (verb == "quit") {
        ControlResult r = Ok("quit");
        r.action = ControlResult::Action::kQuit;
        return r;
    }
    return Error("unknown command: " + std::string(verb));
}

}  // namespace tandrel::sim
