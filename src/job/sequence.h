#pragma once
// Working through a loaded list: Start/Next, Back, a double-click on the grid and the completion
// of a row when the position display shows its target. Plain logic on TJobState; the main window
// implements TJobView and calls these from its handlers of the same names. Main thread only.

#include <cstdint>
#include <string>

#include "job/cut_list.h"
#include "job/job_state.h"

namespace tandrel::job {

// The main window as the job sees it. Row numbers are list rows, except the grid's own
// (SelectedRow, SelectRow): grid rows, which are list rows unless the list is worked in an order of
// its own (job/work_order.h). Grid row 0 is the header.
class TJobView {
  public:
    virtual ~TJobView() = default;

    // Position display Edit1. The setter changes the text and, only when it really changes,
    // calls Edit1Change inside the assignment.
    virtual std::string PositionText() const = 0;
    virtual void SetPositionText(const std::string& text) = 0;

    virtual void SetInfoLine(const std::string& text) = 0;  // Label3
    // The status line; fault marks a failure the operator should notice.
    virtual void SetStatusLine(const std::string& text, bool fault) = 0;

    // Start/Next (BitBtn1) and Back (BitBtn2).
    virtual void SetStartCaption(const std::string& caption) = 0;
    virtual void SetStartEnabled(bool enabled) = 0;
    virtual bool StartEnabled() const = 0;
    virtual void SetBackEnabled(bool enabled) = 0;
    virtual void ShowButtons() = 0;  // both visible
    virtual void FocusStart() = 0;   // keyboard focus, when Start is visible

    // Grid StringGrid1.
    virtual std::int32_t SelectedRow() const = 0;
    virtual std::int32_t VisibleRows() const = 0;  // rows fully visible below the header
    virtual void SelectRow(std::int32_t row, std::int32_t topRow) = 0;
    virtual void SetRowCounter(const std::string& text) = 0;  // header cell of column 0
    virtual void RowChanged(std::int32_t row) = 0;            // its Done mark changed
    // A new list is in the state: show the grid with its rows, the header's column 1 = listName.
    virtual void ShowList(const std::string& listName) = 0;

    // Dialogs: the restart question (true = Yes) and an information box with OK.
    virtual bool AskRestart(const std::string& question) = 0;
    // The restart question was answered Yes: every row's Done is about to be cleared.
    virtual void ListRestarting() {}
    virtual void ShowMessage(const std::string& text) = 0;
    // The connection information window's field "Записей".
    virtual void SetRecordCount(std::int32_t count) = 0;

    // The keypad's "#" when ManualEntry is not empty; returns false when nothing is typed.
    virtual bool EnterManualEntry() = 0;
    // Hands the label of Rows[CurrentRow] to the printer, never waiting for it: Queued (its
    // outcome comes later, journalled with the step's line), NotPrinted while printing is off,
    // or Failed at once with why (Windows-1251). Raises nothing.
    struct TLabelHandOver {
        TLabelResult Label = TLabelResult::NotPrinted;
        std::string Failure;
    };
    virtual TLabelHandOver PrintRowLabel(const TJournalEntry& step) = 0;
    // A label's failure as the status line says it (the window adds how to print it again).
    virtual std::string LabelFaultNotice(const std::string& failure) const { return failure; }
    // The journal line of a step, once per step at its first completion.
    virtual void JournalStep(const TJournalEntry&) {}
    // The step's last act, once the position display has completed and recorded the row: what
    // follows a step (a move of the stop) may fail without leaving a row done but unrecorded.
    virtual void StepFinished(double /*target*/, bool /*inRange*/) {}
};

// Device values and the setting the steps use.
struct TStepLimits {
    double MinSize = 0;
    double MaxSize = 0;
    std::int32_t Precision = 0;
    bool ConsecutiveRows = false;  // "Номера подряд": the next row is taken even when done
};

// "Открыть файл" and the other loads: LoadList, then the window's side of it (the grid, the
// buttons, the restart question, the status line). A rejected file leaves the list as it was.
TLoadOutcome OpenList(TJobState& state, TJobView& view, const TListSource& list);
TLoadOutcome OpenList(TJobState& state, TJobView& view, const std::string& listName);

// What the status line says after a load: how the list was read where that is worth saying (the
// sheet, rows above the header, characters replaced), then the progress file's trouble.
struct TNotice {
    std::string Text;
    bool Fault = false;
};
TNotice LoadNotice(const TLoadOutcome& out, const std::string& listName,
                   const std::string& progressIssue);

// The row the next press of Start would work (it clears RevisitRow first), 0 when none.
std::int32_t NextStepRow(const TJobState& state, bool consecutiveRows);

// Chooses the next row (unless RevisitRow), computes and shows its target, hands its label to the
// printer and completes it through the position display.
void StepRow(TJobState& state, TJobView& view, const TStepLimits& limits);

void BitBtn1Click(TJobState& state, TJobView& view, const TStepLimits& limits);         // Start
void BitBtn2Click(TJobState& state, TJobView& view, const TStepLimits& limits);         // Back
void StringGrid1DblClick(TJobState& state, TJobView& view, const TStepLimits& limits);  // work it
// The position display's change handler: completes the row when the text is its target.
void Edit1Change(TJobState& state, TJobView& view);

// How StringGrid1DrawCell paints a cell of grid row gridRow (0 = header): the selection keeps the
// grid's look, done rows are yellow, the header light green, a plan's heading its own, anything
// else the grid's own.
enum class TCellLook { Grid, Selected, Done, Header, Heading };
struct TRgb {
    std::uint8_t R, G, B;
};
inline constexpr TRgb kDoneColour{255, 255, 0};
inline constexpr TRgb kHeaderColour{192, 220, 192};
TCellLook CellLook(const TJobState& state, std::int32_t gridRow, bool selected);

// A journal line's fields for row worked to target: the list, the row, its size, the correction
// in force.
TJournalEntry RowEntry(const TJobState& state, std::int32_t row, double target);

// The target's text as shown and compared.
std::string TargetText(double target);

}  // namespace tandrel::job
