// A preview's results in a musician's words, as the page shows them: how
// long the region plays against the ideal ramp, the stop tempo a fit chose
// or that none reaches its duration, the step after the region, why the
// last record is not the stop tempo, and the tempo before the first record;
// tempos in the beat unit the start was given in, measures by Finale's
// number with the score's printed one beside it where that differs. The
// figures are runPreview's; only the wording is here. Browser-safe.
import {
    THROUGH_MEASURE_END, UNITS_PER_QUARTER, UNIT_NAMES, beatUnits, measureName, pointText, tempoName, tempoValue,
} from "./music.js";
import { fixed } from "./numbers.js";
import { AFTER_NAMES } from "./scenario.js";
import { quarterBpm, valueAt } from "./timing.js";

// "dotted quarter", the unit a tempo counts.
export function unitName(tempo) {
    return `${tempo.dotted ? "dotted " : ""}${UNIT_NAMES[tempo.unit]}`;
}

// Beats per minute of `beat`'s unit for a tempo given in quarters per minute.
export function bpmIn(beat, quarterBpmValue) {
    return quarterBpmValue * UNITS_PER_QUARTER / beatUnits(beat);
}

// A tempo value as the start's unit reads it, to a tenth: "dotted quarter = 48.3".
export function tempoWords(beat, value) {
    return `${unitName(beat)} = ${fixed(bpmIn(beat, quarterBpm(value)), 1)}`;
}

// The region in words, as the command line says it, each measure named as
// the musician finds it.
export function regionWords(region, measures, printed) {
    const [sm, sp, em, ep] = region;
    const start = pointText(sm, sp, measures, printed);
    if (ep === THROUGH_MEASURE_END) {
        return sm === em && sp === 0 ? `all of ${measureName(sm, printed)}`
            : `${start} through the end of ${measureName(em, printed)}`;
    }
    return `${start} up to ${pointText(em, ep + 1, measures, printed)} (not included)`;
}

const seconds = (s) => `${fixed(s, 2)} s`;

function timesWord(count) {
    return count === 1 ? "once" : count === 2 ? "twice" : `${count} times`;
}

// The first, large sentences of a single ramp's result: [{kind, text}],
// kind "time" (how long the region plays), "fit" or "unreachable" (what a
// fit chose, or that no tempo reaches its duration), "after" (the step
// after the region), "last" (why the last record is not the stop tempo),
// "before" (the tempo before the first record). result: runPreview's;
// printed: the score's printed measure numbers, or null.
export function headline(result, printed = null) {
    const { header, summary, fit } = result;
    const { start, stop } = header.ramp;
    const measures = header.score.measures;
    const lines = [];
    const region = regionWords(header.region, measures, printed);
    const passes = summary.passes ?? null;
    const once = passes && passes.length !== 1 ? " once through" : "";
    const ideal = summary.idealS === null ? "" : ` (an ideal, smooth ramp: ${seconds(summary.idealS)})`;
    let time = `${capital(region)} plays for ${seconds(summary.writtenS)}${once}${ideal}.`;
    if (passes && passes.length !== 1) {
        const total = passes.reduce((sum, pass) => sum + pass.toS - pass.fromS, 0);
        time += passes.length === 0 ? " The score's repeats and jumps never play it."
            : ` The score's repeats play it ${timesWord(passes.length)}, ${seconds(total)} in all.`;
    }
    lines.push({ kind: "time", text: time });
    const step = stepBefore(result, start, printed);
    if (step) lines.push(step);
    if (fit) lines.push(fitWords(fit));
    const after = stepAfter(result, start);
    if (after) lines.push(after);
    const last = lastRecordWords(result, start, stop);
    if (last) lines.push(last);
    const before = beforeFirstWords(result, printed);
    if (before) lines.push(before);
    return lines;
}

// The first sentences of a plan's result: how long the whole plays, and
// what each fitted ramp's fit chose or that none reaches. result:
// runPlan's.
export function planHeadline(result, printed = null) {
    const { whole, fits } = result;
    const measures = result.header.score.measures;
    const count = result.header.runs.length;
    let time = `${capital(regionWords(whole.region, measures, printed))} plays for ${seconds(whole.writtenS)} `
        + `in ${count} ramp${count === 1 ? "" : "s"}.`;
    if (whole.passes) {
        const total = whole.passes.reduce((sum, pass) => sum + pass.toS - pass.fromS, 0);
        time += whole.passes.length === 0 ? " The score's repeats and jumps never play it."
            : ` The score's repeats play it ${timesWord(whole.passes.length)}, ${seconds(total)} in all.`;
    }
    const lines = [{ kind: "time", text: time }];
    fits.forEach((fit, i) => {
        if (!fit) return;
        const { kind, text } = fitWords(fit);
        lines.push({ kind, text: `Ramp ${i + 1}: ${text[0].toLowerCase()}${text.slice(1)}` });
    });
    return lines;
}

