// tandrel-sim: the device and the label printer on pseudo-terminals, a control channel on
// standard input. See HelpText() in options.cpp.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "sim/byte_log.h"
#include "sim/control.h"
#include "sim/device_model.h"
#include "sim/label_collector.h"
#include "sim/label_picture.h"
#include "sim/label_store.h"
#include "sim/options.h"
#include "sim/printer_model.h"
#include "sim/pty_link.h"
#include "sim/tcp_printer.h"

namespace tandrel::sim {
namespace {

constexpr std::int64_t kPaceUs = 1000;        // one character at 9600 baud, roughly
constexpr std::int64_t kPeerCheckUs = 20000;  // how often a hung-up pty is looked at again
constexpr std::int64_t kRetryUs = 1'000'000;
constexpr std::int64_t kRetiredUs = 2'000'000;  // how long a replaced printer pty is still read

std::int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// One of the simulator's lines and whether someone has its far end open.
struct Line {
    std::string link;  // the symlink of a pty; empty for an existing device
    std::optional<SerialEnd> end;
    bool connected = false;
    bool used = false;  // someone has opened it since it was made
    std::int64_t nextCheckUs = 0;
    // Replaced ptys, still read for a while (the printer only): a peer that took the path just
    // before it was replaced writes there, and the program opens the printer anew for every
    // label, often within moments of the last one.
    bool keepsRetired = false;
    struct Retired {
        SerialEnd end;
        std::int64_t untilUs;
    };
    std::deque<Retired> retired;

    bool Up() const { return end && connected; }

    // Looks at a line nobody was known to be on; true when bytes wait to be read. A peer may
    // open, write and close between two looks (the program does so for every label): its bytes
    // are still read, and the pty is then renewed like after any other session.
    bool CheckPeer(std::int64_t now) {
        if (!end || connected || now < nextCheckUs) return false;
        nextCheckUs = now + kPeerCheckUs;
        SerialEnd::Peek peek = end->PeekNow();
        connected = !peek.hungUp;
        used = used || connected || peek.readable;
        if (peek.hungUp && !peek.readable && used) Lost(now);
        return peek.readable;
    }

    // The peer closed its end. A pty is replaced by a fresh one at the same symlink: a closed
    // pty keeps its settings and its exclusive-use flag while we hold the master, so a peer
    // that locked it could not open it again without privileges, and a real port is fresh at
    // every open. A peer that opens again within the moment it takes us to see the hang-up
    // still gets the old one.
    void Lost(std::int64_t now) {
        connected = false;
        used = false;
        nextCheckUs = now + kPeerCheckUs;
        if (link.empty() || !end) return;
        try {
            SerialEnd fresh = SerialEnd::CreatePty(link);
            // The old one leaves the symlink, which now names the fresh pty.
            if (keepsRetired) retired.push_back({std::move(*end), now + kRetiredUs});
            end.reset();
            end.emplace(std::move(fresh));
        } catch (const std::system_error& e) {
            std::fprintf(stderr, "tandrel-sim: %s not renewed: %s\n", link.c_str(), e.what());
        }
    }
};

class Simulator {
  public:
    explicit Simulator(const SimOptions& options)
        : options_(options), model_(options.identity, options.timing, options.seed, NowUs()) {
        if (!options.logFile.empty()) log_ = std::make_unique<ByteLog>(options.logFile);
        device_.link = options.deviceLink;
        OpenDevice();
        if (!options.printerLink.empty() || options.printerTcpPort >= 0) {
            store_.emplace(options.labelsDir);
            PrepareLabelPictures();  // before the line exists, so no label waits for it
        }
        if (options.printerTcpPort >= 0)
            tcp_.emplace(static_cast<std::uint16_t>(options.printerTcpPort));
        if (!options.printerLink.empty()) {
            printer_.link = options.printerLink;
            printer_.keepsRetired = true;
            printer_.end.emplace(SerialEnd::CreatePty(options.printerLink));
        }
        // Blocked, they queue for the signalfd even where a shell started us with SIGINT
        // ignored; the terminal going away ends us like SIGTERM does.
        sigset_t signals;
        sigemptyset(&signals);
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
        sigprocmask(SIG_BLOCK, &signals, nullptr);
        signals_ = Fd(signalfd(-1, &signals, SFD_CLOEXEC));
        if (!signals_) throw std::system_error(errno, std::generic_category(), "signalfd");
    }

    int Run() {
        Say("ready device=" + DeviceName() +
            " printer=" + (options_.printerLink.empty() ? "-" : options_.printerLink) +
            (tcp_ ? " printer-tcp=127.0.0.1:" + std::to_string(tcp_->Port()) : std::string()));
        while (!quit_) Step();
        return 0;
    }

  private:
    std::string DeviceName() const {
        if (!options_.deviceLink.empty()) return options_.deviceLink;
        return options_.devicePort.empty() ? "-" : options_.devicePort;
    }

