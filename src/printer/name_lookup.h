#pragma once
// A printer's name looked up within a deadline. The system's lookup may hang on a dead name
// server for far longer than a label may wait: it runs on a thread of its own, and the caller
// gives up at the deadline and leaves the thread to finish alone. Any thread.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "printer/tcp_connection.h"

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

// The addresses of host at port: host itself when it is an address, else those the tests' lookup
// (HostLookup) or the system's within until give. lookup(name, service, numericOnly) is the
// system's, for one platform. Raises EPrinter when there are none.
template <typename Address, typename SystemLookup>
std::vector<Address> Resolve(const std::string& host, std::uint16_t port, TClock::time_point until,
                             SystemLookup lookup) {
    const std::string service = std::to_string(port);
    if (auto numeric = lookup(host, service, true); !numeric.empty()) return numeric;
    std::optional<std::vector<Address>> found;
    if (const THostLookup& given = HostLookup()) {
        found.emplace();
        for (const std::string& address : given(host)) {
            const auto some = lookup(address, service, true);
            found->insert(found->end(), some.begin(), some.end());
        }
    } else {
        found = LookUpWithin<std::vector<Address>>(
            [host, service, lookup] { return lookup(host, service, false); }, until);
    }
    if (!found || found->empty()) throw EPrinter(UnresolvedText(host));
    return *found;
}

}  // namespace tandrel::printer
