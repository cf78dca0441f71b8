// numpy's C interface (through numpy's f2py header, for the fortran object's layout) as every source of the
// reference module includes it; reference_module.cpp owns the interface table.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#ifndef NPY_TARGET_VERSION
#define NPY_TARGET_VERSION NPY_1_20_API_VERSION
#endif
#ifndef BENCH_REFERENCE_NUMPY_OWNER
#define NO_IMPORT_ARRAY
#endif
#include "fortranobject.h"
