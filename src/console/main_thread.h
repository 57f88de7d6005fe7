#pragma once
// Work handed back from threads of their own to the main thread, for windows that may be gone by
// the time it ends (a share may hold a read for good).

#include <QCoreApplication>
#include <QPointer>
#include <system_error>
#include <thread>
#include <utility>

namespace tandrel::console {

// Runs fn(object) on the main thread, unless object has gone by then (or the application, at
// the program's end). Any thread.
template <typename T, typename Fn>
void PostTo(const QPointer<T>& object, Fn fn) {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr) return;
    QMetaObject::invokeMethod(
        application,
        [object, fn = std::move(fn)]() mutable {
            if (object) fn(*object);
        },
        Qt::QueuedConnection);
}

// Runs fn on a thread of its own that nobody joins; false when no thread could be started.
template <typename Fn>
bool RunDetached(Fn fn) {
    try {
        std::thread(std::move(fn)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace tandrel::console
