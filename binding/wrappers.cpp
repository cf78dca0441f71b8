// The nine call frames. Each parses its arguments, converts them in order (the first failure
// skips the call), calls the session routine with zeroed outputs and builds the result; the
// temporaries are released in reverse order of making when the frame's locals go out of scope.
#include "wrappers.h"

#include <climits>
#include <cstdio>

#include "arrays.h"
#include "convert.h"
#include "routine_edge.h"
#include "routines.h"

namespace binding {
namespace {

using Keywords = char*[];

}  // namespace

PyObject* call_init(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<InitRoutine>(address);
    static Keywords keywords = {const_cast<char*>("debuglevel"), nullptr};
    PyObject* debuglevel_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.init", keywords, &debuglevel_obj)) return nullptr;
    int debuglevel = 0;
    if (!int_from_pyobj(&debuglevel, debuglevel_obj,
                        "_pyQorvane.init() 1st argument (debuglevel) can't be converted to int"))
        return nullptr;
    TextField pvers;
    if (!pvers.make_hidden(session::kPversLen,
                           "string_from_pyobj failed in converting hidden`pvers' of _pyQorvane.init to C string"))
        return nullptr;
    const bool done = run_routine("_pyQorvane.init", [&] {
        routine(&debuglevel, pvers.data(), pvers.length());
    });
    if (!done) return nullptr;
    pvers.trim_for_result();
    return Py_BuildValue("y", pvers.data());
}

PyObject* call_quit(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<QuitRoutine>(address);
    static Keywords keywords = {nullptr};
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "|:_pyQorvane.quit", keywords)) return nullptr;
    const bool done = run_routine("_pyQorvane.quit", [&] {
        routine();
    });
    if (!done) return nullptr;
    return Py_BuildValue("");
}

PyObject* call_loadmodel(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<LoadmodelRoutine>(address);
    static Keywords keywords = {const_cast<char*>("modelname"), nullptr};
    PyObject* modelname_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.loadmodel", keywords, &modelname_obj)) return nullptr;
    TextField modelname;
    if (!modelname.convert(TextField::kOwnLength, modelname_obj,
                           "string_from_pyobj failed in converting 1st argument`modelname' of "
                           "_pyQorvane.loadmodel to C string"))
        return nullptr;
    int32_t fstat = 0;
    const bool done = run_routine("_pyQorvane.loadmodel", [&] {
        routine(modelname.data(), &fstat, modelname.length());
    });
    if (!done) return nullptr;
    return Py_BuildValue("i", fstat);
}

PyObject* call_get_unit_info(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<GetUnitInfoRoutine>(address);
    static Keywords keywords = {const_cast<char*>("sattr"), nullptr};
    PyObject* sattr_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.get_unit_info", keywords, &sattr_obj)) return nullptr;
    TextField sattr;
    if (!sattr.convert(session::kSattrLen, sattr_obj,
                       "string_from_pyobj failed in converting 1st argument`sattr' of _pyQorvane.get_unit_info "
                       "to C string"))
        return nullptr;
    TextField ncur;
    if (!ncur.make_hidden(session::kUnitNameLen,
                          "string_from_pyobj failed in converting hidden`ncur' of _pyQorvane.get_unit_info to C "
                          "string"))
        return nullptr;
    TextField nref;
    if (!nref.make_hidden(session::kUnitNameLen,
                          "string_from_pyobj failed in converting hidden`nref' of _pyQorvane.get_unit_info to C "
                          "string"))
        return nullptr;
    float coef = 0.0f;
    const bool done = run_routine("_pyQorvane.get_unit_info", [&] {
        routine(sattr.data(), &coef, ncur.data(), nref.data(),
                sattr.length(), ncur.length(), nref.length());
    });
    if (!done) return nullptr;
    ncur.trim_for_result();
    nref.trim_for_result();
    return Py_BuildValue("fyy", static_cast<double>(coef), ncur.data(), nref.data());
}

PyObject* call_get_node(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<GetNodeRoutine>(address);
    static Keywords keywords = {const_cast<char*>("eid"), nullptr};
    PyObject* eid_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.get_node", keywords, &eid_obj)) return nullptr;
    TextField eid;
    if (!eid.convert(TextField::kOwnLength, eid_obj,
                     "string_from_pyobj failed in converting 1st argument`eid' of _pyQorvane.get_node to C string"))
        return nullptr;
    int32_t idx = 0;
    float fz = 0.0f, fcs = 0.0f, fch = 0.0f;
    const bool done = run_routine("_pyQorvane.get_node", [&] {
        routine(eid.data(), &idx, &fz, &fcs, &fch, eid.length());
    });
    if (!done) return nullptr;
    return Py_BuildValue("ifff", idx, static_cast<double>(fz), static_cast<double>(fcs), static_cast<double>(fch));
}

