// Working the list in work by a bar plan: the grid shows the plan's bars over their pieces, and
// Start, Back and the device's "#" take the pieces in cut order. The plan is saved beside the
// list's progress file, so that a list loaded again goes on with it where its work stopped.

#include <QTableView>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "console/Unit1.h"
#include "console/Unit1_views.h"
#include "console/windows_common.h"
#include "job/cut_list.h"
#include "plan/plan_file.h"

namespace tandrel::console {

namespace {
std::string PlanName(const job::TJobState& job) {
    return PathToCp1251(plan::PlanFilePath(job.ProgressFile).filename()).value_or(".plan");
}
}  // namespace

void TForm1::WorkByPlan(const plan::TProblem& problem, const plan::TPlan& plan) {
    OperatorActed();
    if (Job.RowCount == 0) {
        ShowStatus("Нет списка в работе"_cp1251, true);
        return;
    }
    plan::TPlanFile saved;
    try {
        for (const plan::TPiece& piece : problem.Pieces)
            if (piece.Row < 1 || piece.Row > Job.RowCount) throw std::out_of_range("row");
        saved = plan::SavedPlan(problem, plan, Job.ProgressCrc, plan::ListSizes(Job));
    } catch (const std::out_of_range&) {
        ShowStatus("План не подходит к списку в работе"_cp1251, true);
        return;
    }
    std::string unsaved;
    try {
        plan::WritePlanFile(plan::PlanFilePath(Job.ProgressFile), saved);
    } catch (const Exception& e) {
        // The plan is worked all the same; only going on with it after a restart is lost.
        unsaved = "План не сохранён ("_cp1251 + e.Message() + ")"_cp1251;
    }
    ApplyPlan(saved, unsaved);
}

void TForm1::ApplyPlan(const plan::TPlanFile& saved, const std::string& notice) {
    Job.Order = job::MakeWorkOrder(plan::PlanGridLines(saved, Job), Job.RowCount);
    Job.CurrentRow = 0;
    Job.RevisitRow = false;
    jobView_->ShowList(Job.ListName);
    jobView_->SetRowCounter(job::RowCounterText(Job));
    jobView_->SetStartEnabled(Job.RemainingCount > 0);
    jobView_->SetBackEnabled(false);
    jobView_->FocusStart();
    std::string said = "Работа по плану: хлыстов "_cp1251 + std::to_string(saved.Bars.size());
    if (!saved.Unplaced.empty())
        said += ", без хлыста деталей: "_cp1251 + std::to_string(saved.Unplaced.size());
    ShowStatus(notice.empty() ? said : notice + "; "_cp1251 + said, !notice.empty());
    ShowOperatorFields();
}

void TForm1::ResumePlan(bool quiet) {
    if (Job.RowCount == 0) return;
    plan::TPlanFile saved;
    const plan::TPlanRead read = plan::ReadPlanFile(plan::PlanFilePath(Job.ProgressFile), saved);
    if (!read.Found) return;
    auto say = [this](const std::string& text) {
        const std::string before = StatusText();
        ShowStatus(before.empty() ? text : before + "; "_cp1251 + text, StatusIsFault());
    };
    if (!read.Problem.empty()) {
        say("План "_cp1251 + PlanName(Job) + " не прочитан: "_cp1251 + read.Problem +
            "; список загружен без плана"_cp1251);
        return;
    }
    plan::TStationCut cut;
    plan::ReadCutFile(plan::CutFilePath(ProgramDirectory()), cut);
    const std::string stale = plan::StaleReason(saved, Job.ProgressCrc, plan::ListSizes(Job), cut);
    if (!stale.empty()) {
        say("План устарел: "_cp1251 + stale + "; список загружен как список"_cp1251);
        return;
    }
    if (!quiet) {
        std::int32_t planned = 0, done = 0;
        for (const plan::TPlanBar& bar : saved.Bars)
            for (const std::int32_t row : bar.Rows) {
                ++planned;
                done += Job.Rows[static_cast<std::size_t>(row)].Done ? 1 : 0;
            }
        const std::string question =
            "Для списка "_cp1251 + job::FileNameOnly(Job.ListName) +
            " сохранён план раскроя: хлыстов "_cp1251 + std::to_string(saved.Bars.size()) +
            ", сделано деталей "_cp1251 + std::to_string(done) + " из "_cp1251 +
            std::to_string(planned) + ". Продолжить работу по плану?"_cp1251;
        const std::filesystem::path list = Job.ListPath;
        const std::uint32_t crc = Job.ProgressCrc;
        if (!jobView_->AskRestart(question)) return;
        // Another list may have gone into work while the box waited.
        if (Job.ListPath != list || Job.ProgressCrc != crc || Job.Order.Active()) return;
    }
    ApplyPlan(saved, {});
}

}  // namespace tandrel::console
