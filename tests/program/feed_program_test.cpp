// Stations, each a copy of the program on its own simulator, publishing to one real broker:
// every journal line arrives in order, none lost across a broker restart, and a killed station
// turns "offline"; a station set up as a plant's IT does (its password through
// "Tandrel --feed-password") logs in, and after a restart sends nothing twice.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <utility>

#include "base/cp1251.h"
#include "console/simulator.h"
#include "support/mqtt_broker.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tandrel::Utf8ToCp1251;
using tandrel::console::testing::TSimulator;
using tandrel::testing::MqttBroker;
using tandrel::testing::MqttSubscriber;

class Station {
  public:
    // settings: more lines of its nastr.dat (UTF-8); password: stored first, as IT does.
    Station(const fs::path& dir, const std::string& nameUtf8, const MqttBroker& broker,
            const std::string& settings = {}, const std::string& password = {})
        : dir_((fs::create_directories(dir), dir)),
          sim_(dir / "sim",
               {"--min", "200", "--max", "3050", "--precision", "0", "--ping-ms", "20"}) {
        fs::copy_file(TANDREL_EXE, dir_ / "Tandrel");
        std::ofstream(dir_ / "nastr.dat", std::ios::binary)
            << "p=" << sim_.Device() << "\r\no=" << broker.Address()
            << "\r\nq=" << Utf8ToCp1251(nameUtf8) << "\r\n"
            << Utf8ToCp1251(settings);
        std::ofstream(dir_ / "plan.txt", std::ios::binary)
            << "1000 A\r\n1200 B\r\n1400 C\r\n1600 D\r\n1800 E\r\n2000 F\r\n";
        if (!password.empty()) stored_ = SetPassword(password + "\n");
        Launch();
    }
    ~Station() { End(SIGKILL); }

    // "Tandrel --feed-password" with input on its standard input: the exit code, and what it
    // said on standard error.
    std::pair<int, std::string> SetPassword(const std::string& input) const {
        const std::string command = "cd '" + dir_.string() + "' && printf '%s' '" + input +
                                    "' | ./Tandrel --feed-password 2>feed-password.err";
        const int status = std::system(command.c_str());
        std::ifstream err(dir_ / "feed-password.err");
        const std::string said((std::istreambuf_iterator<char>(err)), {});
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
    }
    int Stored() const { return stored_.first; }
    void Launch() {
        pid_ = fork();
        if (pid_ == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            if (chdir(dir_.c_str()) != 0) _exit(126);
            execl("./Tandrel", "./Tandrel", "plan.txt", static_cast<char*>(nullptr));
            _exit(127);
        }
    }

    bool Ready() const { return sim_.Ready() && pid_ > 0; }
    // Presses "#" on the device's own keypad: Start, the next row.
    void Step() { sim_.Command("keys #"); }
    // Sends the signal and waits for the end; the exit status.
    int End(int signal) {
        if (pid_ <= 0) return -1;
        kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    fs::path dir_;
    TSimulator sim_;
    pid_t pid_ = -1;
    std::pair<int, std::string> stored_{0, {}};
};

std::vector<std::string> Payloads(const std::vector<std::string>& lines, const std::string& topic) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        if (line.rfind(topic + " ", 0) == 0) out.push_back(line.substr(topic.size() + 1));
    return out;
}

// The rows of the station's pieces, in arrival order.
std::vector<int> Rows(const std::vector<std::string>& lines, const std::string& station) {
    std::vector<int> rows;
    const std::regex row(R"re("row":(\d+))re");
    for (const auto& payload : Payloads(lines, "tandrel/" + station + "/piece")) {
        std::smatch m;
        if (std::regex_search(payload, m, row)) rows.push_back(std::stoi(m[1]));
    }
    return rows;
}

// The rows once each, as first received; a repeated copy must repeat an earlier row.
std::vector<int> FirstArrivals(const std::vector<int>& rows) {
    std::vector<int> firsts;
    for (const int r : rows)
        if (firsts.empty() || r > firsts.back()) firsts.push_back(r);
    return firsts;
}

