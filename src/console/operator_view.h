#pragma once
// What the operator's own fields say: the target in work and where the stop stands, the link,
// a refused entry, a pending entry and a finished list. Plain logic on values the main window
// gathers; every text is Windows-1251. Any thread; keeps no state.

#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::console {

// The target shown until the next step or move: a row's, or a size sent from the keypad.
struct TTargetShown {
    bool Has = false;
    double Value = 0;
    bool InRange = true;
    bool Typed = false;  // sent from the keypad or keyboard, not a row of the list
};

enum class TTargetLook { None, NoLink, Elsewhere, AtTarget, OutOfRange };

struct TTargetInputs {
    TTargetShown Target;
    bool LinkUp = false;  // the port open and the handshake done
    double Position = 0;  // the stop's last reported position
    double MinSize = 0;
    double MaxSize = 0;
    char DecimalSeparator = ',';
};

struct TTargetText {
    std::string Value;  // "Цель: 1235"
    std::string State;  // "на месте", "упор на 3050", ...
    TTargetLook Look = TTargetLook::None;
};

// The stop stands at the target when its position reads as the target's text, the same rule by
// which the position display completes a row.
TTargetText DescribeTarget(const TTargetInputs& in);

struct TLinkInputs {
    std::string PortName;  // DevicePortName
    bool PortOpen = false;
    bool PortExists = false;  // the name is a path or a port the system lists
    bool Recovering = false;  // the way back after a port fault is under way
    std::uint8_t LinkState = 0;
    bool Silent = false;  // linked, but nothing has come from the device for a while
};

struct TLinkText {
    bool Up = false;
    std::string Text;  // "Связь с устройством есть" or "Нет связи с устройством: " + why
};

TLinkText DescribeLink(const TLinkInputs& in);

// Why a keypad entry of that value is refused by the limits ("" when it is not). The minimum is
// tested only when testMin (at "#"; while typing, short prefixes are allowed).
std::string EntryRefusal(double value, double minSize, double maxSize, bool testMin,
                         char decimalSeparator);

// "Список выполнен: 30 из 30".
std::string ListFinishedText(std::int32_t rowCount);

// Notices of the status line that stand together, in order, joined by ". ".
std::string JoinNotices(const std::vector<std::string>& notices);

// The line under the target while something is typed: the keypad's entry (with what Start will
// do with it) and the device keypad's. "" when both are empty.
std::string EntryHint(const std::string& manualEntry, const std::string& deviceEntry);

}  // namespace tandrel::console
