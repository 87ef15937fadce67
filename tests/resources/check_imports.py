#!/usr/bin/python3
"""Checks that a built executable imports nothing that Windows 7 SP1 lacks:

    /usr/bin/python3 tests/resources/check_imports.py EXE [EXE...]

Wine has every function the executables import, newer ones too, so a run under Wine cannot show
a missing one; the import table can. windows7-imports.txt beside this script lists the functions
Quillon uses that Windows 7 SP1 has, one "DLL function" a line; an import not on it fails with
its name. Prints each failure and exits 1."""
import os
import sys

import pefile

LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "windows7-imports.txt")


def known():
    with open(LIST, encoding="utf-8") as f:
        lines = (line.split("#", 1)[0].split() for line in f)
        return {(dll.lower(), name) for dll, name in (line for line in lines if line)}


def imports(exe):
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode().lower()
        for imported in entry.imports:
            yield dll, imported.name.decode() if imported.name else f"#{imported.ordinal}"


def main(exes):
    allowed = known()
    failures = [f"{exe}: {dll} {name} is not known to exist on Windows 7 SP1"
                for exe in exes for dll, name in imports(exe) if (dll, name) not in allowed]
    for failure in failures:
        print(failure)
    if not failures:
        print(f"imports: every import of {len(exes)} executable(s) exists on Windows 7 SP1")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
