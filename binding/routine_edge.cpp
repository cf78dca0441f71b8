// Diagnostic lines and C++ exceptions at the end of a session routine.
#include "routine_edge.h"

#include <new>
#include <stdexcept>

#include "diag.h"
#include "diag_output.h"
#include "numpy_api.h"

namespace binding {
namespace {

// The Python exception matching a C++ one; memory failures are MemoryError as anywhere in Python.
void raise_for(const char* function, std::exception_ptr failure) noexcept {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error&) {  // a size beyond what can be allocated
        PyErr_NoMemory();
    } catch (const std::overflow_error& error) {
        PyErr_Format(PyExc_OverflowError, "%s: %s", function, error.what());
    } catch (const std::exception& error) {
        PyErr_Format(PyExc_RuntimeError, "%s: %s", function, error.what());
    } catch (...) {
        PyErr_Format(PyExc_RuntimeError, "%s: unknown C++ exception", function);
    }
}

}  // namespace

bool finish_routine(const char* function, std::exception_ptr failure) noexcept {
    const session::DiagLines queued = session::take_diag_lines();
    write_diag_lines(queued.lines);
    if (PyErr_Occurred() != nullptr) return false;
    if (failure) {
        raise_for(function, failure);
        return false;
    }
    if (queued.lost) {
        PyErr_NoMemory();
        return false;
    }
    return PyErr_Occurred() == nullptr;
}

}  // namespace binding
