// The whole stop tempo whose ramp makes a region play closest to a given
// time. The time falls as the stop tempo rises, so the candidates are
// searched within a shrinking bracket, guided by the time of an ideal
// continuous ramp; each probe runs the plug-in once, on copies of the
// region's measures side by side, one ramp to a candidate per copy.
import {
    HIGHEST_BPM, LOWEST_BPM, MAX_MEASURES, measureOffsets, measureRuns, regionBounds, tempoValue,
} from "./music.js";
import { checkRampsWritten, rampInvocation } from "./scenario.js";
import { idealMs, playbackMs, tempoPoints } from "./timing.js";

// Stop BPMs 20..600 in the unit that the dialog accepts with this start, and
// the one it refuses as the same tempo (null if none).
export function candidates(start, unit, dotted) {
    const startValue = tempoValue(start);
    const allowed = [];
    let refused = null;
    for (let bpm = LOWEST_BPM; bpm <= HIGHEST_BPM; bpm += 1) {
        if (tempoValue({ unit, dotted, bpm }) === startValue) refused = bpm;
        else allowed.push(bpm);
    }
    return { allowed, refused };
}

// How the copies are laid out: the region's measures, then a spare measure
// for the record after the region where the score has a measure there
// (a region that ends the score has none, in the score or in its copies).
export function copyLayout(measures, region) {
    const [startMeasure, , endMeasure] = region;
    const block = measures.slice(startMeasure - 1, endMeasure);
    const spare = endMeasure < measures.length ? [block[block.length - 1]] : [];
    const size = block.length + spare.length;
    return { block, spare, size, perRun: Math.max(1, Math.floor(MAX_MEASURES / size)) };
}

// `count` copies of the region's measures side by side, and each copy's
// region.
export function regionCopies(measures, region, count) {
    const { block, spare, size } = copyLayout(measures, region);
    const [, startPosition, , endPosition] = region;
    const laidOut = [];
    const regions = [];
    for (let copy = 0; copy < count; copy += 1) {
        regions.push([copy * size + 1, startPosition, copy * size + block.length, endPosition]);
        for (const measure of [...block, ...spare]) laidOut.push(measure);
    }
    return { laidOut, regions };
}

// The plug-in run once on copies of the region, a ramp to one of `stops` in
// each copy: the copies' measures, regions and starts, and the records of
// each copy.
async function rampCopies(plugin, request, stops) {
    const { measures, region, start, after } = request;
    const { laidOut, regions } = regionCopies(measures, region, stops.length);
    const scenario = {
        measures: measureRuns(laidOut), registry: null,
        invocations: regions.map((copyRegion, i) => rampInvocation(copyRegion, start, stops[i], after)),
    };
    const report = await plugin.runScenario(scenario);
    checkRampsWritten(report);
    const { size } = copyLayout(measures, region);
    const byCopy = stops.map(() => []);
    for (const record of report.tempo || []) {
        // The last copy's record after the region lies past the copies when
        // the region ends the score, as it would past the score's end.
        const copy = Math.floor((record[0] - 1) / size);
        if (copy < byCopy.length) byCopy[copy].push(record);
    }
    return { laidOut, regions, starts: measureOffsets(laidOut), size, byCopy };
}

// The region's playback time (s) under the ramp to each stop BPM, each
// written by the plug-in in one run.
async function regionSeconds(plugin, request, bpms) {
    const { unit, dotted } = request;
    const { laidOut, regions, starts, byCopy } = await rampCopies(plugin, request, bpms.map((bpm) => ({ unit, dotted, bpm })));
    const seconds = new Map();
    bpms.forEach((bpm, i) => {
        const [first, end] = regionBounds(regions[i], laidOut, starts);
        seconds.set(bpm, playbackMs(tempoPoints(byCopy[i], starts), first, end) / 1000);
    });
    return seconds;
}

// The records the ramp to each of `stops` writes inside the region (not the
// one after it), in the score's own measure numbers: what the region holds
// once the plug-in has run over it. request: {measures, region, start,
// after}; copies are run as many at a time as a score can hold.
export async function regionRecords(plugin, request, stops) {
    const { perRun } = copyLayout(request.measures, request.region);
    const firstMeasure = request.region[0];
    const out = [];
    for (let i = 0; i < stops.length; i += perRun) {
        const { laidOut, regions, starts, size, byCopy } = await rampCopies(plugin, request, stops.slice(i, i + perRun));
        byCopy.forEach((records, copy) => {
            const [first, end] = regionBounds(regions[copy], laidOut, starts);
            out.push(records.filter(([m, p]) => starts[m] + p >= first && starts[m] + p < end)
                .map(([m, p, ...rest]) => [m - copy * size + firstMeasure - 1, p, ...rest]));
        });
    }
    return out;
}

