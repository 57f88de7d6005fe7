#include "plan/plan_runner.h"

#include <exception>
#include <new>
#include <utility>

#include "base/cp1251.h"

namespace tandrel::plan {

TPlanRunner::~TPlanRunner() {
    Stop();
}

void TPlanRunner::Stop() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
}

void TPlanRunner::Start(TProblem problem, TPlanOptions options, std::function<void()> onEnd) {
    Stop();
    {
        std::lock_guard lock(mutex_);
        progress_.reset();
        result_.reset();
        running_ = true;
    }
    thread_ = std::jthread([this, problem = std::move(problem), options = std::move(options),
                            onEnd = std::move(onEnd)](std::stop_token stop) mutable {
        auto report = std::move(options.Progress);
        options.Progress = [this, &report](const TProgress& progress) {
            {
                std::lock_guard lock(mutex_);
                progress_ = progress;
            }
            if (report) report(progress);
        };
        TPlanResult result;
        try {
            result.Plan = MakePlan(problem, options, stop);
        } catch (const std::invalid_argument&) {
            result.Failure = CheckProblem(problem);
        } catch (const std::bad_alloc&) {
            result.Failure = "не хватило памяти"_cp1251;
        } catch (const std::exception& e) {
            result.Failure = e.what();
        }
        {
            std::lock_guard lock(mutex_);
            result_ = std::move(result);
            running_ = false;
        }
        if (onEnd) onEnd();
    });
}

void TPlanRunner::Cancel() {
    if (thread_.joinable()) thread_.request_stop();
}

bool TPlanRunner::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::optional<TProgress> TPlanRunner::Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
}

std::optional<TPlanResult> TPlanRunner::Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(result_, std::nullopt);
}

}  // namespace tandrel::plan
