// Rebased module frames: the frame a _pyQorvane function object holds, called with a no-op routine, so that
// the frame's own cost can be set beside the minimal frame's without the engine's share.
#include "module_frame.h"

#include <cstring>

#include "minimal_frames.h"

namespace bench {
namespace {

constexpr int kRoutineRank = -1;  // numpy's table record marks a routine so

// How numpy's fortran object calls the frame it holds.
using ModuleFrame = PyObject* (*)(PyObject* self, PyObject* args, PyObject* kwds, void* routine);

struct RebasedCall {
    PyObject_HEAD
    PyObject* function;  // the module's function object, handed to its frame as `self`
    ModuleFrame frame;
    void* routine;
};

PyObject* rebased_call(PyObject* self, PyObject* args, PyObject* kwds) {
    auto* call = reinterpret_cast<RebasedCall*>(self);
    return call->frame(call->function, args, kwds, call->routine);
}

void rebased_dealloc(PyObject* self) {
    auto* call = reinterpret_cast<RebasedCall*>(self);
    PyTypeObject* type = Py_TYPE(self);
    Py_XDECREF(call->function);
    PyObject_Free(self);
    Py_DECREF(type);
}

PyType_Slot rebased_slots[] = {
    {Py_tp_call, reinterpret_cast<void*>(rebased_call)},
    {Py_tp_dealloc, reinterpret_cast<void*>(rebased_dealloc)},
    {Py_tp_doc, const_cast<char*>("A _pyQorvane frame called over a no-op routine.")},
    {0, nullptr},
};

PyType_Spec rebased_spec = {
    "_bench_reference.RebasedFrame", sizeof(RebasedCall), 0, Py_TPFLAGS_DEFAULT, rebased_slots,
};

PyTypeObject* rebased_type = nullptr;

void* noop_named(const char* name) {
    for (const FrameRow* row = frame_rows; row->name != nullptr; ++row)
        if (std::strcmp(row->name, name) == 0) return row->noop;
    return nullptr;
}

}  // namespace

PyObject* rebase(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 2 || !PyUnicode_Check(args[1])) {
        PyErr_SetString(PyExc_TypeError, "rebase(function, routine_name)");
        return nullptr;
    }
    PyObject* function = args[0];
    if (!PyFortran_Check1(function)) {
        PyErr_SetString(PyExc_TypeError, "rebase needs a function object of _pyQorvane");
        return nullptr;
    }
    const FortranDataDef* def = reinterpret_cast<PyFortranObject*>(function)->defs;
    if (def == nullptr || def->rank != kRoutineRank || def->func == nullptr) {
        PyErr_SetString(PyExc_TypeError, "the object holds no routine");
        return nullptr;
    }
    const char* name = PyUnicode_AsUTF8(args[1]);
    if (name == nullptr) return nullptr;
    void* routine = noop_named(name);
    if (routine == nullptr) {
        PyErr_Format(PyExc_ValueError, "no no-op routine named %s", name);
        return nullptr;
    }
    auto* call = PyObject_New(RebasedCall, rebased_type);
    if (call == nullptr) return nullptr;
    call->function = Py_NewRef(function);
    // numpy keeps the frame in the record's initialisation-function slot; it is called with its real type.
    call->frame = reinterpret_cast<ModuleFrame>(reinterpret_cast<void (*)()>(def->func));
    call->routine = routine;
    return reinterpret_cast<PyObject*>(call);
}

bool ready_module_frame_type(PyObject* module) {
    PyObject* type = PyType_FromSpec(&rebased_spec);
    if (type == nullptr) return false;
    if (PyModule_AddObjectRef(module, "RebasedFrame", type) < 0) {
        Py_DECREF(type);
        return false;
    }
    rebased_type = reinterpret_cast<PyTypeObject*>(type);  // the module keeps it alive
    Py_DECREF(type);
    return true;
}

}  // namespace bench
