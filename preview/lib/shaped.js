// A ramp of a named shape (shapes.js) previewed as what it is in Finale: a
// plan of consecutive runs of the plug-in, each its own linear ramp, run
// through the plug-in as one session like any plan (tempo-plan.js), with
// the figures that say how closely the runs follow the curve. A duration
// to fit holds the shape and solves its final tempo. Browser-safe.
import {
    InputError, THROUGH_MEASURE_END, UNITS_PER_QUARTER, beatUnits, measureOffsets, pointText, regionBounds, tempoName,
} from "./music.js";
import { fixed } from "./numbers.js";
import { candidates, search } from "./fit.js";
import { checkRampsWritten, planScenario } from "./scenario.js";
import { curve, parseShape, shapeName, solveShape, TEMPO_BOUND, TIME_BOUND } from "./shapes.js";
import { fitLines } from "./lines.js";
import { planLines, runPlan } from "./tempo-plan.js";
import { playbackMs, quarterBpm, tempoPoints } from "./timing.js";

export const MOST_SHAPED_RUNS = 200;

// The shape and the number of runs asked for ({shape, runs}), checked;
// null for the plug-in's own single linear run.
export function checkShape(inputs) {
    const shape = parseShape(inputs.shape ?? "linear");
    let runs = null;
    if (inputs.runs !== undefined && inputs.runs !== null && String(inputs.runs).trim() !== "") {
        runs = Number(String(inputs.runs).trim());
        if (!/^\s*[0-9]+\s*$/.test(String(inputs.runs)) || runs < 1 || runs > MOST_SHAPED_RUNS) {
            throw new InputError(`--runs: '${inputs.runs}' is not a number of runs from 1 to ${MOST_SHAPED_RUNS}`, {
                fields: ["runs"], sentence: `'${inputs.runs}' is not a number of runs from 1 to ${MOST_SHAPED_RUNS}`,
            });
        }
    }
    if (shape.name === "linear" && (runs === null || runs === 1)) return null;
    return { shape, runs };
}

// Absolute positions of every counted beat of the region's measures.
function regionBeats(measures, region, starts) {
    const beats = [];
    for (let m = region[0]; m <= region[2]; m += 1) for (const click of measures[m - 1].clicks) beats.push(starts[m] + click);
    return beats;
}

// The region a run from `from` up to `to` (absolute units) is selected as.
function runRegion(from, to, region, starts, span) {
    const at = (position) => {
        let m = 1;
        while (m + 1 < starts.length - 1 && starts[m + 1] <= position) m += 1;
        return m;
    };
    const head = from === span[0] ? [region[0], region[1]] : [at(from), from - starts[at(from)]];
    if (to === span[1]) return [...head, region[2], region[3]];
    const m = at(to);
    return to === starts[m] ? [...head, m - 1, THROUGH_MEASURE_END] : [...head, m, to - starts[m] - 1];
}

// The solved runs of the curve from the run's start to `stop`, as plan runs
// ({region, start, stop, after, ...}, each as checkRun gives one), with
// what was solved.
export function shapedRuns(run, shaped, stop) {
    const { measures } = run.score;
    const starts = measureOffsets(measures);
    const span = regionBounds(run.region, measures, starts);
    const v1 = stop.bpm * beatUnits(stop) / beatUnits(run.start);
    const solved = solveShape(shaped.shape, run.start.bpm, v1, span, regionBeats(measures, run.region, starts), shaped.runs,
        shaped.least ?? 1);
    const last = solved.runs.length - 1;
    const runs = solved.runs.map((piece, i) => ({
        ...run, region: runRegion(piece.from, piece.to, run.region, starts, span),
        start: { unit: run.start.unit, dotted: run.start.dotted, bpm: piece.start },
        stop: i === last ? stop : { unit: run.start.unit, dotted: run.start.dotted, bpm: piece.stop },
        target: null, after: i === last ? run.after : "none",
    }));
    return { runs, solved, span, v1 };
}

