"""Musical values as a musician writes them (meters, measure:beat positions,
metronome marks) and what they are in the host's terms: measure lengths and
positions in duration units, regions as the selection tool gives them,
tempo values."""
import re
from collections import namedtuple
from fractions import Fraction

from .tempo_map import THROUGH_MEASURE_END, UNITS_PER_QUARTER, host_tempo_value

WHOLE_NOTE = 4 * UNITS_PER_QUARTER
MAX_MEASURES = 32767
LOWEST_BPM, HIGHEST_BPM = 20, 600
DENOMINATORS = (1, 2, 4, 8, 16, 32, 64)
UNIT_LETTERS = "seqhw"
UNIT_NAMES = ("16th", "8th", "quarter", "half", "whole")
DOTTED = 2  # the host's modifier for a dotted beat unit


class InputError(Exception):
    """Input the preview refuses: its text is the one line the user sees."""


# A meter: the beat groups of its numerator ((3, 2) for 3+2/8, (6,) for 6/8)
# and its denominator.
Meter = namedtuple("Meter", "groups denominator")
# A measure: its length in units, the positions of its counted beats, whether
# its first beat is a downbeat (not so in a pickup), and its meter for display.
Measure = namedtuple("Measure", "length clicks downbeat meter")
# A metronome mark: beat unit 0..4 (16th..whole), dotted or not, whole BPM.
Tempo = namedtuple("Tempo", "unit dotted bpm")
# A score: its measures, and its tempo records as [measure, position, value].
Score = namedtuple("Score", "measures tempo")
# A point of the score: measure number and position in units.
Point = namedtuple("Point", "measure position")


def meter_text(meter):
    return f"{'+'.join(map(str, meter.groups))}/{meter.denominator}"


def meter_length(meter):
    return sum(meter.groups) * WHOLE_NOTE // meter.denominator


def parse_meter(text, where):
    match = re.fullmatch(r"\s*(\d+(?:\+\d+)*)\s*/\s*(\d+)\s*", text)
    if not match:
        raise InputError(f"{where}: cannot read the time signature '{text}' (write it as 3/4 or 3+2/8)")
    groups = tuple(int(g) for g in match.group(1).split("+"))
    denominator = int(match.group(2))
    if denominator not in DENOMINATORS or not all(1 <= g <= 99 for g in groups):
        raise InputError(f"{where}: cannot read the time signature '{text}' "
                         f"(beats 1 to 99, a beat type of 1, 2, 4, 8, 16, 32 or 64)")
    return Meter(groups, denominator)


