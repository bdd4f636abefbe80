#!/usr/bin/env python3
"""check_ok_path.py SCENARIO REPORT: the OK path of tests/windows/ok_path.json
as FINALE.EXE reported it: the real dialog opened with its run-time caption
and the Remove button (the region held a record), the user's move and OK
were performed, the plug-in closed the dialog, the record inside the region
gave way to quarter 60 -> 120 over measures 1-2 closed by the start tempo
directly after the region, the record outside the region stayed, and the
dialog's last position reached the registry."""
import json
import struct
import sys

START_VALUE = 67108  # quarter = 60
STOP_VALUE = 134217  # quarter = 120


def problems(scenario, report):
    if not report.get("loaded"):
        yield "the module did not load"
        return
    invocation = report["invocations"][0]
    shown = invocation.get("shown") or {}
    if shown.get("caption") != "Zorv Tempo v1.06":
        yield f"dialog caption {shown.get('caption')!r}"
    if shown.get("position") != [100, 80]:
        yield f"dialog placed at {shown.get('position')}, expected [100, 80]"
    if shown.get("removeVisible") is not True:
        yield "the Remove button is hidden although the region holds a record"
    if invocation.get("closedBy") != "plugin":
        yield f"closed by {invocation.get('closedBy')!r}, expected the plug-in"
    if invocation.get("skipped") != [] or invocation.get("boxes") != []:
        yield f"skipped {invocation.get('skipped')}, boxes {invocation.get('boxes')}"

    records = [tuple(r) for r in report["tempo"]]
    region = [r for r in records if r[0] in (1, 2)]
    if (1, 1024, 99999, 1000) in records:
        yield "the record inside the region was not removed"
    if (4, 0, 55555, 1000) not in records:
        yield "the record outside the region was lost"
    if not region or region[0][:3] != (1, 0, START_VALUE):
        yield f"the ramp does not start at (1, 0) with {START_VALUE}: {region[:1]}"
    values = [r[2] for r in region]
    if values != sorted(values) or any(not START_VALUE <= v < STOP_VALUE for v in values):
        yield f"ramp values not rising from {START_VALUE} toward {STOP_VALUE}: {values}"
    places = [r[:2] for r in region]
    if places != sorted(places):
        yield "ramp records out of order"
    if (3, 0, START_VALUE, 1000) not in records:
        yield "no start tempo directly after the region at (3, 0)"

    stored = bytes.fromhex((report.get("registry") or {}).get("UserDialog", ""))
    if len(stored) != 28:
        yield f"stored settings of {len(stored)} bytes"
    else:
        words = struct.unpack("<14h", stored)
        if words[0:3] != (2, 0, 60) or words[4:7] != (2, 0, 120) or words[8] != 2:
            yield f"stored entries {words[:9]}"
        if words[12:14] != tuple(scenario["invocations"][0]["user"][0]["move"]):
            yield f"stored dialog position {words[12:14]}"
    calls = report.get("hostCalls", {})
    if calls.get("FX_Dialog") != 1 or calls.get("FX_EndDialog") != 1:
        yield f"FX_Dialog/FX_EndDialog calls {calls.get('FX_Dialog')}/{calls.get('FX_EndDialog')}"


def main(argv):
    if len(argv) != 3:
        print(__doc__.splitlines()[0], file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        scenario = json.load(f)
    with open(argv[2], encoding="utf-8") as f:
        report = json.load(f)
    found = list(problems(scenario, report))
    for line in found:
        print(f"ok path: {line}")
    if not found:
        print(f"ok path: dialog driven to OK, {len(report['tempo'])} tempo records in the score")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
