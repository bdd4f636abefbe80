// The score's notes as they sound: every part, chords, ties joined (across
// barlines too), at sounding pitch (the part's <transpose> applied), each at
// its exact place in units from the score's start, and each part's General
// MIDI instrument: its <midi-instrument>'s program, else the one its
// instrument sound or name means (instruments.js), on a MIDI channel of its
// own where there are enough; unpitched notes on the General MIDI drum kit
// (the percussion channel), each its instrument's key. The MIDI file, the
// WAV and the page's sound all take their notes from here.
//
// Grace notes take their time from the note they ornament, rolled chords
// are spread and ornaments played (note-times.js, ornaments.js).
// Left out, as nothing of their own sounds: rests; cue notes (a player reads
// them, does not play them); unpitched notes whose instrument names no
// <midi-unpitched> key and no drum by its sound or name; and pitches beyond
// MIDI's 0 to 127. A quarter tone sounds the nearest semitone (half-way: the
// one above).
//
//   part: {id, name, program 0..127, channel 0..15, volume 0..127 or null,
//          drums (every note on the drum kit),
//          notes: [{measure, start, end, key, velocity, channel}]}
//   start, end: exact fractions of units from the score's start (a triplet
//          eighth is 1024/3), in score order.
// Browser-safe.
import { measureOffsets } from "./music.js";
import {
    attribute, child, childText, children, directionOffset, durationOf, numberFraction, parseScoreDocument,
    partName, readParts, remark, staffOf, tagOf, tieTypes, units, voiceKey, wholeNumber,
} from "./musicxml.js";
import { ZERO, add, compare, fraction } from "./numbers.js";
import { PIANO, drumKeyFor, partProgram } from "./instruments.js";
import { withFields } from "./copy.js";
import { noteTimes } from "./note-times.js";
import { CarriedTrills, keyAlters } from "./ornaments.js";
import { VALUE_PER_UNIT_PER_MS, tempoPoints, valueAt } from "./timing.js";

const STEPS = { C: 0, D: 2, E: 4, F: 5, G: 7, A: 9, B: 11 };
export const PERCUSSION_CHANNEL = 9;
// Every other channel, in the order parts without one of their own get them.
const MELODIC_CHANNELS = Array.from({ length: 16 }, (_, c) => c).filter((c) => c !== PERCUSSION_CHANNEL);
// MusicXML's dynamics are percentages of forte, which is velocity 90.
const FORTE_VELOCITY = 90;
// Mezzo-forte, where the score sets no level.
export const DEFAULT_VELOCITY = 80;
// The kits a drum part may choose by its program (those of the General
// MIDI banks that have more than one); any other program, or none, plays
// the standard kit, which every bank has: a player without the kit asked
// for would leave the drums silent.
const DRUM_KITS = new Set([0, 8, 16, 24, 25, 32, 40, 48, 56]);
const STANDARD_KIT = 0;
const drumKit = (program) => (DRUM_KITS.has(program) ? program : STANDARD_KIT);

// The score read for its measures and tempo marks (as readScore reads it)
// and for its notes: {measures, tempo, parts}.
export async function readScoreNotes(bytes, fileName, tools = {}) {
    const root = await parseScoreDocument(bytes, fileName, tools);
    const { score, parts } = readParts(root, fileName);
    return { ...score, parts: scoreParts(root, parts, score.measures, score.remarks, score.tempo) };
}

// root: the <score-partwise>; walked: readParts' parts; measures: the
// score's measures; remarks: where what is read leniently is said
// (musicxml.js's remark); tempo: the score's tempo records, which time
// what is played in milliseconds (a short grace note). One entry per part,
// in score order.
export function scoreParts(root, walked, measures, remarks = null, tempo = []) {
    const listed = partList(root, remarks);
    const starts = measureOffsets(measures);
    const unitsAt = unitsOfTime(tempoPoints(tempo, starts));
    const parts = walked.map((part) => {
        const id = attribute(part.element, "id");
        const entry = listed.get(id) ?? { name: id ?? "", instruments: new Map(), main: {}, readings: [] };
        const sounding = soundingNotes(part, entry, starts, measures.length, remarks, unitsAt);
        const drums = sounding.length > 0 && sounding.every((note) => note.channel === PERCUSSION_CHANNEL);
        return {
            id, name: entry.name, drums,
            program: drums ? drumKit(entry.main.program) : partProgram(entry.main.program, entry.readings),
            givenChannel: entry.main.channel ?? null, volume: entry.main.volume ?? null, notes: joinTies(sounding),
        };
    });
    const channels = partChannels(parts);
    return parts.map(({ givenChannel, notes, ...part }, index) => ({
        ...part, channel: channels[index], notes: notes.map((n) => withFields(n, { channel: n.channel ?? channels[index] })),
    }));
}

