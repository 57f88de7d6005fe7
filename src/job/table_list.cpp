#include "job/table_list.h"

#include <algorithm>
#include <array>

#include "base/cp1251.h"

namespace tandrel::job {
namespace {

constexpr std::string_view kCompoundMagic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
constexpr std::string_view kZipMagic = "PK\x03\x04";
constexpr int kSeparatorLines = 20;  // lines looked at for the separator

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\xA0';
}

bool IsLetter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 0xC0 || u == 0xA8 || u == 0xB8;
}

std::string_view FileName(std::string_view name) {
    const auto cut = name.find_last_of("\\/");
    return cut == std::string_view::npos ? name : name.substr(cut + 1);
}

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
    if (name.size() < ending.size()) return false;
    name = name.substr(name.size() - ending.size());
    return std::equal(name.begin(), name.end(), ending.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a + 32) : a) == b;
    });
}

// The next line of text from pos (without its end: LF, CR LF or CR alone).
std::string_view NextLine(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    pos = end;
    if (pos < text.size()) pos += text.compare(pos, 2, "\r\n") == 0 ? 2 : 1;
    return text.substr(start, end - start);
}

// "sep=;" as Excel writes it on a first line of its own: the separator.
char SeparatorLine(std::string_view line) {
    if (line.size() != 5 || (line[0] | 0x20) != 's' || (line[1] | 0x20) != 'e' ||
        (line[2] | 0x20) != 'p' || line[3] != '=')
        return '\0';
    return line[4];
}

// The first of ";", "," and a tab that the first line holding any of them holds outside quotes.
char FindSeparator(std::string_view text) {
    std::size_t pos = 0;
    for (int looked = 0; pos < text.size() && looked < kSeparatorLines;) {
        const std::string_view line = NextLine(text, pos);
        if (line.find_first_not_of(" \t\xA0") == std::string_view::npos) continue;
        ++looked;
        for (const char candidate : {';', ',', '\t'}) {
            bool quoted = false;
            for (const char c : line) {
                if (c == '"') quoted = !quoted;
                if (c == candidate && !quoted) return candidate;
            }
        }
    }
    return ';';
}

}  // namespace

TListKind ListKindOf(std::string_view listName, std::string_view bytes) {
    if (bytes.starts_with(kCompoundMagic)) return TListKind::OldWorkbook;
    if (EndsWithNoCase(listName, ".csv")) return TListKind::Csv;
    if (EndsWithNoCase(listName, ".xlsx")) return TListKind::Xlsx;
    if (EndsWithNoCase(listName, ".ods")) return TListKind::Ods;
    if (EndsWithNoCase(listName, ".xls"))
        return bytes.starts_with(kZipMagic) ? TListKind::Xlsx : TListKind::OldWorkbook;
    if (!EndsWithNoCase(listName, ".txt")) return TListKind::Text;
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) return TListKind::Csv;
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    for (std::size_t pos = 0; pos < bytes.size();) {
        std::string_view line = NextLine(bytes, pos);
        while (!line.empty() && static_cast<unsigned char>(line.front()) <= 32)
            line.remove_prefix(1);
        if (line.empty()) continue;
        const bool header = (IsLetter(line.front()) || line.front() == '"') &&
                            line.find_first_of(";,\t") != std::string_view::npos;
        return header ? TListKind::Csv : TListKind::Text;
    }
    return TListKind::Text;
}

std::string OldWorkbookFailure(std::string_view bytes) {
    // A workbook a password encrypts is a compound document with this stream (UTF-16 names).
    static const std::string kEncrypted = [] {
        std::string name;
        for (const char c : std::string_view("EncryptedPackage")) name += {c, '\0'};
        return name;
    }();
    if (bytes.starts_with(kCompoundMagic) && bytes.find(kEncrypted) != std::string_view::npos)
        return "книга защищена паролем"_cp1251;
    return "старая книга Excel (.xls): сохраните её как .xlsx"_cp1251;
}

bool IsLockFileName(std::string_view name) {
    name = FileName(name);
    return name.starts_with("~$") || (name.starts_with(".~lock.") && name.ends_with('#'));
}

TTableRead ReadCsv(std::string_view text, TRowSink& sink) {
    TTableRead read;
    if (const auto eot = text.find('\x1A'); eot != std::string_view::npos)
        text = text.substr(0, eot);
    std::int32_t line = 1;
    std::size_t i = 0;
    char separator = '\0';
    {
        std::size_t pos = 0;
        if ((separator = SeparatorLine(NextLine(text, pos))) != '\0') {
            i = pos;
            line = 2;
        } else {
            separator = FindSeparator(text);
        }
    }
    TTableRow row;
    std::string cell;
    std::uint32_t column = 0;
    bool quoted = false, holds = false;
    std::int32_t start = line;
    auto endCell = [&] {
        if (!cell.empty() && column < kMaxColumns) {
            holds =
                holds || std::any_of(cell.begin(), cell.end(), [](char c) { return !IsBlank(c); });
            row.Cells.push_back({column, std::move(cell)});
        }
        cell.clear();
        ++column;
    };
    // False when the sink wants no more rows.
    auto endRow = [&] {
        endCell();
        bool more = true;
        if (holds) {
            row.Number = start;
            more = sink.Take(row);
        }
        row.Cells.clear();  // its room serves the next row
        column = 0;
        holds = false;
        return more;
    };
    // The characters that end a run of plain text in a cell.
    std::array<bool, 256> special{};
    for (const char c : {separator, '"', '\r', '\n'}) special[static_cast<unsigned char>(c)] = true;
    for (; i < text.size(); ++i) {
        if (!special[static_cast<unsigned char>(text[i])]) {
            std::size_t end = i + 1;
            while (end < text.size() && !special[static_cast<unsigned char>(text[end])]) ++end;
            cell.append(text.data() + i, end - i);
            i = end - 1;
            continue;
        }
        const char c = text[i];
        const bool lineEnd = c == '\n' || c == '\r';
        if (lineEnd && i + 1 < text.size() && c == '\r' && text[i + 1] == '\n') ++i;
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    cell += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else if (lineEnd) {
                ++line;
                cell += '\n';
            } else {
                cell += c;
            }
        } else if (c == '"' && std::all_of(cell.begin(), cell.end(), IsBlank)) {
            cell.clear();
            quoted = true;
        } else if (c == separator) {
            endCell();
        } else if (lineEnd) {
            if (!endRow()) return read;
            start = ++line;
        } else {
            cell += c;
        }
    }
    if (quoted) {
        read.Failure = "строка "_cp1251 + std::to_string(start) + ": кавычка не закрыта"_cp1251;
        read.FailedRow = start;
        return read;
    }
    endRow();
    return read;
}

TTable ReadCsv(std::string_view text) {
    return CollectTable([text](TRowSink& sink) { return ReadCsv(text, sink); });
}

}  // namespace tandrel::job
