#pragma once
// A table's rows as list rows: the header row found and its columns named, a quantity column
// making one row a piece each. Any thread; one object per reading.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "job/column_maps.h"
#include "job/job_state.h"
#include "job/table_list.h"

namespace tandrel::job {

// The columns of a header for the column-map dialog.
struct TColumnChoice {
    std::int32_t HeaderRow = 0;
    // The header's names from column A on, trimmed: what a kept map is found by.
    std::vector<std::string> Header;
    // The columns offered: the first 50 that hold something in the header or the rows read with
    // it; their names ("" where the header cell is blank) and what each is now.
    std::vector<std::uint32_t> Columns;
    std::vector<std::string> Names;
    std::vector<TColumnRole> Roles;
};

// The map to keep when the operator gave the offered columns these roles.
TKeptMap KeptMapOf(const TColumnChoice& choice, const std::vector<TColumnRole>& roles);

// The sink that turns a table into list rows.
//
// The header is the first of the first 20 rows that names a size column, by a kept map for its
// names (maps may be nullptr) or by the name rules: a name matches a known one when, its unit
// (after the first "," or in brackets), punctuation and end blanks dropped, letter case, "ё" and
// the Latin and Cyrillic letters that look alike folded, it is that name or begins with it as a
// word. Rows above it are skipped. A header that names two size (or two quantity) columns, or no
// header at all, refuses the list with a choice for the column-map dialog.
class TTableRows final : public TRowSink {
  public:
    enum class TMode { Rows, Columns };
    // Rows: pieces are appended to staged (staged[0] unused). Columns: only the header is looked
    // for, and Choice always comes back for it (staged stays as it is).
    TTableRows(std::vector<SizeRow>& staged, const TColumnMaps* maps, TMode mode = TMode::Rows);

    bool Take(TTableRow& row) override;
    // Once the reader has ended: "" or why the list is refused (FailedRow the line or row).
    std::string Finish(const TTableRead& read);

    std::uint8_t FieldCount = 0;
    std::int32_t FailedRow = 0;
    std::int32_t SkippedAbove = 0;  // rows that held something above the header
    std::optional<TColumnChoice> Choice;

  private:
    enum class TPhase { Header, Columns, Rows, Done };
    struct TMapped {
        std::uint32_t Column;
        TColumnRole Role;
        std::string Name;
    };

    bool FindHeader(TTableRow& row);
    void NoHeader();
    void Offer(const TTableRow& row);
    void MakeChoice();
    bool Refuse(std::int32_t row, std::string why);
    bool AddPieces(const TTableRow& row);

    std::vector<SizeRow>& staged_;
    const TColumnMaps* maps_;
    TMode mode_;
    TPhase phase_ = TPhase::Header;
    std::int32_t looked_ = 0;  // rows looked at for the header or the choice
    TTableRow first_;          // the first row, for the dialog when no row is a header
    TTableRow header_;
    std::vector<std::uint32_t> used_;  // the first columns that hold something, in order
    std::vector<TMapped> mapped_;
    std::optional<std::uint32_t> materialColumn_;  // named "Материал" or "Профиль"
    std::string failure_;
};

// The whole of a collected table through TTableRows: "" or why it is refused.
std::string TableToRows(const TTable& table, std::vector<SizeRow>& staged, std::uint8_t& fieldCount,
                        std::int32_t& failedRow, const TColumnMaps* maps = nullptr,
                        std::optional<TColumnChoice>* choice = nullptr);

}  // namespace tandrel::job
