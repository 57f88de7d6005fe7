#include "console/lists_screen.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "base/cp1251.h"
#include "base/files.h"
#include "console/incoming_poller.h"
#include "console/lists_model.h"
#include "console/qt_text.h"
#include "console/windows_common.h"

namespace tandrel::console {
namespace {

constexpr int kTextPixels = 26;
constexpr int kRowHeight = 64;

}  // namespace

TListsScreen::TListsScreen(TIncomingPoller& poller, QWidget* parent)
    : QDialog(parent), poller_(poller), model_(new TListsModel(poller, this)) {
    setObjectName(QStringLiteral("ListsScreen"));
    setWindowTitle(ToQ("Списки"_cp1251));
    setWindowModality(Qt::ApplicationModal);
    setFont(PixelFont("Tahoma", kTextPixels));

    auto* column = new QVBoxLayout(this);
    FolderLabel = new QLabel(this);
    FolderLabel->setObjectName(QStringLiteral("FolderLabel"));
    FolderLabel->setWordWrap(true);
    column->addWidget(FolderLabel);
    Notice = TouchNotice(this);
    column->addWidget(Notice);

    Table = new QTableView(this);
    SetUpTouchTable(Table, kRowHeight);
    Table->setModel(model_);
    // Widths from the widest texts the columns hold, set once: sized to their contents, a
    // folder of thousands of lists would be measured at every look.
    auto width = [this](const char* utf8) { return TextColumnWidth(font(), utf8); };
    QHeaderView* header = Table->horizontalHeader();
    header->setSectionResizeMode(TListsModel::Name, QHeaderView::Stretch);
    header->resizeSection(TListsModel::Time, width("00.00.0000 00:00"));
    header->resizeSection(TListsModel::Pieces, width("30000"));
    header->resizeSection(TListsModel::State, width("сделано 30000 из 30000"));
    Table->viewport()->installEventFilter(this);
    column->addWidget(Table, 1);
    connect(Table, &QTableView::clicked, this, [this] { OpenFile(touched_); });
    connect(Table, &QTableView::activated, this, [this](const QModelIndex& index) {
        if (!fingerDown_) OpenRow(index.row());  // Enter; a click opens by its own press
    });

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    CloseButton = new QPushButton(ToQ("Закрыть"_cp1251), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setMinimumSize(240, 76);
    CloseButton->setAutoDefault(false);
    buttons->addWidget(CloseButton);
    column->addLayout(buttons);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);

    connect(&poller_, &TIncomingPoller::Looked, this, [this] {
        said_.clear();
        Refresh();
    });
    connect(&poller_, &TIncomingPoller::StatesRead, this, [this] {
        if (isVisible()) model_->StatesRead();
    });
}

void TListsScreen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    said_.clear();
    Refresh();
}

bool TListsScreen::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Table->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const QModelIndex at =
                Table->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            const TListsModel::TRow* row = model_->Row(at.row());
            touched_ = row ? row->File->Path : std::filesystem::path();
            fingerDown_ = true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            // After the view has handled the release (and its click): rows may move again.
            QTimer::singleShot(0, this, [this] {
                fingerDown_ = false;
                if (refreshHeld_) Refresh();
            });
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TListsScreen::Refresh() {
    if (!isVisible()) return;  // a closed screen is brought up to date when it opens
    if (fingerDown_) {
        refreshHeld_ = true;
        return;
    }
    refreshHeld_ = false;
    const TIncomingSnapshot& shot = poller_.Last();
    SetControlText(FolderLabel, "Папка: "_cp1251 + PathToCp1251(shot.Folder).value_or(""));
    std::string problem = said_;
    if (problem.empty() && poller_.HungSince())
        problem = "Папка не отвечает с "_cp1251 +
                  FromQ(poller_.HungSince()->toString(QStringLiteral("HH:mm:ss")));
    else if (problem.empty() && shot.Taken && !shot.Look.Readable)
        problem = "Папка недоступна: "_cp1251 + shot.Look.Failure;
    SetControlText(Notice, problem);
    Notice->setVisible(!problem.empty());

    const std::filesystem::path selected = [&] {
        const TListsModel::TRow* row = model_->Row(Table->currentIndex().row());
        return row ? row->File->Path : std::filesystem::path();
    }();
    model_->Update(ListInWork ? ListInWork() : std::filesystem::path(),
                   poller_.HungSince().has_value());
    // A reset forgets the selection: it stays with its list.
    if (const int row = model_->RowOf(selected); row >= 0 && Table->currentIndex().row() != row)
        Table->setCurrentIndex(model_->index(row, 0));
}

void TListsScreen::Say(const std::string& cp1251) {
    said_ = cp1251;
    SetControlText(Notice, cp1251);
    Notice->setVisible(true);
}

void TListsScreen::OpenRow(int row) {
    if (const TListsModel::TRow* shown = model_->Row(row)) OpenFile(shown->File->Path);
}

void TListsScreen::OpenFile(const std::filesystem::path& file) {
    if (!isVisible() || file.empty()) return;
    const TIncomingSnapshot& shot = poller_.Last();
    const std::string name = PathToCp1251(file.filename()).value_or("");
    const auto listed =
        std::find_if(shot.Look.Files.begin(), shot.Look.Files.end(),
                     [&](const job::TIncomingFile& f) { return f.Path.native() == file.native(); });
    if (listed == shot.Look.Files.end()) {
        Say("Списка "_cp1251 + name + " больше нет в папке"_cp1251);
        Refresh();
        return;
    }
    if (!shot.IsComplete(&*listed)) {
        Say("Список "_cp1251 + name + " ещё записывается"_cp1251);
        return;
    }
    const std::optional<std::string> full = PathToCp1251(file);
    if (!full) return;
    accept();
    if (OnOpen) OnOpen(*full);
}

int TListsScreen::RowCount() const {
    return model_->rowCount();
}

std::string TListsScreen::CellText(int row, int column) const {
    return model_->Text(row, column);
}

}  // namespace tandrel::console
