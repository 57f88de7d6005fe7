#include "plan/knapsack.h"

#include <algorithm>
#include <numeric>

namespace tandrel::plan::detail {
namespace {
// A value must beat the one it replaces by more than the prices' rounding, so that equal
// patterns are chosen the same way every time.
constexpr double kGain = 1e-9;
}  // namespace

TKnapsack::TKnapsack(const TGroup& group) : group_(group) {
    TLength unit = 0;
    for (const auto& item : group.Items) unit = std::gcd(unit, item.Weight);
    for (const auto& bin : group.Bins) unit = std::gcd(unit, bin.Capacity);
    unit_ = std::max<TLength>(unit, 1);
    for (const auto& item : group.Items)
        weight_.push_back(static_cast<std::int32_t>(item.Weight / unit_));
    for (const auto& bin : group.Bins)
        capacity_.push_back(static_cast<std::int32_t>(std::max<TLength>(bin.Capacity, 0) / unit_));
}

std::vector<TPriced> TKnapsack::Best(const std::vector<double>& price,
                                     const std::vector<std::int32_t>& bound,
                                     const std::vector<std::int32_t>& binLimit) {
    std::vector<TPriced> out(group_.Bins.size());
    std::int32_t capacity = 0;
    for (std::size_t b = 0; b < capacity_.size(); ++b)
        if (binLimit[b] != 0) capacity = std::max(capacity, capacity_[b]);
    const auto maxPieces = group_.MaxPieces;

    copies_.clear();
    std::int32_t mostPieces = 0;
    for (std::size_t i = 0; i < weight_.size(); ++i) {
        if (!(price[i] > 0) || weight_[i] > capacity || bound[i] <= 0) continue;
        std::int32_t left = std::min(bound[i], capacity / weight_[i]);
        if (maxPieces > 0) left = std::min(left, maxPieces);
        mostPieces += left;
        for (std::int32_t m = 1; left > 0; m *= 2) {
            const std::int32_t take = std::min(m, left);
            copies_.push_back(
                {static_cast<std::int32_t>(i), take, take * weight_[i], take * price[i]});
            left -= take;
        }
    }
    if (copies_.empty()) return out;

    const std::int32_t layers = maxPieces > 0 ? std::min(maxPieces, mostPieces) + 1 : 1;
    const std::size_t width = static_cast<std::size_t>(capacity) + 1;
    const std::size_t cells = width * static_cast<std::size_t>(layers);
    best_.assign(cells, 0.0);
    take_.assign((cells * copies_.size() + 63) / 64, 0);
    auto setTake = [&](std::size_t bit) { take_[bit / 64] |= std::uint64_t{1} << (bit % 64); };
    auto taken = [&](std::size_t bit) { return (take_[bit / 64] >> (bit % 64)) & 1; };

    for (std::size_t j = 0; j < copies_.size(); ++j) {
        const TCopy& copy = copies_[j];
        const std::size_t base = j * cells;
        // Layers and lengths downwards, so that each copy is taken at most once.
        for (std::int32_t k = layers - 1; k >= 0; --k) {
            const std::int32_t from = layers == 1 ? 0 : k - copy.Count;
            if (from < 0) continue;
            double* row = best_.data() + static_cast<std::size_t>(k) * width;
            const double* src = best_.data() + static_cast<std::size_t>(from) * width;
            for (std::int32_t c = capacity; c >= copy.Weight; --c) {
                const double candidate = src[c - copy.Weight] + copy.Value;
                if (candidate > row[c] + kGain) {
                    row[c] = candidate;
                    setTake(base + static_cast<std::size_t>(k) * width +
                            static_cast<std::size_t>(c));
                }
            }
        }
    }

    for (std::size_t b = 0; b < out.size(); ++b) {
        if (binLimit[b] == 0) continue;
        std::int32_t c = std::min(capacity_[b], capacity);
        std::int32_t k = layers - 1;
        out[b].Value = best_[static_cast<std::size_t>(k) * width + static_cast<std::size_t>(c)];
        std::vector<std::int32_t> count(weight_.size(), 0);
        for (std::size_t j = copies_.size(); j-- > 0;) {
            const std::size_t bit =
                j * cells + static_cast<std::size_t>(k) * width + static_cast<std::size_t>(c);
            if (!taken(bit)) continue;
            count[static_cast<std::size_t>(copies_[j].Item)] += copies_[j].Count;
            c -= copies_[j].Weight;
            if (layers > 1) k -= copies_[j].Count;
        }
        for (std::size_t i = 0; i < count.size(); ++i)
            if (count[i] > 0) out[b].Pattern.emplace_back(static_cast<std::int32_t>(i), count[i]);
    }
    return out;
}

}  // namespace tandrel::plan::detail
