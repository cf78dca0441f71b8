// The module's own call frame taken out of one of its function objects and called over another routine.
#pragma once

#include "numpy_use.h"

namespace bench {

// rebase(function, routine_name): a callable that runs `function`'s frame (a _pyQorvane function object)
// over the no-op routine of that name instead of the session routine.
PyObject* rebase(PyObject* module, PyObject* const* args, Py_ssize_t nargs);

// Makes the callable type; false with an exception set.
bool ready_module_frame_type(PyObject* module);

}  // namespace bench
