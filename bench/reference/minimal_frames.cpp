// The nine minimal frames: the argument parsing of the module's frames, with direct conversions (an int,
// a float, a str or bytes text, a 32-bit float array) and none of the module's fallbacks and messages.
#include "minimal_frames.h"

#include <cstdint>
#include <cstring>

#include "noop_routines.h"
#include "numeric.h"

namespace bench {
namespace {

using Keywords = char*[];

constexpr char kBlank = ' ';
constexpr int kOwnLength = -1;
// Texts up to this length stay on the stack; longer ones take a buffer from Python's allocator.
constexpr int kSmallText = 64;

bool to_int(PyObject* obj, int32_t* out) {
    const long value = PyLong_AsLong(obj);
    if (value == -1 && PyErr_Occurred()) return false;
    if (value > INT32_MAX || value < INT32_MIN) {
        PyErr_SetString(PyExc_OverflowError, "Python int too large to convert to C int");
        return false;
    }
    *out = static_cast<int32_t>(value);
    return true;
}

bool to_float(PyObject* obj, float* out) {
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) return false;
    *out = session::round_to_float(value);
    return true;
}

// A text argument in a blank-padded field of its own, or a hidden text output of blanks.
class Text {
public:
    Text() = default;
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;
    ~Text() {
        if (data_ != small_) PyMem_Free(data_);
    }

    bool convert(PyObject* obj, int length) {
        const char* source = nullptr;
        Py_ssize_t n = 0;
        if (PyBytes_Check(obj)) {
            source = PyBytes_AS_STRING(obj);
            n = PyBytes_GET_SIZE(obj);
        } else if (PyUnicode_Check(obj)) {
            source = PyUnicode_AsUTF8AndSize(obj, &n);
            if (source == nullptr) return false;
        } else {
            PyErr_SetString(PyExc_TypeError, "a text argument must be str or bytes");
            return false;
        }
        if (length == kOwnLength) length = static_cast<int>(n);
        if (n > length) n = length;
        if (!reserve(length)) return false;
        std::memcpy(data_, source, static_cast<std::size_t>(n));
        std::memset(data_ + n, kBlank, static_cast<std::size_t>(length - n));
        return true;
    }

    bool make_hidden(int length) {
        if (!reserve(length)) return false;
        std::memset(data_, kBlank, static_cast<std::size_t>(length));
        return true;
    }

    // Trailing blanks become zero bytes: the bytes result ends before them.
    const char* trimmed() {
        for (int i = length_ - 1; i >= 0 && data_[i] == kBlank; --i) data_[i] = '\0';
        return data_;
    }

    char* data() { return data_; }
    int32_t length() const { return length_; }

private:
    bool reserve(int length) {
        if (length > kSmallText) {
            data_ = static_cast<char*>(PyMem_Malloc(static_cast<std::size_t>(length) + 1));
            if (data_ == nullptr) {
                data_ = small_;
                PyErr_NoMemory();
                return false;
            }
        }
        data_[length] = '\0';
        length_ = length;
        return true;
    }

    char small_[kSmallText + 1] = {};
    char* data_ = small_;
    int length_ = 0;
};

// A one-axis 32-bit float array in column-major order; the caller's own when it already is one.
PyArrayObject* float_array(PyObject* obj) {
    return reinterpret_cast<PyArrayObject*>(PyArray_FromAny(obj, PyArray_DescrFromType(NPY_FLOAT), 1, 1,
                                                            NPY_ARRAY_FARRAY_RO | NPY_ARRAY_FORCECAST, nullptr));
}

PyObject* zero_doubles(npy_intp length) {
    npy_intp dims[1] = {length};
    return PyArray_ZEROS(1, dims, NPY_DOUBLE, 1);
}

PyObject* frame_init(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("debuglevel"), nullptr};
    PyObject* level_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.init", keywords, &level_obj)) return nullptr;
    int32_t level = 0;
    if (!to_int(level_obj, &level)) return nullptr;
    Text pvers;
    if (!pvers.make_hidden(session::kPversLen)) return nullptr;
    reinterpret_cast<decltype(&noop_init)>(routine)(&level, pvers.data(), pvers.length());
    return Py_BuildValue("y", pvers.trimmed());
}

