// What a score already says of its tempo: "rit.", "accel." and their kin,
// often with dashes to where they end, then "a tempo", "Tempo I" or a new
// metronome mark; a fermata or a double barline ends one too. Each becomes
// a proposed ramp (a plan's run), with the tempo in force where it starts
// and a final tempo: the mark that follows where there is one, else 75 %
// for a slowing and 133 % for a quickening, as the notation programs
// default. Dense <sound tempo> steps with nothing written (a ramp another
// program exported) are found as the one ramp they are. Browser-safe: the
// reader (musicxml.js) hands over each measure's cues unjudged.
import { UNITS_PER_QUARTER, beatAt, beatUnits, measureOffsets, regionBounds, tempoName, tempoValue } from "./music.js";
import { formatG } from "./numbers.js";
import { numberFraction } from "./musicxml.js";

const SLOWING = /(?<![a-z])(?:rit|ritard|ritardando|rall|rallent|rallentando|allarg|allargando|calando|smorz|smorzando)(?![a-z])/;
const QUICKENING = /(?<![a-z])(?:accel|accelerando|string\.|stringendo)(?![a-z])/;
const A_TEMPO = /(?<![a-z])a\s+tempo(?![a-z])/;
const TEMPO_PRIMO = /(?<![a-z])tempo\s+(?:i|1|1o|1º|1°|primo)(?![a-z0-9])/;
export const DEFAULT_SHARE = { slowing: 75, quickening: 133 };
const BEAT_UNITS = { "16th": 0, eighth: 1, quarter: 2, half: 3, whole: 4 };
// Steps this close, all one way, with no word or mark shown, are one ramp.
const STEPS_IN_A_RAMP = 4;
const STEP_GAP = 2 * UNITS_PER_QUARTER * 4;

function plainWords(text) {
    return text.normalize("NFD").replace(/[\u0300-\u036f]/g, "").toLowerCase().replace(/\s+/g, " ").trim();
}

// A word's meaning for the tempo: "slowing", "quickening", "a tempo",
// "tempo primo", or null.
export function tempoWord(text) {
    const words = plainWords(text);
    if (A_TEMPO.test(words)) return "a tempo";
    if (TEMPO_PRIMO.test(words)) return "tempo primo";
    if (SLOWING.test(words)) return "slowing";
    if (QUICKENING.test(words)) return "quickening";
    return null;
}

// A <metronome> as a tempo ({unit, dotted, bpm}, whole BPM), or null for
// one that names no plain beat and number (a metric modulation, "q = c.").
function metronomeTempo(metronome) {
    const unit = BEAT_UNITS[(metronome.unit ?? "").trim()];
    const bpm = numberFraction(metronome.perMinute ?? "");
    if (unit === undefined || bpm === null || typeof bpm === "string" || metronome.dots > 1) return null;
    const value = Math.round(Number(bpm.n) / Number(bpm.d));
    return value >= 20 && value <= 600 ? { unit, dotted: metronome.dots === 1, bpm: value } : null;
}

function soundBpm(text) {
    if (text === null) return null;
    const bpm = numberFraction(text);
    return bpm === null || typeof bpm === "string" || bpm.n <= 0n ? null : Number(bpm.n) / Number(bpm.d);
}

// Every cue of every part, each once (parts repeat a score's directions),
// as events in score order: {at (absolute units), measure, length (its
// measure's), kind, ...}.
export function tempoEvents(read) {
    const { measures } = read.score;
    const starts = measureOffsets(measures);
    const seen = new Set();
    const events = [];
    for (const part of read.parts) {
        part.measures.slice(0, measures.length).forEach((walked, index) => {
            const number = index + 1;
            for (const cue of walked.cues ?? []) {
                const at = Math.min(starts[number] + Math.round(Number(cue.at.n) / Number(cue.at.d)), starts[number + 1]);
                for (const event of cueEvents(cue, at, number, starts)) {
                    event.length = measures[index].length;
                    const key = `${event.at} ${event.kind} ${event.text ?? ""} ${event.bpm ?? ""}`;
                    if (!seen.has(key)) {
                        seen.add(key);
                        events.push(event);
                    }
                }
            }
        });
    }
    return events.sort((a, b) => a.at - b.at);
}