// The passage's time (s) under the plug-in's records of the runs.
async function writtenSeconds(plugin, score, runs, span) {
    const report = await plugin.runScenario(planScenario(score.measures, score.tempo, runs));
    checkRampsWritten(report);
    return playbackMs(tempoPoints(report.tempo || [], measureOffsets(score.measures)), ...span) / 1000;
}

// The final tempo that makes the shaped passage last the run's target, in
// its stop unit: as fitStop's answer, each candidate timed by the plug-in.
async function fitShaped(run, shaped, plugin) {
    const { unit, dotted } = run.stopUnit;
    const { allowed, refused } = candidates(run.start, unit, dotted);
    const stopOf = (bpm) => ({ unit, dotted, bpm });
    const beats = (span) => (span[1] - span[0]) / beatUnits(run.start);
    const model = (bpm) => {
        const { solved, span } = shapedRuns(run, shaped, stopOf(bpm));
        return solved.minutes * beats(span) * 60;
    };
    const evaluate = async (bpms) => {
        const seconds = new Map();
        for (const bpm of bpms) {
            const { runs, span } = shapedRuns(run, shaped, stopOf(bpm));
            seconds.set(bpm, await writtenSeconds(plugin, run.score, runs, span));
        }
        return seconds;
    };
    const { best, times, reachable } = await search(evaluate, allowed, run.target, model);
    const neighbours = [best - 1, best + 1].filter((i) => i >= 0 && i < allowed.length).map((i) => allowed[i]);
    return {
        bpm: allowed[best], seconds: times, neighbours, reachable, refused, target: run.target, stopUnit: run.stopUnit,
        passes: null,
    };
}

// How closely the plug-in's records follow the curve: the passage's time
// against the curve's, and the record farthest off it in tempo.
function shapeFigures(line, span, v, startBeat, idealS) {
    const writtenS = playbackMs(line.points, ...span) / 1000;
    let worst = { error: 0, position: span[0] };
    for (const [position, value] of line.points) {
        if (position < span[0] || position >= span[1]) continue;
        const bpm = quarterBpm(value) * UNITS_PER_QUARTER / startBeat;
        const ideal = v((position - span[0]) / (span[1] - span[0]));
        const error = Math.abs(bpm - ideal) / ideal;
        if (error > worst.error) worst = { error, position };
    }
    return { idealS, writtenS, worst };
}

// The plug-in, each scenario run once: the count chosen is the plan run
// in the end, and its report is the one already made.
function rememberingPlugin(plugin) {
    const reports = new Map();
    return {
        async runScenario(scenario) {
            const key = JSON.stringify(scenario);
            if (!reports.has(key)) reports.set(key, await plugin.runScenario(scenario));
            return reports.get(key);
        },
    };
}

// The fewest runs whose records, as the plug-in writes them, keep within
// the bounds: the plug-in steps its ramp (its last step short of the stop
// tempo), so the runs' straight lines only guide the count, and the
// plug-in's records decide it.
async function fewestWritten(checked, shaped, stop, plugin, startBeat) {
    const within = async (count) => {
        const { runs, solved, span, v1 } = shapedRuns(checked, { ...shaped, runs: count }, stop);
        const report = await plugin.runScenario(planScenario(checked.score.measures, checked.score.tempo, runs));
        checkRampsWritten(report);
        const points = tempoPoints(report.tempo || [], measureOffsets(checked.score.measures));
        const idealS = solved.idealMinutes * (span[1] - span[0]) / startBeat * 60;
        return withinBounds(shapeFigures({ points }, span, curve(shaped.shape, checked.start.bpm, v1), startBeat, idealS));
    };
    const guided = shapedRuns(checked, shaped, stop).solved;
    let count = guided.runs.length;
    if (await within(count)) {
        while (count > 1 && await within(count - 1)) count -= 1;
        return count;
    }
    for (let tries = 0; tries < 4 && count < guided.places; tries += 1) {
        count += 1;
        if (await within(count)) break;
    }
    return count;
}

function withinBounds({ idealS, writtenS, worst }) {
    return Math.abs(writtenS / idealS - 1) <= TIME_BOUND && worst.error <= TEMPO_BOUND;
}

