// What the page says of a result beyond its headline, as sentences and
// table rows made from the preview's data (the command line prints the same
// data as its own text). Plain data, so that a Worker can post it.
import { percentName, pointText, regionText, tempoName } from "../lib/music.js";
import { fixed, formatG } from "../lib/numbers.js";
import { AFTER_TEXT, scoreWords } from "../lib/lines.js";
import { DEFAULT_TEMPO_NOTE } from "../lib/timing.js";
import { constantName, signed, unreachableText } from "../lib/hits.js";
import { formatTime, framesOf } from "../lib/timecode.js";
import { bpmIn, regionWords, unitName } from "../lib/words.js";

const seconds = (s) => `${fixed(s, 3)} s`;

function capital(text) {
    return text[0].toUpperCase() + text.slice(1);
}

// A single ramp: the score, then the ramp with its region.
export function rampAbout(header, printed = null) {
    const { score, region, ramp } = header;
    const sentences = [`The score: ${scoreWords(score)}.`,
        `${capital(regionWords(region, score.measures, printed))}: ${tempoName(ramp.start)} to ${tempoName(ramp.stop)}, `
            + `${AFTER_TEXT[ramp.after]}.`];
    if (ramp.stop.percent) sentences.push(`The stop tempo: ${percentName(ramp.start, ramp.stop)}.`);
    return sentences;
}

// A plan: the score, then each ramp in the order it is made.
export function planAbout(header) {
    const { score, runs } = header;
    const count = runs.length === 1 ? "1 ramp" : `${runs.length} ramps`;
    return [`The score: ${scoreWords(score)}.`,
        `The plan: ${count}${header.hits ? ", one to each hit" : ""}, made in this order.`,
        ...runs.map((run, i) => `Ramp ${i + 1}, ${regionText(run.region, score.measures)}: `
            + `${tempoName(run.start)} to ${tempoName(run.stop)}${run.stop.percent ? ` (${run.stop.percent} % of the start)` : ""}, `
            + `${AFTER_TEXT[run.after]}.`)];
}

// A tempo difference in quarter BPM as the ramp's own unit counts it.
const bpmWords = (beat, quarterBpm) => `${fixed(bpmIn(beat, quarterBpm), 1)} ${unitName(beat)} BPM`;

// A ramp's timing as [what, figure] rows, tempos in the unit of `beat` (the
// ramp's start); `passes` the region's hearings ([{text, fromS, toS}]) or
// null when it is heard once as written.
export function timingRows(summary, beat, passes = summary.passes ?? null) {
    const note = summary.assumesDefault ? ` (${DEFAULT_TEMPO_NOTE})` : "";
    const rows = [["Region length", `${formatG(summary.quarters)} quarter notes`],
        [`Plays for${passes ? " once through" : ""}, with the written records`, `${seconds(summary.writtenS)}${note}`]];
    if (summary.idealS === null) {
        rows.push(["Tempo records inside the region", "none"]);
    } else {
        rows.push(["Under an ideal, smooth ramp", seconds(summary.idealS)],
            ["Largest jump between neighbouring records", bpmWords(beat, summary.largestJumpBpm)]);
        if (summary.stepAfter) {
            const [from, to] = summary.stepAfter;
            rows.push(["Step to the record after the region", `${fixed(bpmIn(beat, from), 1)} to ${bpmWords(beat, to)}`]);
        }
    }
    if (passes) rows.push(...passRows(passes));
    return rows;
}

function passRows(passes) {
    if (!passes.length) return [["Heard", "never: the score's repeats and jumps pass it by"]];
    const times = passes.length === 1 ? "once" : passes.length === 2 ? "twice" : `${passes.length} times`;
    let total = 0;
    const rows = [["The score's repeats and jumps play it", times], ...passes.map((pass) => {
        total += pass.toS - pass.fromS;
        return [`Heard ${pass.text}`, `${seconds(pass.fromS)} to ${seconds(pass.toS)} (${seconds(pass.toS - pass.fromS)})`];
    })];
    if (passes.length > 1) rows.push(["Heard in all", seconds(total)]);
    return rows;
}

// A plan's timing: each ramp's rows under its own heading row ([heading]),
// then the whole plan's.
export function planTimingRows(result) {
    const { measures } = result.header.score;
    const rows = result.summaries.flatMap((summary, i) => {
        const by = summary.rewrittenBy;
        const rewritten = by.length ? ` (${by.length === 1 ? "ramp" : "ramps"} ${by.map((j) => j + 1).join(", ")} rewrote part of it)` : "";
        return [[`Ramp ${i + 1}, ${regionText(result.header.runs[i].region, measures)}${rewritten}`], ...timingRows(summary, result.header.runs[i].start)];
    });
    const { whole } = result;
    const note = whole.assumesDefault ? ` (${DEFAULT_TEMPO_NOTE})` : "";
    rows.push([`The whole plan, ${regionText(whole.region, measures)}`],
        ["Length, and time with the written records", `${formatG(whole.quarters)} quarter notes, ${seconds(whole.writtenS)}${note}`]);
    if (whole.passes) {
        rows.push(...(whole.passes.length
            ? whole.passes.map((pass) => [`Heard ${pass.text}`, `${seconds(pass.fromS)} to ${seconds(pass.toS)}`])
            : [["Heard", "never: the score's repeats and jumps pass it by"]]));
    }
    return rows;
}

// The hits: a caption, a row per hit ([hit, position, target, lands at,
// error ms, error frames]) and the sentences under the table.
export function hitTable(report, measures) {
    const { rate, rows, constant } = report;
    const place = (row) => pointText(row.measure, row.position, measures);
    const caption = `Hit points, errors in frames at ${rate.name} fps${report.rateGiven ? "" : " (no frame rate was given)"}`
        + `${report.cueForm ? `; the first downbeat at ${formatTime(report.cue, report.cueForm)}` : ""}.`;
    const table = rows.map((row) => [String(row.number), place(row), formatTime(row.target.seconds, row.target.form),
        formatTime(row.landedS, row.target.form), `${signed(row.errorS * 1000, 1)} ms`, `${signed(framesOf(row.errorS, rate), 2)} frames`]);
    const notes = [`The largest error: ${fixed(report.largestS * 1000, 1)} ms, ${fixed(report.largestFrames, 2)} frames.`];
    for (const row of rows.filter((r) => !r.reachable)) {
        notes.push(unreachableText(row, place(row), rate));
    }
    const largest = constant.errors.reduce((most, e) => Math.max(most, Math.abs(e)), 0);
    notes.push(`For comparison, the best single constant tempo from ${pointText(constant.from.measure, constant.from.position, measures)}: `
        + `${constantName(constant.tempo)}, its errors ${constant.errors.map((e, i) => `hit ${i + 1} ${signed(e * 1000, 1)} ms`).join(", ")}, `
        + `the largest ${fixed(largest * 1000, 1)} ms, ${fixed(framesOf(largest, rate), 2)} frames.`);
    return { caption, rows: table, notes };
}
