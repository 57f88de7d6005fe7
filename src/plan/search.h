#pragma once
// The integer step over the patterns the column generation finds: the linear program solved to
// its bound at the root; its solution rounded down and the rest finished by first-fit
// decreasing; then dives that fix patterns the program uses and solve it again on what is left,
// with a limited number of departures from its first choice, until a plan meets the bound, the
// search runs out of nodes or time, or a stop is requested. Internal to the plan.

#include <chrono>
#include <functional>
#include <stop_token>

#include "plan/group.h"

namespace tandrel::plan::detail {

struct TSearchResult {
    TGroupPlan Plan;
    // The root program's bound on the cost of any plan of every piece (new stock only when the
    // stock holds every piece); not yet rounded up.
    double Bound = 0;
    bool Finished = false;  // the search ended by itself, not by the time limit or a stop
};

struct TSearchLimits {
    std::chrono::steady_clock::time_point Deadline;
    std::stop_token Stop;
    std::int64_t Nodes = 4000;  // programs solved, so that the same input gives the same plan
};

// start: a plan to beat (first-fit decreasing). improved: called with each better plan and the
// bound as it stands.
TSearchResult Search(const TGroup& group, TGroupPlan start, const TSearchLimits& limits,
                     const std::function<void(const TGroupPlan&, double)>& improved);

// The least sum of new bars' lengths, within their counts, that is at least cost; cost itself
// when no such sum is found within a small amount of work.
TLength RoundUpStock(const TGroup& group, double cost);

}  // namespace tandrel::plan::detail
