// Working the list in work by a bar plan: the grid shows the plan's bars over their pieces, and
// Start, Back and the device's "#" take the pieces in cut order. The plan is saved beside the
// list's progress file, so that a list loaded again goes on with it where its work stopped.

#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <algorithm>
#include <optional>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/Unit1_views.h"
#include "console/operator_view.h"
#include "console/qt_text.h"
#include "console/windows_common.h"
#include "job/cut_list.h"
#include "plan/plan_file.h"
#include "plan/replan.h"

namespace tandrel::console {

namespace {
std::string PlanName(const job::TJobState& job) {
    return PathToCp1251(plan::PlanFilePath(job.ProgressFile).filename()).value_or(".plan");
}

bool BarDone(const plan::TPlanBar& bar, const job::TJobState& job) {
    for (const std::int32_t row : bar.Rows)
        if (!job.Rows[static_cast<std::size_t>(row)].Done) return false;
    return true;
}

bool BarBegun(const plan::TPlanBar& bar, const job::TJobState& job) {
    for (const std::int32_t row : bar.Rows)
        if (job.Rows[static_cast<std::size_t>(row)].Done) return true;
    return false;
}

// "" when the saved plan still fits the list in work and the station's cut settings.
std::string PlanStaleReason(const plan::TPlanFile& saved, const job::TJobState& job) {
    plan::TStationCut cut;
    plan::ReadCutFile(plan::CutFilePath(ProgramDirectory()), cut);
    return plan::StaleReason(saved, job.ProgressCrc, plan::ListSizes(job), cut);
}

// The bar holding list row row.
std::optional<std::size_t> BarOfRow(const plan::TPlanFile& plan, std::int32_t row) {
    for (std::size_t bar = 0; bar < plan.Bars.size(); ++bar) {
        const std::vector<std::int32_t>& rows = plan.Bars[bar].Rows;
        if (std::find(rows.begin(), rows.end(), row) != rows.end()) return bar;
    }
    return std::nullopt;
}

// A flawed bar's pieces are planned again within moments; the limit only bounds a hard case.
constexpr std::chrono::milliseconds kReplanLimit{5000};

std::string BarName(std::size_t bar) {
    return "Хлыст "_cp1251 + std::to_string(bar + 1);
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
        // Bars of pieces done before this plan were not cut by it: they leave nothing.
        for (std::size_t bar = 0; bar < saved.Bars.size(); ++bar)
            if (BarDone(saved.Bars[bar], Job))
                saved.Settled.push_back(static_cast<std::int32_t>(bar + 1));
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
    workPlan_ = saved;
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
    std::string stale = PlanStaleReason(saved, Job);
    for (std::size_t bar = 0; stale.empty() && bar < saved.Bars.size(); ++bar) {
        const plan::TPlanBar& planned = saved.Bars[bar];
        if (planned.RemnantId.empty() || BarBegun(planned, Job)) continue;
        if (!remnants_) LoadRemnants();
        if (!remnants_->Find(planned.RemnantId))
            stale = "остатка "_cp1251 + planned.RemnantId + " больше нет на складе"_cp1251;
    }
    if (!stale.empty()) {
        say("План устарел: "_cp1251 + stale + "; список загружен как список"_cp1251);
        return;
    }
    // A settled bar whose pieces are no longer done was undone with the list started anew: cut
    // again, it leaves its leftover again. A flawed bar's never is one.
    std::erase_if(saved.Settled, [&](std::int32_t number) {
        const auto bar = static_cast<std::size_t>(number - 1);
        return !BarDone(saved.Bars[bar], Job) && !saved.IsFlawed(bar);
    });
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
    CatchUpPlan();
}

void TForm1::CatchUpPlan() {
    for (std::size_t bar = 0; bar < workPlan_->Bars.size(); ++bar) {
        if (BarBegun(workPlan_->Bars[bar], Job)) TakeRemnantOfBar(workPlan_->Bars[bar]);
        if (BarDone(workPlan_->Bars[bar], Job) && !workPlan_->IsSettled(bar)) SettleBar(bar);
    }
    if (!stepFaults_.empty()) ShowStatus(JoinNotices(std::exchange(stepFaults_, {})), true);
}

void TForm1::CatchUpBeforeRestart() {
    // Starting again undoes every piece: a bar a kill left unsettled would be forgotten with them.
    plan::TPlanFile saved;
    const plan::TPlanRead read = plan::ReadPlanFile(plan::PlanFilePath(Job.ProgressFile), saved);
    if (!read.Found || !read.Problem.empty() || !PlanStaleReason(saved, Job).empty()) return;
    workPlan_ = std::move(saved);
    CatchUpPlan();
}

void TForm1::PlanPieceWorked(std::int32_t row) {
    if (!workPlan_ || !Job.Order.Active() || row < 1 || row > Job.RowCount) return;
    const std::optional<std::size_t> bar = BarOfRow(*workPlan_, row);
    if (!bar) return;
    TakeRemnantOfBar(workPlan_->Bars[*bar]);
    if (BarDone(workPlan_->Bars[*bar], Job) && !workPlan_->IsSettled(*bar)) SettleBar(*bar);
}

void TForm1::TakeRemnantOfBar(const plan::TPlanBar& bar) {
    // The store itself says whether it was taken: a revisit or a restart takes nothing twice.
    if (bar.RemnantId.empty()) return;
    if (!remnants_) LoadRemnants();
    if (!remnants_->Find(bar.RemnantId)) return;
    if (std::string why = RemoveRemnant(bar.RemnantId); !why.empty())
        stepFaults_.push_back(std::move(why));
}

void TForm1::SettleBar(std::size_t index) {
    const plan::TPlanBar& bar = workPlan_->Bars[index];
    const plan::TLength least = workPlan_->Cut.Cut.MinRemnant;
    // The engine cuts a material's pieces from that material only.
    const std::string material =
        bar.Rows.empty() ? std::string()
                         : Job.Rows[static_cast<std::size_t>(bar.Rows.front())].Material;
    if (least > 0 && bar.Leftover >= least) {
        if (!KeepRemnant(bar.Leftover, material)) stepFaults_.push_back(StatusText());
    } else if (bar.Leftover > 0) {
        JournalLeftover(bar.Leftover, job::TLeftover::Waste);
    }
    // After the store: a kill between the two keeps the remnant, and the restart keeps it again.
    workPlan_->Settled.push_back(static_cast<std::int32_t>(index + 1));
    try {
        plan::WritePlanFile(plan::PlanFilePath(Job.ProgressFile), *workPlan_);
    } catch (const Exception& e) {
        stepFaults_.push_back("План не сохранён ("_cp1251 + e.Message() + ")"_cp1251);
    }
}

void TForm1::FlawedBarClick() {
    OperatorActed();
    if (!workPlan_ || !Job.Order.Active() || (replan_ && replan_->Runner.Running())) return;
    const std::optional<std::size_t> bar = BarOfRow(*workPlan_, Job.CurrentRow);
    if (!bar) {
        ShowStatus("Нет хлыста в работе: начните деталь хлыста"_cp1251, true);
        return;
    }
    std::int32_t left = 0;
    for (const std::int32_t row : workPlan_->Bars[*bar].Rows)
        left += Job.Rows[static_cast<std::size_t>(row)].Done ? 0 : 1;
    if (left == 0) {
        ShowStatus(BarName(*bar) + " раскроен: перепланировать нечего"_cp1251, true);
        return;
    }
    const std::string question = BarName(*bar) + " ("_cp1251 +
                                 plan::FormatTenths(workPlan_->Bars[*bar].Length) +
                                 ") с дефектом? Не отрезанные детали ("_cp1251 +
                                 std::to_string(left) + ") будут распланированы заново."_cp1251;
    QMessageBox box(QMessageBox::Question, windowTitle(), ToQ(question),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);  // a slip of the glove sets no bar aside
    box.setEscapeButton(QMessageBox::No);
    FitForGloves(box);
    const std::filesystem::path list = Job.ListPath;
    if (box.exec() != QMessageBox::Yes) return;
    // The device's "#" or a load may have moved the work on while the box was open.
    if (!workPlan_ || !Job.Order.Active() || Job.ListPath != list ||
        BarOfRow(*workPlan_, Job.CurrentRow) != bar)
        return;

    const plan::TFlawedBar flawed = plan::MarkFlawed(*workPlan_, *bar, Job);
    JournalLeftover(flawed.Remainder, job::TLeftover::FlawedBar);
    std::string said = BarName(*bar) + " с дефектом"_cp1251;
    try {
        plan::WritePlanFile(plan::PlanFilePath(Job.ProgressFile), *workPlan_);
    } catch (const Exception& e) {
        said += "; план не сохранён ("_cp1251 + e.Message() + ")"_cp1251;
    }
    ShowPlanChange();

    if (!remnants_) LoadRemnants();
    auto next = std::make_unique<TReplan>();
    next->Problem = plan::ReplanProblem(*workPlan_, Job, flawed.Rows, remnants_->ForPlan());
    next->Bar = *bar;
    next->List = Job.ListPath;
    next->Crc = Job.ProgressCrc;
    if (const std::string why = plan::CheckProblem(next->Problem); !why.empty()) {
        ShowStatus(
            said + "; детали не распланированы ("_cp1251 + why + "), они в конце списка"_cp1251,
            true);
        return;
    }
    replan_ = std::move(next);
    if (!postBox_) postBox_ = std::make_shared<TPostBox>(executor_);
    plan::TPlanOptions options;
    options.TimeLimit = kReplanLimit;
    replan_->Runner.Start(replan_->Problem, options,
                          [box = postBox_, this] { box->Post([this] { ReplanDone(); }); });
    BitBtn3->setEnabled(false);
    ShowStatus(said + ": деталей "_cp1251 + std::to_string(flawed.Rows.size()) +
                   " распланируются заново…"_cp1251,
               false);
}

void TForm1::ReplanDone() {
    if (!replan_) return;
    std::optional<plan::TPlanResult> result = replan_->Runner.Take();
    if (!result) return;
    BitBtn3->setEnabled(Job.Order.Active());
    // Another list, or this one read again as another, is in work now: its plan is not this.
    if (!workPlan_ || !Job.Order.Active() || Job.ListPath != replan_->List ||
        Job.ProgressCrc != replan_->Crc || replan_->Bar >= workPlan_->Bars.size())
        return;
    const std::string said = BarName(replan_->Bar) + " с дефектом: "_cp1251;
    if (!result->Failure.empty()) {
        ShowStatus(said + "детали не распланированы ("_cp1251 + result->Failure +
                       "), они в конце списка"_cp1251,
                   true);
        return;
    }
    const std::size_t added =
        plan::SpliceReplan(*workPlan_, replan_->Bar, replan_->Problem, result->Plan, Job);
    std::string text = said + "новых хлыстов "_cp1251 + std::to_string(added);
    if (!workPlan_->Unplaced.empty())
        text += ", без хлыста деталей: "_cp1251 + std::to_string(workPlan_->Unplaced.size());
    bool fault = !result->Plan.Unplaced.empty();
    try {
        plan::WritePlanFile(plan::PlanFilePath(Job.ProgressFile), *workPlan_);
    } catch (const Exception& e) {
        text += "; план не сохранён ("_cp1251 + e.Message() + ")"_cp1251;
        fault = true;
    }
    ShowPlanChange();
    ShowStatus(text, fault);
}

void TForm1::ShowPlanChange() {
    Job.Order = job::MakeWorkOrder(plan::PlanGridLines(*workPlan_, Job), Job.RowCount);
    jobView_->ShowList(Job.ListName);
    if (const std::int32_t grid = job::GridRowOf(Job, Job.CurrentRow); grid > 0)
        jobView_->SelectRow(grid, std::max(1, grid - jobView_->VisibleRows() / 2));
}

}  // namespace tandrel::console
