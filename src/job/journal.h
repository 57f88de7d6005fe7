#pragma once
// The production journal: a line for every worked step and every keypad size sent, so that a
// foreman can tell when a piece was cut, to what size, with which correction and whether its
// label printed. One file a month, "journal-YYYY-MM.csv" in the program's directory:
// Windows-1251, ";" between fields, CR LF line ends and a header line, as a spreadsheet on a
// Russian Windows opens it. Every line is on the disk before Append returns; a line torn by a
// power loss is ignored when the file is read and cut off before the next line is written.
// Main thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/journal_entry.h"

namespace tandrel::job {

// A moment of the local clock.
struct TLocalTime {
    int Year = 1970, Month = 1, Day = 1;
    int Hour = 0, Minute = 0, Second = 0;
    bool operator==(const TLocalTime&) const = default;
};

// The system's local time now.
TLocalTime LocalNow();
using TClock = std::function<TLocalTime()>;

// Seconds since 1970-01-01 00:00 of the same wall clock (no time zone applied), for intervals.
std::int64_t WallSeconds(const TLocalTime& t);
TLocalTime FromWallSeconds(std::int64_t seconds);

// "journal-2026-12.csv".
std::string JournalFileName(const TLocalTime& t);

// The header line, CR LF included.
std::string JournalHeader();

// A field as written: CR and LF become blanks, and a field holding ";" or a quote is quoted with
// its quotes doubled.
std::string JournalField(std::string_view text);

// The line of entry at that moment, CR LF included: date "ДД.ММ.ГГГГ", time "ЧЧ:ММ:СС", list,
// row (empty for a keypad move), size, correction, target (numbers in the general format with
// the program's decimal separator), in range "да"/"нет", worked again "да"/"нет", label
// "напечатана", "не напечатана", "в очереди", "на паузе" or the printer's failure, after
// "перепечатка: " for a reprint and "итог: " for the outcome of a queued label; a leftover's
// line says "отход", "хлыст с дефектом" or "остаток <id>: " and its label's outcome.
std::string JournalLine(const TJournalEntry& entry, const TLocalTime& at);

// The line of a keypad size sent: no row, no correction, the size is the target.
TJournalEntry KeypadMoveEntry(const std::string& listName, double size);

// The line of a bar's leftover (millimetres): no row, so never a piece; no correction; the
// length is size and target; in range, not worked again. A remnant's label outcome goes in
// Label as a step's does.
TJournalEntry LeftoverEntry(const std::string& listName, double length, TLeftover kind,
                            const std::string& remnantId = {});

// The fields of one line (without its line end), quotes undone.
std::vector<std::string> SplitJournalLine(std::string_view line);

// A line read back: its moment and whether it is a piece (TJournalEntry::IsPiece). Nothing for
// the header and for lines that are not journal lines.
struct TJournalRecord {
    TLocalTime At;
    bool Piece = false;
};
std::optional<TJournalRecord> ParseJournalLine(std::string_view line);

struct TPieceCounts {
    std::int32_t Today = 0;     // pieces since midnight
    std::int32_t LastHour = 0;  // pieces of the last 60 minutes
    bool operator==(const TPieceCounts&) const = default;
};

class TJournal {
  public:
    // Files in directory; clock gives the moment of every line and of the counts.
    explicit TJournal(std::filesystem::path directory, TClock clock = LocalNow);

    // The month's file of moment t.
    std::filesystem::path FileAt(const TLocalTime& t) const;

    // Counts the pieces of this month's journal (and of last month's while the last hour
    // reaches into it); whole lines only. Start-up.
    void LoadPieces();

    struct TAppend {
        bool Written = false;
        std::string Failure;        // not written: why (Windows-1251)
        bool FirstFailure = false;  // the first failure since the journal last worked: say it
    };
    // Appends the entry's line to the file of the clock's month, with the header when the file
    // is new, and flushes it to the disk. Raises nothing.
    TAppend Append(const TJournalEntry& entry);

    // Today's pieces and those of the last hour, at the clock's moment.
    TPieceCounts Counts() const;

  private:
    bool Prepare(const std::filesystem::path& file, std::string& bytes, std::string& failure);
    void AddPiece(const TLocalTime& at);

    std::filesystem::path directory_;
    TClock clock_;
    std::filesystem::path checked_;  // the file whose last line is known to be whole
    bool failing_ = false;
    std::vector<std::int64_t> pieces_;  // wall seconds of the pieces counted
};

}  // namespace tandrel::job
