// The module-variable object `pyvuzizi`: numpy's fortran object over the session's variables.
#pragma once

#include "numpy_api.h"

namespace binding {

// Wraps the fortran type's setattr with the variables' guard; call before the type is made ready.
void guard_variable_assignment();

// Makes the object from the variable table and the session's variable export; null on failure.
PyObject* make_variable_object();

}  // namespace binding
