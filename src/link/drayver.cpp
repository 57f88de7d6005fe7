#include "link/drayver.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "base/cp1251.h"
#include "base/error.h"
#include "link/protocol.h"
#include "link/thread_platform.h"

namespace tandrel::link {
namespace {

using Clock = std::chrono::steady_clock;
using namespace protocol;

// Request sent in each state 1 to 6, and the kind of reply it awaits.
constexpr char kRequestOf[7] = {0,
                                kRequestSerial,
                                kRequestMinimum,
                                kRequestMaximum,
                                kRequestPrecision,
                                kRequestFirmware,
                                kRequestPosition};

bool Awaited(std::uint8_t state, const std::string& reply) {
    if (state == kAwaitingPing) return reply.size() == 1 && reply[0] == kPing;
    return !reply.empty() && reply[0] == kRequestOf[state];
}

struct TCall {
    bool abandoned = false;
    bool running = false;
    bool done = false;
    std::exception_ptr error;
};

}  // namespace

struct drayver::TState : std::enable_shared_from_this<drayver::TState> {
    TState(TLinkData& l, THandshakeHooks h) : link(l), hooks(std::move(h)) {}

    TLinkData& link;
    const THandshakeHooks hooks;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{true};
    std::thread thread;

    // The main-thread call in flight.
    std::mutex callMutex;
    std::condition_variable callDone;
    std::thread::id callThread;  // the thread running it, while it runs

    // Where the request of the current state went out.
    std::uint8_t sentState = 0xFF;
    Clock::time_point sentAt;
    int resends = 0;

    void Body();
    void Handshake();
    bool OnMain(std::function<void()> fn);
    void Queue(std::function<void()> fn);
    void Notice(const std::string& text, bool fault);
    void Send(char request, std::uint8_t next);
    void StartOver(const std::string& why);