// Bisection over the candidates on a model of the time (falling with the
// index): the index whose modelled time is closest to target.
function modelIndex(model, allowed, target) {
    let lo = 0;
    let hi = allowed.length - 1;
    while (hi - lo > 1) {
        const mid = Math.floor((lo + hi) / 2);
        if (model(allowed[mid]) >= target) lo = mid;
        else hi = mid;
    }
    return Math.abs(model(allowed[hi]) - target) < Math.abs(model(allowed[lo]) - target) ? hi : lo;
}

function inRange(i, list) {
    return i >= 0 && i < list.length;
}

// Every candidate tried lies at or outside the bracket (lo, hi), so the
// model's pick is tried unless it points outside: just outside, its
// neighbour inside the bracket is; further off, the bracket is halved.
function nextProbe(modelled, lo, hi) {
    if (lo < modelled && modelled < hi) return modelled;
    if (modelled <= lo && modelled >= lo - 2) return lo + 1;
    if (modelled >= hi && modelled <= hi + 2) return hi - 1;
    return Math.floor((lo + hi) / 2);
}

// Index of the candidate whose time is closest to target, the times tried,
// and whether the target lies within reach; the times fall with the index.
// Each probe, with its two neighbours, is timed by the plug-in; probes come
// from the model scaled to the last time measured. The chosen candidate's
// neighbours are timed too, unless `neighbours` is false.
export async function search(evaluate, allowed, target, model, { neighbours: timeNeighbours = true } = {}) {
    const times = new Map();
    let lo = -1; // times of allowed[lo] >= target > times of allowed[hi]
    let hi = allowed.length;
    let probe = modelIndex(model, allowed, target);
    for (;;) {
        const wanted = [probe - 1, probe, probe + 1].filter((i) => inRange(i, allowed) && !times.has(allowed[i]));
        if (wanted.length > 0) {
            for (const [bpm, s] of await evaluate(wanted.map((i) => allowed[i]))) times.set(bpm, s);
        }
        for (let i = Math.max(lo, 0); i <= Math.min(hi, allowed.length - 1); i += 1) {
            if (times.has(allowed[i])) {
                if (times.get(allowed[i]) >= target) lo = Math.max(lo, i);
                else hi = Math.min(hi, i);
            }
        }
        if (hi - lo <= 1) break;
        const scale = times.get(allowed[probe]) / model(allowed[probe]);
        probe = nextProbe(modelIndex((bpm) => scale * model(bpm), allowed, target), lo, hi);
    }
    const ends = [lo, hi].filter((i) => inRange(i, allowed));
    const distance = (i) => Math.abs(times.get(allowed[i]) - target);
    const best = ends.length > 1 && distance(ends[1]) < distance(ends[0]) ? ends[1] : ends[0];
    const neighbours = [best - 1, best + 1]
        .filter((i) => timeNeighbours && inRange(i, allowed) && !times.has(allowed[i])).map((i) => allowed[i]);
    if (neighbours.length > 0) {
        for (const [bpm, s] of await evaluate(neighbours)) times.set(bpm, s);
    }
    const reachable = lo >= 0 && (hi < allowed.length || times.get(allowed[lo]) === target);
    return { best, times, reachable };
}

// The region's time (s) under a continuous ramp to each stop BPM.
function idealModel(request) {
    const { measures, region, start, unit, dotted } = request;
    const [first, end] = regionBounds(region, measures, measureOffsets(measures));
    const a = tempoValue(start);
    return (bpm) => idealMs(a, tempoValue({ unit, dotted, bpm }), end - first) / 1000;
}

// request: {measures, region, start, unit, dotted, after, target}. The
// result: the chosen stop BPM, the times (s) of every BPM tried, the
// chosen one's neighbours, whether the target was within reach, and the
// BPM the dialog refuses (or null).
export async function fitStop(plugin, request) {
    const { allowed, refused } = candidates(request.start, request.unit, request.dotted);
    const { perRun } = copyLayout(request.measures, request.region);
    const evaluate = async (bpms) => {
        const seconds = new Map();
        for (let i = 0; i < bpms.length; i += perRun) {
            for (const [bpm, s] of await regionSeconds(plugin, request, bpms.slice(i, i + perRun))) seconds.set(bpm, s);
        }
        return seconds;
    };
    const { best, times, reachable } = await search(evaluate, allowed, request.target, idealModel(request));
    const neighbours = [best - 1, best + 1].filter((i) => inRange(i, allowed)).map((i) => allowed[i]);
    return { bpm: allowed[best], seconds: times, neighbours, reachable, refused };
}

// The run's stop tempo: as given, or fitted to its target duration
// ({stop, fit}: fit is null, or fitStop's answer with its target and
// stopUnit).
export async function fittedStop(checked, plugin) {
    if (checked.stop !== null) return { stop: checked.stop, fit: null };
    const { unit, dotted } = checked.stopUnit;
    const found = await fitStop(plugin, {
        measures: checked.score.measures, region: checked.region, start: checked.start, unit, dotted,
        after: checked.after, target: checked.target,
    });
    return { stop: { unit, dotted, bpm: found.bpm }, fit: { ...found, target: checked.target, stopUnit: checked.stopUnit } };
}
