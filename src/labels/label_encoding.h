#pragma once
// Labels in UTF-8 for printers whose Unicode font prints Cyrillic: a template that holds ^CI28
// is sent in UTF-8 (a Windows-1251 template converted, a UTF-8 one as it stands without its
// byte-order mark, the list's fields converted); any other label goes out in Windows-1251. Plain
// functions, any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::labels {

enum class TLabelEncoding { Cp1251, Utf8 };

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

// Which encoding a label of this template, text and field count is sent in: UTF-8 for a
// template with ^CI28, Windows-1251 for any other and for the fixed label.
TLabelEncoding LabelEncoding(const std::vector<std::string>& templateLines, std::string_view text,
                             std::uint8_t fieldCount);

}  // namespace tandrel::labels
