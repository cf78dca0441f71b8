"""The type stub agrees with the module: the same functions, parameters and result arity."""
import ast
import re
from pathlib import Path

import pytest

import _pyQorvane as M

STUB = Path(__file__).resolve().parents[2] / "binding" / "_pyQorvane.pyi"
FUNCTIONS = ["init", "quit", "loadmodel", "get_unit_info", "get_node", "set_col_node",
             "run_simulation", "size_ts", "result_ts"]


def stub_functions():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.FunctionDef)}


def documented_signature(name):
    """Outputs and parameters from the first docstring line, e.g. 'fstat = set_col_node(eid,mode,tim,val,[nbp])'."""
    first = getattr(M, name).__doc__.splitlines()[0]
    match = re.fullmatch(r"(?:(?P<outs>[\w,]+) = )?(?P<name>\w+)\((?P<params>[^)]*)\)", first)
    assert match, first
    outs = match["outs"].split(",") if match["outs"] else []
    params = [p.strip("[]") for p in match["params"].split(",") if p]
    return outs, params


def test_stub_names_exactly_the_module_functions():
    assert sorted(stub_functions()) == sorted(FUNCTIONS)
    assert all(callable(getattr(M, name)) for name in FUNCTIONS)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_parameters_agree(name):
    stub = stub_functions()[name]
    _outs, params = documented_signature(name)
    assert [a.arg for a in stub.args.args] == params


@pytest.mark.parametrize("name", FUNCTIONS)
def test_result_arity_agrees(name):
    outs, _params = documented_signature(name)
    returns = stub_functions()[name].returns
    if len(outs) > 1:
        assert isinstance(returns, ast.Subscript) and ast.unparse(returns.value) == "tuple"
        assert len(returns.slice.elts) == len(outs)
    elif outs:
        assert ast.unparse(returns) in {"int", "bytes"}
    else:
        assert ast.unparse(returns) == "None"


def test_optional_parameter_is_optional_in_the_stub():
    stub = stub_functions()["set_col_node"]
    assert len(stub.args.defaults) == 1 and stub.args.args[-1].arg == "nbp"


def test_stub_declares_the_variables_and_error_class():
    text = STUB.read_text()
    assert "pyvuzizi:" in text and "class __pyQorvane_error(Exception)" in text
    tree = ast.parse(text)
    variables = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "_ModuleVariables")
    declared = [n.target.id for n in variables.body if isinstance(n, ast.AnnAssign)]
    assert declared == list(M.pyvuzizi.__dict__)[:8]
