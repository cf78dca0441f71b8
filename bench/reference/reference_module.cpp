// The bench's reference module _bench_reference: the floor builtin, the minimal frames as callable
// objects (one over a no-op and one over the session routine per function), the module's own frames
// rebased onto no-op routines, and the array floor.
#define BENCH_REFERENCE_NUMPY_OWNER
#include "numpy_use.h"

#include <string>

#include "array_floor.h"
#include "minimal_frames.h"
#include "module_frame.h"

namespace bench {
namespace {

// The floor of a call: a METH_FASTCALL builtin that ignores its arguments.
PyObject* floor_call(PyObject*, PyObject* const*, Py_ssize_t) { Py_RETURN_NONE; }

// A callable object whose tp_call runs a minimal frame over a routine.
struct MinimalCall {
    PyObject_HEAD
    MinimalFrame frame;
    void* routine;
};

PyObject* minimal_call(PyObject* self, PyObject* args, PyObject* kwds) {
    auto* call = reinterpret_cast<MinimalCall*>(self);
    return call->frame(call->routine, args, kwds);
}

PyType_Slot minimal_call_slots[] = {
    {Py_tp_call, reinterpret_cast<void*>(minimal_call)},
    {Py_tp_doc, const_cast<char*>("A minimal hand-written call frame over one routine.")},
    {0, nullptr},
};

PyType_Spec minimal_call_spec = {
    "_bench_reference.MinimalCall", sizeof(MinimalCall), 0, Py_TPFLAGS_DEFAULT, minimal_call_slots,
};

template <typename Function>
PyCFunction as_method(Function function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef methods[] = {
    {"floor", as_method(floor_call), METH_FASTCALL, "A no-op builtin: the floor of any call."},
    {"rebase", as_method(rebase), METH_FASTCALL, "rebase(function, name): the module's frame over a no-op."},
    {"prepare_curve", as_method(prepare_curve), METH_O, "Stores a curve of n points for the array floors."},
    {"filled_pair", as_method(filled_pair), METH_O, "Two new float64 arrays of n elements, filled from the curve."},
    {"zeroed_pair", as_method(zeroed_pair), METH_O, "The same, starting from zero-filled arrays."},
    {"twice_zeroed_pair", as_method(twice_zeroed_pair), METH_O, "The same, from arrays zero-filled twice."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_bench_reference",
    "References timed beside _pyQorvane: the floor builtin, minimal frames (noop_<name> over a no-op,\n"
    "session_<name> over the session routine) and the array floor.",
    -1, methods, nullptr, nullptr, nullptr, nullptr,
};

// Adds `<prefix><name>`: a minimal frame over `routine`.
bool add_call(PyObject* module, PyTypeObject* type, const std::string& name, MinimalFrame frame, void* routine) {
    auto* call = PyObject_New(MinimalCall, type);
    if (call == nullptr) return false;
    call->frame = frame;
    call->routine = routine;
    const bool added = PyModule_AddObjectRef(module, name.c_str(), reinterpret_cast<PyObject*>(call)) == 0;
    Py_DECREF(call);
    return added;
}

PyObject* initialise() {
    if (_import_array() < 0) return nullptr;
    PyObject* module = PyModule_Create(&module_definition);
    if (module == nullptr) return nullptr;
    PyObject* type = PyType_FromSpec(&minimal_call_spec);
    if (type == nullptr || PyModule_AddObjectRef(module, "MinimalCall", type) < 0) {
        Py_XDECREF(type);
        Py_DECREF(module);
        return nullptr;
    }
    if (!ready_module_frame_type(module)) {
        Py_DECREF(type);
        Py_DECREF(module);
        return nullptr;
    }
    auto* call_type = reinterpret_cast<PyTypeObject*>(type);
    for (const FrameRow* row = frame_rows; row->name != nullptr; ++row) {
        if (!add_call(module, call_type, std::string("noop_") + row->name, row->frame, row->noop) ||
            !add_call(module, call_type, std::string("session_") + row->name, row->frame, row->session)) {
            Py_DECREF(type);
            Py_DECREF(module);
            return nullptr;
        }
    }
    Py_DECREF(type);
    return module;
}

}  // namespace
}  // namespace bench

PyMODINIT_FUNC PyInit__bench_reference(void) { return bench::initialise(); }
