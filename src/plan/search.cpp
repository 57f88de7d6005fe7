#include "plan/search.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <set>

#include "plan/improve.h"
#include "plan/knapsack.h"
#include "plan/master.h"

namespace tandrel::plan::detail {
namespace {

// The solver's answers are exact to about this share of the costs; a bound is taken this much
// lower before it is rounded up, so that it never claims more than the program proves.
constexpr double kRelative = 1e-7;
// Departures from the dive's first choice tried at most.
constexpr int kMostDepartures = 6;

double Slack(double cost) {
    return kRelative * std::max(1.0, std::abs(cost));
}

class TSearcher {
  public:
    TSearcher(const TGroup& group, const TSearchLimits& limits,
              const std::function<void(const TGroupPlan&, double)>& improved)
        : group_(group), limits_(limits), improved_(improved), knapsack_(group),
          master_(static_cast<std::int32_t>(group.Items.size()), Limits()) {}

    TSearchResult Run(TGroupPlan start) {
        Recount(group_, start);
        best_ = std::move(start);
        SetUp();
        TNode root;
        for (const auto& item : group_.Items) root.Demand.push_back(item.Demand);
        root.Left = Limits();
        double bound = 0;
        if (!Solve(root, bound)) return {best_, 0, !Expired()};
        rootBound_ = bound;
        if (improved_) improved_(best_, rootBound_);
        for (int departures = 0; departures <= kMostDepartures; ++departures) {
            if (Optimal() || Expired() || nodes_ >= limits_.Nodes) break;
            Dive(root, departures);
        }
        return {best_, rootBound_, !Expired()};
    }

  private:
    struct TNode {
        std::vector<std::int32_t> Demand;
        std::vector<std::int32_t> Left;
        std::vector<TCut> Fixed;
        double Total = 0;
    };
    struct TColumn {
        std::int32_t Bin = -1;  // -1: a piece left out
        TPattern Pattern;
        double Cost = 0;
    };

    std::vector<std::int32_t> Limits() const {
        std::vector<std::int32_t> limits;
        for (const auto& bin : group_.Bins) limits.push_back(bin.Limit);
        return limits;
    }

    bool Expired() {
        if (limits_.Stop.stop_requested()) expired_ = true;
        if (!expired_ && std::chrono::steady_clock::now() >= limits_.Deadline) expired_ = true;
        return expired_;
    }

    double Total(const TGroupPlan& plan) const {
        return static_cast<double>(plan.Cost) + big_ * static_cast<double>(plan.UnplacedCount);
    }

    // Up to the next multiple of the costs' common divisor: no plan costs anything between.
    double RoundUp(double cost) const {
        const double unit = static_cast<double>(unit_);
        return std::ceil((cost - Slack(cost)) / unit) * unit;
    }

    bool Optimal() const { return Total(best_) <= RoundUp(rootBound_); }

    void AddColumn(std::int32_t bin, TPattern pattern, double cost) {
        if (!known_.insert({bin, pattern}).second) return;
        master_.AddColumn(cost, bin, pattern);
        columns_.push_back({bin, std::move(pattern), cost});
    }

    // The first columns: the start plan's patterns; each item alone on the cheapest unlimited
    // kind that holds it, so that every residual program has a solution; and, for an item no
    // unlimited kind holds, a column that leaves a piece out at a cost above any stock.
    void SetUp() {
        TLength unit = 0, limited = 0, dearest = 0;
        for (const auto& bin : group_.Bins) {
            if (bin.Cost > 0) unit = std::gcd(unit, bin.Cost);
            dearest = std::max(dearest, bin.Cost);
            if (bin.Limit != kUnlimited) limited += bin.Cost * bin.Limit;
        }
        unit_ = std::max<TLength>(unit, 1);
        const TLength big = limited + dearest + 1;
        big_ = static_cast<double>((big + unit_ - 1) / unit_ * unit_);
        for (const auto& cut : best_.Cuts)
            AddColumn(cut.Bin, cut.Pattern, static_cast<double>(group_.Bins[cut.Bin].Cost));
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(group_.Items.size()); ++i) {
            std::int32_t cheapest = -1;
            for (std::int32_t b = 0; b < static_cast<std::int32_t>(group_.Bins.size()); ++b) {
                const TBin& bin = group_.Bins[static_cast<std::size_t>(b)];
                if (bin.Limit != kUnlimited || !PatternFits(group_, b, {{i, 1}})) continue;
                if (cheapest < 0 || bin.Cost < group_.Bins[static_cast<std::size_t>(cheapest)].Cost)
                    cheapest = b;
            }
            if (cheapest >= 0) {
                AddColumn(cheapest, {{i, 1}},
                          static_cast<double>(group_.Bins[static_cast<std::size_t>(cheapest)].Cost));
            } else {
                slack_.push_back(i);
                AddColumn(-1, {{i, 1}}, big_);
            }
        }
    }

