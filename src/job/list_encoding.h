#pragma once
// The text of a cut-list file: Windows-1251 as the system writes it, UTF-8 as many spreadsheets
// export it, or UTF-16 as Excel's "Unicode text" is. Such a list is converted to Windows-1251
// before its lines are read; its CRC and progress file stay those of the file's bytes. Any
// thread; keeps no state.

#include <cstdint>
#include <string>
#include <string_view>

namespace tandrel::job {

// UTF-8 when the bytes begin with the UTF-8 byte-order mark, or when they are valid UTF-8 with at
// least one multi-byte sequence. Anything else is Windows-1251: a Windows-1251 text with a word
// of Russian in it is never valid UTF-8 (two letters in a row break any sequence).
bool IsUtf8List(std::string_view bytes);

struct TListText {
    std::string Text;           // Windows-1251
    bool Utf8 = false;          // the file was read as UTF-8 (or UTF-16, below)
    bool Utf16 = false;         // the file began with a UTF-16 byte-order mark
    std::int32_t Replaced = 0;  // characters Windows-1251 lacks, each now a "?"
};

// The file's bytes as Windows-1251 text: unchanged, or converted from UTF-8 or UTF-16 (the
// byte-order mark dropped).
TListText ListText(std::string bytes);

}  // namespace tandrel::job
