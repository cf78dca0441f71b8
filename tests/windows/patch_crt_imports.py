"""Test environment only, for wine 8.0: points the math API-set import of extension modules (numpy's, pandas') at
the DLL of crt_math_forwarder.c, a name of the same length, so the import tables keep their layout."""

import pathlib
import sys

API_SET = b"api-ms-win-crt-math-l1-1-0.dll"
FORWARDER = b"qrv-ms-win-crt-math-l1-1-0.dll"
assert len(API_SET) == len(FORWARDER)


def patch(package: pathlib.Path) -> int:
    patched = 0
    for module in package.rglob("*.pyd"):
        data = module.read_bytes()
        if API_SET in data:
            module.write_bytes(data.replace(API_SET, FORWARDER))
            patched += 1
    return patched


if __name__ == "__main__":
    count = patch(pathlib.Path(sys.argv[1]))
    print(f"math imports of {count} extension modules of {sys.argv[1]} point at {FORWARDER.decode()}")