// (ms, position) -> the units `ms` last at the score's tempo at `position`.
function unitsOfTime(points) {
    // Whole units: one lasts half a millisecond at quarter = 120.
    return (ms, position) => fraction(BigInt(Math.round(ms * valueAt(points, Number(position.n) / Number(position.d))
        / VALUE_PER_UNIT_PER_MS)));
}

// What reading the notes will say of the instruments' numbers and the
// levels (dynamics), said into `remarks` as soon as the score is read,
// without reading the notes: beside the score from the start.
export function valueRemarks(root, walked, remarks) {
    partList(root, remarks);
    walked.forEach((part) => part.measures.forEach((walk, index) => {
        const where = `${partName(part.element)}, measure ${index + 1}`;
        for (const level of walk.levels) {
            const sound = tagOf(level.holder) === "sound" ? level.holder : child(level.holder, "sound");
            percentOf(attribute(sound, "dynamics"), "dynamics", where, remarks);
        }
        for (const placed of walk.notes) percentOf(attribute(placed.element, "dynamics"), "dynamics", where, remarks);
    }));
}

// --- the part list -------------------------------------------------------

// id -> {name, instruments: id -> instrument, main: the part's first
// instrument, readings: what names its sound (instruments.js), most telling
// first}, where an instrument is {program, channel, volume, unpitched} as far
// as its <midi-instrument> says, an unpitched one without a key given the
// drum its <score-instrument> or the part names.
function partList(root, remarks) {
    const listed = new Map();
    const list = child(root, "part-list");
    for (const scorePart of list ? children(list, "score-part") : []) {
        const id = attribute(scorePart, "id");
        const where = `part ${id ?? "?"}`;
        const name = (childText(scorePart, "part-name") ?? "").trim() || id || "";
        const named = new Map(children(scorePart, "score-instrument").map((s) => [attribute(s, "id"), readingsOf(s)]));
        const partReadings = [...[...named.values()].flat(), { name }, { name: childText(scorePart, "part-abbreviation") ?? "" }];
        const instruments = new Map();
        for (const midi of children(scorePart, "midi-instrument")) {
            const instrument = midiInstrument(midi, where, remarks);
            const own = named.get(attribute(midi, "id")) ?? [];
            instrument.drumKey = instrument.unpitched ?? drumKeyFor([...own, ...partReadings]) ?? undefined;
            instruments.set(attribute(midi, "id"), instrument);
        }
        for (const [instrumentId, own] of named) {
            if (!instruments.has(instrumentId)) {
                instruments.set(instrumentId, { drumKey: drumKeyFor([...own, ...partReadings]) ?? undefined });
            }
        }
        const main = children(scorePart, "midi-instrument").length ? instruments.values().next().value : {};
        listed.set(id, { name, instruments, main, readings: partReadings, drumKey: drumKeyFor(partReadings) });
    }
    sayPianoProgramsRead(listed, remarks);
    return listed;
}

// Said once, as it changes what is heard: the parts given the piano's
// program that play another instrument. A drum part plays the kit whatever
// its program, and its drums' names are no instrument's ("Bass Drum").
function sayPianoProgramsRead(listed, remarks) {
    const drums = (entry) => entry.drumKey !== null || [...entry.instruments.values()].some((i) => i.unpitched !== undefined);
    const names = [...listed.values()].filter((entry) => entry.main.program === PIANO && !drums(entry)
        && partProgram(PIANO, entry.readings) !== PIANO).map((entry) => entry.name);
    if (!names.length) return;
    const shown = names.length > 4 ? `${names.slice(0, 3).join(", ")} and ${names.length - 3} more` : names.join(", ");
    remark(remarks, "piano program", `a part given the piano's MIDI program plays as its instrument or name says, `
        + `the piano being what a part gets when nobody chose its sound (${shown})`);
}

