// When each note of a measure sounds: grace notes given their time, rolled
// chords spread, ornaments played.
//
// A grace note takes no written time: a player takes it from the note it
// ornaments, on that note's beat, as notation programs play it. Grace notes
// before a note share half of it (two thirds of a once-dotted note, the old
// rule for an appoggiatura); a slashed one (an acciaccatura) is as short as
// a player makes it, 65 ms each at the tempo there, at most that half. Grace
// notes that end a voice's measure, with no note after them there, or come
// between a note and a rest, end the note before them, as short (a
// Nachschlag). Grace notes before or after a trilled note are the
// trill's opening or close, each as fast as the trill (a 32nd). A grace
// chord is one grace; grace notes with no note to take time from are left
// out.
//
// A rolled chord (<arpeggiate> on each of its notes) is spread from its
// lowest note up, or from the highest down: each note 65 ms after the one
// before, the last no later than half-way through the shortest; each holds
// to its written end. Each staff's chord rolls of its own, the two hands
// together, as notation programs play it.
//
// Tremolos, trills, mordents and turns are played out (ornaments.js).
// Browser-safe.
import { attribute, child, childText, children, voiceKey } from "./musicxml.js";
import { CarriedTrills, THIRTY_SECOND, hasTrill, ornamentPieces } from "./ornaments.js";
import { ZERO, add, compare, fraction, multiply, subtract } from "./numbers.js";

const SHORT_GRACE_MS = 65;
const ROLL_STEP_MS = 65;
const STEPS = { C: 0, D: 2, E: 4, F: 5, G: 7, A: 9, B: 11 };
const HALF = fraction(1n, 2n);
const TWO_THIRDS = fraction(2n, 3n);

// notes: a measure's notes as the walk found them ({element, start, chord,
// grace, silent, tied, arpeggiate, ornaments}), in the file's order; lengthOf(placed): a note's written length (units);
// unitsOf(ms, placed): the units that `ms` last where that note starts;
// key: the key signature's alteration of each step (ornaments.js);
// carried: the trills ties carry on into later notes of the part (kept
// from measure to measure: ornaments.js's CarriedTrills).
// Returns, for each note, {start, end} (units from the measure's start), and
// for an ornament `pieces`, the [start, end, semitones] of each note played
// (ornaments.js); or null for a grace note that takes no time.
export function noteTimes(notes, { lengthOf, unitsOf, key, carried = new CarriedTrills() }) {
    const graced = notes.map((placed) => placed.grace);
    const times = notes.map((placed, index) => {
        if (graced[index]) return null;
        const start = compare(placed.start, ZERO) < 0 ? ZERO : placed.start;
        return { start, end: add(start, lengthOf(placed)) };
    });
    // Most measures have no grace note and no marking: nothing to move there.
    for (const events of graced.includes(true) ? voices(notes, graced).values() : []) {
        let graces = [];
        let before = null; // the last chord of the voice, once graces may follow it
        for (const event of events) {
            if (event.grace) {
                graces.push(event.indices);
            } else if (event.silent) {
                if (graces.length && before) follow(graces, before, notes, times, unitsOf);
                before = null;
                graces = [];
            } else {
                // After a trill, grace notes are its close, not the next note's.
                if (graces.length && before && trilled(notes, before)) follow(graces, before, notes, times, unitsOf);
                else if (graces.length) lead(graces, event.indices, notes, times, unitsOf);
                before = event.indices;
                graces = [];
            }
        }
        if (graces.length && before) follow(graces, before, notes, times, unitsOf);
    }
    const sounding = (index) => times[index] !== null;
    roll(notes, notes.flatMap((placed, index) => (sounding(index) && placed.arpeggiate ? [index] : [])), times, unitsOf);
    // A note tied from a trilled one, here or in a measure before, may
    // carry its trill on, marked or not.
    const trillsCarried = carried.size > 0 || notes.some((placed) => placed.ornaments);
    const marked = notes.flatMap((placed, index) => (sounding(index)
        && (placed.ornaments || (trillsCarried && placed.tied)) ? [index] : []));
    for (const index of marked) {
        const pieces = ornamentPieces(notes, times, index, key, carried);
        if (pieces) times[index].pieces = pieces;
    }
    return times;
}

