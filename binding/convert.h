// The call frame's conversion rules for integer, float and text arguments, and the module's error class.
#pragma once

#include "numpy_api.h"

namespace binding {

// The error class _pyQorvane.error; the module dictionary owns it, this is a plain pointer for raising.
extern PyObject* module_error;

// Raises `message` with the type of the exception pending now, or the module's error class.
void raise_with_pending_type(const char* message);

// Each returns true on success, or false with an exception set.
bool int_from_pyobj(int* value, PyObject* obj, const char* message);
bool double_from_pyobj(double* value, PyObject* obj, const char* message);
bool float_from_pyobj(float* value, PyObject* obj, const char* message);

// A text argument or hidden text output in a buffer of its own (length + 1 bytes), freed with the object.
// Short fields use storage inside the object, so the common call allocates nothing.
class TextField {
public:
    TextField() = default;
    TextField(const TextField&) = delete;
    TextField& operator=(const TextField&) = delete;
    ~TextField();

    // The text rule: `length` is the field length, or kOwnLength for the text's own length.
    // Afterwards the field is blank-padded on the right, as the session routines expect.
    bool convert(int length, PyObject* obj, const char* message);
    // A hidden output: a field of `length` blanks.
    bool make_hidden(int length, const char* message) { return convert(length, Py_None, message); }

    char* data() const { return buffer_; }
    int length() const { return length_; }
    // Trailing blanks become zero bytes, so that the bytes result ends before them.
    void trim_for_result();

    static constexpr int kOwnLength = -1;

private:
    // Fields up to this length live in `inline_`; longer ones in a buffer from Python's allocator.
    static constexpr int kInlineLength = 64;

    char inline_[kInlineLength + 1];
    char* buffer_ = nullptr;
    int length_ = 0;
};

}  // namespace binding
