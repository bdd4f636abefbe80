// Tempo curves a musician asks for by name, and the runs of the plug-in's
// own linear ramp that follow one closely enough to be heard as it: each run
// linear between two points of the curve, at whole BPM (the dialog's), its
// ends on beats. Browser-safe, and plain arithmetic: no run of the plug-in.
import { InputError } from "./music.js";
import { formatG } from "./numbers.js";

export const SHAPES = ["linear", "natural", "ease-in", "ease-out", "s-curve"];
export const NATURAL_Q = 2.5;
// What a plan of runs may stray from its curve by: its time, and its tempo
// at any point.
export const TIME_BOUND = 0.01;
export const TEMPO_BOUND = 0.02;

// "natural", "natural:3", "ease-in", ...: {name, q} (q only for natural).
export function parseShape(text) {
    const [name, qText, ...rest] = String(text ?? "linear").trim().toLowerCase().split(":");
    if (!SHAPES.includes(name) || rest.length || (qText !== undefined && name !== "natural")) {
        throw new InputError(`--shape: cannot read '${text}' (choose from ${SHAPES.join(", ")}; natural:3 for another q)`, {
            fields: ["shape"], sentence: `'${text}' is no shape (choose from ${SHAPES.join(", ")})`,
        });
    }
    if (name !== "natural") return { name, q: null };
    const q = qText === undefined ? NATURAL_Q : Number(qText);
    if (!(/^\s*[0-9.]+\s*$/.test(qText ?? "1") && q >= 0.5 && q <= 10)) {
        throw new InputError(`--shape: natural's q is a number from 0.5 to 10, not '${qText}'`, {
            fields: ["shape"], sentence: `natural's q is a number from 0.5 to 10, not '${qText}'`,
        });
    }
    return { name, q };
}

export function shapeName(shape) {
    return shape.name === "natural" ? `natural (q = ${formatG(shape.q)})` : shape.name;
}

// The curve's tempo at x (0 at the passage's start, 1 at its end: the
// position in the score, not in time), from v0 to v1 in any one unit.
export function curve(shape, v0, v1) {
    const rise = v1 - v0;
    switch (shape.name) {
    case "natural": {
        const [rate, power] = [(v1 / v0) ** shape.q - 1, 1 / shape.q];
        return (x) => v0 * (1 + rate * x) ** power;
    }
    case "ease-in": return (x) => v0 + rise * x * x;
    case "ease-out": return (x) => v0 + rise * (1 - (1 - x) * (1 - x));
    case "s-curve": return (x) => v0 + rise * (1 - Math.cos(Math.PI * x)) / 2;
    default: return (x) => v0 + rise * x;
    }
}

// The time (in minutes per beat counted) of the passage from x0 to x1 under
// the curve: Simpson's rule, fine enough for any curve here.
export function curveMinutes(v, x0 = 0, x1 = 1, steps = 512) {
    const h = (x1 - x0) / steps;
    let sum = 1 / v(x0) + 1 / v(x1);
    for (let k = 1; k < steps; k += 1) sum += (k % 2 ? 4 : 2) / v(x0 + k * h);
    return sum * h / 3;
}

// The same under a straight line from t0 to t1.
function lineMinutes(t0, t1, length) {
    return t0 === t1 ? length / t0 : length * Math.log(t1 / t0) / (t1 - t0);
}

// The places a run may end: every beat inside the passage (as x), and its
// end. The first place is its start.
function places(beats, span) {
    const [a, b] = span;
    const inside = beats.filter((p) => p > a && p < b).map((p) => (p - a) / (b - a));
    return [0, ...inside, 1];
}

// The curve at each place and halfway to the next, worked out once: the
// solver asks for them again and again, and for each run's error too (the
// bisection over bounds scans the same runs dozens of times).
function sampled(v, xs) {
    const mid = xs.map((x, k) => (k + 1 < xs.length ? (x + xs[k + 1]) / 2 : x));
    return { xs, at: xs.map(v), mid, half: mid.map(v), errors: new Map() };
}

// Tempo error of the straight run from places i to j against the curve, as
// a share of the curve's tempo, at the beats between them (at most 48 of
// them, spread) and halfway from each to the next.
function runError(curveAt, tempos, i, j) {
    const key = i * curveAt.xs.length + j;
    let error = curveAt.errors.get(key);
    if (error === undefined) {
        error = measuredError(curveAt, tempos, i, j);
        curveAt.errors.set(key, error);
    }
    return error;
}

function measuredError(curveAt, tempos, i, j) {
    const { xs, at, mid, half } = curveAt;
    const [x0, x1, t0, t1] = [xs[i], xs[j], tempos[i], tempos[j]];
    const off = (x, ideal) => Math.abs(t0 + (t1 - t0) * (x - x0) / (x1 - x0) - ideal) / ideal;
    let worst = off(x1, at[j]);
    const stride = Math.max(1, Math.ceil((j - i) / 48));
    for (let k = i; k < j; k += stride) worst = Math.max(worst, off(xs[k], at[k]), off(mid[k], half[k]));
    return worst;
}

