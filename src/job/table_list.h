#pragma once
// Lists that come as tables from an office: CSV as spreadsheets save it, the sheet of an XLSX
// workbook or an OpenDocument spreadsheet. A reader hands its rows one at a time to a sink,
// holding only the cells that hold something, so that a file's cost follows its content and a
// sink that has seen enough stops the reading. Any thread; keeps no state.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::job {

enum class TListKind { Text, Csv, Xlsx, Ods, OldWorkbook };

// Which reader a list file needs. A compound document (an .xls, or a workbook that a password
// encrypts) is an old workbook by its bytes, whatever its name; .csv, .xlsx and .ods (any letter
// case) by their name; a .txt that begins with a UTF-16 byte-order mark, or whose first
// non-blank line begins with a letter or a quote and holds ";", "," or a tab, is a CSV (the text
// list rejects such a line); everything else is a text list.
TListKind ListKindOf(std::string_view listName, std::string_view bytes);

// Why an old workbook is refused: an .xls, or a workbook that a password encrypts.
std::string OldWorkbookFailure(std::string_view bytes);

// Excel's ("~$Заказ.xlsx") and LibreOffice's (".~lock.Заказ.ods#") lock files: never a list.
bool IsLockFileName(std::string_view name);

// Columns a sheet has at most: A to XFD. Cells further right are not read.
inline constexpr std::uint32_t kMaxColumns = 16384;

// A cell that holds something.
struct TCell {
    std::uint32_t Column = 0;  // 0 is column A
    std::string Text;          // as the sheet shows it, Windows-1251
    bool IsNumber = false;     // a number cell (not a date): Number is its value
    double Number = 0;
    bool NoValue = false;  // a formula saved without its value
};

// A row with at least one cell that holds something, its cells by column, and where it stands
// in the file (the line of a CSV record's start, the row number of a sheet) for the messages.
struct TTableRow {
    std::int32_t Number = 0;
    std::vector<TCell> Cells;
};

// Where a reader's rows go. Take returns false when it wants no more rows.
class TRowSink {
  public:
    virtual ~TRowSink() = default;
    virtual bool Take(TTableRow& row) = 0;
};

// What a reader says beside its rows.
struct TTableRead {
    std::string Failure;         // not empty: the file is no table, or not all of it was read
    std::int32_t FailedRow = 0;  // the line or sheet row the failure names, 0 for none
    std::int32_t Replaced = 0;   // characters Windows-1251 lacks, each now a "?"
    std::string Sheet;           // the sheet read, when the workbook has more than one
};

// CSV text (Windows-1251 already): RFC 4180 quoting; rows end at CR LF, LF or CR alone outside
// quotes; a first line "sep=X" names the separator, else it is the first of ";", "," and a tab
// that the first line holding any of them holds outside quotes.
TTableRead ReadCsv(std::string_view text, TRowSink& sink);

// A whole table, as the tests and the fuzz targets look at one.
struct TTable : TTableRead {
    std::vector<TTableRow> Rows;
};
TTable ReadCsv(std::string_view text);

// The sink that keeps every row.
class TTableCollector final : public TRowSink {
  public:
    explicit TTableCollector(TTable& table) : table_(table) {}
    bool Take(TTableRow& row) override {
        table_.Rows.push_back(std::move(row));
        return true;
    }

  private:
    TTable& table_;
};

// The whole table that read (a reader on a TRowSink&) gives; no rows when it failed.
template <typename Read>
TTable CollectTable(Read read) {
    TTable table;
    TTableCollector collector(table);
    static_cast<TTableRead&>(table) = read(collector);
    if (!table.Failure.empty()) table.Rows.clear();
    return table;
}

}  // namespace tandrel::job
