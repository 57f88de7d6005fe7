#include "console/incoming_poller.h"

#include <QTimer>
#include <chrono>

#include "base/files.h"
#include "console/main_thread.h"
#include "job/job_io.h"

namespace tandrel::console {
namespace {

using Clock = std::chrono::steady_clock;

qint64 MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

struct TIncomingPoller::TWork {
    explicit TWork(const job::TFileReads::THere& read)
        : States(
              [read](const std::filesystem::path& file, std::string& bytes, std::string& failure) {
                  const job::TFileReads::TResult result = read(file);
                  bytes = result->Bytes;
                  failure = result->Failure;
                  return result->Ok;
              }) {}
    job::TIncomingLooks Looks;  // the listing lane's
    job::TListStates States;    // the states lane's
    // The main thread's.
    bool Listing = false;
    bool Stating = false;
    bool StatesAgain = false;  // a listing ended while the states were read
};

struct TIncomingPoller::TStates {
    std::vector<std::pair<std::string, job::TListState>> Read;  // by the list's path
    std::vector<std::string> Gone;                              // lists no longer in the folder
};

bool TIncomingSnapshot::IsComplete(const job::TIncomingFile* file) const {
    if (file == nullptr) return false;
    const auto index = static_cast<std::size_t>(file - Look.Files.data());
    return index < Complete.size() && Complete[index];
}

TIncomingPoller::TIncomingPoller(QObject* parent)
    : QObject(parent),
      read_([](const std::filesystem::path& file) {
          auto read = std::make_shared<job::TFileReads::TRead>();
          read->Ok = job::io::ReadAll(file, read->Bytes, read->Failure);
          return job::TFileReads::TResult(std::move(read));
      }),
      last_(std::make_shared<TIncomingSnapshot>()),
      timer_(new QTimer(this)),
      hangTimer_(new QTimer(this)) {
    timer_->setInterval(2000);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (work_ && !work_->Listing) StartListing();
    });
    hangTimer_->setSingleShot(true);
    connect(hangTimer_, &QTimer::timeout, this, [this] {
        if (!work_ || !work_->Listing) return;
        hungSince_ = listingSince_;
        emit Looked();
    });
}

TIncomingPoller::~TIncomingPoller() = default;

void TIncomingPoller::SetFolder(const std::filesystem::path& folder) {
    if (folder == folder_ && work_) return;
    folder_ = folder;
    work_ = std::make_shared<TWork>(read_);
    auto fresh = std::make_shared<TIncomingSnapshot>();
    fresh->Folder = folder;
    last_ = std::move(fresh);
    states_.clear();
    hungSince_.reset();
    // Those waiting for the old folder's listing get the new one's.
    thisLook_.insert(thisLook_.end(), nextLook_.begin(), nextLook_.end());
    nextLook_.clear();
    timer_->start();
    StartListing();
}

void TIncomingPoller::SetInterval(int ms) {
    timer_->setInterval(ms);
}

void TIncomingPoller::LookNow(std::function<void(const TIncomingSnapshot&)> done) {
    if (work_ && work_->Listing) {
        nextLook_.push_back(std::move(done));
        return;
    }
    thisLook_.push_back(std::move(done));
    StartListing();
}

const job::TListState* TIncomingPoller::StateOf(const std::filesystem::path& file) const {
    const auto it = states_.find(file.string());
    return it == states_.end() ? nullptr : &it->second;
}

void TIncomingPoller::StartListing() {
    if (!work_) work_ = std::make_shared<TWork>(read_);
    const bool started = RunDetached([self = QPointer(this), work = work_, folder = folder_] {
        const auto start = Clock::now();
        auto snapshot = std::make_shared<TIncomingSnapshot>();
        snapshot->Folder = folder;
        const auto at =
            std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch());
        work->Looks.Take(job::LookAtFolder(folder), at.count());
        snapshot->Look = work->Looks.Last();
        snapshot->Taken = true;
        snapshot->Complete.reserve(snapshot->Look.Files.size());
        for (const job::TIncomingFile& file : snapshot->Look.Files)
            snapshot->Complete.push_back(work->Looks.Complete(file.Name));
        const qint64 ms = MsSince(start);
        PostTo(self, [work, snapshot = std::move(snapshot), ms](TIncomingPoller& poller) {
            poller.Listed(work, snapshot, ms);
        });
    });
    if (!started) return;  // the next tick tries again
    work_->Listing = true;
    listingSince_ = QDateTime::currentDateTime();
    hangTimer_->start(hangAfterMs_);
}

void TIncomingPoller::Listed(const std::shared_ptr<TWork>& work,
                             std::shared_ptr<TIncomingSnapshot> snapshot, qint64 ms) {
    work->Listing = false;
    if (work != work_) return;  // a folder no longer set
    hangTimer_->stop();
    hungSince_.reset();
    listingMs_ = ms;
    last_ = std::move(snapshot);
    std::vector<std::function<void(const TIncomingSnapshot&)>> waiting;
    waiting.swap(thisLook_);
    thisLook_.swap(nextLook_);
    if (!thisLook_.empty()) StartListing();
    if (work->Stating)
        work->StatesAgain = true;
    else
        StartStates();
    // Held here: what the callers do may open a box whose event loop brings the next listing.
    const std::shared_ptr<const TIncomingSnapshot> shown = last_;
    emit Looked();
    for (auto& done : waiting) done(*shown);
}

void TIncomingPoller::StartStates() {
    const bool started =
        RunDetached([self = QPointer(this), work = work_, snapshot = last_, mapsFile = mapsFile_] {
            const auto start = Clock::now();
            const job::TColumnMaps maps = job::TColumnMaps::Parse(
                mapsFile.empty() ? std::string() : ReadWholeFile(mapsFile).value_or(std::string()));
            work->States.Begin(&maps);
            auto batch = std::make_shared<TStates>();
            auto sent = Clock::now();
            const std::vector<job::TIncomingFile>& files = snapshot->Look.Files;
            for (std::size_t i = 0; i < files.size(); ++i) {
                // A list still being written is read once it is whole.
                if (!snapshot->IsComplete(&files[i])) continue;
                bool fresh = false;
                job::TListState state = work->States.Of(files[i], &fresh);
                if (fresh) batch->Read.emplace_back(files[i].Path.string(), std::move(state));
                // A folder read for the first time shows its states as they come.
                if (!batch->Read.empty() && Clock::now() - sent > std::chrono::milliseconds(200)) {
                    PostTo(self, [work, batch](TIncomingPoller& poller) {
                        poller.StatesArrived(work, batch, false);
                    });
                    batch = std::make_shared<TStates>();
                    sent = Clock::now();
                }
            }
            work->States.End();
            const qint64 ms = MsSince(start);
            PostTo(self, [work, batch, ms](TIncomingPoller& poller) {
                poller.statesMs_ = ms;
                poller.StatesArrived(work, batch, true);
            });
        });
    work_->Stating = started;
}

void TIncomingPoller::StatesArrived(const std::shared_ptr<TWork>& work,
                                    const std::shared_ptr<TStates>& states, bool last) {
    if (last) work->Stating = false;
    if (work != work_) return;
    for (auto& [path, state] : states->Read)
        states_.insert_or_assign(std::move(path), std::move(state));
    for (const std::string& path : states->Gone) states_.erase(path);
    if (last && work->StatesAgain) {
        work->StatesAgain = false;
        StartStates();
    }
    if (!states->Read.empty()) emit StatesRead();
}

}  // namespace tandrel::console
