// Speeds that have no B-constant (14400, 56000, 128000, 256000) need the kernel's termios2,
// whose header cannot share a file with <termios.h>.

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tandrel::serial::detail {

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
