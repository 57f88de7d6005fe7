#pragma once
// The device simulator as a child process, for the tests of the real windows: started with a
// device (and optionally a printer) on pseudo-terminals, driven through its control channel.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tandrel::console::testing {

class TSimulator {
  public:
    // Starts tandrel-sim with the links under folder and the extra options; waits for "ready".
    TSimulator(const std::filesystem::path& folder, std::vector<std::string> options,
               bool printer = false)
        : device_(folder / "device"), printer_(folder / "printer"), labels_(folder / "labels") {
        std::filesystem::create_directories(labels_);
        std::vector<std::string> args = {TANDREL_SIM, "--device-link", device_.string()};
        if (printer) {
            args.insert(args.end(),
                        {"--printer-link", printer_.string(), "--labels-dir", labels_.string()});
        }
        args.insert(args.end(), options.begin(), options.end());
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[1]);
            close(out[0]);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        control_ = in[1];
        answers_ = out[0];
        readyLine_ = ReadLine(std::chrono::seconds(10));
        ready_ = readyLine_.rfind("ready", 0) == 0;
    }
    ~TSimulator() {
        if (pid_ <= 0) return;
        close(control_);
        kill(pid_, SIGTERM);
        // A simulator stuck writing to a line nobody reads is not waited for long.
        for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(20000);
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(answers_);
    }
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    bool Ready() const { return ready_; }
    // "printer-tcp=" and on of the ready line (with the option --printer-tcp); "" without.
    std::string NetworkPrinter() const {
        const auto at = readyLine_.find("printer-tcp=");
        return at == std::string::npos ? std::string() : readyLine_.substr(at + 12);
    }
    std::string Device() const { return device_.string(); }
    std::string Printer() const { return printer_.string(); }
    const std::filesystem::path& Labels() const { return labels_; }

    // Sends a control command and returns its answer line.
    std::string Command(const std::string& line) {
        const std::string text = line + "\n";
        if (write(control_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return {};
        return ReadLine(std::chrono::seconds(5));
    }

    // A number of the state line (" moves=2", " target=1234"), -1 when it has none.
    long long StateValue(const std::string& name) {
        const std::string state = Command("state");
        const auto at = state.find(" " + name + "=");
        return at == std::string::npos ? -1 : std::atoll(state.c_str() + at + name.size() + 2);
    }

  private:
    std::string ReadLine(std::chrono::milliseconds limit) {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            pollfd fd{answers_, POLLIN, 0};
            if (poll(&fd, 1, 50) <= 0) continue;
            char c = 0;
            if (read(answers_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

    std::filesystem::path device_, printer_, labels_;
    pid_t pid_ = -1;
    int control_ = -1;
    int answers_ = -1;
    bool ready_ = false;
    std::string readyLine_;
};

}  // namespace tandrel::console::testing
