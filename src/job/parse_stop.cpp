#include "job/parse_stop.h"

#include "base/cp1251.h"

namespace tandrel::job {
namespace {
thread_local const std::atomic<bool>* t_stop = nullptr;
}  // namespace

TParseStop::TParseStop(const std::atomic<bool>& stop) : previous_(t_stop) {
    t_stop = &stop;
}

TParseStop::~TParseStop() {
    t_stop = previous_;
}

bool ParseStopped() {
    return t_stop != nullptr && t_stop->load(std::memory_order_relaxed);
}

std::string StoppedReason() {
    return "чтение остановлено"_cp1251;
}

}  // namespace tandrel::job