// The fewest runs, each as long as it may be with its tempo within `bound`:
// the indexes of the places where runs end. A run's ends differ in tempo
// (the dialog refuses a ramp to the same tempo).
function greedyRuns(curveAt, tempos, bound) {
    const ends = [];
    let i = 0;
    const last = tempos.length - 1;
    while (i < last) {
        let best = null;
        for (let j = i + 1; j <= last; j += 1) {
            if (tempos[j] === tempos[i]) continue;
            const error = runError(curveAt, tempos, i, j);
            // Rounding a place's tempo may take one run over the bound
            // where a longer one is within it again: the scan goes on
            // until the curve has plainly left the line.
            if (error <= bound) best = j;
            else if (error > 4 * bound) break;
        }
        if (best === null) best = tempos.findIndex((t, j) => j > i && t !== tempos[i]);
        if (best < 0) best = last;
        ends.push(best);
        i = best;
    }
    return ends;
}

// The plan's time and its worst tempo error (`at`: the place's x), as
// planned: each run a straight line between whole BPM.
function planFigures(curveAt, tempos, ends) {
    const { xs } = curveAt;
    let minutes = 0;
    let worst = { error: 0, x: 0 };
    let i = 0;
    for (const j of ends) {
        minutes += lineMinutes(tempos[i], tempos[j], xs[j] - xs[i]);
        const error = runError(curveAt, tempos, i, j);
        if (error > worst.error) worst = { error, x: xs[i] };
        i = j;
    }
    return { minutes, worst };
}

// Splits the longest runs at their middle place until there are `count`
// (or no run has a place inside).
function splitTo(ends, count, tempos) {
    const out = [...ends];
    while (out.length < count) {
        let longest = -1, start = 0, widest = 1;
        out.forEach((end, k) => {
            const from = k ? out[k - 1] : 0;
            const middle = Math.floor((from + end) / 2);
            if (end - from > widest && tempos[middle] !== tempos[from] && tempos[middle] !== tempos[end]) {
                [longest, start, widest] = [k, from, end - from];
            }
        });
        if (longest < 0) break;
        out.splice(longest, 0, Math.floor((start + out[longest]) / 2));
    }
    return out;
}

// The runs that follow the curve from v0 to v1 (whole BPM, one beat unit)
// over span ([start, end) in units), their breaks on `beats` (absolute
// positions). runs: a fixed number of runs, or null for the fewest within
// the bounds (and no fewer than `least`: the plug-in's own steps may take a
// plan the runs' straight lines keep within the bounds outside them).
//   {runs: [{from, to, start, stop}] (from, to: positions; start, stop:
//    BPM), places (the most runs the beats allow), idealMinutes, minutes, worst: {error, position}} (minutes per
//    beat counted over the whole passage, as a share of it: multiply by
//    its length in beats)
export function solveShape(shape, v0, v1, span, beats, runs = null, least = 1) {
    const v = curve(shape, v0, v1);
    // A break where the curve still rounds to its start or already to its
    // end (the flat ends of an s-curve) would leave a run with nowhere to go.
    const xs = places(beats, span).filter((x, k, all) => k === 0 || k === all.length - 1
        || (Math.round(v(x)) !== Math.round(v0) && Math.round(v(x)) !== Math.round(v1)));
    const tempos = xs.map((x, k) => (k === 0 ? v0 : k === xs.length - 1 ? v1 : Math.round(v(x))));
    const idealMinutes = curveMinutes(v);
    const curveAt = sampled(v, xs);
    let ends;
    if (shape.name === "linear" && runs === null) ends = [xs.length - 1];
    else if (runs === null) ends = fewestRuns(curveAt, tempos, idealMinutes, least);
    else ends = runsOf(curveAt, tempos, runs);
    const { minutes, worst } = planFigures(curveAt, tempos, ends);
    const position = (k) => span[0] + Math.round(xs[k] * (span[1] - span[0]));
    let from = 0;
    const planned = ends.map((end) => {
        const run = { from: position(from), to: end === xs.length - 1 ? span[1] : position(end), start: tempos[from], stop: tempos[end] };
        from = end;
        return run;
    });
    return { runs: planned, places: xs.length - 1, idealMinutes, minutes, worst: { error: worst.error, position: span[0] + worst.x * (span[1] - span[0]) } };
}

// The fewest runs, no fewer than `least`, within both bounds: one more at
// a time, each count placed as closely as it can be.
function fewestRuns(curveAt, tempos, idealMinutes, least) {
    const most = tempos.length - 1;
    for (let count = least; ; count += 1) {
        const ends = runsOf(curveAt, tempos, count);
        const { minutes, worst } = planFigures(curveAt, tempos, ends);
        if ((Math.abs(minutes / idealMinutes - 1) <= TIME_BOUND && worst.error <= TEMPO_BOUND) || count >= most) return ends;
    }
}

// `count` runs as close to the curve as that many can be: the smallest
// bound whose fewest runs are no more than `count`, then split to `count`.
function runsOf(curveAt, tempos, count) {
    let [lo, hi] = [1e-6, 1];
    let ends = greedyRuns(curveAt, tempos, hi);
    for (let step = 0; step < 30; step += 1) {
        const middle = Math.sqrt(lo * hi);
        const tried = greedyRuns(curveAt, tempos, middle);
        if (tried.length <= count) [hi, ends] = [middle, tried];
        else lo = middle;
    }
    return splitTo(ends, count, tempos);
}
