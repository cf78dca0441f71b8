"""Module initialisation: attributes, docstrings, the error class and the nine function objects."""

import ctypes
import importlib.machinery
import os
import shutil
import subprocess
import sys
import textwrap

import pytest

import _pyQorvane as M

FUNCTION_NAMES = ("init", "quit", "loadmodel", "get_unit_info", "get_node", "set_col_node",
                  "run_simulation", "size_ts", "result_ts")

MODULE_DOC = (
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
    "  pyvuzizi --- sz_sid,sz_lid,stat_qordll,debug,qor_typelt,qor_attr,qor_id,vers_qordll."
)

FUNCTION_DOCS = {
    "init": "pvers = init(debuglevel)\n\nWrapper for ``init``.\n\nParameters\n----------\n"
            "debuglevel : input int\n\nReturns\n-------\npvers : string(len=4)",
    "quit": "quit()\n\nWrapper for ``quit``.\n",
    "loadmodel": "fstat = loadmodel(modelname)\n\nWrapper for ``loadmodel``.\n\nParameters\n----------\n"
                 "modelname : input string(len=-1)\n\nReturns\n-------\nfstat : int",
    "get_unit_info": "coef,ncur,nref = get_unit_info(sattr)\n\nWrapper for ``get_unit_info``.\n\n"
                     "Parameters\n----------\nsattr : input string(len=2)\n\nReturns\n-------\n"
                     "coef : float\nncur : string(len=6)\nnref : string(len=6)",
    "get_node": "idx,fz,fcs,fch = get_node(eid)\n\nWrapper for ``get_node``.\n\nParameters\n----------\n"
                "eid : input string(len=-1)\n\nReturns\n-------\nidx : int\nfz : float\nfcs : float\n"
                "fch : float",
    "set_col_node": "fstat = set_col_node(eid,mode,tim,val,[nbp])\n\nWrapper for ``set_col_node``.\n\n"
                    "Parameters\n----------\neid : input string(len=-1)\nmode : input string(len=-1)\n"
                    "tim : input rank-1 array('f') with bounds (nbp)\n"
                    "val : input rank-1 array('f') with bounds (nbp)\n\n"
                    "Other Parameters\n----------------\nnbp : input int, optional\n"
                    "    Default: shape(tim, 0)\n\nReturns\n-------\nfstat : int",
    "run_simulation": "fstat = run_simulation(horizon,storefact)\n\nWrapper for ``run_simulation``.\n\n"
                      "Parameters\n----------\nhorizon : input float\nstorefact : input float\n\n"
                      "Returns\n-------\nfstat : int",
    "size_ts": "nval = size_ts(typelt,eid,attribut)\n\nWrapper for ``size_ts``.\n\nParameters\n"
               "----------\ntypelt : input string(len=-1)\neid : input string(len=-1)\n"
               "attribut : input string(len=-1)\n\nReturns\n-------\nnval : int",
    "result_ts": "vdate,vval = result_ts(nval)\n\nWrapper for ``result_ts``.\n\nParameters\n----------\n"
                 "nval : input int\n\nReturns\n-------\nvdate : rank-1 array('d') with bounds (nval)\n"
                 "vval : rank-1 array('d') with bounds (nval)",
}


def test_module_attributes():
    assert M.__name__ == "_pyQorvane"
    assert M.__version__ == "2.2.5"
    assert M.__f2py_numpy_version__ == "2.2.5"
    assert M.__doc__ == MODULE_DOC


def test_module_file_is_an_extension_named_after_the_module():
    name = os.path.basename(M.__file__)
    assert any(name == "_pyQorvane" + suffix for suffix in importlib.machinery.EXTENSION_SUFFIXES)


def test_attributes_are_stored_in_order_of_initialisation():
    ours = ["__version__", "__f2py_numpy_version__", "__pyQorvane_error", *FUNCTION_NAMES, "pyvuzizi"]
    assert [name for name in vars(M) if name in ours] == ours


def test_module_has_no_builtin_functions():
    builtins = [name for name, value in vars(M).items() if isinstance(value, type(len))]
    assert builtins == []


@pytest.mark.skipif(shutil.which("nm") is None or not sys.platform.startswith("linux"),
                    reason="needs nm on an ELF platform")
def test_only_the_init_function_is_exported():
    listing = subprocess.run(["nm", "-D", "--defined-only", M.__file__], capture_output=True, text=True,
                             check=True).stdout
    exported = [line.split()[-1] for line in listing.splitlines()
                if len(line.split()) == 3 and line.split()[1] in "TDBRVWiu"]
    assert exported == ["PyInit__pyQorvane"]


class TestErrorClass:
    def test_reached_only_through_its_private_name(self):
        assert not hasattr(M, "error")
        error = getattr(M, "__pyQorvane_error")
        assert isinstance(error, type)

    def test_names_and_base(self):
        error = getattr(M, "__pyQorvane_error")
        assert error.__name__ == "error"
        assert error.__module__ == "_pyQorvane"
        assert error.__bases__ == (Exception,)


