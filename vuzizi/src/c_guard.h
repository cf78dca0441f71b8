// The edge of the C interface: no exception may leave the library. An operation's body runs
// inside `guarded`; an exception becomes the operation's failure value and a message.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "engine.h"

namespace vuzizi {

// Runs `body`; on an exception runs `undo` (which must not throw), reports the exception for
// `operation` and returns `failure`.
template <class Result, class Body, class Undo>
Result guarded(const char* operation, Result failure, Body&& body, Undo&& undo) noexcept {
    Error code = Error::Internal;
    const char* what = "unknown exception";
    try {
        return body();
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
    undo();
    try {
        engine().diagnostics().error({}, code, std::string(operation) + ": " + what);
    } catch (...) {
        // Not even the message could be made: the status alone tells.
    }
    return failure;
}

template <class Result, class Body>
Result guarded(const char* operation, Result failure, Body&& body) noexcept {
    return guarded(operation, failure, static_cast<Body&&>(body), [] {});
}

}  // namespace vuzizi
