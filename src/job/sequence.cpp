#include "job/sequence.h"

#include <algorithm>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "job/progress.h"

namespace tandrel::job {
namespace {

void ShowRowCounter(const TJobState& state, TJobView& view) {
    view.SetRowCounter(RowCounterText(state));
}

void MarkDone(TJobState& state, TJobView& view, std::int32_t row) {
    if (state.Rows[row].Done) return;
    state.Rows[row].Done = true;
    view.RowChanged(row);
}

// A row that could not be recorded would be worked again after the next load: say so.
void Record(TJobState& state, TJobView& view, std::int32_t row) {
    std::string failure;
    if (!AppendProgress(state, row, &failure)) {
        view.SetStatusLine("Строка "_cp1251 + std::to_string(row) +
                               " не записана в файл хода работы: "_cp1251 + failure,
                           true);
    }
}

// The step's line goes to the journal once, at the first completion after the step.
void JournalStep(TJobState& state, TJobView& view) {
    if (!state.StepEntry) return;
    const TJournalEntry entry = std::move(*state.StepEntry);
    state.StepEntry.reset();
    view.JournalStep(entry);
}

bool IsListRow(const TJobState& state, std::int32_t row) {
    return row >= 1 && row <= state.RowCount;
}

// The next row to work after prev in work order, or 0 when there is none.
std::int32_t ChooseRow(const TJobState& state, std::int32_t prev, bool consecutive) {
    const std::int32_t from = PositionOf(state, prev);
    const std::int32_t count = PositionCount(state);
    for (std::int32_t p = from + 1; p <= count; ++p) {
        const std::int32_t i = RowAtPosition(state, p);
        if (consecutive || !state.Rows[i].Done) return i;
    }
    for (std::int32_t p = 1; p <= from; ++p) {
        const std::int32_t j = RowAtPosition(state, p);
        if (!state.Rows[j].Done) return j;
    }
    return 0;
}

// The list row the grid's selection shows, 0 for a heading or none.
std::int32_t SelectedListRow(const TJobState& state, const TJobView& view) {
    return ListRowAt(state, view.SelectedRow());
}

// Back is of use when the selection has a row before it in work order.
bool HasRowBefore(const TJobState& state, const TJobView& view) {
    return PositionOf(state, SelectedListRow(state, view)) > 1;
}

}  // namespace

TCellLook CellLook(const TJobState& state, std::int32_t gridRow, bool selected) {
    if (selected) return TCellLook::Selected;
    if (HeadingAt(state, gridRow) != nullptr) return TCellLook::Heading;
    const std::int32_t row = ListRowAt(state, gridRow);
    if (row != 0 && state.Rows[row].Done) return TCellLook::Done;
    return gridRow == 0 ? TCellLook::Header : TCellLook::Grid;
}

TJournalEntry RowEntry(const TJobState& state, std::int32_t row, double target) {
    TJournalEntry entry;
    entry.ListName = state.ListName;
    entry.Row = row;
    entry.Size = state.Rows[static_cast<std::size_t>(row)].Size;
    entry.Correction = state.Correction;
    entry.Target = target;
    return entry;
}

std::string TargetText(double target) {
    return FormatGeneral(target, DecimalSeparator());
}

TNotice LoadNotice(const TLoadOutcome& out, const std::string& listName,
                   const std::string& progressIssue) {
    // How the list was read where it was not read as a plain list, then what went wrong.
    TNotice notice;
    auto add = [&notice](const std::string& part, const char* joint) {
        if (!notice.Text.empty()) notice.Text += joint;
        notice.Text += part;
    };
    if (!out.Sheet.empty()) add("прочитан лист «"_cp1251 + out.Sheet + "»"_cp1251, "; ");
    if (out.SkippedAbove > 0)
        add("строк над заголовком пропущено: "_cp1251 + std::to_string(out.SkippedAbove), "; ");
    if (!progressIssue.empty()) {
        add("Файл хода работы "_cp1251 + ProgressFileName(listName) + ": " + progressIssue, ". ");
        notice.Fault = true;
    }
    if (out.Replaced > 0) {
        // A workbook holds Unicode by its nature: only the text files are said to be read so.
        const std::string read = out.Workbook ? std::string()
                                 : out.Utf16 ? "Список прочитан как UTF-16; "_cp1251
                                             : "Список прочитан как UTF-8; "_cp1251;
        add((read.empty() ? "Знаков"_cp1251 : read + "знаков"_cp1251) +
                ", которых нет в Windows-1251 (заменены на «?»): "_cp1251 +
                std::to_string(out.Replaced),
            ". ");
        notice.Fault = true;
    }
    return notice;
}

TLoadOutcome OpenList(TJobState& state, TJobView& view, const std::string& listName) {
    return OpenList(state, view, ResolveList(listName));
}

TLoadOutcome OpenList(TJobState& state, TJobView& view, const TListSource& list) {
    const std::string& listName = list.Name;
    view.SetInfoLine("");  // every load, also one that is refused
    TLoadOutcome out = LoadList(state, list);
    if (!out.CrcMessage.empty()) view.ShowMessage(out.CrcMessage);
    if (!out.Loaded) {
        view.SetStatusLine(out.Reason, true);
        view.ShowButtons();
        return out;
    }
    view.SetStartCaption("Старт"_cp1251);
    view.SetRecordCount(state.RowCount);
    view.SetStartEnabled(true);
    view.SetBackEnabled(false);
    view.FocusStart();
    std::string issue = out.ProgressIssue;
    if (out.AskRestart && view.AskRestart(out.RestartQuestion)) {
        view.ListRestarting();
        if (!RestartList(state)) issue = "не удалось начать его заново"_cp1251;
    }
    view.ShowList(listName);
    ShowRowCounter(state, view);
    const TNotice notice = LoadNotice(out, listName, issue);
    view.SetStatusLine(notice.Text, notice.Fault);
    view.ShowButtons();
    return out;
}

std::int32_t NextStepRow(const TJobState& state, bool consecutiveRows) {
    if (state.RemainingCount <= 0) return 0;
    if (const std::int32_t row = ChooseRow(state, state.CurrentRow, consecutiveRows)) return row;
    return IsListRow(state, state.CurrentRow) ? state.CurrentRow : 0;
}

void StepRow(TJobState& state, TJobView& view, const TStepLimits& limits) {
    if (state.RemainingCount <= 0 && !state.RevisitRow) return;
    bool workedAgain = true;  // a revisited row is done
    if (!state.RevisitRow) {
        // A chosen row counts also when it is the one already held: a reload leaves
        // CurrentRow on a row that is not done.
        if (const std::int32_t row = ChooseRow(state, state.CurrentRow, limits.ConsecutiveRows)) {
            state.CurrentRow = row;
            workedAgain = state.Rows[row].Done;
            if (!workedAgain) --state.RemainingCount;
            MarkDone(state, view, row);
            ShowRowCounter(state, view);
        }
    }
    const std::int32_t row = state.CurrentRow;
    if (!IsListRow(state, row)) return;

    const auto half = static_cast<std::int32_t>(RoundHalfEven(view.VisibleRows() / 2.0));
    const std::int32_t gridRow = GridRowOf(state, row);
    view.SelectRow(gridRow, std::max(1, gridRow - half));
    if (PositionOf(state, row) == 1) view.SetBackEnabled(false);

    const SizeRow& current = state.Rows[row];
    state.Target = TargetFor(current.Size, limits.Precision, state.Correction);
    const std::string target = TargetText(state.Target);
    TJournalEntry entry = RowEntry(state, row, state.Target);
    entry.WorkedAgain = workedAgain;
    entry.InRange = limits.MinSize <= state.Target && state.Target <= limits.MaxSize;
    if (entry.InRange) {
        // Old text -> target; this change does not complete the row.
        view.SetPositionText(view.PositionText() + "->" + target);
        view.SetInfoLine(current.Caption);
        // A printer's failure never stops the step and never reaches the device link.
        const TJobView::TLabelHandOver label = view.PrintRowLabel(entry);
        entry.Label = label.Label;
        if (label.Label == TLabelResult::Failed) {
            view.SetStatusLine(view.LabelFaultNotice(label.Failure), true);
            entry.LabelFailure = label.Failure;
        }
    } else {
        MarkDone(state, view, row);
        Record(state, view, row);
        view.SetInfoLine("Ошибка! Размер "_cp1251 + target + " вне диапазона!"_cp1251);
        view.SetStartCaption("Следующий"_cp1251);
        view.SetStartEnabled(true);
        if (HasRowBefore(state, view)) view.SetBackEnabled(true);
        view.FocusStart();
    }
    if (state.RemainingCount == 0) view.SetStartEnabled(false);
    const bool inRange = entry.InRange;  // the journal takes the entry at the first completion
    state.StepEntry = std::move(entry);
    view.SetPositionText(target);
    // An out-of-range row whose target the display already showed has no completion; the step
    // recorded it above, and its line is written all the same.
    JournalStep(state, view);
    view.StepFinished(state.Target, inRange);
}

void Edit1Change(TJobState& state, TJobView& view) {
    if (state.CurrentRow == 0) {
        view.ShowButtons();
        if (view.StartEnabled()) view.FocusStart();
    } else if (IsListRow(state, state.CurrentRow) &&
               view.PositionText() == TargetText(state.Target)) {
        ShowRowCounter(state, view);
        Record(state, view, state.CurrentRow);
        JournalStep(state, view);
        if (state.RemainingCount > 0) {
            view.SetStartCaption("Следующий"_cp1251);
            view.SetStartEnabled(true);
            view.FocusStart();
        }
    }
    if (HasRowBefore(state, view)) view.SetBackEnabled(true);
}

void BitBtn1Click(TJobState& state, TJobView& view, const TStepLimits& limits) {
    if (view.EnterManualEntry()) return;
    state.RevisitRow = false;
    StepRow(state, view, limits);
}

void BitBtn2Click(TJobState& state, TJobView& view, const TStepLimits& limits) {
    // The row before the selected one in work order.
    const std::int32_t p = PositionOf(state, SelectedListRow(state, view));
    if (p < 2) return;
    const std::int32_t above = RowAtPosition(state, p - 1);
    if (state.Rows[above].Done) {
        state.RevisitRow = true;
        state.CurrentRow = above;
        StepRow(state, view, limits);
    } else if (view.StartEnabled()) {
        state.RevisitRow = false;
        state.CurrentRow = RowAtPosition(state, p - 2);
        StepRow(state, view, limits);
    }
}

void StringGrid1DblClick(TJobState& state, TJobView& view, const TStepLimits& limits) {
    const std::int32_t r = SelectedListRow(state, view);
    if (!IsListRow(state, r)) return;
    if (state.Rows[r].Done) {
        state.RevisitRow = true;
        state.CurrentRow = r;
        StepRow(state, view, limits);
    } else if (view.StartEnabled()) {
        state.RevisitRow = false;
        state.CurrentRow = RowAtPosition(state, PositionOf(state, r) - 1);
        StepRow(state, view, limits);
    }
}

}  // namespace tandrel::job