    enum class TWait { Reply, Changed, Timeout };
    TWait WaitReply(std::uint8_t state, std::string& reply);
};

bool drayver::TState::OnMain(std::function<void()> fn) {
    if (!fn) return !stop.load();
    auto call = std::make_shared<TCall>();
    hooks.Post([self = shared_from_this(), call, fn = std::move(fn)] {
        {
            std::lock_guard lock(self->callMutex);
            if (call->abandoned) return;
            call->running = true;
            self->callThread = std::this_thread::get_id();
        }
        try {
            fn();
        } catch (...) {
            call->error = std::current_exception();
        }
        {
            std::lock_guard lock(self->callMutex);
            call->done = true;
            self->callThread = {};
        }
        self->callDone.notify_all();
    });
    std::unique_lock lock(callMutex);
    callDone.wait(lock, [&] { return call->done || (stop.load() && !call->running); });
    if (!call->done) {
        call->abandoned = true;
        return false;
    }
    if (call->error) std::rethrow_exception(call->error);
    return !stop.load();
}

void drayver::TState::Queue(std::function<void()> fn) {
    if (!stop.load()) hooks.Post(std::move(fn));
}

void drayver::TState::Notice(const std::string& text, bool fault) {
    if (hooks.Notice) Queue([notice = hooks.Notice, text, fault] { notice(text, fault); });
}

void drayver::TState::Send(char request, std::uint8_t next) {
    hooks.Write(std::string(1, request));
    link.SetLinkState(next);
    sentState = next;
    sentAt = Clock::now();
    resends = 0;
}

void drayver::TState::StartOver(const std::string& why) {
    ++link.HandshakeRestarts;
    link.SetLinkState(kAwaitingPing);
    sentState = kAwaitingPing;
    Notice(why, true);
}

drayver::TState::TWait drayver::TState::WaitReply(std::uint8_t state, std::string& reply) {
    const bool timed = state != kAwaitingPing;
    const auto deadline = sentAt + hooks.ResendInterval;
    std::unique_lock lock(link.Mutex);
    for (;;) {
        if (stop.load() || link.LinkState.load() != state) return TWait::Changed;
        while (!link.LastReply.empty()) {
            std::string r = std::move(link.LastReply.front());
            link.LastReply.pop_front();
            // Another kind than the one awaited is of no use to anyone: drop it.
            if (Awaited(state, r)) {
                reply = std::move(r);
                return TWait::Reply;
            }
        }
        if (!timed) {
            link.Changed.wait(lock);
        } else if (link.Changed.wait_until(lock, deadline) == std::cv_status::timeout) {
            // A reply that came with the deadline still counts.
            if (link.LastReply.empty()) return TWait::Timeout;
        }
    }
}

void drayver::TState::Handshake() {
    link.SetSerialNumber(hooks.Now ? hooks.Now() : LocalTimeText());
    link.MinSize.store(200.0);
    link.MaxSize.store(3050.0);
    link.Precision.store(0);
    link.SetFirmwareVersion("3");
    link.CurrentPosition.store(3050.0);
    {
        // What an earlier handshake left unread belongs to an earlier exchange.
        std::lock_guard lock(link.Mutex);
        link.LastReply.clear();
    }
    if (!OnMain(hooks.ShowDeviceData) || !OnMain(hooks.ShowReady)) return;
    link.SetLinkState(kAwaitingPing);
    sentState = kAwaitingPing;

    const std::string unreadable = "Устройство прислало ответ, который нельзя прочитать"_cp1251;
    while (!stop.load()) {
        const std::uint8_t state = link.LinkState.load();
        if (state > 6) {
            // Linked by a move sent meanwhile: nothing to do until someone changes the state.
            std::unique_lock lock(link.Mutex);
            link.Changed.wait(lock, [&] { return stop.load() || link.LinkState.load() != state; });
            continue;
        }
        if (state != sentState) {
            sentState = state;
            sentAt = Clock::now();
            resends = 0;
        }
        std::string reply;
        const TWait got = WaitReply(state, reply);
        if (got == TWait::Changed) continue;
        if (got == TWait::Timeout) {
            if (resends < hooks.MaxResends) {
                hooks.Write(std::string(1, kRequestOf[state]));
                ++resends;
                sentAt = Clock::now();
            } else {
                StartOver("Устройство не отвечает"_cp1251);
            }
            continue;
        }
        const std::string payload = reply.substr(1);
        try {
            switch (state) {
                case 0:
                    break;
                case 1:
                    link.SetSerialNumber(payload);
                    break;
                case 2:
                    link.MinSize.store(ParseSize(payload));
                    break;
                case 3:
                    link.MaxSize.store(ParseSize(payload));
                    break;
                case 4:
                    link.Precision.store(ParsePrecision(payload));
                    break;
                case 5:
                    link.SetFirmwareVersion(payload);
                    break;
                case 6:
                    link.CurrentPosition.store(ParseSize(payload));
                    break;
            }
        } catch (const EConvertError&) {
            StartOver(unreadable);
            continue;
        }
        if (state == 6) {
            const double position = link.CurrentPosition.load();
            auto show = [reset = hooks.ResetAutoTest, show = hooks.ShowDeviceData, position] {
                if (reset) reset(position);
                if (show) show();
            };
            if (!OnMain(show)) return;
            Send(kRequestStatus, kLinked);
            Notice("Устройство подключено"_cp1251, false);
            return;
        }
        if (!OnMain(hooks.ShowDeviceData)) return;
        Send(kRequestOf[state + 1], static_cast<std::uint8_t>(state + 1));
        if (state == 5 && !OnMain(hooks.ShowReady)) return;
    }
}

void drayver::TState::Body() {
    LowerCurrentThreadPriority();
    std::exception_ptr error;
    try {
        Handshake();
    } catch (...) {
        error = std::current_exception();
    }
    running.store(false);
    // A write error, or what a window raised in a main-thread call: the main thread's handler
    // decides (the port's write error starts the recovery, everything else is dropped).
    if (error && hooks.AppException) {
        Queue([handler = hooks.AppException, error] { handler(error); });
    }
}

drayver::drayver(TLinkData& link, THandshakeHooks hooks)
    : state_(std::make_shared<TState>(link, std::move(hooks))) {
    state_->thread = std::thread([st = state_] { st->Body(); });
}

drayver::~drayver() {
    Stop();
}

void drayver::Stop() {
    {
        std::lock_guard lock(state_->link.Mutex);
        state_->stop.store(true);
    }
    state_->link.Changed.notify_all();
    bool insideCall = false;
    {
        std::lock_guard lock(state_->callMutex);
        insideCall = state_->callThread == std::this_thread::get_id();
    }
    state_->callDone.notify_all();
    if (!state_->thread.joinable()) return;
    // Joining here would wait for the very call this thread is running.
    if (insideCall) {
        state_->thread.detach();
    } else {
        state_->thread.join();
    }
}

bool drayver::Running() const {
    return state_->running.load();
}

void StartHandshake(TLinkData& link, THandshakeHooks hooks) {
    if (link.HandshakeThread) link.HandshakeThread->Stop();
    link.Silence.Restart();
    link.HandshakeThread = std::make_unique<drayver>(link, std::move(hooks));
}

}  // namespace tandrel::link
