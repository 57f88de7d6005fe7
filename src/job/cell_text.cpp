#include "job/cell_text.h"

#include <cmath>

#include "base/cp1251.h"

namespace tandrel::job {
namespace {

constexpr std::int64_t kSecondsADay = 86400;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct TCivil {
    std::int64_t Year;
    unsigned Month, Day;
};

TCivil CivilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

std::string Two(unsigned n) {
    return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

std::string DateTimeText(TCivil date, std::int64_t seconds, TDateLook look) {
    std::string text;
    if (look != TDateLook::Time) {
        if (date.Year < 1 || date.Year > 9999) return "";
        text = Two(date.Day) + "." + Two(date.Month) + "." + Two(date.Year / 100 % 100) +
               Two(date.Year % 100);
    }
    if (look == TDateLook::Time || look == TDateLook::DateTime) {
        if (!text.empty()) text += ' ';
        text += Two(static_cast<unsigned>(seconds / 3600)) + ":" +
                Two(static_cast<unsigned>(seconds / 60 % 60));
    }
    return text;
}

TDateLook LookOfLetters(bool d, bool m, bool y, bool h, bool s) {
    const bool time = h || s;
    const bool date = d || y || (m && !time);
    if (date && time) return TDateLook::DateTime;
    if (date) return TDateLook::Date;
    return time ? TDateLook::Time : TDateLook::None;
}

TDateLook LookOfCode(std::string_view code) {
    bool d = false, m = false, y = false, h = false, s = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == ';') break;  // the first section, for positive numbers
        if (c == '"') {
            const auto end = code.find('"', i + 1);
            if (end == std::string_view::npos) break;
            i = end;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // an escaped, padding or fill character
        } else if (c == '[') {
            const auto end = code.find(']', i + 1);
            if (end == std::string_view::npos) break;
            // Elapsed hours, minutes or seconds; colours and locales say nothing.
            const std::string_view inner = code.substr(i + 1, end - i - 1);
            if (!inner.empty() && inner.find_first_not_of(inner[0]) == std::string_view::npos) {
                const char e = static_cast<char>(inner[0] | 0x20);
                h = h || e == 'h';
                m = m || e == 'm';
                s = s || e == 's';
            }
            i = end;
        } else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
            const std::string_view rest = code.substr(i);
            auto starts = [&rest](std::string_view marker) {
                if (rest.size() < marker.size()) return false;
                for (std::size_t k = 0; k < marker.size(); ++k)
                    if ((rest[k] | 0x20) != marker[k]) return false;
                return true;
            };
            if (starts("am/pm")) {
                i += 4;
                continue;
            }
            if (starts("a/p")) {
                i += 2;
                continue;
            }
            switch (c | 0x20) {
                case 'd':
                    d = true;
                    break;
                case 'm':
                    m = true;
                    break;
                case 'y':
                    y = true;
                    break;
                case 'h':
                    h = true;
                    break;
                case 's':
                    s = true;
                    break;
                default:
                    return TDateLook::None;  // "General", "E+", anything but a date
            }
        }
    }
    return LookOfLetters(d, m, y, h, s);
}

}  // namespace

TDateLook DateLookOf(int formatId, std::string_view formatCode) {
    if (!formatCode.empty()) return LookOfCode(formatCode);
    if ((formatId >= 14 && formatId <= 17) || (formatId >= 27 && formatId <= 36) ||
        (formatId >= 50 && formatId <= 58))
        return TDateLook::Date;
    if ((formatId >= 18 && formatId <= 21) || (formatId >= 45 && formatId <= 47))
        return TDateLook::Time;
    return formatId == 22 ? TDateLook::DateTime : TDateLook::None;
}

std::string SerialDateText(double serial, bool date1904, TDateLook look) {
    if (look == TDateLook::None || !(serial >= 0) || serial > 2958466) return "";
    const auto total = static_cast<std::int64_t>(std::llround(serial * kSecondsADay));
    const std::int64_t days = total / kSecondsADay;
    const std::int64_t seconds = total % kSecondsADay;
    TCivil date{};
    if (date1904) {
        date = CivilFromDays(DaysFromCivil(1904, 1, 1) + days);
    } else if (days == 0) {
        date = {1900, 1, 0};  // Excel's day 0 of January
    } else if (days == 60) {
        date = {1900, 2, 29};  // the day Excel counts though the calendar has none
    } else {
        date = CivilFromDays(DaysFromCivil(1899, 12, days < 60 ? 31 : 30) + days);
    }
    return DateTimeText(date, seconds, look);
}

std::string IsoDateText(std::string_view iso) {
    auto number = [&iso](std::size_t at, std::size_t length, unsigned& value) {
        if (at + length > iso.size()) return false;
        value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            if (iso[i] < '0' || iso[i] > '9') return false;
            value = value * 10 + static_cast<unsigned>(iso[i] - '0');
        }
        return true;
    };
    unsigned year = 0, month = 0, day = 0;
    if (!number(0, 4, year) || iso.size() < 10 || iso[4] != '-' || !number(5, 2, month) ||
        iso[7] != '-' || !number(8, 2, day) || month < 1 || month > 12 || day < 1 || day > 31)
        return "";
    double seconds = 0;
    if (iso.size() > 10 && iso[10] == 'T') {
        unsigned hours = 0, minutes = 0, whole = 0;
        if (!number(11, 2, hours) || iso.size() < 16 || iso[13] != ':' || !number(14, 2, minutes))
            return "";
        seconds = hours * 3600.0 + minutes * 60.0;
        if (iso.size() > 16 && iso[16] == ':' && number(17, 2, whole)) {
            seconds += whole;
            std::size_t i = 19;
            if (i < iso.size() && (iso[i] == '.' || iso[i] == ',')) {
                double scale = 0.1;
                for (++i; i < iso.size() && iso[i] >= '0' && iso[i] <= '9'; ++i, scale /= 10)
                    seconds += (iso[i] - '0') * scale;
            }
        }
    }
    // A time a hair before a minute's end, as a float's rounding leaves it, is that minute.
    const std::int64_t total = DaysFromCivil(year, month, day) * kSecondsADay +
                               static_cast<std::int64_t>(std::llround(seconds));
    std::int64_t days = total / kSecondsADay, rest = total % kSecondsADay;
    if (rest < 0) {  // before 1970: the day below
        --days;
        rest += kSecondsADay;
    }
    return DateTimeText(CivilFromDays(days), rest,
                        rest == 0 ? TDateLook::Date : TDateLook::DateTime);
}

std::string CellCp1251(std::string_view utf8, std::int32_t& replaced) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t code = NextUtf8(utf8, i);
        const char c = UnicodeToCp1251(code);
        if (c == '?' && code != U'?') ++replaced;
        out += c;
    }
    return out;
}

std::string ColumnLetters(std::uint32_t column) {
    std::string letters;
    for (std::uint64_t n = static_cast<std::uint64_t>(column) + 1; n > 0; n = (n - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (n - 1) % 26));
    return letters;
}

}  // namespace tandrel::job
