// Times as a cue sheet gives them: seconds (34.2, 34.2s, 90 sec),
// minutes:seconds (0:34.2), hours:minutes:seconds (1:02:03.5), spelled out
// (1m 30s, 1h 2m), or SMPTE timecode HH:MM:SS:FF at a frame rate, drop
// frame written HH:MM:SS;FF. Every time the preview takes, a duration to fit
// as much as a hit, is read here. A time read remembers its form, so a time
// computed for it is written back the same way. Browser-safe.
import { InputError } from "./music.js";
import { fixed } from "./numbers.js";

// The frame rates a picture runs at: frames per second as labelled
// (`nominal`) and as played (`perSecond`). 23.976 and 29.97 run slower than
// their labels by 1000/1001.
export const FRAME_RATES = Object.freeze({
    "23.976": Object.freeze({ name: "23.976", nominal: 24, perSecond: 24000 / 1001 }),
    24: Object.freeze({ name: "24", nominal: 24, perSecond: 24 }),
    25: Object.freeze({ name: "25", nominal: 25, perSecond: 25 }),
    "29.97": Object.freeze({ name: "29.97", nominal: 30, perSecond: 30000 / 1001 }),
    30: Object.freeze({ name: "30", nominal: 30, perSecond: 30 }),
});
// Errors are counted in frames of this rate when no rate is given.
export const DEFAULT_FRAME_RATE = FRAME_RATES[24];
const RATE_NAMES = "23.976, 24, 25, 29.97 or 30";

// Drop frame at 29.97: the labels ;00 and ;01 are skipped at the start of
// every minute but each tenth, so the labels keep up with the clock.
const DROPPED_PER_MINUTE = 2;
const FRAMES_PER_TEN_MINUTES = 10 * 60 * 30 - 9 * DROPPED_PER_MINUTE;
const FRAMES_PER_DROP_MINUTE = 60 * 30 - DROPPED_PER_MINUTE;

export function parseFrameRate(text, where = "--fps") {
    const rate = FRAME_RATES[String(text).trim()];
    if (!rate) throw timeError(where, `'${text}' is no frame rate this knows (use ${RATE_NAMES})`);
    return rate;
}

function timeError(where, sentence) {
    const field = where.replace(/^--/, "");
    return new InputError(`${where}: ${sentence}`, { fields: [field], sentence });
}

