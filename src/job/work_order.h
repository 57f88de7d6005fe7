#pragma once
// A list worked in an order of its own (a bar plan): the grid's lines below its header, each a
// list row or a heading that no step ever takes, and the list rows in work order. With no order
// the grid's row r is list row r. Main thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::job {

struct TJobState;

struct TGridLine {
    std::int32_t Row = 0;  // the list row it shows; 0 for a heading
    std::string Heading;   // Windows-1251
};

struct TWorkOrder {
    std::vector<TGridLine> Lines;        // grid row g is Lines[g - 1]
    std::vector<std::int32_t> Rows;      // list rows in work order
    std::vector<std::int32_t> Position;  // by list row: 1-based index in Rows, 0 when absent
    std::vector<std::int32_t> GridRow;   // by list row: its grid row, 0 when absent
    bool Active() const { return !Lines.empty(); }
};

// The order of these grid lines for a list of rowCount rows. A list row outside 1..rowCount or
// shown twice is dropped: nothing may step outside the loaded rows.
TWorkOrder MakeWorkOrder(std::vector<TGridLine> lines, std::int32_t rowCount);

// The grid's rows below its header.
std::int32_t GridRowCount(const TJobState& state);
// The list row grid row g shows, 0 for a heading or a row outside the grid.
std::int32_t ListRowAt(const TJobState& state, std::int32_t gridRow);
// The grid row of list row r, 0 when the grid does not show it.
std::int32_t GridRowOf(const TJobState& state, std::int32_t row);
// The heading grid row g shows, nullptr for a list row.
const std::string* HeadingAt(const TJobState& state, std::int32_t gridRow);

// Steps walk positions 1..PositionCount: list rows in the list's order or in the work order.
std::int32_t PositionCount(const TJobState& state);
std::int32_t PositionOf(const TJobState& state, std::int32_t row);          // 0 when not worked
std::int32_t RowAtPosition(const TJobState& state, std::int32_t position);  // 0 outside

}  // namespace tandrel::job