PyObject* call_set_col_node(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<SetColNodeRoutine>(address);
    static Keywords keywords = {const_cast<char*>("eid"), const_cast<char*>("mode"), const_cast<char*>("tim"),
                                const_cast<char*>("val"), const_cast<char*>("nbp"), nullptr};
    PyObject *eid_obj = Py_None, *mode_obj = Py_None, *tim_obj = Py_None, *val_obj = Py_None, *nbp_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOOO|O:_pyQorvane.set_col_node", keywords, &eid_obj, &mode_obj,
                                     &tim_obj, &val_obj, &nbp_obj))
        return nullptr;
    TextField eid;
    if (!eid.convert(TextField::kOwnLength, eid_obj,
                     "string_from_pyobj failed in converting 1st argument`eid' of _pyQorvane.set_col_node to C "
                     "string"))
        return nullptr;
    TextField mode;
    if (!mode.convert(TextField::kOwnLength, mode_obj,
                      "string_from_pyobj failed in converting 2nd argument`mode' of _pyQorvane.set_col_node to C "
                      "string"))
        return nullptr;
    npy_intp tim_dims[1] = {-1};
    InputArray tim;
    if (!tim.convert(tim_obj, tim_dims,
                     "_pyQorvane._pyQorvane.set_col_node: failed to create array from the 3rd argument `tim`"))
        return nullptr;
    int nbp = 0;
    if (nbp_obj == Py_None) {
        // A length beyond the 32-bit range cannot be a count: it fails the check below.
        nbp = tim_dims[0] > INT_MAX ? INT_MAX : static_cast<int>(tim_dims[0]);
    } else if (!int_from_pyobj(&nbp, nbp_obj,
                               "_pyQorvane.set_col_node() 1st keyword (nbp) can't be converted to int")) {
        return nullptr;
    }
    if (tim_dims[0] != nbp) {
        char text[256];
        std::snprintf(text, sizeof text, "%s: set_col_node:nbp=%d", "(shape(tim, 0) == nbp) failed for 1st keyword nbp",
                      nbp);
        PyErr_SetString(module_error, text);
        return nullptr;
    }
    npy_intp val_dims[1] = {nbp};
    InputArray val;
    if (!val.convert(val_obj, val_dims,
                     "_pyQorvane._pyQorvane.set_col_node: failed to create array from the 4th argument `val`"))
        return nullptr;
    int32_t fstat = 0;
    const bool done = run_routine("_pyQorvane.set_col_node", [&] {
        routine(eid.data(), mode.data(), tim.data(), val.data(), &fstat, &nbp,
                eid.length(), mode.length());
    });
    if (!done) return nullptr;
    return Py_BuildValue("i", fstat);
}

PyObject* call_run_simulation(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<RunSimulationRoutine>(address);
    static Keywords keywords = {const_cast<char*>("horizon"), const_cast<char*>("storefact"), nullptr};
    PyObject *horizon_obj = Py_None, *storefact_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO|:_pyQorvane.run_simulation", keywords, &horizon_obj,
                                     &storefact_obj))
        return nullptr;
    float horizon = 0.0f;
    if (!float_from_pyobj(&horizon, horizon_obj,
                          "_pyQorvane.run_simulation() 1st argument (horizon) can't be converted to float"))
        return nullptr;
    float storefact = 0.0f;
    if (!float_from_pyobj(&storefact, storefact_obj,
                          "_pyQorvane.run_simulation() 2nd argument (storefact) can't be converted to float"))
        return nullptr;
    int32_t fstat = 0;
    const bool done = run_routine("_pyQorvane.run_simulation", [&] {
        routine(&horizon, &storefact, &fstat);
    });
    if (!done) return nullptr;
    return Py_BuildValue("i", fstat);
}

PyObject* call_size_ts(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<SizeTsRoutine>(address);
    static Keywords keywords = {const_cast<char*>("typelt"), const_cast<char*>("eid"), const_cast<char*>("attribut"),
                                nullptr};
    PyObject *typelt_obj = Py_None, *eid_obj = Py_None, *attribut_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOO|:_pyQorvane.size_ts", keywords, &typelt_obj, &eid_obj,
                                     &attribut_obj))
        return nullptr;
    TextField typelt;
    if (!typelt.convert(TextField::kOwnLength, typelt_obj,
                        "string_from_pyobj failed in converting 1st argument`typelt' of _pyQorvane.size_ts to C "
                        "string"))
        return nullptr;
    TextField eid;
    if (!eid.convert(TextField::kOwnLength, eid_obj,
                     "string_from_pyobj failed in converting 2nd argument`eid' of _pyQorvane.size_ts to C string"))
        return nullptr;
    TextField attribut;
    if (!attribut.convert(TextField::kOwnLength, attribut_obj,
                          "string_from_pyobj failed in converting 3rd argument`attribut' of _pyQorvane.size_ts to C "
                          "string"))
        return nullptr;
    int32_t nval = 0;
    const bool done = run_routine("_pyQorvane.size_ts", [&] {
        routine(typelt.data(), eid.data(), attribut.data(), &nval,
                typelt.length(), eid.length(), attribut.length());
    });
    if (!done) return nullptr;
    return Py_BuildValue("i", nval);
}

PyObject* call_result_ts(PyObject*, PyObject* args, PyObject* kwds, void* address) {
    const auto routine = reinterpret_cast<ResultTsRoutine>(address);
    static Keywords keywords = {const_cast<char*>("nval"), nullptr};
    PyObject* nval_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.result_ts", keywords, &nval_obj)) return nullptr;
    int nval = 0;
    if (!int_from_pyobj(&nval, nval_obj, "_pyQorvane.result_ts() 1st argument (nval) can't be converted to int"))
        return nullptr;
    HiddenArray vdate;
    if (!vdate.make(nval, "_pyQorvane._pyQorvane.result_ts: failed to create array from the hidden `vdate`"))
        return nullptr;
    HiddenArray vval;
    if (!vval.make(nval, "_pyQorvane._pyQorvane.result_ts: failed to create array from the hidden `vval`"))
        return nullptr;
    const bool done = run_routine("_pyQorvane.result_ts", [&] {
        routine(&nval, vdate.data(), vval.data());
    });
    if (!done) return nullptr;
    return Py_BuildValue("NN", vdate.release(), vval.release());
}

}  // namespace binding
