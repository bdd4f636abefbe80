// Musical values as a musician writes them (meters, measure:beat points,
// metronome marks) and what they are in the host's terms: measure lengths and
// positions in duration units, regions as the selection tool gives them,
// tempo values. The command line and the page both take their input through
// here, so each rule (where a measure starts, what a region covers, what a
// tempo is worth) exists once. Browser-safe.
import {
    add, compare, floor, formatG, fraction, multiply, parseDecimal, roundHalfEven, subtract, withThousands,
} from "./numbers.js";

export const UNITS_PER_QUARTER = 1024;
export const WHOLE_NOTE = 4 * UNITS_PER_QUARTER;
// The end position the selection tool gives a region that runs through the
// end of its last measure.
export const THROUGH_MEASURE_END = 0x7fffffff;
export const MAX_MEASURES = 32767;
export const LOWEST_BPM = 20;
export const HIGHEST_BPM = 600;
export const DENOMINATORS = [1, 2, 4, 8, 16, 32, 64];
export const UNIT_LETTERS = ["s", "e", "q", "h", "w"];
export const UNIT_NAMES = ["16th", "8th", "quarter", "half", "whole"];
export const DOTTED = 2; // the host's modifier for a dotted beat unit
const PLAIN_BEAT_UNITS = [256, 512, 1024, 2048, 4096];

// Input the preview refuses. Its message is the command line's one line;
// `fields` names the inputs it is about (their option names without the
// dashes, "from", "stop-unit"; the one to mend first leads; none for the
// score's own content), and `sentence` says what is wrong without naming an
// option, for a form that calls its fields its own way.
export class InputError extends Error {
    constructor(message, { fields = [], sentence = message } = {}) {
        super(message);
        this.name = "InputError";
        this.fields = fields;
        this.sentence = sentence;
    }
}

// "--from: cannot read 'x' (...)": the usual line about one option.
export function optionError(field, sentence) {
    return new InputError(`--${field}: ${sentence}`, { fields: [field], sentence });
}

// The same where `where` is an option ("--time") or a place in a score
// ("part P1, measure 3"), which then stays in the sentence.
function errorAt(where, sentence) {
    if (where.startsWith("--")) return optionError(where.slice(2), sentence);
    return new InputError(`${where}: ${sentence}`);
}

// A line whose lead names an option with what was given for it
// ("--from 12:5: ..."), about those fields.
function givenError(lead, fields, sentence) {
    return new InputError(`${lead}: ${sentence}`, { fields, sentence });
}

// Plain data, frozen because runs of measures share one object:
//   meter:   {groups: [3, 2] for 3+2/8 or [6] for 6/8, denominator}
//   measure: {length (units), clicks (positions of its counted beats),
//             downbeat (false in a pickup), meter ("3/4", for display)}
//   tempo:   {unit 0..4 (16th..whole), dotted, bpm (whole)}
//   score:   {measures, tempo: [[measure, position, value], ...]}
//   region:  [startMeasure, startPosition, endMeasure, endPosition]

// Numbers are ASCII digits: "1²0" looks like a number but is none.
const DIGITS = /^[0-9]+$/;

// A run of ASCII digits as a number; one too large for a double stays exact
// as a BigInt, so the line that refuses it names it as typed.
function wholeNumber(digits) {
    const value = Number(digits);
    return Number.isSafeInteger(value) ? value : BigInt(digits);
}

export function meterText(meter) {
    return `${meter.groups.join("+")}/${meter.denominator}`;
}

export function meterLength(meter) {
    const beats = meter.groups.reduce((sum, g) => sum + g, 0);
    return Math.floor(beats * WHOLE_NOTE / meter.denominator);
}

export function parseMeter(text, where) {
    const match = /^\s*([0-9]+(?:\+[0-9]+)*)\s*\/\s*([0-9]+)\s*$/.exec(text);
    if (!match) {
        throw errorAt(where, `cannot read the time signature '${text}' (write it as 3/4 or 3+2/8)`);
    }
    const groups = match[1].split("+").map(Number);
    const denominator = Number(match[2]);
    if (!DENOMINATORS.includes(denominator) || !groups.every((g) => g >= 1 && g <= 99)) {
        throw errorAt(where, `cannot read the time signature '${text}' `
            + "(beats 1 to 99, a beat type of 1, 2, 4, 8, 16, 32 or 64)");
    }
    return Object.freeze({ groups: Object.freeze(groups), denominator });
}

// Counted beats in eighths of the denominator: 6/8, 9/8 and 12/8 are felt in
// dotted beats, additive meters by their groups, the rest by the denominator.
export function beatGroups(meter) {
    if (meter.groups.length > 1) return meter.groups;
    const beats = meter.groups[0];
    if (meter.denominator >= 8 && beats > 3 && beats % 3 === 0) return Array(beats / 3).fill(3);
    return Array(beats).fill(1);
}

