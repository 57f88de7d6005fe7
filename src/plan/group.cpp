#include "plan/group.h"

namespace tandrel::plan::detail {

TLength PatternWeight(const TGroup& group, const TPattern& pattern) {
    TLength weight = 0;
    for (const auto& [item, count] : pattern)
        weight += group.Items[static_cast<std::size_t>(item)].Weight * count;
    return weight;
}

std::int32_t PatternPieces(const TPattern& pattern) {
    std::int32_t pieces = 0;
    for (const auto& entry : pattern) pieces += entry.second;
    return pieces;
}

bool PatternFits(const TGroup& group, std::int32_t bin, const TPattern& pattern) {
    if (group.MaxPieces > 0 && PatternPieces(pattern) > group.MaxPieces) return false;
    return PatternWeight(group, pattern) <= group.Bins[static_cast<std::size_t>(bin)].Capacity;
}

void Recount(const TGroup& group, TGroupPlan& plan) {
    plan.Cost = 0;
    plan.Unplaced.assign(group.Items.size(), 0);
    for (std::size_t i = 0; i < group.Items.size(); ++i) plan.Unplaced[i] = group.Items[i].Demand;
    for (const auto& cut : plan.Cuts) {
        plan.Cost += group.Bins[static_cast<std::size_t>(cut.Bin)].Cost * cut.Copies;
        for (const auto& [item, count] : cut.Pattern)
            plan.Unplaced[static_cast<std::size_t>(item)] -= count * cut.Copies;
    }
    plan.UnplacedCount = 0;
    for (const auto left : plan.Unplaced) plan.UnplacedCount += left;
}

bool Better(const TGroupPlan& a, const TGroupPlan& b) {
    if (a.UnplacedCount != b.UnplacedCount) return a.UnplacedCount < b.UnplacedCount;
    return a.Cost < b.Cost;
}

}  // namespace tandrel::plan::detail
