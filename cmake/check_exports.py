#!/usr/bin/env python3
"""Compares a DLL's export table, read from the built file, with the list kept in the repository.

    check_exports.py OBJDUMP DLL LIST

LIST holds one export a line: the exact exported name, optionally preceded by its ordinal
("3 DllRegisterServer"), in which case the ordinal must match too. Blank lines and lines
starting with '#' are ignored. Any missing, extra or misspelt name (or wrong ordinal) fails.
"""
import re
import subprocess
import sys


def read_exports(objdump: str, dll: str) -> dict:
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True, text=True).stdout
    base_match = re.search(r"Ordinal Base (\d+)", text)
    base = int(base_match.group(1)) if base_match else 1
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    exports = {}
    if len(table) == 2:
        for line in table[1].splitlines():
            m = re.match(r"\s*\[\s*(\d+)\]\s+(\S+)\s*$", line)
            if m:
                exports[m.group(2)] = int(m.group(1)) + base
            elif exports and not line.strip():
                break
    return exports


def read_list(path: str) -> dict:
    wanted = {}
    for raw in open(path, encoding="utf-8"):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        parts = line.split()
        if len(parts) == 2:
            wanted[parts[1]] = int(parts[0])
        else:
            wanted[parts[0]] = None
    return wanted


def main() -> int:
    objdump, dll, listed = sys.argv[1:4]
    actual = read_exports(objdump, dll)
    wanted = read_list(listed)
    missing = sorted(set(wanted) - set(actual))
    extra = sorted(set(actual) - set(wanted))
    wrong_ordinal = sorted(n for n, o in wanted.items() if o is not None and n in actual and actual[n] != o)
    for name in missing:
        print(f"missing export: {name}")
    for name in extra:
        print(f"unexpected export: {name}")
    for name in wrong_ordinal:
        print(f"export {name}: ordinal {actual[name]}, expected {wanted[name]}")
    ok = not (missing or extra or wrong_ordinal)
    print(f"{dll}: {len(actual)} exports, {'match' if ok else 'MISMATCH with'} {listed}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
