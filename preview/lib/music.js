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

// The measure a score would have after its last: a full one of its last
// meter, where the record after a region that ends the score lies.
export function measureAfter(measures) {
    return fullMeasure(parseMeter(measures[measures.length - 1].meter, "meter"));
}

// A measure shorter (or longer) than its meter. A pickup holds the end of a
// measure, so its beats fall where they would at the end of a full one; past
// the meter's length the beats go on as in a next measure of the same meter.
export function partialMeasure(meter, length, isPickup) {
    const full = meterLength(meter);
    let clicks = clickPositions(meter);
    if (isPickup && length <= full) {
        const shift = full - length;
        clicks = clicks.filter((p) => p >= shift).map((p) => p - shift);
    } else {
        const one = clicks;
        clicks = [];
        for (let round = 0; round * full < length; round += 1) {
            for (const p of one) if (round * full + p < length) clicks.push(round * full + p);
        }
    }
    return measure(length, clicks, !isPickup || length > full, meterText(meter));
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
        if (cut >= 0 && !DIGITS.test(countText)) {
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
// "MM 120", "M.M. = 120", "M.M. \u2669 = 120": Maelzel's metronome named
// before the tempo, as scores print it.
const METRONOME = /^\s*m\.?\s?m\.?(?:\s*=)?\s*(?=\S)/iu;

// A tempo's text in its parts, unjudged: the beat unit's letter as written
// (a note as its letter; null when none is written), whether a dot follows
// it, and the beats per minute's text.
export function tempoParts(text) {
    const [, written, dot, bpmText] = TEMPO.exec(text.replace(METRONOME, ""));
    const letter = written === undefined ? null : NOTE_LETTERS.get(written.normalize("NFD")) ?? written;
    return { letter, dotted: dot === ".", bpmText };
}

// A tempo as a musician writes it: a beat unit (a letter s e q h w, or a
// note such as \u2669), an optional dot for dotted, = and whole beats per
// minute, "bpm" after them or "MM" before allowed: q=120, h.=40, \u2669 = 120,
// q=120 bpm, MM 120.
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

// "75%", "75 %", "q=75 %" (the page puts its unit before whatever is
// typed; a percentage keeps the start's unit): a stop tempo as a share of
// the start tempo. null for text that is no percentage.
const PERCENT = /^\s*(?:[^\s=0-9]+\.?\s*=\s*)?([0-9]+(?:\.[0-9]*)?|\.[0-9]+)\s*%\s*$/u;

export function percentText(text) {
    const match = PERCENT.exec(text);
    return match ? match[1] : null;
}

// A stop tempo as --stop takes it: a tempo (parseTempo, the start's unit
// when none is written) or a percentage of the start tempo, in the start's
// unit and rounded to the nearest whole BPM (a half up), as the dialog takes
// whole ones. A percentage gives `percent` (its text) too.
export function parseStopTempo(text, start, option = "--stop") {
    const written = percentText(text);
    if (written === null) return parseTempo(text, option, { unit: start.unit, dotted: start.dotted });
    const share = parseDecimal(written);
    const scaled = BigInt(start.bpm) * share.n;
    const bpm = Number((2n * scaled + 100n * share.d) / (200n * share.d));
    if (!(bpm >= LOWEST_BPM && bpm <= HIGHEST_BPM)) {
        throw errorAt(option, `${written} % of ${tempoName(start)} is ${bpm} beats per minute, outside `
            + `${LOWEST_BPM} to ${HIGHEST_BPM}, the range the dialog takes`);
    }
    return Object.freeze({ unit: start.unit, dotted: start.dotted, bpm, percent: written });
}

// "75 % of quarter = 120: quarter = 90".
export function percentName(start, stop) {
    return `${stop.percent} % of ${tempoName(start)}: ${tempoName(stop)}`;
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

// The units one beat of a tempo's unit lasts (a dotted quarter: 1536).
export function beatUnits(tempo) {
    return PLAIN_BEAT_UNITS[tempo.unit] * (tempo.dotted ? 1.5 : 1);
}

// The same for a whole bpm of a beat unit as the dialog gives it; modifier 1
// is a triplet beat, 2 a dotted one.
export function hostTempoValue(unit, bpm, modifier) {
    const plain = PLAIN_BEAT_UNITS[unit] ?? 1024;
    const beat = modifier === 1 ? Math.trunc(plain / 3) : modifier === 2 ? Math.trunc(plain * 15 / 10) : plain;
    // Whole numbers this small divide exactly in doubles (a quotient that is
    // no whole number lies at least 1/60 from one), so the dialog's entries,
    // which a search of stop tempos takes by the thousand, skip the fractions.
    if (Number.isSafeInteger(bpm) && Math.abs(bpm) <= 0xFFFF) {
        return Math.floor(Math.floor(bpm * beat * 4096 / 60) * 16 / 1000);
    }
    return Number(beatTempoValue(beat, fraction(bpm)));
}

export function tempoValue(tempo) {
    return hostTempoValue(tempo.unit, tempo.bpm, tempo.dotted ? DOTTED : 0);
}

export function tempoName(tempo) {
    return `${tempo.dotted ? "dotted " : ""}${UNIT_NAMES[tempo.unit]} = ${tempo.bpm}`;
}

// "12", "12:3" or "12:2.5": a measure, and a beat as the meter counts
// them, from 1, as an exact fraction (null for no beat).
export function parsePoint(text, option) {
    const match = /^\s*([0-9]+)\s*(?::\s*([0-9]+(?:\.[0-9]*)?|\.[0-9]+)\s*)?$/.exec(text);
    const field = option.slice(2);
    if (!match) {
        // A form with a field for each part says which of them it cannot read.
        const [measureText, ...beatTexts] = text.split(":");
        const sentence = DIGITS.test(measureText.trim())
            ? `'${beatTexts.join(":").trim()}' is not a beat (the meter's beats from 1, as 3 or 2.5)`
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

// --- beats as the meter counts them ----------------------------------------

const METERS = new Map();
const QUARTERS = Object.freeze({ shift: 0, period: UNITS_PER_QUARTER, starts: [0], lengths: [UNITS_PER_QUARTER] });

function meterOf(text) {
    if (!METERS.has(text)) METERS.set(text, parseMeter(text, "meter"));
    return METERS.get(text);
}

// How a measure counts its beats: the beats the click sounds (beatGroups),
// laid out over one full measure of its meter (`period` units; beat k from
// 1 starts at starts[k - 1] and lasts lengths[k - 1]), and where in that
// frame the measure starts: a pickup holds the end of its measure, so a
// one-quarter pickup in 4/4 is beat 4. Past the meter's length the beats go
// on as in the next measure of the same meter (a measure longer than its
// meter, a record past a measure's end). A bare length, with no meter,
// counts quarters.
const FRAMES = new WeakMap();

export function beatFrame(m) {
    if (typeof m === "number" || !m.meter) return QUARTERS;
    if (!FRAMES.has(m)) FRAMES.set(m, countedBeats(m));
    return FRAMES.get(m);
}

function countedBeats(m) {
    const meter = meterOf(m.meter);
    const period = meterLength(meter);
    const starts = clickPositions(meter);
    const lengths = starts.map((start, i) => (i + 1 < starts.length ? starts[i + 1] : period) - start);
    const shift = !m.downbeat && m.length < period ? period - m.length : 0;
    return { shift, period, starts, lengths };
}

// Beat k's start and length (units in the frame), k from 1.
function beatSpan(frame, k) {
    const count = frame.starts.length;
    const round = Math.floor((k - 1) / count);
    const index = (k - 1) - round * count;
    return [round * frame.period + frame.starts[index], frame.lengths[index]];
}

// A beat (an exact fraction from 1; 2.5 is halfway through beat 2, however
// long it is) as a position in the measure, to the nearest unit, a half to
// the even one; before the measure's start it is negative.
export function beatPosition(m, beat) {
    const frame = beatFrame(m);
    const k = floor(beat);
    const [start, length] = beatSpan(frame, Number(k));
    const within = multiply(subtract(beat, fraction(k)), fraction(length));
    return Number(roundHalfEven(add(within, fraction(start)))) - frame.shift;
}

// The beat at a position in the measure (a number: 2.5 halfway through
// beat 2).
export function beatAt(m, position) {
    const frame = beatFrame(m);
    const at = Math.max(0, position + frame.shift);
    const round = Math.floor(at / frame.period);
    const rest = at - round * frame.period;
    let index = frame.starts.length - 1;
    while (frame.starts[index] > rest) index -= 1;
    return round * frame.starts.length + index + 1 + (rest - frame.starts[index]) / frame.lengths[index];
}

const NOTE_NAMES = new Map([[8192, "double whole"], [4096, "whole"], [2048, "half"], [1024, "quarter"],
    [512, "8th"], [256, "16th"], [128, "32nd"], [64, "64th"]]);

// "quarter", "dotted quarter", "5 8ths" (a group of an additive meter).
function noteName(units, denominatorUnits) {
    if (NOTE_NAMES.has(units)) return NOTE_NAMES.get(units);
    return dottedName(units) ?? `${units / denominatorUnits} ${NOTE_NAMES.get(denominatorUnits)}s`;
}

// "dotted quarter", or null for a length that is no one dotted note.
function dottedName(units) {
    return units % 3 === 0 && NOTE_NAMES.has(units / 3 * 2) ? `dotted ${NOTE_NAMES.get(units / 3 * 2)}` : null;
}

// What a beat of the measure is, for a message: "a beat is a dotted
// quarter", "its beats: dotted quarter, quarter".
export function beatDescription(m) {
    const frame = beatFrame(m);
    const unit = frame === QUARTERS ? UNITS_PER_QUARTER : WHOLE_NOTE / meterOf(m.meter).denominator;
    const names = frame.lengths.map((length) => noteName(length, unit));
    if (names.every((name) => name === names[0])) return `a beat is ${/^[8aeiou]/.test(names[0]) ? "an" : "a"} ${names[0]}`;
    return `its beats: ${names.join(", ")}`;
}

// A point as --from and --to take it ("12", "12:2.5"), as the measure and
// the position in it (units). A point that ends a span (`end`) may name the
// barline at the measure's end, and a bare measure means through its end;
// otherwise a bare measure is its start.
export function pointPosition(text, measures, option, end = false) {
    const { measure: number, beat } = parsePoint(text, option);
    checkMeasure(number, measures, option);
    const m = measures[number - 1];
    if (beat === null) return { measure: number, position: end ? m.length : 0 };
    const position = beatPosition(m, beat);
    if (position < 0 || position > m.length || (position === m.length && !end)) {
        throw givenError(`${option} ${text.trim()}`, [option.replace(/^--/, "")], `measure ${number} runs from beat `
            + `${formatG(beatAt(m, 0))} to its end at beat ${formatG(beatAt(m, m.length))} (${beatDescription(m)})`);
    }
    return { measure: number, position };
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

// A measure's length counted in the notes its meter counts ("8 quarters" in
// 4/4, "5 8ths" in 6/8, "1 half" in 2/2); one that is no whole number of them
// as one dotted note ("1 dotted quarter") or in the longest note that counts
// it ("13 16ths"); failing those, in quarters.
export function lengthText(length, meter) {
    const counted = (value) => {
        const count = length / value;
        const name = NOTE_NAMES.get(value);
        return `${count} ${count === 1 ? name : name.replace(/f$/, "ve")}${count === 1 ? "" : "s"}`;
    };
    const unit = WHOLE_NOTE / meterOf(meter).denominator;
    if (NOTE_NAMES.has(unit) && length % unit === 0) return counted(unit);
    if (dottedName(length)) return `1 ${dottedName(length)}`;
    const value = [...NOTE_NAMES.keys()].find((v) => v < unit && length % v === 0);
    return value ? counted(value) : beatsText(length);
}

export function regionStart(text, measures) {
    return pointPosition(text, measures, "--from");
}

// The end as the selection tool gives it: the last unit inside, or
// THROUGH_MEASURE_END. A beat is excluded, so --to 19:1 ends with measure 18,
// and the barline after the last beat (19:5 in 4/4) means all of 19.
export function regionEnd(text, measures) {
    const { measure: number, position } = pointPosition(text, measures, "--to", true);
    if (position === measures[number - 1].length) return { measure: number, position: THROUGH_MEASURE_END };
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
// `measures` holds measures or their bare lengths. A run asks for the same
// score's offsets from many places, so they are laid once per measures
// array (through the measure after the last, as a hearing reaches), shorter
// asks served from that layout, and handed out frozen: a measures array
// must not change once laid.
export function measureOffsets(measures, lastMeasure = measures.length) {
    let laid = offsetsLaid.get(measures);
    if (!laid || laid.full.length < lastMeasure + 2) {
        laid = { full: layOffsets(measures, Math.max(lastMeasure, measures.length + 1)), byLast: new Map() };
        offsetsLaid.set(measures, laid);
    }
    let starts = laid.byLast.get(lastMeasure);
    if (!starts) laid.byLast.set(lastMeasure, starts = Object.freeze(laid.full.slice(0, lastMeasure + 2)));
    return starts;
}

const offsetsLaid = new WeakMap();
let offsetsLaidCount = 0;

// How many times measure offsets were laid out since the program started.
export function offsetLayouts() {
    return offsetsLaidCount;
}

function layOffsets(measures, lastMeasure) {
    offsetsLaidCount += 1;
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

// A measure as a musician finds it in the score: by Finale's number, with
// the number the score prints beside it where that differs ("measure 12
// (printed 11)", "measure 1 (unnumbered)" for a pickup). printed: the
// score's printed numbers, one per measure (null: none printed), or
// nothing for measures that print Finale's own (meter runs).
export function measureName(number, printed = null, word = "measure") {
    const name = `${word} ${number}`;
    const shown = printedAs(number, printed);
    if (shown === String(number)) return name;
    return shown === null ? `${name} (unnumbered)` : `${name} (printed ${shown})`;
}

// A run of measures side by side: "measures 12 to 15", "measures 12 to 15
// (printed 11 to 14)", "measures 1 to 9 (unnumbered)"; one alone as
// measureName says it.
export function measuresName(from, to, printed = null) {
    if (from === to) return measureName(from, printed);
    const name = `measures ${from} to ${to}`;
    const [first, last] = [printedAs(from, printed), printedAs(to, printed)];
    if (first === String(from) && last === String(to)) return name;
    if (first === null && last === null) return `${name} (unnumbered)`;
    return `${name} (printed ${first ?? "unnumbered"} to ${last ?? "unnumbered"})`;
}

// The number the score prints for a measure (null: none), or Finale's own
// where the score prints none of its own.
function printedAs(number, printed) {
    if (!printed || number < 1 || number > printed.length) return String(number);
    return printed[number - 1];
}

// "measure 12", "measure 12, beat 2.5"; with the score's printed numbers,
// "measure 12 (printed 11), beat 2.5" where they differ.
export function pointText(number, position, measures, printed = null) {
    const name = measureName(number, printed);
    if (position === 0) return name;
    return `${name}, beat ${formatG(beatAt(measures?.[number - 1] ?? UNITS_PER_QUARTER, position))}`;
}

// The region in words, its beats counted as each measure's meter counts
// them (quarters for measures given as bare lengths).
export function regionText(region, measures) {
    const [sm, sp, em, ep] = region;
    const start = pointText(sm, sp, measures);
    if (ep === THROUGH_MEASURE_END) {
        return sm === em && sp === 0 ? `all of measure ${sm}` : `${start} through the end of measure ${em}`;
    }
    return `${start} up to ${pointText(em, ep + 1, measures)} (not included)`;
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
    return `${m.meter} (${lengthText(m.length, m.meter)})`;
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
