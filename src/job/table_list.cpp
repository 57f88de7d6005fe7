#include "job/table_list.h"

#include <algorithm>
#include <array>
#include <charconv>

#include "base/cp1251.h"
#include "base/error.h"
#include "job/parse_stop.h"
#include "link/protocol.h"

namespace tandrel::job {
namespace {

constexpr std::int32_t kMaxQuantity = 30000;

char LowerCp1251(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDF) return static_cast<char>(u + 32);  // А..Я
    if (u == 0xA8 || u == 0xB8) return static_cast<char>(0xE5);    // Ё, ё read as е
    return c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\xA0';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A header name as compared: trimmed, lower case, "ё" as "е".
std::string Key(std::string_view name) {
    std::string key(Trim(name));
    for (char& c : key) c = LowerCp1251(c);
    return key;
}

bool IsLetter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0xC0 || u == 0xA8 || u == 0xB8;
}

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
    if (name.size() < ending.size()) return false;
    return Key(name.substr(name.size() - ending.size())) == ending;
}

enum class TColumn { Unused, Size, Quantity, Caption, Field };

struct TColumnMap {
    std::vector<TColumn> Kinds;
    std::vector<int> FieldOf;  // for Field: 1..6
    std::vector<std::string> Names;
};

TColumnMap MapHeader(const std::vector<std::string>& header) {
    static const auto kNames = [] {
        std::vector<std::pair<TColumn, std::vector<std::string>>> names = {
            {TColumn::Size, {"размер", "длина", "size", "length"}},
            {TColumn::Quantity, {"кол-во", "количество", "кол.", "шт", "qty", "quantity"}},
            {TColumn::Caption, {"наименование", "название", "деталь", "caption", "name"}},
        };
        for (auto& [kind, list] : names)
            for (std::string& n : list) n = Utf8ToCp1251(n);
        return names;
    }();
    TColumnMap map;
    map.Kinds.assign(header.size(), TColumn::Unused);
    map.FieldOf.assign(header.size(), 0);
    for (const std::string& name : header) map.Names.push_back(std::string(Trim(name)));
    std::array<bool, kFieldSlots + 1> taken{};
    std::array<bool, 4> named{};  // a kind named twice: the first column has it
    for (std::size_t i = 0; i < header.size(); ++i) {
        const std::string key = Key(header[i]);
        for (const auto& [kind, names] : kNames) {
            if (named[static_cast<std::size_t>(kind)]) continue;
            for (const std::string& n : names) {
                if (key == n) {
                    map.Kinds[i] = kind;
                    named[static_cast<std::size_t>(kind)] = true;
                }
            }
        }
        if (map.Kinds[i] == TColumn::Unused && key.size() == 2 && key[0] == 'e' && key[1] >= '1' &&
            key[1] <= '6' && !taken[static_cast<std::size_t>(key[1] - '0')]) {
            map.Kinds[i] = TColumn::Field;
            map.FieldOf[i] = key[1] - '0';
            taken[static_cast<std::size_t>(map.FieldOf[i])] = true;
        }
    }
    // The other named columns take the free fields in order.
    int next = 1;
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (map.Kinds[i] != TColumn::Unused || Trim(header[i]).empty()) continue;
        while (next <= static_cast<int>(kFieldSlots) && taken[static_cast<std::size_t>(next)])
            ++next;
        if (next > static_cast<int>(kFieldSlots)) break;
        map.Kinds[i] = TColumn::Field;
        map.FieldOf[i] = next;
        taken[static_cast<std::size_t>(next)] = true;
    }
    return map;
}

// A kept map, as the name rules' map would say it.
TColumnMap FromKept(const TKeptMap& kept) {
    TColumnMap map;
    map.Names = kept.Header;
    for (TColumnRole role : kept.Roles) {
        const auto n = static_cast<int>(role);
        const int field =
            n >= static_cast<int>(TColumnRole::E1) ? n - static_cast<int>(TColumnRole::E1) + 1 : 0;
        map.FieldOf.push_back(field);
        switch (role) {
            case TColumnRole::Size:
                map.Kinds.push_back(TColumn::Size);
                break;
            case TColumnRole::Quantity:
                map.Kinds.push_back(TColumn::Quantity);
                break;
            case TColumnRole::Caption:
                map.Kinds.push_back(TColumn::Caption);
                break;
            case TColumnRole::Unused:
                map.Kinds.push_back(TColumn::Unused);
                break;
            default:
                map.Kinds.push_back(TColumn::Field);
                break;
        }
    }
    return map;
}

