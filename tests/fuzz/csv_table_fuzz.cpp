// The CSV reader and the table's rows on any bytes: rows within the table's room, at most six
// fields, a refusal always with its reason; then the whole load of the input as a .csv list.

#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job/cut_list.h"
#include "job/table_rows.h"

using namespace tandrel;
using namespace tandrel::job;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TTable table = ReadCsv(text);
    if (table.Failure.empty()) {
        std::vector<SizeRow> staged(1);
        std::uint8_t fields = 0;
        std::int32_t failed = 0;
        const std::string why = TableToRows(table, staged, fields, failed);
        TANDREL_FUZZ_CHECK(fields <= kFieldSlots);
        TANDREL_FUZZ_CHECK(staged.size() <= static_cast<std::size_t>(kRowCapacity) + 1);
        for (std::size_t i = 1; why.empty() && i < staged.size(); ++i)
            TANDREL_FUZZ_CHECK(staged[i].Size >= 0 && staged[i].Piece <= staged[i].PieceCount);
    }
    static TJobState state;  // allocated once: the table is large
    fuzz::WorkDir();
    {
        std::ofstream out("list.csv", std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const std::int32_t rowsBefore = state.RowCount;
    const TLoadOutcome out = LoadList(state, "list.csv");
    if (out.Loaded) {
        TANDREL_FUZZ_CHECK(state.RowCount >= 1 && state.RowCount <= kRowCapacity);
        TANDREL_FUZZ_CHECK(state.RemainingCount >= 0 && state.RemainingCount <= state.RowCount);
    } else {
        TANDREL_FUZZ_CHECK(!out.Reason.empty() && state.RowCount == rowsBefore);
    }
    return 0;
}
