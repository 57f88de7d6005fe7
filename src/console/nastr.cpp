#include "console/nastr.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "base/cp1251.h"
#include "base/files.h"
#include "base/numbers.h"
#include "console/Unit1.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

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

    // The label printer's controls: present, hidden; the file sets the printer.
    Label1 = new QLabel(
        ToQ("Порт для принтера этикеток, шаблон должен быть в файле Etik.eti"_cp1251), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(160, 312);
    CheckBox3 = AddCheckBox(this, "CheckBox3", "Печать этикеток"_cp1251, 160, 336, 113);
    connect(CheckBox3, &QCheckBox::toggled, this, [this] { CheckBox3Click(); });
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setGeometry(280, 335, 129, 21);
    ComboBox1->addItem(QStringLiteral("COM1"));
    ComboBox1->setEditText(QStringLiteral("COM1"));
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { ComboBox1Change(); });
    Button1 = new QPushButton(ToQ("Тест"_cp1251), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(421, 332, 75, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    for (QWidget* hidden : std::initializer_list<QWidget*>{Label1, CheckBox3, ComboBox1, Button1})
        hidden->setVisible(false);

    auto* folderRow = new QWidget(this);
    folderRow->setGeometry(16, 436, 907, 36);
    auto* folderLayout = new QHBoxLayout(folderRow);
    folderLayout->setContentsMargins(0, 0, 0, 0);
    AddIncomingFolderRow(folderLayout);
}

void TForm3::AddIncomingFolderRow(QBoxLayout* layout) {
    auto* caption = new QLabel(ToQ("Папка входящих списков"_cp1251), this);
    IncomingEdit = new QLineEdit(this);
    IncomingEdit->setObjectName(QStringLiteral("IncomingEdit"));
    IncomingEdit->setPlaceholderText(ToQ("как каталог данных"_cp1251));
    IncomingChoose = new QPushButton(ToQ("Выбрать..."_cp1251), this);
    IncomingChoose->setObjectName(QStringLiteral("IncomingChoose"));
    ChooseFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, ToQ("Папка входящих списков"_cp1251), start);
    };
    connect(IncomingChoose, &QPushButton::clicked, this, [this] {
        const QString chosen = ChooseFolder(IncomingEdit->text());
        if (!chosen.isEmpty()) IncomingEdit->setText(QDir::toNativeSeparators(chosen));
    });
    layout->addWidget(caption);
    layout->addWidget(IncomingEdit, 1);
    layout->addWidget(IncomingChoose);
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
    SetControlText(IncomingEdit, PathToCp1251(Form1->IncomingDir).value_or(std::string()));
    if (PortList) {
        const std::vector<std::string> ports = PortList();  // may raise: the rest is skipped
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->clear();
        for (const std::string& port : ports) ComboBox1->addItem(ToQ(port));
        ComboBox1->setEditText(ToQ(LabelPortName));
    }
    ComboBox1->setEnabled(CheckBox3->isChecked());
    Button1->setEnabled(CheckBox3->isChecked());
}

void TForm3::CopySwitches() {
    Form1->Settings.ShowKeypad = CheckBox1->isChecked();
    Form1->Settings.ShowCorrection = CheckBox2->isChecked();
    Form1->Settings.PrintLabels = CheckBox3->isChecked();
    Form1->Settings.ConsecutiveRows = CheckBox4->isChecked();
    Form1->Settings.SendSizes = CheckBox5->isChecked();
    Form1->Settings.KeepJournal = CheckBox6->isChecked();
    // Kept whole, blanks included, as the file keeps it.
    Form1->SetIncomingDir(Cp1251ToPath(ControlText(IncomingEdit)));
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
}

void TForm3::FormClose() {
    // The switches are kept; sizes not applied are dropped, and the panels stay as they are.
    CopySwitches();
}

void TForm3::CheckBox3Click() {
    ComboBox1->setEnabled(CheckBox3->isChecked());
    Button1->setEnabled(CheckBox3->isChecked());
    Form1->Settings.PrintLabels = CheckBox3->isChecked();
}

void TForm3::ComboBox1Change() {
    LabelPortName = FromQ(ComboBox1->currentText());
}

void TForm3::Button1Click() {
    if (OnTestLabel) OnTestLabel();
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
