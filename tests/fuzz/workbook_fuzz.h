#pragma once
// A workbook reader (XLSX or OpenDocument) on any bytes: the rows it gives lie within a sheet's
// columns and in their order, or it fails with its reason and gives none; never a crash or a
// hang. Then the same bytes through the list's rows, which stay within the list's room.

#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job/table_rows.h"

namespace tandrel::fuzz {

template <typename Read, typename ReadAll>
void FuzzWorkbook(std::string_view bytes, Read read, ReadAll readAll) {
    using namespace tandrel::job;
    const TTable table = readAll(bytes);
    if (!table.Failure.empty()) TANDREL_FUZZ_CHECK(table.Rows.empty());
    for (const TTableRow& row : table.Rows)
        for (std::size_t i = 0; i < row.Cells.size(); ++i) {
            TANDREL_FUZZ_CHECK(row.Cells[i].Column < kMaxColumns);
            TANDREL_FUZZ_CHECK(i == 0 || row.Cells[i - 1].Column <= row.Cells[i].Column);
        }
    std::vector<SizeRow> staged(1);
    TTableRows rows(staged, nullptr);
    rows.Finish(read(bytes, rows));
    TANDREL_FUZZ_CHECK(rows.FieldCount <= kFieldSlots);
    TANDREL_FUZZ_CHECK(staged.size() <= static_cast<std::size_t>(kRowCapacity) + 1);
}

}  // namespace tandrel::fuzz
