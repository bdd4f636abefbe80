// The notes a player plays for an ornament written on a note, as notation
// programs play them:
// - a tremolo's strokes: the note repeated, eighths for one stroke, 16ths
//   for two, 32nds for three..., as many as its length holds;
// - a trill: the note and the one above it in turn, in 32nds, from the note
//   (from the upper one where the score says so), for the note's length;
// - a mordent: the note, the one below, the note held; an inverted mordent
//   the same with the one above; a turn: above, the note, below, the note
//   held (an inverted turn from below), each a 32nd or a quarter of a short
//   note.
// The note above or below is the next of the scale: the key signature's,
// or the accidental an earlier note of the measure gives it on the staff,
// or the accidental the ornament shows. Where the score writes the
// ornament out in notes that neither print nor take space (as Dolet for
// Finale writes a tremolo, music21 a trill), the note sounds as written and
// they play the ornament. A tremolo between two notes sounds as written.
// Browser-safe.
import { attribute, child, childText, children, staffOf, tagOf, tieTypes, voiceKey } from "./musicxml.js";
import { UNITS_PER_QUARTER } from "./music.js";
import { add, compare, fraction, multiply, subtract } from "./numbers.js";

const STEP_NAMES = ["C", "D", "E", "F", "G", "A", "B"];
const SEMITONES = [0, 2, 4, 5, 7, 9, 11];
// The order sharps, and backwards flats, enter a key signature.
const SHARPS = ["F", "C", "G", "D", "A", "E", "B"];
const UNITS_PER_EIGHTH = UNITS_PER_QUARTER / 2;
export const THIRTY_SECOND = fraction(BigInt(UNITS_PER_QUARTER / 8));
const ACCIDENTAL_MARKS = {
    sharp: 1, natural: 0, flat: -1, "double-sharp": 2, "sharp-sharp": 2, "flat-flat": -2, "double-flat": -2,
};
// Each ornament: its notes' steps from the written note (0 the note, 1 the
// one above, -1 below); the last holds to the note's end.
const FIGURES = { mordent: [0, -1, 0], "inverted-mordent": [0, 1, 0], turn: [1, 0, -1, 0], "inverted-turn": [-1, 0, 1, 0] };

// The key signature's alteration of each step, from its <fifths>.
export function keyAlters(fifths) {
    const alters = Object.fromEntries(STEP_NAMES.map((step) => [step, 0]));
    const count = Math.min(7, Math.abs(fifths));
    const order = fifths >= 0 ? SHARPS : [...SHARPS].reverse();
    for (const step of order.slice(0, count)) alters[step] = fifths >= 0 ? 1 : -1;
    return alters;
}

// The note at `index` (of a measure's notes, timed as `times`) as the
// [start, end, semitones from the written pitch] it is played as, or null
// where it sounds as written. `key`: the key signature's alterations.
// `carried`: the trills that ties carry on, from note to note of a part
// (CarriedTrills).
export function ornamentPieces(notes, times, index, key, carried = new CarriedTrills()) {
    const element = notes[index].element;
    const marks = ornamentMarks(element);
    if ((marks.length === 0 && carried.size === 0) || writtenOut(notes, times, index)) return null;
    const time = times[index];
    for (const mark of marks) {
        const name = tagOf(mark);
        if (name === "tremolo") {
            const strokes = tremoloStrokes(mark);
            if (strokes) return repeated(time, fraction(BigInt(UNITS_PER_EIGHTH), 2n ** BigInt(strokes - 1)), [0]);
        }
        const pitch = child(element, "pitch");
        if (pitch === null) continue;
        const neighbour = neighbours(notes, index, pitch, key, accidentalMarks(mark));
        if (name === "trill-mark") {
            const upper = trillStep(mark) ?? neighbour(1);
            const order = attribute(mark, "start-note") === "upper" ? [upper, 0] : [0, upper];
            if (tiedOn(element)) carried.carry(tiedKey(element), order);
            return repeated(time, THIRTY_SECOND, order, 2);
        }
        if (name in FIGURES) return figure(time, FIGURES[name].map((step) => neighbour(step)));
    }
    // A trill's wavy line ending on the note tied to is no ornament of its own.
    return carriedTrill(element, time, carried);
}

// Whether a trill is written on the note.
export function hasTrill(element) {
    return ornamentMarks(element).some((mark) => tagOf(mark) === "trill-mark");
}

function ornamentMarks(element) {
    return children(element, "notations").flatMap((n) => children(n, "ornaments")).flatMap((o) => children(o));
}

// Whether the score plays the note's ornament itself, in notes that neither
// print nor take space, on its staff while it sounds: played once, not twice.
function writtenOut(notes, times, index) {
    const { start, end } = times[index];
    const staff = staffOf(notes[index].element);
    return notes.some((placed, other) => other !== index && times[other]
        && attribute(placed.element, "print-object") === "no" && attribute(placed.element, "print-spacing") === "no"
        && staffOf(placed.element) === staff && compare(times[other].start, start) >= 0 && compare(times[other].start, end) < 0);
}

// A single-note tremolo's strokes (1 to 8), or 0.
function tremoloStrokes(mark) {
    if ((attribute(mark, "type") ?? "single") !== "single") return 0;
    const strokes = Number((mark.textContent ?? "").trim() || "3");
    return Number.isInteger(strokes) && strokes >= 1 ? Math.min(strokes, 8) : 0;
}

