#pragma once
// The pricing step of the column generation: for each kind of bar, the pattern of the most
// value under the dual prices, exactly, by dynamic programming over the bar's length (in units
// of the greatest common divisor of every weight and capacity) and, with a piece limit, over the
// piece count. Bounded items go in as binary-split copies. Internal to the plan.

#include <cstdint>
#include <vector>

#include "plan/group.h"

namespace tandrel::plan::detail {

struct TPriced {
    double Value = 0;  // the sum of the prices of the pattern's pieces
    TPattern Pattern;
};

class TKnapsack {
  public:
    explicit TKnapsack(const TGroup& group);
    // The best pattern for every bin (an empty one with value 0 for a bin whose limit is 0 or
    // that nothing fits). price: per item; bound: the most pieces of each item a pattern may
    // hold. Items without a positive price are left out.
    std::vector<TPriced> Best(const std::vector<double>& price,
                              const std::vector<std::int32_t>& bound,
                              const std::vector<std::int32_t>& binLimit);

  private:
    struct TCopy {
        std::int32_t Item;
        std::int32_t Count;
        std::int32_t Weight;  // in units
        double Value;
    };
    const TGroup& group_;
    TLength unit_ = 1;
    std::vector<std::int32_t> weight_;    // per item, in units
    std::vector<std::int32_t> capacity_;  // per bin, in units
    std::vector<double> best_;
    std::vector<std::uint64_t> take_;
    std::vector<TCopy> copies_;
};

}  // namespace tandrel::plan::detail
