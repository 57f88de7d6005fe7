// The XLSX reader on any bytes (a damaged zip, damaged XML): a table or a failure with its
// reason, never a crash, a hang or a row of more than the sheet's columns.

#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job/table_list.h"
#include "job/xlsx_table.h"

using namespace tandrel;
using namespace tandrel::job;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const TTable table = ReadXlsx(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!table.Failure.empty()) {
        TANDREL_FUZZ_CHECK(table.Rows.empty());
        return 0;
    }
    for (const TTableRow& row : table.Rows) TANDREL_FUZZ_CHECK(row.Cells.size() <= 16384);
    std::vector<SizeRow> staged(1);
    std::uint8_t fields = 0;
    std::int32_t failed = 0;
    TableToRows(table, staged, fields, failed);
    TANDREL_FUZZ_CHECK(fields <= kFieldSlots);
    TANDREL_FUZZ_CHECK(staged.size() <= static_cast<std::size_t>(kRowCapacity) + 1);
    return 0;
}
