// Hit points: places in the score that must sound at given times, as a
// composer writing to picture has them ("measure 17 lands on 0:34.20").
// The hits split the passage from the region's start into runs of the
// plug-in, run i ending where hit i stands; each run's stop tempo is the
// one the dialog accepts that lands its hit closest, given where the earlier
// hits really landed, so errors do not add up. The search runs the plug-in
// itself over copies of the run's region (fit.js), and the hit's time is
// counted along the playback order under every record the score then holds.
// Browser-safe.
import {
    HIGHEST_BPM, InputError, LOWEST_BPM, THROUGH_MEASURE_END, UNIT_NAMES, beatUnits, measureOffsets, parseTempo,
    parseUnit, pointPosition, pointText, regionBounds, regionStart, tempoName, tempoValue,
} from "./music.js";
import { afterChoice } from "./inputs.js";
import { MOST_RUNS, runPlan } from "./tempo-plan.js";
import { fixed, withThousands } from "./numbers.js";
import { regionRecords, search } from "./fit.js";
import { checkShape, shapedRuns } from "./shaped.js";
import { checkRampsWritten, planScenario } from "./scenario.js";
import { heardScore, heardTicks, isStraight, straightOrder } from "./playback.js";
import { idealMs, secondsAt, tempoPoints, tickAtSeconds } from "./timing.js";
import { DEFAULT_FRAME_RATE, formatTime, framesOf, parseFrameRate, parseTime } from "./timecode.js";

// --- reading the hits --------------------------------------------------------

// `hit`: which hit, from 1, for a form that shows the hits as rows.
function hitError(text, sentence, fields = ["hit"], hit = null) {
    const error = new InputError(`--hit ${text}: ${sentence}`, { fields, sentence });
    error.hit = hit;
    return error;
}

// The error about hit `number`, for a form's row.
function aboutHit(error, number) {
    if (error instanceof InputError && (error.hit ?? null) === null) error.hit = number;
    return error;
}

// "17=0:34.2", "12:3=00:01:02:05": a position as --from takes it, and a
// time. {text, measure, position (in the measure), at (from the score's
// start), target: {seconds, form}}.
export function parseHit(text, measures, rate) {
    const cut = text.indexOf("=");
    if (cut < 0) throw hitError(text, "write a position and a time, as 17=0:34.2 or 17:3=34.2");
    const point = text.slice(0, cut);
    let place;
    try {
        place = pointPosition(point, measures, "--hit");
    } catch (error) {
        if (!(error instanceof InputError)) throw error;
        throw hitError(text, error.sentence);
    }
    let target;
    try {
        target = parseTime(text.slice(cut + 1), rate, `--hit ${text}`);
    } catch (error) {
        if (!(error instanceof InputError)) throw error;
        throw hitError(text, error.sentence, error.fields);
    }
    const starts = measureOffsets(measures);
    return { text: text.trim(), ...place, at: starts[place.measure] + place.position, target };
}

// The hits as given, checked against each other and against the region's
// start (`from`: {measure, position, text}): in the order of their
// positions, one to a position, each after the start, their times rising.
export function checkHits(hits, from, measures) {
    if (hits.length === 0) throw new InputError("--hit: give at least one hit, as --hit 17=0:34.2", { fields: ["hit"] });
    if (hits.length > MOST_RUNS) {
        throw new InputError(`--hit: ${withThousands(hits.length)} hits, more than the ${withThousands(MOST_RUNS)} runs a plan `
            + "may hold", { fields: ["hit"] });
    }
    const fromAt = measureOffsets(measures)[from.measure] + from.position;
    hits.forEach((hit, i) => {
        if (hit.at <= fromAt) {
            const where = hit.at === fromAt ? "is where the region starts" : "comes before the region's start";
            throw hitError(hit.text, `${pointText(hit.measure, hit.position, measures)} ${where} (--from ${from.text}); `
                + "a hit ends the run that leads to it", ["hit", "from"], i + 1);
        }
        if (i === 0) return;
        const before = hits[i - 1];
        if (hit.at === before.at) {
            throw hitError(hit.text, `${pointText(hit.measure, hit.position, measures)} has a hit already (--hit ${before.text}); `
                + "one hit to a position", ["hit"], i + 1);
        }
        if (hit.at < before.at) {
            throw hitError(hit.text, `comes before --hit ${before.text} in the score; give the hits in the order of their positions`,
                ["hit"], i + 1);
        }
        if (!(hit.target.seconds > before.target.seconds)) {
            throw hitError(hit.text, `its time is not later than that of --hit ${before.text}; each hit's time must come after `
                + "the one before", ["hit"], i + 1);
        }
    });
    return hits;
}

