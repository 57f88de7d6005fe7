// The main window's side of the job: the job's view of the controls, the list loads, the
// buttons of the job and the labels.

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/Unit1_views.h"
#include "console/Unit2.h"
#include "console/qt_text.h"
#include "console/rows_model.h"
#include "console/windows_common.h"
#include "labels/label.h"
#include "serial/BCPort.h"

namespace tandrel::console {

std::string TForm1JobView::PositionText() const {
    return ControlText(form_.Edit1);
}

void TForm1JobView::SetPositionText(const std::string& text) {
    SetControlText(form_.Edit1, text);  // Edit1Change runs inside, on a real change
}

void TForm1JobView::SetInfoLine(const std::string& text) {
    form_.SetInfoLine(text);
}

void TForm1JobView::SetStatusLine(const std::string& text, bool fault) {
    form_.ShowStatus(text, fault);
}

void TForm1JobView::SetStartCaption(const std::string& caption) {
    form_.BitBtn1->setText(ToQ(caption));
}

void TForm1JobView::SetStartEnabled(bool enabled) {
    form_.BitBtn1->setEnabled(enabled);
}

bool TForm1JobView::StartEnabled() const {
    return form_.BitBtn1->isEnabled();
}

void TForm1JobView::SetBackEnabled(bool enabled) {
    form_.BitBtn2->setEnabled(enabled);
}

void TForm1JobView::ShowButtons() {
    // Also while the keypad is full: a load or a completion with no row in work shows them.
    form_.BitBtn1->setVisible(true);
    form_.BitBtn2->setVisible(true);
}

void TForm1JobView::FocusStart() {
    if (form_.BitBtn1->isVisible()) form_.BitBtn1->setFocus();
}

std::int32_t TForm1JobView::SelectedRow() const {
    const QModelIndex current = form_.StringGrid1->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

std::int32_t TForm1JobView::VisibleRows() const {
    const int rowHeight = form_.StringGrid1->verticalHeader()->defaultSectionSize();
    if (rowHeight <= 0) return 1;
    return std::max(1, form_.StringGrid1->viewport()->height() / rowHeight);
}

void TForm1JobView::SelectRow(std::int32_t row, std::int32_t topRow) {
    TRowsModel* model = form_.RowsModel();
    if (row < 1 || row > model->rowCount()) return;
    form_.StringGrid1->selectRow(row - 1);
    form_.StringGrid1->setCurrentIndex(model->index(row - 1, 0));
    if (topRow >= 1) form_.StringGrid1->verticalScrollBar()->setValue(topRow - 1);
}

void TForm1JobView::SetRowCounter(const std::string& text) {
    form_.RowsModel()->SetCounter(text);
}

void TForm1JobView::RowChanged(std::int32_t row) {
    form_.RowsModel()->RowChanged(row);
}

void TForm1JobView::ShowList(const std::string& listName) {
    form_.RowsModel()->Reset(listName);
    // A plan's headings run across both columns.
    form_.StringGrid1->clearSpans();
    for (std::int32_t g = 1; g <= job::GridRowCount(form_.Job); ++g)
        if (job::HeadingAt(form_.Job, g) != nullptr) form_.StringGrid1->setSpan(g - 1, 0, 1, 2);
    const bool byPlan = form_.Job.Order.Active();
    form_.BitBtn3->setVisible(byPlan);
    form_.BitBtn3->setEnabled(byPlan && !(form_.replan_ && form_.replan_->Runner.Running()));
    form_.StringGrid1->setVisible(!form_.KeypadCoversGrid());
}

namespace {
// A box of a load is open: the recovery's reload waits for its answer.
class TLoadBox {
  public:
    explicit TLoadBox(int& open) : open_(open) { ++open_; }
    ~TLoadBox() { --open_; }
    TLoadBox(const TLoadBox&) = delete;
    TLoadBox& operator=(const TLoadBox&) = delete;

  private:
    int& open_;
};

// "description|pattern|..." as the dialog's filters.
QString DialogFilters(const std::string& filter) {
    const QStringList parts = ToQ(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + parts[i + 1] + QLatin1Char(')');
    return filters.join(QStringLiteral(";;"));
}

// A dialog's path with the system's separators, in Windows-1251.
std::optional<std::string> DialogPath(const QString& path) {
    return PathToCp1251(std::filesystem::path(QDir::toNativeSeparators(path).toStdU16String()));
}
}  // namespace

bool TForm1JobView::AskRestart(const std::string& question) {
    if (form_.QuietReload()) return false;  // nobody may be there to answer: keep it as it was
    const TLoadBox open(form_.loadBoxes_);
    QMessageBox box(QMessageBox::Question, form_.windowTitle(), ToQ(question),
                    QMessageBox::Yes | QMessageBox::No, &form_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    FitForGloves(box);
    return box.exec() == QMessageBox::Yes;
}

void TForm1JobView::ListRestarting() {
    form_.CatchUpBeforeRestart();
}

void TForm1JobView::ShowMessage(const std::string& text) {
    const TLoadBox open(form_.loadBoxes_);
    QMessageBox box(QMessageBox::Information, form_.windowTitle(), ToQ(text), QMessageBox::Ok,
                    &form_);
    FitForGloves(box);
    box.exec();
}

void TForm1JobView::SetRecordCount(std::int32_t count) {
    SetControlText(Form2->LabeledEdit9(), std::to_string(count));
}

bool TForm1JobView::EnterManualEntry() {
    if (form_.Entry.ManualEntry.empty()) return false;
    form_.BitBtn14Click();
    return true;
}

void TForm1JobView::StepFinished(double target, bool inRange) {
    form_.StepFinished(target, inRange);
}

void TForm1JobView::JournalStep(const job::TJournalEntry& entry) {
    form_.WriteJournal(entry);
}

void TForm1::CreateJob() {
    BComPort1 = std::make_unique<serial::TBComPort>(&executor_);
    BComPort2 = std::make_unique<serial::TBComPort>(&executor_);
    labels::ConfigureLabelPort(*BComPort1);
    labels::ConfigureLabelPort(*BComPort2);
    rowsModel_ = std::make_unique<TRowsModel>(Job);
    StringGrid1->setModel(rowsModel_.get());
    StringGrid1->horizontalHeader()->resizeSection(0, 207);
    StringGrid1->horizontalHeader()->resizeSection(1, 367);
    StringGrid1->horizontalHeader()->setStretchLastSection(false);
    StringGrid1->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background: rgb(%1, %2, %3); }")
            .arg(job::kHeaderColour.R)
            .arg(job::kHeaderColour.G)
            .arg(job::kHeaderColour.B));
    jobView_ = std::make_unique<TForm1JobView>(*this);
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] { FlawedBarClick(); });
    connect(StringGrid1, &QTableView::doubleClicked, this, [this] { StringGrid1DblClick(); });
}

