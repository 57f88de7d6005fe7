#include "console/incoming_poller.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include "base/files.h"

namespace tandrel::console {

struct TIncomingPoller::TWork {
    job::TIncomingLooks Looks;
    job::TListStates States;
};

bool TIncomingSnapshot::IsComplete(const job::TIncomingFile* file) const {
    if (file == nullptr) return false;
    const auto index = static_cast<std::size_t>(file - Look.Files.data());
    return index < Complete.size() && Complete[index];
}

TIncomingPoller::TIncomingPoller(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(2000);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!busy_) Start();
    });
}

TIncomingPoller::~TIncomingPoller() = default;

void TIncomingPoller::SetFolder(const std::filesystem::path& folder) {
    if (folder == folder_ && work_) return;
    folder_ = folder;
    work_ = std::make_shared<TWork>();
    last_ = TIncomingSnapshot{};
    last_.Folder = folder;
    timer_->start();
    if (!busy_) Start();
}

void TIncomingPoller::SetInterval(int ms) {
    timer_->setInterval(ms);
}

void TIncomingPoller::LookNow(std::function<void(const TIncomingSnapshot&)> done) {
    if (busy_) {
        nextLook_.push_back(std::move(done));
        return;
    }
    thisLook_.push_back(std::move(done));
    Start();
}

void TIncomingPoller::Start() {
    if (!work_) work_ = std::make_shared<TWork>();
    busy_ = true;
    QPointer<TIncomingPoller> self(this);
    QThreadPool::globalInstance()->start([self, work = work_, folder = folder_,
                                          mapsFile = mapsFile_] {
        const job::TColumnMaps maps = job::TColumnMaps::Parse(
            mapsFile.empty() ? std::string() : ReadWholeFile(mapsFile).value_or(std::string()));
        TIncomingSnapshot snapshot;
        snapshot.Folder = folder;
        snapshot.Look = job::LookAtFolder(folder);
        work->Looks.Take(snapshot.Look);
        snapshot.Look = work->Looks.Last();
        snapshot.Taken = true;
        for (const job::TIncomingFile& file : snapshot.Look.Files) {
            snapshot.Complete.push_back(work->Looks.Complete(file.Name));
            snapshot.States.push_back(work->States.Of(file, &maps));
            snapshot.Times.push_back(
                QFileInfo(file.Path).lastModified().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, work, snapshot = std::move(snapshot)]() mutable {
                if (self) self->Finished(work, std::move(snapshot));
            },
            Qt::QueuedConnection);
    });
}

void TIncomingPoller::Finished(const std::shared_ptr<TWork>& work, TIncomingSnapshot snapshot) {
    busy_ = false;
    std::vector<std::function<void(const TIncomingSnapshot&)>> waiting;
    waiting.swap(thisLook_);
    thisLook_.swap(nextLook_);
    // A look of a folder no longer set tells nothing: the next one starts at once.
    if (work != work_) {
        thisLook_.insert(thisLook_.end(), waiting.begin(), waiting.end());
        waiting.clear();
    }
    if (!thisLook_.empty()) Start();
    if (work != work_) return;
    last_ = std::move(snapshot);
    // A copy: what the callers do may open a box whose event loop brings the next look.
    const TIncomingSnapshot shown = last_;
    emit Looked();
    for (auto& done : waiting) done(shown);
}

}  // namespace tandrel::console
