/* A pseudo-terminal keeps no line-error counters, reports an empty output queue however much
 * its far end has not read, and takes a large write in one call. Preloaded, this makes a pty
 * slave act as a real port does in those respects:
 *   - TIOCGICOUNT answers the error counters (frame, parity, overrun, brk, buf_overrun) from the
 *     file that TANDREL_LINE names, read at each query: "<baud> <frame> <parity> <overrun> <brk>
 *     <buf_overrun> <fionread_errno>", missing fields 0;
 *   - FIONREAD fails with the file's errno when it is not 0 (a driver whose device has gone);
 *   - every write enters an output queue of 4096 bytes that drains at the line's speed (ten bits
 *     a byte; the speed set on the line, or the file's baud when it is not 0, for a line held by
 *     flow control); a write takes at most the room left (none: EAGAIN, or a wait on a blocking
 *     line), TIOCOUTQ reports what is still queued, and poll() reports POLLOUT only once 256
 *     bytes are free, as the kernel does;
 *   - an output flush (tcflush, TCFLSH) discards what is still queued: those bytes would never
 *     have left a real port. Their total is written to "<TANDREL_LINE>.cut".
 * The bytes themselves reach the far end at once, as a pty delivers them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#define QUEUE_SIZE 4096.0
#define WAKEUP_ROOM 256.0 /* free bytes before a writer is woken */

/* The output queue of each pty slave, by device number. */
struct Line {
    dev_t device;
    double queued;  /* bytes in the output queue at `updated` */
    double updated; /* seconds, CLOCK_MONOTONIC */
};
enum { kMaxLines = 16 };
static struct Line lines[kMaxLines];
static int lineCount;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static long long cut; /* bytes discarded by flushes while queued, every line */

/* Marks the library as loaded, for the tests. */
int tandrel_line_preload(void) {
    return 1;
}

/* The line of a pty slave, NULL for any other descriptor. Under lock. */
static struct Line* LineOf(int fd) {
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return NULL;
    const unsigned major_number = major(st.st_rdev);
    if (major_number < 136 || major_number > 143) return NULL;
    for (int i = 0; i < lineCount; ++i)
        if (lines[i].device == st.st_rdev) return &lines[i];
    /* A new line; past the table the oldest entry is taken over. */
    struct Line* line = &lines[lineCount < kMaxLines ? lineCount++ : 0];
    memset(line, 0, sizeof *line);
    line->device = st.st_rdev;
    return line;
}

/* The control file's fields: baud, the five counters, and the errno FIONREAD fails with (0: it
 * works), as a pulled USB adapter's driver may answer. */
enum { kFields = 7 };
static void Control(long long fields[kFields]) {
    memset(fields, 0, kFields * sizeof fields[0]);
    const char* path = getenv("TANDREL_LINE");
    FILE* file = path ? fopen(path, "r") : NULL;
    if (!file) return;
    for (int i = 0; i < kFields; ++i)
        if (fscanf(file, "%lld", &fields[i]) != 1) break;
    fclose(file);
}