// A <score-instrument>'s sound and name, as readings for instruments.js.
function readingsOf(scoreInstrument) {
    const sound = childText(scoreInstrument, "instrument-sound");
    const name = childText(scoreInstrument, "instrument-name");
    return [...(sound === null ? [] : [{ sound }]), ...(name === null ? [] : [{ name }])];
}

const MIDI_NUMBERS = {
    "midi-program": ["MIDI program", 128], "midi-channel": ["MIDI channel", 16], "midi-unpitched": ["drum key", 128],
};

// An instrument's MIDI numbers, each counted from 1 as the score writes
// them (0-based here). One out of range is clamped to it (a program 0 is
// the first), one that is no whole number left out; either is said.
function midiInstrument(midi, where, remarks) {
    const number = (tag) => {
        const text = childText(midi, tag);
        if (text === null) return undefined;
        const [name, high] = MIDI_NUMBERS[tag];
        const value = wholeNumber(text);
        if (value === null) {
            remark(remarks, tag, `a ${name} that is no whole number is left out (${where}: '${text.trim()}')`);
            return undefined;
        }
        if (value >= 1n && value <= BigInt(high)) return Number(value) - 1;
        const kept = value < 1n ? 1 : high;
        remark(remarks, tag, `a ${name} outside 1 to ${high} is read as the nearest, ${kept} (${where}: ${value})`);
        return kept - 1;
    };
    const volume = percentOf(childText(midi, "volume"), "volume", where, remarks);
    return {
        program: number("midi-program"), channel: number("midi-channel"), unpitched: number("midi-unpitched"),
        volume: volume === null ? undefined : scaled(volume, 127, 0),
    };
}

// --- the notes of a part -------------------------------------------------

