#pragma once
// Tells a keyboard-wedge scanner from a hand on the keyboard: a scanner types its code and Enter
// a few milliseconds a key. Keys are held back while they may still belong to such a burst; the
// caller keeps the held keys themselves and acts on what each call settles. Times are in
// milliseconds of one clock (the key events' own timestamps); the detector never reads a clock
// itself. Plain logic, one thread.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tandrel::job {

class TScanBurst {
  public:
    static constexpr std::int64_t kGapMs = 50;  // at most this between two keys of a burst
    static constexpr std::size_t kMinKeys = 3;  // Enter included

    // What happens to the key just pressed.
    enum class TThis {
        Hold,  // held back: it may belong to a burst
        Act,   // acts as typed now (after the settled keys before it)
        Scan,  // an Enter that ends a scan: every key held, this one too, belongs to it
    };
    struct TStep {
        std::size_t Settled = 0;   // keys held before this one that are settled now, oldest first
        bool SettledTyped = true;  // they act as typed; false: a burst without Enter, dropped
        TThis This = TThis::Hold;
    };

    // A key pressed at ms; enter for Return or Enter.
    TStep Press(std::int64_t ms, bool enter);
    // The held keys once no key has followed by now (This is Hold and means nothing).
    TStep Expire(std::int64_t nowMs);
    // When Expire settles the held keys; nothing while none are held.
    std::optional<std::int64_t> Due() const;
    std::size_t Held() const { return held_; }

  private:
    TStep SettleHeld();
    std::size_t held_ = 0;
    std::int64_t last_ = 0;
};

}  // namespace tandrel::job
