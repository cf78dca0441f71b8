// The call frames of the nine functions: parse, convert, call the session routine, build the result.
#pragma once

#include <cstdint>

#include "numpy_api.h"

namespace binding {

// Typed session routines. numpy's fortran object calls a frame with the routine's address as
// its last argument; the frame calls the routine through its own type.
using InitRoutine = void (*)(int32_t*, char*, int32_t);
using QuitRoutine = void (*)();
using LoadmodelRoutine = void (*)(char*, int32_t*, int32_t);
using GetUnitInfoRoutine = void (*)(char*, float*, char*, char*, int32_t, int32_t, int32_t);
using GetNodeRoutine = void (*)(char*, int32_t*, float*, float*, float*, int32_t);
using SetColNodeRoutine = void (*)(char*, char*, float*, float*, int32_t*, int32_t*, int32_t, int32_t);
using RunSimulationRoutine = void (*)(float*, float*, int32_t*);
using SizeTsRoutine = void (*)(char*, char*, char*, int32_t*, int32_t, int32_t, int32_t);
using ResultTsRoutine = void (*)(int32_t*, double*, double*);

PyObject* call_init(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // InitRoutine
PyObject* call_quit(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // QuitRoutine
PyObject* call_loadmodel(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // LoadmodelRoutine
PyObject* call_get_unit_info(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // GetUnitInfoRoutine
PyObject* call_get_node(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // GetNodeRoutine
PyObject* call_set_col_node(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // SetColNodeRoutine
PyObject* call_run_simulation(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // RunSimulationRoutine
PyObject* call_size_ts(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // SizeTsRoutine
PyObject* call_result_ts(PyObject* self, PyObject* args, PyObject* kwds, void* routine);  // ResultTsRoutine

}  // namespace binding
