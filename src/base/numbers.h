#pragma once
// Numbers as the operator sees them: the general floating format, rounding with ties to even,
// the target arithmetic, and the plain integer conversion.

#include <cstdint>
#include <string>
#include <string_view>

namespace tandrel {

// Shortest text with up to 15 significant digits: fixed notation while the decimal exponent is in
// -5..14, otherwise mantissa, "E", exponent ("1E15", "1,5E-6"). No trailing zeros or separator.
std::string FormatGeneral(double value, char decimalSeparator);
// The same digits in fixed notation at any exponent, as a spreadsheet shows a number:
// 2449.9999999999995 is "2450", 1E20 is "100000000000000000000".
std::string FormatFixed(double value, char decimalSeparator);

// The separator the program formats with, taken from the system locale at start-up.
char DecimalSeparator();
void SetDecimalSeparator(char separator);
// The system locale's decimal separator ('.' when it is not a single byte).
char SystemDecimalSeparator();

// Nearest integer, halves to the even neighbour.
double RoundHalfEven(double value);

// round(value × scale) of the exact product, halves to even: 1234.45 × 10 rounds as the decimal
// product 12344.5 really is (the double nearest 1234.45 lies above it), not as its rounded double.
double RoundScaledExact(double value, int scale);

// round(size × scale) ÷ scale + correction, scale 10 when precision is not 0, else 1.
double TargetFor(double size, std::int32_t precision, std::int32_t correction);

// Optional sign and decimal digits within the signed 32-bit range; anything else raises
// EConvertError "'text' is not a valid integer value".
std::int32_t StrToInt32(std::string_view text);
// The same test without raising.
bool TryStrToInt32(std::string_view text, std::int32_t& value);

}  // namespace tandrel
