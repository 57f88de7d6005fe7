#include "console/nastr.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "console/Unit1.h"
#include "console/broker_dialog.h"
#include "console/qt_text.h"
#include "console/windows_common.h"
#include "feed/feed_secret.h"

namespace tandrel::console {

TForm3* Form3 = nullptr;

namespace {
QCheckBox* AddCheckBox(QWidget* parent, const char* name, const std::string& caption, int left,
                       int top, int width) {
    auto* box = new QCheckBox(ToQ(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, 17);
    return box;
}
}  // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(ToQ("Настройки"_cp1251));
    setFont(WindowFont());
    resize(939, 480);

    ValueListEditor1 = new QTableWidget(3, 2, this);
    ValueListEditor1->setObjectName(QStringLiteral("ValueListEditor1"));
    ValueListEditor1->setGeometry(0, 0, 939, 300);
    ValueListEditor1->setHorizontalHeaderLabels({ToQ("Элемент"_cp1251), ToQ("Значение"_cp1251)});
    ValueListEditor1->verticalHeader()->setVisible(false);
    ValueListEditor1->setColumnWidth(0, 235);
    ValueListEditor1->setColumnWidth(1, 682);
    const std::string names[3] = {"Размер шрифта информации"_cp1251,
                                  "Размер шришта текущего положения"_cp1251,
                                  "Размер шрифта списка размеров"_cp1251};
    for (int row = 0; row < 3; ++row) {
        auto* name = new QTableWidgetItem(ToQ(names[row]));
        name->setFlags(Qt::ItemIsEnabled);  // names are fixed
        ValueListEditor1->setItem(row, 0, name);
        ValueListEditor1->setItem(row, 1, new QTableWidgetItem());
    }

    CheckBox1 = AddCheckBox(this, "CheckBox1", "Клавиатура"_cp1251, 16, 312, 97);
    CheckBox2 = AddCheckBox(this, "CheckBox2", "Коррекция"_cp1251, 16, 336, 97);
    CheckBox4 = AddCheckBox(this, "CheckBox4", "Номера подряд"_cp1251, 16, 360, 97);
    CheckBox5 = AddCheckBox(this, "CheckBox5", "Отправлять размеры на упор"_cp1251, 16, 384, 97);
    CheckBox6 = AddCheckBox(this, "CheckBox6", "Вести журнал"_cp1251, 16, 408, 97);
    for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox4, CheckBox5, CheckBox6})
        box->adjustSize();
    BitBtn1 = new QPushButton(ToQ("Применить"_cp1251), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(800, 320, 75, 25);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });

    BuildConnectionGroup();
}