@pytest.mark.parametrize("name", FUNCTION_NAMES)
class TestFunctionObjects:
    def test_type_is_shared_with_the_variable_object(self, name):
        function = getattr(M, name)
        assert type(function).__name__ == "fortran"
        assert type(function) is type(M.pyvuzizi)
        assert callable(function)

    def test_name_and_repr(self, name):
        function = getattr(M, name)
        assert function.__name__ == f"function {name}"
        assert repr(function) == f"<fortran function {name}>"

    def test_doc_is_the_table_text_and_a_line_feed(self, name):
        assert getattr(M, name).__doc__ == FUNCTION_DOCS[name] + "\n"

    def test_dict_is_the_object_dictionary(self, name):
        function = getattr(M, name)
        assert isinstance(function.__dict__, dict)
        assert function.__dict__ is function.__dict__
        assert function.__dict__["__name__"] == f"function {name}"

    def test_cpointer_is_a_nameless_capsule_kept_after_first_access(self, name):
        function = getattr(M, name)
        capsule = function._cpointer
        assert type(capsule).__name__ == "PyCapsule"
        assert function._cpointer is capsule
        assert function.__dict__["_cpointer"] is capsule
        assert capsule_pointer(capsule) != 0

    def test_overwriting_the_routine_name_is_refused(self, name):
        function = getattr(M, name)
        with pytest.raises(AttributeError, match="^over-writing fortran routine$"):
            setattr(function, name, 0)
        assert function.__dict__.get(name) is None

    def test_other_attributes_go_to_the_dictionary(self, name):
        function = getattr(M, name)
        function.note = 5
        try:
            assert function.note == 5
            assert function.__dict__["note"] == 5
        finally:
            del function.note
        assert "note" not in function.__dict__


def capsule_pointer(capsule) -> int:
    get_pointer = ctypes.pythonapi.PyCapsule_GetPointer
    get_pointer.argtypes = [ctypes.py_object, ctypes.c_char_p]
    get_pointer.restype = ctypes.c_void_p
    return get_pointer(capsule, None) or 0


def test_cpointers_are_distinct_routines():
    pointers = {capsule_pointer(getattr(M, name)._cpointer) for name in FUNCTION_NAMES}
    assert len(pointers) == len(FUNCTION_NAMES)


def test_cpointer_of_quit_calls_the_session_routine(dbl):
    quit_routine = ctypes.CFUNCTYPE(None)(capsule_pointer(M.quit._cpointer))
    quit_routine()
    assert dbl.ops() == ["CloseQorvane"]


def test_cpointer_of_init_takes_the_table_arguments(dbl):
    dbl.writes("GetNumeroVersion", 0, b"9.8.7")
    init_routine = ctypes.CFUNCTYPE(None, ctypes.POINTER(ctypes.c_int32), ctypes.c_char_p, ctypes.c_int32)(
        capsule_pointer(M.init._cpointer))
    level = ctypes.c_int32(3)
    pvers = ctypes.create_string_buffer(b"    ", 5)
    init_routine(ctypes.byref(level), pvers, 4)
    assert dbl.calls_of("OpenQorvaneAPI")[0].i32(0) == 3
    assert pvers.raw[:4] == b"9.8."


def test_doc_and_cpointer_are_made_on_first_access(fresh):
    run = fresh("""
        before = sorted(M.init.__dict__)
        M.init.__doc__
        after_doc = sorted(M.init.__dict__)
        M.init._cpointer
        after_cpointer = sorted(M.init.__dict__)
        result = [before, after_doc, after_cpointer]
    """)
    before, after_doc, after_cpointer = run.value
    assert "__doc__" not in before and "_cpointer" not in before
    assert "__doc__" in after_doc and "_cpointer" not in after_doc
    assert "_cpointer" in after_cpointer


def test_importing_calls_no_engine_operation(fresh):
    assert fresh("result = dbl.ops()").value == []


# Import without a usable numpy interface: a new interpreter whose numpy core module is replaced, after
# numpy itself is imported, before the module is.
NUMPY_CORE = "numpy._core._multiarray_umath"


def import_with(setup: str) -> subprocess.CompletedProcess:
    script = textwrap.dedent(setup) + textwrap.dedent("""
        try:
            import _pyQorvane
        except ImportError as problem:
            print("ImportError:", problem)
        else:
            print("imported")
    """)
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=dict(os.environ),
                          timeout=60)


@pytest.mark.parametrize("setup, printed_error", [
    pytest.param(f"""
        import sys, types, numpy
        fake = types.ModuleType("{NUMPY_CORE}")
        fake._ARRAY_API = 5
        sys.modules["{NUMPY_CORE}"] = fake
    """, "RuntimeError: _ARRAY_API is not PyCapsule object", id="table-not-a-capsule"),
    pytest.param(f"""
        import sys, types, numpy
        sys.modules["{NUMPY_CORE}"] = types.ModuleType("{NUMPY_CORE}")
    """, "AttributeError", id="table-missing"),
    pytest.param(f"""
        import sys, numpy
        sys.modules["{NUMPY_CORE}"] = None
        sys.modules["numpy.core._multiarray_umath"] = None
    """, "ModuleNotFoundError", id="no-numpy-core"),
])
def test_import_fails_cleanly_without_numpy_interface(setup, printed_error):
    completed = import_with(setup)
    assert completed.returncode == 0, completed.stderr
    assert completed.stdout == "ImportError: numpy._core.multiarray failed to import\n"
    assert printed_error in completed.stderr


def test_import_falls_back_to_the_old_numpy_core_name():
    completed = import_with(f"""
        import sys, types
        import numpy
        legacy = types.ModuleType("numpy.core._multiarray_umath")
        legacy._ARRAY_API = sys.modules["{NUMPY_CORE}"]._ARRAY_API
        sys.modules["{NUMPY_CORE}"] = None
        sys.modules["numpy.core._multiarray_umath"] = legacy
    """)
    assert completed.stdout == "imported\n", completed.stderr
