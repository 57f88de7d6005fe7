#include "link/protocol.h"

#include <charconv>
#include <string>

#include "base/error.h"
#include "base/numbers.h"

namespace tandrel::protocol {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

constexpr std::size_t kMaxFractionDigits = 11;

std::string MoveOf(std::string_view value) {
    std::string move = "****";
    for (char c : value) move += (c == '.' || c == ',') ? '*' : c;
    move += kKeyEnter;
    return move;
}

}  // namespace

bool IsReplyKind(char c) {
    switch (c) {
        case 'B':
        case 'D':
        case 'M':
        case 'N':
        case 'S':
        case 'T':
        case 'V':
            return true;
        default:
            return false;
    }
}

double ParseSize(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsDigit(text[i])) ++i;
    const std::string_view integer = text.substr(0, i);
    std::int32_t whole = 0;
    if (!TryStrToInt32(integer, whole) || integer.empty()) {
        throw EConvertError::NotAnInteger(std::string(integer));
    }
    std::string decimal(integer);
    if (i < text.size()) {
        ++i;  // the separator, whatever character it is
        const std::size_t start = i;
        while (i < text.size() && IsDigit(text[i]) && i - start < kMaxFractionDigits) ++i;
        if (i > start) {
            decimal += '.';
            decimal += text.substr(start, i - start);
        }
    }
    double value = 0;
    std::from_chars(decimal.data(), decimal.data() + decimal.size(), value);
    return value;
}

std::int32_t ParsePrecision(std::string_view payload) {
    return StrToInt32(payload);
}

std::string TypedMove(std::string_view typed) {
    return MoveOf(typed);
}

std::string AutoMove(double target, char decimalSeparator) {
    // Written with the device's point key directly: a separator the user set to anything but ","
    // or "." must not reach the device.
    static_cast<void>(decimalSeparator);
    return MoveOf(FormatGeneral(target, '*'));
}

}  // namespace tandrel::protocol
