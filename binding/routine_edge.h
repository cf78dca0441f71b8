// The edge between a call frame and its session routine: no C++ exception crosses it, and the
// routine's diagnostic lines are written once its last engine call is done.
#pragma once

#include <exception>

namespace binding {

// Writes the lines the routine queued, then turns what went wrong into a Python exception:
// an interruption raised while writing, the C++ exception `failure`, or a line lost for lack of
// memory. True when nothing did; false with an exception set otherwise.
bool finish_routine(const char* function, std::exception_ptr failure) noexcept;

// Runs `call` (the session routine with its arguments) for the Python function `function`.
// The interpreter lock is held throughout the routine: nothing between its engine calls reaches Python.
template <typename Call>
bool run_routine(const char* function, Call&& call) noexcept {
    std::exception_ptr failure;
    try {
        call();
    } catch (...) {
        failure = std::current_exception();
    }
    return finish_routine(function, failure);
}

}  // namespace binding
