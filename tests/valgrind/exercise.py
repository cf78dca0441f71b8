"""Every function of _pyQorvane over the stand-in engine, on success and failure paths: the workload valgrind watches."""

import sys

import numpy as np

import _pyQorvane as M

HORIZON_SECONDS = 5.0
STORE_EVERY = 1.0
# Element, identifier and attribute of result curves asked for; the last ones name nothing.
CURVES = (("NODE", "10", "P"), ("NOEUD", "10", "CH"), ("LINK", "10", "Q"), ("PUMP", "9", "Q"),
          ("NODE", "no-such-node", "P"), ("NODE", "10", "ZZ"), ("XX", "10", "P"))
# Arguments the frame refuses, one per conversion rule and array check.
REFUSED = ((M.init, (None,)), (M.init, (2**40,)), (M.loadmodel, ("r\u00e9seau.inp",)),
           (M.get_unit_info, (np.arange(6, dtype=np.uint8)[::2],)),
           (M.set_col_node, ("10", "CS", [0.0, 1.0], [1.0, 2.0, 3.0])),
           (M.set_col_node, ("10", "CS", [0.0, 1.0], [1.0, 2.0], 3)),
           (M.set_col_node, ("10", "CS", [[1.0], [2.0, 3.0]], [1.0])),
           (M.run_simulation, ("soon", 1.0)), (M.result_ts, (-1,)), (M.size_ts, ("NODE", "10")))


def refusals() -> int:
    refused = 0
    for function, args in REFUSED:
        try:
            function(*args)
        except Exception:  # noqa: BLE001 - any exception is a refusal; a crash is what is watched for
            refused += 1
    return refused


def curves() -> int:
    read = 0
    for typelt, eid, attribut in CURVES:
        count = M.size_ts(typelt, eid, attribut)
        for wanted in (max(count, 0), max(count // 2, 0), max(count, 0) + 3):
            times, values = M.result_ts(wanted)
            read += int(np.isfinite(times).sum() + np.isfinite(values).sum())
    return read


def main(network: str) -> int:
    version = M.init(1)
    for attribute in ("P", "Q", "CH", "ZZ", ""):
        M.get_unit_info(attribute)
    status = M.loadmodel(network)
    print(f"engine {version!r}, model {network}: status {status}")
    node = M.get_node("10")
    M.get_node("no-such-node")
    M.set_col_node("10", "CS", np.array([0.0, 2.0, 4.0], dtype=np.float32), [1.0, 1.5, 1.0])
    M.set_col_node("10", "XX", [0.0], [1.0])
    M.pyvuzizi.debug = 2
    run = M.run_simulation(HORIZON_SECONDS, STORE_EVERY)
    read = curves()
    M.pyvuzizi.debug = 1
    refused = refusals()
    M.quit()
    # The engine opens again lazily for a model.
    again = M.loadmodel(network)
    M.quit()
    print(f"node {node}, run {run}, {read} finite curve values, {refused} refusals, reload {again}")
    return 0 if refused == len(REFUSED) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