function capital(text) {
    return text[0].toUpperCase() + text.slice(1);
}

// The fit: the stop tempo chosen and its neighbours' times, or, as plainly,
// that no stop tempo the dialog takes reaches the duration.
export function fitWords(fit) {
    const unit = fit.stopUnit;
    const name = (bpm) => tempoName({ ...unit, bpm });
    const time = (bpm) => seconds(fit.seconds.get(bpm));
    const neighbours = fit.neighbours.filter((bpm) => fit.seconds.has(bpm))
        .map((bpm) => `${name(bpm)} plays ${time(bpm)}`);
    const around = neighbours.length ? ` Its neighbours: ${neighbours.join("; ")}.` : "";
    const once = fit.passes ? " (one pass through the region)" : "";
    if (fit.reachable) {
        return { kind: "fit", text: `Stop tempo for ${seconds(fit.target)}${once}: ${name(fit.bpm)}, `
            + `which plays ${time(fit.bpm)}.${around}` };
    }
    return { kind: "unreachable", text: `Out of reach: no stop tempo from 20 to 600 makes the region last `
        + `${seconds(fit.target)}${once}. The nearest is ${name(fit.bpm)}, which plays ${time(fit.bpm)}.${around}` };
}

// The step from the ramp's last record to the tempo that follows the region.
function stepAfter(result, start) {
    const step = result.summary.stepAfter;
    if (!step) return null;
    const [from, to] = step.map((q) => `${unitName(start)} = ${fixed(bpmIn(start, q), 1)}`);
    const why = { stop: "the stop tempo holds", start: "back to the start tempo", none: "the tempo the score had there" }[
        result.header.ramp.after];
    return { kind: "after", text: `After the region the tempo steps from ${from} to ${to} (${why}: `
        + `"${AFTER_NAMES[result.header.ramp.after]}").` };
}

// A tempo in `beat`'s unit, whole where it is whole to a tenth: "72", "72.5".
function bpmWords(beat, value) {
    const bpm = bpmIn(beat, quarterBpm(value));
    return Math.abs(bpm - Math.round(bpm)) < 0.05 ? String(Math.round(bpm)) : fixed(bpm, 1);
}

// The step into the ramp from the tempo the score plays just before it, when
// the two differ: said in the start's unit, to the tenth the page shows.
function stepBefore(result, start, printed) {
    const [begin] = result.line.span;
    if (begin <= 0) return null;
    const before = valueAt(result.line.points.filter(([position]) => position < begin), begin);
    const from = bpmWords(start, before);
    if (from === bpmWords(start, tempoValue(start))) return null;
    const [sm, sp] = result.header.region;
    return { kind: "step", text: `The tempo steps from ${unitName(start)} = ${from} to ${start.bpm} at `
        + `${pointText(sm, sp, result.header.score.measures, printed)}.` };
}

// The ramp's last record inside the region, when it misses the stop tempo by
// more than a hundredth: a closer miss is no tempo a musician hears.
function lastRecordWords(result, start, stop) {
    const [begin, end] = result.line.span;
    const inside = result.line.points.filter(([position]) => begin <= position && position < end);
    if (inside.length < 2) return null;
    const lastValue = inside[inside.length - 1][1];
    const stopValue = tempoValue(stop);
    if (Math.abs(lastValue - stopValue) <= stopValue / 100) return null;
    return { kind: "last", text: `The ramp ends at ${tempoWords(start, lastValue)}, short of the stop tempo `
        + `${tempoName(stop)}: the plug-in writes a record only once the tempo has moved enough.` };
}

// Where the score's start plays before any record: at quarter = 120.
function beforeFirstWords(result, printed) {
    const { points } = result.line;
    if (!points.length || points[0][0] <= 0) return null;
    const [measure] = result.records.reduce((first, record) => (record[0] < first[0]
        || (record[0] === first[0] && record[1] < first[1]) ? record : first));
    return { kind: "before", text: `Before the first tempo record (${measureName(measure, printed)}) the score plays `
        + "at quarter = 120, as Finale and MIDI files do; the times here count it so." };
}

// The dialog entries that make the ramp in Finale, in the page's words.
export function finaleWords(finale, printed) {
    const entry = (tempo) => `${capital(UNIT_NAMES[tempo.unit])}, Dotted ${tempo.dotted ? "on" : "off"}, = ${tempo.bpm}`;
    return [
        `In Finale: select ${regionWords(finale.region, finale.measures, printed)}, choose `
            + "Plug-ins > Zorv Tempo [v1.06]..., and enter",
        `  Start:  ${entry(finale.start)}`,
        `  Stop:   ${entry(finale.stop)}`,
        `  Action directly after selection: ${AFTER_NAMES[finale.after]}`,
        "  then OK.",
    ];
}