// The inputs of a passage to land hits in ({from, start, after, stopUnit,
// hits: texts, fps, cueStart}, as the command line's options give them)
// checked against the score (preview.js's readMeasures), as solveHits
// takes them.
export function checkHitInputs(inputs, score) {
    const { measures } = score;
    const from = { ...regionStart(inputs.from, measures), text: String(inputs.from).trim() };
    const start = parseTempo(inputs.start, "--start");
    const after = afterChoice(inputs.after);
    const stopUnit = inputs.stopUnit ? parseUnit(inputs.stopUnit, "--stop-unit") : null;
    const rate = inputs.fps ? parseFrameRate(inputs.fps) : null;
    const cue = inputs.cueStart ? parseTime(inputs.cueStart, rate, "--cue-start") : null;
    const hits = checkHits(inputs.hits.map((text, i) => {
        try {
            return parseHit(text, measures, rate);
        } catch (error) {
            throw aboutHit(error, i + 1);
        }
    }), from, measures);
    const heard = scoreClock(score, score.tempo).at([measureOffsets(measures)[from.measure] + from.position, ...hits.map((h) => h.at)]);
    heard.forEach((seconds, i) => {
        if (seconds !== null) return;
        const [text, option] = i === 0 ? [from.text, "--from"] : [hits[i - 1].text, "--hit"];
        const error = new InputError(`${option} ${text}: the score's repeats and jumps never play it`, {
            fields: [option.slice(2)], sentence: "the score's repeats and jumps never play it",
        });
        throw aboutHit(error, i === 0 ? null : i);
    });
    const shaped = checkShape({ shape: inputs.shape });
    return { score, from, start, after, stopUnit, rate, cue: cue?.seconds ?? 0, cueForm: cue?.form ?? null, hits, shaped };
}

// The hits solved and the plan of their runs run through the plug-in:
// runPlan's result with `hits`, hitReport's.
export async function runHits(checked, plugin, names = {}, tools = {}, source = null) {
    const solved = await solveHits(plugin, checked);
    const hits = hitReport(checked, solved);
    const runs = solved.shapedRuns ?? solved.runs;
    const result = await runPlan({ score: checked.score, source, runs }, plugin, names, tools, { hits: hits.marks });
    result.header.hits = !solved.shapedRuns;
    return { ...result, hits };
}

// --- the candidates --------------------------------------------------------

// Beat units in the order an entry is shown in, when several give one tempo
// value: the start's own first, then the plain units, then the dotted ones.
const UNIT_ORDER = [2, 1, 3, 0, 4].flatMap((unit) => [{ unit, dotted: false }])
    .concat([2, 1, 3, 0, 4].map((unit) => ({ unit, dotted: true })));
const CHOICES = new Map();

// Every tempo value the dialog can enter as a stop tempo, ascending, each
// with the entry that gives it ({value, tempo}): of one unit (`unit`,
// {unit, dotted}), or of any, the `preferred` unit's entry first.
export function stopChoices(preferred, unit = null) {
    const key = unit ? `only ${unit.unit}${unit.dotted}` : `any ${preferred.unit}${preferred.dotted}`;
    if (!CHOICES.has(key)) {
        const first = unit ?? preferred;
        const units = [first, ...(unit ? [] : UNIT_ORDER.filter((u) => u.unit !== first.unit || u.dotted !== first.dotted))];
        const byValue = new Map();
        for (const { unit: u, dotted } of units) {
            for (let bpm = LOWEST_BPM; bpm <= HIGHEST_BPM; bpm += 1) {
                const tempo = { unit: u, dotted, bpm };
                const value = tempoValue(tempo);
                if (!byValue.has(value)) byValue.set(value, tempo);
            }
        }
        CHOICES.set(key, [...byValue].sort((a, b) => a[0] - b[0]).map(([value, tempo]) => ({ value, tempo })));
    }
    return CHOICES.get(key);
}

