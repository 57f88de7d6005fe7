#pragma once
// The job group of the main window's state: the loaded cut list, the counters of the row in
// work and the progress file attached to the list. Plain data, used on the main thread only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "job/journal_entry.h"
#include "job/work_order.h"

namespace tandrel::job {

// One row of a cut list. Texts are Windows-1251.
struct SizeRow {
    double Size = 0;                    // millimetres
    std::string Caption;                // the line after the size, tags removed, trimmed
    bool Done = false;                  // worked, or recorded in the progress file
    std::array<std::string, 6> Fields;  // label fields E1..E6 (Fields[0] is E1)
    // From a table's "Материал" or "Профиль" column (which is a label field as well): the plan
    // cuts a piece only from stock and remnants of its material. "" when the list names none.
    std::string Material;
    // A table's row of quantity N becomes N rows: this one is piece Piece of PieceCount (both 0
    // for a row of its own).
    std::uint16_t Piece = 0;
    std::uint16_t PieceCount = 0;
};

// Rows a list may hold; index 0 of the table never holds a row.
inline constexpr std::int32_t kRowCapacity = 30000;
inline constexpr std::size_t kFieldSlots = 6;

struct TJobState {
    // Indexes 0..kRowCapacity, allocated once; a list occupies 1..RowCount.
    std::vector<SizeRow> Rows = std::vector<SizeRow>(kRowCapacity + 1);
    std::int32_t RowCount = 0;        // 0: no list
    std::uint8_t FieldCount = 0;      // highest label field number in the list, 0..6
    std::int32_t CurrentRow = 0;      // row in work, 0 before the first step
    std::int32_t RemainingCount = 0;  // rows not done
    bool RevisitRow = false;          // the next step works CurrentRow again
    double Target = 0;                // target of the row in work
    std::int32_t Correction = 0;      // operator's correction, whole millimetres
    std::uint32_t ProgressCrc = 0;    // CRC-32 of the loaded list file
    // Full path of the list's progress file, resolved when the list loaded; each append opens and
    // closes it. Empty while no list is loaded.
    std::filesystem::path ProgressFile;
    // The name the list was loaded by, as given (Windows-1251); empty while no list is loaded.
    std::string ListName;
    // The list file's full path, resolved when it loaded: a reload reads this file, wherever the
    // current directory has moved since.
    std::filesystem::path ListPath;
    // The journal line of the step in work until its first completion writes it.
    std::optional<TJournalEntry> StepEntry;
    // The order a bar plan works the list in; inactive for the list's own order. A load clears it.
    TWorkOrder Order;
};

// Bytes the row table occupies: the fixed entries plus the texts that do not fit in place.
std::size_t RowTableBytes(const TJobState& state);

}  // namespace tandrel::job
