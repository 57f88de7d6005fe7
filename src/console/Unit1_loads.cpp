// The main window's list loads and scans: the read of a list on a thread of its own, its parse on
// another, and the main thread's part once both have ended in time. A share may answer after
// seconds or never; nothing here waits for it.

#include <QCoreApplication>
#include <QTimer>
#include <atomic>

#include "base/cp1251.h"
#include "base/files.h"
#include "console/Unit1.h"
#include "console/Unit1_views.h"
#include "console/incoming_poller.h"
#include "console/lists_screen.h"
#include "console/main_thread.h"
#include "console/remnants_screen.h"
#include "job/parse_stop.h"
#include "job/table_list.h"

namespace tandrel::console {

struct TForm1::TLoad {
    std::uint64_t Id = 0;
    TLoadKind Kind = TLoadKind::Open;
    enum class TStage { Looking, Reading, Parsing, Applying } Stage = TStage::Reading;
    std::string Code;         // a scan's
    bool SecondLook = false;  // a scan's list was seen on one listing only
    job::TListSource Source;
    job::TColumnMaps Maps;
    job::TFileReads::TResult Bytes;
    // Set once nobody waits for the parse: it stops at its next row.
    std::shared_ptr<std::atomic<bool>> Stop = std::make_shared<std::atomic<bool>>(false);
};

namespace {

// A file seen on one listing only gets its second look this much later.
constexpr int kSecondLookMs = 500;

std::string Shown(const std::string& listName) {
    return job::FileNameOnly(listName);
}

// "«1502»: два списка — 1502.txt, 1502.xlsx"
std::string AmbiguousCode(const std::string& code,
                          const std::vector<const job::TIncomingFile*>& files) {
    const std::size_t n = files.size();
    static const char* const kWords[] = {"два", "три", "четыре"};
    std::string count = n <= 4 ? Utf8ToCp1251(kWords[n - 2]) : std::to_string(n);
    const bool one = n % 10 == 1 && n % 100 != 11;
    const bool few = n % 10 >= 2 && n % 10 <= 4 && (n % 100 < 12 || n % 100 > 14);
    count += one ? " список"_cp1251 : few ? " списка"_cp1251 : " списков"_cp1251;
    std::string names;
    for (std::size_t i = 0; i < n && i < 4; ++i) names += (i ? ", " : "") + files[i]->Name;
    if (n > 4) names += ", …"_cp1251;
    return "«"_cp1251 + code + "»: "_cp1251 + count + " — "_cp1251 + names;
}

}  // namespace

std::shared_ptr<TForm1::TLoad> TForm1::BeginLoad(TLoadKind kind) {
    DropLoad();
    load_ = std::make_shared<TLoad>();
    load_->Id = ++loads_;
    load_->Kind = kind;
    loadTimer_->start(ListReadLimit);
    return load_;
}

void TForm1::DropLoad() {
    if (load_) load_->Stop->store(true);
    load_.reset();
    if (loadTimer_) loadTimer_->stop();
}

void TForm1::EndLoad() {
    load_.reset();
    loadTimer_->stop();
    // A reload that gave way to this load, or waited for its box, comes now: after the caller's
    // own steps, which may open boxes yet.
    QTimer::singleShot(0, this, [this] {
        if (!reloadHeld_ || loadBoxes_ > 0 || load_) return;
        reloadHeld_ = false;
        ReloadListInWork();
    });
}

void TForm1::OperatorActed() {
    // A reload keeps the list in work as it is; anything else the operator asked for is late.
    if (!load_ || load_->Kind == TLoadKind::Reload) return;
    load_->Stop->store(true);
    EndLoad();
}

void TForm1::StartLoad(const std::string& listName) {
    BeginLoad(TLoadKind::Open)->Source = job::ResolveList(listName);
    ReadLoad();
}

void TForm1::LoadList(const std::string& listName) {
    StartLoad(listName);
    const std::uint64_t id = loads_;
    while (load_ && load_->Id == id)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void TForm1::ReloadListInWork() {
    // Inside a load's box the job is the old list's until the answer: a reload now would be
    // overwritten by it, or the answer would act on the reloaded list.
    // A load that runs reads its list afresh: a reload of the list in work waits for its end.
    if (loadBoxes_ > 0 || (load_ && load_->Kind != TLoadKind::Reload)) {
        reloadHeld_ = true;
        return;
    }
    // The files it was loaded from: the current directory may have moved since.
    job::TListSource list = job::ListInWork(Job);
    if (list.Name.empty()) return;
    BeginLoad(TLoadKind::Reload)->Source = std::move(list);
    ReadLoad();
}

void TForm1::ColumnsClick() {
    if (Job.RowCount == 0) {
        DropLoad();
        ShowStatus("Нет списка в работе"_cp1251, true);
        return;
    }
    BeginLoad(TLoadKind::Columns)->Source = job::ListInWork(Job);
    ReadLoad();
}

void TForm1::ScanCode(const std::string& code) {
    // A remnant's label: the store's screen, never a list.
    if ((remnantsScreen_ && remnantsScreen_->isVisible()) || plan::IsRemnantId(code)) {
        if (listsScreen_->isVisible()) listsScreen_->reject();
        return ShowRemnant(code);
    }
    if (incoming_->Folder().empty()) SetIncomingDir(IncomingDir);
    const std::shared_ptr<TLoad> load = BeginLoad(TLoadKind::Scan);
    load->Stage = TLoad::TStage::Looking;
    load->Code = code;
    incoming_->LookNow([this, id = load->Id](const TIncomingSnapshot& shot) { Scanned(id, shot); });
}

void TForm1::Scanned(std::uint64_t load, const TIncomingSnapshot& shot) {
    if (!load_ || load_->Id != load || load_->Stage != TLoad::TStage::Looking) return;
    const std::string code = load_->Code;
    const std::string folder = PathToCp1251(shot.Folder).value_or(std::string());
    auto refuse = [this](const std::string& said) {
        EndLoad();
        ShowStatus(said, true);
    };
    if (!shot.Look.Readable)
        return refuse("Список "_cp1251 + code + " не открыт: папка "_cp1251 + folder +
                      " недоступна"_cp1251);
    const std::vector<const job::TIncomingFile*> found = job::MatchCode(shot.Look, code);
    if (found.empty()) return refuse("Список "_cp1251 + code + " не найден в "_cp1251 + folder);
    if (found.size() > 1) return refuse(AmbiguousCode(code, found));
    const job::TIncomingFile& file = *found.front();
    if (!shot.IsComplete(&file)) {
        if (load_->SecondLook)
            return refuse("Список "_cp1251 + file.Name + " ещё записывается"_cp1251);
        load_->SecondLook = true;
        QTimer::singleShot(kSecondLookMs, this, [this, load] {
            if (!load_ || load_->Id != load) return;
            incoming_->LookNow(
                [this, load](const TIncomingSnapshot& next) { Scanned(load, next); });
        });
        return;
    }
    const std::optional<std::string> name = PathToCp1251(file.Path);
    if (!name) return refuse("");
    if (listsScreen_->isVisible()) listsScreen_->accept();
    StartLoad(*name);
}

void TForm1::ReadLoad() {
    ReadColumnMaps();
    load_->Maps = ColumnMaps;
    load_->Stage = TLoad::TStage::Reading;
    reads_->Read(load_->Source.Path,
                 [this, id = load_->Id](job::TFileReads::TResult read) { LoadRead(id, read); });
}

void TForm1::LoadRead(std::uint64_t load, const job::TFileReads::TResult& read) {
    if (!load_ || load_->Id != load) return;  // late: dropped
    if (!read->Ok) {
        const std::string name = Shown(load_->Source.Name);
        const bool reload = load_->Kind == TLoadKind::Reload;
        EndLoad();
        ShowStatus((reload ? "Список "_cp1251 + name + " не перечитан: "_cp1251
                           : "Файл "_cp1251 + name + " не загружен: "_cp1251) +
                       read->Failure,
                   true);
        return;
    }
    load_->Bytes = read;
    ParseLoad();
}

void TForm1::ParseLoad() {
    load_->Stage = TLoad::TStage::Parsing;
    const bool started =
        RunDetached([self = QPointer<TForm1>(this), id = load_->Id, stop = load_->Stop,
                     columns = load_->Kind == TLoadKind::Columns, name = load_->Source.Name,
                     bytes = load_->Bytes, maps = load_->Maps] {
            const job::TParseStop stopAt(*stop);
            auto staged = std::make_shared<job::TStagedList>();
            auto choice = std::make_shared<std::optional<job::TColumnChoice>>();
            if (columns)
                *choice = job::TableColumns(name, bytes->Bytes, &maps);
            else
                *staged = job::StageListBytes(name, bytes->Bytes, &maps);
            if (stop->load()) return;
            PostTo(self,
                   [id, staged, choice](TForm1& form) { form.LoadParsed(id, staged, choice); });
        });
    if (started) return;
    const std::string name = Shown(load_->Source.Name);
    EndLoad();
    ShowStatus("Файл "_cp1251 + name + " не загружен: не удалось начать чтение"_cp1251, true);
}

void TForm1::LoadLate() {
    if (!load_) return;
    const TLoad& late = *load_;
    const std::string name = Shown(late.Source.Name);
    const std::string why = late.Stage == TLoad::TStage::Parsing ? "список слишком велик"_cp1251
                                                                 : "папка не отвечает"_cp1251;
    std::string said;
    if (late.Stage == TLoad::TStage::Looking)
        said = "Список "_cp1251 + late.Code + " не открыт: "_cp1251 + why;
    else if (late.Kind == TLoadKind::Reload)
        said = "Список "_cp1251 + name + " не перечитан: "_cp1251 + why;
    else
        said = "Файл "_cp1251 + name + " не загружен: "_cp1251 + why;
    load_->Stop->store(true);
    EndLoad();
    ShowStatus(said, true);
}

void TForm1::LoadParsed(std::uint64_t load, const std::shared_ptr<job::TStagedList>& staged,
                        const std::shared_ptr<std::optional<job::TColumnChoice>>& choice) {
    if (!load_ || load_->Id != load) return;  // late: dropped
    loadTimer_->stop();
    load_->Stage = TLoad::TStage::Applying;
    switch (load_->Kind) {
        case TLoadKind::Columns:
            ApplyColumns(*choice);
            break;
        case TLoadKind::Reload:
            ApplyReload(*staged);
            break;
        default:
            ApplyLoad(*staged);
            break;
    }
}

void TForm1::ApplyLoad(job::TStagedList& staged) {
    const std::shared_ptr<TLoad> load = load_;
    job::TListSource list = load->Source;
    list.Maps = &ColumnMaps;
    list.Staged = &staged;
    const job::TLoadOutcome out = job::OpenList(Job, *jobView_, list);
    // A table the name rules cannot read: the operator says what its columns are, once, and the
    // same bytes are parsed again by the map.
    if (!out.Loaded && out.Choice && AskColumnMap(list.Name, *out.Choice) && load_ == load) {
        load->Maps = ColumnMaps;
        loadTimer_->start(ListReadLimit);
        ParseLoad();
        return;
    }
    if (load_ == load) EndLoad();
    ListOpened(out.Loaded);
    if (out.Loaded) ResumePlan(false);
}

void TForm1::ApplyReload(job::TStagedList& staged) {
    job::TListSource list = load_->Source;
    EndLoad();
    // Another list went into work meanwhile: it is not the one to reload.
    if (Job.RowCount == 0 || Job.ListPath != list.Path || Job.ListName != list.Name) return;
    list.Maps = &ColumnMaps;
    list.Staged = &staged;
    // The row before the one in work, in the order it is worked in.
    const bool byPlan = Job.Order.Active();
    const std::int32_t remembered =
        job::RowAtPosition(Job, job::PositionOf(Job, Job.CurrentRow) - 1);
    quietReload_ = true;
    try {
        const bool loaded = job::OpenList(Job, *jobView_, list).Loaded;
        ListOpened(loaded);
        if (loaded && byPlan) ResumePlan(true);
    } catch (...) {
        quietReload_ = false;
        throw;
    }
    quietReload_ = false;
    if (job::PositionOf(Job, remembered) > 1) {
        Job.CurrentRow = remembered;
        jobView_->SelectRow(job::GridRowOf(Job, remembered), -1);
    }
}

void TForm1::ApplyColumns(const std::optional<job::TColumnChoice>& choice) {
    const std::string listName = load_->Source.Name;
    EndLoad();
    if (Job.RowCount == 0 || Job.ListName != listName) return;
    if (!choice) {
        ShowStatus("Список "_cp1251 + Shown(listName) +
                       " не таблица: столбцы задаются только таблицам"_cp1251,
                   true);
        return;
    }
    if (AskColumnMap(listName, *choice)) ReloadListInWork();
}

}  // namespace tandrel::console
