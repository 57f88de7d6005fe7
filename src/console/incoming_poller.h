#pragma once
// Looks at the incoming folder every few seconds, off the main thread: a network share sends no
// change notices and may hang. Each finished look is handed to the main thread. Main thread only.

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "job/incoming.h"

class QTimer;

namespace tandrel::console {

// One look at the folder, with what the looks before it tell.
struct TIncomingSnapshot {
    std::filesystem::path Folder;
    job::TFolderLook Look;
    std::vector<bool> Complete;           // per file of Look
    std::vector<job::TListState> States;  // per file of Look
    std::vector<QString> Times;           // per file of Look: its date and time, shown
    bool Taken = false;                   // a look has finished
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
    // The kept column maps' file, read at every look: a list they map shows its state.
    void SetMapsFile(const std::filesystem::path& file) { mapsFile_ = file; }
    // A look begun after this call; done runs on the main thread with it.
    void LookNow(std::function<void(const TIncomingSnapshot&)> done);
    const TIncomingSnapshot& Last() const { return last_; }

  signals:
    void Looked();

  private:
    struct TWork;
    void Start();
    void Finished(const std::shared_ptr<TWork>& work, TIncomingSnapshot snapshot);

    std::filesystem::path folder_;
    std::filesystem::path mapsFile_;
    std::shared_ptr<TWork> work_;  // the looks and states of folder_; one look at a time
    TIncomingSnapshot last_;
    QTimer* timer_ = nullptr;
    bool busy_ = false;
    std::vector<std::function<void(const TIncomingSnapshot&)>> thisLook_;
    std::vector<std::function<void(const TIncomingSnapshot&)>> nextLook_;
};

}  // namespace tandrel::console
