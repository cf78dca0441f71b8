// numpy's C interface as every source of the reference module includes it; reference_module.cpp imports it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#define PY_ARRAY_UNIQUE_SYMBOL bench_reference_ARRAY_API
#ifndef BENCH_REFERENCE_NUMPY_OWNER
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