/* The speed set on the line; 9600 for one without a standard constant. */
static double LineBaud(int fd) {
    static const struct {
        speed_t code;
        double baud;
    } speeds[] = {{B50, 50},         {B110, 110},       {B300, 300},       {B600, 600},
                  {B1200, 1200},     {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
                  {B19200, 19200},   {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
                  {B230400, 230400}, {B460800, 460800}, {B921600, 921600}, {B4000000, 4000000}};
    struct termios t;
    if (tcgetattr(fd, &t) != 0) return 9600;
    const speed_t code = cfgetospeed(&t);
    for (size_t i = 0; i < sizeof speeds / sizeof speeds[0]; ++i)
        if (speeds[i].code == code) return speeds[i].baud;
    return 9600;
}

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Under lock: drains the line's queue up to now; returns the bytes per second. */
static double Drain(int fd, struct Line* line) {
    long long fields[kFields];
    Control(fields);
    const double rate = (fields[0] > 0 ? (double)fields[0] : LineBaud(fd)) / 10.0;
    const double now = Now();
    line->queued -= (now - line->updated) * rate;
    if (line->queued < 0) line->queued = 0;
    line->updated = now;
    return rate;
}

static void RecordCut(void) {
    const char* path = getenv("TANDREL_LINE");
    if (!path) return;
    char name[4096];
    snprintf(name, sizeof name, "%s.cut", path);
    FILE* file = fopen(name, "w");
    if (!file) return;
    fprintf(file, "%lld\n", cut);
    fclose(file);
}

static void FlushOutput(int fd) {
    pthread_mutex_lock(&lock);
    struct Line* line = LineOf(fd);
    if (line) {
        Drain(fd, line);
        if (line->queued >= 1) {
            cut += (long long)line->queued;
            RecordCut();
        }
        line->queued = 0;
    }
    pthread_mutex_unlock(&lock);
}

static int (*RealIoctl(void))(int, unsigned long, ...) {
    static int (*real)(int, unsigned long, ...);
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    return real;
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (request == TIOCOUTQ) {
        pthread_mutex_lock(&lock);
        struct Line* line = LineOf(fd);
        if (line) {
            Drain(fd, line);
            *(int*)arg = (int)(line->queued + 0.999);
        }
        pthread_mutex_unlock(&lock);
        if (line) return 0;
    } else if (request == TIOCGICOUNT) {
        pthread_mutex_lock(&lock);
        const int pty = LineOf(fd) != NULL;
        pthread_mutex_unlock(&lock);
        if (pty) {
            long long fields[kFields];
            Control(fields);
            struct serial_icounter_struct* counters = arg;
            memset(counters, 0, sizeof *counters);
            counters->frame = (int)fields[1];
            counters->parity = (int)fields[2];
            counters->overrun = (int)fields[3];
            counters->brk = (int)fields[4];
            counters->buf_overrun = (int)fields[5];
            return 0;
        }
    } else if (request == FIONREAD) {
        pthread_mutex_lock(&lock);
        const int pty = LineOf(fd) != NULL;
        pthread_mutex_unlock(&lock);
        long long fields[kFields];
        if (pty) Control(fields);
        if (pty && fields[6] != 0) {
            errno = (int)fields[6];
            return -1;
        }
    } else if (request == TCFLSH && ((long)arg == TCOFLUSH || (long)arg == TCIOFLUSH)) {
        FlushOutput(fd);
    }
    return RealIoctl()(fd, request, arg);
}

int tcflush(int fd, int queue) {
    static int (*real)(int, int);
    if (!real) real = (int (*)(int, int))dlsym(RTLD_NEXT, "tcflush");
    if (queue == TCOFLUSH || queue == TCIOFLUSH) FlushOutput(fd);
    return real(fd, queue);
}

ssize_t write(int fd, const void* data, size_t size) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (size == 0) return real(fd, data, size);
    for (;;) {
        pthread_mutex_lock(&lock);
        struct Line* line = LineOf(fd);
        if (!line) {
            pthread_mutex_unlock(&lock);
            return real(fd, data, size);
        }
        const double rate = Drain(fd, line);
        const double room = QUEUE_SIZE - line->queued;
        if (room >= 1) {
            const size_t take = size < (size_t)room ? size : (size_t)room;
            const ssize_t n = real(fd, data, take);
            if (n > 0) line->queued += (double)n;
            pthread_mutex_unlock(&lock);
            return n;
        }
        pthread_mutex_unlock(&lock);
        if (fcntl(fd, F_GETFL) & O_NONBLOCK) {
            errno = EAGAIN;
            return -1;
        }
        const double wait = (1 - room) / rate;
        struct timespec t = {(time_t)wait, (long)((wait - (double)(time_t)wait) * 1e9) + 1000};
        nanosleep(&t, NULL);
    }
}

/* Seconds until the line has room, 0 when it has. */
static double UntilRoom(int fd) {
    pthread_mutex_lock(&lock);
    struct Line* line = LineOf(fd);
    double until = 0;
    if (line) {
        const double rate = Drain(fd, line);
        const double room = QUEUE_SIZE - line->queued;
        if (room < WAKEUP_ROOM) until = (WAKEUP_ROOM - room) / rate;
    }
    pthread_mutex_unlock(&lock);
    return until;
}

int poll(struct pollfd* fds, nfds_t count, int timeout) {
    static int (*real)(struct pollfd*, nfds_t, int);
    if (!real) real = (int (*)(struct pollfd*, nfds_t, int))dlsym(RTLD_NEXT, "poll");
    /* A full queue is not writable: POLLOUT is left out until there is room again. */
    enum { kMaxHeld = 16 };
    nfds_t held[kMaxHeld];
    int heldCount = 0;
    for (nfds_t i = 0; i < count && heldCount < kMaxHeld; ++i) {
        if (!(fds[i].events & POLLOUT)) continue;
        const double until = UntilRoom(fds[i].fd);
        if (until <= 0) continue;
        fds[i].events &= ~POLLOUT;
        held[heldCount++] = i;
        const int ms = (int)(until * 1000) + 1;
        if (timeout < 0 || ms < timeout) timeout = ms;
    }
    int n = real(fds, count, timeout);
    for (int h = 0; h < heldCount; ++h) {
        struct pollfd* p = &fds[held[h]];
        p->events |= POLLOUT;
        if (n < 0 || UntilRoom(p->fd) > 0) continue;
        if (p->revents == 0) ++n;
        p->revents |= POLLOUT;
    }
    return n;
}
