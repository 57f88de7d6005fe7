// The main window's incoming lists: the folder's poller, the "Списки" screen and its button, and
// the barcode scans that open a list.

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "base/cp1251.h"
#include "base/error.h"
#include "base/files.h"
#include "console/Unit1.h"
#include "console/Unit1_operator.h"
#include "console/column_map_dialog.h"
#include "console/incoming_poller.h"
#include "console/lists_screen.h"
#include "console/qt_text.h"
#include "console/scan_gate.h"
#include "console/windows_common.h"
#include "job/cut_list.h"
#include "job/job_io.h"
#include "job/table_rows.h"

namespace tandrel::console {

namespace {
// A file seen on one look only gets its second look this much later.
constexpr int kSecondLookMs = 500;
}  // namespace

void TForm1::CreateIncoming() {
    incoming_ = new TIncomingPoller(this);
    incoming_->SetMapsFile(job::ColumnMapsPath(ProgramDirectory()));
    listsScreen_ = new TListsScreen(*incoming_, this);
    listsScreen_->OnOpen = [this](const std::string& name) { LoadIncoming(name); };
    listsScreen_->ListInWork = [this] {
        return Job.RowCount > 0 ? Job.ListPath : std::filesystem::path();
    };
    scanGate_ = new TScanGate(
        [this](const QWidget* window) { return window == this || window == listsScreen_; },
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
    if (incoming_->Folder().empty()) SetIncomingDir(IncomingDir);
    listsScreen_->resize(size());
    listsScreen_->move(geometry().topLeft());
    listsScreen_->Refresh();
    listsScreen_->show();
    listsScreen_->raise();
    listsScreen_->activateWindow();
    incoming_->LookNow([](const TIncomingSnapshot&) {});
}

void TForm1::ScanCode(const std::string& code) {
    if (incoming_->Folder().empty()) SetIncomingDir(IncomingDir);
    OpenScanned(code, false);
}

void TForm1::OpenScanned(const std::string& code, bool secondLook) {
    incoming_->LookNow([this, code, secondLook](const TIncomingSnapshot& shot) {
        const std::string folder = PathToCp1251(shot.Folder).value_or(std::string());
        if (!shot.Look.Readable) {
            ShowStatus("Список "_cp1251 + code + " не открыт: папка "_cp1251 + folder +
                           " недоступна"_cp1251,
                       true);
            return;
        }
        const job::TIncomingFile* file = job::MatchScan(shot.Look, code);
        if (file == nullptr) {
            ShowStatus("Список "_cp1251 + code + " не найден в "_cp1251 + folder, true);
            return;
        }
        if (!shot.IsComplete(file)) {
            if (!secondLook) {
                QTimer::singleShot(kSecondLookMs, this, [this, code] { OpenScanned(code, true); });
                return;
            }
            ShowStatus("Список "_cp1251 + file->Name + " ещё записывается"_cp1251, true);
            return;
        }
        const std::optional<std::string> name = PathToCp1251(file->Path);
        if (!name) return;
        if (listsScreen_->isVisible()) listsScreen_->accept();
        LoadIncoming(*name);
    });
}

void TForm1::LoadIncoming(const std::string& listName) {
    struct TRead {
        std::mutex Lock;
        std::condition_variable Done;
        bool Finished = false;
        bool Ok = false;
        std::string Bytes, Failure;
    };
    // The thread may outlive the wait (a share that never answers): it owns its share of this.
    auto read = std::make_shared<TRead>();
    std::thread([read, path = job::ResolveList(listName).Path] {
        std::string bytes, failure;
        const bool ok = job::io::ReadAll(path, bytes, failure);
        const std::lock_guard lock(read->Lock);
        read->Finished = true;
        read->Ok = ok;
        read->Bytes = std::move(bytes);
        read->Failure = std::move(failure);
        read->Done.notify_all();
    }).detach();
    const std::string refused =
        "Файл "_cp1251 + job::FileNameOnly(listName) + " не загружен: "_cp1251;
    {
        std::unique_lock lock(read->Lock);
        if (!read->Done.wait_for(lock, IncomingReadLimit, [&] { return read->Finished; })) {
            const auto seconds = (IncomingReadLimit.count() + 999) / 1000;
            ShowStatus(
                refused + "файл не прочитан за "_cp1251 + std::to_string(seconds) + " с"_cp1251,
                true);
            return;
        }
    }
    if (!read->Ok) {
        ShowStatus(refused + read->Failure, true);
        return;
    }
    LoadList(listName, &read->Bytes);
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

void TForm1::ColumnsClick() {
    if (Job.RowCount == 0) {
        ShowStatus("Нет списка в работе"_cp1251, true);
        return;
    }
    ReadColumnMaps();
    std::optional<std::string> bytes = ReadWholeFile(Job.ListPath);
    std::optional<job::TColumnChoice> choice;
    if (bytes) choice = job::TableColumns(Job.ListName, std::move(*bytes), &ColumnMaps);
    if (!choice) {
        ShowStatus("Список "_cp1251 + job::FileNameOnly(Job.ListName) +
                       " не таблица: столбцы задаются только таблицам"_cp1251,
                   true);
        return;
    }
    if (AskColumnMap(Job.ListName, *choice)) ReloadListInWork();
}

}  // namespace tandrel::console
