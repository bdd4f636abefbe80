#!/usr/bin/env python3
"""Reads a scenario and the report of its run, and shows what the plug-in
wrote: a table of the tempo records, an SVG tempo map and a timing summary.

usage: tempo_map.py SCENARIO REPORT SVG_OUT
"""
import json
import sys

from zorvtools import tempo_map


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    scenario = json.load(open(sys.argv[1]))
    report = json.load(open(sys.argv[2]))
    if not report.get("loaded"):
        print("The plug-in did not load; nothing was written.")
        return 1
    line = tempo_map.timeline(scenario, report)
    if line is None:
        print("No tempo records were written.")
        return 1
    print("Tempo records written:")
    tempo_map.print_table(line["records"])
    print()
    tempo_map.print_summary(tempo_map.timing_summary(line))
    start, end = line["span"]
    extent = (line["starts"][line["region"][0]], max(end, line["points"][-1][0]) + 1024)
    tempo_map.write_svg(sys.argv[3], line["points"], (start, end), extent)
    return 0


if __name__ == "__main__":
    sys.exit(main())
