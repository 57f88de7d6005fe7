#include "console/qt_executor.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace tandrel::console {

namespace {
struct TCall {
    std::mutex mutex;
    std::condition_variable changed;
    bool started = false;
    bool finished = false;
    bool abandoned = false;
    std::exception_ptr error;
};
}  // namespace

bool TQtExecutor::RunAndWait(std::function<void()> fn, std::stop_token stop) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        fn();
        return true;
    }
    auto call = std::make_shared<TCall>();
    QMetaObject::invokeMethod(
        &context_,
        [call, fn = std::move(fn)] {
            {
                std::lock_guard lock(call->mutex);
                if (call->abandoned) return;
                call->started = true;
                call->changed.notify_all();
            }
            try {
                fn();
            } catch (...) {
                call->error = std::current_exception();
            }
            std::lock_guard lock(call->mutex);
            call->finished = true;
            call->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(call->mutex);
    while (!call->started) {
        if (stop.stop_requested()) {
            call->abandoned = true;  // fn will not run
            return false;
        }
        call->changed.wait_for(lock, serial::kStopCheckInterval);
    }
    call->changed.wait(lock, [&] { return call->finished; });
    if (call->error) std::rethrow_exception(call->error);
    return true;
}

void TQtExecutor::Post(std::function<void()> fn) {
    QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
}

}  // namespace tandrel::console
