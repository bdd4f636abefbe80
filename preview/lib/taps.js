// A ramp tapped by hand: the start and final tempo (and, if asked, the
// shape) whose beat times best match the times a musician tapped, by least
// squares over the beats' times. Browser-safe, plain arithmetic.
//
// Every shape's tempo scales with its start (curve(s, v0, r*v0) is v0 times
// curve(s, 1, r)), so for a ratio r of final to start the beat times are
// T_k(r) / v0: for a fixed r the best 1/v0 and offset are a straight-line
// regression, and only r is searched.
import { InputError, beatUnits, measureOffsets, regionBounds } from "./music.js";
import { SHAPES, curve, parseShape } from "./shapes.js";

export const LEAST_TAPS = 4;
// How far a tap's beat may stray from the running tempo before it is taken
// for a slip of the hand rather than the music.
export const TAP_TOLERANCE = 0.4;
const RATIO_RANGE = [0.2, 5];

// The passage as the fit sees it, from a run (score, region, start): the
// counted beats' positions, its span (units) and the units a beat of the
// start's unit lasts, and the beats of its first measure (a measure's
// count-in).
export function tapPassage(score, region, start) {
    const { measures } = score;
    const starts = measureOffsets(measures);
    const span = regionBounds(region, measures, starts);
    const beats = [];
    for (let m = region[0]; m <= region[2]; m += 1) {
        for (const click of measures[m - 1].clicks) {
            const position = starts[m] + click;
            if (position >= span[0] && position < span[1]) beats.push(position);
        }
    }
    if (beats[0] !== span[0]) beats.unshift(span[0]);
    return { beats, span, unit: beatUnits(start), measureBeats: measures[region[0] - 1].clicks.length };
}

// Seconds from the passage's start to each beat (and to its end, last) at a
// start tempo of 1 BPM and a final one of r.
function unitTimes(passage, shape, r) {
    const { beats, span, unit } = passage;
    const beatsLong = (span[1] - span[0]) / unit;
    const xs = [...beats.map((p) => (p - span[0]) / (span[1] - span[0])), 1];
    if (shape.name === "linear") {
        const rise = r - 1;
        return xs.map((x) => 60 * beatsLong * (Math.abs(rise) < 1e-12 ? x : Math.log(1 + rise * x) / rise));
    }
    const v = curve(shape, 1, r);
    const out = [0];
    let sum = 0;
    let atStart = 1 / v(0);
    for (let k = 1; k < xs.length; k += 1) {
        const [a, b] = [xs[k - 1], xs[k]];
        const h = (b - a) / 4;
        const atEnd = 1 / v(b);
        sum += (h / 3) * (atStart + 4 / v(a + h) + 2 / v(a + 2 * h) + 4 / v(a + 3 * h) + atEnd);
        atStart = atEnd;
        out.push(60 * beatsLong * sum);
    }
    return out;
}

// Which beat each tap is, and which taps are ignored: a tap whose beat
// (the next, or the one after a beat left untapped) would put the tempo
// more than the tolerance off the running tempo (the last three beats'
// tempo, or the count-in's at first) is a slip. taps: sorted seconds.
//   {matched: [{tap, beat}], ignored}
export function matchTaps(taps, passage, countIn) {
    const gaps = passage.beats.map((p, k, all) => ((all[k + 1] ?? passage.span[1]) - p) / passage.unit);
    const matched = [{ tap: taps[0], beat: 0 }];
    const recent = [];
    let ignored = 0;
    for (const tap of taps.slice(1)) {
        const last = matched[matched.length - 1];
        const seconds = tap - last.tap;
        const running = recent.length ? recent.reduce((s, v) => s + v, 0) / recent.length : countIn;
        let best = null;
        let beatsSpanned = 0;
        for (let beat = last.beat + 1; beat < passage.beats.length && beat <= last.beat + 4; beat += 1) {
            beatsSpanned += gaps[beat - 1];
            const bpm = seconds > 0 ? 60 * beatsSpanned / seconds : Infinity;
            const off = running ? Math.abs(Math.log(bpm / running)) : 0;
            if (!best || off < best.off) best = { beat, bpm, off };
            if (!running) break;
        }
        const within = best && Number.isFinite(best.bpm)
            && (!running || Math.abs(best.bpm / running - 1) <= TAP_TOLERANCE);
        if (!within) { ignored += 1; continue; }
        matched.push({ tap, beat: best.beat });
        recent.push(best.bpm);
        if (recent.length > 3) recent.shift();
    }
    return { matched, ignored };
}

// Least squares of taps ≈ offset + T/v0 for the given unit times T.
function regress(matched, times) {
    const n = matched.length;
    let [sx, sy, sxx, sxy] = [0, 0, 0, 0];
    for (const { tap, beat } of matched) {
        const x = times[beat];
        [sx, sy, sxx, sxy] = [sx + x, sy + tap, sxx + x * x, sxy + x * tap];
    }
    const slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    return { slope, offset: (sy - slope * sx) / n };
}

// Residuals (s) of the taps against beat times T/v0 with the best offset.
function residuals(matched, times, v0) {
    const offset = matched.reduce((s, m) => s + m.tap - times[m.beat] / v0, 0) / matched.length;
    return matched.map((m) => m.tap - offset - times[m.beat] / v0);
}

const sumOfSquares = (values) => values.reduce((s, v) => s + v * v, 0);

