// Diagnostic lines go to Python's sys.stdout, so that they stay in order with what Python prints
// and follow any redirection; bytes are written unchanged through its binary buffer when it has one.
#include "diag_output.h"

#include <cstdio>

#include "numpy_api.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace binding {
namespace {

// The line the stream did not take goes to the process's standard output. On Windows the module's C
// runtime may not be Python's (mingw links msvcrt) and keeps the handle it found at start-up, while
// Python may have redirected file descriptor 1 since: the process's current handle is used there.
void write_standard_output(const std::string& line) {
#ifdef _WIN32
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
#endif
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// The first interruption raised while lines are written, kept aside so that Python can be called again.
class HeldInterrupt {
public:
    HeldInterrupt() = default;
    HeldInterrupt(const HeldInterrupt&) = delete;
    HeldInterrupt& operator=(const HeldInterrupt&) = delete;
    ~HeldInterrupt() { restore(); }

    // Settles the exception now pending after a failed call into the stream.
    void settle() {
        if (PyErr_Occurred() == nullptr) return;
        if (PyErr_ExceptionMatches(PyExc_Exception) || held()) {
            PyErr_Clear();
            return;
        }
#if PY_VERSION_HEX >= 0x030C0000
        exception_ = PyErr_GetRaisedException();
#else
        PyErr_Fetch(&type_, &exception_, &traceback_);
#endif
    }

private:
    bool held() const {
#if PY_VERSION_HEX >= 0x030C0000
        return exception_ != nullptr;
#else
        return type_ != nullptr;
#endif
    }

    void restore() {
        if (!held()) return;
#if PY_VERSION_HEX >= 0x030C0000
        PyErr_SetRaisedException(exception_);
#else
        PyErr_Restore(type_, exception_, traceback_);
        type_ = nullptr;
        traceback_ = nullptr;
#endif
        exception_ = nullptr;
    }

#if PY_VERSION_HEX < 0x030C0000
    PyObject* type_ = nullptr;
    PyObject* traceback_ = nullptr;
#endif
    PyObject* exception_ = nullptr;
};

// Calls target.method(argument) (no argument when null); a failure is settled and gives false.
bool call_method(PyObject* target, const char* method, PyObject* argument, HeldInterrupt& interrupt) {
    PyObject* result = argument != nullptr ? PyObject_CallMethod(target, method, "O", argument)
                                           : PyObject_CallMethod(target, method, nullptr);
    if (result == nullptr) {
        interrupt.settle();
        return false;
    }
    Py_DECREF(result);
    return true;
}

// True when the stream took the line. Once its write has accepted the line, a failing flush does not
// undo that: the line counts as written.
bool write_to(PyObject* stream, const std::string& line, HeldInterrupt& interrupt) {
    PyObject* buffer = PyObject_GetAttrString(stream, "buffer");
    PyObject* data = nullptr;
    bool taken = false;
    if (buffer != nullptr) {
        data = PyBytes_FromStringAndSize(line.data(), static_cast<Py_ssize_t>(line.size()));
        // The text layer is flushed first, so that what Python printed before comes out before the line.
        taken = data != nullptr && call_method(stream, "flush", nullptr, interrupt) &&
                call_method(buffer, "write", data, interrupt);
        if (taken) call_method(buffer, "flush", nullptr, interrupt);
    } else {
        interrupt.settle();
        data = PyUnicode_DecodeLatin1(line.data(), static_cast<Py_ssize_t>(line.size()), nullptr);
        taken = data != nullptr && call_method(stream, "write", data, interrupt);
        if (taken) call_method(stream, "flush", nullptr, interrupt);
    }
    if (data == nullptr) interrupt.settle();
    Py_XDECREF(data);
    Py_XDECREF(buffer);
    return taken;
}

void write_line(const std::string& line, HeldInterrupt& interrupt) {
    // A strong reference: the stream's own methods may replace sys.stdout and drop the last other one.
    PyObject* stream = Py_XNewRef(PySys_GetObject("stdout"));
    const bool taken = stream != nullptr && stream != Py_None && write_to(stream, line, interrupt);
    Py_XDECREF(stream);
    if (!taken) write_standard_output(line);
}

}  // namespace

void write_diag_lines(const std::vector<std::string>& lines) {
    HeldInterrupt interrupt;
    for (const std::string& line : lines) write_line(line, interrupt);
}

}  // namespace binding
