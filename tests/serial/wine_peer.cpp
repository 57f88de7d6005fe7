// The far end of COM1 for the Windows tests under Wine (a Linux program). It owns a
// pseudo-terminal whose slave a fixed symbolic link names (Wine's COM1 is mapped to that link)
// and obeys one-line commands from the tests over TCP on 127.0.0.1:
//   open              a new pseudo-terminal, the link pointed at it       -> ok
//   write <hex>       bytes to the line                                   -> ok
//   read <n> <ms>     up to n bytes that arrive within ms                 -> data <hex>
//   close             the far end goes away                               -> ok
//   modem <bits>      TIOCM_* input lines the preload library reports     -> ok
//   settings          the line's speed, CSTOPB, INPCK, ICANON, OPOST      -> settings ...
//   line <fields>     the control line of line_preload.c (speed, counters) -> ok
//   cut               bytes its output flushes discarded so far            -> cut <n>
// Usage: wine_peer <link> <port file> <modem file> [<line file>]

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

int master = -1, slave = -1;
std::string linkPath, modemPath, linePath;

void WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    std::ofstream(temporary) << text;
    std::rename(temporary.c_str(), path.c_str());
}

void CloseLine() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
    master = slave = -1;
}

bool NewLine() {
    CloseLine();
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    const std::string temporary = linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(name, temporary.c_str()) != 0) return false;
    ::rename(temporary.c_str(), linkPath.c_str());
    WriteFileAtomically(modemPath, "0\n");
    return true;
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

std::string ReadLine(std::size_t want, int ms) {
    std::string out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < want && master >= 0) {
        char buffer[4096];
        const auto n = ::read(master, buffer, std::min(sizeof buffer, want - out.size()));
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        pollfd p{master, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left));
    }
    return out;
}

std::string Answer(const std::string& line) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command == "open") return NewLine() ? "ok" : "error";
    if (command == "close") {
        CloseLine();
        return "ok";
    }
    if (command == "write") {
        std::string hex;
        in >> hex;
        const std::string bytes = Unhex(hex);
        std::size_t done = 0;
        while (master >= 0 && done < bytes.size()) {
            const auto n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
        return "ok";
    }
    if (command == "read") {
        std::size_t n = 0;
        int ms = 0;
        in >> n >> ms;
        return "data " + Hex(ReadLine(n, ms));
    }
    if (command == "modem") {
        std::string bits;
        in >> bits;
        WriteFileAtomically(modemPath, bits + "\n");
        return "ok";
    }
    if (command == "line") {
        if (linePath.empty()) return "error no line file";
        std::string rest;
        std::getline(in, rest);
        WriteFileAtomically(linePath, rest + "\n");
        return "ok";
    }
    if (command == "cut") {
        long long n = 0;
        std::ifstream(linePath + ".cut") >> n;
        return "cut " + std::to_string(n);
    }
    if (command == "settings") {
        termios t{};
        if (slave < 0 || ::tcgetattr(slave, &t) != 0) return "error";
        const speed_t s = cfgetospeed(&t);
        const int speed = s == B9600 ? 9600 : s == B19200 ? 19200 : s == B115200 ? 115200 : -1;
        std::ostringstream out;
        out << "settings " << speed << ' ' << ((t.c_cflag & CSTOPB) != 0) << ' '
            << ((t.c_iflag & INPCK) != 0) << ' ' << ((t.c_lflag & ICANON) != 0) << ' '
            << ((t.c_oflag & OPOST) != 0);
        return out.str();
    }
    return "error unknown command";
}

void Serve(int client) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const auto n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string reply = Answer(pending.substr(0, end)) + "\n";
            pending.erase(0, end + 1);
            if (::send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s <link> <port file> <modem file> [<line file>]\n", argv[0]);
        return 2;
    }
    linkPath = argv[1];
    modemPath = argv[3];
    if (argc == 5) linePath = argv[4];
    if (!NewLine()) return 1;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return 1;
    WriteFileAtomically(argv[2], std::to_string(ntohs(address.sin_port)) + "\n");
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) continue;
        Serve(client);
        ::close(client);
    }
}
