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
    bool Utf8 = false;          // the file was read as UTF-8
    std::int32_t Replaced = 0;  // its characters that Windows-1251 lacks, each now a "?"
    // Refused as a table whose header names no size column: the header's names, for a map.
    std::vector<std::string> UnmappedHeader;
};

// A list file's bytes staged for a load, on any thread: its rows, or why it is refused.
struct TStagedList {
    std::string Failure;          // refused: why (Windows-1251); empty when staged
    std::int32_t FailedLine = 0;  // the line or row to blame, 0 for none
    std::vector<SizeRow> Rows;    // Rows[0] unused
    std::uint8_t FieldCount = 0;
    bool Utf8 = false;
    std::int32_t Replaced = 0;
    std::vector<std::string> Unmapped;  // a table's header that names no size column
    std::uint32_t Crc = 0;              // CRC-32 of these very bytes
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
    TStagedList* Staged = nullptr;
};

// The rows of a list file's bytes appended to staged (staged[0] unused), by the reader its name
// and bytes call for. Returns "" or why the list is refused, failedLine the line or row to blame;
// utf8 and replaced (when given) get how the text was read. Touches no file.
std::string StageList(const std::string& listName, std::string bytes, std::vector<SizeRow>& staged,
                      std::uint8_t& fieldCount, std::int32_t& failedLine, bool* utf8 = nullptr,
                      std::int32_t* replaced = nullptr, const TColumnMaps* maps = nullptr,
                      std::vector<std::string>* unmapped = nullptr);

// StageList of the bytes and their CRC-32: everything of a load that needs no state. Any thread;
// under a TParseStop it ends at the next row once stopped.
TStagedList StageListBytes(const std::string& listName, const std::string& bytes,
                           const TColumnMaps* maps);

// The header row of a list file that is a table (CSV or XLSX); nothing for a text list or a
// file that is no table.
std::optional<std::vector<std::string>> TableHeader(const std::string& listName, std::string bytes);

// The list named listName, both paths resolved against the current directory now.
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
