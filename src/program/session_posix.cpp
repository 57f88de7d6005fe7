#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdio>

#include "base/cp1251.h"
#include "console/session_end.h"
#include "program/session.h"

namespace tandrel::program {

namespace {
int wakeFds[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe, read on the main thread.
extern "C" void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t written = write(wakeFds[1], &byte, 1);
}
}  // namespace

void CloseOnSessionEnd(QWidget* mainWindow) {
    if (pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, mainWindow);
    QObject::connect(notifier, &QSocketNotifier::activated, mainWindow, [mainWindow] {
        char buffer[16];
        while (read(wakeFds[0], buffer, sizeof buffer) > 0) {
        }
        console::EndSession(mainWindow);
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void SayOnStderr(const std::string& cp1251) {
    std::fprintf(stderr, "%s\n", Cp1251ToUtf8(cp1251).c_str());
}

}  // namespace tandrel::program
