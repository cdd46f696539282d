#!/usr/bin/env python3
"""Writes the SDK's module definition file from a built DLL's export table.

    sdk_export_def.py OBJDUMP DLL DEF

Every export is listed exactly as the DLL names it: the stdcall ones decorated ("_Name@N"), the
caller-cleans ones bare. Import libraries made from it with the Microsoft rules ask the loader
for those exact names.
"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "cmake"))
from check_exports import read_exports  # noqa: E402


def main() -> int:
    objdump, dll, def_path = sys.argv[1:4]
    exports = read_exports(objdump, dll)
    if not exports:
        print(f"{dll}: no exports read", file=sys.stderr)
        return 1
    lines = [f"LIBRARY {pathlib.Path(dll).name}", "EXPORTS"]
    lines += [f"    {name}" for name in sorted(exports, key=lambda n: exports[n])]
    pathlib.Path(def_path).write_text("\n".join(lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
