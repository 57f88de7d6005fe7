#pragma once
// Code 128 symbols as a label printer draws them for ^BC: the subset chosen by itself (B for
// text, C for runs of four or more digits), the check character, the stop. Plain functions.

#include <string>
#include <string_view>
#include <vector>

namespace tandrel::labels {

inline constexpr int kCode128StartB = 104;
inline constexpr int kCode128StartC = 105;
inline constexpr int kCode128CodeB = 100;  // from subset C to B
inline constexpr int kCode128CodeC = 99;   // from subset B to C
inline constexpr int kCode128Stop = 106;

struct TCode128 {
    bool Ok = false;
    std::vector<int> Values;  // start, data symbols with subset changes, check, stop
};

// Encodes printable ASCII (32 to 126). Anything else cannot be written in subsets B and C:
// Ok is false and Values empty.
TCode128 EncodeCode128(std::string_view text);

// The widths in modules of bar, space, bar, ... of the symbols, left to right (six per symbol,
// seven for the stop).
std::vector<int> Code128Widths(const std::vector<int>& values);

// Modules of the whole symbol: 11 per symbol, 13 for the stop.
int Code128Modules(const std::vector<int>& values);

}  // namespace tandrel::labels
