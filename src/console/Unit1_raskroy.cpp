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
        // Working by the plan is wired where the grid learns to follow it; until then the
        // window's button stays disabled.
    }
    raskroy_->resize(size());
    raskroy_->move(geometry().topLeft());
    raskroy_->show();
    raskroy_->raise();
    raskroy_->activateWindow();
}

}  // namespace tandrel::console