// --- time along the score ------------------------------------------------------

// The first downbeat's position: where the score's first measure that is
// not a pickup starts.
export function firstDownbeat(measures) {
    const starts = measureOffsets(measures);
    const index = measures.findIndex((m) => m.downbeat !== false);
    return index < 0 ? 0 : starts[index + 1];
}

// A clock for the score under a set of records: the seconds on the cue's
// clock (`cue`: when the first downbeat sounds) at which each position is
// first heard, following the playback order; and the position heard at a
// clock time.
export function scoreClock(score, records, cue = 0) {
    const { measures } = score;
    const order = score.order ?? straightOrder(measures.length);
    const last = records.reduce((most, record) => Math.max(most, record[0]), measures.length);
    const points = tempoPoints(records, measureOffsets(measures, last));
    const straight = isStraight(order, measures.length);
    const heard = straight ? null : heardScore(measures, order, points);
    const tickOf = (at) => (straight ? at : heardTicks(heard, at)[0] ?? null);
    const heardPoints = straight ? points : heard.points;
    const zero = secondsAt(heardPoints, [tickOf(firstDownbeat(measures)) ?? 0])[0];
    return {
        // null for a position the order never plays.
        at(positions) {
            const ticks = positions.map(tickOf);
            const times = secondsAt(heardPoints, ticks.map((t) => t ?? 0));
            return times.map((t, i) => (ticks[i] === null ? null : cue + t - zero));
        },
        // The score position heard at a clock time (its first hearing).
        position(seconds) {
            const tick = tickAtSeconds(heardPoints, seconds - cue + zero);
            if (straight || tick < 0) return tick;
            const run = heard.runs.find((r) => r.tick <= tick && tick < r.tick + r.to - r.from) ?? heard.runs[heard.runs.length - 1];
            return run.from + Math.min(tick - run.tick, run.to - run.from);
        },
    };
}

// --- the solver ----------------------------------------------------------------

// Run i's region: from where the run before it ended (the first: `from`)
// up to, not including, hit i.
export function hitRegions(from, hits, measures) {
    let start = from;
    return hits.map((hit) => {
        const end = hit.position === 0 ? [hit.measure - 1, THROUGH_MEASURE_END] : [hit.measure, hit.position - 1];
        const region = [start.measure, start.position, ...end];
        start = hit;
        return region;
    });
}

