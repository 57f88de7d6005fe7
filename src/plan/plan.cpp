#include "plan/plan.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <map>
#include <stdexcept>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "plan/group.h"
#include "plan/improve.h"
#include "plan/plan_input.h"
#include "plan/search.h"

namespace tandrel::plan {
namespace {

using detail::TGroup;
using detail::TGroupPlan;

// A group with the pieces behind each item and the entries behind each kind of bar.
struct TGroupSource {
    TGroup Group;
    std::vector<std::vector<std::int32_t>> ItemPieces;  // per item, in the list's order
};

bool HoldsOne(const TCutSettings& cut, TLength length, bool newBar, TLength piece) {
    return Fits(cut, length, newBar, piece, 1);
}

std::vector<TGroupSource> MakeGroups(const TProblem& problem) {
    std::map<std::string, std::vector<std::int32_t>> byMaterial;
    for (std::int32_t p = 0; p < static_cast<std::int32_t>(problem.Pieces.size()); ++p)
        byMaterial[problem.Pieces[static_cast<std::size_t>(p)].Material].push_back(p);
    std::vector<TGroupSource> groups;
    for (auto& [material, pieces] : byMaterial) {
        TGroupSource source;
        TGroup& group = source.Group;
        group.MaxPieces = problem.Cut.MaxPieces;
        group.PieceCount = static_cast<std::int32_t>(pieces.size());
        std::stable_sort(pieces.begin(), pieces.end(), [&](auto a, auto b) {
            const auto& pa = problem.Pieces[static_cast<std::size_t>(a)];
            const auto& pb = problem.Pieces[static_cast<std::size_t>(b)];
            return pa.Length != pb.Length ? pa.Length > pb.Length : pa.Row < pb.Row;
        });
        for (const auto p : pieces) {
            const TLength length = problem.Pieces[static_cast<std::size_t>(p)].Length;
            if (group.Items.empty() || group.Items.back().Length != length) {
                group.Items.push_back({length, length + problem.Cut.Kerf, 0});
                source.ItemPieces.emplace_back();
            }
            ++group.Items.back().Demand;
            source.ItemPieces.back().push_back(p);
        }
        // New stock by length, longest first; then the store's remnants by length.
        std::map<TLength, detail::TBin, std::greater<>> stock, remnants;
        for (std::int32_t s = 0; s < static_cast<std::int32_t>(problem.Stock.size()); ++s) {
            const TStock& entry = problem.Stock[static_cast<std::size_t>(s)];
            if (entry.Material != material || entry.Length - problem.Cut.Head <= 0) continue;
            auto& bin = stock[entry.Length];
            if (bin.Sources.empty()) {
                bin = {entry.Length, entry.Length - problem.Cut.Head, entry.Length, 0, false, {}};
            }
            if (bin.Limit != kUnlimited)
                bin.Limit = entry.Count == kUnlimited ? kUnlimited : bin.Limit + entry.Count;
            bin.Sources.push_back(s);
        }
        for (std::int32_t r = 0; r < static_cast<std::int32_t>(problem.Remnants.size()); ++r) {
            const TRemnant& entry = problem.Remnants[static_cast<std::size_t>(r)];
            if (entry.Material != material) continue;
            auto& bin = remnants[entry.Length];
            if (bin.Sources.empty()) bin = {entry.Length, entry.Length, 0, 0, true, {}};
            ++bin.Limit;
            bin.Sources.push_back(r);
        }
        for (auto& [length, bin] : stock) group.Bins.push_back(std::move(bin));
        for (auto& [length, bin] : remnants) group.Bins.push_back(std::move(bin));
        groups.push_back(std::move(source));
    }
    return groups;
}

// What the pieces take beyond the store's remnants, at the best rate any stock gives.
double MaterialBound(const TGroup& group) {
    double need = 0, rate = 0;
    for (const auto& item : group.Items) need += static_cast<double>(item.Weight) * item.Demand;
    for (const auto& bin : group.Bins) {
        if (bin.Remnant) {
            need -= static_cast<double>(bin.Capacity) * bin.Limit;
        } else {
            const double r = static_cast<double>(bin.Cost) / static_cast<double>(bin.Capacity);
            rate = rate == 0 ? r : std::min(rate, r);
        }
    }
    return std::max(0.0, need) * rate;
}

struct TGroupResult {
    TGroupPlan Plan;
    TLength Bound = 0;
    TLength FirstFit = 0;
    bool Finished = true;
};

TGroupResult PlanGroup(const TGroup& group, TLength minRemnant,
                       std::chrono::steady_clock::time_point deadline, std::stop_token stop,
                       const std::function<void(TLength, TLength)>& progress) {
    TGroupResult out;
    out.Plan = detail::FirstFitDecreasing(group);
    out.FirstFit = out.Plan.Cost;
    double bound = MaterialBound(group);
    const auto now = std::chrono::steady_clock::now();
    // A tenth of the group's time stays for the finishing moves.
    const auto searchEnd = now + (deadline - now) * 9 / 10;
    try {
        const detail::TSearchLimits limits{searchEnd, stop};
        auto result =
            detail::Search(group, out.Plan, limits, [&](const TGroupPlan& best, double lower) {
                if (progress)
                    progress(best.Cost, detail::RoundUpStock(group, std::max(bound, lower)));
            });
        out.Plan = std::move(result.Plan);
        bound = std::max(bound, result.Bound);
        out.Finished = result.Finished;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (...) {
        // The solver failed on this problem (CLP raises its own CoinError): the start plan
        // stands, with the simple bound.
        out.Finished = false;
    }
    detail::Improve(group, out.Plan, minRemnant, deadline);
    out.Bound = detail::RoundUpStock(group, bound);
    if (out.Plan.UnplacedCount == 0) out.Bound = std::min(out.Bound, out.Plan.Cost);
    return out;
}

}  // namespace

bool Fits(const TCutSettings& cut, TLength length, bool newBar, TLength piecesTotal,
          std::int32_t pieceCount) {
    if (cut.MaxPieces > 0 && pieceCount > cut.MaxPieces) return false;
    return (newBar ? cut.Head : 0) + piecesTotal + pieceCount * cut.Kerf <= length;
}

TLength ToTenths(double millimetres) {
    // A size is rounded as it was written: the shortest decimal that reads back as this double
    // ("1234.45", a tie, goes to 12344 although the double lies a little above it).
    char text[64];
    const auto written =
        std::to_chars(text, text + sizeof text, millimetres, std::chars_format::fixed);
    std::int64_t tenths = 0;
    if (written.ec == std::errc() &&
        ParseDecimal(std::string_view(text, static_cast<std::size_t>(written.ptr - text)), 10,
                     INT64_MAX / 100, tenths)
            .empty())
        return tenths;
    return static_cast<TLength>(RoundScaledExact(millimetres, 10));
}

std::string FormatTenths(TLength tenths) {
    const bool negative = tenths < 0;
    const TLength magnitude = negative ? -tenths : tenths;
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10);
    if (magnitude % 10 != 0) text += "." + std::to_string(magnitude % 10);
    return text;
}

std::string CheckProblem(const TProblem& problem) {
    const TCutSettings& cut = problem.Cut;
    if (cut.Kerf < 0 || cut.Head < 0 || cut.MinRemnant < 0 || cut.MaxPieces < 0)
        return "пропил, торец, наименьший остаток и число деталей не могут быть меньше 0"_cp1251;
    for (const auto& stock : problem.Stock)
        if (stock.Length <= 0 || (stock.Count != kUnlimited && stock.Count <= 0))
            return "длина и число хлыстов должны быть больше 0"_cp1251;
    for (const auto& remnant : problem.Remnants)
        if (remnant.Length <= 0) return "остаток "_cp1251 + remnant.Id + " без длины"_cp1251;
    for (const auto& stock : problem.Stock)
        if (stock.Length > kLongestBar) return "хлыст длиннее 100 м"_cp1251;
    for (const auto& remnant : problem.Remnants)
        if (remnant.Length > kLongestBar)
            return "остаток "_cp1251 + remnant.Id + " длиннее 100 м"_cp1251;
    if (problem.Stock.empty() && problem.Remnants.empty() && !problem.Pieces.empty())
        return "не задано ни одного хлыста"_cp1251;
    for (const auto& piece : problem.Pieces) {
        const std::string where = "деталь "_cp1251 + FormatTenths(piece.Length) +
                                  " мм (строка "_cp1251 + std::to_string(piece.Row) + ")";
        if (piece.Length <= 0) return where + " без длины"_cp1251;
        bool fits = false;
        for (const auto& stock : problem.Stock)
            fits = fits || (stock.Material == piece.Material &&
                            HoldsOne(cut, stock.Length, true, piece.Length));
        for (const auto& remnant : problem.Remnants)
            fits = fits || (remnant.Material == piece.Material &&
                            HoldsOne(cut, remnant.Length, false, piece.Length));
        if (!fits) return where + " длиннее любого хлыста"_cp1251;
    }
    return "";
}

TPlan MakePlan(const TProblem& problem, const TPlanOptions& options, std::stop_token stop) {
    if (const std::string why = CheckProblem(problem); !why.empty())
        throw std::invalid_argument(why);
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + options.TimeLimit;
    auto groups = MakeGroups(problem);

    TPlan plan;
    std::int64_t piecesLeft = static_cast<std::int64_t>(problem.Pieces.size());
    TLength doneBest = 0, doneBound = 0;
    bool complete = true;
    std::vector<TGroupResult> results;
    for (const auto& source : groups) {
        const auto now = std::chrono::steady_clock::now();
        const auto share = std::max<std::chrono::steady_clock::duration>(deadline - now, {}) *
                           source.Group.PieceCount / std::max<std::int64_t>(piecesLeft, 1);
        piecesLeft -= source.Group.PieceCount;
        auto progress = [&](TLength best, TLength bound) {
            if (options.Progress) options.Progress({doneBest + best, doneBound + bound});
        };
        results.push_back(
            PlanGroup(source.Group, problem.Cut.MinRemnant, now + share, stop, progress));
        const auto& result = results.back();
        doneBest += result.Plan.Cost;
        doneBound += result.Bound;
        plan.FirstFit += result.FirstFit;
        plan.Stopped = plan.Stopped || !result.Finished;
        complete = complete && result.Plan.UnplacedCount == 0;
    }

    for (std::size_t g = 0; g < groups.size(); ++g) {
        const TGroup& group = groups[g].Group;
        auto& pieces = groups[g].ItemPieces;
        std::vector<std::size_t> nextPiece(pieces.size(), 0);
        std::vector<std::size_t> nextSource(group.Bins.size(), 0);
        std::vector<std::int32_t> usedOfSource(group.Bins.size(), 0);
        auto cuts = results[g].Plan.Cuts;
        // Remnants first, then new stock longest first (the bins' order); the most repeated
        // pattern of a kind first.
        std::stable_sort(cuts.begin(), cuts.end(), [&](const auto& a, const auto& b) {
            const bool ra = group.Bins[static_cast<std::size_t>(a.Bin)].Remnant;
            const bool rb = group.Bins[static_cast<std::size_t>(b.Bin)].Remnant;
            if (ra != rb) return ra;
            if (a.Bin != b.Bin) return a.Bin < b.Bin;
            if (a.Copies != b.Copies) return a.Copies > b.Copies;
            return a.Pattern < b.Pattern;
        });
        for (const auto& cut : cuts) {
            const auto& bin = group.Bins[static_cast<std::size_t>(cut.Bin)];
            for (std::int32_t c = 0; c < cut.Copies; ++c) {
                TBar bar;
                bar.Length = bin.Length;
                auto& s = nextSource[static_cast<std::size_t>(cut.Bin)];
                const std::int32_t source = bin.Sources[std::min(s, bin.Sources.size() - 1)];
                if (bin.Remnant) {
                    bar.Remnant = source;
                    ++s;
                    plan.RemnantsUsed += bar.Length;
                } else {
                    bar.Stock = source;
                    // The next entry of the same length once this one's bars are taken.
                    const auto count = problem.Stock[static_cast<std::size_t>(source)].Count;
                    if (count != kUnlimited &&
                        ++usedOfSource[static_cast<std::size_t>(cut.Bin)] >= count) {
                        usedOfSource[static_cast<std::size_t>(cut.Bin)] = 0;
                        ++s;
                    }
                    plan.NewStock += bar.Length;
                    plan.Waste += problem.Cut.Head;
                }
                TLength weight = 0;
                // Items are longest first, so the pattern's order is the cut order.
                for (const auto& [item, count] : cut.Pattern) {
                    for (std::int32_t n = 0; n < count; ++n) {
                        auto& next = nextPiece[static_cast<std::size_t>(item)];
                        bar.Pieces.push_back(pieces[static_cast<std::size_t>(item)][next++]);
                    }
                    weight += group.Items[static_cast<std::size_t>(item)].Weight * count;
                }
                bar.Leftover = bin.Capacity - weight;
                plan.Waste += problem.Cut.Kerf * static_cast<TLength>(bar.Pieces.size());
                if (problem.Cut.MinRemnant > 0 && bar.Leftover >= problem.Cut.MinRemnant) {
                    ++plan.Kept;
                    plan.KeptLength += bar.Leftover;
                } else {
                    plan.Waste += bar.Leftover;
                }
                plan.Bars.push_back(std::move(bar));
            }
        }
        for (std::size_t i = 0; i < pieces.size(); ++i)
            for (std::size_t n = nextPiece[i]; n < pieces[i].size(); ++n)
                plan.Unplaced.push_back(pieces[i][n]);
    }
    std::sort(plan.Unplaced.begin(), plan.Unplaced.end());
    plan.Bound = complete ? doneBound : 0;
    plan.Proven = complete && plan.NewStock == plan.Bound;
    return plan;
}

}  // namespace tandrel::plan
