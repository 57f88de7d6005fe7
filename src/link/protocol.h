#pragma once
// The positioning device's line: settings, the characters in both directions, the reply
// conversions and the move strings. Every character is one byte; no checksum, no line end.

#include <cstdint>
#include <string>
#include <string_view>

namespace tandrel::protocol {

// Line settings of the device port (and of the label printer's).
inline constexpr int kBaudRate = 9600;
inline constexpr int kDataBits = 8;
inline constexpr int kStopBits = 1;  // no parity
inline constexpr int kBufferSize = 2048;
inline constexpr int kReadInterval = -1;  // a read returns at once with what has arrived
inline constexpr int kReadTotalMultiplier = 0;
inline constexpr int kReadTotalConstant = 0;
inline constexpr int kWriteTotalMultiplier = 100;  // ms per character
inline constexpr int kWriteTotalConstant = 1000;   // ms

// Requests, in handshake order; "T" also answers every ping once linked.
inline constexpr char kRequestSerial = 'N';
inline constexpr char kRequestMinimum = 'M';
inline constexpr char kRequestMaximum = 'B';
inline constexpr char kRequestPrecision = 'D';
inline constexpr char kRequestFirmware = 'V';
inline constexpr char kRequestPosition = 'T';
inline constexpr char kRequestStatus = 'S';

// From the device.
inline constexpr char kPing = 'P';
inline constexpr char kReplyEnd = '_';
inline constexpr char kKeyPoint = '*';  // the keypad's point/erase key
inline constexpr char kKeyEnter = '#';  // the keypad's enter key

// True for the letters that open a reply: B D M N S T V.
bool IsReplyKind(char c);

// Size text to millimetres: integer digits, one separator of any kind, at most 11 fraction
// digits (cut, never rounded). Raises EConvertError "'%s' is not a valid integer value" when
// the text does not begin with a digit or its integer digits exceed 2147483647. The result is
// the double nearest the decimal value read. Any thread.
double ParseSize(std::string_view text);

// D reply payload: an optional sign and decimal digits in the signed 32-bit range, else
// EConvertError.
std::int32_t ParsePrecision(std::string_view payload);

// The move string of a size typed on the keypad: "****", the text with every "." as "*", "#".
std::string TypedMove(std::string_view typed);

// The move string of the automatic test mode: the target in the general floating format with
// its decimal separator as "*", whichever one-byte separator the user's locale gives.
std::string AutoMove(double target, char decimalSeparator);

}  // namespace tandrel::protocol
