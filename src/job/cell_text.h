#pragma once
// A spreadsheet cell's value as the spreadsheet shows it where that is not a plain number (which
// FormatFixed writes): dates and times by the cell's number format. Any thread; keeps no state.

#include <cstdint>
#include <string>
#include <string_view>

namespace tandrel::job {

// What a number format makes of a number: the number itself, or a date, a time, or both.
enum class TDateLook : std::uint8_t { None, Date, Time, DateTime };

// The look of a built-in format id (14 to 22, 45 to 47 and the East Asian date ids), else of
// its format code: a code whose first section, quoted text, escapes and brackets aside, is made
// of the letters d, m, y, h and s only is a date or a time.
TDateLook DateLookOf(int formatId, std::string_view formatCode);

// A date serial as "dd.mm.yyyy", "hh:mm" or "dd.mm.yyyy hh:mm", by look. The 1900 system counts
// as Excel does, 29 February 1900 included. Empty when the serial is no date (negative, past
// 9999).
std::string SerialDateText(double serial, bool date1904, TDateLook look);

// An ISO 8601 date ("2024-03-15", "2024-03-15T10:30:00"): "15.03.2024", with " hh:mm" when the
// time is not midnight. Empty when the text is no such date.
std::string IsoDateText(std::string_view iso);

// A cell's UTF-8 text in Windows-1251, replaced counting the characters it lacks (each a "?").
std::string CellCp1251(std::string_view utf8, std::int32_t& replaced);

// "D5"-style column letters: 0 is "A", 16383 is "XFD".
std::string ColumnLetters(std::uint32_t column);

}  // namespace tandrel::job
