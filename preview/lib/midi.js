// The ramp to hear: the score as heard (playback.js), from its start to one
// measure after the region, as a standard MIDI file with the tempo records as tempo events, a
// click on every beat and the score's notes (notes.js), each as asked, and
// the times of those clicks.
import { UNITS_PER_QUARTER, beatAt, measureAfter, measureOffsets, parseMeter } from "./music.js";
import { exactFraction, fixed, formatG, lowerBound, roundHalfEven } from "./numbers.js";
import { MICROS_PER_VALUE, withDefault } from "./timing.js";

const PERCUSSION_CHANNEL = 9;
const CLICK_NOTE = 33; // a metronome click, in TimGM6mb a short clean one
const DOWNBEAT_VELOCITY = 127;
const BEAT_VELOCITY = 96;
const CLICK_UNITS = UNITS_PER_QUARTER / 16;
const LONGEST_MICROS = 0xFFFFFF;

// Measures 1 to the one after the region's last; a score that ends with the
// region gets one more measure of its last meter. One array (frozen) for a
// score and a last measure, so that its offsets are laid once.
export function heardMeasures(measures, region) {
    const last = region[2] + 1;
    if (!HEARD.has(measures)) HEARD.set(measures, new Map());
    const byLast = HEARD.get(measures);
    if (!byLast.has(last)) {
        const heard = measures.slice(0, last);
        if (heard.length < last) heard.push(measureAfter(measures));
        byLast.set(last, Object.freeze(heard));
    }
    return byLast.get(last);
}

const HEARD = new WeakMap();

// Where the heard part ends, in units from the score's start.
export function heardEnd(heard) {
    return measureOffsets(heard)[heard.length + 1];
}

// A click on each counted beat: position (units from the start of the
// measures given), measure (its number in the score: `numbers`, for
// measures heard in another order, else counted from 1), beat (as the
// meter counts them), whether it is a downbeat, which measure heard it is
// (from 1) and which hearing of its measure (from 1).
export function clicks(measures, numbers = null) {
    const starts = measureOffsets(measures);
    const hearings = new Map();
    const all = [];
    measures.forEach((measure, index) => {
        const number = numbers ? numbers[index] : index + 1;
        const hearing = (hearings.get(number) ?? 0) + 1;
        hearings.set(number, hearing);
        for (const p of measure.clicks) {
            all.push({ position: starts[index + 1] + p, measure: number, beat: beatAt(measure, p),
                accent: p === 0 && measure.downbeat, heard: index + 1, hearing });
        }
    });
    return all;
}

// The conductor track's tempo points: those up to `end`, led by the tempo a
// MIDI file assumes when the score has no record at its start.
export function conductorPoints(points, end) {
    return withDefault(points.filter(([position]) => position <= end));
}

export function microsPerQuarter(value) {
    return Math.min(LONGEST_MICROS, Math.max(1, Number(roundHalfEven(exactFraction(MICROS_PER_VALUE / value)))));
}

// [tick, numerator, denominator] wherever the bar changes; a measure that
// is no whole number of its beat type is counted in 64ths.
export function timeSignatures(measures) {
    const starts = measureOffsets(measures);
    const events = [];
    let last = null;
    measures.forEach((measure, index) => {
        let denominator = parseMeter(measure.meter, "meter").denominator;
        let unit = (4 * UNITS_PER_QUARTER) / denominator;
        if (measure.length % unit !== 0) {
            unit = UNITS_PER_QUARTER / 16;
            denominator = 64;
        }
        const numerator = Math.floor(measure.length / unit);
        const changed = last === null || last[0] !== numerator || last[1] !== denominator;
        if (changed && numerator >= 1 && numerator <= 255) {
            events.push([starts[index + 1], numerator, denominator]);
            last = [numerator, denominator];
        }
    });
    return events;
}

function variableLength(value) {
    const bytes = [value & 0x7F];
    for (let rest = Math.floor(value / 128); rest > 0; rest = Math.floor(rest / 128)) {
        bytes.unshift((rest & 0x7F) | 0x80);
    }
    return bytes;
}

