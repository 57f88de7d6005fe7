#include "console/lists_screen.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/cp1251.h"
#include "base/files.h"
#include "console/incoming_poller.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {
namespace {

constexpr int kTextPixels = 26;
constexpr int kRowHeight = 64;

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

}  // namespace

TListsScreen::TListsScreen(TIncomingPoller& poller, QWidget* parent)
    : QDialog(parent), poller_(poller) {
    setObjectName(QStringLiteral("ListsScreen"));
    setWindowTitle(ToQ("Списки"_cp1251));
    setWindowModality(Qt::ApplicationModal);
    setFont(PixelFont("Tahoma", kTextPixels));

    auto* column = new QVBoxLayout(this);
    FolderLabel = new QLabel(this);
    FolderLabel->setObjectName(QStringLiteral("FolderLabel"));
    FolderLabel->setWordWrap(true);
    column->addWidget(FolderLabel);
    Notice = new QLabel(this);
    Notice->setObjectName(QStringLiteral("Notice"));
    Notice->setWordWrap(true);
    Notice->setStyleSheet(QStringLiteral("color: white; background: #c00000; padding: 4px"));
    Notice->setVisible(false);
    column->addWidget(Notice);

    Table = new QTableWidget(0, 4, this);
    Table->setObjectName(QStringLiteral("Table"));
    Table->setHorizontalHeaderLabels({ToQ("Список"_cp1251), ToQ("Дата и время"_cp1251),
                                      ToQ("Строк"_cp1251), ToQ("Состояние"_cp1251)});
    Table->verticalHeader()->setVisible(false);
    Table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Table->verticalHeader()->setDefaultSectionSize(kRowHeight);
    // Sized to their contents once a look is shown (Refresh): sized at every cell set, a folder
    // of a thousand lists froze the windows for minutes.
    Table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->addWidget(Table, 1);
    connect(Table, &QTableWidget::cellClicked, this, [this](int row, int) { OpenRow(row); });
    connect(Table, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { OpenRow(index.row()); });

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    CloseButton = new QPushButton(ToQ("Закрыть"_cp1251), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setMinimumSize(240, 76);
    CloseButton->setAutoDefault(false);
    buttons->addWidget(CloseButton);
    column->addLayout(buttons);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    connect(&poller_, &TIncomingPoller::Looked, this, [this] { Refresh(); });
    Refresh();
}

void TListsScreen::Refresh() {
    const TIncomingSnapshot& shot = poller_.Last();
    const std::string folder = PathToCp1251(shot.Folder).value_or(std::string());
    SetControlText(FolderLabel, "Папка: "_cp1251 + folder);
    const std::string problem =
        shot.Taken && !shot.Look.Readable ? "Папка недоступна: "_cp1251 + shot.Look.Failure : "";
    SetControlText(Notice, problem);
    Notice->setVisible(!problem.empty());

    const std::filesystem::path inWork = ListInWork ? ListInWork() : std::filesystem::path();
    const std::filesystem::path selected =
        Table->currentRow() >= 0 && Table->currentRow() < static_cast<int>(rows_.size())
            ? rows_[static_cast<std::size_t>(Table->currentRow())].Path
            : std::filesystem::path();
    rows_.clear();
    const std::size_t count = shot.Look.Readable ? shot.Look.Files.size() : 0;
    Table->setRowCount(static_cast<int>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const job::TIncomingFile& file = shot.Look.Files[i];
        const bool complete = shot.IsComplete(&file);
        rows_.push_back({file.Path, file.Name, complete});
        const job::TListState& state = shot.States[i];
        const int row = static_cast<int>(i);
        const bool working = !inWork.empty() && file.Path == inWork;
        Table->setItem(row, 0, Cell(ToQ(file.Name + (working ? " (в работе)"_cp1251 : ""))));
        Table->setItem(row, 1, Cell(i < shot.Times.size() ? shot.Times[i] : QString()));
        Table->setItem(row, 2,
                       Cell(state.Read ? QString::number(state.Pieces) : QStringLiteral("-")));
        Table->setItem(row, 3,
                       Cell(ToQ(complete ? job::ListStateText(state) : "записывается"_cp1251)));
        for (int c = 0; c < 4; ++c) {
            QTableWidgetItem* item = Table->item(row, c);
            if (working) item->setBackground(QColor(0xc8, 0xf0, 0xc8));
            if (!complete) item->setForeground(QColor(0x80, 0x80, 0x80));
        }
        if (file.Path == selected) Table->setCurrentCell(row, 0);
    }
    for (int c = 1; c < 4; ++c) Table->resizeColumnToContents(c);
}

void TListsScreen::OpenRow(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || !isVisible()) return;
    const TRow chosen = rows_[static_cast<std::size_t>(row)];
    if (!chosen.Complete) {
        SetControlText(Notice, "Список "_cp1251 + chosen.Name + " ещё записывается"_cp1251);
        Notice->setVisible(true);
        return;
    }
    const std::optional<std::string> name = PathToCp1251(chosen.Path);
    if (!name) return;
    accept();
    if (OnOpen) OnOpen(*name);
}

std::string TListsScreen::StateText(int row) const {
    const QTableWidgetItem* item = Table->item(row, 3);
    return item ? FromQ(item->text()) : std::string();
}

}  // namespace tandrel::console