PyObject* frame_quit(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {nullptr};
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "|:_pyQorvane.quit", keywords)) return nullptr;
    reinterpret_cast<decltype(&noop_quit)>(routine)();
    return Py_BuildValue("");
}

PyObject* frame_loadmodel(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("modelname"), nullptr};
    PyObject* name_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.loadmodel", keywords, &name_obj)) return nullptr;
    Text name;
    if (!name.convert(name_obj, kOwnLength)) return nullptr;
    int32_t fstat = 0;
    reinterpret_cast<decltype(&noop_loadmodel)>(routine)(name.data(), &fstat, name.length());
    return Py_BuildValue("i", fstat);
}

PyObject* frame_get_unit_info(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("sattr"), nullptr};
    PyObject* sattr_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.get_unit_info", keywords, &sattr_obj)) return nullptr;
    Text sattr, ncur, nref;
    if (!sattr.convert(sattr_obj, session::kSattrLen) || !ncur.make_hidden(session::kUnitNameLen) ||
        !nref.make_hidden(session::kUnitNameLen))
        return nullptr;
    float coef = 0.0f;
    reinterpret_cast<decltype(&noop_get_unit_info)>(routine)(sattr.data(), &coef, ncur.data(), nref.data(),
                                                             sattr.length(), ncur.length(), nref.length());
    return Py_BuildValue("fyy", static_cast<double>(coef), ncur.trimmed(), nref.trimmed());
}

PyObject* frame_get_node(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("eid"), nullptr};
    PyObject* eid_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.get_node", keywords, &eid_obj)) return nullptr;
    Text eid;
    if (!eid.convert(eid_obj, kOwnLength)) return nullptr;
    int32_t idx = 0;
    float fz = 0.0f, fcs = 0.0f, fch = 0.0f;
    reinterpret_cast<decltype(&noop_get_node)>(routine)(eid.data(), &idx, &fz, &fcs, &fch, eid.length());
    return Py_BuildValue("ifff", idx, static_cast<double>(fz), static_cast<double>(fcs), static_cast<double>(fch));
}

PyObject* frame_set_col_node(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("eid"), const_cast<char*>("mode"), const_cast<char*>("tim"),
                                const_cast<char*>("val"), const_cast<char*>("nbp"), nullptr};
    PyObject *eid_obj = nullptr, *mode_obj = nullptr, *tim_obj = nullptr, *val_obj = nullptr, *nbp_obj = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOOO|O:_pyQorvane.set_col_node", keywords, &eid_obj, &mode_obj,
                                     &tim_obj, &val_obj, &nbp_obj))
        return nullptr;
    Text eid, mode;
    if (!eid.convert(eid_obj, kOwnLength) || !mode.convert(mode_obj, kOwnLength)) return nullptr;
    PyArrayObject* tim = float_array(tim_obj);
    if (tim == nullptr) return nullptr;
    int32_t nbp = static_cast<int32_t>(PyArray_DIM(tim, 0));
    PyObject* result = nullptr;
    if (nbp_obj != Py_None && !to_int(nbp_obj, &nbp)) {
        Py_DECREF(tim);
        return nullptr;
    }
    if (PyArray_DIM(tim, 0) != nbp) {
        PyErr_SetString(PyExc_ValueError, "tim must have nbp elements");
        Py_DECREF(tim);
        return nullptr;
    }
    PyArrayObject* val = float_array(val_obj);
    if (val != nullptr && PyArray_DIM(val, 0) == nbp) {
        int32_t fstat = 0;
        reinterpret_cast<decltype(&noop_set_col_node)>(routine)(
            eid.data(), mode.data(), static_cast<float*>(PyArray_DATA(tim)), static_cast<float*>(PyArray_DATA(val)),
            &fstat, &nbp, eid.length(), mode.length());
        result = Py_BuildValue("i", fstat);
    } else if (val != nullptr) {
        PyErr_SetString(PyExc_ValueError, "val must have nbp elements");
    }
    Py_XDECREF(val);
    Py_DECREF(tim);
    return result;
}