    // Column generation on the node's residual program. bound: a Lagrangian bound on the
    // residual's cost, valid whatever the program's prices are; the values of the last solve
    // are left in values_.
    bool Solve(const TNode& node, double& bound) {
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(node.Demand.size()); ++i)
            master_.SetDemand(i, node.Demand[static_cast<std::size_t>(i)]);
        for (std::int32_t b = 0; b < static_cast<std::int32_t>(node.Left.size()); ++b)
            master_.SetBinLimit(b, node.Left[static_cast<std::size_t>(b)]);
        std::int64_t pieces = 0;
        for (const auto d : node.Demand) pieces += d;
        bound = -std::numeric_limits<double>::infinity();
        std::vector<double> price(group_.Items.size());
        while (true) {
            if (!master_.Solve()) return false;
            const double objective = master_.Objective();
            for (std::size_t i = 0; i < price.size(); ++i)
                price[i] = master_.ItemPrice(static_cast<std::int32_t>(i));
            const auto priced = knapsack_.Best(price, node.Demand, node.Left);
            double lagrange = 0;
            for (std::size_t i = 0; i < price.size(); ++i) lagrange += price[i] * node.Demand[i];
            bool added = false;
            for (std::int32_t b = 0; b < static_cast<std::int32_t>(group_.Bins.size()); ++b) {
                const auto left = node.Left[static_cast<std::size_t>(b)];
                if (left == 0) continue;
                const double binPrice = master_.BinPrice(b);
                const double most = left == kUnlimited ? static_cast<double>(pieces)
                                                       : std::min<double>(left, pieces);
                if (left != kUnlimited) lagrange += binPrice * left;
                const auto& best = priced[static_cast<std::size_t>(b)];
                const double cost = static_cast<double>(group_.Bins[static_cast<std::size_t>(b)].Cost);
                const double reduced = cost - best.Value - binPrice;
                if (reduced < 0) lagrange += reduced * most;
                if (reduced < -Slack(cost) && !best.Pattern.empty() &&
                    !known_.contains({b, best.Pattern})) {
                    AddColumn(b, best.Pattern, cost);
                    added = true;
                }
            }
            for (const auto i : slack_) {
                const double reduced = big_ - price[static_cast<std::size_t>(i)];
                if (reduced < 0) lagrange += reduced * node.Demand[static_cast<std::size_t>(i)];
            }
            bound = std::max(bound, lagrange);
            if (!added) break;
            // Once the bound and the program round up to the same cost, more columns cannot
            // change what the integer step learns here.
            if (RoundUp(node.Total + bound) >= RoundUp(node.Total + objective)) break;
            if (Expired()) break;
        }
        values_.assign(static_cast<std::size_t>(master_.Columns()), 0.0);
        for (std::int32_t j = 0; j < master_.Columns(); ++j) values_[static_cast<std::size_t>(j)] = master_.Value(j);
        return true;
    }

    // Fixes copies of column j in the node, each cut down to what is still wanted. Returns
    // whether anything was fixed.
    bool Fix(TNode& node, std::int32_t j, std::int32_t copies) const {
        const TColumn& column = columns_[static_cast<std::size_t>(j)];
        bool fixed = false;
        for (std::int32_t c = 0; c < copies; ++c) {
            if (column.Bin < 0) {
                auto& want = node.Demand[static_cast<std::size_t>(column.Pattern[0].first)];
                if (want == 0) break;
                --want;
                node.Total += big_;
                fixed = true;
                continue;
            }
            auto& left = node.Left[static_cast<std::size_t>(column.Bin)];
            if (left == 0) break;
            TPattern cut;
            for (const auto& [item, count] : column.Pattern) {
                const auto take = std::min(count, node.Demand[static_cast<std::size_t>(item)]);
                if (take > 0) cut.emplace_back(item, take);
            }
            if (cut.empty()) break;
            for (const auto& [item, count] : cut) node.Demand[static_cast<std::size_t>(item)] -= count;
            if (left != kUnlimited) --left;
            node.Total += column.Cost;
            node.Fixed.push_back({column.Bin, std::move(cut), 1});
            fixed = true;
        }
        return fixed;
    }

