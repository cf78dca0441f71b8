// Module initialisation of _pyQorvane: numpy's interface, the attributes, the error class, the nine
// function objects made from the routine table, and the module-variable object.
#define QORVANE_NUMPY_API_OWNER
#include "numpy_api.h"

#include "convert.h"
#include "routines.h"
#include "variables.h"
#include "wrappers.h"

namespace binding {
namespace {

constexpr char kVersion[] = "2.2.5";

constexpr char kModuleDoc[] =
    "This module '_pyQorvane' is auto-generated with f2py (version:2.2.5).\n"
    "Functions:\n"
    "    pvers = init(debuglevel)\n"
    "    quit()\n"
    "    fstat = loadmodel(modelname)\n"
    "    coef,ncur,nref = get_unit_info(sattr)\n"
    "    idx,fz,fcs,fch = get_node(eid)\n"
    "    fstat = set_col_node(eid,mode,tim,val,nbp=shape(tim, 0))\n"
    "    fstat = run_simulation(horizon,storefact)\n"
    "    nval = size_ts(typelt,eid,attribut)\n"
    "    vdate,vval = result_ts(nval)\n"
    "Fortran 90/95 modules:\n"
    "  pyvuzizi --- sz_sid,sz_lid,stat_qordll,debug,qor_typelt,qor_attr,qor_id,vers_qordll.";

constexpr char kInitDoc[] =
    "pvers = init(debuglevel)\n\nWrapper for ``init``.\n\nParameters\n----------\ndebuglevel : input int\n\n"
    "Returns\n-------\npvers : string(len=4)";
constexpr char kQuitDoc[] = "quit()\n\nWrapper for ``quit``.\n";
constexpr char kLoadmodelDoc[] =
    "fstat = loadmodel(modelname)\n\nWrapper for ``loadmodel``.\n\nParameters\n----------\n"
    "modelname : input string(len=-1)\n\nReturns\n-------\nfstat : int";
constexpr char kGetUnitInfoDoc[] =
    "coef,ncur,nref = get_unit_info(sattr)\n\nWrapper for ``get_unit_info``.\n\nParameters\n----------\n"
    "sattr : input string(len=2)\n\nReturns\n-------\ncoef : float\nncur : string(len=6)\nnref : string(len=6)";
constexpr char kGetNodeDoc[] =
    "idx,fz,fcs,fch = get_node(eid)\n\nWrapper for ``get_node``.\n\nParameters\n----------\n"
    "eid : input string(len=-1)\n\nReturns\n-------\nidx : int\nfz : float\nfcs : float\nfch : float";
constexpr char kSetColNodeDoc[] =
    "fstat = set_col_node(eid,mode,tim,val,[nbp])\n\nWrapper for ``set_col_node``.\n\nParameters\n----------\n"
    "eid : input string(len=-1)\nmode : input string(len=-1)\ntim : input rank-1 array('f') with bounds (nbp)\n"
    "val : input rank-1 array('f') with bounds (nbp)\n\nOther Parameters\n----------------\n"
    "nbp : input int, optional\n    Default: shape(tim, 0)\n\nReturns\n-------\nfstat : int";
constexpr char kRunSimulationDoc[] =
    "fstat = run_simulation(horizon,storefact)\n\nWrapper for ``run_simulation``.\n\nParameters\n----------\n"
    "horizon : input float\nstorefact : input float\n\nReturns\n-------\nfstat : int";
constexpr char kSizeTsDoc[] =
    "nval = size_ts(typelt,eid,attribut)\n\nWrapper for ``size_ts``.\n\nParameters\n----------\n"
    "typelt : input string(len=-1)\neid : input string(len=-1)\nattribut : input string(len=-1)\n\n"
    "Returns\n-------\nnval : int";
constexpr char kResultTsDoc[] =
    "vdate,vval = result_ts(nval)\n\nWrapper for ``result_ts``.\n\nParameters\n----------\nnval : input int\n\n"
    "Returns\n-------\nvdate : rank-1 array('d') with bounds (nval)\nvval : rank-1 array('d') with bounds (nval)";

constexpr int kRoutineRank = -1;  // marks a routine in numpy's table record

// A routine-table row: the session routine as data, its call frame as function.
using Frame = PyObject* (*)(PyObject*, PyObject*, PyObject*, void*);

template <typename Routine>
FortranDataDef routine(const char* name, Routine session_routine, Frame frame, const char* doc) {
    FortranDataDef def{};
    def.name = const_cast<char*>(name);
    def.rank = kRoutineRank;
    def.dims.d[0] = -1;
    def.data = reinterpret_cast<char*>(session_routine);
    // numpy keeps the frame in its initialisation-function slot and calls it with its real type.
    def.func = reinterpret_cast<f2py_init_func>(reinterpret_cast<void (*)(void)>(frame));
    def.doc = const_cast<char*>(doc);
    return def;
}

FortranDataDef routine_table[] = {
    routine("init", session::init, call_init, kInitDoc),
    routine("quit", session::quit, call_quit, kQuitDoc),
    routine("loadmodel", session::loadmodel, call_loadmodel, kLoadmodelDoc),
    routine("get_unit_info", session::get_unit_info, call_get_unit_info, kGetUnitInfoDoc),
    routine("get_node", session::get_node, call_get_node, kGetNodeDoc),
    routine("set_col_node", session::set_col_node, call_set_col_node, kSetColNodeDoc),
    routine("run_simulation", session::run_simulation, call_run_simulation, kRunSimulationDoc),
    routine("size_ts", session::size_ts, call_size_ts, kSizeTsDoc),
    routine("result_ts", session::result_ts, call_result_ts, kResultTsDoc),
    FortranDataDef{},
};

PyMethodDef no_methods[] = {{nullptr, nullptr, 0, nullptr}};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "_pyQorvane", nullptr, -1, no_methods, nullptr, nullptr, nullptr, nullptr,
};

// Stores `value` (a new reference, possibly null) under `name`; false when either fails.
bool store(PyObject* dict, const char* name, PyObject* value) {
    if (value == nullptr) return false;
    const int status = PyDict_SetItemString(dict, name, value);
    Py_DECREF(value);
    return status == 0;
}

PyObject* initialise() {
    PyObject* module = PyModule_Create(&module_definition);
    if (module == nullptr) return nullptr;
    Py_SET_TYPE(&PyFortran_Type, &PyType_Type);

    if (_import_array() < 0) {
        PyErr_Print();
        PyErr_SetString(PyExc_ImportError, "numpy._core.multiarray failed to import");
        Py_DECREF(module);
        return nullptr;
    }
    if (PyErr_Occurred()) {
        PyErr_SetString(PyExc_ImportError, "can't initialize module _pyQorvane (failed to import numpy)");
        Py_DECREF(module);
        return nullptr;
    }

    PyObject* dict = PyModule_GetDict(module);  // borrowed
    if (!store(dict, "__version__", PyUnicode_FromString(kVersion)) ||
        !store(dict, "__doc__", PyUnicode_FromString(kModuleDoc)) ||
        !store(dict, "__f2py_numpy_version__", PyUnicode_FromString(kVersion))) {
        Py_DECREF(module);
        return nullptr;
    }
    module_error = PyErr_NewException("_pyQorvane.error", nullptr, nullptr);
    if (!store(dict, "__pyQorvane_error", module_error)) {
        Py_DECREF(module);
        return nullptr;
    }
    for (FortranDataDef* def = routine_table; def->name != nullptr; ++def) {
        if (!store(dict, def->name, PyFortranObject_NewAsAttr(def))) {
            Py_DECREF(module);
            return nullptr;
        }
    }
    if (!store(dict, "pyvuzizi", make_variable_object())) {
        Py_DECREF(module);
        return nullptr;
    }

    guard_variable_assignment();
    if (PyType_Ready(&PyFortran_Type) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}

}  // namespace
}  // namespace binding

PyMODINIT_FUNC PyInit__pyQorvane(void) { return binding::initialise(); }
