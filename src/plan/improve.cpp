#include "plan/improve.h"

#include <algorithm>
#include <map>

namespace tandrel::plan::detail {
namespace {

const TBin& BinOf(const TGroup& group, std::int32_t bin) {
    return group.Bins[static_cast<std::size_t>(bin)];
}

TLength WeightOf(const TGroup& group, std::int32_t item) {
    return group.Items[static_cast<std::size_t>(item)].Weight;
}

bool Holds(const TGroup& group, std::int32_t bin, TLength weight, std::size_t pieces) {
    if (group.MaxPieces > 0 && pieces > static_cast<std::size_t>(group.MaxPieces)) return false;
    return weight <= BinOf(group, bin).Capacity;
}

// Bars each kind has left.
std::vector<std::int64_t> Left(const TGroup& group, const std::vector<TWorkBar>& bars) {
    std::vector<std::int64_t> left;
    for (const auto& bin : group.Bins)
        left.push_back(bin.Limit == kUnlimited ? INT64_MAX : bin.Limit);
    for (const auto& bar : bars) --left[static_cast<std::size_t>(bar.Bin)];
    return left;
}

// Every bar onto the cheapest kind with bars left that holds it, the fullest bars first;
// among equal costs the shortest that holds it, a remnant before new stock.
void Tighten(const TGroup& group, std::vector<TWorkBar>& bars) {
    auto left = Left(group, bars);
    std::vector<std::size_t> order(bars.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](auto a, auto b) { return bars[a].Weight > bars[b].Weight; });
    for (const auto i : order) {
        TWorkBar& bar = bars[i];
        std::int32_t best = bar.Bin;
        for (std::int32_t b = 0; b < static_cast<std::int32_t>(group.Bins.size()); ++b) {
            if (b == bar.Bin || left[static_cast<std::size_t>(b)] <= 0) continue;
            if (!Holds(group, b, bar.Weight, bar.Items.size())) continue;
            const TBin& cand = BinOf(group, b);
            const TBin& now = BinOf(group, best);
            if (cand.Cost < now.Cost || (cand.Cost == now.Cost && cand.Capacity < now.Capacity))
                best = b;
        }
        if (best != bar.Bin) {
            ++left[static_cast<std::size_t>(bar.Bin)];
            --left[static_cast<std::size_t>(best)];
            bar.Bin = best;
        }
    }
}

void Remove(TWorkBar& bar, std::size_t at, TLength weight) {
    bar.Items.erase(bar.Items.begin() + static_cast<std::ptrdiff_t>(at));
    bar.Weight -= weight;
}

// The store's remnants that are still unused, longest first, each filled with pieces taken
// from new bars (longest first); a new bar that is emptied so goes.
void UseRemnants(const TGroup& group, std::vector<TWorkBar>& bars) {
    auto left = Left(group, bars);
    std::vector<std::int32_t> kinds;
    for (std::int32_t b = 0; b < static_cast<std::int32_t>(group.Bins.size()); ++b)
        if (BinOf(group, b).Remnant) kinds.push_back(b);
    std::stable_sort(kinds.begin(), kinds.end(), [&](auto a, auto b) {
        return BinOf(group, a).Capacity > BinOf(group, b).Capacity;
    });
    for (const auto kind : kinds) {
        while (left[static_cast<std::size_t>(kind)] > 0) {
            TWorkBar fresh{kind, {}, 0};
            for (auto& bar : bars) {
                if (BinOf(group, bar.Bin).Remnant) continue;
                for (std::size_t p = 0; p < bar.Items.size();) {
                    const TLength w = WeightOf(group, bar.Items[p]);
                    if (Holds(group, kind, fresh.Weight + w, fresh.Items.size() + 1)) {
                        fresh.Items.push_back(bar.Items[p]);
                        fresh.Weight += w;
                        Remove(bar, p, w);
                    } else {
                        ++p;
                    }
                }
            }
            if (fresh.Items.empty()) break;
            bars.push_back(std::move(fresh));
            --left[static_cast<std::size_t>(kind)];
            std::erase_if(bars, [](const TWorkBar& bar) { return bar.Items.empty(); });
        }
    }
}

// Leftovers: fewer kept ones first, then more kept length (less waste).
struct TKeep {
    std::int64_t Count = 0;
    TLength Length = 0;
};

TKeep KeepOf(const TGroup& group, const TWorkBar& bar, TLength minRemnant) {
    const TLength leftover = BinOf(group, bar.Bin).Capacity - bar.Weight;
    return leftover >= minRemnant ? TKeep{1, leftover} : TKeep{0, 0};
}

bool KeepBetter(TKeep a, TKeep b) {
    return a.Count != b.Count ? a.Count < b.Count : a.Length > b.Length;
}

// One piece moved or two swapped between two bars, whenever the pair's leftovers get better.
// Returns whether anything moved.
bool GatherPass(const TGroup& group, std::vector<TWorkBar>& bars, TLength minRemnant,
                std::chrono::steady_clock::time_point deadline) {
    bool moved = false;
    for (std::size_t a = 0; a < bars.size(); ++a) {
        if (std::chrono::steady_clock::now() > deadline) return moved;
        for (std::size_t b = 0; b < bars.size(); ++b) {
            if (a == b || bars[a].Items.empty()) continue;
            TWorkBar& x = bars[a];
            TWorkBar& y = bars[b];
            const TKeep before{
                KeepOf(group, x, minRemnant).Count + KeepOf(group, y, minRemnant).Count,
                KeepOf(group, x, minRemnant).Length + KeepOf(group, y, minRemnant).Length};
            auto pairKeep = [&](TLength wx, TLength wy) {
                TWorkBar px{x.Bin, {}, wx}, py{y.Bin, {}, wy};
                const TKeep kx = wx == 0 && !BinOf(group, x.Bin).Remnant
                                     ? TKeep{}
                                     : KeepOf(group, px, minRemnant);
                const TKeep ky = KeepOf(group, py, minRemnant);
                return TKeep{kx.Count + ky.Count, kx.Length + ky.Length};
            };
            bool done = false;
            for (std::size_t p = 0; p < x.Items.size() && !done; ++p) {
                const TLength wp = WeightOf(group, x.Items[p]);
                // A move empties a remnant bar only never: the store's piece would go unused.
                if (x.Items.size() == 1 && BinOf(group, x.Bin).Remnant) break;
                if (Holds(group, y.Bin, y.Weight + wp, y.Items.size() + 1) &&
                    KeepBetter(pairKeep(x.Weight - wp, y.Weight + wp), before)) {
                    y.Items.push_back(x.Items[p]);
                    y.Weight += wp;
                    Remove(x, p, wp);
                    done = true;
                    break;
                }
                for (std::size_t q = 0; q < y.Items.size(); ++q) {
                    const TLength wq = WeightOf(group, y.Items[q]);
                    if (wq == wp) continue;
                    const TLength nx = x.Weight - wp + wq, ny = y.Weight - wq + wp;
                    if (!Holds(group, x.Bin, nx, x.Items.size()) ||
                        !Holds(group, y.Bin, ny, y.Items.size()))
                        continue;
                    if (KeepBetter(pairKeep(nx, ny), before)) {
                        std::swap(x.Items[p], y.Items[q]);
                        x.Weight = nx;
                        y.Weight = ny;
                        done = true;
                        break;
                    }
                }
            }
            moved = moved || done;
        }
    }
    std::erase_if(bars, [](const TWorkBar& bar) { return bar.Items.empty(); });
    return moved;
}

}  // namespace