    // The node's fixed bars, and the rest by first-fit decreasing.
    void Finish(const TNode& node) {
        TGroup rest = group_;
        for (std::size_t i = 0; i < rest.Items.size(); ++i) rest.Items[i].Demand = node.Demand[i];
        for (std::size_t b = 0; b < rest.Bins.size(); ++b) rest.Bins[b].Limit = node.Left[b];
        TGroupPlan plan = FirstFitDecreasing(rest);
        plan.Cuts.insert(plan.Cuts.end(), node.Fixed.begin(), node.Fixed.end());
        Offer(std::move(plan));
    }

    void Offer(TGroupPlan plan) {
        Recount(group_, plan);
        Tighten(group_, plan);
        if (Total(plan) >= Total(best_)) return;
        best_ = std::move(plan);
        if (improved_) improved_(best_, rootBound_);
    }

    void Dive(const TNode& node, int departures) {
        if (Expired() || Optimal() || nodes_ >= limits_.Nodes) return;
        bool empty = true;
        for (const auto d : node.Demand) empty = empty && d == 0;
        if (empty) return Finish(node);
        ++nodes_;
        double bound = 0;
        if (!Solve(node, bound)) return;
        if (RoundUp(node.Total + bound) >= Total(best_)) return;
        std::vector<std::pair<double, std::int32_t>> used;
        for (std::int32_t j = 0; j < static_cast<std::int32_t>(values_.size()); ++j)
            if (values_[static_cast<std::size_t>(j)] > 1e-6) used.emplace_back(values_[static_cast<std::size_t>(j)], j);

        // Rounded down, and the rest first-fit: a plan at every node.
        TNode whole = node;
        bool fixed = false;
        for (const auto& [value, j] : used)
            fixed = Fix(whole, j, static_cast<std::int32_t>(std::floor(value + 1e-6))) || fixed;
        Finish(whole);
        if (fixed) return Dive(whole, departures);

        std::stable_sort(used.begin(), used.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        int tried = 0;
        for (const auto& [value, j] : used) {
            if (tried > departures || Expired() || Optimal()) break;
            TNode child = node;
            if (!Fix(child, j, 1)) continue;
            Dive(child, departures - tried);
            ++tried;
        }
    }

    const TGroup& group_;
    const TSearchLimits& limits_;
    const std::function<void(const TGroupPlan&, double)>& improved_;
    TKnapsack knapsack_;
    TMaster master_;
    std::vector<TColumn> columns_;
    std::set<std::pair<std::int32_t, TPattern>> known_;
    std::vector<std::int32_t> slack_;
    std::vector<double> values_;
    TGroupPlan best_;
    double rootBound_ = 0;
    double big_ = 0;
    TLength unit_ = 1;
    std::int64_t nodes_ = 0;
    bool expired_ = false;
};

}  // namespace

TSearchResult Search(const TGroup& group, TGroupPlan start, const TSearchLimits& limits,
                     const std::function<void(const TGroupPlan&, double)>& improved) {
    TSearcher searcher(group, limits, improved);
    return searcher.Run(std::move(start));
}

TLength RoundUpStock(const TGroup& group, double cost) {
    struct TKind {
        TLength Cost;
        std::int64_t Limit;
    };
    std::vector<TKind> kinds;
    TLength unit = 0;
    for (const auto& bin : group.Bins) {
        if (bin.Cost <= 0) continue;
        unit = std::gcd(unit, bin.Cost);
        kinds.push_back({bin.Cost, bin.Limit == kUnlimited ? INT64_MAX : bin.Limit});
    }
    const double floorCost = std::max(0.0, cost - Slack(cost));
    const auto target = static_cast<TLength>(std::ceil(floorCost));
    if (kinds.empty() || target <= 0) return std::max<TLength>(target, 0);
    std::stable_sort(kinds.begin(), kinds.end(),
                     [](const TKind& a, const TKind& b) { return a.Cost > b.Cost; });
    TLength best = std::numeric_limits<TLength>::max();
    std::int64_t work = 0;
    constexpr std::int64_t kMostWork = 2000000;
    // The least sum at least target, longest kinds first; each kind's count from 0 up.
    std::function<void(std::size_t, TLength)> walk = [&](std::size_t k, TLength sum) {
        if (++work > kMostWork || sum >= best) return;
        if (sum >= target) {
            best = sum;
            return;
        }
        if (k == kinds.size()) return;
        for (std::int64_t n = 0; n <= kinds[k].Limit; ++n) {
            const TLength next = sum + n * kinds[k].Cost;
            walk(k + 1, next);
            if (next >= target || work > kMostWork) break;
        }
    };
    walk(0, 0);
    if (work <= kMostWork && best != std::numeric_limits<TLength>::max()) return best;
    // Too much work, or more than the stock can give: the common divisor's multiple.
    return (target + unit - 1) / unit * unit;
}

}  // namespace tandrel::plan::detail
