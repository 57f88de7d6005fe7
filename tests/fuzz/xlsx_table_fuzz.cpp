// The XLSX reader on any bytes: see workbook_fuzz.h.

#include <cstdint>

#include "job/xlsx_table.h"
#include "workbook_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tandrel::job;
    tandrel::fuzz::FuzzWorkbook(
        std::string_view(reinterpret_cast<const char*>(data), size),
        [](std::string_view bytes, TRowSink& sink) { return ReadXlsx(bytes, sink); },
        [](std::string_view bytes) { return ReadXlsx(bytes); });
    return 0;
}
