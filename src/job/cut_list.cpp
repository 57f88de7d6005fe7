#include "job/cut_list.h"

#include <algorithm>
#include <cctype>
#include <system_error>
#include <utility>

#include "base/cp1251.h"
#include "job/crc32.h"
#include "job/job_io.h"
#include "job/list_encoding.h"
#include "job/ods_table.h"
#include "job/parse_stop.h"
#include "job/progress.h"
#include "job/table_list.h"
#include "job/xlsx_table.h"
#include "link/protocol.h"

namespace tandrel::job {
namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsSizeChar(char c) {
    return (c >= '0' && c <= '9') || c == ',' || c == '.';
}

// Takes the tags out of text, from its start each time, filling the row's label fields.
void TakeTags(std::string& text, SizeRow& row, std::uint8_t& fieldCount) {
    while (true) {
        const auto p = text.find('<');
        if (p == std::string::npos) return;
        // A "<" that nothing closes leaves the rest as caption text.
        const auto q = text.find('>', p + 1);
        if (q == std::string::npos) return;
        const std::string_view tag = std::string_view(text).substr(p + 1, q - p - 1);
        if (!tag.empty() && tag[0] == 'E') {
            if (tag.size() < 2 || tag[1] < '0' || tag[1] > '9') {
                throw EListLine("неверный номер поля в метке <"_cp1251 + std::string(tag) + ">");
            }
            const int d = tag[1] - '0';
            // Field numbers without a field (0, 7..9) are dropped with their tag.
            if (d >= 1 && d <= static_cast<int>(kFieldSlots)) {
                row.Fields[static_cast<std::size_t>(d - 1)] = std::string(tag.substr(2));
                fieldCount = std::max(fieldCount, static_cast<std::uint8_t>(d));
            }
        }
        text.erase(p, q - p + 1);
    }
}

std::string LineReason(std::int32_t line, const std::string& why) {
    return "строка "_cp1251 + std::to_string(line) + ": " + why;
}

// The rows of a text list; "" or why the list is refused, with failedLine the line to blame.
std::string ReadTextRows(std::string text, std::vector<SizeRow>& staged, std::uint8_t& fieldCount,
                         std::int32_t& failedLine) {
    // Lines end at LF; a CR anywhere is dropped; Ctrl-Z ends the text. A file without any LF
    // (an old Mac's) ends its lines with CR: read the other way it would be one row.
    if (const auto eot = text.find('\x1A'); eot != std::string::npos) text.resize(eot);
    staged.reserve(std::min<std::size_t>(text.size() / 4 + 2, kRowCapacity + 2));
    const char lineEnd = text.find('\n') == std::string::npos ? '\r' : '\n';
    std::string line;
    std::int32_t lineNumber = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        auto end = text.find(lineEnd, pos);
        if (end == std::string::npos) end = text.size();
        line.assign(text, pos, end - pos);
        std::erase(line, '\r');
        pos = end + 1;
        failedLine = ++lineNumber;
        if (ParseStopped()) return StoppedReason();
        try {
            if (!ParseListLine(line, staged, fieldCount))
                return LineReason(lineNumber, "в размере больше одного разделителя"_cp1251);
        } catch (const EListLine& e) {
            return LineReason(lineNumber, e.Message());
        }
        if (staged.size() > static_cast<std::size_t>(kRowCapacity) + 1)
            return LineReason(lineNumber, "в списке больше 30000 строк"_cp1251);
    }
    failedLine = 0;
    return "";
}

// A table's rows through the reader its kind needs.
TTableRead ReadTable(TListKind kind, std::string_view text, TRowSink& sink) {
    switch (kind) {
        case TListKind::Xlsx:
            return ReadXlsx(text, sink);
        case TListKind::Ods:
            return ReadOds(text, sink);
        default:
            return ReadCsv(text, sink);
    }
}

bool IsWorkbook(TListKind kind) {
    return kind == TListKind::Xlsx || kind == TListKind::Ods;
}

}  // namespace

