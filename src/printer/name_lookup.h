#pragma once
// A printer's name looked up within a deadline. The system's lookup may hang on a dead name
// server for far longer than a label may wait: it runs on a thread of its own, and the caller
// gives up at the deadline and leaves the thread to finish alone. Any thread.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace tandrel::printer {

// What lookup returned, or nothing when it had not returned by the deadline. lookup must own
// everything it uses: it may outlive the call.
template <typename Result, typename Lookup>
std::optional<Result> LookUpWithin(Lookup lookup, std::chrono::steady_clock::time_point deadline) {
    struct TShared {
        std::mutex Lock;
        std::condition_variable Done;
        std::optional<Result> Found;
    };
    auto shared = std::make_shared<TShared>();
    std::thread([shared, lookup = std::move(lookup)]() mutable {
        Result result = lookup();
        const std::lock_guard lock(shared->Lock);
        shared->Found = std::move(result);
        shared->Done.notify_all();
    }).detach();
    std::unique_lock lock(shared->Lock);
    if (!shared->Done.wait_until(lock, deadline, [&] { return shared->Found.has_value(); }))
        return std::nullopt;
    return std::move(shared->Found);
}

}  // namespace tandrel::printer