export function clickPositions(meter) {
    const unit = WHOLE_NOTE / meter.denominator;
    const positions = [];
    let at = 0;
    for (const group of beatGroups(meter)) {
        positions.push(at * unit);
        at += group;
    }
    return positions;
}

function measure(length, clicks, downbeat, meter) {
    return Object.freeze({ length, clicks: Object.freeze(clicks), downbeat, meter });
}

export function fullMeasure(meter) {
    return measure(meterLength(meter), clickPositions(meter), true, meterText(meter));
}

// A measure shorter (or longer) than its meter. A pickup holds the end of a
// measure, so its beats fall where they would at the end of a full one.
export function partialMeasure(meter, length, isPickup) {
    let clicks = clickPositions(meter);
    if (isPickup && length <= meterLength(meter)) {
        const shift = meterLength(meter) - length;
        clicks = clicks.filter((p) => p >= shift).map((p) => p - shift);
    } else {
        clicks = clicks.filter((p) => p < length);
    }
    return measure(length, clicks, !isPickup, meterText(meter));
}

// "4/4x4,3/4x2,6/8x3" into the measures it names.
export function parseTimeRuns(text) {
    const measures = [];
    for (const run of text.split(",")) {
        const named = run.trim();
        const lower = named.toLowerCase();
        const cut = lower.indexOf("x");
        const meterPart = cut < 0 ? lower : lower.slice(0, cut);
        const countText = cut < 0 ? "" : lower.slice(cut + 1).trim();
        if (cut >= 0 && lower.slice(cut + 1) !== "" && !DIGITS.test(countText)) {
            throw optionError("time", `cannot read the measure count in '${named}' (write 4/4x8)`);
        }
        const count = countText ? wholeNumber(countText) : 1;
        if (count < 1) throw optionError("time", `'${named}' names no measure`);
        const full = fullMeasure(parseMeter(meterPart, "--time"));
        if (measures.length + Number(count) > MAX_MEASURES) {
            throw optionError("time", `more than ${withThousands(MAX_MEASURES)} measures, the most a score holds`);
        }
        for (let i = 0; i < count; i += 1) measures.push(full);
    }
    return measures;
}

export function checkMeasureCount(count, where) {
    if (count > MAX_MEASURES) {
        throw errorAt(where, `${withThousands(count)} measures, more than the `
            + `${withThousands(MAX_MEASURES)} a score holds`);
    }
    if (count === 0) throw errorAt(where, "the score has no measures");
}

// Notes a musician may write for a beat unit, as their letters (by their
// decomposed form: a half note from the Musical Symbols block is a void
// notehead and a stem).
const NOTE_LETTERS = new Map([
    ["\u{1D158}\u{1D165}\u{1D16F}", "s"], ["\u266A", "e"], ["\u{1D158}\u{1D165}\u{1D16E}", "e"],
    ["\u2669", "q"], ["\u{1D158}\u{1D165}", "q"], ["\u{1D157}\u{1D165}", "h"], ["\u{1D15D}", "w"],
]);
const TEMPO = /^\s*(?:([^\s.=0-9]+)(\.?)\s*=\s*)?(.*?)(?:\s*bpm)?\s*$/iu;
export const QUARTER = Object.freeze({ unit: 2, dotted: false });

// A tempo's text in its parts, unjudged: the beat unit's letter as written
// (a note as its letter; null when none is written), whether a dot follows
// it, and the beats per minute's text.
export function tempoParts(text) {
    const [, written, dot, bpmText] = TEMPO.exec(text);
    const letter = written === undefined ? null : NOTE_LETTERS.get(written.normalize("NFD")) ?? written;
    return { letter, dotted: dot === ".", bpmText };
}

// A tempo as a musician writes it: a beat unit (a letter s e q h w, or a
// note such as \u2669), an optional dot for dotted, = and whole beats per
// minute, "bpm" after them allowed: q=120, h.=40, \u2669 = 120, q=120 bpm.
// Beats per minute alone (120, 120 bpm) count `beat` ({unit, dotted}),
// where the caller has one to give.
export function parseTempo(text, option, beat = null) {
    const parts = tempoParts(text);
    const { bpmText } = parts;
    if (bpmText === "" || (parts.letter === null && !(beat && DIGITS.test(bpmText)))) {
        throw errorAt(option, `cannot read '${text}' (write a beat unit, an optional dot, `
            + "= and beats per minute, as q=120 or h.=40)");
    }
    const letter = parts.letter ?? UNIT_LETTERS[beat.unit];
    const unit = UNIT_LETTERS.indexOf(letter);
    if (unit < 0) {
        throw errorAt(option, `unknown beat unit '${letter}' (use s, e, q, h or w: 16th, 8th, `
            + "quarter, half, whole; a trailing . for dotted)");
    }
    if (!DIGITS.test(bpmText)) {
        throw errorAt(option, `'${bpmText}' is not a whole number of beats per minute`);
    }
    const bpm = wholeNumber(bpmText);
    checkBpm(bpm, option);
    return Object.freeze({ unit, dotted: parts.letter === null ? beat.dotted : parts.dotted, bpm });
}

