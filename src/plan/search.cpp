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
// Pricing rounds at a node below the root: a dive needs the program's direction more than its
// last column, and each round costs a solve.
constexpr int kNodeRounds = 5;
// Steps of one exact search over the patterns.
constexpr std::int64_t kCoverWork = 30000;

double Slack(double cost) {
    return kRelative * std::max(1.0, std::abs(cost));
}

class TSearcher {
  public:
    TSearcher(const TGroup& group, const TSearchLimits& limits,
              const std::function<void(const TGroupPlan&, double)>& improved)
        : group_(group),
          limits_(limits),
          improved_(improved),
          knapsack_(group),
          master_(static_cast<std::int32_t>(group.Items.size()), Limits()) {}

    TSearchResult Run(TGroupPlan start) {
        Recount(group_, start);
        best_ = std::move(start);
        SetUp();
        TNode root;
        for (const auto& item : group_.Items) root.Demand.push_back(item.Demand);
        root.Left = Limits();
        double bound = 0;
        if (!Solve(root, bound, std::numeric_limits<int>::max())) return {best_, 0, !Expired()};
        rootBound_ = bound;
        if (improved_) improved_(best_, rootBound_);
        // Even when the root's program used up the time, its rounding is a plan.
        TNode rounded = root;
        RoundDown(rounded, Used());
        for (int departures = 0; departures <= kMostDepartures; ++departures) {
            if (Optimal() || Expired() || nodes_ >= limits_.Nodes) break;
            Dive(root, departures);
            if (!Optimal() && slack_.empty()) Cover(root);
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
                AddColumn(
                    cheapest, {{i, 1}},
                    static_cast<double>(group_.Bins[static_cast<std::size_t>(cheapest)].Cost));
            } else {
                slack_.push_back(i);
                AddColumn(-1, {{i, 1}}, big_);
            }
        }
    }

    // Column generation on the node's residual program, at most rounds pricing rounds. bound: a
    // Lagrangian bound on the residual's cost, valid whatever the program's prices are; the
    // values of the last solve are left in values_.
    bool Solve(const TNode& node, double& bound, int rounds) {
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(node.Demand.size()); ++i)
            master_.SetDemand(i, node.Demand[static_cast<std::size_t>(i)]);
        for (std::int32_t b = 0; b < static_cast<std::int32_t>(node.Left.size()); ++b)
            master_.SetBinLimit(b, node.Left[static_cast<std::size_t>(b)]);
        std::int64_t pieces = 0;
        for (const auto d : node.Demand) pieces += d;
        bound = -std::numeric_limits<double>::infinity();
        std::vector<double> price(group_.Items.size());
        for (int round = 1;; ++round) {
            if (!master_.Solve()) return false;
            const double objective = master_.Objective();
            values_.assign(static_cast<std::size_t>(master_.Columns()), 0.0);
            for (std::size_t j = 0; j < values_.size(); ++j)
                values_[j] = master_.Value(static_cast<std::int32_t>(j));
            for (std::size_t i = 0; i < price.size(); ++i)
                price[i] = master_.ItemPrice(static_cast<std::int32_t>(i));
            const auto priced = knapsack_.Best(price, node.Demand, node.Left);
            double lagrange = 0;
            for (std::size_t i = 0; i < price.size(); ++i) lagrange += price[i] * node.Demand[i];
            const double priceOfDemand = lagrange;
            const double budget = std::max(0.0, Total(best_) - node.Total);
            // With only unlimited stock, the prices scaled down by the best pattern's ratio of
            // value to cost are a solution of the dual program (Farley's bound).
            bool farley = slack_.empty();
            double ratio = 1;
            bool added = false;
            for (std::int32_t b = 0; b < static_cast<std::int32_t>(group_.Bins.size()); ++b) {
                const auto left = node.Left[static_cast<std::size_t>(b)];
                if (left == 0) continue;
                const double binPrice = master_.BinPrice(b);
                const auto& best = priced[static_cast<std::size_t>(b)];
                const double cost =
                    static_cast<double>(group_.Bins[static_cast<std::size_t>(b)].Cost);
                // A plan that beats the best one takes no more bars of a kind than its cost
                // allows: the bound holds for every such plan, so it holds for the optimum.
                double most = left == kUnlimited ? static_cast<double>(pieces)
                                                 : std::min<double>(left, pieces);
                if (cost > 0) most = std::min(most, std::floor(budget / cost));
                if (left != kUnlimited) lagrange += binPrice * left;
                farley = farley && left == kUnlimited && cost > 0;
                ratio = std::max(ratio, cost > 0 ? best.Value / cost : 0.0);
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
            if (farley) bound = std::max(bound, priceOfDemand / ratio);
            if (!added) break;
            // Once the bound and the program round up to the same cost, more columns cannot
            // change what the integer step learns here.
            if (RoundUp(node.Total + bound) >= RoundUp(node.Total + objective)) break;
            if (Expired() || round >= rounds) break;
        }
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
            for (const auto& [item, count] : cut)
                node.Demand[static_cast<std::size_t>(item)] -= count;
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

    // An exact search over the patterns found so far: the longest piece still wanted goes into
    // each pattern that holds it in turn, the least waste first, while what the rest needs can
    // still beat the best plan. It finds the exact fills a dive misses by one wrong choice.
    void Cover(const TNode& root) {
        std::vector<std::int32_t> usable;
        for (std::int32_t j = 0; j < static_cast<std::int32_t>(columns_.size()); ++j)
            if (columns_[static_cast<std::size_t>(j)].Bin >= 0) usable.push_back(j);
        auto waste = [&](std::int32_t j) {
            const TColumn& c = columns_[static_cast<std::size_t>(j)];
            return group_.Bins[static_cast<std::size_t>(c.Bin)].Capacity -
                   PatternWeight(group_, c.Pattern);
        };
        std::stable_sort(usable.begin(), usable.end(),
                         [&](auto a, auto b) { return waste(a) < waste(b); });
        holding_.assign(group_.Items.size(), {});
        for (const auto j : usable)
            for (const auto& entry : columns_[static_cast<std::size_t>(j)].Pattern)
                holding_[static_cast<std::size_t>(entry.first)].push_back(j);
        rate_ = 0;
        for (const auto& bin : group_.Bins)
            if (bin.Cost > 0) {
                const double r = static_cast<double>(bin.Cost) / static_cast<double>(bin.Capacity);
                rate_ = rate_ == 0 ? r : std::min(rate_, r);
            }
        TNode node = root;
        std::int64_t work = kCoverWork;
        CoverStep(node, work);
    }

    void CoverStep(TNode& node, std::int64_t& work) {
        if (--work < 0 || Expired() || Optimal()) return;
        auto fitsNow = [&](std::int32_t j) {
            const TColumn& column = columns_[static_cast<std::size_t>(j)];
            if (node.Left[static_cast<std::size_t>(column.Bin)] == 0) return false;
            for (const auto& [i, count] : column.Pattern)
                if (count > node.Demand[static_cast<std::size_t>(i)]) return false;
            return true;
        };
        std::size_t item = 0;
        while (item < node.Demand.size() && node.Demand[item] == 0) ++item;
        if (item == node.Demand.size()) return Finish(node);
        double need = 0;
        for (std::size_t i = 0; i < node.Demand.size(); ++i)
            need +=
                static_cast<double>(node.Demand[i]) * static_cast<double>(group_.Items[i].Weight);
        for (std::size_t b = 0; b < group_.Bins.size(); ++b)
            if (group_.Bins[b].Remnant)
                need -= static_cast<double>(node.Left[b]) * group_.Bins[b].Capacity;
        if (RoundUp(node.Total + std::max(0.0, need) * rate_) >= Total(best_)) return;
        bool any = false;
        for (const auto j : holding_[item]) {
            if (!fitsNow(j)) continue;
            const TColumn& column = columns_[static_cast<std::size_t>(j)];
            auto& left = node.Left[static_cast<std::size_t>(column.Bin)];
            any = true;
            for (const auto& [i, count] : column.Pattern)
                node.Demand[static_cast<std::size_t>(i)] -= count;
            if (left != kUnlimited) --left;
            node.Total += column.Cost;
            node.Fixed.push_back({column.Bin, column.Pattern, 1});
            CoverStep(node, work);
            node.Fixed.pop_back();
            node.Total -= column.Cost;
            if (left != kUnlimited) ++left;
            for (const auto& [i, count] : column.Pattern)
                node.Demand[static_cast<std::size_t>(i)] += count;
            if (work < 0 || Expired() || Optimal()) return;
        }
        // No pattern found so far holds what is left: first-fit finishes it.
        if (!any) Finish(node);
    }

    // The columns the last program used, with their values.
    std::vector<std::pair<double, std::int32_t>> Used() const {
        std::vector<std::pair<double, std::int32_t>> used;
        for (std::size_t j = 0; j < values_.size(); ++j)
            if (values_[j] > 1e-6) used.emplace_back(values_[j], static_cast<std::int32_t>(j));
        return used;
    }

    // The program's solution rounded down into the node, and the rest first-fit: a plan at
    // every node. Returns whether anything was fixed.
    bool RoundDown(TNode& node, const std::vector<std::pair<double, std::int32_t>>& used) {
        bool fixed = false;
        for (const auto& [value, j] : used)
            fixed = Fix(node, j, static_cast<std::int32_t>(std::floor(value + 1e-6))) || fixed;
        Finish(node);
        return fixed;
    }

    void Dive(const TNode& node, int departures) {
        if (Expired() || Optimal() || nodes_ >= limits_.Nodes) return;
        bool empty = true;
        for (const auto d : node.Demand) empty = empty && d == 0;
        if (empty) return Finish(node);
        ++nodes_;
        double bound = 0;
        if (!Solve(node, bound, kNodeRounds)) return;
        if (RoundUp(node.Total + bound) >= Total(best_)) return;
        auto used = Used();
        TNode whole = node;
        if (RoundDown(whole, used)) return Dive(whole, departures);

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
    std::vector<std::vector<std::int32_t>> holding_;  // per item: the patterns that hold it
    double rate_ = 0;                                 // least new stock per length held
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
