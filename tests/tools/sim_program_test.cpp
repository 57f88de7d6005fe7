// The simulator program over real pseudo-terminals, driven as the program would drive it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/cp1251.h"
#include "labels/label.h"
#include "labels/printer.h"
#include "link/protocol.h"
#include "serial/BCPort.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using tandrel::testing::TempDir;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// tandrel-sim as a child with its control channel on pipes; killed if a test leaves it.
class Sim {
  public:
    explicit Sim(std::vector<std::string> args) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0) {
            signal(SIGINT, SIG_IGN);  // as a shell starts a background job
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]), close(in[1]), close(out[0]), close(out[1]);
            std::vector<char*> argv{const_cast<char*>(TANDREL_SIM)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(TANDREL_SIM, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toSim_ = in[1];
        fromSim_ = out[0];
    }
    ~Sim() {
        if (toSim_ >= 0) close(toSim_);
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(fromSim_);
    }

    std::string ReadLine(std::chrono::milliseconds timeout = 5s) {
        auto until = Clock::now() + timeout;
        for (;;) {
            if (auto end = lines_.find('\n'); end != std::string::npos) {
                std::string line = lines_.substr(0, end);
                lines_.erase(0, end + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd p{fromSim_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
            char buffer[512];
            ssize_t got = read(fromSim_, buffer, sizeof buffer);
            if (got <= 0) return {};
            lines_.append(buffer, static_cast<std::size_t>(got));
        }
    }
    std::string Command(const std::string& line) {
        std::string text = line + "\n";
        EXPECT_EQ(write(toSim_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        return ReadLine();
    }
    void Send(const std::string& text) {
        EXPECT_EQ(write(toSim_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    void CloseInput() {
        close(toSim_);
        toSim_ = -1;
    }
    // The exit status, or -1 when it has not ended within the time.
    int WaitExit(std::chrono::milliseconds timeout = 5s) {
        auto until = Clock::now() + timeout;
        while (Clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(5ms);
        }
        return -1;
    }
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int toSim_ = -1;
    int fromSim_ = -1;
    bool exited_ = false;
    std::string lines_;
};

// The program's side of a line: raw, 9600 8N1.
class Port {
  public:
    explicit Port(const fs::path& path)
        : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd_ < 0) return;
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Port() {
        if (fd_ >= 0) close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }
    // The serial component takes a port for itself like this.
    void TakeExclusively() { ioctl(fd_, TIOCEXCL); }
    bool Exclusive() const {
        int exclusive = 0;
        ioctl(fd_, TIOCGEXCL, &exclusive);
        return exclusive != 0;
    }
    // -1 with errno on failure.
    ssize_t Write(const std::string& text) { return write(fd_, text.data(), text.size()); }
    // Reads until the text read so far ends with `end`, or the time is up.
    std::string ReadUntil(const std::string& end, std::chrono::milliseconds timeout = 3s) {
        std::string got;
        auto until = Clock::now() + timeout;
        while (Clock::now() < until) {
            if (got.size() >= end.size() &&
                got.compare(got.size() - end.size(), end.size(), end) == 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 10) <= 0) continue;
            char c;
            if (read(fd_, &c, 1) == 1) got += c;
        }
        return got;
    }
    // The reply of one request, with the pings around it left out.
    std::string Ask(char request) {
        Write(std::string(1, request));
        std::string got = ReadUntil("_");
        got.erase(std::remove(got.begin(), got.end(), 'P'), got.end());
        return got;
    }

  private:
    int fd_;
};

std::vector<std::string> Base(const TempDir& dir) {
    return {"--device-link", (dir.Path() / "dev").string(),
            "--ping-ms",     "20",
            "--min",         "200",
            "--max",         "3050",
            "--precision",   "1",
            "--start",       "1000",
            "--speed",       "2000",
            "--log",         (dir.Path() / "log.txt").string()};
}

TEST(SimProgram, HandshakeAndTravelOverAPty) {
    TempDir dir;
    Sim sim(Base(dir));
    ASSERT_EQ(sim.ReadLine(), "ready device=" + (dir.Path() / "dev").string() + " printer=-");
    Port port(dir.Path() / "dev");
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.ReadUntil("P"), "P");
    std::string transcript;
    for (char request : std::string("NMBDVTS")) transcript += port.Ask(request);
    EXPECT_EQ(transcript, "N100001_M200.0_B3050.0_D1_V3_T1000.0_S0_");

    port.Write(tandrel::protocol::TypedMove("2500.5"));
    std::string seen;
    for (auto until = Clock::now() + 5s; Clock::now() < until && seen != "T2500.5_";) {
        port.ReadUntil("P");
        seen = port.Ask('T');
    }
    EXPECT_EQ(seen, "T2500.5_");
    std::string state = sim.Command("state");
    EXPECT_EQ(state.rfind("ok position=2500.5 target=2500.5 entry=- moving=0 N=1 M=1", 0), 0u)
        << state;
    EXPECT_NE(state.find(" moves=1 "), std::string::npos);
    EXPECT_NE(state.find(" link=connected"), std::string::npos);

    EXPECT_EQ(sim.Command("keys 305#"), "ok entry=-");
    std::string keys = port.ReadUntil("#");
    keys.erase(std::remove(keys.begin(), keys.end(), 'P'), keys.end());
    EXPECT_EQ(keys, "305#");

    // Both directions are in the log, stamped in order.
    std::istringstream log(ReadFile(dir.Path() / "log.txt"));
    long long previous = 0, stamp = 0;
    std::string direction, hex, shown;
    int in = 0, out = 0;
    while (log >> stamp >> direction >> hex >> shown) {
        EXPECT_GE(stamp, previous);
        previous = stamp;
        (direction == "dev<" ? in : out) += 1;
    }
    EXPECT_GE(in, 7 + 12);  // the requests and the move string at least
    EXPECT_GE(out, 40);
}

TEST(SimProgram, WaitsForThePortToBeOpenedAgain) {
    TempDir dir;
    Sim sim(Base(dir));
    ASSERT_NE(sim.ReadLine(), "");
    std::this_thread::sleep_for(100ms);  // pings while nobody listens are lost, not queued
    {
        Port port(dir.Path() / "dev");
        port.TakeExclusively();
        EXPECT_EQ(port.ReadUntil("P"), "P");
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_NE(sim.Command("state").find("link=waiting"), std::string::npos);
    Port again(dir.Path() / "dev");
    ASSERT_TRUE(again.IsOpen());
    // A fresh line, as a real port is at every open: one left locked would refuse anyone
    // without privileges.
    EXPECT_FALSE(again.Exclusive());
    EXPECT_EQ(again.Ask('N'), "N100001_");
}

TEST(SimProgram, DropFailsTheOtherSideAndComesBackAtTheSamePath) {
    TempDir dir;
    Sim sim(Base(dir));
    ASSERT_NE(sim.ReadLine(), "");
    Port port(dir.Path() / "dev");
    ASSERT_EQ(port.ReadUntil("P"), "P");
    EXPECT_EQ(sim.Command("drop 300"), "ok drop 300");
    errno = 0;
    EXPECT_EQ(port.Write("T"), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_FALSE(Port(dir.Path() / "dev").IsOpen()) << "the link is gone while dropped";
    EXPECT_NE(sim.Command("state").find("link=dropped"), std::string::npos);
    std::this_thread::sleep_for(400ms);
    Port back(dir.Path() / "dev");
    ASSERT_TRUE(back.IsOpen());
    EXPECT_EQ(back.ReadUntil("P"), "P");
    EXPECT_EQ(back.Ask('T'), "T1000.0_");
}

TEST(SimProgram, KeepsRunningWhenItsPathIsTakenDuringADrop) {
    TempDir dir;
    Sim sim(Base(dir));
    ASSERT_NE(sim.ReadLine(), "");
    EXPECT_EQ(sim.Command("drop 200"), "ok drop 200");
    std::ofstream(dir.Path() / "dev") << "squatter";
    std::this_thread::sleep_for(300ms);  // its first try to come back has failed
    EXPECT_EQ(ReadFile(dir.Path() / "dev"), "squatter");
    EXPECT_NE(sim.Command("state").find("link=dropped"), std::string::npos);
    fs::remove(dir.Path() / "dev");
    std::this_thread::sleep_for(1200ms);
    Port back(dir.Path() / "dev");
    ASSERT_TRUE(back.IsOpen());
    EXPECT_EQ(back.Ask('N'), "N100001_");
}

TEST(SimProgram, FaultsReachTheLine) {
    TempDir dir;
    Sim sim(Base(dir));
    ASSERT_NE(sim.ReadLine(), "");
    Port port(dir.Path() / "dev");
    ASSERT_EQ(port.ReadUntil("P"), "P");
    EXPECT_EQ(sim.Command("malformed D"), "ok malformed D");
    EXPECT_EQ(port.Ask('D'), "D1.5_");
    EXPECT_EQ(port.Ask('D'), "D1_");
    EXPECT_EQ(sim.Command("silent on"), "ok silent on");
    port.ReadUntil("never", 50ms);  // whatever was on its way
    port.Write("N");
    EXPECT_EQ(port.ReadUntil("never", 200ms), "");
    EXPECT_EQ(sim.Command("silent off"), "ok silent off");
    EXPECT_EQ(sim.Command("noise 50"), "ok noise 50");
    EXPECT_GE(port.ReadUntil("never", 300ms).size(), 50u);
}

TEST(SimProgram, PacedOutputTakesAboutAMillisecondACharacter) {
    TempDir dir;
    auto args = Base(dir);
    args.push_back("--pace");
    Sim sim(args);
    ASSERT_NE(sim.ReadLine(), "");
    Port port(dir.Path() / "dev");
    EXPECT_EQ(port.Ask('N'), "N100001_");
    sim.Command("quit");
    std::istringstream log(ReadFile(dir.Path() / "log.txt"));
    long long stamp = 0, previous = -1;
    std::string direction, hex, shown;
    while (log >> stamp >> direction >> hex >> shown) {
        if (direction != "dev>") continue;
        if (previous >= 0) {
            EXPECT_GE(stamp - previous, 900);
        }
        previous = stamp;
    }
}

TEST(SimProgram, PrinterSavesEachLabelWhole) {
    TempDir dir;
    fs::create_directories(dir.Path() / "labels");
    std::ofstream(dir.Path() / "labels" / "label-0007.zpl") << "earlier run";
    Sim sim({"--printer-link", (dir.Path() / "prn").string(), "--labels-dir",
             (dir.Path() / "labels").string()});
    ASSERT_EQ(sim.ReadLine(), "ready device=- printer=" + (dir.Path() / "prn").string());
    const std::string first =
        "^XA\r\n^PW360\r\n^FO10,00\r\n^ASN,70,70\r\n^FD\xD2\xE5\xF1\xF2^FS\r\n^XZ";
    for (int label = 0; label < 2; ++label) {  // the program opens the port for every label
        std::this_thread::sleep_for(50ms);     // it prints one for each row, never faster
        Port printer(dir.Path() / "prn");
        ASSERT_TRUE(printer.IsOpen());
        EXPECT_FALSE(printer.Exclusive());
        printer.TakeExclusively();
        if (label == 0) {
            printer.Write(first.substr(0, 10));
            std::this_thread::sleep_for(20ms);
            printer.Write(first.substr(10));
        } else {
            printer.Write("^XA^FDsecond^FS^XZ");
        }
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_NE(sim.Command("state").find("labels=2"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.Path() / "labels" / "label-0008.zpl"), first);
    EXPECT_EQ(ReadFile(dir.Path() / "labels" / "label-0009.zpl"), "^XA^FDsecond^FS^XZ");
    EXPECT_EQ(ReadFile(dir.Path() / "labels" / "label-0007.zpl"), "earlier run");
}

// Labels printed one right after another, as an operator working a list at speed does: the
// program opens the port anew for each, often while the last one's pty is being replaced.
TEST(SimProgram, PrinterTakesEveryLabelOfAQuickRun) {
    TempDir dir;
    Sim sim({"--printer-link", (dir.Path() / "prn").string(), "--labels-dir",
             (dir.Path() / "labels").string()});
    ASSERT_EQ(sim.ReadLine(), "ready device=- printer=" + (dir.Path() / "prn").string());
    auto saved = [&sim](int count) {
        const std::string want = "labels=" + std::to_string(count) + " ";
        const auto end = std::chrono::steady_clock::now() + 2s;
        for (;;) {
            if (sim.Command("state").find(want) != std::string::npos) return true;
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(1ms);
        }
    };
    for (int label = 1; label <= 150; ++label) {
        {
            Port printer(dir.Path() / "prn");
            ASSERT_TRUE(printer.IsOpen());
            printer.Write("^XA^FD" + std::to_string(label) + "^FS^XZ");
        }
        ASSERT_TRUE(saved(label)) << "label " << label << " lost";
    }
}

// A Cyrillic row printed by the program's own printer code: through a ^CI28 template the
// printer receives UTF-8, through any other template the Windows-1251 bytes as they are; the
// simulator records which and draws each label.
TEST(SimProgram, PrinterRecordsEachLabelsEncoding) {
    using namespace tandrel;
    TempDir dir;
    Sim sim({"--printer-link", (dir.Path() / "prn").string(), "--labels-dir",
             (dir.Path() / "labels").string()});
    ASSERT_EQ(sim.ReadLine(), "ready device=- printer=" + (dir.Path() / "prn").string());
    serial::TBComPort port;
    labels::ConfigureLabelPort(port);
    const labels::TPrintSettings settings{true, (dir.Path() / "prn").string(), {}};
    job::SizeRow row;
    row.Fields = {"Рама левая"_cp1251, "2100", "", "", "", ""};
    const struct {
        std::vector<std::string> lines;
        std::string received;
        const char* encoding;
    } cases[] = {
        {{"^XA^CI28^PW400", "^FO10,10^A0N,40,30^FDИзделие: <E1> <E2>^FS"_cp1251, "^XZ"},
         "^XA^CI28^PW400^FO10,10^A0N,40,30^FDИзделие: Рама левая 2100^FS^XZ",
         "utf-8"},
        {{"^XA^PW400", "^FO10,10^A0N,40,30^FD<E1>^FS", "^XZ"},
         "^XA^PW400^FO10,10^A0N,40,30^FD"s + "Рама левая"_cp1251 + "^FS^XZ",
         "windows-1251"},
    };
    std::string records;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        std::this_thread::sleep_for(50ms);  // one label a row, never faster
        EXPECT_EQ(labels::PrintLabel(port, settings, cases[i].lines, "", row, 2).Failure(), "");
        records += "label-000" + std::to_string(i + 1) + ".zpl " + cases[i].encoding + "\n";
        const std::string name = "label-000" + std::to_string(i + 1);
        const auto until = Clock::now() + 3s;
        while ((ReadFile(dir.Path() / "labels" / "labels.txt") != records ||
                !fs::exists(dir.Path() / "labels" / (name + ".png"))) &&
               Clock::now() < until)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(ReadFile(dir.Path() / "labels" / (name + ".zpl")), cases[i].received) << name;
        EXPECT_EQ(ReadFile(dir.Path() / "labels" / (name + ".png")).substr(0, 4), "\x89PNG")
            << name;
    }
    EXPECT_EQ(ReadFile(dir.Path() / "labels" / "labels.txt"), records);
    EXPECT_NE(sim.Command("state").find(" labels=2 utf8=1"), std::string::npos);
}

// The program's printer code against the simulator's network and serial printer in each state:
// a label held back names why, a paused printer still gets it, and the simulator saves labels
// alike whichever way they came.
TEST(SimProgram, PrinterStateDecidesWhetherTheLabelGoesOut) {
    using namespace tandrel;
    TempDir dir;
    Sim sim({"--printer-link", (dir.Path() / "prn").string(), "--printer-tcp", "0", "--labels-dir",
             (dir.Path() / "labels").string()});
    const std::string ready = sim.ReadLine();
    const auto at = ready.find("printer-tcp=");
    ASSERT_NE(at, std::string::npos) << ready;
    const std::string network = ready.substr(at + std::string("printer-tcp=").size());
    serial::TBComPort port;
    labels::ConfigureLabelPort(port);
    job::SizeRow row;
    row.Caption = "Профиль ^XZ"_cp1251;
    const struct {
        const char* state;
        bool serial;
        const char* failure;  // UTF-8; "" when the label goes out
        const char* notice;
    } cases[] = {
        {"ready", false, "", ""},
        {"paper", false, "Этикетка не напечатана: принтер: нет бумаги", ""},
        {"head", false, "Этикетка не напечатана: принтер: открыта головка", ""},
        {"silent", false, "Этикетка не напечатана: принтер не отвечает", ""},
        {"pause", false, "", "Принтер на паузе"},
        {"paper", true, "Этикетка не напечатана: принтер: нет бумаги", ""},
        {"ready", true, "", ""},
    };
    int saved = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(sim.Command("printer "s + c.state), "ok printer "s + c.state);
        std::this_thread::sleep_for(50ms);  // one label a row, never faster
        const labels::TPrintSettings settings{
            true, c.serial ? (dir.Path() / "prn").string() : network, true};
        const labels::TPrintOutcome outcome = labels::PrintLabel(port, settings, {}, "", row, 0);
        EXPECT_EQ(Cp1251ToUtf8(outcome.Failure()), c.failure) << c.state << c.serial;
        EXPECT_EQ(Cp1251ToUtf8(outcome.Notice), c.notice) << c.state << c.serial;
        if (outcome.Failed()) continue;
        const fs::path label =
            dir.Path() / "labels" / ("label-000" + std::to_string(++saved) + ".zpl");
        const auto until = Clock::now() + 3s;
        while (!fs::exists(label) && Clock::now() < until) std::this_thread::sleep_for(10ms);
        EXPECT_EQ(ReadFile(label), "^XA^PW360^FO0,0^FB320,7,0,L,0^ASN,36,30^FH^FD"s +
                                       "Профиль _5EXZ"_cp1251 + "^FS^XZ")
            << c.state << c.serial;
    }
    EXPECT_NE(sim.Command("state").find(" labels=3 "), std::string::npos);
}

TEST(SimProgram, EndsCleanlyAndRemovesItsLinks) {
    for (int how = 0; how < 4; ++how) {
        TempDir dir;
        auto args = Base(dir);
        args.insert(args.end(), {"--printer-link", (dir.Path() / "prn").string(), "--labels-dir",
                                 (dir.Path() / "labels").string()});
        Sim sim(args);
        ASSERT_NE(sim.ReadLine(), "");
        EXPECT_TRUE(fs::is_symlink(dir.Path() / "dev"));
        EXPECT_TRUE(fs::is_symlink(dir.Path() / "prn"));
        Port connected(dir.Path() / "dev");
        if (how == 0) {
            sim.Send("state");  // a last line without its end is still a command
            sim.CloseInput();
            EXPECT_EQ(sim.ReadLine().rfind("ok position=", 0), 0u);
        }
        if (how == 1) kill(sim.Pid(), SIGTERM);
        if (how == 2) kill(sim.Pid(), SIGINT);
        if (how == 3) kill(sim.Pid(), SIGHUP);
        EXPECT_EQ(sim.WaitExit(), 0) << how;
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path() / "dev"))) << how;
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir.Path() / "prn"))) << how;
    }
}