    void OpenDevice() {
        if (!options_.deviceLink.empty())
            device_.end.emplace(SerialEnd::CreatePty(options_.deviceLink));
        else if (!options_.devicePort.empty())
            device_.end.emplace(SerialEnd::OpenDevice(options_.devicePort));
    }

    void Step() {
        std::int64_t now = NowUs();
        if (!device_.end && reopenAtUs_ && now >= *reopenAtUs_) {
            reopenAtUs_.reset();
            device_.connected = false;
            try {
                OpenDevice();
            } catch (const std::system_error& e) {
                // Someone took the path meanwhile: keep running and try again.
                std::fprintf(stderr, "tandrel-sim: device line not back: %s\n", e.what());
                reopenAtUs_ = now + kRetryUs;
            }
        }
        // Bytes left by a peer that has gone are read on the next pass, until none are left.
        if (device_.CheckPeer(now)) {
            ReadDevice(now);
            device_.nextCheckUs = now;
        }
        if (printer_.CheckPeer(now)) {
            ReadPrinter(now);
            printer_.nextCheckUs = now;
        }
        ReadRetiredPrinters(now);
        model_.Advance(now);
        std::string produced = model_.TakeOutput();
        // Nobody listening: what a real device sends into an unplugged cable is lost.
        if (device_.Up())
            pending_ += produced;
        else
            pending_.clear();
        Flush(now);

        std::int64_t wakeUs = model_.NextPingUs();
        if (reopenAtUs_) wakeUs = std::min(wakeUs, *reopenAtUs_);
        for (const Line* line : {&device_, &printer_})
            if (line->end && !line->connected) wakeUs = std::min(wakeUs, line->nextCheckUs);
        // A hung-up pty polls ready for ever, so the retired ones are looked at on a clock.
        if (!printer_.retired.empty()) wakeUs = std::min(wakeUs, now + kPeerCheckUs);
        if (!pending_.empty() && options_.pace) wakeUs = std::min(wakeUs, nextCharUs_);
        int timeoutMs = static_cast<int>(std::max<std::int64_t>(0, (wakeUs - now + 999) / 1000));

        std::vector<pollfd> fds(4);
        int n = 0;
        int deviceAt = -1, printerAt = -1, stdinAt = -1;
        fds[n++] = {signals_.Get(), POLLIN, 0};
        if (!stdinClosed_) fds[stdinAt = n++] = {STDIN_FILENO, POLLIN, 0};
        // A hung-up pty polls ready for ever, so a line is watched only while someone is on it.
        if (device_.Up()) {
            short events = POLLIN;
            if (!pending_.empty() && !options_.pace) events |= POLLOUT;
            fds[deviceAt = n++] = {device_.end->Descriptor(), events, 0};
        }
        if (printer_.Up()) fds[printerAt = n++] = {printer_.end->Descriptor(), POLLIN, 0};
        fds.resize(static_cast<std::size_t>(n));
        if (tcp_) tcp_->AddPollFds(fds);
        if (poll(fds.data(), fds.size(), timeoutMs) < 0) {
            if (errno == EINTR) return;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        now = NowUs();
        if (fds[0].revents) quit_ = true;
        if (deviceAt >= 0 && fds[deviceAt].revents) ReadDevice(now);
        if (printerAt >= 0 && fds[printerAt].revents) ReadPrinter(now);
        if (stdinAt >= 0 && fds[stdinAt].revents) ReadControl(now);
        if (tcp_)
            tcp_->Handle(
                fds, static_cast<std::size_t>(n), printerState_,
                [&](const std::string& bytes) {
                    if (log_) log_->Write("prn<", bytes, now);
                },
                [&](const std::string& label) { SaveLabel(label); });
    }

    void Flush(std::int64_t now) {
        if (!device_.Up() || pending_.empty()) return;
        if (options_.pace && now < nextCharUs_) return;
        std::size_t size = options_.pace ? 1 : pending_.size();
        ssize_t written = write(device_.end->Descriptor(), pending_.data(), size);
        if (written > 0) {
            if (log_) log_->Write("dev>", std::string_view(pending_).substr(0, written), now);
            pending_.erase(0, static_cast<std::size_t>(written));
            nextCharUs_ = now + kPaceUs;
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            pending_.clear();
            device_.Lost(now);
        }
    }

    // Reads what is there; false when the peer has gone (EIO on a pty master, once the bytes
    // it wrote before closing have been read).
    bool ReadLine(Line& line, std::string& bytes) {
        char buffer[4096];
        ssize_t got = read(line.end->Descriptor(), buffer, sizeof buffer);
        if (got > 0) {
            bytes.assign(buffer, static_cast<std::size_t>(got));
            return true;
        }
        bytes.clear();
        return got < 0 && (errno == EAGAIN || errno == EINTR);
    }

    void ReadDevice(std::int64_t now) {
        std::string bytes;
        if (!ReadLine(device_, bytes)) {
            pending_.clear();
            device_.Lost(now);
            return;
        }
        if (log_) log_->Write("dev<", bytes, now);
        model_.Receive(bytes, now);
    }

    void ReadPrinter(std::int64_t now) {
        std::string bytes;
        if (!ReadLine(printer_, bytes)) {
            printer_.Lost(now);
            return;
        }
        TakePrinterBytes(bytes, now, true);
    }

    // What a peer wrote into a printer pty since replaced; each is dropped once its time is up
    // and nothing is left in it.
    void ReadRetiredPrinters(std::int64_t now) {
        for (auto& old : printer_.retired) {
            char buffer[4096];
            for (ssize_t got; old.end.PeekNow().readable &&
                              (got = read(old.end.Descriptor(), buffer, sizeof buffer)) > 0;)
                TakePrinterBytes(std::string(buffer, static_cast<std::size_t>(got)), now);
        }
        while (!printer_.retired.empty() && now >= printer_.retired.front().untilUs &&
               !printer_.retired.front().end.PeekNow().readable)
            printer_.retired.pop_front();
    }

    void TakePrinterBytes(const std::string& bytes, std::int64_t now, bool answer = false) {
        if (log_) log_->Write("prn<", bytes, now);
        PrinterSession::Output out = serialSession_.Feed(bytes, printerState_);
        if (answer && !out.reply.empty() && printer_.Up()) {
            const ssize_t sent =
                write(printer_.end->Descriptor(), out.reply.data(), out.reply.size());
            (void)sent;  // a peer that has gone is seen at the next read
        }
        for (const std::string& label : out.labels) SaveLabel(label);
    }

    // Labels are saved alike whichever way they came.
    void SaveLabel(const std::string& label) {
        try {
            const std::filesystem::path saved = store_->Save(label);
            const std::string problem =
                SaveLabelPicture(label, std::filesystem::path(saved).replace_extension(".png"));
            if (!problem.empty())
                std::fprintf(stderr, "tandrel-sim: label picture not saved: %s\n", problem.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "tandrel-sim: label not saved: %s\n", e.what());
        }
    }

    void ReadControl(std::int64_t now) {
        char buffer[4096];
        ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                if (!control_.empty()) Command(control_, now);  // a last line without its end
                control_.clear();
                stdinClosed_ = true;
                quit_ = true;
            }
            return;
        }
        control_.append(buffer, static_cast<std::size_t>(got));
        for (auto end = control_.find('\n'); end != std::string::npos && !quit_;
             end = control_.find('\n')) {
            std::string line = control_.substr(0, end);
            control_.erase(0, end + 1);
            Command(line, now);
        }
        if (control_.size() > 65536) control_.clear();  // no line is that long
    }

