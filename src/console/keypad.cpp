#include "console/keypad.h"

#include "base/numbers.h"
#include "link/protocol.h"

namespace tandrel::console {

std::string AppendDigit(const std::string& entry, char digit, double maxSize) {
    std::string candidate = entry + digit;
    if (protocol::ParseSize(candidate) > maxSize) return entry;
    return candidate;
}

std::string StarKey(const std::string& entry, std::int32_t precision) {
    std::string result = entry;
    if (precision != 0) {
        if (result.find('.') != std::string::npos)
            result.pop_back();
        else
            result += '.';
    } else if (!result.empty()) {
        result.pop_back();
    }
    return result;
}

std::optional<std::string> AcceptEntry(const std::string& entry, double minSize, double maxSize) {
    const double value = protocol::ParseSize(entry);
    if (value < minSize || value > maxSize) return std::nullopt;
    return protocol::TypedMove(entry);
}

TKeyAction KeyActionFor(char key) {
    switch (key) {
        case 8:
            return TKeyAction::Back;
        case 13:
            return TKeyAction::Accept;
        case ' ':
            return TKeyAction::Start;
        case '*':
        case ',':
        case '.':
            return TKeyAction::Star;
        case '+':
            return TKeyAction::ToggleKeypad;
        default:
            return key >= '0' && key <= '9' ? TKeyAction::Digit : TKeyAction::None;
    }
}

TKeyLayout ButtonsSize(int height, int width) {
    constexpr int kStrip = 97;
    auto round = [](double value) { return static_cast<int>(RoundHalfEven(value)); };
    const double h = height;
    const double w = width;
    TKeyLayout layout;
    layout.keyHeight = round(h * 31 / 100);
    layout.keyWidth = round((w - kStrip) * 24 / 100);
    const int gv = round((h - 3.0 * layout.keyHeight) / 4);
    const int gh = round((w - kStrip - 4.0 * layout.keyWidth) / 5);
    for (int row = 0; row < 3; ++row) layout.rowTops[row] = row * layout.keyHeight + (row + 1) * gv;
    for (int col = 0; col < 4; ++col)
        layout.columnLefts[col] = col * layout.keyWidth + (col + 1) * gh;
    return layout;
}

}  // namespace tandrel::console
