#include "job/work_order.h"

#include <algorithm>

#include "job/job_state.h"

namespace tandrel::job {

TWorkOrder MakeWorkOrder(std::vector<TGridLine> lines, std::int32_t rowCount) {
    TWorkOrder order;
    const auto slots = static_cast<std::size_t>(std::max(rowCount, 0)) + 1;
    order.Position.assign(slots, 0);
    order.GridRow.assign(slots, 0);
    for (TGridLine& line : lines) {
        if (line.Row != 0) {
            if (line.Row < 1 || line.Row > rowCount) continue;
            const auto r = static_cast<std::size_t>(line.Row);
            if (order.Position[r] != 0) continue;
            order.Rows.push_back(line.Row);
            order.Position[r] = static_cast<std::int32_t>(order.Rows.size());
            order.GridRow[r] = static_cast<std::int32_t>(order.Lines.size()) + 1;
        }
        order.Lines.push_back(std::move(line));
    }
    return order;
}

std::int32_t GridRowCount(const TJobState& state) {
    return state.Order.Active() ? static_cast<std::int32_t>(state.Order.Lines.size())
                                : state.RowCount;
}

std::int32_t ListRowAt(const TJobState& state, std::int32_t gridRow) {
    if (gridRow < 1 || gridRow > GridRowCount(state)) return 0;
    return state.Order.Active() ? state.Order.Lines[static_cast<std::size_t>(gridRow) - 1].Row
                                : gridRow;
}

std::int32_t GridRowOf(const TJobState& state, std::int32_t row) {
    if (row < 1 || row > state.RowCount) return 0;
    if (!state.Order.Active()) return row;
    const auto r = static_cast<std::size_t>(row);
    return r < state.Order.GridRow.size() ? state.Order.GridRow[r] : 0;
}

const std::string* HeadingAt(const TJobState& state, std::int32_t gridRow) {
    if (!state.Order.Active() || gridRow < 1 || gridRow > GridRowCount(state)) return nullptr;
    const TGridLine& line = state.Order.Lines[static_cast<std::size_t>(gridRow) - 1];
    return line.Row == 0 ? &line.Heading : nullptr;
}

std::int32_t PositionCount(const TJobState& state) {
    return state.Order.Active() ? static_cast<std::int32_t>(state.Order.Rows.size())
                                : state.RowCount;
}

std::int32_t PositionOf(const TJobState& state, std::int32_t row) {
    if (row < 1 || row > state.RowCount) return 0;
    if (!state.Order.Active()) return row;
    const auto r = static_cast<std::size_t>(row);
    return r < state.Order.Position.size() ? state.Order.Position[r] : 0;
}

std::int32_t RowAtPosition(const TJobState& state, std::int32_t position) {
    if (position < 1 || position > PositionCount(state)) return 0;
    return state.Order.Active() ? state.Order.Rows[static_cast<std::size_t>(position) - 1]
                                : position;
}

}  // namespace tandrel::job
