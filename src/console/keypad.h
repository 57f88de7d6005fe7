#pragma once
// The keypad and keyboard entry of a size, and the layout of the full keypad: plain logic the
// main window calls with its state.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tandrel::console {

// The manual entry group of the main window's state.
struct TManualEntryState {
    std::string ManualEntry;  // digits and at most one "." (only with Precision not 0)
};

// A digit key: the entry with the digit appended when its value does not pass maxSize, else
// the entry unchanged. Raises EConvertError when the entry does not begin with a digit.
std::string AppendDigit(const std::string& entry, char digit, double maxSize);

// The "*" key: with precision not 0 it erases the last character of an entry that has a
// point and appends a point to one that has none; with precision 0 it is a backspace.
std::string StarKey(const std::string& entry, std::int32_t precision);

// The "#" key: the move string for the entry when its value lies within the limits, else
// nothing. Raises EConvertError when the entry does not begin with a digit.
std::optional<std::string> AcceptEntry(const std::string& entry, double minSize, double maxSize);

// What a key of the PC keyboard does.
enum class TKeyAction { None, Back, Accept, Start, Star, ToggleKeypad, Digit };
TKeyAction KeyActionFor(char key);

// Places of the twelve keys in the full keypad of outer size width x height.
struct TKeyLayout {
    int keyWidth = 0;
    int keyHeight = 0;
    std::array<int, 3> rowTops{};
    std::array<int, 4> columnLefts{};
};
TKeyLayout ButtonsSize(int height, int width);

}  // namespace tandrel::console
