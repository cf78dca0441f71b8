"""Drives the engine from Python through _pyQorvane: open, read the version, load a network, close."""
import sys
from pathlib import Path

import _pyQorvane as qorvane

HERE = Path(__file__).resolve().parent
NETWORK = HERE / "networks" / "pumping_main.inp"


def main() -> int:
    version = qorvane.init(1)
    if not qorvane.pyvuzizi.stat_qordll & 1:
        print("the engine did not open", file=sys.stderr)
        return 1
    print(f"engine version {version.decode()}")
    status = qorvane.loadmodel(str(NETWORK))
    if status != 0:
        print(f"loading {NETWORK} failed with code {status}", file=sys.stderr)
        qorvane.quit()
        return 1
    print(f"loaded {NETWORK.name}")
    qorvane.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