std::vector<TWorkBar> ToBars(const TGroup& group, const TGroupPlan& plan) {
    std::vector<TWorkBar> bars;
    for (const auto& cut : plan.Cuts) {
        TWorkBar bar{cut.Bin, {}, PatternWeight(group, cut.Pattern)};
        for (const auto& [item, count] : cut.Pattern)
            bar.Items.insert(bar.Items.end(), static_cast<std::size_t>(count), item);
        for (std::int32_t c = 0; c < cut.Copies; ++c) bars.push_back(bar);
    }
    return bars;
}

TGroupPlan FromBars(const TGroup& group, const std::vector<TWorkBar>& bars) {
    std::map<std::pair<std::int32_t, TPattern>, std::int32_t> merged;
    for (const auto& bar : bars) {
        if (bar.Items.empty()) continue;
        std::map<std::int32_t, std::int32_t> count;
        for (const auto item : bar.Items) ++count[item];
        merged[{bar.Bin, TPattern(count.begin(), count.end())}] += 1;
    }
    TGroupPlan plan;
    for (auto& [key, copies] : merged) plan.Cuts.push_back({key.first, key.second, copies});
    Recount(group, plan);
    return plan;
}

TGroupPlan FirstFitDecreasing(const TGroup& group) {
    std::vector<TWorkBar> bars;
    auto left = Left(group, bars);
    // Items are longest first already.
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(group.Items.size()); ++i) {
        const TLength w = WeightOf(group, i);
        for (std::int32_t n = 0; n < group.Items[static_cast<std::size_t>(i)].Demand; ++n) {
            bool placed = false;
            for (auto& bar : bars) {
                if (Holds(group, bar.Bin, bar.Weight + w, bar.Items.size() + 1)) {
                    bar.Items.push_back(i);
                    bar.Weight += w;
                    placed = true;
                    break;
                }
            }
            if (placed) continue;
            std::int32_t open = -1;
            for (std::int32_t b = 0; b < static_cast<std::int32_t>(group.Bins.size()); ++b) {
                if (left[static_cast<std::size_t>(b)] <= 0 || !Holds(group, b, w, 1)) continue;
                if (open < 0) {
                    open = b;
                    continue;
                }
                const TBin& cand = BinOf(group, b);
                const TBin& now = BinOf(group, open);
                if (cand.Remnant != now.Remnant ? cand.Remnant : cand.Capacity > now.Capacity)
                    open = b;
            }
            if (open < 0) continue;
            --left[static_cast<std::size_t>(open)];
            bars.push_back({open, {i}, w});
        }
    }
    Tighten(group, bars);
    return FromBars(group, bars);
}

void Tighten(const TGroup& group, TGroupPlan& plan) {
    auto bars = ToBars(group, plan);
    Tighten(group, bars);
    plan = FromBars(group, bars);
}

void Improve(const TGroup& group, TGroupPlan& plan, TLength minRemnant,
             std::chrono::steady_clock::time_point deadline) {
    auto bars = ToBars(group, plan);
    Tighten(group, bars);
    UseRemnants(group, bars);
    Tighten(group, bars);
    if (minRemnant > 0) {
        while (GatherPass(group, bars, minRemnant, deadline)) {
        }
        Tighten(group, bars);
    }
    TGroupPlan better = FromBars(group, bars);
    // The moves keep every piece; the check guards the plan against a fault in them.
    if (better.UnplacedCount == plan.UnplacedCount && better.Cost <= plan.Cost) plan = better;
}

}  // namespace tandrel::plan::detail
