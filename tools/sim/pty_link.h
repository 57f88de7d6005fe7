#pragma once
// The simulator's end of a serial line: a pseudo-terminal whose far end a symlink names, or an
// existing serial device. Linux only; every descriptor is owned.
#include <string>

namespace tandrel::sim {

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();
    int Get() const { return fd_; }
    int Release();
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

class SerialEnd {
  public:
    // A new pty, raw, with a symlink at link to its far end (a stale symlink there is
    // replaced at once, never missing in between; any other file is left alone and refused).
    // Raises std::system_error.
    static SerialEnd CreatePty(const std::string& link);
    // An existing serial device, raw at 9600 8N1. Raises std::system_error.
    static SerialEnd OpenDevice(const std::string& path);

    SerialEnd(SerialEnd&&) noexcept;
    SerialEnd& operator=(SerialEnd&&) = delete;
    SerialEnd(const SerialEnd&) = delete;
    ~SerialEnd();  // closes, then removes the symlink if it is still ours

    int Descriptor() const { return fd_.Get(); }
    const std::string& Link() const { return link_; }
    struct Peek {
        bool hungUp;    // a pty's far end is closed by everyone (never for a device)
        bool readable;  // bytes wait, which a pty keeps after a hang-up until they are read
    };
    Peek PeekNow() const;

  private:
    SerialEnd(Fd fd, std::string link, std::string farName);
    Fd fd_;
    std::string link_;  // empty for a device
    std::string farName_;
};

}  // namespace tandrel::sim
