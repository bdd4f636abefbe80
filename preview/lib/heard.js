// The score as heard under the records a run wrote: from its start up to
// one measure after the region's last pass, in playback order, and the
// passes through the region timed.
import { heardScore, isStraight, pieceText, straightOrder } from "./playback.js";
import { secondsAt } from "./timing.js";
import { writtenSteps } from "./marks.js";

// The score as heard (playback.js), from its start up to one measure after
// the region's last pass, under the written records.
export function heardRamp(checked, line) {
    const { measures, order } = checked.score;
    return heardScore(measures, order ?? straightOrder(measures.length), line.points, checked.region);
}

// Whether a span of score is heard once, straight through, as written, in
// these passes: then nothing about its passes needs saying.
export function onceAsWritten(passes, span) {
    return passes.length === 1 && passes[0].pieces.length === 1
        && passes[0].pieces[0][0] === span[0] && passes[0].pieces[0][1] === span[1];
}

function heardOnceAsWritten(heard) {
    return onceAsWritten(heard.passes, heard.span);
}

// Each pass (the region's, unless others are given): {text (its measures),
// fromS, toS}.
export function regionPasses(heard, measures, passes = heard.passes, printed = null) {
    const times = secondsAt(heard.points, passes.flatMap((pass) => [pass.start, pass.end]));
    return passes.map((pass, i) => ({
        text: pass.pieces.map((piece) => pieceText(measures, heard.scoreStarts, piece, printed)).join(", then "),
        fromS: times[2 * i], toS: times[2 * i + 1],
    }));
}

// The score as the header names it: {measures, marks (null for meter
// runs), steps (marks.js's writtenSteps, null for meter runs), heard (how
// many measures its repeats and jumps play; null when it is heard as
// written), remarks (what its reading says, each a sentence)}.
export function scoreHeader(checked) {
    const { measures, tempo } = checked.score;
    const order = checked.score.order ?? straightOrder(measures.length);
    return {
        measures, marks: checked.source ? tempo.length : null, steps: checked.source?.parts ? writtenSteps(checked.source) : null,
        remarks: (checked.score.remarks ?? []).map((r) => r.text),
        heard: isStraight(order, measures.length) ? null : order.reduce((sum, [first, last]) => sum + last - first + 1, 0),
    };
}

// The score's ramps written as steps, as the map brackets them: those the
// ramps written (over `spans`) left standing.
export function steppedSpans(source, spans) {
    if (!source?.parts) return [];
    return writtenSteps(source).filter((s) => !spans.some(([a, b]) => a <= s.toAt && s.fromAt < b))
        .map((s) => ({ span: [s.fromAt, s.toAt], label: `the score's ramp (${s.count} steps)` }));
}
