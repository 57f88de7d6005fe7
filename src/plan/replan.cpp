#include "plan/replan.h"

#include <algorithm>
#include <set>

#include "job/job_state.h"

namespace tandrel::plan {
namespace {

bool Done(const job::TJobState& state, std::int32_t row) {
    return row >= 1 && row <= state.RowCount && state.Rows[static_cast<std::size_t>(row)].Done;
}

TLength SizeOf(const TPlanFile& plan, std::int32_t row) {
    return row >= 1 && static_cast<std::size_t>(row) <= plan.Sizes.size()
               ? plan.Sizes[static_cast<std::size_t>(row - 1)]
               : 0;
}

std::string MaterialOf(const job::TJobState& state, std::int32_t row) {
    return row >= 1 && row <= state.RowCount ? state.Rows[static_cast<std::size_t>(row)].Material
                                             : std::string();
}

}  // namespace

TFlawedBar MarkFlawed(TPlanFile& plan, std::size_t index, const job::TJobState& state) {
    TFlawedBar flawed;
    TPlanBar& bar = plan.Bars.at(index);
    TLength used = bar.RemnantId.empty() ? plan.Cut.Cut.Head : 0;
    std::vector<std::int32_t> cut;
    for (const std::int32_t row : bar.Rows) {
        if (Done(state, row)) {
            cut.push_back(row);
            used += SizeOf(plan, row) + plan.Cut.Cut.Kerf;
        } else {
            flawed.Rows.push_back(row);
        }
    }
    flawed.Remainder = std::max<TLength>(0, bar.Length - used);
    bar.Rows = std::move(cut);
    bar.Leftover = flawed.Remainder;
    plan.Unplaced.insert(plan.Unplaced.begin(), flawed.Rows.begin(), flawed.Rows.end());
    const auto number = static_cast<std::int32_t>(index + 1);
    if (!plan.IsFlawed(index)) plan.Flawed.push_back(number);
    if (!plan.IsSettled(index)) plan.Settled.push_back(number);
    return flawed;
}

TProblem ReplanProblem(const TPlanFile& plan, const job::TJobState& state,
                       const std::vector<std::int32_t>& rows, std::vector<TRemnant> store) {
    TProblem problem;
    problem.Stock = plan.Cut.Stock;
    problem.Cut = plan.Cut.Cut;
    std::set<std::string> planned;
    for (const TPlanBar& bar : plan.Bars) {
        if (!bar.RemnantId.empty()) {
            planned.insert(bar.RemnantId);
            continue;
        }
        // The bars of a counted length that the plan holds are taken, cut or not.
        const std::string material = bar.Rows.empty() ? "" : MaterialOf(state, bar.Rows.front());
        for (TStock& stock : problem.Stock)
            if (stock.Length == bar.Length && stock.Material == material && stock.Count > 0) {
                --stock.Count;
                break;
            }
    }
    std::erase_if(store, [&planned](const TRemnant& r) { return planned.contains(r.Id); });
    problem.Remnants = std::move(store);
    for (const std::int32_t row : rows)
        problem.Pieces.push_back({row, SizeOf(plan, row), MaterialOf(state, row)});
    return problem;
}

std::size_t SpliceReplan(TPlanFile& plan, std::size_t after, const TProblem& problem,
                         const TPlan& replan, const job::TJobState& state) {
    // Pieces cut meanwhile, or planned by a newer plan, are no longer the new bars' to cut.
    std::set<std::int32_t> pending;
    for (const std::int32_t row : plan.Unplaced)
        if (!Done(state, row)) pending.insert(row);
    std::vector<TPlanBar> bars;
    for (const TBar& bar : replan.Bars) {
        TPlanBar out{bar.Length, bar.Leftover, {}, {}};
        if (bar.Remnant >= 0) out.RemnantId = problem.Remnants.at(bar.Remnant).Id;
        for (const std::int32_t piece : bar.Pieces) {
            const std::int32_t row = problem.Pieces.at(static_cast<std::size_t>(piece)).Row;
            if (pending.erase(row) != 0)
                out.Rows.push_back(row);
            else
                out.Leftover += SizeOf(plan, row) + plan.Cut.Cut.Kerf;
        }
        if (!out.Rows.empty()) bars.push_back(std::move(out));
    }
    if (bars.empty()) return 0;
    const std::size_t at = std::min(after + 1, plan.Bars.size());
    const auto count = static_cast<std::int32_t>(bars.size());
    for (auto* numbers : {&plan.Settled, &plan.Flawed})
        for (std::int32_t& number : *numbers)
            if (number > static_cast<std::int32_t>(at)) number += count;
    std::set<std::int32_t> placed;
    for (const TPlanBar& bar : bars) placed.insert(bar.Rows.begin(), bar.Rows.end());
    std::erase_if(plan.Unplaced, [&placed](std::int32_t row) { return placed.contains(row); });
    plan.Bars.insert(plan.Bars.begin() + static_cast<std::ptrdiff_t>(at), bars.begin(), bars.end());
    return bars.size();
}

}  // namespace tandrel::plan
