/* Linux pseudo-terminals refuse the modem-line ioctls, and Wine's serial layer needs them to
 * wait for comm events. Preloaded into Wine, this answers them for pty slaves: DTR and RTS as
 * last set, the input lines (TIOCM_CTS, TIOCM_DSR, TIOCM_CAR, TIOCM_RNG bits, in decimal) from
 * the file that TANDREL_MODEM names, read at each query. A pseudo-terminal whose far end has
 * closed fails them with EIO. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

static int outputs = TIOCM_DTR | TIOCM_RTS;

static int IsPtySlave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
    const unsigned major_number = major(st.st_rdev);
    return major_number >= 136 && major_number <= 143;
}

static int Inputs(void) {
    const char* path = getenv("TANDREL_MODEM");
    int bits = 0;
    FILE* file = path ? fopen(path, "r") : NULL;
    if (!file) return 0;
    if (fscanf(file, "%d", &bits) != 1) bits = 0;
    fclose(file);
    return bits & (TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*real)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
         request == TIOCMBIC) &&
        IsPtySlave(fd)) {
        /* A line whose far end has gone fails as a removed device does. */
        struct pollfd p = {fd, 0, 0};
        if (poll(&p, 1, 0) > 0 && (p.revents & POLLHUP)) {
            errno = EIO;
            return -1;
        }
        int* bits = (int*)arg;
        const int lines = TIOCM_DTR | TIOCM_RTS;
        switch (request) {
            case TIOCMGET:
                *bits = outputs | Inputs();
                break;
            case TIOCMSET:
                outputs = *bits & lines;
                break;
            case TIOCMBIS:
                outputs |= *bits & lines;
                break;
            default:
                outputs &= ~(*bits & lines);
                break;
        }
        return 0;
    }
    return real(fd, request, arg);
}