def beat_groups(meter):
    """Counted beats in eighths of the denominator: 6/8, 9/8 and 12/8 are
    felt in dotted beats, additive meters by their groups, the rest by the
    denominator."""
    if len(meter.groups) > 1:
        return meter.groups
    beats = meter.groups[0]
    if meter.denominator >= 8 and beats > 3 and beats % 3 == 0:
        return (3,) * (beats // 3)
    return (1,) * beats


def click_positions(meter):
    unit = WHOLE_NOTE // meter.denominator
    positions, at = [], 0
    for group in beat_groups(meter):
        positions.append(at * unit)
        at += group
    return tuple(positions)


def full_measure(meter):
    return Measure(meter_length(meter), click_positions(meter), True, meter_text(meter))


def partial_measure(meter, length, is_pickup):
    """A measure shorter (or longer) than its meter. A pickup holds the end of
    a measure, so its beats fall where they would at the end of a full one."""
    clicks = click_positions(meter)
    if is_pickup and length <= meter_length(meter):
        shift = meter_length(meter) - length
        clicks = tuple(p - shift for p in clicks if p >= shift)
    else:
        clicks = tuple(p for p in clicks if p < length)
    return Measure(length, clicks, not is_pickup, meter_text(meter))


def parse_time_runs(text):
    """'4/4x4,3/4x2,6/8x3' into the measures it names."""
    measures = []
    for run in text.split(","):
        meter_part, _, count = run.strip().lower().partition("x")
        if count and not count.strip().isdigit():
            raise InputError(f"--time: cannot read the measure count in '{run.strip()}' (write 4/4x8)")
        count = int(count) if count else 1
        if count < 1:
            raise InputError(f"--time: '{run.strip()}' names no measure")
        measure = full_measure(parse_meter(meter_part, "--time"))
        if len(measures) + count > MAX_MEASURES:
            raise InputError(f"--time: more than {MAX_MEASURES:,} measures, the most a score holds")
        measures.extend([measure] * count)
    return measures


def check_measure_count(count, where):
    if count > MAX_MEASURES:
        raise InputError(f"{where}: {count:,} measures, more than the {MAX_MEASURES:,} a score holds")
    if count == 0:
        raise InputError(f"{where}: the score has no measures")


def parse_tempo(text, option):
    """'q=120', 'h.=40': a beat unit letter, an optional dot, whole BPM."""
    match = re.fullmatch(r"\s*([A-Za-z]+)(\.?)\s*=\s*(\S+)\s*", text)
    if not match:
        raise InputError(f"{option}: cannot read '{text}' (write a beat unit, an optional dot, "
                         f"= and beats per minute, as q=120 or h.=40)")
    letter, dot, bpm = match.groups()
    if letter not in UNIT_LETTERS:
        raise InputError(f"{option}: unknown beat unit '{letter}' (use s, e, q, h or w: 16th, 8th, "
                         f"quarter, half, whole; a trailing . for dotted)")
    if not bpm.isdigit():
        raise InputError(f"{option}: '{bpm}' is not a whole number of beats per minute")
    check_bpm(int(bpm), option)
    return Tempo(UNIT_LETTERS.index(letter), dot == ".", int(bpm))


def check_bpm(bpm, option):
    if not LOWEST_BPM <= bpm <= HIGHEST_BPM:
        raise InputError(f"{option}: {bpm} beats per minute is outside {LOWEST_BPM} to "
                         f"{HIGHEST_BPM}, the range the dialog takes")


def parse_unit(text, option):
    """'q' or 'h.': a beat unit without a tempo, for --stop-unit."""
    tempo = parse_tempo(f"{text}={LOWEST_BPM}", option)
    return tempo.unit, tempo.dotted


def tempo_value(tempo):
    return host_tempo_value(tempo.unit, tempo.bpm, DOTTED if tempo.dotted else 0)


def tempo_name(tempo):
    return f"{'dotted ' if tempo.dotted else ''}{UNIT_NAMES[tempo.unit]} = {tempo.bpm}"


def parse_point(text, option):
    """'12' or '12:3' or '12:2.5': a measure and a beat in quarters from 1
    (None for no beat)."""
    match = re.fullmatch(r"\s*(\d+)\s*(?::\s*(\d+(?:\.\d*)?|\.\d+)\s*)?", text)
    if not match:
        raise InputError(f"{option}: cannot read '{text}' (write a measure, as 12, or a measure "
                         f"and a beat, as 12:3 or 12:2.5)")
    beat = Fraction(match.group(2)) if match.group(2) else None
    if beat is not None and beat < 1:
        raise InputError(f"{option}: beats count from 1, so '{text}' names no beat")
    return int(match.group(1)), beat


def beat_position(beat):
    """A beat (quarters from 1) as a position in units, to the nearest unit."""
    return round((beat - 1) * UNITS_PER_QUARTER)


def check_measure(measure, measures, option):
    if not 1 <= measure <= len(measures):
        raise InputError(f"{option}: measure {measure} is outside the score, which has measures "
                         f"1 to {len(measures)}")


def beats_text(length):
    """'1 quarter', '2.5 quarters'."""
    quarters = length / UNITS_PER_QUARTER
    return f"{quarters:g} quarter{'' if quarters == 1 else 's'}"


def region_start(text, measures):
    measure, beat = parse_point(text, "--from")
    check_measure(measure, measures, "--from")
    position = 0 if beat is None else beat_position(beat)
    if position >= measures[measure - 1].length:
        raise InputError(f"--from {text.strip()}: measure {measure} is only "
                         f"{beats_text(measures[measure - 1].length)} long")
    return Point(measure, position)


def region_end(text, measures):
    """The end as the selection tool gives it: the last unit inside, or
    THROUGH_MEASURE_END. A beat is excluded, so --to 19:1 ends with measure
    18, and the barline after the last beat (19:5 in 4/4) means all of 19."""
    measure, beat = parse_point(text, "--to")
    check_measure(measure, measures, "--to")
    length = measures[measure - 1].length
    position = length if beat is None else beat_position(beat)
    if position > length:
        raise InputError(f"--to {text.strip()}: measure {measure} is only "
                         f"{beats_text(length)} long")
    if position == length:
        return Point(measure, THROUGH_MEASURE_END)
    if position == 0:
        return Point(measure - 1, THROUGH_MEASURE_END)
    return Point(measure, position - 1)


def measure_offsets(measures):
    """Absolute position of each measure's start, 1-based, one past the end."""
    starts, at = [0, 0], 0
    for measure in measures:
        at += measure.length
        starts.append(at)
    return starts


def region_bounds(region, measures, starts):
    """[start, end) of the region in absolute units."""
    sm, sp, em, ep = region
    end_in_measure = measures[em - 1].length if ep == THROUGH_MEASURE_END else ep + 1
    return starts[sm] + sp, starts[em] + end_in_measure


def parse_region(from_text, to_text, measures):
    start = region_start(from_text, measures)
    end = region_end(to_text, measures)
    region = [start.measure, start.position, end.measure, end.position]
    if end.measure < 1:
        raise InputError(f"--to {to_text.strip()}: the region ends before the score begins")
    first, last = region_bounds(region, measures, measure_offsets(measures))
    if last <= first:
        raise InputError(f"--from {from_text.strip()} --to {to_text.strip()}: the region ends "
                         f"{'where' if last == first else 'before'} it starts")
    return region


def point_text(measure, position):
    beat = Fraction(position, UNITS_PER_QUARTER) + 1
    return f"measure {measure}" if position == 0 else f"measure {measure}, beat {float(beat):g}"


def region_text(region, measures):
    sm, sp, em, ep = region
    start = point_text(sm, sp)
    if ep == THROUGH_MEASURE_END:
        return f"all of measure {sm}" if (sm, sp) == (em, 0) else f"{start} through the end of measure {em}"
    return f"{start} up to {point_text(em, ep + 1)} (not included)"


def measure_runs(measures):
    """The measures as the scenario's [count, length] runs."""
    runs = []
    for measure in measures:
        if runs and runs[-1][1] == measure.length:
            runs[-1][0] += 1
        else:
            runs.append([1, measure.length])
    return runs


def measure_label(measure):
    """'3/4', or '3/4 (1 quarter)' for a measure shorter than its meter."""
    if measure.length == meter_length(parse_meter(measure.meter, "meter")):
        return measure.meter
    return f"{measure.meter} ({beats_text(measure.length)})"


def meter_summary(measures):
    """'8 measures: 4/4 x4, 3/4 x2, 6/8 x2'."""
    runs = []
    for label in map(measure_label, measures):
        if runs and runs[-1][0] == label:
            runs[-1][1] += 1
        else:
            runs.append([label, 1])
    text = ", ".join(f"{label} x{count}" for label, count in runs)
    return f"{len(measures)} measure{'s' if len(measures) != 1 else ''}: {text}"
