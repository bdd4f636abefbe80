// The score's notes as they sound: every part, chords, ties joined (across
// barlines too), at sounding pitch (the part's <transpose> applied), each at
// its exact place in units from the score's start, and each part's
// instrument as its <midi-instrument> gives it (a piano where the score
// names none) on a MIDI channel of its own. The MIDI file and the page's
// sound both take their notes from here.
//
// Left out, as nothing of their own sounds: rests; grace notes (they take no
// written time, and a player steals theirs from a neighbour as taste
// decides); cue notes (a player reads them, does not play them); unpitched
// notes whose instrument names no <midi-unpitched> key; and pitches beyond
// MIDI's 0 to 127. A quarter tone sounds the nearest semitone (half-way:
// the one above).
//
//   part: {id, name, program 0..127, channel 0..15, volume 0..127 or null,
//          notes: [{measure, start, end, key, velocity, channel}]}
//   start, end: exact fractions of units from the score's start (a triplet
//          eighth is 1024/3), in score order.
// Browser-safe.
import { InputError, measureOffsets } from "./music.js";
import {
    attribute, child, childText, children, directionOffset, durationOf, numberFraction, parseScoreDocument,
    partName, readParts, tagOf, units, wholeNumber,
} from "./musicxml.js";
import { ZERO, add, compare, fraction } from "./numbers.js";

const STEPS = { C: 0, D: 2, E: 4, F: 5, G: 7, A: 9, B: 11 };
export const PERCUSSION_CHANNEL = 9;
// Every other channel, in the order parts without one of their own get them.
const MELODIC_CHANNELS = Array.from({ length: 16 }, (_, c) => c).filter((c) => c !== PERCUSSION_CHANNEL);
// MusicXML's dynamics are percentages of forte, which is velocity 90.
const FORTE_VELOCITY = 90;
// Mezzo-forte, where the score sets no level.
export const DEFAULT_VELOCITY = 80;
const PIANO = 0;

// The score read for its measures and tempo marks (as readScore reads it)
// and for its notes: {measures, tempo, parts}.
export async function readScoreNotes(bytes, fileName, tools = {}) {
    const root = await parseScoreDocument(bytes, fileName, tools);
    const { score, parts } = readParts(root, fileName);
    return { ...score, parts: scoreParts(root, parts, score.measures, fileName) };
}

// root: the <score-partwise>; walked: readParts' parts; measures: the
// score's measures. One entry per part, in score order.
export function scoreParts(root, walked, measures, fileName) {
    const listed = partList(root, fileName);
    const starts = measureOffsets(measures);
    const parts = walked.map((part) => {
        const id = attribute(part.element, "id");
        const entry = listed.get(id) ?? { name: id ?? "", instruments: new Map(), main: {} };
        const notes = joinTies(soundingNotes(part, entry, starts, measures.length));
        return {
            id, name: entry.name, program: entry.main.program ?? PIANO, givenChannel: entry.main.channel ?? null,
            volume: entry.main.volume ?? null, notes,
        };
    });
    const channels = partChannels(parts);
    return parts.map(({ givenChannel, notes, ...part }, index) => ({
        ...part, channel: channels[index], notes: notes.map((n) => ({ ...n, channel: n.channel ?? channels[index] })),
    }));
}

// --- the part list -------------------------------------------------------

// id -> {name, instruments: id -> instrument, main: the part's first
// instrument}, where an instrument is {program, channel, volume, unpitched}
// as far as its <midi-instrument> says.
function partList(root, fileName) {
    const listed = new Map();
    const list = child(root, "part-list");
    for (const scorePart of list ? children(list, "score-part") : []) {
        const id = attribute(scorePart, "id");
        const where = `${fileName}: part ${id ?? "?"}`;
        const instruments = new Map();
        for (const midi of children(scorePart, "midi-instrument")) {
            instruments.set(attribute(midi, "id"), midiInstrument(midi, where));
        }
        const name = (childText(scorePart, "part-name") ?? "").trim() || id || "";
        listed.set(id, { name, instruments, main: instruments.values().next().value ?? {} });
    }
    return listed;
}

