#pragma once
// Stand-ins for the windows and the main thread's event loop.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "link/dispatcher.h"

namespace tandrel::link::testing {

// The main thread's queue: other threads Post, the test thread runs the calls.
class TMainLoop {
  public:
    void Post(std::function<void()> fn) {
        {
            std::lock_guard lock(mutex_);
            calls_.push_back(std::move(fn));
        }
        changed_.notify_all();
    }
    // Runs queued calls until done() holds or the time is up; returns done().
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (done()) return true;
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                // Short slices: done() may turn on another thread without anything queued.
                const auto slice = std::min(
                    deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(2));
                if (!changed_.wait_until(lock, slice, [&] { return !calls_.empty(); })) {
                    if (std::chrono::steady_clock::now() >= deadline) return done();
                    continue;
                }
                fn = std::move(calls_.front());
                calls_.pop_front();
            }
            fn();
        }
    }
    // Runs what is queued for a while, whatever it is.
    void RunFor(std::chrono::milliseconds time) {
        RunUntil([] { return false; }, time);
    }
    std::size_t Pending() {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> calls_;
};

// The main window as the dispatcher sees it. Text setters follow the control-text rule: the
// change handler runs inside the assignment, only on a real change.
class TFakeView : public TLinkView {
  public:
    std::vector<std::string> Written;
    std::string PositionField, PositionDisplay, Label1;
    int PositionFieldChanges = 0, PositionDisplayChanges = 0;
    bool Back = false, Start = false;
    int BackClicks = 0, StartClicks = 0;
    std::vector<std::string> Notices;
    std::vector<std::string> Order;  // which setter ran, in order
    std::function<void(const std::string&)> OnWrite;
    std::function<void()> OnPositionFieldChange;

    void WriteDevice(const std::string& text) override {
        if (OnWrite) OnWrite(text);
        Written.push_back(text);
    }
    void SetCurrentPositionField(const std::string& text) override {
        Order.push_back("field");
        if (text == PositionField) return;
        PositionField = text;
        ++PositionFieldChanges;
        if (OnPositionFieldChange) OnPositionFieldChange();
    }
    void SetPositionDisplay(const std::string& text) override {
        Order.push_back("display");
        if (text == PositionDisplay) return;
        PositionDisplay = text;
        ++PositionDisplayChanges;
    }
    void SetKeypadMirror(const std::string& text) override { Label1 = text; }
    bool BackEnabled() const override { return Back; }
    void ClickBack() override { ++BackClicks; }
    bool StartEnabled() const override { return Start; }
    void ClickStart() override { ++StartClicks; }
    void Notice(const std::string& text, bool) override { Notices.push_back(text); }
};

inline std::vector<std::string> Replies(TLinkData& link) {
    std::lock_guard lock(link.Mutex);
    return {link.LastReply.begin(), link.LastReply.end()};
}

}  // namespace tandrel::link::testing
