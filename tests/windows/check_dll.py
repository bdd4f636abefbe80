#!/usr/bin/env python3
"""check_dll.py DLL [MAX_BYTES]: the plug-in DLL as Finale sees it, read with
x86_64-w64-mingw32-objdump -p: exactly the six entry points at ordinals 1-6
in alphabetical order, imports from Windows system DLLs only (never from the
host), and a file no larger than MAX_BYTES (default 1 MiB)."""
import os
import re
import subprocess
import sys

ENTRY_POINTS = sorted([
    "FinaleExtensionEnumerate_UTF16", "FinaleExtensionGetMenuStatus", "FinaleExtensionInit",
    "FinaleExtensionInvoke", "FinaleExtensionTerminate", "FinaleExtensionVersion",
])
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll"}


def allowed_import(name):
    name = name.lower()
    return name in SYSTEM_DLLS or (name.startswith("api-ms-win-crt-") and name.endswith(".dll"))


def exports_by_ordinal(dump):
    """Ordinal -> name, from the ordinal base and the name pointer table."""
    base = re.search(r"Ordinal Base\s+(\d+)", dump)
    table = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\s+\[\s*\d+\]\s+\S+\n)+)", dump)
    if not base or not table:
        return {}
    exports = {}
    for index, name in re.findall(r"\[\s*(\d+)\]\s+(\S+)", table.group(1)):
        exports[int(base.group(1)) + int(index)] = name
    return exports


def problems(path, max_bytes):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], check=True,
                          capture_output=True, text=True).stdout
    exports = exports_by_ordinal(dump)
    expected = {ordinal: name for ordinal, name in enumerate(ENTRY_POINTS, start=1)}
    if exports != expected:
        yield f"exports {exports}, expected {expected}"
    imports = re.findall(r"DLL Name:\s+(\S+)", dump)
    if not imports:
        yield "no import table found"
    for name in imports:
        if not allowed_import(name):
            yield f"imports from {name}"
    size = os.path.getsize(path)
    if size > max_bytes:
        yield f"{size} bytes, more than {max_bytes}"


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.splitlines()[0], file=sys.stderr)
        return 2
    max_bytes = int(argv[2]) if len(argv) == 3 else 1 << 20
    found = list(problems(argv[1], max_bytes))
    for line in found:
        print(f"{argv[1]}: {line}")
    if not found:
        print(f"{argv[1]}: six exports at ordinals 1-6, system imports only, "
              f"{os.path.getsize(argv[1])} bytes")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
