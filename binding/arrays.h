// Array arguments and hidden array results of the call frame, over numpy's ndarray_from_pyobj.
#pragma once

#include "numpy_api.h"

namespace binding {

// Flag values handed to numpy's conversion.
inline constexpr int kIntentIn = F2PY_INTENT_IN;
inline constexpr int kIntentHiddenOut = F2PY_INTENT_HIDE | F2PY_INTENT_OUT;

// A one-axis input array of 32-bit floats. Holds either the caller's own array (no reference
// taken) or an array of its own, released with the object.
class InputArray {
public:
    InputArray() = default;
    InputArray(const InputArray&) = delete;
    InputArray& operator=(const InputArray&) = delete;
    ~InputArray();

    // `dims` holds -1 (length from the argument, settled there) or the required length.
    bool convert(PyObject* obj, npy_intp* dims, const char* message);
    float* data() const { return static_cast<float*>(PyArray_DATA(array_)); }

private:
    PyArrayObject* array_ = nullptr;
    PyObject* caller_ = nullptr;
};

// A hidden output array of `length` 64-bit floats, zero-filled; owned until released to the result.
class HiddenArray {
public:
    HiddenArray() = default;
    HiddenArray(const HiddenArray&) = delete;
    HiddenArray& operator=(const HiddenArray&) = delete;
    ~HiddenArray() { Py_XDECREF(array_); }

    bool make(npy_intp length, const char* message);
    double* data() const { return static_cast<double*>(PyArray_DATA(array_)); }
    // Hands the reference over (to a result tuple).
    PyObject* release();

private:
    PyArrayObject* array_ = nullptr;
};

}  // namespace binding