// checked: {score, from, start, after, hits, stopUnit (null: any unit),
// cue (seconds), shaped (checkShape's, or null)}. The runs ({region, start,
// stop, after}) whose ramps land the hits (with a shape, each the curve's
// runs between two hits: `shapedRuns`, all of them in order), for each hit whether a stop tempo within the dialog's range
// reaches it, and the records the runs leave. Each run is solved with the
// runs before it in place, so its hit is placed from where the earlier ones
// really are: outside its region the records stand as they left them, and
// inside it are the records the plug-in writes for the stop tried.
export async function solveHits(plugin, checked) {
    const { score, hits, cue } = checked;
    const { measures } = score;
    const starts = measureOffsets(measures);
    const regions = hitRegions(checked.from, hits, measures);
    // A shape's runs between hits read in one unit: its start's, unless
    // another is asked for.
    const unit = checked.stopUnit ?? (checked.shaped ? { unit: checked.start.unit, dotted: checked.start.dotted } : null);
    const choices = stopChoices(checked.start, unit);
    const byValue = new Map(choices.map((choice) => [choice.value, choice.tempo]));
    const runs = [];
    const reachable = [];
    let records = score.tempo;
    let start = checked.start;
    const shaped = [];
    for (let i = 0; i < hits.length; i += 1) {
        const region = regions[i];
        const after = i + 1 < hits.length ? "stop" : checked.after;
        const span = regionBounds(region, measures, starts);
        const startValue = tempoValue(start);
        const values = choices.map((choice) => choice.value).filter((value) => value !== startValue);
        // What lies outside the region stays; inside, the ramp's records.
        const outside = records.filter(([m, p]) => starts[m] + p < span[0] || starts[m] + p >= span[1]);
        const offset = scoreClock(score, records, cue).at([span[0]])[0] ?? 0;
        const request = { measures, region, start, after };
        const written = new Map();
        const pieces = new Map();
        const landed = (inside) => scoreClock(score, [...outside, ...inside], cue).at([hits[i].at])[0] - offset;
        const evaluate = checked.shaped ? async (tried) => {
            const out = new Map();
            for (const value of tried) {
                const shapedRun = { score: { ...score, tempo: outside }, region, start, after };
                const { runs: made } = shapedRuns(shapedRun, checked.shaped, byValue.get(value));
                const report = await plugin.runScenario(planScenario(measures, outside, made));
                checkRampsWritten(report);
                const inside = (report.tempo || []).map((r) => r.slice(0, 3))
                    .filter(([m, p]) => starts[m] + p >= span[0] && starts[m] + p < span[1]);
                written.set(value, inside);
                pieces.set(value, made.map((piece) => ({ region: piece.region, start: piece.start, stop: piece.stop, after: piece.after })));
                out.set(value, landed(inside));
            }
            return out;
        } : async (tried) => {
            const inside = await regionRecords(plugin, request, tried.map((value) => byValue.get(value)));
            tried.forEach((value, k) => written.set(value, inside[k]));
            return new Map(tried.map((value, k) => [value, landed(inside[k])]));
        };
        const model = checked.shaped ? shapedModel({ score, region, start, after }, checked.shaped, byValue, span)
            : (value) => idealMs(startValue, value, span[1] - span[0]) / 1000;
        const found = await search(evaluate, values, hits[i].target.seconds - offset, model, { neighbours: false });
        const stop = byValue.get(values[found.best]);
        runs.push({ region, start, stop, after });
        if (checked.shaped) shaped.push(...pieces.get(values[found.best]));
        reachable.push(found.reachable);
        records = [...outside, ...written.get(values[found.best])];
        start = stop;
    }
    return { runs, reachable, records, shapedRuns: checked.shaped ? shaped : null };
}

// The time (s) a shaped passage plans to take, to each stop tempo value:
// the search's guide, the plug-in's records its judge.
function shapedModel(run, shape, byValue, span) {
    const beat = beatUnits(run.start);
    return (value) => {
        const { solved } = shapedRuns(run, shape, byValue.get(value));
        return solved.minutes * (span[1] - span[0]) / beat * 60;
    };
}

// --- the comparison: one constant tempo -------------------------------------

// The constant tempo (in the start's beat unit, to a thousandth of a beat
// per minute, within the dialog's 20 to 600) that brings the hits closest,
// the largest error the least, as a cue calculator gives it: the passage
// from the region's start plays at that one tempo. The clock of each hit is
// a + b_i * s, s the seconds a beat lasts; `beats` are the b_i, `a` the
// clock at which the passage would start if nothing moved it.
export function constantTempo(a, beats, targets, lo = LOWEST_BPM, hi = HIGHEST_BPM) {
    const worst = (bpm) => beats.reduce((most, b, i) => Math.max(most, Math.abs(a + b * 60 / bpm - targets[i])), 0);
    // The largest error is convex in s, so it falls and then rises with the
    // tempo: a golden-section search finds its least, then the thousandths
    // on either side are compared.
    let [x0, x1] = [60 / hi, 60 / lo];
    const ratio = (Math.sqrt(5) - 1) / 2;
    const f = (s) => worst(60 / s);
    for (let k = 0; k < 200 && x1 - x0 > 1e-13; k += 1) {
        const m0 = x1 - ratio * (x1 - x0);
        const m1 = x0 + ratio * (x1 - x0);
        if (f(m0) <= f(m1)) x1 = m1;
        else x0 = m0;
    }
    const best = 60 / ((x0 + x1) / 2);
    const grid = [Math.floor(best * 1000) / 1000, Math.ceil(best * 1000) / 1000]
        .map((bpm) => Math.min(hi, Math.max(lo, bpm)));
    const bpm = worst(grid[1]) < worst(grid[0]) ? grid[1] : grid[0];
    return { bpm, errors: beats.map((b, i) => a + b * 60 / bpm - targets[i]) };
}

