#include "base/cp1251.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tandrel {
namespace {

// Code points of bytes 0x80..0xFF; 0x98 has no character and keeps its own value.
constexpr std::array<char16_t, 128> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// (code point, byte) for the upper half, sorted by code point, for the reverse lookup.
struct ReverseTable {
    std::array<std::pair<char32_t, unsigned char>, 128> entries{};
    constexpr ReverseTable() {
        for (int i = 0; i < 128; ++i)
            entries[i] = {kUpperHalf[i], static_cast<unsigned char>(0x80 + i)};
        std::sort(entries.begin(), entries.end());
    }
};
constexpr ReverseTable kReverse;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

char32_t NextUtf8(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80) return lead;
    int extra = 0;
    char32_t c = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, c = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // below: overlong
        if (lead == 0xED) high = 0x9F;  // above: surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, c = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // below: overlong
        if (lead == 0xF4) high = 0x8F;  // above: past U+10FFFF
    } else {
        return 0xFFFD;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size()) return 0xFFFD;
        const auto next = static_cast<unsigned char>(text[i]);
        if (next < low || next > high) return 0xFFFD;
        c = (c << 6) | (next & 0x3F);
        ++i;
        low = 0x80, high = 0xBF;
    }
    return c;
}

char32_t Cp1251ToUnicode(unsigned char byte) {
    return byte < 0x80 ? byte : kUpperHalf[byte - 0x80];
}

char UnicodeToCp1251(char32_t code) {
    if (code < 0x80) return static_cast<char>(code);
    const auto& e = kReverse.entries;
    auto it = std::lower_bound(e.begin(), e.end(), std::pair<char32_t, unsigned char>{code, 0});
    if (it != e.end() && it->first == code) return static_cast<char>(it->second);
    return '?';
}

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (char ch : cp1251) AppendUtf8(out, Cp1251ToUnicode(static_cast<unsigned char>(ch)));
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) out += UnicodeToCp1251(NextUtf8(utf8, i));
    return out;
}

std::u16string Cp1251ToUtf16(std::string_view cp1251) {
    std::u16string out;
    out.reserve(cp1251.size());
    for (char ch : cp1251)
        out += static_cast<char16_t>(Cp1251ToUnicode(static_cast<unsigned char>(ch)));
    return out;
}

std::string Utf16ToCp1251(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        const bool pair = c >= 0xD800 && c < 0xDC00 && i + 1 < utf16.size() &&
                          utf16[i + 1] >= 0xDC00 && utf16[i + 1] < 0xE000;
        // A pair is outside the code page whatever it holds; a lone surrogate is one '?' and
        // the unit after it is read for itself.
        if (pair) ++i;
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        out += UnicodeToCp1251(c);
    }
    return out;
}

bool FitsCp1251(std::string_view utf8) {
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = NextUtf8(utf8, i);
        if (c != '?' && UnicodeToCp1251(c) == '?') return false;
    }
    return true;
}

}  // namespace tandrel
