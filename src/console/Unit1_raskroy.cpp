// The main window's "Раскрой": the window that keeps the stock and cut settings and plans the
// list in work.

#include <span>

#include "console/Unit1.h"
#include "console/raskroy.h"
#include "console/windows_common.h"
#include "plan/cut_file.h"

namespace tandrel::console {

void TForm1::RaskroyClick() {
    OperatorActed();
    if (raskroy_ == nullptr) {
        raskroy_ = new TRaskroyWindow(plan::CutFilePath(ProgramDirectory()), this);
        raskroy_->ListInWork = [this]() -> std::optional<TListPieces> {
            if (Job.RowCount <= 0) return std::nullopt;
            return PiecesOfRows(
                std::span(Job.Rows).subspan(1, static_cast<std::size_t>(Job.RowCount)));
        };
        raskroy_->StoreRemnants = [this] {
            if (!remnants_) LoadRemnants();
            return remnants_->ForPlan();
        };
        raskroy_->OnWork = [this](const plan::TProblem& problem, const plan::TPlan& plan) {
            raskroy_->close();
            WorkByPlan(problem, plan);
        };
    }
    raskroy_->resize(size());
    raskroy_->move(geometry().topLeft());
    raskroy_->show();
    raskroy_->raise();
    raskroy_->activateWindow();
}

}  // namespace tandrel::console