export function checkBpm(bpm, option) {
    if (!(bpm >= LOWEST_BPM && bpm <= HIGHEST_BPM)) {
        throw errorAt(option, `${bpm} beats per minute is outside ${LOWEST_BPM} to `
            + `${HIGHEST_BPM}, the range the dialog takes`);
    }
}

// "q" or "h.": a beat unit without a tempo (--stop-unit), as {unit, dotted}.
export function parseUnit(text, option) {
    const tempo = parseTempo(`${text}=${LOWEST_BPM}`, option);
    return { unit: tempo.unit, dotted: tempo.dotted };
}

// The host's tempo value (duration units per millisecond, 16 fraction bits)
// of `bpm` beats of `beat` units a minute, with the host's two truncations in
// its order: units per second, then * 16 / 1000. bpm is an exact fraction: a
// score's <sound tempo> need not be a whole number. A BigInt.
export function beatTempoValue(beat, bpm) {
    const perSecond = floor(multiply(bpm, fraction(BigInt(beat) * 4096n, 60n)));
    return floor(fraction(perSecond * 16n, 1000n));
}

// The same for a whole bpm of a beat unit as the dialog gives it; modifier 1
// is a triplet beat, 2 a dotted one.
export function hostTempoValue(unit, bpm, modifier) {
    const plain = PLAIN_BEAT_UNITS[unit] ?? 1024;
    const beat = modifier === 1 ? Math.trunc(plain / 3) : modifier === 2 ? Math.trunc(plain * 15 / 10) : plain;
    return Number(beatTempoValue(beat, fraction(bpm)));
}

export function tempoValue(tempo) {
    return hostTempoValue(tempo.unit, tempo.bpm, tempo.dotted ? DOTTED : 0);
}

export function tempoName(tempo) {
    return `${tempo.dotted ? "dotted " : ""}${UNIT_NAMES[tempo.unit]} = ${tempo.bpm}`;
}

// "12", "12:3" or "12:2.5": a measure, and a beat in quarters from 1 as an
// exact fraction (null for no beat).
export function parsePoint(text, option) {
    const match = /^\s*([0-9]+)\s*(?::\s*([0-9]+(?:\.[0-9]*)?|\.[0-9]+)\s*)?$/.exec(text);
    const field = option.slice(2);
    if (!match) {
        // A form with a field for each part says which of them it cannot read.
        const [measureText, ...beatTexts] = text.split(":");
        const sentence = DIGITS.test(measureText.trim())
            ? `'${beatTexts.join(":").trim()}' is not a beat (quarter notes from 1, as 3 or 2.5)`
            : `'${measureText.trim()}' is not a measure number (write it as 12)`;
        throw new InputError(`${option}: cannot read '${text}' (write a measure, as 12, or a measure `
            + "and a beat, as 12:3 or 12:2.5)", { fields: [field], sentence });
    }
    const beat = match[2] === undefined ? null : parseDecimal(match[2]);
    if (beat !== null && compare(beat, fraction(1n)) < 0) {
        throw new InputError(`${option}: beats count from 1, so '${text}' names no beat`,
            { fields: [field], sentence: `beats count from 1: there is no beat ${match[2]}` });
    }
    return { measure: wholeNumber(match[1]), beat };
}

// A beat (quarters from 1) as a position in units, to the nearest unit.
export function beatPosition(beat) {
    return Number(roundHalfEven(multiply(subtract(beat, fraction(1n)), fraction(UNITS_PER_QUARTER))));
}

export function checkMeasure(number, measures, option) {
    if (!(number >= 1 && number <= measures.length)) {
        throw errorAt(option, `measure ${number} is outside the score, which has measures `
            + `1 to ${measures.length}`);
    }
}

// "1 quarter", "2.5 quarters".
export function beatsText(length) {
    const quarters = length / UNITS_PER_QUARTER;
    return `${formatG(quarters)} quarter${quarters === 1 ? "" : "s"}`;
}

