#include "console/remnants_screen.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "base/cp1251.h"
#include "base/numbers.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {
namespace {

constexpr int kTextPixels = 26;
constexpr int kRowHeight = 64;

QPushButton* LargeButton(const char* utf8, const char* name, QWidget* parent) {
    auto* button = new QPushButton(ToQ(Utf8ToCp1251(utf8)), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumSize(240, 76);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TRemnantsScreen::TRemnantsScreen(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("RemnantsScreen"));
    setWindowTitle(ToQ("Остатки"_cp1251));
    setWindowModality(Qt::ApplicationModal);
    setFont(PixelFont("Tahoma", kTextPixels));

    auto* column = new QVBoxLayout(this);
    Notice = TouchNotice(this);
    column->addWidget(Notice);

    Table = new QTableWidget(0, 5, this);
    SetUpTouchTable(Table, kRowHeight);
    Table->setHorizontalHeaderLabels({ToQ("Номер"_cp1251), ToQ("Длина, мм"_cp1251),
                                      ToQ("Материал"_cp1251), ToQ("Дата"_cp1251),
                                      ToQ("Список"_cp1251)});
    auto width = [this](const char* utf8) { return TextColumnWidth(font(), utf8); };
    QHeaderView* header = Table->horizontalHeader();
    header->setSectionResizeMode(4, QHeaderView::Stretch);
    header->resizeSection(0, width("R000000"));
    header->resizeSection(1, width("Длина, мм"));
    header->resizeSection(2, width("Материал AL"));
    header->resizeSection(3, width("00.00.0000"));
    column->addWidget(Table, 1);

    auto* buttons = new QHBoxLayout();
    RemoveButton = LargeButton("Удалить", "RemoveButton", this);
    PrintButton = LargeButton("Этикетка", "PrintButton", this);
    CloseButton = LargeButton("Закрыть", "CloseButton", this);
    buttons->addWidget(RemoveButton);
    buttons->addWidget(PrintButton);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    column->addLayout(buttons);
    connect(RemoveButton, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(PrintButton, &QPushButton::clicked, this, [this] {
        const std::string id = SelectedId();
        if (id.empty())
            Say("Выберите остаток"_cp1251);
        else if (OnPrint)
            OnPrint(id);
    });
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TRemnantsScreen::Show(const std::vector<plan::TStoredRemnant>& newest) {
    const std::string selected = SelectedId();
    Table->setRowCount(static_cast<int>(newest.size()));
    for (std::size_t i = 0; i < newest.size(); ++i) {
        const plan::TStoredRemnant& r = newest[i];
        std::string length = plan::FormatTenths(r.Length);
        std::replace(length.begin(), length.end(), '.', DecimalSeparator());  // as sizes show
        const std::string cells[] = {r.Id, length, r.Material, r.Date, r.List};
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(ToQ(cells[c]));
            if (c == 1) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            Table->setItem(static_cast<int>(i), c, item);
        }
    }
    Table->clearSelection();
    if (!selected.empty())
        for (int row = 0; row < Table->rowCount(); ++row)
            if (CellText(row, 0) == selected) Table->selectRow(row);
}

bool TRemnantsScreen::Select(const std::string& id) {
    for (int row = 0; row < Table->rowCount(); ++row) {
        if (CellText(row, 0) != id) continue;
        Table->selectRow(row);
        Table->scrollToItem(Table->item(row, 0));
        Say("");
        return true;
    }
    Table->clearSelection();
    Say("Остаток "_cp1251 + id + " не найден"_cp1251);
    return false;
}

void TRemnantsScreen::Say(const std::string& cp1251) {
    SetControlText(Notice, cp1251);
    Notice->setVisible(!cp1251.empty());
}

std::string TRemnantsScreen::SelectedId() const {
    const QList<QTableWidgetItem*> items = Table->selectedItems();
    return items.isEmpty() ? std::string() : CellText(items.front()->row(), 0);
}

int TRemnantsScreen::RowCount() const {
    return Table->rowCount();
}

std::string TRemnantsScreen::CellText(int row, int column) const {
    const QTableWidgetItem* item = Table->item(row, column);
    return item ? FromQ(item->text()) : std::string();
}

void TRemnantsScreen::RemoveSelected() {
    const std::string id = SelectedId();
    if (id.empty()) return Say("Выберите остаток"_cp1251);
    if (!OnRemove) return;
    Say(OnRemove(id));
}

}  // namespace tandrel::console
