#pragma once
// Handlers built of steps, such as the main window's FormShow: a failing step does not stop
// the later ones.

#include <exception>
#include <functional>
#include <initializer_list>

namespace tandrel::console {

struct TStep {
    const char* name;  // for the reader of the handler; not shown
    std::function<void()> run;
};

// Runs the steps in order. A step that raises is handed to onError (which must not throw)
// and the next step runs.
void RunEachStep(std::initializer_list<TStep> steps,
                 const std::function<void(std::exception_ptr)>& onError);

}  // namespace tandrel::console