// A part's name may hold any letter; a MIDI text holds bytes, read as
// Latin-1: what Latin-1 lacks is written as '?'.
function latin1(text) {
    return Array.from(text, (c) => (c.codePointAt(0) <= 0xFF ? c.codePointAt(0) : 0x3F));
}

function meta(type, data) {
    return [0xFF, type, ...variableLength(data.length), ...data];
}

const trackName = (name) => meta(0x03, latin1(name));
const marker = (text) => meta(0x06, latin1(text));
const setTempo = (micros) => meta(0x51, [(micros >> 16) & 0xFF, (micros >> 8) & 0xFF, micros & 0xFF]);
const endOfTrack = () => meta(0x2F, []);
// 24 MIDI clocks to the metronome click, eight 32nds to the quarter.
const timeSignature = (numerator, denominator) => meta(0x58, [numerator, Math.log2(denominator), 24, 8]);
const noteOn = (velocity, channel = PERCUSSION_CHANNEL, key = CLICK_NOTE) => [0x90 | channel, key, velocity];
const noteOff = (channel = PERCUSSION_CHANNEL, key = CLICK_NOTE) => [0x80 | channel, key, 0];
const programChange = (channel, program) => [0xC0 | channel, program];
const channelVolume = (channel, volume) => [0xB0 | channel, 7, volume];

// A track chunk from [tick, order at that tick, message bytes]; events of one
// tick and order keep theirs. Every message carries its status byte: a note
// off always stands between two note ons, so there is nothing to run on.
function trackChunk(name, events, end) {
    const sorted = events.slice().sort((a, b) => a[0] - b[0] || a[1] - b[1]);
    const data = [...variableLength(0), ...trackName(name)];
    let at = 0;
    for (const [tick, , message] of sorted) {
        data.push(...variableLength(tick - at), ...message);
        at = tick;
    }
    data.push(...variableLength(Math.max(0, end - at)), ...endOfTrack());
    return chunk("MTrk", data);
}

function chunk(tag, data) {
    const n = data.length;
    return [...latin1(tag), (n >>> 24) & 0xFF, (n >>> 16) & 0xFF, (n >>> 8) & 0xFF, n & 0xFF, ...data];
}

// The notes heard: each part's notes (notes.js) where the hearing plays
// them, as ticks, one tick a unit. `runs` (playback.js's runs of
// consecutive measures: a stretch of score [from, to) laid at a tick) say
// where; without them the score is heard as written up to `end`. A note is
// heard in a run where it starts inside it, and is cut where the run (or
// `end`) ends: a jump stops what sounds. Every score position becomes a
// heard time here and nowhere else.
export function heardNotes(parts, end, runs = [{ tick: 0, from: 0, to: end }]) {
    const tick = (position) => Number(roundHalfEven(position));
    return parts.map((part) => {
        const starts = part.notes.map((note, index) => [tick(note.start), index]).sort((a, b) => a[0] - b[0] || a[1] - b[1]);
        const notes = [];
        for (const run of runs) {
            const inside = [];
            for (let k = firstStart(starts, run.from); k < starts.length && starts[k][0] < run.to; k += 1) {
                inside.push(starts[k][1]);
            }
            for (const index of inside.sort((a, b) => a - b)) {
                const note = part.notes[index];
                const on = run.tick + tick(note.start) - run.from;
                const off = Math.min(run.tick + tick(note.end) - run.from, run.tick + run.to - run.from, end);
                if (on < end && off > on) notes.push({ on, off, key: note.key, velocity: note.velocity, channel: note.channel });
            }
        }
        return { ...part, notes };
    });
}

// The first of [start, index] pairs (ascending) that starts at or after a
// position.
function firstStart(starts, position) {
    return lowerBound(starts.length, (i) => starts[i][0] < position);
}

