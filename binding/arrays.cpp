// Array conversions. numpy's ndarray_from_pyobj releases the type descriptor once too often when
// an array cannot be allocated, and when PyArray_FromAny fails on an object that is not an array;
// the module converts such objects with numpy itself first and makes up for the allocation case,
// so numpy's shared descriptors keep their references.
#include "arrays.h"

#include "convert.h"

namespace binding {
namespace {

// ndarray_from_pyobj released one reference of the built-in descriptor of `type_num` that it did
// not own; take one back.
void restore_descriptor_reference(int type_num) { (void)PyArray_DescrFromType(type_num); }

// Element size handed to the conversion; for number types numpy takes the size from the type.
constexpr int kTypeElementSize = 1;
constexpr int kRank = 1;

}  // namespace

InputArray::~InputArray() {
    if (array_ != nullptr && reinterpret_cast<PyObject*>(array_) != caller_) Py_DECREF(array_);
}

bool InputArray::convert(PyObject* obj, npy_intp* dims, const char* message) {
    caller_ = obj;
    PyObject* source = obj;
    PyObject* converted = nullptr;
    if (!PyArray_Check(obj)) {
        // What the conversion would do for a non-array object, without its faulty failure path.
        converted = PyArray_FromAny(obj, PyArray_DescrFromType(NPY_FLOAT), 0, 0,
                                    NPY_ARRAY_FARRAY | NPY_ARRAY_FORCECAST, nullptr);
        if (converted == nullptr) {
            if (!PyErr_Occurred()) PyErr_SetString(module_error, message);
            return false;
        }
        source = converted;
    }
    array_ = ndarray_from_pyobj(NPY_FLOAT, kTypeElementSize, dims, kRank, kIntentIn, source, message);
    if (array_ == nullptr) {
        if (PyArray_Check(obj) && PyErr_ExceptionMatches(PyExc_MemoryError)) restore_descriptor_reference(NPY_FLOAT);
        Py_XDECREF(converted);
        if (!PyErr_Occurred()) PyErr_SetString(module_error, message);
        return false;
    }
    // The array made from a non-array object belongs to this object, whether returned as is or copied.
    if (converted != nullptr && reinterpret_cast<PyObject*>(array_) != converted) Py_DECREF(converted);
    return true;
}

bool HiddenArray::make(npy_intp length, const char* message) {
    npy_intp dims[kRank] = {length};
    array_ = ndarray_from_pyobj(NPY_DOUBLE, kTypeElementSize, dims, kRank, kIntentHiddenOut, Py_None, message);
    if (array_ == nullptr) {
        // A defined length can only fail in the allocation, whose failure path over-releases.
        if (length >= 0) restore_descriptor_reference(NPY_DOUBLE);
        if (!PyErr_Occurred()) PyErr_SetString(module_error, message);
        return false;
    }
    return true;
}

PyObject* HiddenArray::release() {
    PyObject* array = reinterpret_cast<PyObject*>(array_);
    array_ = nullptr;
    return array;
}

}  // namespace binding