    void Command(const std::string& line, std::int64_t now) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) return;
        ControlResult result = ExecuteCommand(line, model_, now);
        if (result.answer.rfind("ok position=", 0) == 0) {
            const char* link = !device_.end ? (reopenAtUs_ ? "dropped" : "none")
                                            : (device_.connected ? "connected" : "waiting");
            result.answer += std::string(" link=") + link +
                             " labels=" + std::to_string(store_ ? store_->Saved() : 0) +
                             " utf8=" + std::to_string(store_ ? store_->SavedUtf8() : 0) +
                             " printer=" + PrinterStateName(printerState_);
        }
        if (result.action == ControlResult::Action::kPrinter) printerState_ = result.printerState;
        if (result.action == ControlResult::Action::kDrop) {
            if (options_.deviceLink.empty()) {
                result.answer = "error drop needs --device-link";
                result.action = ControlResult::Action::kNone;
            } else if (device_.end) {
                device_.end.reset();
                device_.connected = false;
                pending_.clear();
                reopenAtUs_ = now + result.dropMs * 1000;
            }
        }
        Say(result.answer);
        if (result.action == ControlResult::Action::kQuit) quit_ = true;
    }

    const SimOptions& options_;
    DeviceModel model_;
    std::unique_ptr<ByteLog> log_;
    Line device_;
    Line printer_;
    std::optional<LabelStore> store_;
    PrinterSession serialSession_;
    std::optional<TcpPrinter> tcp_;
    PrinterState printerState_ = PrinterState::kReady;
    Fd signals_;
    std::string pending_;
    std::string control_;
    bool stdinClosed_ = false;
    bool quit_ = false;
    std::int64_t nextCharUs_ = 0;
    std::optional<std::int64_t> reopenAtUs_;
};

}  // namespace
}  // namespace tandrel::sim

int main(int argc, char** argv) {
    using namespace tandrel::sim;
    signal(SIGPIPE, SIG_IGN);
    try {
        SimOptions options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.help) {
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        }
        Simulator simulator(options);
        return simulator.Run();
    } catch (const OptionError& e) {
        std::fprintf(stderr, "tandrel-sim: %s (see --help)\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tandrel-sim: %s\n", e.what());
        return 1;
    }
}
