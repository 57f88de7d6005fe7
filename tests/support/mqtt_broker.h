#pragma once
// A real mosquitto broker for the feed's tests (POSIX): its config, persistence and log in a
// folder of the test's, a listener on a free port of 127.0.0.1. Stop and Start again keep the
// port and what the broker persisted, as a broker restarted in the plant would. The plant's own
// set-ups come as more lines of its config (an access list, passwords, TLS); Reload reads them
// again in place, as a plant's IT does with SIGHUP, keeping every connection.

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/local_listener.h"

namespace tandrel::testing {

class MqttBroker {
  public:
    // more: config lines after the listener's (they set it up, TLS included) and the defaults.
    explicit MqttBroker(const std::filesystem::path& folder, const std::string& more = {})
        : folder_(folder), port_(LocalListener::ClosedPort("127.0.0.1")) {
        std::filesystem::create_directories(folder_);
        std::ofstream(folder_ / "mosquitto.conf")
            << "listener " << port_ << " 127.0.0.1\n"
            << more << "\n"
            << (more.find("allow_anonymous") == std::string::npos ? "allow_anonymous true\n" : "")
            // Run as root, the broker would drop to the user "mosquitto", who cannot write here.
            << "user " << UserName() << "\n"
            << "persistence true\n"
            << "persistence_location " << folder_.string() << "/\n"
            << "log_dest file " << (folder_ / "mosquitto.log").string() << "\n";
        Start();
    }
    ~MqttBroker() { Stop(); }
    MqttBroker(const MqttBroker&) = delete;
    MqttBroker& operator=(const MqttBroker&) = delete;

    // True once the broker takes connections.
    bool Start() {
        if (pid_ > 0) return true;
        pid_ = fork();
        if (pid_ == 0) {
            const std::string conf = (folder_ / "mosquitto.conf").string();
            execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            if (Accepts()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return false;
    }
    // Ends the broker (SIGTERM: it saves what it persists) and waits for it.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // Reads the access list and the password file again, connections kept.
    void Reload() {
        if (pid_ > 0) kill(pid_, SIGHUP);
    }
    std::filesystem::path Folder() const { return folder_; }
    std::uint16_t Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  private:
    static std::string UserName() {
        const passwd* user = getpwuid(getuid());
        return user ? user->pw_name : "root";
    }
    bool Accepts() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port_);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        ::close(fd);
        return ok;
    }

    std::filesystem::path folder_;
    std::uint16_t port_;
    pid_t pid_ = -1;
};

// mosquitto_sub as a persistent QoS 1 subscriber to "tandrel/#", writing "topic payload" lines
// to a file; it reconnects by itself after the broker comes back. more: its log-in, its TLS.
class MqttSubscriber {
  public:
    MqttSubscriber(const MqttBroker& broker, const std::filesystem::path& out,
                   const std::vector<std::string>& more = {})
        : out_(out) {
        std::vector<std::string> args = {"mosquitto_sub",
                                         "-h",
                                         "127.0.0.1",
                                         "-p",
                                         std::to_string(broker.Port()),
                                         "-c",
                                         "-i",
                                         "tandrel-test-sub",
                                         "-q",
                                         "1",
                                         "-v",
                                         "-t",
                                         "tandrel/#"};
        args.insert(args.end(), more.begin(), more.end());
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            std::vector<char*> argv;
            for (auto& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }
    ~MqttSubscriber() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    // Every line received so far.
    std::vector<std::string> Lines() const {
        std::ifstream in(out_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // Waits until pred(Lines()) holds; false after limit.
    template <typename Pred>
    bool WaitFor(Pred pred, std::chrono::milliseconds limit) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (pred(Lines())) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return pred(Lines());
    }

  private:
    std::filesystem::path out_;
    pid_t pid_ = -1;
};

}  // namespace tandrel::testing