// Every note of the part that sounds, in score order, each with its ties:
// {measure, start, end, key, velocity, channel (null: the part's), tie: {start, stop}}.
function soundingNotes(part, entry, starts, measureCount, remarks, unitsAt) {
    const found = [];
    const levels = [];
    let key = keyAlters(0);
    const carried = new CarriedTrills();
    part.measures.slice(0, measureCount).forEach((walk, index) => {
        const where = `${partName(part.element)}, measure ${index + 1}`;
        const origin = fraction(BigInt(starts[index + 1]));
        // Where the part's music in this measure ends: a measure lasts as
        // its longest part, so a shorter one falls silent before the next.
        const silentFrom = add(origin, fraction(BigInt(walk.content)));
        const measureEnd = fraction(BigInt(starts[index + 2]));
        for (const level of walk.levels) {
            const found = dynamicsLevel(level, origin, where, remarks);
            if (found) levels.push(found);
        }
        key = measureKey(walk.attributes) ?? key;
        if (index > 0) carried.nextMeasure();
        const times = noteTimes(walk.notes, {
            lengthOf: (placed) => units(durationOf(placed.element, where), placed, where),
            unitsOf: (ms, placed) => unitsAt(ms, add(origin, placed.start)),
            key,
            carried,
        });
        // A note at its time, tied as `tie` says, its key `shift` semitones
        // from the one written.
        const place = (sound, [from, to, shift], tie) => {
            const key = sound.key + shift;
            if (key < 0 || key > 127) return;
            const start = add(origin, from);
            const end = add(origin, to);
            // A tie from the part's last note reaches over that silence
            // (the same for each key a note sounds: one tie for them all).
            tie.reach = compare(end, silentFrom) >= 0 && compare(measureEnd, end) > 0 ? measureEnd : end;
            found.push({ measure: index + 1, start, end, ...sound, key, tie });
        };
        walk.notes.forEach((placed, n) => {
            const time = times[n];
            if (time === null) return;
            for (const sound of noteSounds(placed.element, placed.transpose, entry, where, remarks)) {
                if (!time.pieces) {
                    place(sound, [time.start, time.end, 0], sound.tie);
                    continue;
                }
                // An ornament's notes: tied on from the first, tied from the last.
                const last = time.pieces.length - 1;
                time.pieces.forEach((piece, k) => place(sound, piece,
                    { voice: sound.tie.voice, stop: k === 0 && sound.tie.stop, start: k === last && sound.tie.start }));
            }
        });
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

// The key signature's alterations a measure's <attributes> set (the
// first <key>'s <fifths>), or null.
function measureKey(found) {
    for (const attributes of found) {
        const key = child(attributes, "key");
        const fifths = key === null ? null : wholeNumber(childText(key, "fifths"));
        if (fifths !== null) return keyAlters(Number(fifths));
    }
    return null;
}

// What one note element sounds: none, one key, or two for a part doubled at
// the octave. Each as {key, channel, velocity (null: the level in force), tie}.
function noteSounds(note, transpose, entry, where, remarks) {
    if (child(note, "rest") !== null || child(note, "cue") !== null) return [];
    const dynamics = percentOf(attribute(note, "dynamics"), "dynamics", where, remarks);
    const velocity = dynamics === null ? null : scaled(dynamics, FORTE_VELOCITY, 1);
    const tie = ties(note);
    const pitch = child(note, "pitch");
    if (pitch !== null) {
        const key = pitchKey(pitch, where, remarks);
        if (key === null) return [];
        const shift = transposition(transpose, note, where, remarks);
        const written = key + shift.semitones;
        return [written, ...shift.doubled.map((octaves) => written + 12 * octaves)]
            .filter((key) => key >= 0 && key <= 127)
            .map((key) => ({ key, channel: null, velocity, tie }));
    }
    if (child(note, "unpitched") === null) return [];
    const named = child(note, "instrument");
    const all = [...entry.instruments.values()];
    const instrument = (named && entry.instruments.get(attribute(named, "id")))
        ?? all.find((i) => i.unpitched !== undefined) ?? all.find((i) => i.drumKey !== undefined);
    const key = instrument?.drumKey ?? entry.drumKey;
    if (key === undefined || key === null) return [];
    return [{ key, channel: PERCUSSION_CHANNEL, velocity, tie }];
}

// The MIDI key of a written pitch; null, and said, when it cannot be read
// (the note is then left out).
function pitchKey(pitch, where, remarks) {
    const step = (childText(pitch, "step") ?? "").trim();
    const octave = wholeNumber(childText(pitch, "octave"));
    const alterText = childText(pitch, "alter");
    const alter = alterText === null ? 0 : decimal(alterText);
    if (!(step in STEPS) || octave === null || octave < 0n || octave > 9n || alter === null || Math.abs(alter) > 12) {
        const shown = `${step}${alterText === null ? "" : ` alter ${alterText.trim()}`} octave ${childText(pitch, "octave")}`;
        remark(remarks, "pitch", `a note whose pitch cannot be read is left out (${where}: '${shown}')`);
        return null;
    }
    return 12 * (Number(octave) + 1) + STEPS[step] + Math.round(alter);
}

// The semitones from written to sounding pitch, and the octaves at which a
// doubled part sounds as well ([-1] below, [1] above), by the transposition
// of the note's staff (one without a number is every staff's).
// A transposition that cannot be read (no <chromatic>, or one that is no
// whole number of semitones) is left out, and said: the notes sound as
// written.
function transposition(transposes, note, where, remarks) {
    const staff = staffOf(note);
    const mine = transposes.find((t) => attribute(t, "number") === staff)
        ?? transposes.find((t) => attribute(t, "number") === null);
    const none = { semitones: 0, doubled: [] };
    if (!mine) return none;
    const whole = (tag, required) => {
        const text = childText(mine, tag);
        if (text === null) return required ? null : 0;
        const value = wholeNumber(text);
        return value === null || value < -127n || value > 127n ? null : Number(value);
    };
    const chromatic = whole("chromatic", true);
    const octaves = whole("octave-change", false);
    if (chromatic === null || octaves === null) {
        remark(remarks, "transpose", `a transposition that cannot be read is left out: its notes sound as written (${where})`);
        return none;
    }
    const double = child(mine, "double");
    const doubled = double === null ? [] : [attribute(double, "above") === "yes" ? 1 : -1];
    return { semitones: chromatic + 12 * octaves, doubled };
}

// Whether the note's sound is tied on and tied from: its <tie> elements, or,
// in a score that writes none, its notated <tied> ones; and its voice (staff
// and voice), which a tie whose end is not written keeps to.
function ties(note) {
    const types = tieTypes(note);
    return { start: types.includes("start"), stop: types.includes("stop"), voice: voiceKey(note) };
}

// Tied notes as one: a note tied from sounds on from the note of its key
// tied on to it, when it starts exactly where that one ends, or, from the
// last note of a part's measure shorter than the others', where the next
// measure starts (the tie holds through the silence). A tie whose
// end the file leaves out (some exporters do, at barlines) ends, as
// notation programs read it, on the next note of its key in its voice that
// starts there: played again, that note would be heard twice where the
// score holds it.
function joinTies(notes) {
    const open = new Map();
    const joined = [];
    for (const { tie, ...note } of notes) {
        const id = `${note.channel} ${note.key}`;
        const before = open.get(id);
        let sounding = note;
        if (before && compare(before.reach, note.start) === 0 && (tie.stop || before.voice === tie.voice)) {
            before.note.end = note.end;
            sounding = before.note;
            open.delete(id);
        } else {
            joined.push(sounding);
        }
        if (tie.start) open.set(id, { note: sounding, voice: tie.voice, reach: tie.reach });
    }
    return joined;
}

// A <sound dynamics> as {start, velocity} from the score's start; null for
// one that cannot be read (the level before it holds).
function dynamicsLevel(level, origin, where, remarks) {
    const sound = tagOf(level.holder) === "sound" ? level.holder : child(level.holder, "sound");
    const dynamics = percentOf(attribute(sound, "dynamics"), "dynamics", where, remarks);
    if (dynamics === null) return null;
    const offset = tagOf(level.holder) === "direction" ? directionOffset(level.holder, where, remarks) : 0n;
    const at = add(level.cursor, units(offset, level, where));
    return { start: add(origin, compare(at, ZERO) < 0 ? ZERO : at), velocity: scaled(dynamics, FORTE_VELOCITY, 1) };
}

// --- numbers -------------------------------------------------------------

// A decimal number, or null.
function decimal(text) {
    const value = numberFraction(text);
    return value === null || typeof value === "string" ? null : Number(value.n) / Number(value.d);
}

// A percentage (dynamics, volume): null for none, and for one that is no
// number or is below 0, which is left out and said: what was in force holds.
function percentOf(text, name, where, remarks) {
    if (text === null) return null;
    const value = decimal(text);
    if (value !== null && value >= 0) return value;
    const what = value === null ? "no number" : "below 0";
    remark(remarks, `${name} ${what}`, `${name} ${what === "no number" ? "that is no number" : "below 0"} `
        + `${name === "volume" ? "is" : "are"} left out (${where}: '${text.trim()}')`);
    return null;
}

// A percentage of `full`, as a MIDI value from `lowest` to 127.
function scaled(percentage, full, lowest) {
    return Math.min(127, Math.max(lowest, Math.round(percentage * full / 100)));
}

// --- channels ------------------------------------------------------------

// A channel for each part ({program, givenChannel, drums}): a drum part,
// the percussion channel; another, the one its <midi-instrument> gives,
// unless an earlier part holds it with another program (as a score for more
// than one MIDI port gives), else the first channel no part has (never the
// percussion channel, where the click sounds). When there are more parts
// than channels, parts of one program share a channel, and what is left
// shares with the nearest program of its family (General MIDI's groups of
// eight: strings, brass, reeds...), else with the next in turn.
export function partChannels(parts) {
    const programs = new Map(); // channel -> its program
    const given = parts.map((part) => {
        const channel = part.drums ? PERCUSSION_CHANNEL : part.givenChannel;
        if (channel === null) return null;
        if (channel !== PERCUSSION_CHANNEL && programs.has(channel) && programs.get(channel) !== part.program) return null;
        if (channel !== PERCUSSION_CHANNEL) programs.set(channel, part.program);
        return channel;
    });
    const free = MELODIC_CHANNELS.filter((c) => !programs.has(c));
    const wanting = given.filter((channel) => channel === null).length;
    const crowded = wanting > free.length;
    let turn = 0;
    return parts.map((part, index) => {
        if (given[index] !== null) return given[index];
        const held = [...programs].filter(([, program]) => program === part.program).map(([channel]) => channel);
        if (crowded && held.length) return held[0];
        if (free.length) {
            const channel = free.shift();
            programs.set(channel, part.program);
            return channel;
        }
        const family = [...programs].filter(([, program]) => program >> 3 === part.program >> 3)
            .sort((a, b) => Math.abs(a[1] - part.program) - Math.abs(b[1] - part.program));
        return held[0] ?? family[0]?.[0] ?? MELODIC_CHANNELS[turn++ % MELODIC_CHANNELS.length];
    });
}
