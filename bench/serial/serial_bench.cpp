// Figures of the serial component over a pseudo-terminal:
// - RxCharLatency: from bytes written on the far end to the start of the OnRxChar handler on
//   the main thread (smThreadSync through a TQueueExecutor); median and 99th percentile.
// - IdlePortCpu: the CPU time an open port with nothing arriving costs the process.
// TANDREL_BENCH_SMOKE=1 shortens both (CI runs them once that way).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "pty_peer.h"
#include "serial/BCPort.h"

namespace tandrel::serial {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool Smoke() {
    return std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
}

void RxCharLatency(benchmark::State& state) {
    const int trips = Smoke() ? 200 : 10000;
    testing::TPty pty;
    TQueueExecutor main;
    TBComPort port(&main);
    port.SetPort(pty.Path());
    Clock::time_point sent;
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(trips));
    bool arrived = false;
    port.OnRxChar = [&](TBComPort& p, std::int32_t count) {
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        std::string bytes;
        p.ReadText(bytes, count);
        arrived = true;
    };
    port.OpenPort();
    for (auto _ : state) {
        micros.clear();
        for (int i = 0; i < trips; ++i) {
            arrived = false;
            sent = Clock::now();
            pty.Write("P");
            if (!main.RunUntil([&] { return arrived; }, 2s)) {
                state.SkipWithError("no OnRxChar within 2 s");
                return;
            }
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
    state.counters["trips"] = static_cast<double>(micros.size());
}
BENCHMARK(RxCharLatency)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void IdlePortCpu(benchmark::State& state) {
    const auto idle = Smoke() ? 500ms : 10s;
    testing::TPty pty;
    TQueueExecutor main;
    TBComPort port(&main);
    port.SetPort(pty.Path());
    port.OnRxChar = [](TBComPort&, std::int32_t) {};
    port.OpenPort();
    double used = 0;
    for (auto _ : state) {
        const double before = testing::ProcessCpuMs();
        main.RunFor(idle);  // the main thread waits as an idle console would
        used = testing::ProcessCpuMs() - before;
    }
    state.counters["cpu_ms"] = used;
    state.counters["idle_s"] = std::chrono::duration<double>(idle).count();
}
BENCHMARK(IdlePortCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tandrel::serial

BENCHMARK_MAIN();
