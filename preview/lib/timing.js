// Playback time under tempo records: each record's tempo holds from its
// position until the next record; of two records at one position the later
// one holds. Before the first record a score plays at quarter = 120, as a
// MIDI file does before its first tempo event, so every time here (the
// timing summary, the MIDI file, the beat times, the fit) counts the same.
//
// Points are [position, value] pairs: absolute position in units from the
// score's start, tempo value (units per millisecond, 16 fraction bits),
// in score order.
import { UNITS_PER_QUARTER } from "./music.js";

export const VALUE_PER_UNIT_PER_MS = 65536;
export const MICROS_PER_VALUE = UNITS_PER_QUARTER * VALUE_PER_UNIT_PER_MS * 1000;
export const DEFAULT_MICROS_PER_QUARTER = 500000;
export const DEFAULT_VALUE = MICROS_PER_VALUE / DEFAULT_MICROS_PER_QUARTER;
// Said beside every figure that counted time at that tempo.
export const DEFAULT_TEMPO_NOTE = "quarter = 120 before the first record";

export function quarterBpm(value) {
    return value * 60000.0 / (UNITS_PER_QUARTER * VALUE_PER_UNIT_PER_MS);
}

// [position, value] of each [measure, position, value] record, in score
// order; records at one position keep their order (the host puts a new one
// after those already there), so the last of them is the one that holds.
export function tempoPoints(records, starts) {
    return records
        .map((record) => [starts[record[0]] + record[1], record[2]])
        .sort((a, b) => a[0] - b[0]);
}

// The points, led by the assumed tempo when no record stands at the start.
export function withDefault(points) {
    if (points.length > 0 && points[0][0] <= 0) return points;
    return [[0, DEFAULT_VALUE], ...points];
}

// Whether time counted from `position` on passes through the assumed tempo.
export function passesDefault(points, position) {
    return points.length === 0 || points[0][0] > position;
}

// Milliseconds to play [start, end).
export function playbackMs(points, start, end) {
    const all = withDefault(points);
    let total = 0.0;
    for (let i = 0; i < all.length; i += 1) {
        const [position, value] = all[i];
        const from = Math.max(position, start);
        const to = Math.min(i + 1 < all.length ? all[i + 1][0] : end, end);
        if (to > from && value > 0) total += (to - from) * VALUE_PER_UNIT_PER_MS / value;
    }
    return total;
}

// Seconds from the score's start to each of the ascending positions.
export function secondsAt(points, positions) {
    const all = withDefault(points);
    const times = [];
    let elapsedMs = 0.0;
    let index = 0;
    let [at, value] = all[0];
    for (const position of positions) {
        while (index + 1 < all.length && all[index + 1][0] <= position) {
            index += 1;
            elapsedMs += (all[index][0] - at) * VALUE_PER_UNIT_PER_MS / value;
            [at, value] = all[index];
        }
        times.push((elapsedMs + (position - at) * VALUE_PER_UNIT_PER_MS / value) / 1000);
    }
    return times;
}

// The position reached after `seconds` of playing from the score's start:
// the inverse of secondsAt (before the start, the assumed tempo's).
export function tickAtSeconds(points, seconds) {
    const all = withDefault(points);
    const targetMs = seconds * 1000;
    let elapsedMs = 0.0;
    for (let i = 0; ; i += 1) {
        const [at, value] = all[i];
        const last = i + 1 === all.length;
        const ms = last ? Infinity : (all[i + 1][0] - at) * VALUE_PER_UNIT_PER_MS / value;
        if (last || elapsedMs + ms > targetMs || targetMs < 0) return at + (targetMs - elapsedMs) * value / VALUE_PER_UNIT_PER_MS;
        elapsedMs += ms;
    }
}

// The tempo value that holds at `position` (the later of records there).
export function valueAt(points, position) {
    let held = DEFAULT_VALUE;
    for (const [at, value] of points) {
        if (at > position) break;
        held = value;
    }
    return held;
}

// Milliseconds to play `length` units under a continuous linear ramp of the
// tempo value from a to b.
export function idealMs(a, b, length) {
    if (a === b) return length * VALUE_PER_UNIT_PER_MS / a;
    return length * VALUE_PER_UNIT_PER_MS / (b - a) * Math.log(b / a);
}
