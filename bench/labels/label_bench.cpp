// The time from a step's label call to the label's last byte at the printer, as the simulator's
// byte log stamps it (the same monotonic clock), and to the label's confirmed end (the printer's
// close, its answer after the label, the queue's job done): a serial printer on a
// pseudo-terminal and a network printer on 127.0.0.1, each with and without the state question
// ("~HS"), and a CUPS queue (a private cupsd) that sends to the same network printer. Prints the
// median and the 99th percentile of each.
// TANDREL_BENCH_SMOKE=1: five labels a case instead of two hundred.

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
#include "simulator.h"
#include "support/private_cupsd.h"

namespace {

namespace fs = std::filesystem;
using namespace tandrel;

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// The stamp of the last byte the printer has received so far.
std::int64_t LastPrinterByteUs(const fs::path& log) {
    std::ifstream in(log, std::ios::binary);
    std::string line, last;
    while (std::getline(in, line))
        if (line.find(" prn< ") != std::string::npos) last = line;
    return last.empty() ? -1 : std::atoll(last.c_str());
}

void PrintSpread(const char* what, const char* printer, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s, %s: median %.2f ms, 99th percentile %.2f ms over %zu labels\n", what, printer,
                ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.size());
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
        console::testing::TSimulator sim(
            dir, {"--printer-tcp", "0", "--log", (dir / "line.log").string()}, true);
        if (sim.NetworkPrinter().empty()) {
            std::puts("simulator did not start");
            return 1;
        }
        const std::string tcp = sim.NetworkPrinter();
        testing::PrivateCupsd cupsd(
            dir / "cups", "Label",
            static_cast<std::uint16_t>(std::stoi(tcp.substr(tcp.rfind(':') + 1))));
        if (!cupsd.Ready()) {
            std::puts("cupsd did not start");
            return 1;
        }
        cupsd.UseHere();
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
            {"serial", sim.Printer(), false},
            {"serial, state asked", sim.Printer(), true},
            {"network", sim.NetworkPrinter(), false},
            {"network, state asked", sim.NetworkPrinter(), true},
            {"CUPS queue", "printer:Label", false},
        };
        for (const auto& c : cases) {
            std::vector<double> ms, confirmed;
            for (int round = 0; round < rounds; ++round) {
                const std::int64_t start = NowUs();
                const labels::TPrintOutcome outcome =
                    labels::PrintLabel(port, {true, c.name, c.ask}, lines, "", row, 1);
                confirmed.push_back((NowUs() - start) / 1000.0);
                if (outcome.Failed()) {
                    std::printf("%s: label %d failed: %s\n", c.what, round + 1,
                                outcome.Failure().c_str());
                    status = 1;
                    break;
                }
                char name[32];
                std::snprintf(name, sizeof name, "label-%04d.zpl", ++saved);
                const fs::path label = dir / "labels" / name;
                for (int i = 0; i < 10000 && !fs::exists(label); ++i)
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
            PrintSpread("Step to the label's last byte", c.what, ms);
            PrintSpread("Step to the label's confirmed end", c.what, confirmed);
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return status;
}