function cueEvents(cue, at, measure, starts) {
    if (cue.kind === "fermata") return [{ at, measure, kind: "fermata" }];
    if (cue.kind === "barline") {
        const double = ["light-light", "light-heavy", "heavy-light", "heavy-heavy"].includes(cue.style);
        const place = cue.location === "left" ? starts[measure] : starts[measure + 1];
        return [
            ...(double ? [{ at: place, measure, kind: "double barline" }] : []),
            ...(cue.fermata ? [{ at: place, measure, kind: "fermata" }] : []),
        ];
    }
    const out = [];
    const text = cue.words.join(" ").trim();
    const meaning = text ? tempoWord(text) : null;
    if (meaning) out.push({ at, measure, kind: meaning, text, dashes: cue.dashes.find((d) => d.type === "start")?.number ?? null });
    for (const dash of cue.dashes) {
        if (dash.type === "stop") out.push({ at, measure, kind: "dashes stop", number: dash.number });
        // Dashes often stand in the direction after their word's.
        if (dash.type === "start" && !meaning) out.push({ at, measure, kind: "dashes start", number: dash.number });
    }
    const metronome = cue.metronome ? metronomeTempo(cue.metronome) : null;
    const bpm = soundBpm(cue.tempo);
    if (metronome) out.push({ at, measure, kind: "metronome", tempo: metronome, bpm });
    else if (bpm !== null) out.push({ at, measure, kind: "sound", bpm, shown: Boolean(text) });
    return out;
}

// The tempo a <sound tempo> alone sets, as a musician would write it.
function quarterTempo(bpm) {
    return { unit: 2, dotted: false, bpm: Math.min(600, Math.max(20, Math.round(bpm))) };
}

// Runs of dense, silent <sound tempo> steps all one way: each {first, last
// (events), count}.
export function steppedRamps(events) {
    const steps = events.filter((e) => e.kind === "sound" && !e.shown);
    const found = [];
    let run = [];
    const close = () => {
        if (run.length >= STEPS_IN_A_RAMP) found.push({ first: run[0], last: run.at(-1), count: run.length });
        run = [];
    };
    for (const step of steps) {
        const previous = run.at(-1);
        const direction = run.length >= 2 ? Math.sign(run[1].bpm - run[0].bpm) : 0;
        const fits = previous && step.at - previous.at <= STEP_GAP && step.bpm !== previous.bpm
            && (direction === 0 || Math.sign(step.bpm - previous.bpm) === direction);
        if (!fits) {
            close();
            if (previous && step.at - previous.at <= STEP_GAP && step.bpm !== previous.bpm) run = [previous];
        }
        run.push(step);
    }
    close();
    return found;
}

const ENDS = new Set(["a tempo", "tempo primo", "metronome", "sound", "fermata", "double barline", "slowing", "quickening"]);

// The proposed ramps, in score order: {kind ("slowing", "quickening" or
// "steps"), word, from, to (absolute units, `to` not included), start,
// stop (tempos), share (the default percentage used, or null), end (what
// ends it: "dashes", "a tempo", "metronome", ..., or "the score's end"),
// after ("start", "stop" or "none")}.
export function proposedRamps(read) {
    const { measures } = read.score;
    const starts = measureOffsets(measures);
    const scoreEnd = starts[measures.length + 1];
    const all = tempoEvents(read);
    const stepped = steppedRamps(all);
    // A ramp's steps between its first and last say nothing more: a word
    // over them ends at the last, whose tempo is its final one.
    const inside = (e) => e.kind === "sound" && stepped.some((ramp) => e.at > ramp.first.at && e.at < ramp.last.at);
    const events = all.filter((e) => !inside(e));
    const firstTempo = events.find((e) => e.kind === "metronome" || e.kind === "sound");
    const ramps = [];
    events.forEach((event, index) => {
        if (event.kind !== "slowing" && event.kind !== "quickening") return;
        const start = tempoInForce(events, event.at);
        const { end, to, closing } = rampEnd(events, index, event, scoreEnd);
        let stop = null, share = null;
        if (closing && (closing.kind === "metronome" || closing.kind === "sound")) {
            stop = closing.kind === "metronome" ? closing.tempo : quarterTempo(closing.bpm);
        }
        const wanted = event.kind === "slowing" ? -1 : 1;
        if (stop === null || Math.sign(rampValue(stop) - rampValue(start)) !== wanted) {
            share = DEFAULT_SHARE[event.kind];
            stop = shareOf(start, share);
        }
        const primo = firstTempo ? tempoOf(firstTempo) : null;
        const after = end === "a tempo" || (end === "tempo primo" && primo && rampValue(primo) === rampValue(start)) ? "start"
            : end === "metronome" || end === "sound" || end === "tempo primo" ? "none" : "stop";
        if (to > event.at) ramps.push({ kind: event.kind, word: event.text, from: event.at, to, start, stop, share, end, after });
    });
    mergeRepeatedWords(ramps);
    for (const ramp of stepped) {
        const worded = ramps.some((r) => r.from < ramp.last.at && ramp.first.at < r.to);
        if (!worded) {
            ramps.push({
                kind: "steps", word: `${ramp.count} <sound tempo> steps`, from: ramp.first.at, to: ramp.last.at,
                start: quarterTempo(ramp.first.bpm), stop: quarterTempo(ramp.last.bpm), share: null, end: "steps", after: "none",
                count: ramp.count,
            });
        }
    }
    return ramps.sort((a, b) => a.from - b.from);
}