const DECIMAL = /^(\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?$/;
const CLOCK = /^(\d+):([0-5]?\d(?:\.\d*)?)$/;
const LONG_CLOCK = /^(\d+):([0-5]?\d):([0-5]?\d(?:\.\d*)?)$/;
const TIMECODE = /^(\d{1,2}):(\d{2}):(\d{2})([:;])(\d{2})$/;
// Seconds named after a number or a clock: 25s, 25 s, 90 sec, 1:23.5s.
const SECONDS_WORD = /(?<=\d)\s*(?:s|secs?|seconds?)$/i;
// 1h 2m 3.5s, 1m 30s, 2 min: hours or minutes, then what follows.
const NUMBER = "(\\d+(?:\\.\\d*)?|\\.\\d+)";
const SPELLED = new RegExp(`^(?:${NUMBER}\\s*h\\s*)?(?:${NUMBER}\\s*(?:m|mins?|minutes?)\\s*)?`
    + `(?:${NUMBER}\\s*(?:s|secs?|seconds?))?$`, "i");

// A time as {seconds, form}; `rate` (FRAME_RATES' entry or null) reads a
// timecode. `where` names the input in a refusal ("--hit 17=...").
export function parseTime(text, rate, where) {
    const time = readTime(text, rate, where);
    if (time) return time;
    throw timeError(where, `cannot read the time '${text}' (write seconds as 34.2, minutes:seconds as 0:34.2, `
        + "or timecode as 00:00:34:05)");
}

// parseTime's answer, or null for text in none of its forms; a timecode
// that cannot be one at its rate is refused as such.
export function readTime(text, rate, where) {
    const plain = String(text).trim().replace(/(?<=\d)_(?=\d)/g, "");
    const spelled = SPELLED.exec(plain);
    if (spelled && (spelled[1] !== undefined || spelled[2] !== undefined)) return spelledTime(spelled);
    const bare = plain.replace(SECONDS_WORD, "");
    if (DECIMAL.test(bare)) return { seconds: Number(bare), form: { kind: "seconds" } };
    const clock = CLOCK.exec(bare);
    if (clock) return { seconds: Number(clock[1]) * 60 + Number(clock[2]), form: { kind: "clock" } };
    const longClock = LONG_CLOCK.exec(bare);
    if (longClock) {
        const [, h, m, s] = longClock;
        return { seconds: Number(h) * 3600 + Number(m) * 60 + Number(s), form: { kind: "long clock" } };
    }
    const code = TIMECODE.exec(plain);
    if (code) return timecodeTime(code, rate, plain, where);
    return null;
}

// "1h 2m 3s" is written back as 1:02:03.000, "1m 30s" as 1:30.000.
function spelledTime([, h, m, s]) {
    const seconds = Number(h ?? 0) * 3600 + Number(m ?? 0) * 60 + Number(s ?? 0);
    return { seconds, form: { kind: h !== undefined ? "long clock" : "clock" } };
}

function timecodeTime(code, rate, text, where) {
    const [, h, m, s, separator, f] = code.map((part, i) => (i === 4 ? part : Number(part)));
    const drop = separator === ";";
    if (!rate) {
        throw timeError(where, `the timecode ${text} needs its frame rate: give --fps (${RATE_NAMES})`);
    }
    if (drop && rate.name !== "29.97") {
        throw timeError(where, `${text} is drop frame (;), which runs at 29.97 frames a second, not at ${rate.name}`);
    }
    if (h > 23 || m > 59 || s > 59 || f >= rate.nominal) {
        throw timeError(where, `${text} is no timecode at ${rate.name} frames a second (hours 00 to 23, `
            + `minutes and seconds 00 to 59, frames 00 to ${rate.nominal - 1})`);
    }
    const minutes = 60 * h + m;
    let frame = (minutes * 60 + s) * rate.nominal + f;
    if (drop) {
        if (m % 10 !== 0 && s === 0 && f < DROPPED_PER_MINUTE) {
            throw timeError(where, `${text} is no drop-frame timecode: the frames ;00 and ;01 are skipped `
                + "at the start of each minute but every tenth");
        }
        frame -= DROPPED_PER_MINUTE * (minutes - Math.floor(minutes / 10));
    }
    return { seconds: frame / rate.perSecond, form: { kind: "timecode", drop, rate } };
}

function pad(value, width = 2) {
    return String(value).padStart(width, "0");
}

// Seconds in the form a time was given: 34.213, 0:34.213, 1:02:03.500, or
// timecode with the frame to two decimals (00:00:34:05.12).
export function formatTime(seconds, form) {
    const sign = seconds < 0 ? "-" : "";
    const size = Math.abs(seconds);
    if (form.kind === "timecode") return sign + timecodeText(size, form);
    if (form.kind === "seconds") return fixed(seconds, 3);
    const thousandths = Math.round(size * 1000);
    const s = (thousandths % 60000) / 1000;
    const minutes = Math.floor(thousandths / 60000);
    const secondsText = `${pad(Math.floor(s))}.${pad(thousandths % 1000, 3)}`;
    if (form.kind === "clock") return `${sign}${minutes}:${secondsText}`;
    return `${sign}${Math.floor(minutes / 60)}:${pad(minutes % 60)}:${secondsText}`;
}

function timecodeText(seconds, { drop, rate }) {
    const hundredths = Math.round(seconds * rate.perSecond * 100);
    let frame = Math.floor(hundredths / 100);
    if (drop) {
        const tens = Math.floor(frame / FRAMES_PER_TEN_MINUTES);
        const rest = frame % FRAMES_PER_TEN_MINUTES;
        const skipped = rest < DROPPED_PER_MINUTE ? 0
            : DROPPED_PER_MINUTE * Math.floor((rest - DROPPED_PER_MINUTE) / FRAMES_PER_DROP_MINUTE);
        frame += 9 * DROPPED_PER_MINUTE * tens + skipped;
    }
    const f = frame % rate.nominal;
    const totalSeconds = Math.floor(frame / rate.nominal);
    const [h, m, s] = [Math.floor(totalSeconds / 3600), Math.floor(totalSeconds / 60) % 60, totalSeconds % 60];
    return `${pad(h)}:${pad(m)}:${pad(s)}${drop ? ";" : ":"}${pad(f)}.${pad(hundredths % 100)}`;
}

// An error in seconds as frames of a rate.
export function framesOf(seconds, rate) {
    return seconds * rate.perSecond;
}
