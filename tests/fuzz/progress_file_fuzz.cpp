// ReadProgress on any file. The input's first two bytes give the list's length (0 to 1023 rows),
// the third chooses the CRC: odd takes the file's own first line, so that the rows get read,
// even takes the next four bytes. The rest is the file. Afterwards the marked rows are within
// the list, the counter agrees with them, the file is the CRC line alone or what it held up to
// its last line end, and reading it again marks the same rows and changes nothing.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "job/progress.h"

using namespace tandrel;
using namespace tandrel::job;

namespace {

std::string ReadBack(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7) return 0;
    fuzz::WorkDir();
    const std::int32_t rowCount = ((data[0] << 8) | data[1]) & 0x03FF;
    std::uint32_t crc = 0;
    std::memcpy(&crc, data + 3, sizeof crc);
    const std::string content(reinterpret_cast<const char*>(data) + 7, size - 7);
    if (data[2] & 1) {
        const auto end = content.find_first_of("\r\n");
        const std::string_view first = std::string_view(content).substr(0, end);
        std::from_chars(first.data(), first.data() + first.size(), crc);
    }
    {
        std::ofstream out("list.crc", std::ios::binary | std::ios::trunc);
        out << content;
    }

    std::vector<SizeRow> rows(static_cast<std::size_t>(rowCount) + 1);
    std::int32_t remaining = rowCount;
    const TProgressRead read = ReadProgress("list.crc", crc, rows, remaining);
    TANDREL_FUZZ_CHECK(read.Problem.empty());
    TANDREL_FUZZ_CHECK(!rows[0].Done);
    std::int32_t done = 0;
    for (const auto& row : rows) done += row.Done ? 1 : 0;
    TANDREL_FUZZ_CHECK(done == read.Marked);
    TANDREL_FUZZ_CHECK(remaining == rowCount - read.Marked);

    const std::string after = ReadBack("list.crc");
    if (read.Matched) {
        TANDREL_FUZZ_CHECK(content.compare(0, after.size(), after) == 0);
        TANDREL_FUZZ_CHECK(!after.empty() && (after.back() == '\n' || after.back() == '\r'));
        // Only the torn tail may go: nothing after the kept part ends a line.
        TANDREL_FUZZ_CHECK(content.find_first_of("\r\n", after.size()) == std::string::npos ||
                           (after.back() == '\r' && content.size() > after.size() &&
                            content[after.size()] == '\n'));
    } else {
        TANDREL_FUZZ_CHECK(read.Marked == 0);
        TANDREL_FUZZ_CHECK(after == std::to_string(crc) + "\r\n");
    }

    std::vector<SizeRow> again(rows.size());
    std::int32_t remainingAgain = rowCount;
    const TProgressRead second = ReadProgress("list.crc", crc, again, remainingAgain);
    TANDREL_FUZZ_CHECK(second.Matched);
    TANDREL_FUZZ_CHECK(second.Marked == read.Marked);
    for (std::size_t i = 0; i < rows.size(); ++i) TANDREL_FUZZ_CHECK(again[i].Done == rows[i].Done);
    TANDREL_FUZZ_CHECK(ReadBack("list.crc") == after);
    return 0;
}
