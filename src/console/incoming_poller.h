#pragma once
// Looks at the incoming folder every few seconds, off the main thread: a network share sends no
// change notices and may hang. Two lanes, each on a thread of its own and one run at a time: the
// listing (names, sizes, times), handed to the main thread as soon as it ends, and the states of
// the lists that are new or changed, read after it. A list that answers late holds the states
// alone; a folder that answers late holds the listing, and is said after HangAfter. Main thread
// only.

#include <QDateTime>
#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "job/incoming.h"
#include "job/list_reads.h"

class QTimer;

namespace tandrel::console {

// One listing of the folder, with what the listings before it tell.
struct TIncomingSnapshot {
    std::filesystem::path Folder;
    job::TFolderLook Look;
    std::vector<bool> Complete;  // per file of Look
    bool Taken = false;          // a listing has ended
    bool IsComplete(const job::TIncomingFile* file) const;
};

class TIncomingPoller : public QObject {
    Q_OBJECT
  public:
    explicit TIncomingPoller(QObject* parent);
    ~TIncomingPoller() override;

    // Starts looking at folder (again from a first look when it changed).
    void SetFolder(const std::filesystem::path& folder);
    const std::filesystem::path& Folder() const { return folder_; }
    void SetInterval(int ms);
    // A listing that has not ended after this long is said (Hung).
    void SetHangAfter(int ms) { hangAfterMs_ = ms; }
    // The kept column maps' file, read at every pass of the states: a list they map shows its
    // state.
    void SetMapsFile(const std::filesystem::path& file) { mapsFile_ = file; }
    // How the states read a list: through the loads' reads, so that one file is read once at a
    // time. A direct read until set.
    void SetReader(job::TFileReads::THere read) { read_ = std::move(read); }

    // A listing begun after this call; done runs on the main thread with it. A listing that
    // hangs makes it wait: the caller keeps its own deadline.
    void LookNow(std::function<void(const TIncomingSnapshot&)> done);
    const TIncomingSnapshot& Last() const { return *last_; }
    // The same, to be kept past the next listing.
    std::shared_ptr<const TIncomingSnapshot> Shared() const { return last_; }
    // The state of a list as the states last read it; nullptr while it has not been read.
    const job::TListState* StateOf(const std::filesystem::path& file) const;
    // Since when the listing running now has not ended, once that is longer than HangAfter.
    std::optional<QDateTime> HungSince() const { return hungSince_; }
    // The last listing's and the last pass of states' times, in milliseconds.
    qint64 ListingMs() const { return listingMs_; }
    qint64 StatesMs() const { return statesMs_; }

  signals:
    // A listing has ended, or the one running is now said to hang.
    void Looked();
    // Some lists' states were read.
    void StatesRead();

  private:
    struct TWork;
    struct TStates;
    void StartListing();
    void Listed(const std::shared_ptr<TWork>& work, std::shared_ptr<TIncomingSnapshot> snapshot,
                qint64 ms);
    void StartStates();
    void StatesArrived(const std::shared_ptr<TWork>& work, const std::shared_ptr<TStates>& states,
                       bool last);

    std::filesystem::path folder_;
    std::filesystem::path mapsFile_;
    job::TFileReads::THere read_;
    std::shared_ptr<TWork> work_;  // the looks and states of folder_
    std::shared_ptr<const TIncomingSnapshot> last_;
    std::unordered_map<std::string, job::TListState> states_;  // by the file's path
    std::optional<QDateTime> hungSince_;
    QDateTime listingSince_;
    int hangAfterMs_ = 3000;
    qint64 listingMs_ = 0;
    qint64 statesMs_ = 0;
    QTimer* timer_ = nullptr;
    QTimer* hangTimer_ = nullptr;
    std::vector<std::function<void(const TIncomingSnapshot&)>> thisLook_;
    std::vector<std::function<void(const TIncomingSnapshot&)>> nextLook_;
};

}  // namespace tandrel::console