// One key of one channel sounds once at a time: a note that starts while
// another of its key sounds ends that one (a unison of two voices sounds
// once, as long as the longer). Notes of a part keep their track.
function restrike(heard) {
    const byKey = new Map();
    for (const part of heard) {
        for (const note of part.notes) {
            const id = note.channel * 128 + note.key;
            if (!byKey.has(id)) byKey.set(id, []);
            byKey.get(id).push(note);
        }
    }
    const silent = new Set();
    for (const notes of byKey.values()) {
        notes.sort((a, b) => a.on - b.on || b.off - a.off);
        for (let i = 1; i < notes.length; i += 1) {
            const before = notes[i - 1];
            if (notes[i].on === before.on) {
                silent.add(notes[i]);
                notes[i] = before;
            } else if (notes[i].on < before.off) {
                before.off = notes[i].on;
            }
        }
    }
    return heard.map((part) => ({ ...part, notes: part.notes.filter((note) => !silent.has(note)) }));
}

// A part's track: its program and volume, then its notes (at one tick, a
// note ends before the next begins).
function partEvents(part) {
    const events = [[0, 0, programChange(part.channel, part.program)]];
    if (part.volume !== null) events.push([0, 0, channelVolume(part.channel, part.volume)]);
    for (const note of part.notes) {
        events.push([note.on, 2, noteOn(note.velocity, note.channel, note.key)]);
        events.push([note.off, 1, noteOff(note.channel, note.key)]);
    }
    return events;
}

// The parts' notes as the file sounds them up to `end`, along `runs` when
// the score is heard in another order than written.
export function partsHeard(parts, end, runs = undefined) {
    return restrike(heardNotes(parts, end, runs));
}

// A type 1 file, one tick per unit (1024 to the quarter), of the measures
// as heard, in order: a conductor track with bars, tempos (`points`, along
// the ticks) and markers where the ramp starts and ends (each time it is
// heard: `spans`, [start, end] ticks, or one such span); a click track on
// the percussion channel (unless `click` is false); and one track per part
// of the score's notes (notes.js) when `parts` are given, placed along
// `runs` (playback.js) when the measures are heard in another order than
// written. `marks`, [[tick, text]], name other places than the ramp's
// (a plan's runs, hit points) in its markers. `beats` (clicks') and
// `placed` (partsHeard's) hand over what a caller has already worked out.
export function midiBytes(measures, points, spans, {
    click = true, parts = null, runs = undefined, marks = null, beats = null, placed = null,
} = {}) {
    const end = heardEnd(measures);
    const ramps = typeof spans[0] === "number" ? [spans] : spans;
    const markers = marks ?? ramps.flatMap(([from, to]) => [[from, "ramp starts"], [to, "ramp ends"]]);
    const conductor = [
        ...timeSignatures(measures).map(([tick, n, d]) => [tick, 0, timeSignature(n, d)]),
        ...conductorPoints(points, end).map(([position, value]) => [position, 1, setTempo(microsPerQuarter(value))]),
        ...markers.map(([tick, text]) => [tick, 2, marker(text)]),
    ];
    const tracks = [trackChunk("ZorvTempo preview", conductor, end)];
    if (click) {
        const notes = [];
        for (const beat of beats ?? clicks(measures)) {
            notes.push([beat.position, 1, noteOn(beat.accent ? DOWNBEAT_VELOCITY : BEAT_VELOCITY)]);
            notes.push([beat.position + CLICK_UNITS, 0, noteOff()]);
        }
        tracks.push(trackChunk("click", notes, end + CLICK_UNITS));
    }
    for (const part of placed ?? (parts ? partsHeard(parts, end, runs) : [])) {
        tracks.push(trackChunk(part.name, partEvents(part), end));
    }
    const count = tracks.length;
    const header = chunk("MThd", [0, 1, count >> 8, count & 0xFF, UNITS_PER_QUARTER >> 8, UNITS_PER_QUARTER & 0xFF]);
    return Uint8Array.from([header, ...tracks].flat());
}

// The click times as CSV: seconds, measure, beat, downbeat, and with
// `hearings` (a score heard in another order than written) which hearing
// of its measure the click is in.
// beats: clicks with their times in seconds (heardBeats in preview.js).
export function beatsCsv(beats, hearings = false) {
    const rows = beats.map((beat) => `${fixed(beat.seconds, 6)},${beat.measure},${formatG(beat.beat)},`
        + `${beat.accent ? 1 : 0}${hearings ? `,${beat.hearing}` : ""}\n`);
    return `seconds,measure,beat,downbeat${hearings ? ",pass" : ""}\n${rows.join("")}`;
}
