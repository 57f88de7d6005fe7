#pragma once
// A list parsed on a thread that nobody waits for any longer (its load was abandoned or
// dropped) stops at its next row instead of running on through a huge file. The readers look at
// the flag of their own thread, so that their signatures stay those of plain parsers.

#include <atomic>
#include <string>

namespace tandrel::job {

// While it lives, ParseStopped() on this thread reads stop.
class TParseStop {
  public:
    explicit TParseStop(const std::atomic<bool>& stop);
    ~TParseStop();
    TParseStop(const TParseStop&) = delete;
    TParseStop& operator=(const TParseStop&) = delete;

  private:
    const std::atomic<bool>* previous_;
};

// The parse running on this thread should stop now; false where no TParseStop is set.
bool ParseStopped();
// What a stopped parse gives as its failure (Windows-1251); nobody is shown it.
std::string StoppedReason();

}  // namespace tandrel::job
