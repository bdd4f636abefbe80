"""What the plug-in wrote into a score, shown three ways: a table of the tempo
records, an SVG tempo map and a timing summary. Used by scripts/demo (through
scripts/tempo_map.py) and by scripts/preview.
"""
import math

UNITS_PER_QUARTER = 1024
THROUGH_MEASURE_END = 0x7FFFFFFF
# A tempo value is duration units per millisecond with 16 fraction bits.
VALUE_PER_UNIT_PER_MS = 65536
PLAIN_BEAT_UNITS = {0: 256, 1: 512, 2: 1024, 3: 2048, 4: 4096}


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
    """Absolute position (in units) of the start of each measure 1..last+1."""
    starts, at = {}, 0
    for m in range(1, last_measure + 2):
        starts[m] = at
        at += measure_length(lengths, m)
    return starts


def region_span(region, lengths, starts):
    sm, sp, em, ep = region
    end = starts[em] + (measure_length(lengths, em) if ep == THROUGH_MEASURE_END else ep + 1)
    return starts[sm] + sp, end


def absolute(record, starts):
    return starts[record[0]] + record[1]


def host_tempo_value(unit, tempo, modifier):
    """The host's tempo value of `tempo` beats per minute of a beat unit, with
    its two truncations in the host's order (integer arithmetic throughout)."""
    plain = PLAIN_BEAT_UNITS.get(unit, 1024)
    beat = plain // 3 if modifier == 1 else plain * 15 // 10 if modifier == 2 else plain
    q = beat * 4096 * tempo // 60
    return q * 16 // 1000


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


def print_table(records):
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


def tempo_points(records, starts):
    """(absolute position, value) of each record. Records of one position keep
    the host's order (the one created later follows), so the last of them is
    the one that holds."""
    return sorted(((absolute(r, starts), r[2]) for r in records), key=lambda p: p[0])


def clip_points(points, x0, x1):
    """The points inside [x0, x1], led by the tempo in force at x0."""
    before = [p for p in points if p[0] < x0]
    inside = [p for p in points if x0 <= p[0] <= x1]
    if before and not (inside and inside[0][0] == x0):
        inside.insert(0, (x0, before[-1][1]))
    return inside


def tick_step(count, most=16):
    return next(s for s in (1, 2, 4, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000, 2000, 5000)
                if count / s <= most)


def default_ticks(x0, x1):
    """Every 4th quarter from x0, labelled in quarters, thinned to about 16."""
    quarters = int((x1 - x0) / UNITS_PER_QUARTER)
    step = 4 * tick_step(quarters / 4)
    return [(x0 + q * UNITS_PER_QUARTER, str(q)) for q in range(0, quarters + 1, step)]


def bpm_step(span):
    """1, 2, 5, 10, 20, 50, ...: the first that gives at most 8 ticks."""
    scale = 1
    while True:
        for step in (scale, 2 * scale, 5 * scale):
            if span / step <= 8:
                return step
        scale *= 10


def write_svg(path, points, region_bounds, extent, ticks=None,
              x_title="position (quarter-note beats from the region start)"):
    width, height, left, right, top, bottom = 900, 420, 70, 20, 30, 60
    x0, x1 = extent
    points = clip_points(points, x0, x1)
    lo = min(quarter_bpm(v) for _, v in points)
    hi = max(quarter_bpm(v) for _, v in points)
    pad = max(5.0, (hi - lo) * 0.1)
    lo, hi = max(0.0, lo - pad), hi + pad

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
    for pos, label in (ticks if ticks is not None else default_ticks(x0, x1)):
        px = x(pos)
        out.append(f'<line x1="{px:.1f}" y1="{height - bottom}" x2="{px:.1f}" '
                   f'y2="{height - bottom + 5}" stroke="black"/>')
        out.append(f'<text x="{px:.1f}" y="{height - bottom + 18}" text-anchor="middle">{label}</text>')
    step = bpm_step(hi - lo)
    for k in range(math.ceil(lo / step), math.floor(hi / step) + 1):
        bpm = k * step
        out.append(f'<line x1="{left - 5}" y1="{y(bpm):.1f}" x2="{left}" y2="{y(bpm):.1f}" stroke="black"/>')
        out.append(f'<text x="{left - 8}" y="{y(bpm) + 4:.1f}" text-anchor="end">{bpm:.0f}</text>')
    out.append(f'<text x="{(left + width - right) / 2}" y="{height - 15}" text-anchor="middle">'
               f'{x_title}</text>')
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


def ramp_invocation(scenario):
    return next((inv for inv in scenario.get("invocations", []) if inv.get("region")), None)


def timeline(scenario, report):
    """Everything the table, the map and the summary are made from, or None
    when the session wrote no ramp."""
    invocation = ramp_invocation(scenario)
    records = report.get("tempo", [])
    if not records or invocation is None:
        return None
    region = invocation["region"]
    lengths = measure_lengths(scenario)
    starts = measure_starts(lengths, max([region[2]] + [r[0] for r in records]))
    start, end = region_span(region, lengths, starts)
    return {"records": records, "region": region, "lengths": lengths, "starts": starts,
            "span": (start, end), "points": tempo_points(records, starts),
            "stop": stop_value_from_actions(invocation)}


def timing_summary(line):
    """The region's playback time under the written records and under an
    ideal ramp, its largest step between records, and the step after it."""
    start, end = line["span"]
    points = line["points"]
    walk = [(p, v) for p, v in points if start <= p < end]
    first = walk[0][1]
    stop = line["stop"]
    if stop is None and len(walk) > 1:
        # Extrapolate the linear ramp to the region's end.
        (p0, v0), (p1, v1) = walk[0], walk[-1]
        stop = round(v0 + (v1 - v0) * (end - start) / max(1, p1 - p0))
    stop = stop or first
    after = [v for p, v in points if p >= end]
    jumps = [abs(quarter_bpm(b[1]) - quarter_bpm(a[1])) for a, b in zip(walk, walk[1:])]
    return {"quarters": (end - start) / UNITS_PER_QUARTER,
            "written_s": playback_ms(points, start, end) / 1000,
            "ideal_s": ideal_ms(first, stop, end - start) / 1000,
            "largest_jump_bpm": max(jumps) if jumps else 0.0,
            "step_after": (quarter_bpm(walk[-1][1]), quarter_bpm(after[0])) if after else None}


def print_summary(summary):
    print(f"Region length: {summary['quarters']:g} quarter notes")
    print(f"Playback time of the region with the written records: {summary['written_s']:.3f} s")
    print(f"Playback time under an ideal continuous linear ramp:  {summary['ideal_s']:.3f} s")
    print(f"Largest jump between neighbouring records of the ramp: "
          f"{summary['largest_jump_bpm']:.1f} BPM")
    if summary["step_after"]:
        print(f"Step to the record after the region: {summary['step_after'][0]:.1f} -> "
              f"{summary['step_after'][1]:.1f} BPM")
