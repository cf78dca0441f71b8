// The edge of the C interface: no exception may leave the library. An operation's body runs
// inside `guarded`; an exception becomes the operation's failure value and a message.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "engine.h"

namespace vuzizi {

// Exceptions the C interface has turned into failure values since the process started. A sound
// input causes none: the model-file fuzzer counts any as a fault.
inline uint64_t& caught_exceptions() {
    static uint64_t count = 0;
    return count;
}

// Reports the exception being handled for `operation` and gives the error it stands for.
// Call from a catch handler only.
inline Error report_current_exception(const char* operation) noexcept {
    ++caught_exceptions();
    Error code = Error::Internal;
    const char* what = "unknown exception";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        code = Error::OutOfMemory;
        what = "not enough memory";
    } catch (const std::length_error&) {
        code = Error::OutOfMemory;
        what = "a size beyond what can be allocated";
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    try {
        engine().diagnostics().error({}, code, std::string(operation) + ": " + what);
    } catch (...) {
        // Not even the message could be made: the status alone tells.
    }
    return code;
}

// Runs `body`; on an exception runs `undo` (which must not throw), reports the exception for
// `operation` and returns `failure`.
template <class Result, class Body, class Undo>
Result guarded(const char* operation, Result failure, Body&& body, Undo&& undo) noexcept {
    try {
        return body();
    } catch (...) {
        undo();
        report_current_exception(operation);
    }
    return failure;
}

template <class Result, class Body>
Result guarded(const char* operation, Result failure, Body&& body) noexcept {
    return guarded(operation, failure, static_cast<Body&&>(body), [] {});
}

// For an operation that returns an error code: an exception gives the code it stands for.
template <class Body>
int32_t guarded_code(const char* operation, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return error_code(report_current_exception(operation));
    }
}

}  // namespace vuzizi
