// The main window's side of the store of remnants: ostatki.dat, a kept leftover's label and
// journal line, and the "Остатки" screen with its scans.

#include "base/cp1251.h"
#include "base/error.h"
#include "console/Unit1.h"
#include "console/Unit1_views.h"
#include "console/remnants_screen.h"
#include "console/windows_common.h"
#include "job/cut_list.h"
#include "labels/label.h"

namespace tandrel::console {

void TForm1::LoadRemnants() {
    if (!remnants_)
        remnants_ =
            std::make_unique<plan::TRemnantStore>(plan::RemnantStorePath(ProgramDirectory()));
    const labels::TLabelTemplate loaded = labels::EnsureRemnantTemplate(ProgramDirectory());
    RemnantTemplate = loaded.Lines;
    if (!loaded.Problem.empty()) ShowStatus(loaded.Problem, true);
    if (const std::string skipped = remnants_->Load(); !skipped.empty()) ShowStatus(skipped, true);
}

std::optional<plan::TStoredRemnant> TForm1::KeepRemnant(plan::TLength length,
                                                        const std::string& material) {
    if (!remnants_) LoadRemnants();
    job::TJournalEntry entry =
        job::LeftoverEntry(Job.ListName, static_cast<double>(length) / 10, job::TLeftover::Remnant);
    plan::TStoredRemnant kept;
    try {
        kept = remnants_->Add(length, material, job::FileNameOnly(Job.ListName),
                              JournalClock ? JournalClock() : job::LocalNow());
    } catch (const Exception& e) {
        // The bar's leftover is there all the same: the operator keeps it by hand.
        const std::string failure = "не записан в ostatki.dat: "_cp1251 + e.Message();
        ShowStatus("Остаток "_cp1251 + failure, true);
        entry.Label = job::TLabelResult::Failed;
        entry.LabelFailure = failure;
        WriteJournal(entry);
        return std::nullopt;
    }
    entry.RemnantId = kept.Id;
    QueueRemnantLabel(kept, entry);
    if (remnantsScreen_ && remnantsScreen_->isVisible()) remnantsScreen_->Show(remnants_->Newest());
    return kept;
}

void TForm1::JournalLeftover(plan::TLength length, job::TLeftover kind) {
    WriteJournal(job::LeftoverEntry(Job.ListName, static_cast<double>(length) / 10, kind));
}

std::string TForm1::RemoveRemnant(const std::string& id) {
    if (!remnants_) LoadRemnants();
    std::string why;
    try {
        if (!remnants_->Remove(id)) why = "Остаток "_cp1251 + id + " не найден"_cp1251;
    } catch (const Exception& e) {
        why = "Остаток "_cp1251 + id + " не удалён: "_cp1251 + e.Message();
    }
    if (remnantsScreen_) remnantsScreen_->Show(remnants_->Newest());
    return why;
}

void TForm1::ReprintRemnantLabel(const std::string& id) {
    const auto remnant = remnants_ ? remnants_->Find(id) : std::nullopt;
    if (!remnant) return;
    if (!jobView_->PrintsLabels()) {
        remnantsScreen_->Say("Этикетка не напечатана: "_cp1251 +
                             (Settings.PrintLabels ? "принтер не задан"_cp1251
                                                   : "печать этикеток выключена"_cp1251));
        return;
    }
    job::TJournalEntry entry = job::LeftoverEntry(
        Job.ListName, static_cast<double>(remnant->Length) / 10, job::TLeftover::Remnant, id);
    entry.Reprint = true;
    QueueRemnantLabel(*remnant, entry);
}

void TForm1::RemnantsClick() {
    OperatorActed();
    if (!remnants_) LoadRemnants();
    if (!remnantsScreen_) {
        remnantsScreen_ = new TRemnantsScreen(this);
        remnantsScreen_->OnRemove = [this](const std::string& id) { return RemoveRemnant(id); };
        remnantsScreen_->OnPrint = [this](const std::string& id) { ReprintRemnantLabel(id); };
    }
    // Read again: the shop may have mended a line by hand.
    remnantsScreen_->Say(remnants_->Load());
    remnantsScreen_->Show(remnants_->Newest());
    remnantsScreen_->resize(size());
    remnantsScreen_->move(geometry().topLeft());
    remnantsScreen_->show();
    remnantsScreen_->raise();
    remnantsScreen_->activateWindow();
}

void TForm1::ShowRemnant(const std::string& code) {
    if (!remnantsScreen_ || !remnantsScreen_->isVisible()) RemnantsClick();
    remnantsScreen_->Select(code);
}

}  // namespace tandrel::console
