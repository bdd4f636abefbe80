// The musician's inputs read and checked: the score or meter runs, the
// region, the tempos, the target duration and the action after the region.
// An InputError names the first input that cannot be used, before anything
// runs.
import {
    InputError, QUARTER, optionError, parseRegion, parseStopTempo, parseTempo, parseTimeRuns, parseUnit, tempoName, tempoValue,
} from "./music.js";
import { parseScoreDocument, readParts } from "./musicxml.js";
import { scoreParts, valueRemarks } from "./notes.js";
import { AFTER_NAMES } from "./scenario.js";
import { straightOrder } from "./playback.js";
import { parseFrameRate, readTime } from "./timecode.js";

// A duration in any form a time is read in (timecode.js), a timecode at
// `rate`; longer than nothing and shorter than four months.
function fitTarget(text, rate) {
    const seconds = readTime(text, rate, "--fit")?.seconds ?? -1;
    if (!(seconds > 0 && seconds < 1e7)) throw optionError("fit", `'${text}' is not a duration in seconds`);
    return seconds;
}

// The measures of meter runs as a score: no tempo marks, played as written.
function meterRuns(measures) {
    return { measures, tempo: [], marks: [], order: straightOrder(measures.length), remarks: [] };
}

// A score file ({bytes, name}) read once: inflated, parsed and walked, as
// {name, root, parts, score} (musicxml.js's readParts). Every preview of the
// score and the score written with a ramp take it from here; its notes are
// read from it when first wanted.
export async function readScoreFile(file, tools = {}) {
    const root = await parseScoreDocument(file.bytes, file.name, tools);
    const read = { name: file.name, root, ...readParts(root, file.name) };
    valueRemarks(root, read.parts, read.score.remarks);
    return read;
}

function scoreNotes(read) {
    read.notes ??= scoreParts(read.root, read.parts, read.score.measures, read.score.remarks, read.score.tempo);
    return read.notes;
}

// inputs: {time, score, from, to, start, stop, fit, stopUnit, after, notes, fps},
// as the user gave them; score: the file as {bytes, name}, or as
// readScoreFile read it (a caller that previews it again and again reads it
// once), or null; notes: the score's notes are wanted, and read into
// score.parts. tools: the MusicXML reader's {DOMParser, JSZip}. Every input
// is checked (an InputError names the first that cannot be used) before
// anything runs.
export async function plan(inputs, tools = {}) {
    const { score, source } = await readMeasures(inputs, tools);
    return checkRun(inputs, score, source);
}

// The score of the inputs ({time, score, notes}, as plan() takes them) as
// {score, source}: source is the file as readScoreFile read it, or null for
// meter runs, whose measures make the score.
export async function readMeasures(inputs, tools = {}) {
    const source = !inputs.score ? null
        : inputs.score.root ? inputs.score : await readScoreFile(inputs.score, tools);
    let score = source ? source.score : meterRuns(parseTimeRuns(inputs.time));
    if (source && inputs.notes) score = { ...score, parts: scoreNotes(source) };
    if (inputs.notes && !inputs.score) {
        throw new InputError("--notes: measures given as meter runs have no notes; give the score with --score", {
            fields: ["notes", "time"], sentence: "measures given as meter runs have no notes to sound; open a score for them",
        });
    }
    return { score, source };
}

// One run's inputs ({from, to, start, stop, fit, stopUnit, after, fps}) checked
// against the score and source readMeasures gave.
export function checkRun(inputs, score, source = null) {
    const region = parseRegion(inputs.from, inputs.to, score.measures);
    const start = parseTempo(inputs.start, "--start", QUARTER);
    const checked = {
        score, region, start, stop: null, target: null, stopUnit: { unit: start.unit, dotted: start.dotted },
        after: afterChoice(inputs.after), source,
    };
    if (inputs.stop !== null && inputs.stop !== undefined) {
        if (inputs.stopUnit) {
            throw new InputError("--stop-unit goes with --fit; --stop names its own unit", {
                fields: ["stop-unit", "stop"],
                sentence: "a stop tempo names its own beat unit; a beat unit alone goes with a duration to fit",
            });
        }
        checked.stop = parseStopTempo(inputs.stop, start);
        checkNotEqual(start, checked.stop);
    } else {
        checked.target = fitTarget(inputs.fit, inputs.fps ? parseFrameRate(inputs.fps) : null);
        if (inputs.stopUnit) checked.stopUnit = parseUnit(inputs.stopUnit, "--stop-unit");
    }
    return checked;
}

// The action directly after the selection; none given is the dialog's
// default, the stop tempo.
export function afterChoice(after) {
    if (after === undefined || after === null) return "stop";
    if (Object.hasOwn(AFTER_NAMES, after)) return after;
    const choices = Object.keys(AFTER_NAMES).map((name) => `'${name}'`).join(", ");
    throw new InputError(`argument --after: invalid choice: '${after}' (choose from ${choices})`, {
        fields: ["after"],
        sentence: `'${after}' is no action directly after the selection (choose from ${choices})`,
    });
}

function checkNotEqual(start, stop) {
    if (tempoValue(start) === tempoValue(stop)) {
        throw new InputError(`--start ${tempoName(start)} and --stop ${tempoName(stop)} are the same tempo: `
            + "no ramp (the dialog refuses them too)", {
            fields: ["stop", "start"],
            sentence: `the start tempo ${tempoName(start)} and the stop tempo ${tempoName(stop)} are the same `
                + "tempo: no ramp (the dialog refuses them too)",
        });
    }
}
