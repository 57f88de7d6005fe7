// The main window's incoming lists: the folder's poller, the "Списки" screen and its button, and
// the column maps.

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/column_map_dialog.h"
#include "console/incoming_poller.h"
#include "console/lists_screen.h"
#include "console/main_thread.h"
#include "console/qt_text.h"
#include "console/remnants_screen.h"
#include "console/scan_gate.h"
#include "console/windows_common.h"
#include "job/cut_list.h"
#include "job/job_io.h"
#include "job/table_list.h"
#include "job/table_rows.h"

namespace tandrel::console {

void TForm1::CreateIncoming() {
    reads_ = std::make_unique<job::TFileReads>([self = QPointer<TForm1>(this)](auto fn) {
        PostTo(self, [fn = std::move(fn)](TForm1&) { fn(); });
    });
    loadTimer_ = new QTimer(this);
    loadTimer_->setSingleShot(true);
    connect(loadTimer_, &QTimer::timeout, this, [this] { LoadLate(); });
    incoming_ = new TIncomingPoller(this);
    incoming_->SetMapsFile(job::ColumnMapsPath(ProgramDirectory()));
    // The screen's states and the loads read a list once at a time.
    incoming_->SetReader(reads_->Here());
    listsScreen_ = new TListsScreen(*incoming_, this);
    listsScreen_->OnOpen = [this](const std::string& name) { StartLoad(name); };
    listsScreen_->ListInWork = [this] {
        return Job.RowCount > 0 ? Job.ListPath : std::filesystem::path();
    };
    scanGate_ = new TScanGate(
        [this](const QWidget* window) {
            return window == this || window == listsScreen_ ||
                   (window != nullptr && window == remnantsScreen_);
        },
        [this](const std::string& code) { ScanCode(code); }, this);
    qApp->installEventFilter(scanGate_);

    ListsButton = new QPushButton(ToQ("Списки"_cp1251), fields_->TargetPanel);
    ListsButton->setObjectName(QStringLiteral("ListsButton"));
    // Just left of "Печать этикетки", which stays at the row's right end, and as large.
    ListsButton->setFont(fields_->Reprint->font());
    ListsButton->setFixedHeight(fields_->Reprint->minimumHeight());
    ListsButton->setMinimumWidth(150);
    ListsButton->setFocusPolicy(Qt::NoFocus);
    auto* row = static_cast<QBoxLayout*>(fields_->TargetPanel->layout());
    row->insertWidget(row->indexOf(fields_->Reprint), ListsButton);
    connect(ListsButton, &QPushButton::clicked, this, [this] { ListsClick(); });
}

void TForm1::SetIncomingDir(const std::filesystem::path& folder) {
    IncomingDir = folder;
    incoming_->SetFolder(folder.empty() ? Cp1251ToPath(DataDir) : folder);
}

void TForm1::SetScanClock(std::function<std::int64_t()> clock) {
    scanGate_->SetClock(std::move(clock));
}

void TForm1::ListsClick() {
    OperatorActed();
    if (incoming_->Folder().empty()) SetIncomingDir(IncomingDir);
    listsScreen_->resize(size());
    listsScreen_->move(geometry().topLeft());
    listsScreen_->show();
    listsScreen_->raise();
    listsScreen_->activateWindow();
    incoming_->LookNow([](const TIncomingSnapshot&) {});
}

void TForm1::ReadColumnMaps() {
    ColumnMaps = job::TColumnMaps::Parse(
        ReadWholeFile(job::ColumnMapsPath(ProgramDirectory())).value_or(std::string()));
}

bool TForm1::AskColumnMap(const std::string& listName, const job::TColumnChoice& choice) {
    TColumnMapDialog dialog(job::FileNameOnly(listName), choice.Names, choice.Roles, this);
    dialog.resize(size() * 9 / 10);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!ColumnMaps.Keep(job::KeptMapOf(choice, dialog.Roles()))) {
        // One line of maps.dat holds a map: a name with a line end cannot be kept.
        ShowStatus(
            "Столбцы списка не запомнены: в названии столбца табуляция или перевод строки"_cp1251,
            true);
        return false;
    }
    try {
        WriteFileAtomic(job::ColumnMapsPath(ProgramDirectory()), ColumnMaps.Format());
    } catch (const Exception& e) {
        ShowStatus("Файл maps.dat не записан: "_cp1251 + e.Message(), true);
    }
    return true;
}

}  // namespace tandrel::console
