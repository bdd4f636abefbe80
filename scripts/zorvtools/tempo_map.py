#!/usr/bin/env python3
"""Reads a scenario and the report of its run, and shows what the plug-in
wrote: a table of the tempo records, an SVG tempo map and a timing summary.

usage: tempo_map.py SCENARIO REPORT SVG_OUT
"""
import json
import math
import sys

UNITS_PER_QUARTER = 1024
# A tempo value is duration units per millisecond with 16 fraction bits.
VALUE_PER_UNIT_PER_MS = 65536


def quarter_bpm(value):
    return value * 60000.0 / (UNITS_PER_QUARTER * VALUE_PER_UNIT_PER_MS)


def measure_lengths(scenario):
    lengths = []
    for count, duration in scenario.get("measures", []):
        lengths.extend([duration] * count)
    return lengths


def measure_length(lengths, measure):
    return lengths[measure - 1] if 1 <= measure <= len(lengths) else 0


def measure_starts(lengths, last_measure):
    """Absolute position (in units) of the start of each measure 1..last."""
    starts, at = {}, 0
    for m in range(1, last_measure + 2):
        starts[m] = at
        at += measure_length(lengths, m)
    return starts


def region_span(region, lengths, starts):
    sm, sp, em, ep = region
    end = starts[em] + (measure_length(lengths, em) if ep == 0x7FFFFFFF else ep + 1)
    return starts[sm] + sp, end


def absolute(record, starts):
    return starts[record[0]] + record[1]


def host_tempo_value(unit, tempo, modifier):
    plain = {0: 256, 1: 512, 3: 2048, 4: 4096}.get(unit, 1024)
    beat = plain // 3 if modifier == 1 else plain * 15 // 10 if modifier == 2 else plain
    q = int(beat * 4096 * tempo / 60)
    return int(q * 16 / 1000)


def stop_value_from_actions(invocation):
    """The stop tempo the scripted user entered, when the scenario says it."""
    tempo, unit, dotted = None, 2, 0
    for action in invocation.get("user", []):
        if action.get("set") == 131:
            tempo = action["value"]
        elif action.get("check") in (122, 123, 124, 125, 126) and action.get("value") == 1:
            unit = action["check"] - 122
        elif action.get("check") == 129:
            dotted = 2 if action.get("value") else 0
    return host_tempo_value(unit, tempo, dotted) if tempo else None


def print_table(records, starts):
    print(f"{'measure':>7}  {'beat':>6}  {'quarter BPM':>11}  {'tempo value':>11}")
    for r in records:
        beat = r[1] / UNITS_PER_QUARTER + 1
        print(f"{r[0]:>7}  {beat:>6.2f}  {quarter_bpm(r[2]):>11.1f}  {r[2]:>11}")


def playback_ms(points, start, end):
    """Time to play [start, end) when each record's tempo holds until the next."""
    total = 0.0
    for i, (pos, value) in enumerate(points):
        seg_start = max(pos, start)
        seg_end = min(points[i + 1][0] if i + 1 < len(points) else end, end)
        if seg_end > seg_start and value > 0:
            total += (seg_end - seg_start) * VALUE_PER_UNIT_PER_MS / value
    return total


def ideal_ms(a, b, length):
    """A continuous linear ramp of the tempo value from a to b over the length."""
    if a == b:
        return length * VALUE_PER_UNIT_PER_MS / a
    return length * VALUE_PER_UNIT_PER_MS / (b - a) * math.log(b / a)