// Each rolled chord's notes, from the first heard, start one step apart.
function roll(notes, marked, times, unitsOf) {
    const chords = new Map(); // start -> [{index, up, height}]
    marked.forEach((index) => {
        const placed = notes[index];
        const mark = arpeggio(placed.element);
        if (!mark) return;
        const key = `${voiceKey(placed.element)} ${times[index].start.n}/${times[index].start.d}`;
        chords.set(key, [...(chords.get(key) ?? []), { index, up: attribute(mark, "direction") !== "down", height: height(placed.element) }]);
    });
    for (const chord of chords.values()) {
        if (chord.length < 2) continue;
        chord.sort((a, b) => (chord[0].up ? a.height - b.height : b.height - a.height));
        const shortest = chord.map(({ index }) => subtract(times[index].end, times[index].start))
            .reduce((a, b) => (compare(a, b) < 0 ? a : b));
        let step = unitsOf(ROLL_STEP_MS, notes[chord[0].index]);
        const most = multiply(shortest, fraction(1n, 2n * BigInt(chord.length - 1)));
        if (compare(most, step) < 0) step = most;
        chord.forEach(({ index }, k) => {
            times[index] = { start: add(times[index].start, multiply(step, fraction(BigInt(k)))), end: times[index].end };
        });
    }
}

function arpeggio(element) {
    for (const notations of children(element, "notations")) {
        const mark = child(notations, "arpeggiate");
        if (mark !== null) return mark;
    }
    return null;
}

// The written pitch's height in semitones, for the order a roll takes; an
// unpitched note, or one that cannot be read, sounds first.
function height(element) {
    const pitch = child(element, "pitch");
    if (pitch === null) return -Infinity;
    const step = STEPS[(childText(pitch, "step") ?? "").trim()];
    const octave = Number(childText(pitch, "octave"));
    const alter = Number(childText(pitch, "alter") ?? 0);
    return step === undefined || !Number.isFinite(octave + alter) ? -Infinity : 12 * octave + step + alter;
}

// The voice's events in order: each a chord's notes' indices, marked grace,
// or silent (a rest, or a cue note, which is read, not played).
function voices(notes, graced) {
    const byVoice = new Map();
    notes.forEach((placed, index) => {
        const voice = voiceKey(placed.element);
        const events = byVoice.get(voice) ?? [];
        byVoice.set(voice, events);
        const grace = graced[index];
        const last = events.at(-1);
        if (placed.chord && last && last.grace === grace) last.indices.push(index);
        else events.push({ grace, silent: placed.silent, indices: [index] });
    });
    return byVoice;
}

// Grace chords on the beat of the chord after them, which sounds once they
// end; before a trill, as fast as it.
function lead(graces, chord, notes, times, unitsOf) {
    const main = times[chord[0]];
    const length = subtract(main.end, main.start);
    const dotted = children(notes[chord[0]].element, "dot").length === 1;
    const slashed = attribute(child(notes[graces[0][0]].element, "grace"), "slash") === "yes";
    const taken = trilled(notes, chord) ? atMostHalf(multiply(THIRTY_SECOND, fraction(BigInt(graces.length))), length)
        : slashed ? atMostHalf(unitsOf(SHORT_GRACE_MS * graces.length, notes[chord[0]]), length)
            : multiply(length, dotted ? TWO_THIRDS : HALF);
    share(graces, main.start, taken, times);
    for (const index of chord) times[index] = { start: add(times[index].start, taken), end: times[index].end };
}

// Grace chords at the end of the chord before them, short ones: a trill's
// as fast as it.
function follow(graces, chord, notes, times, unitsOf) {
    const main = times[chord[0]];
    const each = trilled(notes, chord) ? multiply(THIRTY_SECOND, fraction(BigInt(graces.length)))
        : unitsOf(SHORT_GRACE_MS * graces.length, notes[chord[0]]);
    const taken = atMostHalf(each, subtract(main.end, main.start));
    const from = subtract(main.end, taken);
    share(graces, from, taken, times);
    for (const index of chord) times[index] = { start: times[index].start, end: subtract(times[index].end, taken) };
}

function trilled(notes, chord) {
    return hasTrill(notes[chord[0]].element);
}

function atMostHalf(length, of) {
    const half = multiply(of, HALF);
    return compare(length, half) < 0 ? length : half;
}

function share(graces, from, length, times) {
    const each = multiply(length, fraction(1n, BigInt(graces.length)));
    graces.forEach((indices, i) => {
        const start = add(from, multiply(each, fraction(BigInt(i))));
        for (const index of indices) times[index] = { start, end: add(start, each) };
    });
}
