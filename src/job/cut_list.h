#pragma once
// The cut-list file: one size per line, then a caption with optional label tags <E1..> to <E6..>.
// A load parses the whole file into a staging table first; the main window's list, counters and
// progress file change only when the new list is complete. Main thread only.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "job/column_maps.h"
#include "job/job_state.h"
#include "job/table_rows.h"

namespace tandrel::job {

// A line that rejects the list; Message() is the reason in Russian (Windows-1251), without the
// line number.
class EListLine : public Exception {
  public:
    using Exception::Exception;
};

// Parses one line. A line with a size appends one row to rows (rows[0] stays unused, so a row's
// index is its number); a blank line appends nothing. Label tags set the named fields of the new
// row and raise fieldCount (never above 6). Returns false when the size holds two or more
// separators; raises EListLine when the size or a label tag's field number cannot be converted.
bool ParseListLine(std::string_view line, std::vector<SizeRow>& rows, std::uint8_t& fieldCount);

// What a load did, for the window to show.
struct TLoadOutcome {
    bool Loaded = false;        // the new list replaced the old one
    std::int32_t Rows = 0;      // its rows, when loaded
    std::int32_t Line = 0;      // the line that rejected the file, 0 when no line is to blame
    std::string Reason;         // not loaded: why, for the status line
    std::string CrcMessage;     // not empty: show it in an information box (CRC failure)
    std::string ProgressIssue;  // loaded, but the progress file could not be written: why
    bool AskRestart = false;    // every row is done: ask RestartQuestion (Yes -> RestartList)
    std::string RestartQuestion;
    bool Utf8 = false;              // the file was read as UTF-8 (or UTF-16, below)
    bool Utf16 = false;             // the file was read as UTF-16
    bool Workbook = false;          // the list is a workbook's sheet
    std::int32_t Replaced = 0;      // its characters that Windows-1251 lacks, each now a "?"
    std::string Sheet;              // the sheet read, when the workbook has more than one
    std::int32_t SkippedAbove = 0;  // rows above the table's header, skipped
    // Refused as a table whose header names no size column, or two: its columns, for a map.
    std::optional<TColumnChoice> Choice;
};

// A list file to load: the name it was given by (Windows-1251, shown in the grid's header and
// the journal) and the full paths of the file and of its progress file.
struct TListSource {
    std::string Name;
    std::filesystem::path Path;
    std::filesystem::path ProgressFile;
    const TColumnMaps* Maps = nullptr;  // the kept column maps, when there are any
    // The list's bytes when they were read beforehand (off the main thread): not read again.
    const std::string* Bytes = nullptr;
    // The list staged beforehand (off the main thread): neither read nor parsed again; the load
    // takes its rows.
    struct TStagedList* Staged = nullptr;
};

// What staging a list's bytes gave beside its rows.
struct TStaged {
    std::string Failure;          // not empty: why the list is refused
    std::int32_t FailedLine = 0;  // the line or row to blame, 0 for none
    std::uint8_t FieldCount = 0;
    bool Utf8 = false, Utf16 = false, Workbook = false;
    std::int32_t Replaced = 0;
    std::string Sheet;
    std::int32_t SkippedAbove = 0;
    std::optional<TColumnChoice> Choice;
};

// A list file's bytes staged for a load, on any thread: its rows, or why it is refused.
struct TStagedList : TStaged {
    std::vector<SizeRow> Rows;  // Rows[0] unused
    std::uint32_t Crc = 0;      // CRC-32 of these very bytes
};

// The rows of a list file's bytes appended to staged (staged[0] unused), by the reader its name
// and bytes call for; a table stops being read as soon as it is refused. Touches no file.
TStaged StageList(const std::string& listName, std::string bytes, std::vector<SizeRow>& staged,
                  const TColumnMaps* maps = nullptr);

// StageList of the bytes and their CRC-32: everything of a load that needs no state. Any thread;
// under a TParseStop it ends at the next row once stopped.
TStagedList StageListBytes(const std::string& listName, const std::string& bytes,
                           const TColumnMaps* maps);

// The columns of a list file that is a table (its header found as a load finds it), for the
// column-map dialog; nothing for a text list or a file that is no table.
std::optional<TColumnChoice> TableColumns(const std::string& listName, std::string bytes,
                                          const TColumnMaps* maps);

TListSource ResolveList(const std::string& listName);
// The list in work, to load again from the same files; empty Name while no list is loaded.
TListSource ListInWork(const TJobState& state);

// Loads the list file. On success the state holds the list with its recorded rows done,
// CurrentRow 0; on any rejection the state is untouched. Raises nothing.
TLoadOutcome LoadList(TJobState& state, const TListSource& list);
TLoadOutcome LoadList(TJobState& state, const std::string& listName);

// The answer Yes to the restart question: every row not done and the progress file started
// afresh. Returns false when that file could not be written (the rows stay not done).
bool RestartList(TJobState& state);

// The grid's caption of a row: its Caption, and for one piece of a table row's quantity which
// piece it is ("Стойка (2/4)").
std::string GridCaption(const SizeRow& row);

// The counter of the grid's header: "25/3", total first.
std::string RowCounterText(const TJobState& state);

// The name without its directory ("C:\\lists\\plan.txt" -> "plan.txt"); both slashes count.
std::string FileNameOnly(std::string_view name);

}  // namespace tandrel::job
