// The cut-list grammar on every line of the input, then the whole load of the input as a list
// file. A line appends at most one row with at most 6 label fields; a load either takes the list
// whole (counters consistent) or leaves the previous state exactly as it was.

#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job/cut_list.h"

using namespace tandrel;
using namespace tandrel::job;

namespace {

void CheckLines(std::string_view text) {
    std::vector<SizeRow> rows(1);
    std::uint8_t fields = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        const std::size_t before = rows.size();
        try {
            const bool ok = ParseListLine(line, rows, fields);
            TANDREL_FUZZ_CHECK(rows.size() == before || rows.size() == before + 1);
            if (!ok) TANDREL_FUZZ_CHECK(rows.size() == before);
            if (rows.size() > before) TANDREL_FUZZ_CHECK(rows.back().Size >= 0);
        } catch (const EListLine& e) {
            TANDREL_FUZZ_CHECK(rows.size() == before);
            TANDREL_FUZZ_CHECK(!e.Message().empty());
        }
        TANDREL_FUZZ_CHECK(fields <= kFieldSlots);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

void CheckLoad(std::string_view text) {
    static TJobState state;  // allocated once: the table is large
    fuzz::WorkDir();
    {
        std::ofstream out("list.txt", std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    const std::int32_t rowsBefore = state.RowCount;
    const std::int32_t remainingBefore = state.RemainingCount;
    const std::uint32_t crcBefore = state.ProgressCrc;
    const TLoadOutcome out = LoadList(state, "list.txt");
    if (out.Loaded) {
        TANDREL_FUZZ_CHECK(out.Rows >= 1 && out.Rows <= kRowCapacity);
        TANDREL_FUZZ_CHECK(state.RowCount == out.Rows);
        TANDREL_FUZZ_CHECK(state.RemainingCount >= 0 && state.RemainingCount <= state.RowCount);
        TANDREL_FUZZ_CHECK(out.AskRestart == (state.RemainingCount == 0));
        TANDREL_FUZZ_CHECK(state.FieldCount <= kFieldSlots);
        TANDREL_FUZZ_CHECK(state.CurrentRow == 0);
        TANDREL_FUZZ_CHECK(state.Rows.size() == kRowCapacity + 1);
        std::int32_t notDone = 0;
        for (std::int32_t i = 1; i <= state.RowCount; ++i) notDone += state.Rows[i].Done ? 0 : 1;
        TANDREL_FUZZ_CHECK(notDone == state.RemainingCount);
    } else {
        TANDREL_FUZZ_CHECK(!out.Reason.empty());
        TANDREL_FUZZ_CHECK(state.RowCount == rowsBefore);
        TANDREL_FUZZ_CHECK(state.RemainingCount == remainingBefore);
        TANDREL_FUZZ_CHECK(state.ProgressCrc == crcBefore);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckLines(text);
    CheckLoad(text);
    return 0;
}
