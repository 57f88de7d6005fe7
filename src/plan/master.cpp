#include "plan/master.h"

#include <ClpDualRowDantzig.hpp>
#include <ClpPrimalColumnDantzig.hpp>
#include <ClpSimplex.hpp>
#include <algorithm>

#include "plan/plan.h"

namespace tandrel::plan::detail {

struct TMaster::TImpl {
    ClpSimplex model;
    std::int32_t items = 0;
    std::vector<std::int32_t> binRow;  // per bin: its row, or -1 when unlimited
    // A change of the rows' bounds leaves the basis dual feasible (the dual simplex goes on from
    // it); new columns leave it primal feasible (the primal simplex does).
    bool boundsChanged = true;
    bool solved = false;
};

TMaster::TMaster(std::int32_t items, const std::vector<std::int32_t>& binLimits)
    : impl_(std::make_unique<TImpl>()) {
    auto& m = impl_->model;
    m.setLogLevel(0);
    m.messageHandler()->setLogLevel(0);
    m.setOptimizationDirection(1);
    // Dantzig's rules: on these small programs, solved again after a few new columns, the
    // steepest-edge weights cost more to keep than they save.
    ClpPrimalColumnDantzig primal;
    m.setPrimalColumnPivotAlgorithm(primal);
    ClpDualRowDantzig dual;
    m.setDualRowPivotAlgorithm(dual);
    impl_->items = items;
    std::int32_t rows = items;
    for (const auto limit : binLimits) impl_->binRow.push_back(limit == kUnlimited ? -1 : rows++);
    m.resize(rows, 0);
    for (std::int32_t r = 0; r < items; ++r) m.setRowBounds(r, 0.0, COIN_DBL_MAX);
    for (std::size_t b = 0; b < binLimits.size(); ++b)
        if (impl_->binRow[b] >= 0)
            m.setRowBounds(impl_->binRow[b], -COIN_DBL_MAX, static_cast<double>(binLimits[b]));
}

TMaster::~TMaster() = default;

std::int32_t TMaster::AddColumn(double cost, std::int32_t bin,
                                const std::vector<std::pair<std::int32_t, std::int32_t>>& items) {
    std::vector<int> rows;
    std::vector<double> elements;
    for (const auto& [item, count] : items) {
        rows.push_back(item);
        elements.push_back(count);
    }
    if (bin >= 0 && impl_->binRow[static_cast<std::size_t>(bin)] >= 0) {
        rows.push_back(impl_->binRow[static_cast<std::size_t>(bin)]);
        elements.push_back(1.0);
    }
    impl_->model.addColumn(static_cast<int>(rows.size()), rows.data(), elements.data(), 0.0,
                           COIN_DBL_MAX, cost);
    return impl_->model.numberColumns() - 1;
}

void TMaster::SetDemand(std::int32_t item, double demand) {
    impl_->model.setRowLower(item, demand);
    impl_->boundsChanged = true;
}

void TMaster::SetBinLimit(std::int32_t bin, double limit) {
    const auto row = impl_->binRow[static_cast<std::size_t>(bin)];
    if (row < 0) return;
    impl_->model.setRowUpper(row, limit);
    impl_->boundsChanged = true;
}

void TMaster::SetColumnUpper(std::int32_t column, double upper) {
    impl_->model.setColumnUpper(column, upper);
    impl_->boundsChanged = true;
}

bool TMaster::Solve() {
    auto& m = impl_->model;
    if (!impl_->solved) {
        m.initialSolve();
        impl_->solved = true;
    } else if (impl_->boundsChanged) {
        m.dual();
    } else {
        m.primal(1);
    }
    impl_->boundsChanged = false;
    if (!m.isProvenOptimal()) {
        // A basis that has drifted is thrown away once before the program is given up on.
        m.allSlackBasis(true);
        m.initialSolve();
    }
    return m.isProvenOptimal();
}

double TMaster::Objective() const {
    return impl_->model.objectiveValue();
}

double TMaster::Value(std::int32_t column) const {
    return impl_->model.primalColumnSolution()[column];
}

double TMaster::ItemPrice(std::int32_t item) const {
    return std::max(0.0, impl_->model.dualRowSolution()[item]);
}

double TMaster::BinPrice(std::int32_t bin) const {
    const auto row = impl_->binRow[static_cast<std::size_t>(bin)];
    return row < 0 ? 0.0 : std::min(0.0, impl_->model.dualRowSolution()[row]);
}

std::int32_t TMaster::Columns() const {
    return impl_->model.numberColumns();
}

}  // namespace tandrel::plan::detail
