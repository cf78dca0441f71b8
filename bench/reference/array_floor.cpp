// Array floor: allocating two float64 arrays and copying a stored curve into them, with nothing else.
#include "array_floor.h"

#include <cstring>
#include <vector>

namespace bench {
namespace {

constexpr double kStoredStep = 0.5;  // spacing of the stored curve's times

std::vector<double> stored_times;
std::vector<double> stored_values;

// The requested length, checked against the stored curve; -1 with an exception set otherwise.
npy_intp requested_length(PyObject* count) {
    const Py_ssize_t n = PyLong_AsSsize_t(count);
    if (n == -1 && PyErr_Occurred()) return -1;
    if (n < 0 || static_cast<std::size_t>(n) > stored_times.size()) {
        PyErr_SetString(PyExc_ValueError, "length outside the stored curve (call prepare_curve first)");
        return -1;
    }
    return static_cast<npy_intp>(n);
}

using MakeArray = PyObject* (*)(npy_intp length);

PyObject* uninitialised(npy_intp length) {
    npy_intp dims[1] = {length};
    return PyArray_SimpleNew(1, dims, NPY_DOUBLE);
}

PyObject* zeroed(npy_intp length) {
    npy_intp dims[1] = {length};
    return PyArray_ZEROS(1, dims, NPY_DOUBLE, 0);
}

PyObject* zero_filled_twice(npy_intp length) {
    PyObject* array = uninitialised(length);
    if (array == nullptr) return nullptr;
    void* data = PyArray_DATA(reinterpret_cast<PyArrayObject*>(array));
    const auto bytes = static_cast<std::size_t>(length) * sizeof(double);
    std::memset(data, 0, bytes);
    // The compiler may not merge the two fills: the second goes through a volatile pointer.
    void* (*volatile fill)(void*, int, std::size_t) = std::memset;
    fill(data, 0, bytes);
    return array;
}

void copy_stored(const std::vector<double>& stored, PyObject* array, npy_intp length) {
    std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array)), stored.data(),
                static_cast<std::size_t>(length) * sizeof(double));
}

PyObject* pair(PyObject* count, MakeArray make) {
    const npy_intp n = requested_length(count);
    if (n < 0) return nullptr;
    PyObject* times = make(n);
    if (times == nullptr) return nullptr;
    PyObject* values = make(n);
    if (values == nullptr) {
        Py_DECREF(times);
        return nullptr;
    }
    copy_stored(stored_times, times, n);
    copy_stored(stored_values, values, n);
    return Py_BuildValue("NN", times, values);
}

}  // namespace

PyObject* prepare_curve(PyObject*, PyObject* count) {
    const Py_ssize_t n = PyLong_AsSsize_t(count);
    if (n == -1 && PyErr_Occurred()) return nullptr;
    if (n < 0) {
        PyErr_SetString(PyExc_ValueError, "a curve cannot have a negative length");
        return nullptr;
    }
    try {
        stored_times.resize(static_cast<std::size_t>(n));
        stored_values.resize(static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    for (std::size_t i = 0; i < stored_times.size(); ++i) {
        stored_times[i] = static_cast<double>(i) * kStoredStep;
        stored_values[i] = static_cast<double>(i % 7);
    }
    Py_RETURN_NONE;
}

PyObject* filled_pair(PyObject*, PyObject* count) { return pair(count, uninitialised); }

PyObject* zeroed_pair(PyObject*, PyObject* count) { return pair(count, zeroed); }

PyObject* twice_zeroed_pair(PyObject*, PyObject* count) { return pair(count, zero_filled_twice); }

}  // namespace bench
