#pragma once
// One material's share of a problem as the engine sees it: the distinct piece lengths with
// their demand (items) and the kinds of bar they can be cut from (bins). Internal to the plan.

#include <cstdint>
#include <utility>
#include <vector>

#include "plan/plan.h"

namespace tandrel::plan::detail {

struct TItem {
    TLength Length = 0;
    TLength Weight = 0;  // the length and its kerf: what it takes of a bar
    std::int32_t Demand = 0;
};

// A kind of bar: one stock length (its counts summed), or the store's remnants of one length.
struct TBin {
    TLength Length = 0;
    TLength Capacity = 0;  // what pieces and their kerfs may take
    TLength Cost = 0;      // new stock it takes: its length, 0 for a remnant
    std::int32_t Limit = kUnlimited;
    bool Remnant = false;
    std::vector<std::int32_t> Sources;  // stock entries or remnants, in the order they are used
};

struct TGroup {
    std::vector<TItem> Items;  // longest first
    std::vector<TBin> Bins;
    std::int32_t MaxPieces = 0;  // 0: no limit
    std::int32_t PieceCount = 0;
};

// (item, count) pairs, item ascending: the pieces one bar holds.
using TPattern = std::vector<std::pair<std::int32_t, std::int32_t>>;

struct TCut {
    std::int32_t Bin = 0;
    TPattern Pattern;
    std::int32_t Copies = 1;
};

// A plan of a group: the bars by kind and pattern, and per item the pieces left out.
struct TGroupPlan {
    std::vector<TCut> Cuts;
    std::vector<std::int32_t> Unplaced;  // per item
    TLength Cost = 0;                    // new stock
    std::int64_t UnplacedCount = 0;
};

TLength PatternWeight(const TGroup& group, const TPattern& pattern);
std::int32_t PatternPieces(const TPattern& pattern);
// Whether the pattern fits the bin (capacity and piece limit).
bool PatternFits(const TGroup& group, std::int32_t bin, const TPattern& pattern);
// Totals of a group plan from its cuts; Unplaced from the demand not covered.
void Recount(const TGroup& group, TGroupPlan& plan);
// Better in the first objective: fewer pieces left out, then less new stock.
bool Better(const TGroupPlan& a, const TGroupPlan& b);

}  // namespace tandrel::plan::detail
