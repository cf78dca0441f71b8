// Diagnostic lines go to Python's sys.stdout, so that they stay in order with what Python prints
// and follow any redirection; bytes are written unchanged through its binary buffer when it has one.
#include "diag_output.h"

#include <cstddef>
#include <cstdio>

#include "numpy_api.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace binding {
namespace {

// The part of a line the stream did not take goes to the process's standard output. On Windows the module's C
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

// Bytes of the line the binary buffer took in one write call. A raw stream may take part of what it
// is offered (a count below it) or none (None, or 0); a buffered one in non-blocking mode raises
// BlockingIOError, whose characters_written tells what it kept. Any other result (a count out of range,
// a bool, or an object that is not a count) cannot say what was taken and counts as the whole offer, as it did
// for buffers that report nothing useful.
std::size_t bytes_taken(PyObject* result, std::size_t offered) {
    if (result == Py_None) return 0;
    if (!PyLong_Check(result) || PyBool_Check(result)) return offered;
    const long long count = PyLong_AsLongLong(result);
    if (count == -1 && PyErr_Occurred() != nullptr) {
        PyErr_Clear();
        return offered;
    }
    if (count < 0 || static_cast<unsigned long long>(count) > offered) return offered;
    return static_cast<std::size_t>(count);
}

// The count a failed buffered write kept (BlockingIOError), leaving the exception pending for settling.
std::size_t bytes_kept_by_failure(std::size_t offered) {
    if (!PyErr_ExceptionMatches(PyExc_BlockingIOError)) return 0;
#if PY_VERSION_HEX >= 0x030C0000
    PyObject* exception = PyErr_GetRaisedException();
#else
    PyObject *type = nullptr, *exception = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &exception, &traceback);
    PyErr_NormalizeException(&type, &exception, &traceback);
#endif
    std::size_t kept = 0;
    PyObject* written = exception != nullptr ? PyObject_GetAttrString(exception, "characters_written") : nullptr;
    if (written != nullptr) {
        kept = bytes_taken(written, offered);
        Py_DECREF(written);
    } else {
        PyErr_Clear();  // no count kept: nothing was taken
    }
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(exception);
#else
    PyErr_Restore(type, exception, traceback);
#endif
    return kept;
}

// Writes line[from:] to the binary buffer until every byte is taken or the buffer takes no more;
// gives the number of bytes of the line written in all.
std::size_t write_bytes(PyObject* buffer, const std::string& line, std::size_t from, HeldInterrupt& interrupt) {
    while (from < line.size()) {
        const std::size_t offered = line.size() - from;
        PyObject* data = PyBytes_FromStringAndSize(line.data() + from, static_cast<Py_ssize_t>(offered));
        if (data == nullptr) {
            interrupt.settle();
            return from;
        }
        PyObject* result = PyObject_CallMethod(buffer, "write", "O", data);
        Py_DECREF(data);
        std::size_t taken = 0;
        if (result == nullptr) {
            taken = bytes_kept_by_failure(offered);
            interrupt.settle();
        } else {
            taken = bytes_taken(result, offered);
            Py_DECREF(result);
        }
        from += taken;
        // A failure, or a write that took nothing, means the buffer takes no more of this line now.
        if (result == nullptr || taken == 0) return from;
    }
    return from;
}

// The number of bytes of the line the stream took, from the start. Once its write has accepted bytes,
// a failing flush does not undo that: they count as written.
std::size_t write_to(PyObject* stream, const std::string& line, HeldInterrupt& interrupt) {
    PyObject* buffer = PyObject_GetAttrString(stream, "buffer");
    std::size_t written = 0;
    if (buffer != nullptr) {
        // The text layer is flushed first, so that what Python printed before comes out before the line.
        if (call_method(stream, "flush", nullptr, interrupt)) written = write_bytes(buffer, line, 0, interrupt);
        // Flushed also after a part only, so that the part comes out before the rest written elsewhere.
        if (written > 0) call_method(buffer, "flush", nullptr, interrupt);
        Py_DECREF(buffer);
        return written;
    }
    interrupt.settle();
    PyObject* data = PyUnicode_DecodeLatin1(line.data(), static_cast<Py_ssize_t>(line.size()), nullptr);
    // A text stream's write takes the whole text (the io classes never take part of it), whatever it returns.
    if (data != nullptr && call_method(stream, "write", data, interrupt)) {
        written = line.size();
        call_method(stream, "flush", nullptr, interrupt);
    }
    if (data == nullptr) interrupt.settle();
    Py_XDECREF(data);
    return written;
}

void write_line(const std::string& line, HeldInterrupt& interrupt) {
    // A strong reference: the stream's own methods may replace sys.stdout and drop the last other one.
    PyObject* stream = Py_XNewRef(PySys_GetObject("stdout"));
    const std::size_t written =
        stream != nullptr && stream != Py_None ? write_to(stream, line, interrupt) : std::size_t{0};
    Py_XDECREF(stream);
    // What the stream did not take goes to the process's standard output, after the part it took.
    if (written < line.size()) write_standard_output(line.substr(written));
}

}  // namespace

void write_diag_lines(const std::vector<std::string>& lines) {
    HeldInterrupt interrupt;
    for (const std::string& line : lines) write_line(line, interrupt);
}

}  // namespace binding