// --- the report --------------------------------------------------------------

// Where each hit landed under the records the plan left, its error, the
// largest, the constant-tempo comparison, and the marks for the map.
// solved: solveHits' answer; checked: checkHitInputs'.
export function hitReport(checked, solved) {
    const { score, hits, cue } = checked;
    const rate = checked.rate ?? DEFAULT_FRAME_RATE;
    const clock = scoreClock(score, solved.records, cue);
    const landed = clock.at(hits.map((hit) => hit.at));
    const rows = hits.map((hit, i) => {
        const errorS = landed[i] - hit.target.seconds;
        return {
            number: i + 1, text: hit.text, measure: hit.measure, position: hit.position, target: hit.target,
            landedS: landed[i], errorS, frames: framesOf(errorS, rate), reachable: solved.reachable[i], stop: solved.runs[i].stop,
        };
    });
    const largest = rows.reduce((most, row) => Math.max(most, Math.abs(row.errorS)), 0);

    // The comparison: the passage from --from at one tempo, as heard.
    const before = scoreClock(score, score.tempo, cue);
    const fromAt = measureOffsets(score.measures)[checked.from.measure] + checked.from.position;
    const unit = beatUnits(checked.start);
    const heardUnits = heardDistances(score, fromAt, [firstDownbeat(score.measures), ...hits.map((hit) => hit.at)]);
    const [downbeatUnits, ...hitUnits] = heardUnits;
    // A first downbeat inside the passage moves with its tempo, and with it
    // the cue's zero.
    const downbeatInside = downbeatUnits !== null && downbeatUnits > 0;
    const a = downbeatInside ? cue : before.at([fromAt])[0];
    const beats = hitUnits.map((u) => (u - (downbeatInside ? downbeatUnits : 0)) / unit);
    const constant = constantTempo(a, beats, hits.map((hit) => hit.target.seconds));

    const marks = rows.map((row, i) => ({ at: hits[i].at, target: clock.position(hits[i].target.seconds), label: `hit ${row.number}` }));
    return {
        rate, rateGiven: Boolean(checked.rate), cue, cueForm: checked.cueForm ?? null, rows, largestS: largest,
        largestFrames: framesOf(largest, rate),
        constant: { tempo: { unit: checked.start.unit, dotted: checked.start.dotted, bpm: constant.bpm }, errors: constant.errors,
            from: checked.from },
        marks,
    };
}

// Units heard from the first hearing of `from` to the first hearing of each
// position (null for one never heard; negative for one heard before).
function heardDistances(score, from, positions) {
    const order = score.order ?? straightOrder(score.measures.length);
    if (isStraight(order, score.measures.length)) return positions.map((p) => p - from);
    const heard = heardScore(score.measures, order, []);
    const fromTick = heardTicks(heard, from)[0];
    return positions.map((p) => {
        const tick = heardTicks(heard, p)[0];
        return tick === undefined ? null : tick - fromTick;
    });
}

// --- the lines the command line prints ---------------------------------------

export const signed = (x, digits) => `${x >= 0 ? "+" : "-"}${fixed(Math.abs(x), digits)}`;

// "Hit 3 cannot be reached: ...", `place` naming where the hit is.
export function unreachableText(row, place, rate) {
    return `Hit ${row.number} cannot be reached: no stop tempo from ${LOWEST_BPM} to ${HIGHEST_BPM} brings ${place} `
        + `to ${formatTime(row.target.seconds, row.target.form)}; the nearest, ${tempoName(row.stop)}, lands it at `
        + `${formatTime(row.landedS, row.target.form)} (${errorText(row.errorS, rate)}).`;
}

