#include "sim/pty_link.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace tandrel::sim {
namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd, bool setSpeed) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) Fail("tcgetattr");
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (setSpeed) {
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
    }
    if (tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
}

}  // namespace

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0) close(fd_);
}

int Fd::Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

SerialEnd::SerialEnd(Fd fd, std::string link, std::string farName)
    : fd_(std::move(fd)), link_(std::move(link)), farName_(std::move(farName)) {}

SerialEnd::SerialEnd(SerialEnd&& other) noexcept
    : fd_(std::move(other.fd_)),
      link_(std::move(other.link_)),
      farName_(std::move(other.farName_)) {
    other.link_.clear();
}

SerialEnd::~SerialEnd() {
    fd_ = Fd();
    if (link_.empty()) return;
    // Whatever someone has put at the path since is theirs.
    char target[256];
    ssize_t size = readlink(link_.c_str(), target, sizeof target);
    if (size > 0 && std::string(target, static_cast<std::size_t>(size)) == farName_)
        unlink(link_.c_str());
}

SerialEnd SerialEnd::CreatePty(const std::string& link) {
    Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master) Fail("posix_openpt");
    if (grantpt(master.Get()) != 0 || unlockpt(master.Get()) != 0) Fail("unlockpt");
    char name[128];
    if (ptsname_r(master.Get(), name, sizeof name) != 0) Fail("ptsname");
    Fd farEnd(open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!farEnd) Fail(name);
    // Raw from the start: the program sets its own line, but an echo before it does would
    // bounce our pings back at us.
    MakeRaw(farEnd.Get(), false);
    farEnd = Fd();

    struct stat st {};
    if (lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        errno = EEXIST;
        Fail(link + " exists and is not a symlink");
    }
    // Through a temporary name and a rename, so the link is never missing or half made when it
    // is replaced.
    std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(name, temporary.c_str()) != 0) Fail("symlink " + temporary);
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        int saved = errno;
        unlink(temporary.c_str());
        errno = saved;
        Fail("rename to " + link);
    }
    return SerialEnd(std::move(master), link, name);
}

SerialEnd SerialEnd::OpenDevice(const std::string& path) {
    Fd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) Fail(path);
    MakeRaw(fd.Get(), true);
    return SerialEnd(std::move(fd), std::string(), std::string());
}

SerialEnd::Peek SerialEnd::PeekNow() const {
    pollfd p{fd_.Get(), POLLIN, 0};
    if (poll(&p, 1, 0) < 0) return {false, false};
    return {!link_.empty() && (p.revents & POLLHUP) != 0, (p.revents & POLLIN) != 0};
}

}  // namespace tandrel::sim