namespace {
// Read and pressed with a finger: text of 20 px, rows of 40 px.
constexpr int kTouchText = 20;
constexpr int kTouchRow = 40;
constexpr int kGroupTop = 436;
// Between the small switches and "Применить".
constexpr int kOutcomeLeft = 232;
constexpr int kOutcomeTop = 312;
constexpr int kOutcomeRight = 790;

QComboBox* TouchComboBox(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumHeight(kTouchRow);
    box->setMinimumWidth(420);
    return box;
}

QCheckBox* TouchCheckBox(QWidget* parent, const char* name, const std::string& caption) {
    auto* box = new QCheckBox(ToQ(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setMinimumHeight(kTouchRow);
    box->setStyleSheet(QStringLiteral("QCheckBox::indicator { width: 28px; height: 28px; }"));
    return box;
}

void FillComboBox(QComboBox* box, const std::vector<std::string>& items, const std::string& text) {
    const QSignalBlocker quiet(box);
    box->clear();
    for (const std::string& item : items) box->addItem(ToQ(item));
    box->setEditText(ToQ(text));
}
}  // namespace

void TForm3::BuildConnectionGroup() {
    GroupBox1 = new QGroupBox(ToQ("Подключение"_cp1251), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setFont(PixelFont("Tahoma", kTouchText));
    connectionRows_ = new QGridLayout(GroupBox1);
    connectionRows_->setColumnStretch(1, 1);
    connectionRows_->setVerticalSpacing(4);

    ComboBox2 = TouchComboBox(GroupBox1, "ComboBox2");
    AddConnectionRow("Порт устройства"_cp1251, ComboBox2);

    ComboBox1 = TouchComboBox(GroupBox1, "ComboBox1");
    Button1 = new QPushButton(ToQ("Тест"_cp1251), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setMinimumSize(120, kTouchRow);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    AddConnectionRow("Принтер этикеток"_cp1251, ComboBox1, Button1);

    auto* switches = new QWidget(GroupBox1);
    auto* switchRow = new QHBoxLayout(switches);
    switchRow->setContentsMargins(0, 0, 0, 0);
    switchRow->setSpacing(32);
    CheckBox3 = TouchCheckBox(switches, "CheckBox3", "Печать этикеток"_cp1251);
    connect(CheckBox3, &QCheckBox::toggled, this, [this] { CheckBox3Click(); });
    CheckBox7 = TouchCheckBox(switches, "CheckBox7", "Спрашивать состояние принтера"_cp1251);
    connect(CheckBox7, &QCheckBox::clicked, this, [this](bool checked) { askState_ = checked; });
    // The test's outcome and the print service's answer take the free room right of the small
    // switches: beside the group's switches it was cut to a word a line, and the window must
    // stay within 800 px of height.
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(PixelFont("Tahoma", kTouchText));
    Label2->setGeometry(kOutcomeLeft, kOutcomeTop, kOutcomeRight - kOutcomeLeft,
                        kGroupTop - 8 - kOutcomeTop);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setWordWrap(true);
    switchRow->addWidget(CheckBox3);
    switchRow->addWidget(CheckBox7);
    switchRow->addStretch(1);
    AddConnectionRow("", switches);

    FeedRows = AddFeedRows([this](const std::string& caption, QWidget* control, QWidget* button) {
        AddConnectionRow(caption, control, button);
    });
    connect(CheckBox6, &QCheckBox::toggled, this,
            [this](bool on) { FeedRows.JournalOff->setVisible(!on); });
    BrokerDialog = new TBrokerDialog(this);
    BrokerDialog->CheckSetup = [](const TFeedSetup& setup) {
        return TForm1::CheckFeed(setup, std::chrono::seconds(10));
    };
    connect(FeedRows.Credentials, &QPushButton::clicked, this, [this] { CredentialsClick(); });
    AddIncomingFolderRow();
}

int TForm3::AddConnectionRow(const std::string& captionCp1251, QWidget* control, QWidget* extra) {
    const int row = connectionRows_->rowCount();
    if (!captionCp1251.empty()) {
        auto* caption = new QLabel(ToQ(captionCp1251), GroupBox1);
        caption->setMinimumHeight(kTouchRow);
        caption->setBuddy(control);
        connectionRows_->addWidget(caption, row, 0);
    }
    control->setParent(GroupBox1);
    control->setMinimumHeight(std::max(control->minimumHeight(), kTouchRow));
    if (extra != nullptr) {
        extra->setParent(GroupBox1);
        extra->setMinimumHeight(std::max(extra->minimumHeight(), kTouchRow));
        connectionRows_->addWidget(control, row, 1);
        connectionRows_->addWidget(extra, row, 2);
    } else {
        connectionRows_->addWidget(control, row, 1, 1, 2);
    }
    // The window grows below its design size to hold the group.
    const int height = GroupBox1->sizeHint().height();
    GroupBox1->setGeometry(8, kGroupTop, width() - 16, height);
    resize(width(), kGroupTop + height + 8);
    return row;
}

labels::TPrintSettings TForm3::GroupPrintSettings() const {
    return {CheckBox3->isChecked(), FromQ(ComboBox1->currentText()), askState_};
}

void TForm3::ShowConnection() {
    {
        const QSignalBlocker quiet(CheckBox3);
        CheckBox3->setChecked(Form1->Settings.PrintLabels);
    }
    askState_ = Form1->Settings.AskPrinterState;
    Label2->clear();
    // The queues come from a print service, which may take seconds or never answer: they join
    // the list when they come.
    if (RequestQueues) RequestQueues();
    std::vector<std::string> ports;
    if (PortList) ports = PortList();  // may raise: the lists keep what they had
    ports_ = ports;
    FillComboBox(ComboBox2, ports, DevicePortName);
    FillComboBox(ComboBox1, ports, LabelPortName);
    CheckBox3Click();
}

void TForm3::ShowQueues(const printer::TQueueList& list) {
    std::vector<std::string> printers = ports_;
    printers.insert(printers.end(), list.Queues.begin(), list.Queues.end());
    // What the operator has typed or chosen meanwhile stays.
    FillComboBox(ComboBox1, printers, FromQ(ComboBox1->currentText()));
    if (!list.Problem.empty() && Label2->text().isEmpty())
        Label2->setText(ToQ("Очереди печати не получены: "_cp1251 + list.Problem));
}

void TForm3::ApplyConnection() {
    Form1->Settings.PrintLabels = CheckBox3->isChecked();
    LabelPortName = FromQ(ComboBox1->currentText());
    Form1->Settings.AskPrinterState = askState_;
    // Kept whole, blanks included, as the file keeps it.
    Form1->SetIncomingDir(Cp1251ToPath(ControlText(IncomingEdit)));
    const std::string port = FromQ(ComboBox2->currentText());
    if (port != DevicePortName && OnDevicePortChanged) OnDevicePortChanged(port);
}

void TForm3::AddIncomingFolderRow() {
    IncomingEdit = new QLineEdit(GroupBox1);
    IncomingEdit->setObjectName(QStringLiteral("IncomingEdit"));
    IncomingEdit->setPlaceholderText(ToQ("как каталог данных"_cp1251));
    IncomingChoose = new QPushButton(ToQ("Выбрать..."_cp1251), GroupBox1);
    IncomingChoose->setObjectName(QStringLiteral("IncomingChoose"));
    ChooseFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, ToQ("Папка входящих списков"_cp1251), start);
    };
    connect(IncomingChoose, &QPushButton::clicked, this, [this] {
        const QString chosen = ChooseFolder(IncomingEdit->text());
        if (!chosen.isEmpty()) IncomingEdit->setText(QDir::toNativeSeparators(chosen));
    });
    AddConnectionRow("Папка входящих списков"_cp1251, IncomingEdit, IncomingChoose);
}

std::string TForm3::ValueRow(int row) const {
    return FromQ(ValueListEditor1->item(row - 1, 1)->text());
}

void TForm3::SetValueRow(int row, const std::string& cp1251) {
    ValueListEditor1->item(row - 1, 1)->setText(ToQ(cp1251));
}

void TForm3::MarkValueRow(int row, bool refused) {
    QTableWidgetItem* item = ValueListEditor1->item(row - 1, 1);
    item->setBackground(refused ? QBrush(QColor(255, 170, 170)) : QBrush());
    item->setToolTip(refused ? ToQ("Нужно целое число от 4 до 400"_cp1251) : QString());
}

bool TForm3::ValueRowMarked(int row) const {
    return ValueListEditor1->item(row - 1, 1)->background().style() != Qt::NoBrush;
}

void TForm3::FormShow() {
    const std::array<std::string, 3> rows = ValueRows(Form1->CurrentSettings());
    for (int row = 1; row <= 3; ++row) {
        SetValueRow(row, rows[static_cast<std::size_t>(row - 1)]);
        MarkValueRow(row, false);
    }
    CheckBox1->setChecked(Form1->Settings.ShowKeypad);
    CheckBox2->setChecked(Form1->Settings.ShowCorrection);
    {
        const QSignalBlocker quiet(CheckBox3);
        CheckBox3->setChecked(Form1->Settings.PrintLabels);
    }
    CheckBox4->setChecked(Form1->Settings.ConsecutiveRows);
    CheckBox5->setChecked(Form1->Settings.SendSizes);
    CheckBox6->setChecked(Form1->Settings.KeepJournal);
    ShowConnection();
    FeedRows.Broker->setText(ToQ(Form1->Settings.Broker));
    FeedRows.Station->setText(ToQ(Form1->Settings.StationName));
    feedSetup_ = Form1->FeedSetup();
    MarkFeed(FeedRows, {}, CheckBox6->isChecked());
    SetControlText(IncomingEdit, PathToCp1251(Form1->IncomingDir).value_or(std::string()));
}

void TForm3::CopySwitches() {
    Form1->Settings.ShowKeypad = CheckBox1->isChecked();
    Form1->Settings.ShowCorrection = CheckBox2->isChecked();
    Form1->Settings.ConsecutiveRows = CheckBox4->isChecked();
    Form1->Settings.SendSizes = CheckBox5->isChecked();
    Form1->Settings.KeepJournal = CheckBox6->isChecked();
}

void TForm3::BitBtn1Click() {
    // A row that is not a whole number in range is marked and applies nothing; the other
    // rows and the switches apply.
    TSettings settings = Form1->CurrentSettings();
    const std::array<bool, 3> refused =
        ApplyValueRows(settings, {ValueRow(1), ValueRow(2), ValueRow(3)});
    for (int row = 1; row <= 3; ++row)
        MarkValueRow(row, refused[static_cast<std::size_t>(row - 1)]);
    Form1->ApplyFonts(settings);
    CopySwitches();
    Form1->ShowPanels();
    ApplyConnection();
    feedSetup_.Broker = FromQ(FeedRows.Broker->text().trimmed());
    feedSetup_.Station = FromQ(FeedRows.Station->text());
    const std::string feedRefused = Form1->ApplyFeed(feedSetup_);
    if (feedRefused.empty()) feedSetup_.Password.reset();  // stored
    MarkFeed(FeedRows, feedRefused, CheckBox6->isChecked());
}

void TForm3::FormClose() {
    // The switches are kept; sizes and connection values not applied are dropped, and the
    // panels stay as they are.
    CopySwitches();
}

void TForm3::CredentialsClick() {
    feedSetup_.Broker = FromQ(FeedRows.Broker->text().trimmed());
    feedSetup_.Station = FromQ(FeedRows.Station->text());
    std::error_code ec;
    BrokerDialog->Show(feedSetup_,
                       std::filesystem::exists(feed::PasswordPath(ProgramDirectory()), ec));
    if (BrokerDialog->exec() == QDialog::Accepted) feedSetup_ = BrokerDialog->Setup();
}

void TForm3::CheckBox3Click() {
    ComboBox1->setEnabled(CheckBox3->isChecked());
    Button1->setEnabled(CheckBox3->isChecked());
    CheckBox7->setEnabled(CheckBox3->isChecked());
    ComboBox1Change();
}

void TForm3::ComboBox1Change() {
    // Shown as the next label would go; the operator's own choice stays.
    const QSignalBlocker quiet(CheckBox7);
    CheckBox7->setChecked(askState_.value_or(labels::AsksState(GroupPrintSettings())));
}

void TForm3::Button1Click() {
    if (!OnTestLabel) return;
    Label2->setText(ToQ("Этикетка в очереди"_cp1251));
    Label2->setStyleSheet(QString());
    OnTestLabel(GroupPrintSettings());
}

void TForm3::TestLabelDone(const labels::TPrintOutcome& outcome) {
    std::string said = outcome.Failure();
    if (said.empty()) {
        said = "Этикетка отправлена"_cp1251;
        if (!outcome.Notice.empty()) said += ". "_cp1251 + outcome.Notice;
    }
    Label2->setText(ToQ(said));
    Label2->setStyleSheet(outcome.Failed() ? QStringLiteral("color: #c00000;") : QString());
}

void TForm3::showEvent(QShowEvent* event) {
    if (QWidget* owner = parentWidget()) move(owner->geometry().center() - rect().center());
    try {
        FormShow();
    } catch (...) {
        // The port list could not be read: the combo box keeps what it had.
    }
    QDialog::showEvent(event);
}

void TForm3::done(int result) {
    FormClose();
    QDialog::done(result);
}

}  // namespace tandrel::console
