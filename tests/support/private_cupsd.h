#pragma once
// A private CUPS server for the print queue tests (POSIX): cupsd with its own configuration in a
// folder of its own, on a free port of 127.0.0.1, and one raw queue whose device is a raw TCP
// printer. Stopped when it goes. Clients find it through CUPS_SERVER (Server()).

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/local_listener.h"

namespace tandrel::testing {

class PrivateCupsd {
  public:
    // folder: an empty folder for the server's files; queue and printerPort: the raw queue's
    // name and the TCP port of the printer it sends to.
    PrivateCupsd(const std::filesystem::path& folder, const std::string& queue,
                 std::uint16_t printerPort)
        : folder_(folder), queue_(queue) {
        namespace fs = std::filesystem;
        for (const char* sub : {"etc/ppd", "spool", "cache", "state", "tmp", "log"})
            fs::create_directories(folder_ / sub);
        port_ = LocalListener::ClosedPort("127.0.0.1");
        const std::string root = folder_.string();
        std::ofstream(folder_ / "etc/cups-files.conf")
            << "ServerRoot " << root << "/etc\nRequestRoot " << root << "/spool\nCacheDir " << root
            << "/cache\nStateDir " << root << "/state\nTempDir " << root << "/tmp\nAccessLog "
            << root << "/log/access_log\nErrorLog " << root << "/log/error_log\nPageLog " << root
            << "/log/page_log\n"
            << (geteuid() == 0 ? "SystemGroup root\n" : "");
        std::ofstream(folder_ / "etc/cupsd.conf")
            << "Listen 127.0.0.1:" << port_
            << "\nBrowsing Off\nWebInterface No\nDefaultAuthType None\n"
               "<Location />\nOrder allow,deny\nAllow all\n</Location>\n"
               "<Policy default>\n<Limit All>\nOrder deny,allow\nAllow all\n</Limit>\n</Policy>\n";
        pid_ = Spawn({"/usr/sbin/cupsd", "-f", "-c", root + "/etc/cupsd.conf", "-s",
                      root + "/etc/cups-files.conf"});
        for (int i = 0; i < 250 && !Accepts(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ready_ = Accepts() && Run({"/usr/sbin/lpadmin", "-h", Server(), "-p", queue_, "-v",
                                   "socket://127.0.0.1:" + std::to_string(printerPort), "-E"}) == 0;
    }
    ~PrivateCupsd() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 150 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    PrivateCupsd(const PrivateCupsd&) = delete;
    PrivateCupsd& operator=(const PrivateCupsd&) = delete;

    bool Ready() const { return ready_; }
    std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
    // This thread's CUPS calls and the processes started after go to this server (an earlier
    // call may have fixed the thread's server already, so both are set).
    void UseHere() const {
        setenv("CUPS_SERVER", Server().c_str(), 1);
        cupsSetServer(Server().c_str());
    }
    // The queue's commands: "cupsdisable", "cupsenable", "cupsreject", "cupsaccept".
    bool Queue(const std::string& command) const {
        return Run({"/usr/sbin/" + command, "-h", Server(), queue_}) == 0;
    }
    // cupsd's own log, for a failure's message.
    std::string Log() const {
        std::ifstream in(folder_ / "log/error_log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    static pid_t Spawn(std::vector<std::string> args) {
        const pid_t pid = fork();
        if (pid == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            std::vector<char*> argv;
            for (std::string& arg : args) argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return pid;
    }
    static int Run(std::vector<std::string> args) {
        const pid_t pid = Spawn(std::move(args));
        int status = 0;
        if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool Accepts() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool ok =
            ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    std::filesystem::path folder_;
    std::string queue_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace tandrel::testing