job::TStepLimits TForm1::StepLimits() const {
    return {Link.MinSize.load(), Link.MaxSize.load(), Link.Precision.load(),
            Settings.ConsecutiveRows};
}

namespace {
// The step's faults are gathered from its start to its end, also when it ends by raising.
template <typename Step>
void RunStep(bool& stepping, std::vector<std::string>& faults, Step step) {
    faults.clear();
    stepping = true;
    struct TEnd {
        bool& stepping;
        ~TEnd() { stepping = false; }
    } end{stepping};
    step();
}
}  // namespace

void TForm1::BitBtn1Click() {
    OperatorActed();
    RunStep(stepping_, stepFaults_, [this] { job::BitBtn1Click(Job, *jobView_, StepLimits()); });
}

void TForm1::BitBtn2Click() {
    OperatorActed();
    RunStep(stepping_, stepFaults_, [this] { job::BitBtn2Click(Job, *jobView_, StepLimits()); });
}

void TForm1::StringGrid1DblClick() {
    OperatorActed();
    RunStep(stepping_, stepFaults_,
            [this] { job::StringGrid1DblClick(Job, *jobView_, StepLimits()); });
}

void TForm1::Edit1Change() {
    job::Edit1Change(Job, *jobView_);
}

void TForm1::N2Click() {
    OperatorActed();
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), ToQ(DataDir),
                                                        DialogFilters(OpenDialogFilter()));
    if (chosen.isEmpty()) return;
    const QFileInfo file(chosen);
    // The progress file lies in the current directory: the chosen file's folder.
    QDir::setCurrent(file.absolutePath());
    QString folder = file.absolutePath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');  // with its separator
    const std::string directory = DialogPath(folder).value_or(std::string());
    const std::string name = DialogPath(file.absoluteFilePath()).value_or(std::string());
    if (name.empty()) {
        ShowStatus("Файл не открыт: его имя нельзя записать в кодировке Windows-1251"_cp1251, true);
        return;
    }
    if (directory != DataDir) {
        DataDir = directory;
        try {
            WriteSettings();
        } catch (...) {
            // The settings stay in force; the file is written again at close.
        }
    }
    StartLoad(name);
}

void TForm1::LoadLabelTemplate() {
    const labels::TLabelTemplate loaded = labels::EnsureLabelTemplate(ProgramDirectory());
    std::string text;
    for (std::size_t i = 0; i < loaded.Lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += loaded.Lines[i];
    }
    // The text control would give back 0xA0 as a blank and an empty file as one empty line:
    // the bytes are kept apart and the control only shows them.
    LabelTemplate = loaded.Lines;
    Memo1->setPlainText(ToQ(text));
    if (!loaded.Problem.empty()) ShowStatus(loaded.Problem, true);
}

}  // namespace tandrel::console