// "ritard." written again before anything ends it goes on with the same
// change: the two are one ramp, to where the later one ends.
function mergeRepeatedWords(ramps) {
    for (let i = ramps.length - 2; i >= 0; i -= 1) {
        const [first, next] = [ramps[i], ramps[i + 1]];
        if (first.end === first.kind && next.kind === first.kind && first.to === next.from) {
            ramps.splice(i, 2, { ...next, word: first.word, from: first.from, start: first.start,
                stop: next.share ? shareOf(first.start, next.share) : next.stop });
        }
    }
}

// A share of a tempo, as --stop 75% gives it.
function shareOf(start, share) {
    return { ...start, bpm: Math.min(600, Math.max(20, Math.floor((start.bpm * share + 50) / 100))) };
}

function rampValue(tempo) {
    return tempo.bpm * beatUnits(tempo);
}

function tempoOf(event) {
    return event.kind === "metronome" ? event.tempo : quarterTempo(event.bpm);
}

// The tempo set last at or before `at` (quarter = 120 before any, as the
// preview plays a score before its first record).
// "a tempo" returns to the tempo before the change, "Tempo I" to the
// score's first.
function tempoInForce(events, at) {
    const assumed = { unit: 2, dotted: false, bpm: 120 };
    let [tempo, first, before] = [assumed, null, assumed];
    for (const event of events) {
        if (event.at > at) break;
        if (event.kind === "metronome" || event.kind === "sound") {
            tempo = tempoOf(event);
            first ??= tempo;
        } else if (event.kind === "slowing" || event.kind === "quickening") {
            before = tempo;
        } else if (event.kind === "a tempo") {
            tempo = before;
        } else if (event.kind === "tempo primo") {
            tempo = first ?? assumed;
        }
    }
    return tempo;
}

// Where the ramp whose word is events[index] ends: its dashes' stop, else
// the first mark after it that ends a change of tempo, else the score's end.
function rampEnd(events, index, word, scoreEnd) {
    const later = events.slice(index + 1).filter((e) => e.at > word.at || (e.kind !== word.kind && e.kind !== "dashes start"));
    const dashes = word.dashes ?? later.find((e) => e.kind === "dashes start" && e.at === word.at)?.number ?? null;
    if (dashes !== null) {
        const stop = later.find((e) => e.kind === "dashes stop" && e.number === dashes);
        if (stop) {
            // "a tempo" or a new mark soon after the dashes (within a
            // measure) is where the change ends and what comes after it.
            const closing = later.find((e) => e.at >= stop.at && ENDS.has(e.kind)) ?? null;
            const soon = closing && closing.at - stop.at <= stop.length;
            return soon ? { end: closing.kind, to: closing.at, closing } : { end: "dashes", to: stop.at, closing: null };
        }
    }
    const closing = later.find((e) => ENDS.has(e.kind) && e.at > word.at) ?? null;
    if (!closing) return { end: "the score's end", to: scoreEnd, closing: null };
    return { end: closing.kind, to: closing.at, closing };
}

// --- as a musician reads them, and as a plan --------------------------------

// A position as --from and --to take it: "12", "12:2.5".
export function pointArgument(position, measures, starts = measureOffsets(measures), end = false) {
    let m = 1;
    while (m < measures.length && starts[m + 1] <= position) m += 1;
    const within = position - starts[m];
    if (end && within === 0) return String(m - 1);
    if (end && within >= measures[m - 1].length) return String(m);
    return within === 0 ? String(m) : `${m}:${formatG(beatAt(measures[m - 1], within))}`;
}

const END_WORDS = {
    "a tempo": "then a tempo", "tempo primo": "then Tempo I", metronome: "then a new metronome mark", sound: "then a new tempo",
    fermata: "to a fermata", "double barline": "to a double barline", dashes: "to its dashes' end", slowing: "to the next rit.",
    quickening: "to the next accel.", "the score's end": "to the score's end", steps: "written as steps",
};

function letter(tempo) {
    return `${"seqhw"[tempo.unit]}${tempo.dotted ? "." : ""}=${tempo.bpm}`;
}

// Each ramp as a plan's run (the command line's option names and values).
export function marksPlan(ramps, measures) {
    const starts = measureOffsets(measures);
    return {
        runs: ramps.filter((ramp) => ramp.kind !== "steps").map((ramp) => ({
            from: pointArgument(ramp.from, measures, starts), to: pointArgument(ramp.to, measures, starts, true),
            start: letter(ramp.start), stop: ramp.share ? `${ramp.share}%` : letter(ramp.stop), after: ramp.after,
        })),
    };
}