bool ParseListLine(std::string_view line, std::vector<SizeRow>& rows, std::uint8_t& fieldCount) {
    line = Trim(line);
    if (line.empty()) return true;
    std::size_t n = 0;
    int separators = 0;
    while (n < line.size() && IsSizeChar(line[n])) {
        if (line[n] == ',' || line[n] == '.') ++separators;
        ++n;
    }
    if (separators >= 2) return false;
    const std::string_view sizeText = line.substr(0, n);
    if (sizeText.empty() || sizeText[0] < '0' || sizeText[0] > '9') {
        throw EListLine("строка не начинается с размера"_cp1251);
    }
    SizeRow row;
    try {
        row.Size = protocol::ParseSize(sizeText);
    } catch (const EConvertError&) {
        throw EListLine("размер больше 2147483647"_cp1251);
    }
    std::string caption(line.substr(n));
    TakeTags(caption, row, fieldCount);
    row.Caption = std::string(Trim(caption));
    rows.push_back(std::move(row));
    return true;
}

std::string FileNameOnly(std::string_view name) {
    const auto cut = name.find_last_of("\\/");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string GridCaption(const SizeRow& row) {
    if (row.PieceCount == 0) return row.Caption;
    return row.Caption + (row.Caption.empty() ? "(" : " (") + std::to_string(row.Piece) + "/" +
           std::to_string(row.PieceCount) + ")";
}

std::string RowCounterText(const TJobState& state) {
    return std::to_string(state.RowCount) + "/" + std::to_string(state.RemainingCount);
}

namespace {
std::filesystem::path Absolute(std::filesystem::path path) {
    std::error_code ec;
    if (auto full = std::filesystem::absolute(path, ec); !ec) return full;
    return path;
}

// A list named *.crc would be its own progress file: the load would overwrite it.
bool IsProgressFileName(std::string_view name) {
    const std::string only = FileNameOnly(name);
    const auto dot = only.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = only.substr(dot);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".crc";
}
}  // namespace

TStaged StageList(const std::string& listName, std::string text, std::vector<SizeRow>& staged,
                  const TColumnMaps* maps) {
    TStaged out;
    const TListKind kind = ListKindOf(listName, text);
    if (kind == TListKind::OldWorkbook) {
        out.Failure = OldWorkbookFailure(text);
        return out;
    }
    out.Workbook = IsWorkbook(kind);
    if (!out.Workbook) {
        TListText decoded = ListText(std::move(text));
        out.Utf8 = decoded.Utf8;
        out.Utf16 = decoded.Utf16;
        out.Replaced = decoded.Replaced;
        text = std::move(decoded.Text);
        if (kind == TListKind::Text) {
            out.Failure = ReadTextRows(std::move(text), staged, out.FieldCount, out.FailedLine);
            return out;
        }
    }
    TTableRows rows(staged, maps);
    const TTableRead read = ReadTable(kind, text, rows);
    out.Failure = rows.Finish(read);
    out.FailedLine = rows.FailedRow;
    out.FieldCount = rows.FieldCount;
    out.Replaced += read.Replaced;
    out.Sheet = read.Sheet;
    out.SkippedAbove = rows.SkippedAbove;
    out.Choice = std::move(rows.Choice);
    return out;
}

TStagedList StageListBytes(const std::string& listName, const std::string& bytes,
                           const TColumnMaps* maps) {
    TStagedList staged;
    staged.Rows.resize(1);
    static_cast<TStaged&>(staged) = StageList(listName, bytes, staged.Rows, maps);
    if (staged.Failure.empty()) staged.Crc = BytesCrc32(bytes).Crc;
    return staged;
}

std::optional<TColumnChoice> TableColumns(const std::string& listName, std::string bytes,
                                          const TColumnMaps* maps) {
    const TListKind kind = ListKindOf(listName, bytes);
    if (kind == TListKind::Text || kind == TListKind::OldWorkbook) return std::nullopt;
    if (!IsWorkbook(kind)) bytes = ListText(std::move(bytes)).Text;
    std::vector<SizeRow> none;
    TTableRows rows(none, maps, TTableRows::TMode::Columns);
    const TTableRead read = ReadTable(kind, bytes, rows);
    rows.Finish(read);
    if (!read.Failure.empty()) return std::nullopt;
    return std::move(rows.Choice);
}

TListSource ResolveList(const std::string& listName) {
    return {listName, Absolute(io::ToPath(listName)),
            Absolute(io::ToPath(ProgressFileName(listName)))};
}

TListSource ListInWork(const TJobState& state) {
    if (state.RowCount == 0) return {};
    return {state.ListName, state.ListPath, state.ProgressFile};
}

TLoadOutcome LoadList(TJobState& state, const std::string& listName) {
    return LoadList(state, ResolveList(listName));
}

TLoadOutcome LoadList(TJobState& state, const TListSource& list) {
    TLoadOutcome out;
    const std::string& listName = list.Name;
    const std::string shownName = FileNameOnly(listName);
    auto reject = [&](std::int32_t line, const std::string& why) {
        out.Line = line;
        out.Reason = "Файл "_cp1251 + shownName + " не загружен: "_cp1251 + why;
        return out;
    };
    if (IsProgressFileName(listName))
        return reject(0, "это файл хода работы (.crc), а не список"_cp1251);
    if (IsLockFileName(listName))
        return reject(0, "это файл блокировки Excel или LibreOffice, а не список"_cp1251);

    TStagedList own;
    TStagedList& ready = list.Staged != nullptr ? *list.Staged : own;
    if (list.Staged == nullptr) {
        std::string text, failure;
        if (list.Bytes != nullptr)
            text = *list.Bytes;
        else if (!io::ReadAll(list.Path, text, failure))
            return reject(0, failure);
        own.Rows.resize(1);
        static_cast<TStaged&>(own) = StageList(listName, std::move(text), own.Rows, list.Maps);
    }
    TStaged& staging = ready;
    std::vector<SizeRow>& staged = ready.Rows;
    out.Utf8 = staging.Utf8;
    out.Utf16 = staging.Utf16;
    out.Workbook = staging.Workbook;
    out.Replaced = staging.Replaced;
    out.Sheet = std::move(staging.Sheet);
    out.SkippedAbove = staging.SkippedAbove;
    out.Choice = std::move(staging.Choice);
    if (!staging.Failure.empty()) return reject(staging.FailedLine, staging.Failure);
    const std::uint8_t fieldCount = staging.FieldCount;
    const auto rowCount = static_cast<std::int32_t>(staged.size() - 1);
    if (rowCount == 0) return reject(0, "в файле нет ни одной строки с размером"_cp1251);

    // Without the real CRC the list's progress file would be restarted: refuse instead.
    TFileCrc crc{ready.Crc, true, {}};
    if (list.Staged == nullptr)
        crc = list.Bytes != nullptr ? BytesCrc32(*list.Bytes) : FileCrc32(list.Path, listName);
    if (!crc.Ok) {
        out.CrcMessage = crc.Message;
        return reject(0, "не удалось подсчитать контрольную сумму"_cp1251);
    }
    std::filesystem::path progressFile = list.ProgressFile;

    std::int32_t remaining = rowCount;
    const TProgressRead read = ReadProgress(progressFile, crc.Crc, staged, remaining);

    // Take the new list over; entries it does not reach are cleared, so nothing of the old
    // list is left for a later, shorter one.
    for (std::int32_t i = 1; i <= rowCount; ++i) state.Rows[i] = std::move(staged[i]);
    for (std::int32_t i = rowCount + 1; i <= state.RowCount; ++i) state.Rows[i] = SizeRow{};
    state.Rows[0] = SizeRow{};
    state.RowCount = rowCount;
    state.FieldCount = fieldCount;
    state.CurrentRow = 0;
    state.RemainingCount = remaining;
    state.ProgressCrc = crc.Crc;
    state.ProgressFile = std::move(progressFile);
    state.ListName = listName;
    state.ListPath = list.Path;
    state.StepEntry.reset();
    state.Order = {};

    out.Loaded = true;
    out.Rows = rowCount;
    out.ProgressIssue = read.Problem;
    if (remaining == 0) {
        out.AskRestart = true;
        out.RestartQuestion =
            "Файл "_cp1251 + shownName + " полностью сделан, запустить заново?"_cp1251;
    }
    return out;
}

bool RestartList(TJobState& state) {
    state.RemainingCount = state.RowCount;
    for (std::int32_t i = 1; i <= state.RowCount; ++i) state.Rows[i].Done = false;
    std::string failure;
    return ResetProgress(state.ProgressFile, state.ProgressCrc, &failure);
}

std::size_t RowTableBytes(const TJobState& state) {
    auto heap = [](const std::string& s) {
        // Texts within the small-string buffer live inside the entry itself.
        return s.capacity() > std::string().capacity() ? s.capacity() + 1 : 0;
    };
    std::size_t bytes = state.Rows.capacity() * sizeof(SizeRow);
    for (const auto& row : state.Rows) {
        bytes += heap(row.Caption);
        for (const auto& f : row.Fields) bytes += heap(f);
    }
    return bytes;
}

}  // namespace tandrel::job