function midiInstrument(midi, where) {
    const number = (tag, low, high) => {
        const text = childText(midi, tag);
        if (text === null) return undefined;
        const value = wholeNumber(text);
        if (value === null || value < BigInt(low) || value > BigInt(high)) {
            throw new InputError(`${where}: <${tag}> must be a whole number from ${low} to ${high}, not '${text}'`);
        }
        return Number(value) - 1;
    };
    const volume = childText(midi, "volume");
    return {
        program: number("midi-program", 1, 128), channel: number("midi-channel", 1, 16),
        unpitched: number("midi-unpitched", 1, 128),
        volume: volume === null ? undefined : scaled(percent(volume, `${where}: <volume>`), 127, 0),
    };
}

// --- the notes of a part -------------------------------------------------

// Every note of the part that sounds, in score order, each with its ties:
// {measure, start, end, key, velocity, channel (null: the part's), tie: {start, stop}}.
function soundingNotes(part, entry, starts, measureCount) {
    const found = [];
    const levels = [];
    part.measures.slice(0, measureCount).forEach((walk, index) => {
        const where = `${partName(part.element)}, measure ${index + 1}`;
        const origin = fraction(BigInt(starts[index + 1]));
        for (const level of walk.levels) levels.push(dynamicsLevel(level, origin, where));
        for (const placed of walk.notes) {
            for (const sound of noteSounds(placed.element, placed.transpose, entry, where)) {
                const start = add(origin, compare(placed.start, ZERO) < 0 ? ZERO : placed.start);
                const length = units(durationOf(placed.element, where), placed, where);
                found.push({ measure: index + 1, start, end: add(start, length), ...sound });
            }
        }
    });
    const byPosition = (a, b) => compare(a.start, b.start);
    found.sort(byPosition);
    levels.sort(byPosition);
    let held = DEFAULT_VELOCITY;
    let next = 0;
    for (const note of found) {
        while (next < levels.length && compare(levels[next].start, note.start) <= 0) held = levels[next++].velocity;
        note.velocity ??= held;
    }
    return found.filter((note) => compare(note.end, note.start) > 0);
}

// What one note element sounds: none, one key, or two for a part doubled at
// the octave. Each as {key, channel, velocity (null: the level in force), tie}.
function noteSounds(note, transpose, entry, where) {
    if (child(note, "rest") !== null || child(note, "grace") !== null || child(note, "cue") !== null) return [];
    const dynamics = attribute(note, "dynamics");
    const velocity = dynamics === null ? null : scaled(percent(dynamics, `${where}: a note's dynamics`), FORTE_VELOCITY, 1);
    const tie = ties(note);
    const pitch = child(note, "pitch");
    if (pitch !== null) {
        const shift = transposition(transpose, note, where);
        const written = pitchKey(pitch, where) + shift.semitones;
        return [written, ...shift.doubled.map((octaves) => written + 12 * octaves)]
            .filter((key) => key >= 0 && key <= 127)
            .map((key) => ({ key, channel: null, velocity, tie }));
    }
    if (child(note, "unpitched") === null) return [];
    const named = child(note, "instrument");
    const instrument = (named && entry.instruments.get(attribute(named, "id")))
        ?? [...entry.instruments.values()].find((i) => i.unpitched !== undefined);
    if (instrument?.unpitched === undefined) return [];
    return [{ key: instrument.unpitched, channel: instrument.channel ?? PERCUSSION_CHANNEL, velocity, tie }];
}

function pitchKey(pitch, where) {
    const step = (childText(pitch, "step") ?? "").trim();
    const octave = wholeNumber(childText(pitch, "octave"));
    const alterText = childText(pitch, "alter");
    const alter = alterText === null ? 0 : decimal(alterText, `${where}: the alteration`);
    if (!(step in STEPS) || octave === null || octave < 0n || octave > 9n || Math.abs(alter) > 12) {
        const shown = `${step}${alterText === null ? "" : ` alter ${alterText.trim()}`} octave ${childText(pitch, "octave")}`;
        throw new InputError(`${where}: cannot read the pitch '${shown}'`);
    }
    return 12 * (Number(octave) + 1) + STEPS[step] + Math.round(alter);
}

