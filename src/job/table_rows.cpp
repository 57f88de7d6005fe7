#include "job/table_rows.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/numbers.h"
#include "job/cell_text.h"
#include "job/parse_stop.h"
#include "link/protocol.h"

namespace tandrel::job {
namespace {

constexpr std::int32_t kMaxQuantity = 30000;
constexpr std::int32_t kHeaderRows = 20;  // rows looked at for the header, and for a choice
constexpr std::size_t kOffered = 50;      // columns the column-map dialog offers

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\xA0';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool HoldsSomething(const TCell& cell) {
    return cell.IsNumber || cell.NoValue || !Trim(cell.Text).empty();
}

// One Windows-1251 letter or digit of a name as compared: lower case, "ё" as "е", and a Cyrillic
// letter that looks like a Latin one as that Latin letter. 0 for punctuation and symbols.
char FoldLetter(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') u += 32;
    if (u >= 0xC0 && u <= 0xDF) u += 32;  // А..Я
    switch (u) {
        case 0xA8:  // Ё
        case 0xB8:  // ё
            u = 0xE5;
            break;
        case 0xB2:  // І
            u = 0xB3;
            break;
        case 0xAA:  // Є
            u = 0xBA;
            break;
        case 0xAF:  // Ї
            u = 0xBF;
            break;
        case 0xA1:  // Ў
            u = 0xA2;
            break;
        default:
            break;
    }
    static constexpr std::array<std::pair<unsigned char, char>, 13> kLookAlike = {{
        {0xE0, 'a'},  // а
        {0xE2, 'b'},  // в
        {0xE5, 'e'},  // е
        {0xEA, 'k'},  // к
        {0xEC, 'm'},  // м
        {0xED, 'h'},  // н
        {0xEE, 'o'},  // о
        {0xF0, 'p'},  // р
        {0xF1, 'c'},  // с
        {0xF2, 't'},  // т
        {0xF3, 'y'},  // у
        {0xF5, 'x'},  // х
        {0xB3, 'i'},  // і
    }};
    for (const auto& [cyrillic, latin] : kLookAlike)
        if (u == cyrillic) return latin;
    const bool letter = (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u >= 0xE0 ||
                        u == 0xA2 || u == 0xBA || u == 0xBF;
    return letter ? static_cast<char>(u) : '\0';
}

// A header name as compared: its unit (after the first ",", or in brackets) and punctuation
// dropped, letters folded, words one blank apart.
std::string NameKey(std::string_view name) {
    name = name.substr(0, name.find(','));
    std::string key;
    int brackets = 0;
    for (const char c : name) {
        if (c == '(' || c == '[') ++brackets;
        if (c == ')' || c == ']') {
            brackets = std::max(0, brackets - 1);
            continue;
        }
        if (brackets > 0) continue;
        if (IsBlank(c) || c == '\r' || c == '\n') {
            if (!key.empty() && key.back() != ' ') key += ' ';
        } else if (const char folded = FoldLetter(c)) {
            key += folded;
        }
    }
    if (!key.empty() && key.back() == ' ') key.pop_back();
    return key;
}

bool Matches(const std::string& key, const std::string& known) {
    return key == known || (key.size() > known.size() && key.compare(0, known.size(), known) == 0 &&
                            key[known.size()] == ' ');
}

TColumnRole KnownRole(const std::string& key) {
    static const auto kNames = [] {
        std::vector<std::pair<TColumnRole, std::vector<std::string>>> names = {
            {TColumnRole::Size, {"размер", "длина", "size", "length"}},
            {TColumnRole::Quantity, {"кол-во", "количество", "кол", "шт", "qty", "quantity"}},
            {TColumnRole::Caption, {"наименование", "название", "деталь", "caption", "name"}},
        };
        for (auto& [role, list] : names)
            for (std::string& n : list) n = NameKey(Utf8ToCp1251(n));
        return names;
    }();
    for (const auto& [role, names] : kNames)
        for (const std::string& known : names)
            if (Matches(key, known)) return role;
    return TColumnRole::Unused;
}

bool NamesMaterial(const std::string& key) {
    static const std::vector<std::string> kNames = {NameKey(Utf8ToCp1251("материал")),
                                                    NameKey(Utf8ToCp1251("профиль"))};
    return std::any_of(kNames.begin(), kNames.end(),
                       [&](const std::string& known) { return Matches(key, known); });
}

// "E1" to "E6" (in either alphabet): the field's number, else 0.
int FieldNumber(const std::string& key) {
    for (int n = 1; n <= static_cast<int>(kFieldSlots); ++n)
        if (Matches(key, std::string("e") + static_cast<char>('0' + n))) return n;
    return 0;
}

TColumnRole FieldRole(int n) {
    return static_cast<TColumnRole>(static_cast<int>(TColumnRole::E1) + n - 1);
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

// A quantity's text as a number: a sign, digits with blanks between groups, one decimal comma
// or point.
bool ParseDecimal(std::string_view cell, double& value) {
    std::string text;
    int separators = 0;
    for (const char c : Trim(cell)) {
        if (IsBlank(c)) continue;
        if (c == ',' || c == '.') {
            ++separators;
            text += '.';
        } else if ((c >= '0' && c <= '9') || ((c == '-' || c == '+') && text.empty())) {
            text += c;
        } else {
            return false;
        }
    }
    if (separators > 1 || text.find_first_of("0123456789") == std::string::npos) return false;
    const char* begin = text.data() + (text[0] == '+');
    const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

TKeptMap KeptMapOf(const TColumnChoice& choice, const std::vector<TColumnRole>& roles) {
    TKeptMap map{choice.Header, std::vector<TColumnRole>(choice.Header.size())};
    for (std::size_t i = 0; i < choice.Columns.size() && i < roles.size(); ++i)
        if (choice.Columns[i] < map.Roles.size()) map.Roles[choice.Columns[i]] = roles[i];
    return map;
}

TTableRows::TTableRows(std::vector<SizeRow>& staged, const TColumnMaps* maps, TMode mode)
    : staged_(staged), maps_(maps), mode_(mode) {}

bool TTableRows::Refuse(std::int32_t row, std::string why) {
    FailedRow = row;
    failure_ = std::move(why);
    phase_ = TPhase::Done;
    return false;
}

void TTableRows::Offer(const TTableRow& row) {
    std::vector<std::uint32_t> merged;
    merged.reserve(kOffered);
    auto used = used_.begin();
    auto cell = row.Cells.begin();
    while (merged.size() < kOffered && (used != used_.end() || cell != row.Cells.end())) {
        if (cell != row.Cells.end() && !HoldsSomething(*cell)) {
            ++cell;
        } else if (cell == row.Cells.end() || (used != used_.end() && *used < cell->Column)) {
            merged.push_back(*used++);
        } else {
            if (used != used_.end() && *used == cell->Column) ++used;
            merged.push_back(cell++->Column);
        }
    }
    used_ = std::move(merged);
}

namespace {

std::vector<std::string> DenseNames(const TTableRow& row, std::size_t length) {
    std::vector<std::string> names(length);
    for (const TCell& cell : row.Cells)
        if (cell.Column < length) names[cell.Column] = std::string(Trim(cell.Text));
    return names;
}

std::size_t NamedLength(const TTableRow& row) {
    for (auto cell = row.Cells.rbegin(); cell != row.Cells.rend(); ++cell)
        if (!Trim(cell->Text).empty()) return cell->Column + 1;
    return 0;
}

}  // namespace

bool TTableRows::FindHeader(TTableRow& row) {
    mapped_.clear();
    bool kept = false;
    if (maps_ != nullptr && !maps_->Maps().empty()) {
        if (const TKeptMap* map = maps_->Find(DenseNames(row, NamedLength(row)))) {
            kept = true;
            for (std::size_t i = 0; i < map->Roles.size(); ++i)
                if (map->Roles[i] != TColumnRole::Unused)
                    mapped_.push_back(
                        {static_cast<std::uint32_t>(i), map->Roles[i], map->Header[i]});
        }
    }
    int sizes = 0, quantities = 0;
    if (!kept) {
        std::array<bool, kFieldSlots + 1> taken{};
        bool caption = false;
        for (const TCell& cell : row.Cells) {
            const std::string name(Trim(cell.Text));
            if (name.empty()) continue;
            const std::string key = NameKey(name);
            TColumnRole role = KnownRole(key);
            sizes += role == TColumnRole::Size;
            quantities += role == TColumnRole::Quantity;
            if (role == TColumnRole::Caption) {
                if (caption) role = TColumnRole::Unused;  // a second caption is a field
                caption = true;
            }
            if (role == TColumnRole::Unused) {
                const int n = FieldNumber(key);
                if (n > 0 && !taken[static_cast<std::size_t>(n)]) {
                    role = FieldRole(n);
                    taken[static_cast<std::size_t>(n)] = true;
                }
            }
            mapped_.push_back({cell.Column, role, name});
        }
        // The other named columns take the free fields in order.
        int next = 1;
        for (TMapped& m : mapped_) {
            if (m.Role != TColumnRole::Unused) continue;
            while (next <= static_cast<int>(kFieldSlots) && taken[static_cast<std::size_t>(next)])
                ++next;
            if (next > static_cast<int>(kFieldSlots)) break;
            m.Role = FieldRole(next);
            taken[static_cast<std::size_t>(next++)] = true;
        }
        if (sizes == 0) return false;
    }
    SkippedAbove = looked_;
    header_ = std::move(row);
    materialColumn_.reset();
    for (const TCell& cell : header_.Cells) {
        if (NamesMaterial(NameKey(Trim(cell.Text)))) {
            materialColumn_ = cell.Column;
            break;
        }
    }
    used_.clear();
    Offer(header_);
    looked_ = 1;
    auto names = [this](TColumnRole role) {
        std::string text;
        for (const TMapped& m : mapped_)
            if (m.Role == role)
                text += (text.empty() ? "«"_cp1251 : " и «"_cp1251) + m.Name + "»"_cp1251;
        return text;
    };
    if (sizes > 1 || quantities > 1) {
        FailedRow = header_.Number;
        failure_ = sizes > 1
                       ? "размер в нескольких столбцах: "_cp1251 + names(TColumnRole::Size)
                       : "количество в нескольких столбцах: "_cp1251 + names(TColumnRole::Quantity);
        phase_ = TPhase::Columns;
    } else {
        phase_ = mode_ == TMode::Columns ? TPhase::Columns : TPhase::Rows;
    }
    for (const TMapped& m : mapped_)
        if (m.Role >= TColumnRole::E1)
            FieldCount = std::max(FieldCount,
                                  static_cast<std::uint8_t>(static_cast<int>(m.Role) -
                                                            static_cast<int>(TColumnRole::E1) + 1));
    return true;
}

void TTableRows::MakeChoice() {
    TColumnChoice choice;
    choice.HeaderRow = header_.Number;
    std::size_t length = NamedLength(header_);
    if (!used_.empty()) length = std::max<std::size_t>(length, used_.back() + 1);
    choice.Header = DenseNames(header_, std::min<std::size_t>(length, kMaxColumns));
    for (const std::uint32_t column : used_) {
        choice.Columns.push_back(column);
        choice.Names.push_back(column < choice.Header.size() ? choice.Header[column] : "");
        const auto m = std::find_if(mapped_.begin(), mapped_.end(),
                                    [column](const TMapped& x) { return x.Column == column; });
        choice.Roles.push_back(m != mapped_.end() ? m->Role : TColumnRole::Unused);
    }
    Choice = std::move(choice);
    phase_ = TPhase::Done;
}

bool TTableRows::Take(TTableRow& row) {
    if (ParseStopped()) {
        phase_ = TPhase::Done;
        failure_ = StoppedReason();
        return false;
    }
    switch (phase_) {
        case TPhase::Header:
            if (looked_ == 0) first_ = row;
            if (FindHeader(row)) return true;
            Offer(row);
            if (++looked_ < kHeaderRows) return true;
            NoHeader();
            return false;
        case TPhase::Columns:
            Offer(row);
            if (++looked_ < kHeaderRows) return true;
            MakeChoice();
            return false;
        case TPhase::Rows:
            return AddPieces(row);
        case TPhase::Done:
            break;
    }
    return false;
}

void TTableRows::NoHeader() {
    // No row names a size column: the first is the header the operator maps.
    header_ = std::move(first_);
    FindHeader(header_);  // no header, but its names by the rules, for the dialog to begin with
    FailedRow = header_.Number;
    failure_ = "нет столбца размера: Длина, Размер, Size или Length"_cp1251;
    MakeChoice();
}

bool TTableRows::AddPieces(const TTableRow& row) {
    static const std::string kEmpty;
    SizeRow piece;
    std::int32_t quantity = 1;
    auto cell = row.Cells.begin();
    for (const TMapped& m : mapped_) {
        if (m.Role == TColumnRole::Unused) continue;
        while (cell != row.Cells.end() && cell->Column < m.Column) ++cell;
        const TCell* at = cell != row.Cells.end() && cell->Column == m.Column ? &*cell : nullptr;
        const std::string& text = at != nullptr ? at->Text : kEmpty;
        if (at != nullptr && at->NoValue)
            return Refuse(row.Number, "в ячейке "_cp1251 + ColumnLetters(m.Column) +
                                          std::to_string(row.Number) +
                                          " формула без значения: откройте файл в Excel и "
                                          "сохраните его"_cp1251);
        if (m.Role == TColumnRole::Size) {
            const std::string value =
                at != nullptr && at->IsNumber ? FormatFixed(at->Number, '.') : text;
            if (!ParseTableSize(value, piece.Size))
                return Refuse(row.Number,
                              RowReason(row.Number, ColumnReason(m.Name, "не размер", Trim(text))));
        } else if (m.Role == TColumnRole::Quantity) {
            double value = 1;
            const char* why = nullptr;
            if (at != nullptr && at->IsNumber)
                value = at->Number;
            else if (!Trim(text).empty() && !ParseDecimal(text, value))
                why = "не целое число";
            const double whole = std::nearbyint(value);
            if (why == nullptr && !std::isfinite(value)) why = "не целое число";
            if (why == nullptr && value < 0) why = "отрицательное количество";
            if (why == nullptr && std::fabs(value - whole) > 1e-9) why = "не целое число";
            if (why == nullptr && whole > kMaxQuantity) why = "больше 30000 деталей";
            if (why != nullptr)
                return Refuse(row.Number,
                              RowReason(row.Number, ColumnReason(m.Name, why, Trim(text))));
            quantity = static_cast<std::int32_t>(whole);
        } else if (m.Role == TColumnRole::Caption) {
            piece.Caption = std::string(Trim(text));
        } else {
            piece.Fields[static_cast<std::size_t>(static_cast<int>(m.Role) -
                                                  static_cast<int>(TColumnRole::E1))] = text;
        }
    }
    if (materialColumn_) {
        const auto at = std::find_if(row.Cells.begin(), row.Cells.end(),
                                     [&](const TCell& c) { return c.Column == *materialColumn_; });
        if (at != row.Cells.end()) piece.Material = std::string(Trim(at->Text));
    }
    if (static_cast<std::int64_t>(staged_.size()) - 1 + quantity > kRowCapacity)
        return Refuse(row.Number, RowReason(row.Number, "в списке больше 30000 строк"_cp1251));
    for (std::int32_t n = 1; n <= quantity; ++n) {
        staged_.push_back(piece);
        if (quantity > 1) {
            staged_.back().Piece = static_cast<std::uint16_t>(n);
            staged_.back().PieceCount = static_cast<std::uint16_t>(quantity);
        }
    }
    return true;
}

std::string TTableRows::Finish(const TTableRead& read) {
    if (failure_.empty() && !read.Failure.empty()) {
        FailedRow = read.FailedRow;
        return read.Failure;
    }
    if (phase_ == TPhase::Header) {
        if (looked_ == 0) return "в файле нет ни одной строки с размером"_cp1251;
        NoHeader();
    } else if (phase_ == TPhase::Columns) {
        MakeChoice();
    }
    return failure_;
}

std::string TableToRows(const TTable& table, std::vector<SizeRow>& staged, std::uint8_t& fieldCount,
                        std::int32_t& failedRow, const TColumnMaps* maps,
                        std::optional<TColumnChoice>* choice) {
    TTableRows rows(staged, maps);
    for (TTableRow row : table.Rows)
        if (!rows.Take(row)) break;
    const std::string why = rows.Finish(table);
    fieldCount = std::max(fieldCount, rows.FieldCount);
    failedRow = rows.FailedRow;
    if (choice != nullptr) *choice = rows.Choice;
    return why;
}

}  // namespace tandrel::job
