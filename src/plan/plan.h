#pragma once
// The bar plan: which stock bar or remnant each piece of a list is cut from, and in what order,
// with the least new stock first. Column generation over cutting patterns (the linear program
// on CLP, an exact knapsack for the pricing), then an integer step over the patterns it found,
// started from first-fit decreasing. Lengths are whole tenths of a millimetre throughout.
//
// MakePlan may run on any thread (never the window's: it takes up to its time limit); it holds
// no state between calls, so calls on different threads are independent. The same problem and
// options give the same plan on one platform whenever the search ends before its time limit.

#include <chrono>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace tandrel::plan {

using TLength = std::int64_t;  // tenths of a millimetre

inline constexpr std::int32_t kUnlimited = -1;
// The longest stock or remnant the plan takes (100 m): the pricing's table grows with it.
inline constexpr TLength kLongestBar = 1000000;

// Texts (material, ids) are Windows-1251 and compared byte for byte.
struct TStock {
    TLength Length = 0;
    std::int32_t Count = kUnlimited;  // bars to be had, or kUnlimited
    std::string Material;             // pieces of this material only; "" for the unnamed one
    bool operator==(const TStock&) const = default;
};

// An offcut from the store: its end is square, so it takes no head trim.
struct TRemnant {
    std::string Id;
    TLength Length = 0;
    std::string Material;
    bool operator==(const TRemnant&) const = default;
};

struct TPiece {
    std::int32_t Row = 0;  // the list's row it stands for
    TLength Length = 0;
    std::string Material;
    bool operator==(const TPiece&) const = default;
};

struct TCutSettings {
    TLength Kerf = 0;            // taken by every piece
    TLength Head = 0;            // squared off a new bar before its first piece
    TLength MinRemnant = 0;      // a leftover at least this long is kept; 0 keeps none
    std::int32_t MaxPieces = 0;  // the most pieces a bar may hold; 0 for no limit
    bool operator==(const TCutSettings&) const = default;
};

struct TProblem {
    std::vector<TStock> Stock;
    std::vector<TRemnant> Remnants;  // in the store's order: the first is used first on a tie
    std::vector<TPiece> Pieces;
    TCutSettings Cut;
};

struct TBar {
    std::int32_t Stock = -1;    // index into TProblem::Stock for a new bar, else -1
    std::int32_t Remnant = -1;  // index into TProblem::Remnants for a remnant, else -1
    TLength Length = 0;
    std::vector<std::int32_t> Pieces;  // indexes into TProblem::Pieces, in cut order
    TLength Leftover = 0;
    bool operator==(const TBar&) const = default;
};

struct TPlan {
    std::vector<TBar> Bars;              // in work order: bars of one pattern one after another
    std::vector<std::int32_t> Unplaced;  // pieces the counted stock could not hold
    TLength NewStock = 0;                // total length of the new bars
    TLength Bound = 0;                   // no plan of every piece needs less new stock than this
    TLength Waste = 0;         // heads, kerfs and leftovers shorter than the minimum remnant
    TLength RemnantsUsed = 0;  // total length of the store's remnants cut
    std::int32_t Kept = 0;     // leftovers kept as remnants
    TLength KeptLength = 0;
    bool Proven = false;   // every piece planned and the new stock equals the bound
    bool Stopped = false;  // cancelled or out of time before the search ended
    TLength FirstFit = 0;  // the new stock of the first-fit decreasing start, for comparison
    bool operator==(const TPlan&) const = default;
};

struct TProgress {
    TLength Best = 0;   // new stock of the best plan so far
    TLength Bound = 0;  // the best bound so far
};

struct TPlanOptions {
    std::chrono::milliseconds TimeLimit{10000};
    // Called on the planning thread whenever the best plan or the bound improves.
    std::function<void(const TProgress&)> Progress;
};

// Why the problem cannot be planned (a piece that fits no stock length and no remnant of its
// material, a length that is not positive, no stock), in Russian (Windows-1251); "" when it can.
std::string CheckProblem(const TProblem& problem);

// The plan. A stop request (from any thread) or the time limit ends the search with the best
// plan found so far and its bound. Raises std::invalid_argument when CheckProblem refuses it.
TPlan MakePlan(const TProblem& problem, const TPlanOptions& options = {},
               std::stop_token stop = {});

// Whether these pieces fit a bar of that length (a new bar when head is true).
bool Fits(const TCutSettings& cut, TLength length, bool newBar, TLength piecesTotal,
          std::int32_t pieceCount);

// Tenths of a millimetre of a size in millimetres, halves to even on the decimal it was written
// as (the shortest one that reads back as the same double).
TLength ToTenths(double millimetres);
// "2450", "1800.5": millimetres with the tenths digit only when it is not 0.
std::string FormatTenths(TLength tenths);

}  // namespace tandrel::plan