function errorText(seconds, rate) {
    return `${signed(seconds * 1000, 1)} ms, ${signed(framesOf(seconds, rate), 2)} frames`;
}

export function hitLines(report, measures) {
    const { rate, rows } = report;
    const rateText = `errors in frames at ${rate.name} fps${report.rateGiven ? "" : ", as no --fps was given"}`;
    const cueText = report.cueForm ? `; the first downbeat at ${formatTime(report.cue, report.cueForm)}` : "";
    const place = (row) => pointText(row.measure, row.position, measures);
    const widths = [Math.max(8, ...rows.map((row) => place(row).length)),
        Math.max(6, ...rows.map((row) => formatTime(row.target.seconds, row.target.form).length))];
    const lines = [`Hits (${rateText}${cueText}):`,
        `  hit  ${"position".padEnd(widths[0])}  ${"target".padEnd(widths[1])}  ${"lands at".padEnd(widths[1])}  error`];
    for (const row of rows) {
        lines.push(`  ${String(row.number).padStart(3)}  ${place(row).padEnd(widths[0])}  `
            + `${formatTime(row.target.seconds, row.target.form).padEnd(widths[1])}  `
            + `${formatTime(row.landedS, row.target.form).padEnd(widths[1])}  ${errorText(row.errorS, rate)}`);
    }
    lines.push(`Largest error: ${fixed(report.largestS * 1000, 1)} ms, ${fixed(report.largestFrames, 2)} frames`);
    for (const row of rows.filter((r) => !r.reachable)) {
        lines.push(unreachableText(row, place(row), rate));
    }
    const { constant } = report;
    const constantLargest = constant.errors.reduce((most, e) => Math.max(most, Math.abs(e)), 0);
    lines.push(`For comparison, the best single constant tempo from ${pointText(constant.from.measure, constant.from.position, measures)}: `
        + `${constantName(constant.tempo)}`);
    lines.push(`  errors: ${constant.errors.map((e, i) => `hit ${i + 1} ${signed(e * 1000, 1)} ms`).join(", ")}`);
    lines.push(`  largest ${fixed(constantLargest * 1000, 1)} ms, ${fixed(framesOf(constantLargest, rate), 2)} frames`);
    return lines;
}

// The first sentences of the hits' result, as the page shows them large:
// [{kind, text}], kind "hits" (how near every hit that can be reached
// lands) and "unreachable" (each hit no stop tempo reaches, and how near
// the nearest brings it), said alike.
export function hitHeadline(report, measures, printed = null) {
    const { rate, rows } = report;
    const place = (row) => pointText(row.measure, row.position, measures, printed);
    const reached = rows.filter((row) => row.reachable);
    const lines = [];
    if (reached.length) {
        const largest = reached.reduce((most, row) => (Math.abs(row.errorS) > Math.abs(most.errorS) ? row : most));
        const which = reached.length === rows.length
            ? (rows.length === 1 ? "The hit point lands" : `All ${rows.length} hit points land`)
            : `${reached.length} of ${rows.length} hit points land`;
        lines.push({ kind: "hits", text: `${which} on time: within ${fixed(Math.abs(largest.frames), 2)} frames at `
            + `${rate.name} fps (largest error ${fixed(Math.abs(largest.errorS) * 1000, 1)} ms, hit ${largest.number}).` });
    }
    for (const row of rows.filter((r) => !r.reachable)) {
        lines.push({ kind: "unreachable", text: `Out of reach: hit ${row.number} (${place(row)}) cannot land on `
            + `${formatTime(row.target.seconds, row.target.form)}; the nearest stop tempo, ${tempoName(row.stop)}, brings it `
            + `to ${formatTime(row.landedS, row.target.form)}, ${errorText(row.errorS, rate)} off.` });
    }
    return lines;
}

// "quarter = 117.342".
export function constantName(tempo) {
    return `${tempo.dotted ? "dotted " : ""}${UNIT_NAMES[tempo.unit]} = ${fixed(tempo.bpm, 3)}`;
}
