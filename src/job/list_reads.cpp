#include "job/list_reads.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "base/cp1251.h"
#include "job/job_io.h"

namespace tandrel::job {

struct TFileReads::TShared {
    struct TRunning {
        std::vector<std::function<void(TResult)>> Waiting;
        TResult Result;
    };
    mutable std::mutex Lock;
    std::condition_variable Ended;
    TPost Post;  // empty once the owner has gone
    std::map<std::filesystem::path, std::shared_ptr<TRunning>> Running;

    // Registers a read of file; false when one runs already (then done joins it).
    bool Begin(const std::filesystem::path& file, std::function<void(TResult)> done,
               std::shared_ptr<TRunning>& running) {
        const std::lock_guard lock(Lock);
        auto& slot = Running[file];
        const bool fresh = slot == nullptr;
        if (fresh) slot = std::make_shared<TRunning>();
        if (done) slot->Waiting.push_back(std::move(done));
        running = slot;
        return fresh;
    }

    void Finish(const std::filesystem::path& file, const std::shared_ptr<TRunning>& running,
                TResult result) {
        const std::lock_guard lock(Lock);
        Running.erase(file);
        running->Result = result;
        Ended.notify_all();
        // Under the lock: the owner cannot go between the look at Post and the call.
        if (!Post) return;
        for (auto& done : running->Waiting)
            Post([done = std::move(done), result] { done(result); });
    }
};

namespace {
TFileReads::TResult ReadFile(const std::filesystem::path& file) {
    auto read = std::make_shared<TFileReads::TRead>();
    read->Ok = io::ReadAll(file, read->Bytes, read->Failure);
    return read;
}
}  // namespace

TFileReads::TFileReads(TPost post) : shared_(std::make_shared<TShared>()) {
    shared_->Post = std::move(post);
}

TFileReads::~TFileReads() {
    const std::lock_guard lock(shared_->Lock);
    shared_->Post = nullptr;
}

void TFileReads::Read(const std::filesystem::path& file, std::function<void(TResult)> done) {
    std::shared_ptr<TShared::TRunning> running;
    if (!shared_->Begin(file, std::move(done), running)) return;
    try {
        std::thread([shared = shared_, file, running] {
            shared->Finish(file, running, ReadFile(file));
        }).detach();
    } catch (const std::system_error&) {
        auto refused = std::make_shared<TRead>();
        refused->Failure = "не удалось начать чтение"_cp1251;
        shared_->Finish(file, running, refused);
    }
}

TFileReads::TResult TFileReads::ReadHere(const std::filesystem::path& file) {
    return Here()(file);
}

TFileReads::THere TFileReads::Here() const {
    return [shared = shared_](const std::filesystem::path& file) {
        std::shared_ptr<TShared::TRunning> running;
        if (shared->Begin(file, nullptr, running)) {
            TResult result = ReadFile(file);
            shared->Finish(file, running, result);
            return result;
        }
        std::unique_lock lock(shared->Lock);
        shared->Ended.wait(lock, [&] { return running->Result != nullptr; });
        return running->Result;
    };
}

std::size_t TFileReads::Running() const {
    const std::lock_guard lock(shared_->Lock);
    return shared_->Running.size();
}

}  // namespace tandrel::job
