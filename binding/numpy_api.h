// numpy's C interface and f2py support declarations, included the same way by every binding source.
// binding/module.cpp defines QORVANE_NUMPY_API_OWNER and so owns numpy's interface table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#ifndef NPY_TARGET_VERSION
#define NPY_TARGET_VERSION NPY_1_20_API_VERSION
#endif
#ifndef QORVANE_NUMPY_API_OWNER
#define NO_IMPORT_ARRAY
#endif
#include "fortranobject.h"