PyObject* frame_run_simulation(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("horizon"), const_cast<char*>("storefact"), nullptr};
    PyObject *horizon_obj = nullptr, *storefact_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OO|:_pyQorvane.run_simulation", keywords, &horizon_obj,
                                     &storefact_obj))
        return nullptr;
    float horizon = 0.0f, storefact = 0.0f;
    if (!to_float(horizon_obj, &horizon) || !to_float(storefact_obj, &storefact)) return nullptr;
    int32_t fstat = 0;
    reinterpret_cast<decltype(&noop_run_simulation)>(routine)(&horizon, &storefact, &fstat);
    return Py_BuildValue("i", fstat);
}

PyObject* frame_size_ts(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("typelt"), const_cast<char*>("eid"), const_cast<char*>("attribut"),
                                nullptr};
    PyObject *typelt_obj = nullptr, *eid_obj = nullptr, *attribut_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "OOO|:_pyQorvane.size_ts", keywords, &typelt_obj, &eid_obj,
                                     &attribut_obj))
        return nullptr;
    Text typelt, eid, attribut;
    if (!typelt.convert(typelt_obj, kOwnLength) || !eid.convert(eid_obj, kOwnLength) ||
        !attribut.convert(attribut_obj, kOwnLength))
        return nullptr;
    int32_t nval = 0;
    reinterpret_cast<decltype(&noop_size_ts)>(routine)(typelt.data(), eid.data(), attribut.data(), &nval,
                                                       typelt.length(), eid.length(), attribut.length());
    return Py_BuildValue("i", nval);
}

PyObject* frame_result_ts(void* routine, PyObject* args, PyObject* kwds) {
    static Keywords keywords = {const_cast<char*>("nval"), nullptr};
    PyObject* nval_obj = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, kwds, "O|:_pyQorvane.result_ts", keywords, &nval_obj)) return nullptr;
    int32_t nval = 0;
    if (!to_int(nval_obj, &nval)) return nullptr;
    PyObject* vdate = zero_doubles(nval);
    if (vdate == nullptr) return nullptr;
    PyObject* vval = zero_doubles(nval);
    if (vval == nullptr) {
        Py_DECREF(vdate);
        return nullptr;
    }
    reinterpret_cast<decltype(&noop_result_ts)>(routine)(
        &nval, static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(vdate))),
        static_cast<double*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(vval))));
    return Py_BuildValue("NN", vdate, vval);
}

template <typename Routine>
void* address_of(Routine routine) {
    return reinterpret_cast<void*>(routine);
}

}  // namespace

const FrameRow frame_rows[] = {
    {"init", frame_init, address_of(noop_init), address_of(session::init)},
    {"quit", frame_quit, address_of(noop_quit), address_of(session::quit)},
    {"loadmodel", frame_loadmodel, address_of(noop_loadmodel), address_of(session::loadmodel)},
    {"get_unit_info", frame_get_unit_info, address_of(noop_get_unit_info), address_of(session::get_unit_info)},
    {"get_node", frame_get_node, address_of(noop_get_node), address_of(session::get_node)},
    {"set_col_node", frame_set_col_node, address_of(noop_set_col_node), address_of(session::set_col_node)},
    {"run_simulation", frame_run_simulation, address_of(noop_run_simulation), address_of(session::run_simulation)},
    {"size_ts", frame_size_ts, address_of(noop_size_ts), address_of(session::size_ts)},
    {"result_ts", frame_result_ts, address_of(noop_result_ts), address_of(session::result_ts)},
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace bench