// The semitones from written to sounding pitch, and the octaves at which a
// doubled part sounds as well ([-1] below, [1] above), by the transposition
// of the note's staff (one without a number is every staff's).
function transposition(transposes, note, where) {
    const staff = childText(note, "staff")?.trim() ?? "1";
    const mine = transposes.find((t) => attribute(t, "number") === staff)
        ?? transposes.find((t) => attribute(t, "number") === null);
    if (!mine) return { semitones: 0, doubled: [] };
    const whole = (tag, required) => {
        const text = childText(mine, tag);
        if (text === null && !required) return 0;
        if (text === null) throw new InputError(`${where}: a transposition without <${tag}>`);
        const value = wholeNumber(text);
        if (value === null || value < -127n || value > 127n) {
            throw new InputError(`${where}: cannot read the transposition's <${tag}> '${text}'`);
        }
        return Number(value);
    };
    const double = child(mine, "double");
    const doubled = double === null ? [] : [attribute(double, "above") === "yes" ? 1 : -1];
    return { semitones: whole("chromatic", true) + 12 * whole("octave-change", false), doubled };
}

// Whether the note's sound is tied on and tied from: its <tie> elements, or,
// in a score that writes none, its notated <tied> ones.
function ties(note) {
    let types = children(note, "tie").map((t) => attribute(t, "type"));
    if (!types.length) {
        const notations = children(note, "notations").flatMap((n) => children(n, "tied"));
        types = notations.flatMap((t) => (attribute(t, "type") === "continue" ? ["stop", "start"] : [attribute(t, "type")]));
    }
    return { start: types.includes("start"), stop: types.includes("stop") };
}

// Tied notes as one: a note tied from sounds on from the note of its key
// tied on to it, when it starts exactly where that one ends.
function joinTies(notes) {
    const open = new Map();
    const joined = [];
    for (const { tie, ...note } of notes) {
        const id = `${note.channel} ${note.key}`;
        const before = open.get(id);
        let sounding = note;
        if (tie.stop && before && compare(before.end, note.start) === 0) {
            before.end = note.end;
            sounding = before;
            open.delete(id);
        } else {
            joined.push(sounding);
        }
        if (tie.start) open.set(id, sounding);
    }
    return joined;
}

// A <sound dynamics> as {start, velocity} from the score's start.
function dynamicsLevel(level, origin, where) {
    const sound = tagOf(level.holder) === "sound" ? level.holder : child(level.holder, "sound");
    const offset = tagOf(level.holder) === "direction" ? directionOffset(level.holder, where) : 0n;
    const at = add(level.cursor, units(offset, level, where));
    return {
        start: add(origin, compare(at, ZERO) < 0 ? ZERO : at),
        velocity: scaled(percent(attribute(sound, "dynamics"), `${where}: the dynamics`), FORTE_VELOCITY, 1),
    };
}

// --- numbers -------------------------------------------------------------

function decimal(text, what) {
    const value = numberFraction(text);
    if (value === null || typeof value === "string") throw new InputError(`${what} '${text}' is not a number`);
    return Number(value.n) / Number(value.d);
}

function percent(text, what) {
    const value = decimal(text, what);
    if (value < 0) throw new InputError(`${what} '${text}' is below 0`);
    return value;
}

// A percentage of `full`, as a MIDI value from `lowest` to 127.
function scaled(percentage, full, lowest) {
    return Math.min(127, Math.max(lowest, Math.round(percentage * full / 100)));
}

// --- channels ------------------------------------------------------------

// A channel for each part: the one its <midi-instrument> gives, else the
// first channel no part has (never the percussion channel, where the click
// sounds); when all are taken, one that already plays the same program, else
// the next in turn.
export function partChannels(parts) {
    const taken = new Set(parts.map((p) => p.givenChannel).filter((c) => c !== null));
    const programs = new Map();
    let turn = 0;
    return parts.map((part) => {
        let channel = part.givenChannel;
        if (channel === null) {
            channel = MELODIC_CHANNELS.find((c) => !taken.has(c))
                ?? programs.get(part.program)
                ?? MELODIC_CHANNELS[turn++ % MELODIC_CHANNELS.length];
            taken.add(channel);
        }
        if (!programs.has(part.program) && channel !== PERCUSSION_CHANNEL) programs.set(part.program, channel);
        return channel;
    });
}
