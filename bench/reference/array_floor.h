// The floor of a result read: two new float64 arrays filled in C from a stored curve.
#pragma once

#include "numpy_use.h"

namespace bench {

// prepare_curve(n): stores a curve of n points for the fills below to copy from (not timed).
PyObject* prepare_curve(PyObject* module, PyObject* count);
// filled_pair(n): two new uninitialised float64 arrays of n elements, filled from the stored curve.
PyObject* filled_pair(PyObject* module, PyObject* count);
// zeroed_pair(n): the same from two zero-filled arrays (what a frame that zeroes its outputs starts from).
PyObject* zeroed_pair(PyObject* module, PyObject* count);

}  // namespace bench
