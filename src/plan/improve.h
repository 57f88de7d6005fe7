#pragma once
// Plans bar by bar: first-fit decreasing, the start of every search, and the finishing of a
// plan by moves that keep its pieces: a cheaper kind of bar for a bar that fits one, the store's
// remnants put to use, and leftovers gathered into fewer, longer remnants. Internal to the plan.

#include <chrono>
#include <cstdint>
#include <vector>

#include "plan/group.h"

namespace tandrel::plan::detail {

struct TWorkBar {
    std::int32_t Bin = 0;
    std::vector<std::int32_t> Items;  // one entry per piece, item indexes
    TLength Weight = 0;
};

std::vector<TWorkBar> ToBars(const TGroup& group, const TGroupPlan& plan);
// The bars as cuts, bars of one kind and pattern merged.
TGroupPlan FromBars(const TGroup& group, const std::vector<TWorkBar>& bars);

// Pieces longest first, each into the first open bar it fits, else a new bar: an unused
// remnant when one holds it, else the longest stock with bars left. Then each bar on the
// cheapest kind that holds it. Pieces nothing holds stay unplaced.
TGroupPlan FirstFitDecreasing(const TGroup& group);

// Each bar onto the cheapest kind with bars left that holds it.
void Tighten(const TGroup& group, TGroupPlan& plan);

// The finishing moves, within the deadline. Never adds new stock or leaves a piece out.
void Improve(const TGroup& group, TGroupPlan& plan, TLength minRemnant,
             std::chrono::steady_clock::time_point deadline);

}  // namespace tandrel::plan::detail
