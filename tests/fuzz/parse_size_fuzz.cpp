// ParseSize on any bytes: a value or the conversion error, nothing else; a value read from
// digits is never negative and has at most 11 fraction digits' worth of the text.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/error.h"
#include "link/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const double value = tandrel::protocol::ParseSize(text);
        if (!(value >= 0) || !std::isfinite(value)) std::abort();
        if (text.empty() || text[0] < '0' || text[0] > '9') std::abort();  // must have raised
        if (value > 2147483648.0) std::abort();
    } catch (const tandrel::EConvertError&) {
    }
    return 0;
}
