// Diagnostic lines go to Python's sys.stdout, so that they stay in order with what Python prints
// and follow any redirection; bytes are written unchanged through its binary buffer when it has one.
#include "diag_output.h"

#include <cstdio>

#include "diag.h"
#include "numpy_api.h"

namespace binding {
namespace {

bool call_method(PyObject* target, const char* method, PyObject* argument) {
    PyObject* result = argument != nullptr ? PyObject_CallMethod(target, method, "O", argument)
                                           : PyObject_CallMethod(target, method, nullptr);
    Py_XDECREF(result);
    return result != nullptr;
}

bool write_to(PyObject* stream, const char* data, std::size_t len) {
    PyObject* buffer = PyObject_GetAttrString(stream, "buffer");
    bool ok = false;
    if (buffer != nullptr) {
        PyObject* bytes = PyBytes_FromStringAndSize(data, static_cast<Py_ssize_t>(len));
        ok = bytes != nullptr && call_method(stream, "flush", nullptr) && call_method(buffer, "write", bytes) &&
             call_method(buffer, "flush", nullptr);
        Py_XDECREF(bytes);
        Py_DECREF(buffer);
    } else {
        PyErr_Clear();
        PyObject* text = PyUnicode_DecodeLatin1(data, static_cast<Py_ssize_t>(len), nullptr);
        ok = text != nullptr && call_method(stream, "write", text) && call_method(stream, "flush", nullptr);
        Py_XDECREF(text);
    }
    return ok;
}

// A line is never lost: when Python's stream cannot take it, it goes to the process's standard output.
void write_line(const char* data, std::size_t len) {
    PyObject* stream = PySys_GetObject("stdout");  // borrowed
    if (stream != nullptr && stream != Py_None && write_to(stream, data, len)) return;
    PyErr_Clear();
    std::fwrite(data, 1, len, stdout);
    std::fflush(stdout);
}

}  // namespace

void route_diagnostics_to_python() { session::set_diag_sink(write_line); }

}  // namespace binding