TColumnMap MapOf(const std::vector<std::string>& header, const TColumnMaps* maps) {
    if (maps != nullptr)
        if (const TKeptMap* kept = maps->Find(HeaderNames(header))) return FromKept(*kept);
    return MapHeader(header);
}

std::string RowReason(std::int32_t row, const std::string& why) {
    return "строка "_cp1251 + std::to_string(row) + ": " + why;
}

std::string ColumnReason(const std::string& column, const char* what, std::string_view value) {
    return "в столбце «"_cp1251 + column + "» "_cp1251 + Utf8ToCp1251(what) + " «"_cp1251 +
           std::string(value) + "»"_cp1251;
}

// A size as spreadsheets write it: blanks between digit groups, a decimal comma or point.
bool ParseTableSize(std::string_view cell, double& size) {
    std::string text;
    for (char c : Trim(cell))
        if (!IsBlank(c)) text += c;
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    std::size_t n = 0;
    int separators = 0;
    while (n < text.size() &&
           ((text[n] >= '0' && text[n] <= '9') || text[n] == ',' || text[n] == '.')) {
        separators += text[n] == ',' || text[n] == '.';
        ++n;
    }
    if (n != text.size() || separators > 1) return false;
    try {
        size = protocol::ParseSize(text);
    } catch (const EConvertError&) {
        return false;
    }
    return true;
}

bool ParseQuantity(std::string_view cell, std::int32_t& quantity) {
    const std::string_view text = Trim(cell);
    if (text.empty()) {
        quantity = 1;
        return true;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > kMaxQuantity)
        return false;
    quantity = value;
    return true;
}

// The separator the header line (the first that is not blank) holds outside quotes: ";" before
// "," before a tab.
char HeaderSeparator(std::string_view text) {
    std::size_t pos = 0;
    std::string_view line;
    while (pos < text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.find_first_not_of(" \t\r\xA0") != std::string_view::npos) break;
    }
    for (const char candidate : {';', ',', '\t'}) {
        bool inQuotes = false;
        for (const char c : line) {
            if (c == '"') inQuotes = !inQuotes;
            if (c == candidate && !inQuotes) return candidate;
        }
    }
    return ';';
}

}  // namespace

TListKind ListKindOf(std::string_view listName, std::string_view bytes) {
    if (EndsWithNoCase(listName, ".csv")) return TListKind::Csv;
    if (EndsWithNoCase(listName, ".xlsx")) return TListKind::Xlsx;
    if (!EndsWithNoCase(listName, ".txt")) return TListKind::Text;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        auto end = bytes.find('\n', pos);
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && static_cast<unsigned char>(line.front()) <= 32)
            line.remove_prefix(1);
        if (line.empty()) continue;
        const bool header = (IsLetter(line.front()) || line.front() == '"') &&
                            line.find_first_of(";,\t") != std::string_view::npos;
        return header ? TListKind::Csv : TListKind::Text;
    }
    return TListKind::Text;
}

TTable ReadCsv(std::string_view text) {
    TTable table;
    if (const auto eot = text.find('\x1A'); eot != std::string_view::npos)
        text = text.substr(0, eot);
    const char separator = HeaderSeparator(text);
    std::vector<std::string> cells;
    std::string cell;
    bool quoted = false;
    std::int32_t line = 1, start = 1;
    auto endRow = [&] {
        cells.push_back(std::move(cell));
        cell.clear();
        const bool blank = std::all_of(cells.begin(), cells.end(),
                                       [](const std::string& c) { return Trim(c).empty(); });
        if (!blank) table.Rows.push_back({start, std::move(cells)});
        cells.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    cell += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == '\n') ++line;
                if (c != '\r') cell += c;
            }
        } else if (c == '"' && Trim(cell).empty()) {
            cell.clear();
            quoted = true;
        } else if (c == separator) {
            cells.push_back(std::move(cell));
            cell.clear();
        } else if (c == '\n') {
            endRow();
            start = ++line;
            if (ParseStopped()) {
                table.Failure = StoppedReason();
                return table;
            }
        } else if (c != '\r') {
            cell += c;
        }
    }
    if (quoted) {
        table.Failure = RowReason(start, "кавычка не закрыта"_cp1251);
        table.FailedRow = start;
        return table;
    }
    if (!cell.empty() || !cells.empty()) endRow();
    return table;
}

