// The time from a step's label call to the label's last byte at the printer, as the simulator's
// byte log stamps it (the same monotonic clock): a serial printer on a pseudo-terminal and a
// network printer on 127.0.0.1, each with and without the state question ("~HS"). Prints the
// median and the 99th percentile of each.
// TANDREL_BENCH_SMOKE=1: five labels a case instead of two hundred.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "labels/label.h"
#include "labels/printer.h"
#include "serial/BCPort.h"

namespace {

namespace fs = std::filesystem;
using namespace tandrel;

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// tandrel-sim with a printer on a pty and on TCP; ended at the close.
class Simulator {
  public:
    explicit Simulator(const fs::path& dir) {
        // Its control channel stays open while it runs: at its end the simulator quits.
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        const std::string link = (dir / "printer").string(), labels = (dir / "labels").string(),
                          log = (dir / "line.log").string();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            execl(TANDREL_SIM, TANDREL_SIM, "--printer-link", link.c_str(), "--printer-tcp", "0",
                  "--labels-dir", labels.c_str(), "--log", log.c_str(), nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        control_ = in[1];
        std::string ready;
        char c = 0;
        pollfd p{out[0], POLLIN, 0};
        while (ready.size() < 1000 && poll(&p, 1, 10000) > 0 && read(out[0], &c, 1) == 1 &&
               c != '\n')
            ready += c;
        close(out[0]);
        const auto at = ready.find("printer-tcp=");
        if (at != std::string::npos) network_ = ready.substr(at + 12);
    }
    ~Simulator() {
        if (pid_ <= 0) return;
        close(control_);
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    const std::string& Network() const { return network_; }

  private:
    pid_t pid_ = -1;
    int control_ = -1;
    std::string network_;
};

// The stamp of the last byte the printer has received so far.
std::int64_t LastPrinterByteUs(const fs::path& log) {
    std::ifstream in(log, std::ios::binary);
    std::string line, last;
    while (std::getline(in, line))
        if (line.find(" prn< ") != std::string::npos) last = line;
    return last.empty() ? -1 : std::atoll(last.c_str());
}

}  // namespace

int main() {
    const bool smoke = std::getenv("TANDREL_BENCH_SMOKE") != nullptr;
    const int rounds = smoke ? 5 : 200;
    const fs::path dir =
        fs::temp_directory_path() / ("tandrel-label-bench-" + std::to_string(getpid()));
    fs::create_directories(dir / "labels");
    int status = 0;
    {
        Simulator sim(dir);
        if (sim.Network().empty()) {
            std::puts("simulator did not start");
            return 1;
        }
        serial::TBComPort port;
        labels::ConfigureLabelPort(port);
        const std::vector<std::string> lines = labels::SplitTemplateLines(labels::kDefaultTemplate);
        job::SizeRow row;
        row.Fields[0] = "1234";
        int saved = 0;
        const struct {
            const char* what;
            std::string name;
            bool ask;
        } cases[] = {
            {"serial", (dir / "printer").string(), false},
            {"serial, state asked", (dir / "printer").string(), true},
            {"network", sim.Network(), false},
            {"network, state asked", sim.Network(), true},
        };
        for (const auto& c : cases) {
            std::vector<double> ms;
            for (int round = 0; round < rounds; ++round) {
                const std::int64_t start = NowUs();
                const labels::TPrintOutcome outcome =
                    labels::PrintLabel(port, {true, c.name, c.ask}, lines, "", row, 1);
                if (!outcome.Failure.empty()) {
                    std::printf("%s: label %d failed: %s\n", c.what, round + 1,
                                outcome.Failure.c_str());
                    status = 1;
                    break;
                }
                char name[32];
                std::snprintf(name, sizeof name, "label-%04d.zpl", ++saved);
                const fs::path label = dir / "labels" / name;
                for (int i = 0; i < 2000 && !fs::exists(label); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                const std::int64_t last = LastPrinterByteUs(dir / "line.log");
                if (!fs::exists(label) || last < start) {
                    std::printf("%s: label %d not at the printer\n", c.what, round + 1);
                    status = 1;
                    break;
                }
                ms.push_back((last - start) / 1000.0);
                // The simulator renews its pty after each session: one label a row, as a step.
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            if (ms.empty()) continue;
            std::sort(ms.begin(), ms.end());
            std::printf(
                "Step to the label's last byte, %s: median %.2f ms, 99th percentile %.2f ms "
                "over %zu labels\n",
                c.what, ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)],
                ms.size());
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
