#pragma once
// Sizes that fill bars of 6000 mm exactly, three pieces a bar, each just over a quarter to just
// under a half of the bar, shuffled: only a plan that finds every fill reaches the bound, so the
// search runs for seconds. The same sizes every time.

#include <algorithm>
#include <random>
#include <vector>

namespace tandrel::testing {

inline std::vector<int> ExactTripleSizes(int bars) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> size(1501, 2999);
    std::vector<int> sizes;
    while (static_cast<int>(sizes.size()) < 3 * bars) {
        const int first = size(rng), second = size(rng), last = 6000 - first - second;
        if (last < 1501 || last > 2999) continue;
        sizes.insert(sizes.end(), {first, second, last});
    }
    std::shuffle(sizes.begin(), sizes.end(), rng);
    return sizes;
}

}  // namespace tandrel::testing
