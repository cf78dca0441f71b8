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

// twice_zeroed_pair(n): the same from two arrays zero-filled twice: the work result_ts cannot skip, since
// numpy's f2py support zero-fills the hidden arrays it creates and the session routine zero-fills them again.
PyObject* twice_zeroed_pair(PyObject* module, PyObject* count);

}  // namespace bench
