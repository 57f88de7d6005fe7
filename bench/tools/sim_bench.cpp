// What the simulator costs on the line: the model's own work, and a request's round trip
// through the program over a pseudo-terminal, with and without pacing.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "link/protocol.h"
#include "sim/device_model.h"

namespace {

using tandrel::sim::DeviceModel;

void BM_ModelHandshake(benchmark::State& state) {
    DeviceModel device({}, {}, 1, 0);
    std::int64_t now = 0;
    for (auto _ : state) {
        device.Receive("NMBDVTS", now += 1000);
        benchmark::DoNotOptimize(device.TakeOutput());
    }
}
BENCHMARK(BM_ModelHandshake);

void BM_ModelMoveAndReport(benchmark::State& state) {
    DeviceModel device({}, {}, 1, 0);
    std::string move = tandrel::protocol::TypedMove("1234.5");
    std::int64_t now = 0;
    for (auto _ : state) {
        device.Receive(move, now += 1000);
        device.Receive("T", now);
        benchmark::DoNotOptimize(device.TakeOutput());
    }
}
BENCHMARK(BM_ModelMoveAndReport);

// One "T" and its reply through tandrel-sim over a pty; arg 1 paces the simulator's output.
void BM_PtyRoundTrip(benchmark::State& state) {
    char dirName[] = "/tmp/tandrel-bench-XXXXXX";
    std::filesystem::path dir = mkdtemp(dirName);
    std::string link = (dir / "dev").string();
    int control[2];
    if (pipe(control) != 0) return state.SkipWithError("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        dup2(control[0], 0);
        close(control[1]);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        if (state.range(0))
            execl(TANDREL_SIM, TANDREL_SIM, "--device-link", link.c_str(), "--ping-ms", "3600000",
                  "--pace", nullptr);
        else
            execl(TANDREL_SIM, TANDREL_SIM, "--device-link", link.c_str(), "--ping-ms", "3600000",
                  nullptr);
        _exit(127);
    }
    close(control[0]);
    while (!std::filesystem::is_symlink(link))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // it notices the peer
    for (auto _ : state) {
        if (write(fd, "T", 1) != 1) return state.SkipWithError("write");
        char c = 0;
        while (c != '_') {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 2000) <= 0 || read(fd, &c, 1) != 1) return state.SkipWithError("read");
        }
    }
    close(fd);
    close(control[1]);  // end of input ends it
    waitpid(pid, nullptr, 0);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_PtyRoundTrip)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
