#!/usr/bin/env python3
"""Writes the GevrastSSE module definition files from the public headers.

Every export is declared once, in include/gevrast/*.h, as
    GEVRAST_API(type) Name(args);          stdcall, exported as "_Name@N"
    GEVRAST_CDECL_API(type) Name(args);    caller-cleans, exported as "Name"
where N is four times the argument count: every argument of the library is 32 bits, and the
link fails if a definition disagrees with the count declared here.

Writes two files: the .def the DLL is linked with, and the .def its import library is made
from (the import library lets our own tests call the DLL as a game client does).
"""
import pathlib
import re
import sys

DECL = re.compile(r"^\s*GEVRAST_(CDECL_)?API\s*\(([^)]*)\)\s*(\w+)\s*\(([^;{]*)\)\s*[;{]", re.M)


def argument_count(args: str) -> int:
    args = re.sub(r"\s+", " ", args).strip()
    if args in ("", "void"):
        return 0
    depth, count = 0, 1
    for ch in args:
        if ch in "([":
            depth += 1
        elif ch in ")]":
            depth -= 1
        elif ch == "," and depth == 0:
            count += 1
    return count


def main() -> int:
    include_dir, link_def, import_def = map(pathlib.Path, sys.argv[1:4])
    exports = []
    for header in sorted(include_dir.glob("gevrast/*.h")):
        text = header.read_text(encoding="utf-8")
        for cdecl, _type, name, args in DECL.findall(text):
            exports.append((name, None if cdecl else 4 * argument_count(args)))
    names = [n for n, _ in exports]
    duplicates = sorted({n for n in names if names.count(n) > 1})
    if duplicates:
        print("declared twice: " + ", ".join(duplicates), file=sys.stderr)
        return 1

    link_lines = ["LIBRARY GevrastSSE.dll", "EXPORTS"]
    import_lines = ["LIBRARY GevrastSSE.dll", "EXPORTS"]
    for name, size in exports:
        if size is None:
            link_lines.append(f"    {name}")
            import_lines.append(f"    {name}")
        else:
            link_lines.append(f"    _{name}@{size} = {name}@{size}")
            import_lines.append(f"    {name}@{size} == _{name}@{size}")
    link_def.write_text("\n".join(link_lines) + "\n")
    import_def.write_text("\n".join(import_lines) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
