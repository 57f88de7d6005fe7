#pragma once
// The plan's inputs as people write them: lengths in millimetres, the stock as "6000x20,3000",
// the store's remnants as "<id>;<length>" lines. Every parser returns "" or why it refuses the
// text, in Russian (Windows-1251). Any thread; no state.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "plan/plan.h"

namespace tandrel::plan {

// The most characters of a remnant's id (it is printed as a barcode).
inline constexpr std::size_t kLongestId = 20;

// Digits with at most one "." or "," and any number of decimals, times scale, rounded with
// halves to even on the exact decimal value ("3.25" with scale 10 is 32). Refuses a sign, an
// empty text and values above most.
std::string ParseDecimal(std::string_view text, std::int64_t scale, std::int64_t most,
                         std::int64_t& value);

// "6000x20,3000": lengths with an optional "x" and count, no count for unlimited, and an
// optional ":" and material ("6000x20:AL 40x40"; a material cannot hold ",").
std::string ParseStock(std::string_view text, std::vector<TStock>& stock);
// The same text from the stock (counts as given, unlimited without one, a material when named).
std::string FormatStock(const std::vector<TStock>& stock);

// A remnants file's bytes, read with a list's encoding rules: "<id>;<length>" a line, blank
// lines skipped; ids printable ASCII without blanks or ";", at most kLongestId, each once.
std::string ParseRemnants(std::string bytes, std::vector<TRemnant>& remnants);

}  // namespace tandrel::plan
