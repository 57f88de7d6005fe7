#pragma once
// How the job and the device link see the main window's controls: each a narrow view that the
// main window implements on its real controls. Main thread only.

#include "job/sequence.h"
#include "link/dispatcher.h"

namespace tandrel::console {

class TForm1;

class TForm1JobView final : public job::TJobView {
  public:
    explicit TForm1JobView(TForm1& form) : form_(form) {}

    std::string PositionText() const override;
    void SetPositionText(const std::string& text) override;
    void SetInfoLine(const std::string& text) override;
    void SetStatusLine(const std::string& text, bool fault) override;
    void SetStartCaption(const std::string& caption) override;
    void SetStartEnabled(bool enabled) override;
    bool StartEnabled() const override;
    void SetBackEnabled(bool enabled) override;
    void ShowButtons() override;
    void FocusStart() override;
    std::int32_t SelectedRow() const override;
    std::int32_t VisibleRows() const override;
    void SelectRow(std::int32_t row, std::int32_t topRow) override;
    void SetRowCounter(const std::string& text) override;
    void RowChanged(std::int32_t row) override;
    void ShowList(const std::string& listName) override;
    bool AskRestart(const std::string& question) override;
    void ListRestarting() override;
    void ShowMessage(const std::string& text) override;
    void SetRecordCount(std::int32_t count) override;
    bool EnterManualEntry() override;
    TLabelHandOver PrintRowLabel(const job::TJournalEntry& step) override;
    // Printing on and a printer named.
    bool PrintsLabels() const;
    std::string LabelFaultNotice(const std::string& failure) const override;
    void JournalStep(const job::TJournalEntry& entry) override;
    void StepFinished(double target, bool inRange) override;

  private:
    TForm1& form_;
};

class TForm1LinkView final : public link::TLinkView {
  public:
    explicit TForm1LinkView(TForm1& form) : form_(form) {}

    void WriteDevice(const std::string& text) override;
    void SetCurrentPositionField(const std::string& text) override;
    void SetPositionDisplay(const std::string& text) override;
    void SetKeypadMirror(const std::string& text) override;
    bool BackEnabled() const override;
    void ClickBack() override;
    bool StartEnabled() const override;
    void ClickStart() override;
    void Notice(const std::string& text, bool fault) override;

  private:
    TForm1& form_;
};

}  // namespace tandrel::console