function fitRatio(matched, passage, shape) {
    const cost = (logR) => {
        const times = unitTimes(passage, shape, Math.exp(logR));
        const { slope } = regress(matched, times);
        if (!(slope > 0)) return { score: Infinity };
        return { score: sumOfSquares(residuals(matched, times, 1 / slope)), v0: 1 / slope, r: Math.exp(logR) };
    };
    const [lo, hi] = RATIO_RANGE.map(Math.log);
    const steps = 20;
    let bestK = 0;
    let bestScore = Infinity;
    for (let k = 0; k <= steps; k += 1) {
        const { score } = cost(lo + (hi - lo) * k / steps);
        if (score < bestScore) [bestK, bestScore] = [k, score];
    }
    // Golden section within the grid cells either side of the best point.
    let [a, b] = [lo + (hi - lo) * Math.max(0, bestK - 1) / steps, lo + (hi - lo) * Math.min(steps, bestK + 1) / steps];
    const g = (Math.sqrt(5) - 1) / 2;
    let [c, d] = [b - g * (b - a), a + g * (b - a)];
    let [fc, fd] = [cost(c).score, cost(d).score];
    for (let i = 0; i < 28; i += 1) {
        if (fc < fd) {
            [b, d, fd] = [d, c, fc];
            c = b - g * (b - a);
            fc = cost(c).score;
        } else {
            [a, c, fc] = [c, d, fd];
            d = a + g * (b - a);
            fd = cost(d).score;
        }
    }
    return cost((a + b) / 2);
}

// The figures of a ramp at whole BPM against the taps, in ms.
function errorFigures(matched, passage, shape, start, stop) {
    const errors = residuals(matched, unitTimes(passage, shape, stop / start), start);
    return {
        rmsMs: 1000 * Math.sqrt(sumOfSquares(errors) / errors.length),
        largestMs: 1000 * errors.reduce((most, e) => Math.max(most, Math.abs(e)), 0),
        errors,
    };
}

function refuse(sentence) {
    throw new InputError(sentence, { fields: ["taps"], sentence });
}

// tapTimes: seconds, the first tap the passage's first beat. passage: as
// tapPassage gives. options: {shape: a name, a {name, q} or "any" (each
// shape tried, the closest kept), countIn: the start tempo counted in
// (BPM in the start's unit), or none}.
//   {start, stop (whole BPM in the start's unit), shape, fitted: {start,
//    stop} (unrounded), rmsMs, largestMs, counted, ignored, taps: [{tap,
//    beat, position, errorMs}]}
export function fitTaps(tapTimes, passage, options = {}) {
    const taps = [...tapTimes].filter(Number.isFinite).sort((a, b) => a - b);
    if (taps.length < LEAST_TAPS) refuse(`A ramp needs at least ${LEAST_TAPS} taps; ${taps.length} were tapped.`);
    const { matched, ignored } = matchTaps(taps, passage, options.countIn ?? null);
    if (matched.length < LEAST_TAPS) {
        refuse(`A ramp needs at least ${LEAST_TAPS} taps in time; ${matched.length} were, ${ignored} strayed too far.`);
    }
    const asked = options.shape ?? "linear";
    const shapes = asked === "any" ? SHAPES.map((name) => parseShape(name))
        : [typeof asked === "string" ? parseShape(asked) : asked];
    let best = null;
    for (const shape of shapes) {
        const fit = fitRatio(matched, passage, shape);
        if (!Number.isFinite(fit.score)) continue;
        const start = Math.round(fit.v0);
        const stop = Math.round(fit.v0 * fit.r);
        const figures = errorFigures(matched, passage, shape, start, stop);
        if (!best || figures.rmsMs < best.rmsMs) best = { shape, start, stop, fitted: { start: fit.v0, stop: fit.v0 * fit.r }, ...figures };
    }
    if (!best) refuse("The taps fit no ramp: tap each beat of the passage in turn.");
    const { errors, ...figures } = best;
    return {
        ...figures, counted: matched.length, ignored,
        taps: matched.map((m, i) => ({ tap: m.tap, beat: m.beat, position: passage.beats[m.beat], errorMs: 1000 * errors[i] })),
    };
}

// Seconds of each beat (and the passage's end, last) under a ramp, from
// the passage's start: for scripts that tap, and for drawing the fit.
export function rampBeatTimes(passage, shape, start, stop) {
    return unitTimes(passage, typeof shape === "string" ? parseShape(shape) : shape, stop / start).map((t) => t / start);
}

// Tap times as a file holds them: seconds, one a line; blank lines and
// what follows a # are skipped.
export function readTapTimes(text, where) {
    const times = [];
    text.split(/\r?\n/).forEach((line, k) => {
        const word = line.replace(/#.*/, "").trim();
        if (word === "") return;
        if (!/^[0-9]+(\.[0-9]*)?$|^\.[0-9]+$/.test(word)) {
            throw new InputError(`${where}: line ${k + 1}: '${word}' is not a time in seconds`);
        }
        times.push(Number(word));
    });
    return times;
}

// The fit in a line: "Taps:   12 counted, 1 ignored: quarter = 100 to ...".
export function tapsLine(fit, name) {
    const shape = fit.shape.name === "natural" ? `natural:${fit.shape.q}` : fit.shape.name;
    return `Taps:   ${fit.counted} counted, ${fit.ignored} ignored: ${name(fit.start)} to ${name(fit.stop)}, ${shape}, `
        + `off by ${fit.rmsMs.toFixed(1)} ms RMS, ${fit.largestMs.toFixed(1)} ms at most`;
}
