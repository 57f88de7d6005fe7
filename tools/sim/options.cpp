#include "sim/options.h"

#include <charconv>
#include <cmath>

#include "base/cp1251.h"
#include "base/numbers.h"

namespace tandrel::sim {
namespace {

double Number(const std::string& option, const std::string& text, double low, double high) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value < low || value > high)
        throw OptionError(option + ": expected a number from " + FormatGeneral(low, '.') + " to " +
                          FormatGeneral(high, '.') + ", got '" + text + "'");
    return value;
}

std::int64_t Integer(const std::string& option, const std::string& text, std::int64_t low,
                     std::int64_t high) {
    std::int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        throw OptionError(option + ": expected an integer from " + std::to_string(low) + " to " +
                          std::to_string(high) + ", got '" + text + "'");
    return value;
}

std::string Payload(const std::string& option, const std::string& utf8) {
    if (!FitsCp1251(utf8)) throw OptionError(option + ": not representable in Windows-1251");
    std::string text = Utf8ToCp1251(utf8);
    if (!IsPayloadSafe(text))
        throw OptionError(option + ": must not contain B D M N S T V P _ * #");
    return text;
}

}  // namespace

bool IsPayloadSafe(const std::string& text) {
    return text.find_first_of("BDMNSTVP_*#") == std::string::npos;
}

SimOptions ParseOptions(const std::vector<std::string>& args) {
    SimOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--pace") {
            o.pace = true;
            continue;
        }
        if (i + 1 >= args.size()) throw OptionError(name + ": unknown option or missing value");
        const std::string& value = args[++i];
        if (name == "--device-link")
            o.deviceLink = value;
        else if (name == "--device-port")
            o.devicePort = value;
        else if (name == "--printer-link")
            o.printerLink = value;
        else if (name == "--printer-tcp")
            o.printerTcpPort = static_cast<int>(Integer(name, value, 0, 65535));
        else if (name == "--labels-dir")
            o.labelsDir = value;
        else if (name == "--log")
            o.logFile = value;
        else if (name == "--serial")
            o.identity.serialNumber = Payload(name, value);
        else if (name == "--firmware")
            o.identity.firmwareVersion = Payload(name, value);
        else if (name == "--min")
            o.identity.minSize = Number(name, value, 0, 2147483647);
        else if (name == "--max")
            o.identity.maxSize = Number(name, value, 0, 2147483647);
        else if (name == "--start")
            o.identity.startPosition = Number(name, value, 0, 2147483647);
        else if (name == "--precision")
            o.identity.precision = static_cast<std::int32_t>(Integer(name, value, 0, 1));
        else if (name == "--status")
            o.identity.status =
                static_cast<std::int32_t>(Integer(name, value, INT32_MIN, INT32_MAX));
        else if (name == "--ping-ms")
            o.timing.pingIntervalUs = Integer(name, value, 1, 3'600'000) * 1000;
        else if (name == "--speed")
            o.timing.speedMmPerS = Number(name, value, 0.001, 1e6);
        else if (name == "--seed")
            o.seed = static_cast<std::uint64_t>(Integer(name, value, 0, INT64_MAX));
        else
            throw OptionError(name + ": unknown option");
    }
    if (o.help) return o;
    if (o.deviceLink.empty() == o.devicePort.empty() && o.printerLink.empty() &&
        o.printerTcpPort < 0)
        throw OptionError(
            "give --device-link or --device-port, and/or --printer-link or --printer-tcp");
    if (!o.deviceLink.empty() && !o.devicePort.empty())
        throw OptionError("--device-link and --device-port exclude each other");
    if (o.identity.minSize > o.identity.maxSize) throw OptionError("--min is above --max");
    return o;
}

std::string HelpText() {
    return R"(tandrel-sim: a length stop's positioning device and a ZPL label printer
on the far end of a serial line, for trying and testing Tandrel without hardware.

Lines:
  --device-link PATH   create a pseudo-terminal for the device and a symlink to its
                       far end at PATH (removed at exit); the program's device port
                       setting names PATH
  --device-port DEV    play the device on an existing serial device instead
  --printer-link PATH  create a pseudo-terminal for the label printer, symlink at PATH
  --printer-tcp PORT   the label printer also on the network: raw TCP on 127.0.0.1 at
                       PORT (0: any free one, said in the ready line); it answers
                       ~HS, on the serial line too
  --labels-dir DIR     where the printer saves each label (^XA to ^XZ) as
                       label-0001.zpl, label-0002.zpl, ... (default: .), a picture
                       beside each (label-0001.png) and its encoding in labels.txt
Device identity (replies N, M, B, D, V, S and the position at start):
  --serial TEXT        serial number (default 100001)
  --min MM             smallest size (default 200)
  --max MM             largest size (default 3050)
  --precision 0|1      0: whole millimetres, 1: tenths (default 1)
  --firmware TEXT      firmware version (default 3)
  --status N           S reply payload (default 0)
  --start MM           position at start (default 3050)
Timing and the rest:
  --ping-ms N          ping interval in milliseconds (default 500)
  --speed MM_PER_S     travel speed of the stop (default 250)
  --pace               send about one character a millisecond, as 9600 baud does
  --log FILE           every byte in each direction, one a line: monotonic
                       microseconds, dev> (to the program), dev< (from it) or prn<
                       (to the printer), the byte in hex, the character
  --seed N             seed of the noise generator (default 1)
  --help               this text

Control commands, one a line on standard input, each answered by one line on
standard output ("ok ..." or "error ..."):
  key K                press a key of the device's own keypad: 0-9, * or #
  keys TEXT            press several, e.g. keys 305#
  silent on|off        stop or resume every ping, reply and key
  printer STATE        the label printer: ready, paper (out of paper), head (head
                       open), pause or silent (answers no ~HS); it takes labels
                       in every state
  ignore K|-           never answer request K (N M B D V T S); - answers all again
  malformed T|M|D      the next such reply once malformed (T, M: payload not starting
                       with a digit; D: payload 1.5)
  noise COUNT          send COUNT random bytes
  drop MS              close the device's pseudo-terminal, so that writes on the other
                       side fail; a new one appears at the same symlink after MS
  state                position, target, entry, count of each request, pings, moves,
                       noise bytes sent and how many of them were "#" (the Start key),
                       labels saved and how many of them selected UTF-8 (^CI28)
  quit                 end (as do end of input, SIGTERM, SIGINT and SIGHUP)

Once its links exist it prints: ready device=PATH printer=PATH
End of input ends it: in the background give it a pipe or fifo that stays open.
While nobody has the device's line open, its pings and replies are dropped, as on
an unplugged cable; the line is raw on the far end and the program sets its own.
tools/sim/demo.sh starts it with a printer and the program connected to both.
)";
}

}  // namespace tandrel::sim
