#include "job/journal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/job_io.h"

namespace tandrel::job {
namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr std::int64_t kHour = 60 * 60;
constexpr std::size_t kFieldCount = 10;

std::string TwoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string Yes(bool yes) {
    return yes ? "да"_cp1251 : "нет"_cp1251;
}

std::string LabelOutcomeText(const TJournalEntry& entry) {
    switch (entry.Label) {
        case TLabelResult::Printed:
            return "напечатана"_cp1251;
        case TLabelResult::Failed:
            return entry.LabelFailure.empty() ? "ошибка печати"_cp1251 : entry.LabelFailure;
        case TLabelResult::Queued:
            return "в очереди"_cp1251;
        case TLabelResult::Paused:
            return "на паузе"_cp1251;
        case TLabelResult::NotPrinted:
            break;
    }
    return "не напечатана"_cp1251;
}

std::string LabelText(const TJournalEntry& entry) {
    if (entry.Leftover == TLeftover::Waste) return "отход"_cp1251;
    if (entry.Leftover == TLeftover::FlawedBar) return "хлыст с дефектом"_cp1251;
    std::string prefix = entry.Reprint   ? "перепечатка: "_cp1251
                         : entry.Outcome ? "итог: "_cp1251
                                         : std::string();
    if (entry.Leftover == TLeftover::Remnant)
        prefix = "остаток"_cp1251 + (entry.RemnantId.empty() ? "" : " " + entry.RemnantId) + ": " +
                 prefix;
    return prefix + LabelOutcomeText(entry);
}

// Exactly `count` digits at text[at...].
bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::optional<TLocalTime> ParseMoment(std::string_view date, std::string_view time) {
    TLocalTime t;
    if (date.size() != 10 || date[2] != '.' || date[5] != '.' || time.size() != 8 ||
        time[2] != ':' || time[5] != ':')
        return std::nullopt;
    if (!Digits(date, 0, 2, t.Day) || !Digits(date, 3, 2, t.Month) || !Digits(date, 6, 4, t.Year) ||
        !Digits(time, 0, 2, t.Hour) || !Digits(time, 3, 2, t.Minute) ||
        !Digits(time, 6, 2, t.Second))
        return std::nullopt;
    const std::chrono::year_month_day ymd{std::chrono::year(t.Year),
                                          std::chrono::month(static_cast<unsigned>(t.Month)),
                                          std::chrono::day(static_cast<unsigned>(t.Day))};
    if (!ymd.ok() || t.Hour > 23 || t.Minute > 59 || t.Second > 60) return std::nullopt;
    return t;
}

}  // namespace

TLocalTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    // localtime's static result is safe here: the journal runs on the main thread alone.
    const std::tm* tm = std::localtime(&now);
    if (!tm) return {};
    return {tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec};
}

std::int64_t WallSeconds(const TLocalTime& t) {
    const std::chrono::sys_days day{std::chrono::year(t.Year) /
                                    std::chrono::month(static_cast<unsigned>(t.Month)) /
                                    std::chrono::day(static_cast<unsigned>(t.Day))};
    return static_cast<std::int64_t>(day.time_since_epoch().count()) * kDay + t.Hour * kHour +
           t.Minute * 60 + t.Second;
}

TLocalTime FromWallSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / kDay;
    std::int64_t rest = seconds % kDay;
    if (rest < 0) {
        rest += kDay;
        --days;
    }
    const std::chrono::year_month_day ymd{std::chrono::sys_days(std::chrono::days(days))};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(rest / kHour),
            static_cast<int>(rest % kHour / 60),
            static_cast<int>(rest % 60)};
}

std::string JournalFileName(const TLocalTime& t) {
    char name[32];
    std::snprintf(name, sizeof name, "journal-%04d-%02d.csv", t.Year, t.Month);
    return name;
}

std::string JournalHeader() {
    return "Дата;Время;Список;Строка;Размер;Коррекция;Цель;В диапазоне;Повторно;Этикетка\r\n"_cp1251;
}

