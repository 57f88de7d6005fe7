#include "console/steps.h"

namespace tandrel::console {

void RunEachStep(std::initializer_list<TStep> steps,
                 const std::function<void(std::exception_ptr)>& onError) {
    for (const TStep& step : steps) {
        try {
            step.run();
        } catch (...) {
            onError(std::current_exception());
        }
    }
}

}  // namespace tandrel::console
