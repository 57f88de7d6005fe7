#pragma once
// Tells a keyboard-wedge scanner from a hand on the keyboard: a scanner types at least three
// characters, each within 30 ms of the one before, and then Enter within 150 ms of the last. Keys
// are held back while they may still belong to such a scan; every other key is handed back in
// order, exactly as typed, whatever its pace. The caller keeps the held keys themselves and acts
// on what each call settles. Times are milliseconds of one clock per burst (the caller says when
// it changes); the detector never reads a clock itself. Plain logic, one thread.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tandrel::job {

class TScanBurst {
  public:
    static constexpr std::int64_t kKeyGapMs = 30;     // at most this between two characters
    static constexpr std::int64_t kEnterGapMs = 150;  // at most this from the last one to Enter
    static constexpr std::size_t kMinChars = 3;

    // What happens to the key just pressed.
    enum class TThis {
        Hold,  // held back: it may belong to a scan
        Act,   // acts as typed now (after the settled keys before it)
        Scan,  // an Enter that ends a scan: every key held, this one too, belongs to it
    };
    struct TStep {
        std::size_t Settled = 0;  // keys held before this one that act as typed now, oldest first
        TThis This = TThis::Hold;
    };

    // A key pressed at ms; enter for Return or Enter, otherwise a character.
    TStep Press(std::int64_t ms, bool enter);
    // The held keys once no key has followed by nowMs.
    TStep Expire(std::int64_t nowMs);
    // Every held key, now.
    TStep SettleAll();
    // How long after the last held key they wait for the next one; nothing while none is held.
    std::optional<std::int64_t> Window() const;
    // When Expire settles the held keys; nothing while none is held.
    std::optional<std::int64_t> Due() const;
    // The clock changes within the burst: lastMs is the last held key's time on the new one.
    void Rebase(std::int64_t lastMs) { last_ = lastMs; }
    std::size_t Held() const { return held_; }

  private:
    std::size_t held_ = 0;
    std::int64_t last_ = 0;
};

}  // namespace tandrel::job