TEST(SimProgram, PlaysTheDeviceOnAnExistingSerialPort) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    std::string name = ttyname(slave);
    close(slave);
    Sim sim({"--device-port", name, "--ping-ms", "20"});
    ASSERT_EQ(sim.ReadLine(), "ready device=" + name + " printer=-");
    std::string got;
    for (auto until = Clock::now() + 3s;
         Clock::now() < until && got.find('P') == std::string::npos;) {
        pollfd p{master, POLLIN, 0};
        char c;
        if (poll(&p, 1, 10) > 0 && read(master, &c, 1) == 1) got += c;
    }
    EXPECT_NE(got.find('P'), std::string::npos);
    EXPECT_EQ(sim.Command("drop 10"), "error drop needs --device-link");
    sim.CloseInput();
    EXPECT_EQ(sim.WaitExit(), 0);
    close(master);
}

TEST(SimProgram, RefusesToReplaceAFileThatIsNotALink) {
    TempDir dir;
    std::ofstream(dir.Path() / "dev") << "keep me";
    Sim sim({"--device-link", (dir.Path() / "dev").string()});
    EXPECT_EQ(sim.WaitExit(), 1);
    EXPECT_EQ(ReadFile(dir.Path() / "dev"), "keep me");
    Sim bad({"--precision", "3"});
    EXPECT_EQ(bad.WaitExit(), 2);
}

}  // namespace
