#pragma once
// Labels in UTF-8 for printers whose Unicode font prints Cyrillic: a template that holds ^CI28
// gets its Windows-1251 bytes converted before they are sent; any other label goes out byte for
// byte. Plain functions, any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job/job_state.h"

namespace tandrel::labels {

enum class TLabelEncoding { Cp1251, Utf8 };

// True when the text holds "^CI28" in any letter case (the printer then reads UTF-8).
bool SelectsUtf8(std::string_view zpl);
bool SelectsUtf8(const std::vector<std::string>& lines);

// True when the template file is itself UTF-8: its first line starts with the byte-order mark,
// or all its bytes are valid UTF-8 and hold at least one multi-byte sequence. Windows-1251
// Cyrillic is almost never valid UTF-8, so the test does not take one for the other.
bool IsUtf8Template(const std::vector<std::string>& lines);

// True when every byte sequence of the text is well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF); *multiByte tells whether any sequence was longer than 1.
bool IsValidUtf8(std::string_view text, bool* multiByte = nullptr);

// The writes of one label as the printer is to receive them (see LabelWrites). A template with
// ^CI28 goes out in UTF-8: a Windows-1251 template line by line after filling it, a UTF-8 template
// as it stands (without its byte-order mark) with only the fields converted. Every other label,
// the fixed one included, is LabelWrites unchanged.
std::vector<std::string> EncodedLabelWrites(const std::vector<std::string>& templateLines,
                                            std::string_view text, const job::SizeRow& row,
                                            std::uint8_t fieldCount);

// Which encoding the writes of EncodedLabelWrites for the same arguments are in.
TLabelEncoding LabelEncoding(const std::vector<std::string>& templateLines, std::string_view text,
                             std::uint8_t fieldCount);

}  // namespace tandrel::labels
