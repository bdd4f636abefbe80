"""The whole stop tempo whose ramp makes a region play closest to a given
time. The time falls as the stop tempo rises, so the candidates are searched
within a shrinking bracket, guided by the time of an ideal continuous ramp;
each probe runs the plug-in once, on copies of the region's measures side by
side, one ramp to a candidate per copy."""
from collections import namedtuple

from . import scenario as scenarios
from . import music
from .music import HIGHEST_BPM, LOWEST_BPM, MAX_MEASURES, Tempo, tempo_value
from .tempo_map import ideal_ms, measure_starts, playback_ms, region_span, tempo_points

# bpm: the chosen stop BPM; seconds: bpm -> region time of each tempo tried;
# reachable: whether the target lies within the times of 20..600;
# refused: the BPM the dialog refuses (same tempo value as the start), or None.
Fit = namedtuple("Fit", "bpm seconds neighbours reachable refused")


def candidates(start, unit, dotted):
    """Stop BPMs 20..600 in the unit that the dialog accepts with this start,
    and the one it refuses as the same tempo, if any."""
    start_value = tempo_value(start)
    allowed, refused = [], None
    for bpm in range(LOWEST_BPM, HIGHEST_BPM + 1):
        if tempo_value(Tempo(unit, dotted, bpm)) == start_value:
            refused = bpm
        else:
            allowed.append(bpm)
    return allowed, refused


def region_copies(measures, region, count):
    """`count` copies of the region's measures, each followed by a spare
    measure for the record after the region; and each copy's region."""
    sm, sp, em, ep = region
    block = measures[sm - 1:em]
    laid_out, regions = [], []
    for _ in range(count):
        base = len(laid_out)
        regions.append([base + 1, sp, base + len(block), ep])
        laid_out += block + [block[-1]]
    return laid_out, regions


def copies_per_run(measures, region):
    """How many copies of the region (and a spare measure each) a score holds."""
    return max(1, MAX_MEASURES // (region[2] - region[0] + 2))


def region_seconds(runner, measures, region, start, unit, dotted, after, bpms):
    """The region's playback time (s) under the ramp to each stop BPM, each
    written by the plug-in."""
    laid_out, regions = region_copies(measures, region, len(bpms))
    scenario = {"measures": music.measure_runs(laid_out), "registry": None,
                "invocations": [scenarios.ramp_invocation(r, start, Tempo(unit, dotted, bpm), after)
                                for r, bpm in zip(regions, bpms)]}
    report = scenarios.run(runner, scenario)
    lengths = [m.length for m in laid_out]
    starts = measure_starts(lengths, len(lengths))
    by_copy = [[] for _ in bpms]
    copy_size = region[2] - region[0] + 2
    for record in report["tempo"]:
        by_copy[(record[0] - 1) // copy_size].append(record)
    seconds = {}
    for bpm, copy_region, records in zip(bpms, regions, by_copy):
        first, end = region_span(copy_region, lengths, starts)
        seconds[bpm] = playback_ms(tempo_points(records, starts), first, end) / 1000
    return seconds


def model_index(model, allowed, target):
    """Bisection over the candidates on a model of the time (falling with
    the index): the index whose modelled time is closest to target."""
    lo, hi = 0, len(allowed) - 1
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if model(allowed[mid]) >= target:
            lo = mid
        else:
            hi = mid
    return min((lo, hi), key=lambda i: abs(model(allowed[i]) - target))


def search(evaluate, allowed, target, model):
    """Index of the candidate whose time is closest to target, the times
    tried, and whether the target lies within reach; the times fall
    with the index. Each probe, with its two neighbours, is evaluated by the
    plug-in; probes come from `model` scaled to the last time measured, or
    halve the bracket when the model points outside it."""
    times, lo, hi = {}, -1, len(allowed)   # times[lo] >= target > times[hi]
    scale, probe = 1.0, model_index(model, allowed, target)
    while True:
        wanted = [i for i in (probe - 1, probe, probe + 1)
                  if 0 <= i < len(allowed) and allowed[i] not in times]
        if wanted:
            times.update(evaluate([allowed[i] for i in wanted]))
        for i in range(max(lo, 0), min(hi, len(allowed) - 1) + 1):
            if allowed[i] in times:
                if times[allowed[i]] >= target:
                    lo = max(lo, i)
                else:
                    hi = min(hi, i)
        if hi - lo <= 1:
            break
        scale = times[allowed[probe]] / model(allowed[probe])
        probe = model_index(lambda bpm: scale * model(bpm), allowed, target)
        if not lo < probe < hi or allowed[probe] in times:
            probe = (lo + hi) // 2
    ends = [i for i in (lo, hi) if 0 <= i < len(allowed)]
    best = min(ends, key=lambda i: abs(times[allowed[i]] - target))
    neighbours = [allowed[i] for i in (best - 1, best + 1)
                  if 0 <= i < len(allowed) and allowed[i] not in times]
    if neighbours:
        times.update(evaluate(neighbours))
    reachable = lo >= 0 and (hi < len(allowed) or times[allowed[lo]] == target)
    return best, times, reachable


def ideal_model(measures, region, start, unit, dotted):
    """The region's time (s) under a continuous ramp to each stop BPM."""
    starts = music.measure_offsets(measures)
    first, end = music.region_bounds(region, measures, starts)
    a = tempo_value(start)
    return lambda bpm: ideal_ms(a, tempo_value(Tempo(unit, dotted, bpm)), end - first) / 1000


def fit_stop(runner, measures, region, start, unit, dotted, after, target):
    allowed, refused = candidates(start, unit, dotted)
    per_run = copies_per_run(measures, region)

    def evaluate(bpms):
        seconds = {}
        for i in range(0, len(bpms), per_run):
            seconds.update(region_seconds(runner, measures, region, start, unit, dotted, after,
                                          bpms[i:i + per_run]))
        return seconds

    best, times, reachable = search(evaluate, allowed, target, ideal_model(measures, region, start, unit, dotted))
    neighbours = [allowed[i] for i in (best - 1, best + 1) if 0 <= i < len(allowed)]
    return Fit(allowed[best], times, neighbours, reachable, refused)