std::string JournalField(std::string_view text) {
    std::string field(text);
    // A line end inside a field would split the line for every reader that counts lines.
    std::replace(field.begin(), field.end(), '\r', ' ');
    std::replace(field.begin(), field.end(), '\n', ' ');
    if (field.find_first_of(";\"") == std::string::npos) return field;
    std::string quoted = "\"";
    for (const char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string JournalLine(const TJournalEntry& e, const TLocalTime& at) {
    const char separator = DecimalSeparator();
    char year[8];
    std::snprintf(year, sizeof year, "%04d", at.Year);
    std::string line = TwoDigits(at.Day) + "." + TwoDigits(at.Month) + "." + year + ";" +
                       TwoDigits(at.Hour) + ":" + TwoDigits(at.Minute) + ":" +
                       TwoDigits(at.Second) + ";";
    line += JournalField(e.ListName) + ";";
    line += (e.Row > 0 ? std::to_string(e.Row) : std::string()) + ";";
    line += JournalField(FormatGeneral(e.Size, separator)) + ";";
    line += (e.Correction ? std::to_string(*e.Correction) : std::string()) + ";";
    line += JournalField(FormatGeneral(e.Target, separator)) + ";";
    line += Yes(e.InRange) + ";" + Yes(e.WorkedAgain) + ";";
    line += JournalField(LabelText(e));
    return line + "\r\n";
}

TJournalEntry KeypadMoveEntry(const std::string& listName, double size) {
    TJournalEntry entry;
    entry.ListName = listName;
    entry.Size = size;
    entry.Target = size;
    return entry;
}

TJournalEntry LeftoverEntry(const std::string& listName, double length, TLeftover kind,
                            const std::string& remnantId) {
    TJournalEntry entry;
    entry.ListName = listName;
    entry.Size = length;
    entry.Target = length;
    entry.Leftover = kind;
    if (kind == TLeftover::Remnant) entry.RemnantId = remnantId;
    return entry;
}

std::vector<std::string> SplitJournalLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == ';') {
            fields.emplace_back();
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::optional<TJournalRecord> ParseJournalLine(std::string_view line) {
    const std::vector<std::string> f = SplitJournalLine(line);
    if (f.size() != kFieldCount) return std::nullopt;
    const auto at = ParseMoment(f[0], f[1]);
    if (!at) return std::nullopt;
    return TJournalRecord{*at, !f[3].empty() && f[7] == Yes(true) && f[8] == Yes(false)};
}

TJournal::TJournal(std::filesystem::path directory, TClock clock)
    : directory_(std::move(directory)), clock_(clock ? std::move(clock) : TClock(LocalNow)) {}

std::filesystem::path TJournal::FileAt(const TLocalTime& t) const {
    return directory_ / JournalFileName(t);
}

void TJournal::LoadPieces() {
    pieces_.clear();
    const TLocalTime now = clock_();
    std::vector<std::filesystem::path> files = {FileAt(now)};
    // Just after midnight on the first, the last hour lies in last month's file.
    if (const auto hourAgo = FileAt(FromWallSeconds(WallSeconds(now) - kHour)); hourAgo != files[0])
        files.insert(files.begin(), hourAgo);
    for (const auto& file : files) {
        std::string content, failure;
        if (!io::ReadAll(file, content, failure)) continue;
        io::TLineReader lines(content);
        std::string_view line;
        while (lines.Next(line)) {
            if (const auto record = ParseJournalLine(line); record && record->Piece)
                AddPiece(record->At);
        }
    }
}

void TJournal::AddPiece(const TLocalTime& at) {
    pieces_.push_back(WallSeconds(at));
}

bool TJournal::Prepare(const std::filesystem::path& file, std::string& bytes,
                       std::string& failure) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) {
        bytes = JournalHeader();
        return true;
    }
    std::string content;
    // Unreadable: its last line cannot be checked, and a line glued onto a torn one is lost.
    if (!io::ReadAll(file, content, failure)) return false;
    if (!io::CutTornLine(file, content, failure)) return false;
    io::TLineReader lines(content);
    std::string_view line;
    if (!lines.Next(line)) bytes = JournalHeader();  // empty, or only a torn first line
    return true;
}

TJournal::TAppend TJournal::Append(const TJournalEntry& entry) {
    const TLocalTime now = clock_();
    const std::filesystem::path file = FileAt(now);
    std::string bytes, failure;
    bool ok = file == checked_ || Prepare(file, bytes, failure);
    bytes += JournalLine(entry, now);
    if (ok) ok = io::AppendFlushed(file, bytes, failure);
    if (ok) {
        checked_ = file;
        failing_ = false;
        if (entry.IsPiece()) AddPiece(now);
        return {true, {}, false};
    }
    // A failed write may have left part of the line: look at the tail again next time.
    checked_.clear();
    TAppend result{false, failure, !failing_};
    failing_ = true;
    return result;
}

TPieceCounts TJournal::Counts() const {
    const std::int64_t now = WallSeconds(clock_());
    const std::int64_t today = now - (now % kDay + kDay) % kDay;
    TPieceCounts counts;
    for (const std::int64_t at : pieces_) {
        if (at >= today && at < today + kDay) ++counts.Today;
        if (at > now - kHour && at <= now) ++counts.LastHour;
    }
    return counts;
}

}  // namespace tandrel::job