// "rit., m. 45 to 48, then a tempo": a ramp in a few words.
export function rampSummary(ramp, measures) {
    const starts = measureOffsets(measures);
    const from = pointArgument(ramp.from, measures, starts);
    const to = pointArgument(ramp.to, measures, starts, true);
    const word = ramp.kind === "steps" ? "a ramp" : ramp.word;
    return `${word}, m. ${from === to ? from : `${from} to ${to}`}, ${END_WORDS[ramp.end]}`;
}

export function marksLines(ramps, measures) {
    if (!ramps.length) return ["The score asks for no change of tempo in words (rit., accel., ...)."];
    const lines = ["The score asks for:"];
    ramps.forEach((ramp, i) => {
        const share = ramp.share ? ` (${ramp.share} %: no mark gives the final tempo)` : "";
        const written = ramp.kind === "steps" ? `, already written as ${ramp.count} <sound tempo> steps` : "";
        lines.push(`  ${i + 1}. ${rampSummary(ramp, measures)}: ${tempoName(ramp.start)} to ${tempoName(ramp.stop)}${share}${written}`);
    });
    return lines;
}

// A score's ramps written as dense <sound tempo> steps, each {count (its
// steps), from, to (measures), fromAt, toAt (positions), start, stop
// (quarter BPM)}: read once for
// the score (`source`, as readScoreFile read it).
export function writtenSteps(source) {
    source.writtenSteps ??= steppedRamps(tempoEvents(source)).map((ramp) => ({
        count: ramp.count, from: ramp.first.measure, to: ramp.last.measure, start: ramp.first.bpm, stop: ramp.last.bpm,
        fromAt: ramp.first.at, toAt: ramp.last.at,
    }));
    return source.writtenSteps;
}

// "(80 of them one ramp written as steps, m. 10 to 20, quarter = 120 to 80)".
export function stepsText(steps) {
    if (!steps?.length) return "";
    const one = (s) => `m. ${s.from} to ${s.to}, quarter = ${formatG(s.start, 4)} to ${formatG(s.stop, 4)}`;
    if (steps.length === 1) return ` (${steps[0].count} of them one ramp written as steps, ${one(steps[0])})`;
    const count = steps.reduce((sum, s) => sum + s.count, 0);
    return ` (${count} of them ${steps.length} ramps written as steps: ${steps.map(one).join("; ")})`;
}

// --- the words written with the ramps -------------------------------------

const SAID = { slowing: "rit.", quickening: "accel." };

// What to show of the ramps in the written score, so that programs show
// what plays: "rit." or "accel." at each ramp's start with dashes to its
// end, and "a tempo" where the action after it returns to the start tempo;
// none where the score already says so there. Runs that follow on from
// each other the same way (a shaped ramp's) are one ramp. runs: [{region,
// start, stop, after}], in order; source: the score as readScoreFile read
// it, or null. The answer: [{measure, position, text, dashes}] (dashes
// "start", "stop" or null; text null for the dashes' stop alone).
export function rampWords(runs, measures, source = null) {
    const starts = measureOffsets(measures);
    const events = source?.parts ? tempoEvents(source) : [];
    const saysAt = (at, kinds) => events.some((e) => e.at === at && kinds.includes(e.kind));
    const scoreEnd = starts[measures.length + 1];
    const words = [];
    for (const ramp of joinedRuns(runs, measures, starts)) {
        const [from, to] = ramp.span;
        const way = ramp.slowing ? "slowing" : "quickening";
        if (!saysAt(from, ["slowing", "quickening"])) {
            words.push({ ...placeOf(from, starts, measures), text: SAID[way], dashes: "start" });
            words.push({ ...placeOf(to, starts, measures, true), text: null, dashes: "stop" });
        }
        if (ramp.after === "start" && to < scoreEnd && !saysAt(to, ["a tempo", "tempo primo"])) {
            words.push({ ...placeOf(to, starts, measures), text: "a tempo", dashes: null });
        }
    }
    return words;
}

// Consecutive runs that go on from each other the same way as one ramp:
// {span, slowing, after}.
function joinedRuns(runs, measures, starts) {
    const joined = [];
    for (const run of runs) {
        const span = regionBounds(run.region, measures, starts);
        const slowing = tempoValue(run.stop) < tempoValue(run.start);
        const last = joined.at(-1);
        if (last && last.after === "none" && last.span[1] === span[0] && last.slowing === slowing) {
            last.span = [last.span[0], span[1]];
            last.after = run.after;
        } else {
            joined.push({ span, slowing, after: run.after });
        }
    }
    return joined;
}

// A position as its measure and the place in it; an end on a barline stays
// in the measure it ends.
function placeOf(position, starts, measures, end = false) {
    let m = 1;
    while (m < measures.length && starts[m + 1] <= position) m += 1;
    if (end && m > 1 && position === starts[m]) m -= 1;
    return { measure: m, position: position - starts[m] };
}