std::vector<std::string> HeaderNames(const std::vector<std::string>& header) {
    std::vector<std::string> names;
    for (const std::string& name : header) names.emplace_back(Trim(name));
    return names;
}

std::vector<TColumnRole> HeaderRoles(const std::vector<std::string>& header,
                                     const TColumnMaps* maps) {
    const TColumnMap map = MapOf(header, maps);
    std::vector<TColumnRole> roles;
    for (std::size_t i = 0; i < map.Kinds.size(); ++i) {
        switch (map.Kinds[i]) {
            case TColumn::Size:
                roles.push_back(TColumnRole::Size);
                break;
            case TColumn::Quantity:
                roles.push_back(TColumnRole::Quantity);
                break;
            case TColumn::Caption:
                roles.push_back(TColumnRole::Caption);
                break;
            case TColumn::Field:
                roles.push_back(static_cast<TColumnRole>(static_cast<int>(TColumnRole::E1) +
                                                         map.FieldOf[i] - 1));
                break;
            case TColumn::Unused:
                roles.push_back(TColumnRole::Unused);
                break;
        }
    }
    return roles;
}

std::string TableToRows(const TTable& table, std::vector<SizeRow>& staged, std::uint8_t& fieldCount,
                        std::int32_t& failedRow, const TColumnMaps* maps,
                        std::vector<std::string>* unmapped) {
    failedRow = 0;
    if (table.Rows.empty()) return "в файле нет ни одной строки с размером"_cp1251;
    const TTableRow& header = table.Rows.front();
    const TColumnMap map = MapOf(header.Cells, maps);
    const auto size = std::find(map.Kinds.begin(), map.Kinds.end(), TColumn::Size);
    if (size == map.Kinds.end()) {
        if (unmapped != nullptr) *unmapped = HeaderNames(header.Cells);
        failedRow = header.Number;
        return "нет столбца размера: Длина, Размер, Size или Length"_cp1251;
    }
    for (std::size_t i = 0; i < map.Kinds.size(); ++i)
        if (map.Kinds[i] == TColumn::Field)
            fieldCount = std::max(fieldCount, static_cast<std::uint8_t>(map.FieldOf[i]));

    static const std::string kEmpty;
    for (std::size_t r = 1; r < table.Rows.size(); ++r) {
        if (ParseStopped()) return StoppedReason();
        const TTableRow& row = table.Rows[r];
        auto cellOf = [&row](std::size_t i) -> const std::string& {
            return i < row.Cells.size() ? row.Cells[i] : kEmpty;
        };
        SizeRow piece;
        std::int32_t quantity = 1;
        for (std::size_t i = 0; i < map.Kinds.size(); ++i) {
            const std::string& value = cellOf(i);
            std::string why;
            switch (map.Kinds[i]) {
                case TColumn::Size:
                    if (!ParseTableSize(value, piece.Size))
                        why = ColumnReason(map.Names[i], "не размер", Trim(value));
                    break;
                case TColumn::Quantity:
                    if (!ParseQuantity(value, quantity))
                        why = ColumnReason(map.Names[i], "не целое число", Trim(value));
                    break;
                case TColumn::Caption:
                    piece.Caption = std::string(Trim(value));
                    break;
                case TColumn::Field:
                    piece.Fields[static_cast<std::size_t>(map.FieldOf[i] - 1)] = value;
                    break;
                case TColumn::Unused:
                    break;
            }
            if (!why.empty()) {
                failedRow = row.Number;
                return RowReason(row.Number, why);
            }
        }
        if (static_cast<std::int64_t>(staged.size()) - 1 + quantity > kRowCapacity) {
            failedRow = row.Number;
            return RowReason(row.Number, "в списке больше 30000 строк"_cp1251);
        }
        for (std::int32_t n = 1; n <= quantity; ++n) {
            staged.push_back(piece);
            if (quantity > 1) {
                staged.back().Piece = static_cast<std::uint16_t>(n);
                staged.back().PieceCount = static_cast<std::uint16_t>(quantity);
            }
        }
    }
    return "";
}

}  // namespace tandrel::job
