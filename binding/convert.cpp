// Conversion rules of the call frame: integers, floats and texts, with the argument's message.
#include "convert.h"

#include <climits>
#include <cstring>

#include "numeric.h"

namespace binding {

PyObject* module_error = nullptr;

void raise_with_pending_type(const char* message) {
    if (!PyErr_Occurred()) {
        PyErr_SetString(module_error, message);
        return;
    }
    PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    // An encoding error cannot be made from a message alone: it keeps its details and takes
    // the message as its reason.
    if (value != nullptr && PyObject_TypeCheck(value, reinterpret_cast<PyTypeObject*>(PyExc_UnicodeEncodeError)) &&
        PyUnicodeEncodeError_SetReason(value, message) == 0) {
        PyErr_Restore(type, value, traceback);
        return;
    }
    PyObject* replacement = PyObject_CallFunction(type, "s", message);
    if (replacement == nullptr) {
        // A type that takes no single message keeps its own exception.
        PyErr_Clear();
        PyErr_Restore(type, value, traceback);
        return;
    }
    Py_XDECREF(value);
    Py_XDECREF(traceback);
    PyErr_SetObject(type, replacement);
    Py_DECREF(replacement);
    Py_DECREF(type);
}

namespace {

// The value of a Python int if it fits a signed 32-bit integer.
bool int_from_long(int* value, PyObject* number) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(number, &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
    if (overflow != 0 || v > INT_MAX || v < INT_MIN) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C int");
        return false;
    }
    *value = static_cast<int>(v);
    return true;
}

// The object a failed conversion retries with: the real part of a complex number or the first
// item of a sequence (texts are not retried). Null when there is none; the pending error then stands.
PyObject* retry_object(PyObject* obj) {
    if (PyComplex_Check(obj)) {
        PyErr_Clear();
        return PyObject_GetAttrString(obj, "real");
    }
    if (PyBytes_Check(obj) || PyUnicode_Check(obj)) return nullptr;
    if (PySequence_Check(obj)) {
        PyErr_Clear();
        return PySequence_GetItem(obj, 0);
    }
    return nullptr;
}

// Applies `rule` again to the retry object; a self-containing sequence ends in RecursionError.
template <typename T, typename Rule>
bool retry(T* value, PyObject* obj, const char* message, Rule rule) {
    PyObject* other = retry_object(obj);
    if (other == nullptr) return false;
    bool ok = false;
    if (Py_EnterRecursiveCall(" while converting an argument") == 0) {
        ok = rule(value, other, message);
        Py_LeaveRecursiveCall();
    }
    Py_DECREF(other);
    return ok;
}

}  // namespace

bool int_from_pyobj(int* value, PyObject* obj, const char* message) {
    if (PyLong_Check(obj)) return int_from_long(value, obj);
    if (PyObject* number = PyNumber_Long(obj)) {
        const bool ok = int_from_long(value, number);
        Py_DECREF(number);
        return ok;
    }
    if (retry(value, obj, message, int_from_pyobj)) return true;
    raise_with_pending_type(message);
    return false;
}

bool double_from_pyobj(double* value, PyObject* obj, const char* message) {
    if (PyFloat_Check(obj)) {
        *value = PyFloat_AsDouble(obj);
        return !(*value == -1.0 && PyErr_Occurred());
    }
    if (PyObject* number = PyNumber_Float(obj)) {
        *value = PyFloat_AsDouble(number);
        Py_DECREF(number);
        if (!(*value == -1.0 && PyErr_Occurred())) return true;
    } else if (retry(value, obj, message, double_from_pyobj)) {
        return true;
    }
    raise_with_pending_type(message);
    return false;
}

bool float_from_pyobj(float* value, PyObject* obj, const char* message) {
    double wide = 0.0;
    if (!double_from_pyobj(&wide, obj, message)) return false;
    *value = session::round_to_float(wide);
    return true;
}

namespace {

// An ASCII str is its own ASCII encoding: its characters are read in place, with no bytes object made.
bool ascii_in_place(PyObject* text, const char*& source, Py_ssize_t& n) {
#if PY_VERSION_HEX < 0x030C0000
    if (PyUnicode_READY(text) < 0) {
        PyErr_Clear();  // the encoding below reports it
        return false;
    }
#endif
    if (!PyUnicode_IS_ASCII(text)) return false;
    source = static_cast<const char*>(PyUnicode_DATA(text));
    n = PyUnicode_GET_LENGTH(text);
    return true;
}

}  // namespace

TextField::~TextField() {
    if (buffer_ != inline_) PyMem_Free(buffer_);
}

bool TextField::convert(int length, PyObject* obj, const char* message) {
    PyObject* owned = nullptr;  // bytes object holding the source, if one was made
    const char* source = "";
    Py_ssize_t n = 0;

    if (obj == Py_None) {
        // The initial text is always empty here.
    } else if (PyArray_Check(obj)) {
        auto* array = reinterpret_cast<PyArrayObject*>(obj);
        if (!PyArray_ISCONTIGUOUS(array)) {
            PyErr_SetString(PyExc_ValueError, "array object is non-contiguous.");
            raise_with_pending_type(message);
            return false;
        }
        source = static_cast<const char*>(PyArray_DATA(array));
        n = static_cast<Py_ssize_t>(strnlen(source, static_cast<std::size_t>(PyArray_NBYTES(array))));
    } else if (PyUnicode_Check(obj) && ascii_in_place(obj, source, n)) {
        // Read in place.
    } else {
        if (PyBytes_Check(obj)) {
            owned = Py_NewRef(obj);
        } else if (PyUnicode_Check(obj)) {
            owned = PyUnicode_AsASCIIString(obj);
        } else if (PyObject* text = PyObject_Str(obj)) {
            owned = PyUnicode_AsASCIIString(text);
            Py_DECREF(text);
        }
        if (owned == nullptr) {
            raise_with_pending_type(message);
            return false;
        }
        source = PyBytes_AS_STRING(owned);
        n = PyBytes_GET_SIZE(owned);
    }

    if (length == kOwnLength) {
        if (n > INT_MAX - 1) {
            Py_XDECREF(owned);
            PyErr_SetString(PyExc_OverflowError, "text too long");
            raise_with_pending_type(message);
            return false;
        }
        length = static_cast<int>(n);
    } else if (length < n) {
        n = length;
    }

    buffer_ = length <= kInlineLength ? inline_
                                      : static_cast<char*>(PyMem_Malloc(static_cast<std::size_t>(length) + 1));
    if (buffer_ == nullptr) {
        Py_XDECREF(owned);
        PyErr_NoMemory();
        raise_with_pending_type(message);
        return false;
    }
    length_ = length;
    // Copying stops at the first zero byte of the source. The zero bytes after the copied ones, up to the
    // end of the field, become blanks; the byte after the field stays zero.
    const std::size_t used = strnlen(source, static_cast<std::size_t>(n));
    std::memcpy(buffer_, source, used);
    Py_XDECREF(owned);
    std::memset(buffer_ + used, ' ', static_cast<std::size_t>(length) - used);
    buffer_[length] = '\0';
    return true;
}

void TextField::trim_for_result() {
    for (int i = length_ - 1; i >= 0 && buffer_[i] == ' '; --i) buffer_[i] = '\0';
}

}  // namespace binding