// A trill's upper note where the score gives its interval, in semitones.
function trillStep(mark) {
    return { unison: 0, half: 1, whole: 2 }[attribute(mark, "trill-step")] ?? null;
}

// A note this long (16 whole notes of 32nds) is trilled or repeated no
// faster past it: a file's note of thousands of measures' length would
// otherwise become millions of notes.
const MOST_REPEATS = 512;

// The note's length in notes of `value`, as many as it holds (at least
// `fewest`, at most MOST_REPEATS, shared evenly: a dotted or tuplet note's
// too), taking the semitones of `order` in turn.
function repeated({ start, end }, value, order, fewest = 1) {
    const length = subtract(end, start);
    const fits = Math.round(Number(length.n * value.d) / Number(length.d * value.n));
    const count = Math.max(fewest, Math.min(MOST_REPEATS, fits));
    const each = multiply(length, fraction(1n, BigInt(count)));
    return Array.from({ length: count }, (_, k) => {
        const from = add(start, multiply(each, fraction(BigInt(k))));
        return [from, k === count - 1 ? end : add(from, each), order[k % order.length]];
    });
}

// A figure's notes, each a 32nd (a quarter of a note too short for that),
// the last held to the note's end.
function figure({ start, end }, shifts) {
    const quarter = multiply(subtract(end, start), fraction(1n, BigInt(shifts.length)));
    const each = compare(THIRTY_SECOND, quarter) < 0 ? THIRTY_SECOND : quarter;
    return shifts.map((shift, k) => {
        const from = add(start, multiply(each, fraction(BigInt(k))));
        return [from, k === shifts.length - 1 ? end : add(from, each), shift];
    });
}

// The accidentals an ornament shows, by the side they stand on.
function accidentalMarks(mark) {
    const shown = {};
    for (const accidental of children(mark.parentNode, "accidental-mark")) {
        const alter = ACCIDENTAL_MARKS[(accidental.textContent ?? "").trim()];
        if (alter !== undefined) shown[attribute(accidental, "placement") === "below" ? -1 : 1] = alter;
    }
    return shown;
}

// step (-1, 0, 1) -> the semitones from the written note to the note that
// many steps of the scale away.
function neighbours(notes, index, pitch, key, shown) {
    const stepIndex = STEP_NAMES.indexOf((childText(pitch, "step") ?? "").trim());
    const octave = Number(childText(pitch, "octave"));
    const alter = Number(childText(pitch, "alter") ?? 0);
    if (stepIndex < 0 || !Number.isFinite(octave) || !Number.isFinite(alter)) return () => 0;
    const height = (i, o, a) => 12 * o + SEMITONES[i] + a;
    return (step) => {
        if (step === 0) return 0;
        const i = (stepIndex + step + 7) % 7;
        const o = octave + Math.floor((stepIndex + step) / 7);
        const a = shown[step] ?? measureAccidental(notes, index, STEP_NAMES[i], o) ?? key[STEP_NAMES[i]];
        return Math.round(height(i, o, a) - height(stepIndex, octave, alter));
    };
}

// The alteration the last note before `index` in the measure, on its
// staff, gives a step in an octave; undefined where none does.
function measureAccidental(notes, index, step, octave) {
    const staff = staffOf(notes[index].element);
    for (let i = index - 1; i >= 0; i -= 1) {
        const pitch = child(notes[i].element, "pitch");
        if (pitch === null || staffOf(notes[i].element) !== staff) continue;
        if ((childText(pitch, "step") ?? "").trim() === step && Number(childText(pitch, "octave")) === octave) {
            return Number(childText(pitch, "alter") ?? 0) || 0;
        }
    }
    return undefined;
}

// A trill goes on through the notes its note is tied to, as players and
// notation programs play it: the tied note trills as the one it is tied
// from.
function carriedTrill(element, time, carried) {
    if (carried.size === 0 || !tieTypes(element).includes("stop")) return null;
    const where = tiedKey(element);
    const order = carried.take(where);
    if (!order) return null;
    if (tiedOn(element)) carried.carry(where, order);
    return repeated(time, THIRTY_SECOND, order, 2);
}

// The trills ties carry on, from note to note of a part, each by the tied
// note's staff, voice and pitch. A tie reaches the next note, in its
// measure or the next: one whose end the file leaves out carries its
// trill no further, to no later note of that pitch.
export class CarriedTrills {
    constructor() {
        this.open = new Map(); // tiedKey -> {order, measure}
        this.measure = 0;
    }

    get size() {
        return this.open.size;
    }

    // The walk goes on to the part's next measure.
    nextMeasure() {
        this.measure += 1;
        for (const [where, { measure }] of this.open) if (measure < this.measure - 1) this.open.delete(where);
    }

    carry(where, order) {
        this.open.set(where, { order, measure: this.measure });
    }

    // The trill carried to that note, taken (null: none).
    take(where) {
        const found = this.open.get(where);
        this.open.delete(where);
        return found?.order ?? null;
    }
}

function tiedOn(element) {
    return tieTypes(element).includes("start");
}

// A tie's note by its staff, voice and written pitch.
function tiedKey(element) {
    const pitch = child(element, "pitch");
    const written = pitch === null ? "" : ["step", "alter", "octave"].map((tag) => (childText(pitch, tag) ?? "").trim()).join(" ");
    return `${voiceKey(element)} ${written}`;
}
