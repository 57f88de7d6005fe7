// The main window's side of the labels: every label (a step's, a reprint, the test label) is
// composed at once and handed to the printing thread; its outcome comes back here, is journalled
// and said. Nothing here waits for a printer.

#include <algorithm>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/Unit1_views.h"
#include "console/nastr.h"
#include "labels/label.h"
#include "printer/queue_printer.h"

namespace tandrel::console {

namespace {
// At close, the label in hand gets this long to end before the program goes without it.
constexpr std::chrono::milliseconds kStopWait{300};

const std::string& NotPrinted() {
    static const std::string text = "Этикетка не напечатана: "_cp1251;
    return text;
}

// The outcome into the label's journal line; a failure's full text where asked.
void SetOutcome(job::TJournalEntry& entry, const labels::TPrintOutcome& outcome, bool fullFailure) {
    using TResult = labels::TPrintOutcome::TResult;
    switch (outcome.Result) {
        case TResult::Printed:
            entry.Label = job::TLabelResult::Printed;
            break;
        case TResult::Paused:
            entry.Label = job::TLabelResult::Paused;
            break;
        case TResult::Failed:
            entry.Label = job::TLabelResult::Failed;
            entry.LabelFailure = fullFailure ? outcome.Failure() : outcome.Reason;
            break;
        case TResult::Nothing:
            entry.Label = job::TLabelResult::NotPrinted;
            break;
    }
}
}  // namespace

labels::TPrintSettings TForm1::PrintSettings() const {
    return {Settings.PrintLabels, LabelPortName, Settings.AskPrinterState};
}

std::string TForm1::RetryHint() {
    return ". Повторить: F2"_cp1251;
}

std::string TForm1::RowLabelFault(std::int32_t row, const std::string& reason) {
    return "Этикетка строки "_cp1251 + std::to_string(row) + " не напечатана: "_cp1251 + reason;
}

void TForm1::StartPrinting(const labels::TLabelTimes& times) {
    StopPrinting();
    if (!postBox_) postBox_ = std::make_shared<TPostBox>(executor_);
    labelQueue_ = std::make_unique<labels::TLabelQueue>(
        [box = postBox_, this] { box->Post([this] { LabelsDone(); }); }, times);
}

void TForm1::StopPrinting() {
    if (!labelQueue_) return;
    labelQueue_->Stop(kStopWait);
    LabelsDone();
    labelQueue_.reset();
    // What never came out: the program closed first.
    labels::TPrintOutcome closed;
    closed.Result = labels::TPrintOutcome::TResult::Failed;
    closed.Reason = printer::ClosedText();
    for (const auto& [id, label] : std::exchange(pendingLabels_, {}))
        if (label.Kind != TPendingLabel::TKind::Test) LabelDone(label, closed);
}

std::uint64_t TForm1::QueueLabel(TPendingLabel label, const labels::TPrintSettings& settings,
                                 std::vector<std::string> writes) {
    if (!labelQueue_) StartPrinting();
    const std::uint64_t id =
        labelQueue_->Add({settings, std::move(writes), printer::TClock::now()});
    if (id != 0) pendingLabels_.emplace(id, std::move(label));
    return id;
}

job::TJobView::TLabelHandOver TForm1::QueueStepLabel(const job::TJournalEntry& step) {
    job::TJobView::TLabelHandOver handOver;
    if (!jobView_->PrintsLabels() || step.Row < 1 || step.Row > Job.RowCount) return handOver;
    const job::SizeRow& row = Job.Rows[static_cast<std::size_t>(step.Row)];
    if (QueueLabel({TPendingLabel::TKind::Step, step}, PrintSettings(),
                   labels::ComposeLabel(TemplateLines(), "", row, Job.FieldCount).Writes) == 0) {
        handOver.Label = job::TLabelResult::Failed;
        handOver.Failure = NotPrinted() + "очередь этикеток полна"_cp1251;
        return handOver;
    }
    handOver.Label = job::TLabelResult::Queued;
    return handOver;
}

bool TForm1::LabelNoticeStanding() const {
    return !labelNotice_.empty() && StatusText().find(labelNotice_) != std::string::npos;
}

void TForm1::ShowLabelNotice(const std::string& notice, bool fault, std::int32_t row) {
    labelNotice_ = notice;
    labelNoticeFault_ = fault;
    labelNoticeRow_ = row;
    std::vector<std::string> notices;
    if (!notice.empty()) notices.push_back(notice);
    if (Job.RowCount > 0 && Job.RemainingCount == 0)
        notices.push_back(ListFinishedText(Job.RowCount));
    ShowStatus(JoinNotices(notices), fault);
}

void TForm1::LabelsDone() {
    if (!labelQueue_) return;
    for (const labels::TLabelDone& done : labelQueue_->TakeDone()) {
        const auto found = pendingLabels_.find(done.Id);
        if (found == pendingLabels_.end()) continue;
        const TPendingLabel label = std::move(found->second);
        pendingLabels_.erase(found);
        LabelDone(label, done.Outcome);
    }
}

void TForm1::LabelDone(const TPendingLabel& label, const labels::TPrintOutcome& outcome) {
    using TResult = labels::TPrintOutcome::TResult;
    if (label.Kind == TPendingLabel::TKind::Test) {
        const bool failed = outcome.Failed();
        ShowStatus(failed ? outcome.Failure() : outcome.Notice, failed);
        if (Form3) Form3->TestLabelDone(outcome);
        return;
    }
    if (label.Kind == TPendingLabel::TKind::Remnant) return RemnantLabelDone(label, outcome);
    const bool reprint = label.Kind == TPendingLabel::TKind::Reprint;
    const std::int32_t row = label.Entry.Row;
    job::TJournalEntry entry = label.Entry;
    entry.WorkedAgain = true;
    entry.Outcome = !reprint;
    SetOutcome(entry, outcome, reprint);
    WriteJournal(entry);

    if (outcome.Failed()) {
        const std::string fault = RowLabelFault(row, outcome.Reason);
        LabelOutcome(fault);
        ShowLabelNotice(fault + RetryHint(), true, row);
        return;
    }
    LabelOutcome("");
    if (outcome.Result == TResult::Paused) {
        ShowLabelNotice(outcome.Notice, false, 0);
    } else if (!outcome.Notice.empty()) {
        // It took this one; the next one it will not.
        ShowLabelNotice("Этикетка строки "_cp1251 + std::to_string(row) + " напечатана; "_cp1251 +
                            outcome.Notice,
                        true, 0);
    } else if (reprint) {
        ShowLabelNotice(
            "Этикетка строки "_cp1251 + std::to_string(row) + " напечатана повторно"_cp1251, false,
            0);
    } else if (LabelNoticeStanding()) {
        ShowLabelNotice("", false, 0);  // an old pause or failure is no longer true
    }
}

void TForm1::RemnantLabelDone(const TPendingLabel& label, const labels::TPrintOutcome& outcome) {
    job::TJournalEntry entry = label.Entry;
    entry.Outcome = !entry.Reprint;
    SetOutcome(entry, outcome, false);
    WriteJournal(entry);
    if (outcome.Failed()) {
        const std::string fault = "Этикетка остатка "_cp1251 + entry.RemnantId +
                                  " не напечатана: "_cp1251 + outcome.Reason;
        LabelOutcome(fault);
        ShowLabelNotice(fault, true, 0);
        return;
    }
    LabelOutcome("");
    if (outcome.Result == labels::TPrintOutcome::TResult::Paused)
        ShowLabelNotice(outcome.Notice, false, 0);
    else if (LabelNoticeStanding())
        ShowLabelNotice("", false, 0);
}

void TForm1::QueueRemnantLabel(const plan::TStoredRemnant& remnant, job::TJournalEntry entry) {
    if (jobView_->PrintsLabels()) {
        const labels::TRemnantLabel shown{plan::FormatTenths(remnant.Length), remnant.Id,
                                          remnant.List, remnant.Date};
        TPendingLabel label{TPendingLabel::TKind::Remnant, entry};
        if (QueueLabel(label, PrintSettings(),
                       labels::ComposeRemnantLabel(RemnantTemplate, shown).Writes) != 0) {
            entry.Label = job::TLabelResult::Queued;
        } else {
            entry.Label = job::TLabelResult::Failed;
            entry.LabelFailure = "очередь этикеток полна"_cp1251;
        }
    }
    // A reprint says itself with its outcome alone, as a row's does.
    if (!entry.Reprint || entry.Label != job::TLabelResult::Queued) WriteJournal(entry);
}

void TForm1::ReprintLabel() {
    // The row whose late failure the status line shows, else the selected one.
    const std::int32_t row = LabelNoticeStanding() && labelNoticeRow_ > 0
                                 ? labelNoticeRow_
                                 : job::ListRowAt(Job, jobView_->SelectedRow());
    if (row < 1 || row > Job.RowCount) {
        ShowStatus(NotPrinted() + "не выбрана строка списка"_cp1251, true);
        return;
    }
    const job::SizeRow& current = Job.Rows[static_cast<std::size_t>(row)];
    if (!current.Done) {
        ShowStatus(
            NotPrinted() + "строка "_cp1251 + std::to_string(row) + " ещё не выполнена"_cp1251,
            true);
        return;
    }
    // As its step went; a row done in an earlier run is taken as it would step now.
    TStepped step;
    if (const auto found = steppedRows_.find(row); found != steppedRows_.end()) {
        step = found->second;
    } else {
        step.Target = TargetFor(current.Size, Link.Precision.load(), Job.Correction);
        step.InRange = Link.MinSize.load() <= step.Target && step.Target <= Link.MaxSize.load();
    }
    if (!step.InRange) {
        ShowStatus(NotPrinted() + "размер "_cp1251 + job::TargetText(step.Target) +
                       " строки "_cp1251 + std::to_string(row) + " вне диапазона"_cp1251,
                   true);
        return;
    }
    if (!jobView_->PrintsLabels()) {
        ShowStatus(NotPrinted() + (Settings.PrintLabels ? "принтер не задан"_cp1251
                                                        : "печать этикеток выключена"_cp1251),
                   true);
        return;
    }
    // One reprint a press: a press while the row's label is still to come adds nothing.
    if (std::any_of(pendingLabels_.begin(), pendingLabels_.end(), [row](const auto& pending) {
            return pending.second.Kind != TPendingLabel::TKind::Test &&
                   pending.second.Entry.Row == row;
        })) {
        ShowStatus("Этикетка строки "_cp1251 + std::to_string(row) + " уже в очереди"_cp1251,
                   false);
        return;
    }
    TPendingLabel label{TPendingLabel::TKind::Reprint, job::RowEntry(Job, row, step.Target)};
    label.Entry.Reprint = true;
    if (QueueLabel(label, PrintSettings(),
                   labels::ComposeLabel(TemplateLines(), "", current, Job.FieldCount).Writes) != 0)
        return;
    labels::TPrintOutcome full;
    full.Result = labels::TPrintOutcome::TResult::Failed;
    full.Reason = "очередь этикеток полна"_cp1251;
    LabelDone(label, full);
}

void TForm1::PrintTestLabel() {
    PrintTestLabel(PrintSettings());
}

void TForm1::PrintTestLabel(const labels::TPrintSettings& settings) {
    static const job::SizeRow kNoRow;
    labels::TPrintOutcome outcome;  // printing off: nothing to wait for
    if (settings.PrintLabels && !settings.LabelPortName.empty()) {
        const std::vector<std::string> writes =
            labels::ComposeLabel(TemplateLines(), TestLabelText(), kNoRow, Job.FieldCount).Writes;
        if (QueueLabel({TPendingLabel::TKind::Test, {}}, settings, writes) != 0) return;
        outcome.Result = labels::TPrintOutcome::TResult::Failed;
        outcome.Reason = "очередь этикеток полна"_cp1251;
    }
    LabelDone({TPendingLabel::TKind::Test, {}}, outcome);
}

void TForm1::RequestPrintQueues() {
    if (!postBox_) postBox_ = std::make_shared<TPostBox>(executor_);
    printer::PrintQueuesAsync([box = postBox_](printer::TQueueList list) {
        box->Post([list = std::move(list)] {
            if (Form3) Form3->ShowQueues(list);
        });
    });
}

job::TJobView::TLabelHandOver TForm1JobView::PrintRowLabel(const job::TJournalEntry& step) {
    return form_.QueueStepLabel(step);
}

bool TForm1JobView::PrintsLabels() const {
    return form_.Settings.PrintLabels && !LabelPortName.empty();
}

std::string TForm1JobView::LabelFaultNotice(const std::string& failure) const {
    const std::string& prefix = NotPrinted();
    if (failure.starts_with(prefix))
        return TForm1::RowLabelFault(form_.Job.CurrentRow, failure.substr(prefix.size())) +
               TForm1::RetryHint();
    return failure + TForm1::RetryHint();
}

}  // namespace tandrel::console
