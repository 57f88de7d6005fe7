// Line speeds. Those that have no B-constant (14400, 56000, 128000, 256000) need the kernel's
// termios2, whose header cannot share a file with <termios.h>.

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstdint>

namespace tandrel::serial::detail {

// The B-constant of a rate (the kernel's values, which <termios.h> shares), or B0 for none.
unsigned StandardSpeed(std::uint32_t rate) {
    switch (rate) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

bool SetCustomBaudRate(int fd, unsigned rate) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool GetBaudRate(int fd, unsigned& rate) {
    struct termios2 tio;
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    rate = tio.c_ospeed;
    return true;
}

}  // namespace tandrel::serial::detail