// The curve as the map draws it: [position, quarter BPM], thin over the records.
function curvePoints(v, span, startBeat, count = 120) {
    return Array.from({ length: count + 1 }, (_, k) => {
        const x = k / count;
        return [span[0] + x * (span[1] - span[0]), v(x) * startBeat / UNITS_PER_QUARTER];
    });
}

// checked: checkRun's answer with `shaped` (checkShape's). As runPlan's
// result, with `shape`: {name, runs, fixed (the number of runs was asked
// for), idealS, writtenS, worst: {error, measure, position}, ramp: {start,
// stop, region}} and `fit` (the fitted final tempo as fitStop's answer, or
// null).
export async function runShaped(checked, given, names = {}, tools = {}) {
    const { shaped } = checked;
    const plugin = rememberingPlugin(given);
    const fit = checked.stop === null ? await fitShaped(checked, shaped, plugin) : null;
    const stop = fit ? { ...checked.stopUnit, bpm: fit.bpm } : checked.stop;
    const startBeat = beatUnits(checked.start);
    const count = shaped.runs ?? await fewestWritten(checked, shaped, stop, plugin, startBeat);
    const { runs, solved, span, v1 } = shapedRuns(checked, { ...shaped, runs: count }, stop);
    const v = curve(shaped.shape, checked.start.bpm, v1);
    const idealS = solved.idealMinutes * (span[1] - span[0]) / startBeat * 60;
    const plan = { score: checked.score, source: checked.source, runs };
    const result = await runPlan(plan, plugin, names, tools, { curve: curvePoints(v, span, startBeat) });
    const figures = shapeFigures(result.line, span, v, startBeat, idealS);
    if (fit) fit.seconds.set(fit.bpm, figures.writtenS);
    const starts = measureOffsets(checked.score.measures);
    let measure = checked.region[0];
    while (measure < checked.region[2] && starts[measure + 1] <= figures.worst.position) measure += 1;
    result.shape = {
        name: shapeName(shaped.shape), runs: runs.length, fixed: shaped.runs !== null, idealS: figures.idealS,
        writtenS: figures.writtenS, worst: { error: figures.worst.error, measure, position: figures.worst.position - starts[measure] },
        ramp: { start: checked.start, stop, region: checked.region },
    };
    result.fit = fit;
    return result;
}

// The shape, its runs and how closely they follow it, in two lines.
export function shapeLines(shape, measures) {
    const { ramp, idealS, writtenS, worst } = shape;
    const percent = (share) => `${share >= 0 ? "+" : ""}${fixed(share * 100, 2)} %`;
    const within = withinBounds(shape);
    const bounds = shape.fixed ? (within ? "within" : "outside")
        : within ? "the fewest within" : "outside (no runs on these beats are within)";
    return [
        `Shape:  ${shape.name}, ${tempoName(ramp.start)} to ${tempoName(ramp.stop)}${ramp.stop.percent ? ` (${ramp.stop.percent} %)` : ""}, `
            + `as ${shape.runs} run${shape.runs === 1 ? "" : "s"} of the plug-in${shape.fixed ? " (as asked)" : ""}, `
            + `${bounds} ${TIME_BOUND * 100} % of the curve's time and ${TEMPO_BOUND * 100} % of its tempo:`,
        `  ${fixed(writtenS, 3)} s against the curve's ${fixed(idealS, 3)} s (${percent(writtenS / idealS - 1)}); `
            + `tempo at most ${fixed(worst.error * 100, 2)} % off the curve (${pointText(worst.measure, worst.position, measures)})`,
    ];
}

// Everything the command line prints for a shaped ramp.
export function shapedLines(result) {
    const lines = planLines(result);
    const blank = lines.indexOf("");
    const fit = result.fit ? ["", ...fitLines(result.fit)] : [];
    return [...lines.slice(0, blank), ...shapeLines(result.shape, result.header.score.measures), ...fit, ...lines.slice(blank)];
}
