#include "feed/feed_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "feed/feed_platform.h"

namespace tandrel::feed {
namespace {

std::string Quoted(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

// A journal number in the program's decimal format; either separator is taken, since the
// journal may have been written under another locale.
std::optional<double> JournalNumber(std::string text) {
    for (char& c : text)
        if (c == ',') c = '.';
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || at != end) return std::nullopt;
    return value;
}

std::optional<std::int64_t> JournalInteger(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [at, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || at != end) return std::nullopt;
    return value;
}

}  // namespace

void TJsonObject::Name(std::string_view name) {
    if (text_.size() > 1) text_ += ',';
    text_ += Quoted(name);
    text_ += ':';
}

TJsonObject& TJsonObject::Text(std::string_view name, std::string_view utf8) {
    Name(name);
    text_ += Quoted(utf8);
    return *this;
}

TJsonObject& TJsonObject::Text(std::string_view name, const std::optional<std::string>& utf8) {
    if (utf8) return Text(name, std::string_view(*utf8));
    Name(name);
    text_ += "null";
    return *this;
}

TJsonObject& TJsonObject::Number(std::string_view name, std::optional<double> value) {
    Name(name);
    text_ += value && std::isfinite(*value) ? FormatGeneral(*value, '.') : "null";
    return *this;
}

TJsonObject& TJsonObject::Integer(std::string_view name, std::optional<std::int64_t> value) {
    Name(name);
    text_ += value ? std::to_string(*value) : "null";
    return *this;
}

TJsonObject& TJsonObject::Bool(std::string_view name, std::optional<bool> value) {
    Name(name);
    text_ += value ? (*value ? "true" : "false") : "null";
    return *this;
}

namespace {
bool FaultyInName(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f || byte == 0x98 || c == '+' || c == '#' || c == '/' ||
           c == ':';
}
}  // namespace

std::string StationNameFault(std::string_view station) {
    for (const char c : station) {
        if (!FaultyInName(c)) continue;
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || byte == 0x98)
            return "в имени станции управляющий символ"_cp1251;
        return "в имени станции нельзя «"_cp1251 + c + "»: допустимо всё, кроме / + # :"_cp1251;
    }
    return {};
}

std::string CleanStationName(std::string_view station) {
    std::string out(station);
    std::replace_if(out.begin(), out.end(), FaultyInName, '_');
    return out;
}

std::string IsoTime(const job::TLocalTime& t, std::int32_t offsetSeconds) {
    const char sign = offsetSeconds < 0 ? '-' : '+';
    const std::int32_t offset = std::abs(offsetSeconds) / 60;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.Year, t.Month,
                  t.Day, t.Hour, t.Minute, t.Second, sign, offset / 60, offset % 60);
    return text;
}

std::optional<std::string> PieceJson(std::string_view line, std::string_view id) {
    const auto record = job::ParseJournalLine(line);
    if (!record) return std::nullopt;
    const std::vector<std::string> f = job::SplitJournalLine(line);
    const auto yes = [](const std::string& field) { return field == "да"_cp1251; };
    TJsonObject json;
    const std::string time = IsoTime(record->At, LocalOffsetSeconds(record->At));
    const std::string list = Cp1251ToUtf8(f[2]), label = Cp1251ToUtf8(f[9]);
    json.Text("id", id)
        .Text("time", std::string_view(time))
        .Text("list", std::string_view(list))
        .Integer("row", JournalInteger(f[3]))
        .Number("size", JournalNumber(f[4]))
        .Integer("correction", JournalInteger(f[5]))
        .Number("target", JournalNumber(f[6]))
        .Bool("in_range", yes(f[7]))
        .Bool("again", yes(f[8]))
        .Text("label", std::string_view(label))
        .Bool("piece", record->Piece);
    return json.Done();
}

}  // namespace tandrel::feed
