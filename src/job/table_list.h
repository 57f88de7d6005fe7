#pragma once
// Lists that come as tables from an office: CSV as spreadsheets save it and the first sheet of an
// XLSX workbook. A header row names the columns; a quantity column makes one row a piece each.
// The readers give the same staged rows as the text list, so everything after the load never
// knows which kind of file the list was. Any thread; keeps no state.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job/column_maps.h"
#include "job/job_state.h"

namespace tandrel::job {

enum class TListKind { Text, Csv, Xlsx };

// Which reader a list file needs: .csv and .xlsx (any letter case) by their name; a .txt whose
// first non-blank line begins with a letter or a quote and holds ";", "," or a tab is a CSV too
// (the text list rejects such a line); everything else is a text list.
TListKind ListKindOf(std::string_view listName, std::string_view bytes);

// One row of a table: its cells as Windows-1251 text, and where it stands in the file (the line
// of a CSV record's start, the row number of a sheet) for the messages.
struct TTableRow {
    std::int32_t Number = 0;
    std::vector<std::string> Cells;
};

// A table read from a file, or why it could not be read.
struct TTable {
    std::vector<TTableRow> Rows;
    std::string Failure;         // not empty: the file is no table; Rows are not to be used
    std::int32_t FailedRow = 0;  // the line or sheet row the failure names, 0 for none
    std::int32_t Replaced = 0;   // characters Windows-1251 lacks, each now a "?"
};

// Cells of CSV text (Windows-1251 already): RFC 4180 quoting, the separator that the header line
// holds outside quotes (";" before "," before a tab), rows of blank cells left out.
TTable ReadCsv(std::string_view text);

// The rows of a table as list rows appended to staged (staged[0] unused): the header names the
// columns, a quantity of N gives N rows. Returns "" or the reason the list is refused (with its
// line or row); failedRow gets that line or row.
// A kept map for the header (maps may be nullptr) wins over the name rules; a header that names
// no size column gives unmapped (when given) its names, for a column map.
std::string TableToRows(const TTable& table, std::vector<SizeRow>& staged, std::uint8_t& fieldCount,
                        std::int32_t& failedRow, const TColumnMaps* maps = nullptr,
                        std::vector<std::string>* unmapped = nullptr);

// A header row's names, trimmed: what a kept map is found by.
std::vector<std::string> HeaderNames(const std::vector<std::string>& header);
// The role of each column of a header row: a kept map's, else the name rules'.
std::vector<TColumnRole> HeaderRoles(const std::vector<std::string>& header,
                                     const TColumnMaps* maps);

}  // namespace tandrel::job
