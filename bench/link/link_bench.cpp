// The device link over a pseudo-terminal: ping-to-"T" delay, a whole handshake against a device
// that answers at once, and the CPU the program spends while the handshake waits for a silent
// device. With TANDREL_BENCH_SMOKE=1 (scripts/bench.sh --smoke, as CI runs it) or --smoke each
// runs briefly.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link_rig.h"

namespace {

using namespace std::chrono_literals;
using tandrel::link::testing::TLinkRig;
using Clock = std::chrono::steady_clock;

bool gSmoke = false;

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// From the device's ping to the "T" that answers it, with the link up.
void BM_PingToT(benchmark::State& state) {
    TLinkRig rig;
    rig.peer.AnswerStandard();
    if (!rig.port.Open(rig.peer.Path()) || !rig.LinkUp()) {
        state.SkipWithError("no link");
        return;
    }
    rig.peer.Answer('T', {""});  // the position reply is not what is measured
    std::mutex m;
    Clock::time_point answered;
    rig.peer.SetOnRequest([&](const std::string& r) {
        if (r == "T") {
            std::lock_guard lock(m);
            answered = Clock::now();
        }
    });
    std::vector<double> us;
    for (auto _ : state) {
        const std::size_t before = rig.peer.RequestCount();
        const auto sent = Clock::now();
        rig.peer.Send("P");
        rig.RunUntil([&] { return rig.peer.RequestCount() > before; }, 2s);
        std::lock_guard lock(m);
        const double d = std::chrono::duration<double, std::micro>(answered - sent).count();
        us.push_back(d);
        state.SetIterationTime(d / 1e6);
    }
    state.counters["median_us"] = Percentile(us, 0.5);
    state.counters["p99_us"] = Percentile(us, 0.99);
}
BENCHMARK(BM_PingToT)->UseManualTime()->Unit(benchmark::kMicrosecond);

// From the first ping to LinkState 7, against a device that answers every request at once.
void BM_Handshake(benchmark::State& state) {
    TLinkRig rig;
    rig.peer.AnswerStandard();
    if (!rig.port.Open(rig.peer.Path())) {
        state.SkipWithError("no port");
        return;
    }
    std::vector<double> ms;
    for (auto _ : state) {
        rig.ready = 0;
        rig.Start();
        rig.RunUntil([&] { return rig.Waiting(); });
        const auto t0 = Clock::now();
        rig.peer.Send("P");
        if (!rig.RunUntil([&] { return rig.Linked(); })) {
            state.SkipWithError("handshake did not finish");
            return;
        }
        const double d = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        ms.push_back(d);
        state.SetIterationTime(d / 1e3);
    }
    state.counters["median_ms"] = Percentile(ms, 0.5);
    state.counters["max_ms"] = Percentile(ms, 1.0);
}
BENCHMARK(BM_Handshake)->UseManualTime()->Unit(benchmark::kMillisecond);

// CPU time of the whole process while the handshake waits for a device that pinged once and
// then answers nothing (so it resends, gives up, and waits for a ping again).
void BM_SilentDeviceCpu(benchmark::State& state) {
    TLinkRig rig;
    rig.resend = 1000ms;
    if (!rig.port.Open(rig.peer.Path())) {
        state.SkipWithError("no port");
        return;
    }
    rig.Start();
    rig.RunUntil([&] { return rig.ready >= 1; });
    rig.peer.Send("P");
    const auto span = gSmoke ? 1s : 10s;
    for (auto _ : state) {
        const double cpu0 = CpuMs();
        rig.main.RunFor(span);
        const double used = CpuMs() - cpu0;
        state.counters["cpu_ms"] = used;
        state.counters["span_s"] = std::chrono::duration<double>(span).count();
        state.counters["requests"] = static_cast<double>(rig.peer.RequestCount());
    }
}
BENCHMARK(BM_SilentDeviceCpu)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const char* smoke = std::getenv("TANDREL_BENCH_SMOKE");
    gSmoke = smoke != nullptr && std::strcmp(smoke, "1") == 0;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            gSmoke = true;
        } else {
            args.push_back(argv[i]);
        }
    }
    static char minTime[] = "--benchmark_min_time=0.05";
    if (gSmoke && smoke == nullptr) args.push_back(minTime);
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
