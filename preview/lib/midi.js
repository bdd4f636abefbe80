// The ramp to hear: the score from its start to one measure after the
// region, as a standard MIDI file with the tempo records as tempo events and
// a click on every beat, and the times of those clicks.
import { UNITS_PER_QUARTER, beatAt, fullMeasure, measureOffsets, parseMeter } from "./music.js";
import { exactFraction, fixed, formatG, roundHalfEven } from "./numbers.js";
import { MICROS_PER_VALUE, withDefault } from "./timing.js";

const PERCUSSION_CHANNEL = 9;
const CLICK_NOTE = 33; // a metronome click, in TimGM6mb a short clean one
const DOWNBEAT_VELOCITY = 127;
const BEAT_VELOCITY = 96;
const CLICK_UNITS = UNITS_PER_QUARTER / 16;
const LONGEST_MICROS = 0xFFFFFF;

// Measures 1 to the one after the region's last; a score that ends with the
// region gets one more measure of its last meter.
export function heardMeasures(measures, region) {
    const last = region[2] + 1;
    const heard = measures.slice(0, last);
    if (heard.length < last) heard.push(fullMeasure(parseMeter(measures[measures.length - 1].meter, "meter")));
    return heard;
}

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

// The tempo points up to `end`, led by the tempo a MIDI file assumes when the
// score has no record at its start.
export function heardPoints(points, end) {
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

function latin1(text) {
    return Array.from(text, (c) => c.charCodeAt(0) & 0xFF);
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
const noteOn = (velocity) => [0x90 | PERCUSSION_CHANNEL, CLICK_NOTE, velocity];
const noteOff = () => [0x80 | PERCUSSION_CHANNEL, CLICK_NOTE, 0];

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

// A type 1 file, one tick per unit (1024 to the quarter): a conductor track
// with bars, tempos and markers where the ramp starts and ends (each time
// it is heard: `spans`, [start, end] ticks, or one such span), and a click
// track on the percussion channel.
export function midiBytes(measures, points, spans) {
    const end = heardEnd(measures);
    const ramps = typeof spans[0] === "number" ? [spans] : spans;
    const conductor = [
        ...timeSignatures(measures).map(([tick, n, d]) => [tick, 0, timeSignature(n, d)]),
        ...heardPoints(points, end).map(([position, value]) => [position, 1, setTempo(microsPerQuarter(value))]),
        ...ramps.flatMap(([from, to]) => [[from, 2, marker("ramp starts")], [to, 2, marker("ramp ends")]]),
    ];
    const notes = [];
    for (const click of clicks(measures)) {
        notes.push([click.position, 1, noteOn(click.accent ? DOWNBEAT_VELOCITY : BEAT_VELOCITY)]);
        notes.push([click.position + CLICK_UNITS, 0, noteOff()]);
    }
    const header = chunk("MThd", [0, 1, 0, 2, UNITS_PER_QUARTER >> 8, UNITS_PER_QUARTER & 0xFF]);
    const tracks = [trackChunk("ZorvTempo preview", conductor, end), trackChunk("click", notes, end + CLICK_UNITS)];
    return Uint8Array.from([...header, ...tracks[0], ...tracks[1]]);
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
