// The label preview's layout on any bytes: no crash, and the measures stay what the arithmetic
// promises (bars as wide as their modules, nothing past the printer's limits).

#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <string_view>

#include "labels/zpl_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view zpl(reinterpret_cast<const char*>(data), size);
    const tandrel::labels::TZplLayout layout = tandrel::labels::LayOutZpl(zpl);
    if (layout.Width < 0 || layout.Height < 0) std::abort();
    for (const auto& e : layout.Elements) {
        if (e.Box.Width < 0 || e.Box.Height < 0) std::abort();
        if (e.Type == tandrel::labels::TZplElement::Kind::Barcode &&
            std::accumulate(e.Bars.begin(), e.Bars.end(), 0) * e.Module != e.Box.Width)
            std::abort();
        for (const auto& line : e.Lines)
            if (line.Box.Width < 0 || line.Box.Height < 0) std::abort();
    }
    return 0;
}
