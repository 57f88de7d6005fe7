#pragma once
// Windows-1251: the one encoding of every text inside the program, on the wire and on disk.
// Texts become Unicode only at a widget or a file name; these are the conversions.

#include <string>
#include <string_view>

namespace tandrel {

// Unicode code point of one Windows-1251 byte. The one unassigned byte (0x98) maps to U+0098.
char32_t Cp1251ToUnicode(unsigned char byte);

// Windows-1251 byte of a code point, or '?' when the code page has none.
char UnicodeToCp1251(char32_t code);

// UTF-8 <-> Windows-1251. Invalid UTF-8 becomes one '?' for each maximal invalid subpart
// (overlong forms, surrogates, code points above U+10FFFF and cut-off sequences included).
std::string Cp1251ToUtf8(std::string_view cp1251);
std::string Utf8ToCp1251(std::string_view utf8);
// Decodes one UTF-8 sequence at text[i], advancing i. Anything but a well-formed sequence gives
// U+FFFD for each maximal subpart (the longest start of a well-formed sequence, or one byte):
// overlong forms, surrogates and code points above U+10FFFF never decode to a character, and a
// byte that breaks a sequence off starts the next one.
char32_t NextUtf8(std::string_view text, std::size_t& i);

// UTF-16 <-> Windows-1251 (QString and the wide Win32 calls use UTF-16). A surrogate pair or a
// lone surrogate becomes one '?'.
std::u16string Cp1251ToUtf16(std::string_view cp1251);
std::string Utf16ToCp1251(std::u16string_view utf16);

// True when every character of the UTF-8 text has a Windows-1251 code.
bool FitsCp1251(std::string_view utf8);

inline namespace literals {
// "Ошибка"_cp1251: the source files are UTF-8; the program's texts are Windows-1251.
inline std::string operator""_cp1251(const char* text, std::size_t size) {
    return Utf8ToCp1251(std::string_view(text, size));
}
}  // namespace literals

}  // namespace tandrel