TEST(PlantFeed, TwoStationsLoseNoLineAcrossABrokerRestart) {
    tandrel::testing::TempDir dir;
    MqttBroker broker(dir.Path() / "broker");
    MqttSubscriber sub(broker, dir.Path() / "received.txt");
    const std::string one = "Линия 1", two = "Линия_2";  // the second is named "Линия/2"
    Station first(dir.Path() / "one", one, broker);
    Station second(dir.Path() / "two", "Линия/2", broker);
    ASSERT_TRUE(first.Ready() && second.Ready());
    const auto linked = [&](const std::string& station) {
        return [station](const std::vector<std::string>& l) {
            const auto states = Payloads(l, "tandrel/" + station + "/state");
            return !states.empty() && states.back().find(R"("link":"up")") != std::string::npos &&
                   states.back().find(R"("rows":6)") != std::string::npos;
        };
    };
    ASSERT_TRUE(sub.WaitFor(linked(one), 30s));
    ASSERT_TRUE(sub.WaitFor(linked(two), 30s));

    const auto rowsUpTo = [&](int n) {
        return [&, n](const std::vector<std::string>& l) {
            return FirstArrivals(Rows(l, one)).size() >= static_cast<std::size_t>(n) &&
                   FirstArrivals(Rows(l, two)).size() >= static_cast<std::size_t>(n);
        };
    };
    for (int row = 1; row <= 2; ++row) {
        first.Step();
        second.Step();
        ASSERT_TRUE(sub.WaitFor(rowsUpTo(row), 10s)) << row;
    }
    const auto piece = Payloads(sub.Lines(), "tandrel/" + one + "/piece").front();
    EXPECT_TRUE(std::regex_match(
        piece,
        std::regex(
            R"re(\{"id":"Линия 1/journal-\d{4}-\d\d\.csv/\d{8}T\d{6}/1","time":"[-0-9T:+]+",)re"
            R"re("list":"plan.txt","row":1,"size":1000,"correction":0,)re"
            R"re("target":1000,"in_range":true,"again":false,)re"
            R"re("label":"не напечатана","piece":true\})re")))
        << piece;

    // The broker goes; the stations keep working and send what they missed once it is back.
    broker.Stop();
    for (int row = 3; row <= 4; ++row) {
        first.Step();
        second.Step();
        std::this_thread::sleep_for(500ms);
    }
    ASSERT_TRUE(broker.Start());
    ASSERT_TRUE(sub.WaitFor(rowsUpTo(4), 45s));
    const auto lines = sub.Lines();
    EXPECT_EQ(FirstArrivals(Rows(lines, one)), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(FirstArrivals(Rows(lines, two)), (std::vector<int>{1, 2, 3, 4}));

    const auto says = [&](const std::string& station, const std::string& status) {
        return [=](const std::vector<std::string>& l) {
            const auto s = Payloads(l, "tandrel/" + station + "/status");
            return !s.empty() && s.back() == status;
        };
    };
    first.End(SIGKILL);
    EXPECT_TRUE(sub.WaitFor(says(one, "offline"), 10s));
    EXPECT_TRUE(says(two, "online")(sub.Lines()));
    EXPECT_EQ(second.End(SIGTERM), 0);
    EXPECT_TRUE(sub.WaitFor(says(two, "offline"), 10s));
}

// A broker with no anonymous access and a user per station: the station's password is set
// through the program, and what the broker acknowledged is never sent again after a restart.
TEST(PlantFeed, LogsInWithItsStoredPasswordAndSendsNothingTwiceAfterARestart) {
    tandrel::testing::TempDir dir;
    const fs::path folder = dir.Path() / "broker";
    fs::create_directories(folder);
    std::ofstream(folder / "acl") << "user Линия-3\ntopic write tandrel/Линия-3/#\n"
                                  << "user board\ntopic read tandrel/#\n";
    const std::string passwd = (folder / "passwd").string();
    ASSERT_EQ(std::system(("mosquitto_passwd -b -c '" + passwd + "' Линия-3 pw-3 && " +
                           "mosquitto_passwd -b '" + passwd + "' board pw-b")
                              .c_str()),
              0);
    MqttBroker broker(folder, "allow_anonymous false\npassword_file " + passwd + "\nacl_file " +
                                  (folder / "acl").string());
    MqttSubscriber sub(broker, dir.Path() / "received.txt", {"-u", "board", "-P", "pw-b"});
    const std::string name = "Линия-3";
    Station station(dir.Path() / "three", name, broker, "s=Линия-3\r\n", "pw-3");
    ASSERT_EQ(station.Stored(), 0);
    ASSERT_TRUE(station.Ready());
    const auto pieces = [&](std::size_t n) {
        return [&, n](const std::vector<std::string>& l) { return Rows(l, name).size() >= n; };
    };
    // Online, and the device linked, since the line at from.
    const auto linked = [&](std::size_t from) {
        return [&, from](const std::vector<std::string>& l) {
            bool online = false;
            for (std::size_t i = from; i < l.size(); ++i) {
                online = online || l[i] == "tandrel/" + name + "/status online";
                if (online && l[i].rfind("tandrel/" + name + "/state ", 0) == 0 &&
                    l[i].find(R"("link":"up")") != std::string::npos)
                    return true;
            }
            return false;
        };
    };
    ASSERT_TRUE(sub.WaitFor(linked(0), 30s));
    for (int row = 1; row <= 2; ++row) {
        station.Step();
        ASSERT_TRUE(sub.WaitFor(pieces(row), 30s)) << row;
    }
    EXPECT_EQ(station.End(SIGTERM), 0);
    const std::size_t before = sub.Lines().size();
    station.Launch();
    ASSERT_TRUE(sub.WaitFor(linked(before), 30s));
    station.Step();
    ASSERT_TRUE(sub.WaitFor(pieces(3), 30s));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(Rows(sub.Lines(), name), (std::vector<int>{1, 2, 3}));

    // No line on the input: nothing is stored, and the script is told why.
    const auto [code, said] = station.SetPassword("");
    EXPECT_EQ(code, 2);
    EXPECT_FALSE(said.empty());
}

}  // namespace
