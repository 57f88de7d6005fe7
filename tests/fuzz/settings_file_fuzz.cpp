// ParseSettings on any bytes: every number within its range, DataDir an existing folder, and the
// file written from the result reads back to the same settings.

#include <cstdint>
#include <string_view>

#include "console/nastr_file.h"
#include "fuzz_support.h"

using namespace tandrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const TSettings defaults = DefaultSettings(fuzz::WorkDir());
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TSettings s = ParseSettings(bytes, defaults);
    auto within = [](std::int32_t v, std::int32_t lo, std::int32_t hi) {
        return v >= lo && v <= hi;
    };
    TANDREL_FUZZ_CHECK(within(s.Column0Width, kMinColumnWidth, kMaxColumnWidth));
    TANDREL_FUZZ_CHECK(within(s.Column1Width, kMinColumnWidth, kMaxColumnWidth));
    TANDREL_FUZZ_CHECK(within(s.InfoFontSize, kMinFontSize, kMaxFontSize));
    TANDREL_FUZZ_CHECK(within(s.PositionFontSize, kMinFontSize, kMaxFontSize));
    TANDREL_FUZZ_CHECK(within(s.ListFontSize, kMinFontSize, kMaxFontSize));
    std::error_code ec;
    TANDREL_FUZZ_CHECK(std::filesystem::is_directory(s.DataDir, ec));
    TANDREL_FUZZ_CHECK(s.DevicePortName.find_first_of("\r\n") == std::string::npos);
    TSettings again = s;
    again.ListRowHeight = 2 * s.ListFontSize;  // the written e line sets the rows
    TANDREL_FUZZ_CHECK(ParseSettings(FormatSettings(s), defaults) == again);
    return 0;
}
