#include "plan/plan_input.h"

#include <set>

#include "base/cp1251.h"
#include "job/list_encoding.h"

namespace tandrel::plan {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
    return s;
}

std::string NotANumber(std::string_view text) {
    return "\""_cp1251 + std::string(text) + "\" - не число"_cp1251;
}

}  // namespace

std::string ParseDecimal(std::string_view text, std::int64_t scale, std::int64_t most,
                         std::int64_t& value) {
    const auto separator = text.find_first_of(".,");
    const std::string_view whole = text.substr(0, separator);
    const std::string_view part =
        separator == std::string_view::npos ? std::string_view() : text.substr(separator + 1);
    if (whole.empty() || whole.size() > 12) return NotANumber(text);
    for (const char c : whole)
        if (!IsDigit(c)) return NotANumber(text);
    for (const char c : part)
        if (!IsDigit(c)) return NotANumber(text);
    std::int64_t scaled = 0;
    for (const char c : whole) scaled = scaled * 10 + (c - '0');
    // The decimals that the scale keeps, then the rest decides the rounding.
    std::size_t kept = 0;
    for (std::int64_t s = scale; s > 1; s /= 10) {
        scaled = scaled * 10 + (kept < part.size() ? part[kept] - '0' : 0);
        ++kept;
    }
    if (kept < part.size()) {
        const char first = part[kept];
        bool beyondHalf = first > '5';
        if (first == '5')
            for (std::size_t i = kept + 1; i < part.size(); ++i)
                beyondHalf = beyondHalf || part[i] != '0';
        if (beyondHalf || (first == '5' && scaled % 2 == 1)) ++scaled;
    }
    if (scaled > most) return "\""_cp1251 + std::string(text) + "\" - слишком много"_cp1251;
    value = scaled;
    return "";
}

std::string ParseStock(std::string_view text, std::vector<TStock>& stock) {
    std::vector<TStock> parsed;
    if (Trim(text).empty()) return "не задано ни одного хлыста"_cp1251;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find(',', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view entry = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        TStock one;
        // "6000x20:AL": the material after a colon; its name may hold an "x" of its own.
        if (const auto colon = entry.find(':'); colon != std::string_view::npos) {
            one.Material = std::string(Trim(entry.substr(colon + 1)));
            entry = Trim(entry.substr(0, colon));
            if (one.Material.empty()) return "хлыст: после \":\" нужен материал"_cp1251;
        }
        const auto x = entry.find_first_of("xX");
        if (auto why = ParseDecimal(Trim(entry.substr(0, x)), 10, kLongestBar, one.Length);
            !why.empty())
            return "хлыст: "_cp1251 + why;
        if (one.Length <= 0) return "хлыст: длина должна быть больше 0"_cp1251;
        if (x != std::string_view::npos) {
            const std::string_view count = Trim(entry.substr(x + 1));
            std::int64_t n = 0;
            if (count.find_first_of(".,") != std::string_view::npos)
                return "хлыст: "_cp1251 + NotANumber(count);
            if (auto why = ParseDecimal(count, 1, 1000000, n); !why.empty())
                return "хлыст: "_cp1251 + why;
            if (n <= 0) return "хлыст: число хлыстов должно быть больше 0"_cp1251;
            one.Count = static_cast<std::int32_t>(n);
        }
        parsed.push_back(one);
        if (end == text.size()) break;
    }
    stock = std::move(parsed);
    return "";
}

std::string FormatStock(const std::vector<TStock>& stock) {
    std::string text;
    for (const auto& one : stock) {
        if (!text.empty()) text += ',';
        text += FormatTenths(one.Length);
        if (one.Count != kUnlimited) text += "x" + std::to_string(one.Count);
        if (!one.Material.empty()) text += ":" + one.Material;
    }
    return text;
}

std::string ParseRemnants(std::string bytes, std::vector<TRemnant>& remnants) {
    const std::string text = job::ListText(std::move(bytes)).Text;
    std::vector<TRemnant> parsed;
    std::set<std::string> ids;
    std::size_t pos = 0;
    for (std::int32_t number = 1; pos < text.size(); ++number) {
        auto end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string_view line = Trim(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) continue;
        const auto where = "остатки, строка "_cp1251 + std::to_string(number) + ": ";
        const auto semicolon = line.find(';');
        if (semicolon == std::string_view::npos) return where + "нужно \"номер;длина\""_cp1251;
        TRemnant one;
        one.Id = std::string(Trim(line.substr(0, semicolon)));
        if (one.Id.empty() || one.Id.size() > kLongestId)
            return where + "номер остатка - от 1 до 20 знаков"_cp1251;
        for (const char c : one.Id)
            if (c <= ' ' || c > '~' || c == ';')
                return where +
                       "в номере остатка только латиница, цифры и знаки без пробелов"_cp1251;
        if (!ids.insert(one.Id).second)
            return where + "остаток "_cp1251 + one.Id + " уже был"_cp1251;
        if (auto why = ParseDecimal(Trim(line.substr(semicolon + 1)), 10, kLongestBar, one.Length);
            !why.empty())
            return where + why;
        if (one.Length <= 0) return where + "длина должна быть больше 0"_cp1251;
        parsed.push_back(std::move(one));
    }
    remnants = std::move(parsed);
    return "";
}

}  // namespace tandrel::plan
