// The variable table, the variable setup and the guard in front of numpy's fortran_setattr.
#include "variables.h"

#include <cstring>
#include <string_view>

#include "state.h"

namespace binding {
namespace {

constexpr int kScalarRank = 0;
constexpr int kNumberElementSize = 1;  // numpy takes the size from the type

enum VariableIndex { kSzSid, kSzLid, kStatQordll, kDebug, kQorTypelt, kQorAttr, kQorId, kVersQordll, kVariableCount };

FortranDataDef variable_table[kVariableCount + 1] = {
    {const_cast<char*>("sz_sid"), kScalarRank, {{-1}}, NPY_INT, kNumberElementSize, nullptr, nullptr, nullptr},
    {const_cast<char*>("sz_lid"), kScalarRank, {{-1}}, NPY_INT, kNumberElementSize, nullptr, nullptr, nullptr},
    {const_cast<char*>("stat_qordll"), kScalarRank, {{-1}}, NPY_INT, kNumberElementSize, nullptr, nullptr, nullptr},
    {const_cast<char*>("debug"), kScalarRank, {{-1}}, NPY_INT, kNumberElementSize, nullptr, nullptr, nullptr},
    {const_cast<char*>("qor_typelt"), kScalarRank, {{-1}}, NPY_SHORT, kNumberElementSize, nullptr, nullptr, nullptr},
    {const_cast<char*>("qor_attr"), kScalarRank, {{-1}}, NPY_SHORT, kNumberElementSize, nullptr, nullptr, nullptr},
    {const_cast<char*>("qor_id"), kScalarRank, {{-1}}, NPY_STRING, session::kQorIdLen, nullptr, nullptr, nullptr},
    {const_cast<char*>("vers_qordll"), kScalarRank, {{-1}}, NPY_STRING, session::kVersQordllLen, nullptr, nullptr, nullptr},
    {nullptr, 0, {{0}}, 0, 0, nullptr, nullptr, nullptr},
};

bool is_constant(int index) { return index == kSzSid || index == kSzLid; }

// Stores the storage addresses as the entries' data; the text widths that follow are not needed.
void variable_setup(char* sz_sid, char* sz_lid, char* stat_qordll, char* debug, char* qor_typelt,
                    char* qor_attr, char* qor_id, char* vers_qordll, int, int) {
    char* addresses[kVariableCount] = {sz_sid, sz_lid, stat_qordll, debug, qor_typelt, qor_attr, qor_id, vers_qordll};
    for (int i = 0; i < kVariableCount; ++i) variable_table[i].data = addresses[i];
}

void initialise_variables() { session::export_variables(variable_setup); }

int find_variable(const char* name) {
    for (int i = 0; i < kVariableCount; ++i)
        if (std::strcmp(name, variable_table[i].name) == 0) return i;
    return -1;
}

// The view of a constant must never write its read-only storage: clear the flag and give the
// array a read-only base, so that numpy refuses to set the flag again.
bool make_read_only(PyObject* dict, const char* name) {
    PyObject* array = PyDict_GetItemString(dict, name);
    if (array == nullptr || !PyArray_Check(array)) return false;
    PyObject* base = PyBytes_FromStringAndSize(nullptr, 0);
    if (base == nullptr) return false;
    auto* view = reinterpret_cast<PyArrayObject*>(array);
    PyArray_CLEARFLAGS(view, NPY_ARRAY_WRITEABLE);
    return PyArray_SetBaseObject(view, base) == 0;  // steals `base`
}

// Bytes or an ASCII str as bytes; anything else is refused. New reference, or null with an exception set.
PyObject* plain_text_value(PyObject* value, const char* name) {
    if (PyBytes_Check(value)) return Py_NewRef(value);
    if (PyUnicode_Check(value)) return PyUnicode_AsASCIIString(value);
    PyErr_Format(PyExc_TypeError, "%s takes bytes or str, not %.200s", name, Py_TYPE(value)->tp_name);
    return nullptr;
}

// A text value as bytes: bytes as they are, str by its ASCII encoding, a numpy text scalar or
// zero-axis array by its item. The item is unwrapped once: an array holding an array (itself, say)
// is refused. New reference, or null with an exception set.
PyObject* text_value(PyObject* value, const char* name) {
    if (!PyArray_Check(value) || PyArray_NDIM(reinterpret_cast<PyArrayObject*>(value)) != 0)
        return plain_text_value(value, name);
    auto* array = reinterpret_cast<PyArrayObject*>(value);
    PyObject* item = PyArray_GETITEM(array, static_cast<const char*>(PyArray_DATA(array)));
    if (item == nullptr) return nullptr;
    PyObject* bytes = plain_text_value(item, name);
    Py_DECREF(item);
    return bytes;
}

int assign_text(int index, PyObject* value) {
    const FortranDataDef& entry = variable_table[index];
    PyObject* bytes = text_value(value, entry.name);
    if (bytes == nullptr) return -1;
    const Py_ssize_t n = PyBytes_GET_SIZE(bytes);
    if (n > entry.elsize) {
        PyErr_Format(PyExc_ValueError, "text longer than %d bytes for %s", entry.elsize, entry.name);
        Py_DECREF(bytes);
        return -1;
    }
    // Only the value's own bytes change; the rest of the field keeps what it held.
    std::memcpy(entry.data, PyBytes_AS_STRING(bytes), static_cast<std::size_t>(n));
    Py_DECREF(bytes);
    return 0;
}

int assign_number(int index, PyObject* value) {
    const FortranDataDef& entry = variable_table[index];
    PyObject* array = PyArray_FromAny(value, PyArray_DescrFromType(entry.type), 0, 0,
                                      NPY_ARRAY_FARRAY | NPY_ARRAY_FORCECAST, nullptr);
    if (array == nullptr) return -1;
    auto* converted = reinterpret_cast<PyArrayObject*>(array);
    if (PyArray_SIZE(converted) != 1) {
        PyErr_Format(PyExc_ValueError, "%s takes a single number, got %zd values", entry.name,
                     static_cast<Py_ssize_t>(PyArray_SIZE(converted)));
        Py_DECREF(array);
        return -1;
    }
    std::memcpy(entry.data, PyArray_DATA(converted), static_cast<std::size_t>(PyArray_ITEMSIZE(converted)));
    Py_DECREF(array);
    return 0;
}

setattrfunc numpy_setattr = nullptr;

// Assignments to the variables are converted here; everything else goes to numpy's setattr.
int guarded_setattr(PyObject* self, char* name, PyObject* value) {
    auto* object = reinterpret_cast<PyFortranObject*>(self);
    const int index = object->defs == variable_table ? find_variable(name) : -1;
    if (index < 0) return numpy_setattr(self, name, value);
    if (value == nullptr) {
        PyErr_Format(PyExc_AttributeError, "cannot delete fortran variable %s", name);
        return -1;
    }
    if (is_constant(index)) {
        PyErr_Format(PyExc_AttributeError, "%s is a constant", name);
        return -1;
    }
    return variable_table[index].type == NPY_STRING ? assign_text(index, value) : assign_number(index, value);
}

}  // namespace

void guard_variable_assignment() {
    if (PyFortran_Type.tp_setattr != guarded_setattr) {
        numpy_setattr = PyFortran_Type.tp_setattr;
        PyFortran_Type.tp_setattr = guarded_setattr;
    }
}

PyObject* make_variable_object() {
    PyObject* object = PyFortranObject_New(variable_table, initialise_variables);
    if (object == nullptr) return nullptr;
    PyObject* dict = reinterpret_cast<PyFortranObject*>(object)->dict;
    if (!make_read_only(dict, variable_table[kSzSid].name) || !make_read_only(dict, variable_table[kSzLid].name)) {
        Py_DECREF(object);
        return nullptr;
    }
    return object;
}

}  // namespace binding