def write_svg(path, points, span, region_bounds, extent):
    width, height, left, right, top, bottom = 900, 420, 70, 20, 30, 60
    lo = min(quarter_bpm(v) for _, v in points)
    hi = max(quarter_bpm(v) for _, v in points)
    pad = max(5.0, (hi - lo) * 0.1)
    lo, hi = max(0.0, lo - pad), hi + pad
    x0, x1 = extent

    def x(pos):
        return left + (pos - x0) / max(1, x1 - x0) * (width - left - right)

    def y(bpm):
        return top + (hi - bpm) / (hi - lo) * (height - top - bottom)

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
           f'font-family="sans-serif" font-size="12">',
           f'<rect width="{width}" height="{height}" fill="white"/>',
           f'<rect x="{x(region_bounds[0]):.1f}" y="{top}" '
           f'width="{x(region_bounds[1]) - x(region_bounds[0]):.1f}" '
           f'height="{height - top - bottom}" fill="#dbe9f6"/>',
           f'<text x="{x(region_bounds[0]) + 4:.1f}" y="{top + 14}" fill="#36c">selected region</text>']
    # axes and ticks
    out.append(f'<line x1="{left}" y1="{height - bottom}" x2="{width - right}" '
               f'y2="{height - bottom}" stroke="black"/>')
    out.append(f'<line x1="{left}" y1="{top}" x2="{left}" y2="{height - bottom}" stroke="black"/>')
    for beat in range(0, int((x1 - x0) / UNITS_PER_QUARTER) + 1, 4):
        px = x(x0 + beat * UNITS_PER_QUARTER)
        out.append(f'<line x1="{px:.1f}" y1="{height - bottom}" x2="{px:.1f}" '
                   f'y2="{height - bottom + 5}" stroke="black"/>')
        out.append(f'<text x="{px:.1f}" y="{height - bottom + 18}" text-anchor="middle">{beat}</text>')
    step = next(s for s in (1, 2, 5, 10, 20, 50, 100) if (hi - lo) / s <= 8)
    for k in range(math.ceil(lo / step), math.floor(hi / step) + 1):
        bpm = k * step
        out.append(f'<line x1="{left - 5}" y1="{y(bpm):.1f}" x2="{left}" y2="{y(bpm):.1f}" stroke="black"/>')
        out.append(f'<text x="{left - 8}" y="{y(bpm) + 4:.1f}" text-anchor="end">{bpm:.0f}</text>')
    out.append(f'<text x="{(left + width - right) / 2}" y="{height - 15}" text-anchor="middle">'
               f'position (quarter-note beats from the region start)</text>')
    out.append(f'<text x="{left}" y="{top - 12}" text-anchor="middle">tempo (quarter = BPM)</text>')
    # records as steps
    line = []
    for i, (pos, value) in enumerate(points):
        nxt = points[i + 1][0] if i + 1 < len(points) else x1
        line.append(f"M{x(pos):.1f},{y(quarter_bpm(value)):.1f} H{x(nxt):.1f}")
        if i + 1 < len(points):
            line.append(f"V{y(quarter_bpm(points[i + 1][1])):.1f}")
    out.append(f'<path d="{" ".join(line)}" fill="none" stroke="#c33" stroke-width="2"/>')
    for pos, value in points:
        out.append(f'<circle cx="{x(pos):.1f}" cy="{y(quarter_bpm(value)):.1f}" r="2.5" fill="#c33"/>')
    out.append('</svg>')
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    scenario = json.load(open(sys.argv[1]))
    report = json.load(open(sys.argv[2]))
    if not report.get("loaded"):
        print("The plug-in did not load; nothing was written.")
        return 1
    region = next((inv["region"] for inv in scenario.get("invocations", []) if inv.get("region")), None)
    records = report.get("tempo", [])
    if not records or region is None:
        print("No tempo records were written.")
        return 1
    lengths = measure_lengths(scenario)
    last = max([region[2]] + [r[0] for r in records])
    starts = measure_starts(lengths, last)
    start, end = region_span(region, lengths, starts)
    points = sorted((absolute(r, starts), r[2]) for r in records)

    print("Tempo records written:")
    print_table(records, starts)
    walk = [(p, v) for p, v in points if start <= p < end]
    first = walk[0][1]
    invocation = next(inv for inv in scenario["invocations"] if inv.get("region"))
    stop = stop_value_from_actions(invocation)
    if stop is None and len(walk) > 1:
        # Extrapolate the linear ramp to the region's end.
        (p0, v0), (p1, v1) = walk[0], walk[-1]
        stop = round(v0 + (v1 - v0) * (end - start) / max(1, p1 - p0))
    stop = stop or first
    written = playback_ms(points, start, end) / 1000
    ideal = ideal_ms(first, stop, end - start) / 1000
    jumps = [abs(quarter_bpm(b[1]) - quarter_bpm(a[1])) for a, b in zip(walk, walk[1:])]
    after = [v for p, v in points if p >= end]
    print()
    print(f"Region length: {(end - start) / UNITS_PER_QUARTER:g} quarter notes")
    print(f"Playback time of the region with the written records: {written:.3f} s")
    print(f"Playback time under an ideal continuous linear ramp:  {ideal:.3f} s")
    print(f"Largest jump between neighbouring records of the ramp: {max(jumps) if jumps else 0:.1f} BPM")
    if after and walk:
        print(f"Step to the record after the region: {quarter_bpm(walk[-1][1]):.1f} -> "
              f"{quarter_bpm(after[0]):.1f} BPM")
    write_svg(sys.argv[3], points, (start, end), (start, end),
              (starts[region[0]], max(end, points[-1][0]) + UNITS_PER_QUARTER))
    return 0


if __name__ == "__main__":
    sys.exit(main())
