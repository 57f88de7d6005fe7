#pragma once
// The linear program of the pattern formulation on CLP, the one file that knows the solver:
// minimise the cost of the columns used, every item's row covered at least its demand, every
// counted kind of bar's row at most its limit. Columns are added as the pricing finds them; the
// rows' bounds and the columns' upper bounds change as the integer step fixes patterns, and
// each solve starts from the last basis. Single-threaded; one object per thread.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace tandrel::plan::detail {

class TMaster {
  public:
    // items rows (demand 0 until set), then one row per limit that is not unlimited.
    TMaster(std::int32_t items, const std::vector<std::int32_t>& binLimits);
    ~TMaster();
    TMaster(const TMaster&) = delete;
    TMaster& operator=(const TMaster&) = delete;

    // column: cost, the bin it takes (or -1 for none) and (item, count) pairs. Returns its index.
    std::int32_t AddColumn(double cost, std::int32_t bin,
                           const std::vector<std::pair<std::int32_t, std::int32_t>>& items);
    void SetDemand(std::int32_t item, double demand);
    void SetBinLimit(std::int32_t bin, double limit);  // ignored for an unlimited bin
    void SetColumnUpper(std::int32_t column, double upper);

    // Solves from the last basis. False when the program has no solution or CLP gave up.
    bool Solve();
    double Objective() const;
    double Value(std::int32_t column) const;
    double ItemPrice(std::int32_t item) const;  // the row's dual, never below 0
    double BinPrice(std::int32_t bin) const;    // the row's dual, never above 0; 0 if unlimited
    std::int32_t Columns() const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

}  // namespace tandrel::plan::detail