export function regionStart(text, measures) {
    const { measure: number, beat } = parsePoint(text, "--from");
    checkMeasure(number, measures, "--from");
    const position = beat === null ? 0 : beatPosition(beat);
    if (position >= measures[number - 1].length) {
        throw givenError(`--from ${text.trim()}`, ["from"], `measure ${number} is only `
            + `${beatsText(measures[number - 1].length)} long`);
    }
    return { measure: number, position };
}

// The end as the selection tool gives it: the last unit inside, or
// THROUGH_MEASURE_END. A beat is excluded, so --to 19:1 ends with measure 18,
// and the barline after the last beat (19:5 in 4/4) means all of 19.
export function regionEnd(text, measures) {
    const { measure: number, beat } = parsePoint(text, "--to");
    checkMeasure(number, measures, "--to");
    const length = measures[number - 1].length;
    const position = beat === null ? length : beatPosition(beat);
    if (position > length) {
        throw givenError(`--to ${text.trim()}`, ["to"], `measure ${number} is only ${beatsText(length)} long`);
    }
    if (position === length) return { measure: number, position: THROUGH_MEASURE_END };
    if (position === 0) return { measure: number - 1, position: THROUGH_MEASURE_END };
    return { measure: number, position: position - 1 };
}

// A measure's length, from a measure or a bare length; measures outside the
// score are 0 long, as the host answers for them.
function lengthOf(measures, number) {
    const item = number >= 1 && number <= measures.length ? measures[number - 1] : 0;
    return typeof item === "number" ? item : item.length;
}

// The absolute position of each measure's start, 1-based, up to the start of
// the measure after `lastMeasure` (after the score, measures are empty).
// `measures` holds measures or their bare lengths.
export function measureOffsets(measures, lastMeasure = measures.length) {
    const starts = [0];
    let at = 0;
    for (let number = 1; number <= lastMeasure + 1; number += 1) {
        starts.push(at);
        at += lengthOf(measures, number);
    }
    return starts;
}

// [start, end) of the region in absolute units.
export function regionBounds(region, measures, starts = measureOffsets(measures, region[2])) {
    const [sm, sp, em, ep] = region;
    const endInMeasure = ep === THROUGH_MEASURE_END ? lengthOf(measures, em) : ep + 1;
    return [starts[sm] + sp, starts[em] + endInMeasure];
}

export function parseRegion(fromText, toText, measures) {
    const start = regionStart(fromText, measures);
    const end = regionEnd(toText, measures);
    const region = [start.measure, start.position, end.measure, end.position];
    if (end.measure < 1) throw givenError(`--to ${toText.trim()}`, ["to"], "the region ends before the score begins");
    const [first, last] = regionBounds(region, measures, measureOffsets(measures));
    if (last <= first) {
        throw givenError(`--from ${fromText.trim()} --to ${toText.trim()}`, ["from", "to"],
            `the region ends ${last === first ? "where" : "before"} it starts`);
    }
    return region;
}

function pointText(number, position) {
    if (position === 0) return `measure ${number}`;
    const beat = add(fraction(position, UNITS_PER_QUARTER), fraction(1n));
    return `measure ${number}, beat ${formatG(Number(beat.n) / Number(beat.d))}`;
}

export function regionText(region) {
    const [sm, sp, em, ep] = region;
    const start = pointText(sm, sp);
    if (ep === THROUGH_MEASURE_END) {
        return sm === em && sp === 0 ? `all of measure ${sm}` : `${start} through the end of measure ${em}`;
    }
    return `${start} up to ${pointText(em, ep + 1)} (not included)`;
}

// The measures as the scenario's [count, length] runs.
export function measureRuns(measures) {
    const runs = [];
    for (const m of measures) {
        const last = runs[runs.length - 1];
        if (last && last[1] === m.length) last[0] += 1;
        else runs.push([1, m.length]);
    }
    return runs;
}

// The bare lengths of [count, length] runs, measure by measure.
export function runLengths(runs) {
    return runs.flatMap(([count, length]) => Array(count).fill(length));
}

// "3/4", or "3/4 (1 quarter)" for a measure shorter than its meter.
export function measureLabel(m) {
    if (m.length === meterLength(parseMeter(m.meter, "meter"))) return m.meter;
    return `${m.meter} (${beatsText(m.length)})`;
}

// "8 measures: 4/4 x4, 3/4 x2, 6/8 x2".
export function meterSummary(measures) {
    const runs = [];
    for (const label of measures.map(measureLabel)) {
        const last = runs[runs.length - 1];
        if (last && last[0] === label) last[1] += 1;
        else runs.push([label, 1]);
    }
    const text = runs.map(([label, count]) => `${label} x${count}`).join(", ");
    return `${measures.length} measure${measures.length !== 1 ? "s" : ""}: ${text}`;
}
