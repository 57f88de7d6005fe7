#pragma once
// A bar found flawed while its pieces are cut: the pieces it still held go back to be planned
// again from what the station has left, and the new bars take its place in the plan. The plan
// file's functions; the planning itself runs elsewhere (it may take seconds).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plan/plan.h"
#include "plan/plan_file.h"

namespace tandrel::job {
struct TJobState;
}

namespace tandrel::plan {

struct TFlawedBar {
    TLength Remainder = 0;           // the bar's length not yet cut, set aside
    std::vector<std::int32_t> Rows;  // its pieces not cut, now unplaced
};

// Marks bar index flawed: its pieces not done move to the unplaced ones, its leftover becomes
// the length left uncut, and it is settled (no remnant comes of it).
TFlawedBar MarkFlawed(TPlanFile& plan, std::size_t index, const job::TJobState& state);

// Planning rows again: the plan's stock less the new bars it holds, the store's remnants less
// those the plan cuts, the plan's cut settings. The rows' sizes are the plan's.
TProblem ReplanProblem(const TPlanFile& plan, const job::TJobState& state,
                       const std::vector<std::int32_t>& rows, std::vector<TRemnant> store);

// Puts the bars of replan (a plan of problem) after bar index `after`, for the pieces that are
// still unplaced and not done, and renumbers the bars after them. Returns the bars put in.
std::size_t SpliceReplan(TPlanFile& plan, std::size_t after, const TProblem& problem,
                         const TPlan& replan, const job::TJobState& state);

}  // namespace tandrel::plan
