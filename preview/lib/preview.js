// The whole preview of a ramp, from the musician's inputs to what is shown:
// the plug-in's own code (through `plugin.runScenario`) writes the ramp, and
// the preview gives the records, the timing, the tempo map, the ramp to hear
// and the dialog entries that make the same ramp in Finale; with a target
// duration it first fits the stop tempo. Nothing here touches files: the
// caller reads the score and writes what comes back.
import {
    InputError, QUARTER, UNIT_NAMES, measureOffsets, optionError, meterSummary, parseRegion, parseStopTempo, parseTempo, parseTimeRuns,
    parseUnit, percentName, regionText, tempoName, tempoValue,
} from "./music.js";
import { parseScoreDocument, readParts } from "./musicxml.js";
import { scoreParts } from "./notes.js";
import { writeScore } from "./musicxml-write.js";
import { rampWords, stepsText, writtenSteps } from "./marks.js";
import { AFTER_NAMES, checkRampsWritten, rampScenario } from "./scenario.js";
import { fitStop } from "./fit.js";
import { fixed } from "./numbers.js";
import { beatsCsv, clicks, heardEnd, heardMeasures, midiBytes, partsHeard } from "./midi.js";
import { heardScore, isStraight, pieceText, runsText, straightOrder } from "./playback.js";
import { DEFAULT_TEMPO_NOTE, passesDefault, secondsAt } from "./timing.js";
import { measureTicks, svgText, summaryLines, tableLines, timeline, timingSummary } from "./tempo-map.js";

export const AFTER_TEXT = {
    none: "then nothing more", stop: "then the stop tempo holds", start: "then back to the start tempo",
};

// A duration as a decimal number of seconds (1_000 and 1e3 read too; 25s,
// 25 s and 25 sec too), or as minutes:seconds the way a cue sheet gives it
// (1:23.5).
function fitTarget(text) {
    const plain = String(text).trim().replace(/(?<=\d)_(?=\d)/g, "").replace(/(?<=\d)\s*(?:s|secs?|seconds?)$/i, "");
    const clock = /^(\d+):([0-5]?\d(?:\.\d*)?)$/.exec(plain);
    let seconds = -1.0;
    if (clock) seconds = Number(clock[1]) * 60 + Number(clock[2]);
    else if (/^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/.test(plain)) seconds = Number(plain);
    if (!(seconds > 0 && seconds < 1e7)) throw optionError("fit", `'${text}' is not a duration in seconds`);
    return seconds;
}

// The measures of meter runs as a score: no tempo marks, played as written.
function meterRuns(measures) {
    return { measures, tempo: [], marks: [], order: straightOrder(measures.length) };
}

// A score file ({bytes, name}) read once: inflated, parsed and walked, as
// {name, root, parts, score} (musicxml.js's readParts). Every preview of the
// score and the score written with a ramp take it from here; its notes are
// read from it when first wanted.
export async function readScoreFile(file, tools = {}) {
    const root = await parseScoreDocument(file.bytes, file.name, tools);
    return { name: file.name, root, ...readParts(root, file.name) };
}

function scoreNotes(read) {
    read.notes ??= scoreParts(read.root, read.parts, read.score.measures, read.name);
    return read.notes;
}

// inputs: {time, score, from, to, start, stop, fit, stopUnit, after, notes},
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

// One run's inputs ({from, to, start, stop, fit, stopUnit, after}) checked
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
        checked.target = fitTarget(inputs.fit);
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

// --- the sections as the command line prints them ------------------------
// Each takes its section of runPreview's result; previewLines puts them
// together in the order the command line has always printed them.

export function headerLines(header) {
    const { score, region, ramp } = header;
    return [
        scoreLine(score),
        `Region: ${regionText(region, score.measures)} (ERegion ${region.join(", ")})`,
        `Ramp:   ${tempoName(ramp.start)} to ${tempoName(ramp.stop)}, ${AFTER_TEXT[ramp.after]}`,
        ...(ramp.stop.percent ? [`Stop:   ${percentName(ramp.start, ramp.stop)}`] : []),
    ];
}

// "Score:  24 measures: 4/4 x24", with its tempo marks and, when its
// repeats and jumps change what is heard, how many measures play.
export function scoreLine(score) {
    const markText = score.marks === null ? "" : `, ${score.marks} tempo mark${score.marks !== 1 ? "s" : ""}${stepsText(score.steps)}`;
    const heardText = score.heard === null ? ""
        : `; its repeats and jumps play ${score.heard} measure${score.heard !== 1 ? "s" : ""}`;
    return `Score:  ${meterSummary(score.measures)}${markText}${heardText}`;
}

export function fitLines(fit) {
    const { unit, dotted } = fit.stopUnit;
    const name = (bpm) => tempoName({ unit, dotted, bpm });
    const seconds = (bpm) => fixed(fit.seconds.get(bpm), 3);
    const lines = [fit.reachable
        ? `Fit: stop ${name(fit.bpm)} plays the region in ${seconds(fit.bpm)} s (target ${fixed(fit.target, 3)} s)`
        : `Fit: no stop tempo from 20 to 600 makes the region last ${fixed(fit.target, 3)} s; the nearest `
            + `is ${name(fit.bpm)} at ${seconds(fit.bpm)} s`];
    if (fit.passes !== null && fit.passes !== undefined) {
        const times = fit.passes ? `plays it ${timesText(fit.passes)} (the timing below shows each)` : "never plays it";
        lines.push(`  The duration is one pass through the region, each of its beats once; the score ${times}.`);
    }
    for (const bpm of fitNeighbours(fit)) {
        const time = bpm === fit.refused ? "refused by the dialog: the same tempo as the start" : `${seconds(bpm)} s`;
        lines.push(`  neighbour ${name(bpm)}: ${time}`);
    }
    return lines;
}

function timesText(count) {
    return count === 1 ? "once" : count === 2 ? "twice" : `${count} times`;
}

// The neighbours shown beside the fitted tempo, in order: the refused tempo
// too when it is one of them.
export function fitNeighbours(fit) {
    const shown = [...fit.neighbours];
    if (fit.refused !== null && Math.abs(fit.refused - fit.bpm) === 1) shown.push(fit.refused);
    return shown.sort((a, b) => a - b);
}

export function outputLines(outputs) {
    const lines = [];
    const note = (output) => (output.assumesDefault ? `; ${DEFAULT_TEMPO_NOTE}` : "");
    const { svg, beats, midi, wav, musicxml } = outputs;
    if (svg) lines.push(`Tempo map:  ${svg.name}`);
    if (beats) lines.push(`Beat times: ${beats.name} (${beats.count} beats${note(beats)})`);
    if (midi) {
        lines.push(`MIDI:       ${midi.name} (${midi.measures}, ${midi.clicks} clicks${notesText(midi.notes)}; `
            + `${midi.what ?? "the region"} ${playsText(midi.plays)}${note(midi)})`);
    }
    if (wav) lines.push(`Audio:      ${wav.name}${wav.notes && !midi ? ` (the clicks${notesText(wav.notes)})` : ""}`);
    if (musicxml) {
        const { measures, written, outside } = musicxml;
        const pastText = outside ? `; ${outside} past its last measure left out` : "";
        lines.push(`MusicXML:   ${musicxml.name} (${measures} measure${measures !== 1 ? "s" : ""}, `
            + `${written} tempo record${written !== 1 ? "s" : ""} written${pastText})`);
    }
    return lines;
}

// "plays from 22.000 s to 42.377 s and from 64.377 s to 84.754 s": each
// time the region is heard.
function playsText(plays) {
    if (!plays.length) return "is not heard";
    return `plays ${plays.map(([from, to]) => `from ${fixed(from, 3)} s to ${fixed(to, 3)} s`).join(" and ")}`;
}

// ", 312 notes in 2 parts", or nothing without the score's notes.
function notesText(notes) {
    if (!notes) return "";
    const { count, parts } = notes;
    return `, ${count} note${count !== 1 ? "s" : ""} in ${parts} part${parts !== 1 ? "s" : ""}`;
}

export function finaleLines(finale) {
    const entry = (tempo) => {
        const unit = UNIT_NAMES[tempo.unit];
        return `${unit[0].toUpperCase()}${unit.slice(1)}, Dotted ${tempo.dotted ? "on" : "off"}, = ${tempo.bpm}`;
    };
    return [
        `In Finale: select ${regionText(finale.region, finale.measures)}, choose `
            + "Plug-ins > Zorv Tempo [v1.06]..., and enter",
        `  Start:  ${entry(finale.start)}`,
        `  Stop:   ${entry(finale.stop)}`,
        `  Action directly after selection: ${AFTER_NAMES[finale.after]}`,
        "  then OK.",
    ];
}

// Everything the command line prints, from runPreview's result. One line per
// record: a score can hold half a million, more than a call takes as
// arguments.
export function previewLines(result) {
    const lines = [...headerLines(result.header), ""];
    if (result.fit) lines.push(...fitLines(result.fit), "");
    lines.push("Tempo records in the score after the ramp:");
    for (const text of tableLines(result.records, result.header.score.measures)) lines.push(text);
    lines.push("", ...summaryLines(result.summary), "");
    lines.push(...outputLines(result.outputs), "");
    lines.push(...finaleLines(result.finale));
    return lines;
}

// The tempo map from the region's start to the end of the heard measures,
// and that extent in units. style: {beat, label, title} for a map whose
// tempo axis counts another beat and whose measures are labelled otherwise
// (svgText's beat, measureTicks' label), beginning `before` measures ahead
// of the region (none unless given), or null.
function tempoMap(line, heard, style = null, stepped = []) {
    const starts = measureOffsets(heard);
    const extent = [starts[Math.max(1, line.region[0] - (style?.before ?? 0))], starts[heard.length + 1]];
    const ticks = measureTicks(heard, ...extent, style?.label);
    const marks = { ...(style?.beat ? { beat: style.beat } : {}), stepped };
    return { svg: svgText(line.points, line.span, extent, ticks, style?.title ?? "measure", marks), extent };
}

// The score's ramps written as steps, as the map brackets them: those the
// ramps written (over `spans`) left standing.
export function steppedSpans(source, spans) {
    if (!source?.parts) return [];
    return writtenSteps(source).filter((s) => !spans.some(([a, b]) => a <= s.toAt && s.fromAt < b))
        .map((s) => ({ span: [s.fromAt, s.toAt], label: `the score's ramp (${s.count} steps)` }));
}

// The score as heard (playback.js), from its start up to one measure after
// the region's last pass, under the written records.
export function heardRamp(checked, line) {
    const { measures, order } = checked.score;
    return heardScore(measures, order ?? straightOrder(measures.length), line.points, checked.region);
}

// Whether a span of score is heard once, straight through, as written, in
// these passes: then nothing about its passes needs saying.
export function onceAsWritten(passes, span) {
    return passes.length === 1 && passes[0].pieces.length === 1
        && passes[0].pieces[0][0] === span[0] && passes[0].pieces[0][1] === span[1];
}

function heardOnceAsWritten(heard) {
    return onceAsWritten(heard.passes, heard.span);
}

// Each pass (the region's, unless others are given): {text (its measures),
// fromS, toS}.
export function regionPasses(heard, measures, passes = heard.passes, printed = null) {
    const times = secondsAt(heard.points, passes.flatMap((pass) => [pass.start, pass.end]));
    return passes.map((pass, i) => ({
        text: pass.pieces.map((piece) => pieceText(measures, heard.scoreStarts, piece, printed)).join(", then "),
        fromS: times[2 * i], toS: times[2 * i + 1],
    }));
}

// Every click of the heard measures (midi.js's clicks) with its time in
// seconds under the records.
export function heardBeats(heard) {
    const beatClicks = clicks(heard.measures, heard.numbers);
    const times = secondsAt(heard.points, beatClicks.map((click) => click.position));
    return beatClicks.map((click, i) => ({ ...click, seconds: times[i] }));
}

// What is heard, timed as the MIDI file times it, for a player that
// schedules its own sounds: the clicks (heardBeats), each heard measure's
// start and the end of the heard part in seconds, and the score's notes
// (`parts`, notes.js, or null) as the MIDI file sounds them, each with its
// channel, its part's program and volume and place in the score, and its
// start and end in seconds.
//   {beats, measures: [{heard, measure, seconds}], end,
//    notes: [{on, off, key, velocity, channel, program, volume, part}]}
// heard: its place in the hearing, from 1; measure: its number in the score.
export function heardSound(heard, parts = null) {
    const count = heard.measures.length;
    const times = secondsAt(heard.points, heard.starts.slice(1, count + 2));
    const measures = heard.numbers.slice(0, count).map((measure, i) => ({ heard: i + 1, measure, seconds: times[i] }));
    const notes = [];
    (parts ? partsHeard(parts, heardEnd(heard.measures), heard.runs) : []).forEach((part, index) => {
        for (const note of part.notes) notes.push({ ...note, program: part.program, volume: part.volume, part: index });
    });
    notes.sort((a, b) => a.on - b.on || a.off - b.off);
    const onTimes = secondsAt(heard.points, notes.map((note) => note.on));
    const offOrder = notes.map((note, i) => i).sort((a, b) => notes[a].off - notes[b].off);
    const offTimes = secondsAt(heard.points, offOrder.map((i) => notes[i].off));
    const offOf = new Array(notes.length);
    offOrder.forEach((i, k) => { offOf[i] = offTimes[k]; });
    return {
        beats: heardBeats(heard), measures, end: times[count],
        notes: notes.map((note, i) => ({
            on: onTimes[i], off: offOf[i], key: note.key, velocity: note.velocity, channel: note.channel,
            program: note.program, volume: note.volume, part: note.part,
        })),
    };
}

// The MIDI file of the heard measures under the records, the ramp marked
// each time it is heard (or the places `marks` names, [[tick, text]]): the
// click unless `click` is false, and the score's notes when `parts`
// (notes.js) are given, each where it is heard.
export function heardMidi(heard, { click = true, parts = null, marks = null } = {}) {
    return midiBytes(heard.measures, heard.points, heard.passes.map((pass) => [pass.start, pass.end]),
        { click, parts, runs: heard.runs, marks });
}

// {count, parts}: how many notes the heard measures sound, of how many parts.
function notesHeard(parts, heard) {
    const count = partsHeard(parts, heardEnd(heard.measures), heard.runs)
        .reduce((sum, part) => sum + part.notes.length, 0);
    return { count, parts: parts.length };
}

// The ramp to hear as asked for in `names`: the beat times' CSV, the MIDI
// file (also when only audio is wanted, which is rendered from it), and
// what their lines say of them. parts: the score's notes (notes.js) to sound
// with the click, or null; marks: heardMidi's.
export function soundOutputs(line, heard, names, parts, marks = null) {
    const assumesDefault = passesDefault(line.points, 0);
    const out = { outputs: {}, beats: null, midi: null };
    if (names.beats) {
        const beats = heardBeats(heard);
        out.beats = beatsCsv(beats, !heard.straight);
        out.outputs.beats = { name: names.beats, count: beats.length, assumesDefault };
    }
    if (names.midi || names.wav) out.midi = heardMidi(heard, { parts, marks });
    const notes = parts ? notesHeard(parts, heard) : null;
    if (names.midi) {
        const times = secondsAt(heard.points, heard.passes.flatMap((pass) => [pass.start, pass.end]));
        out.outputs.midi = {
            name: names.midi, what: marks ? "the plan" : "the region",
            measures: runsText(heard.runs), clicks: clicks(heard.measures).length, notes,
            plays: heard.passes.map((_, i) => [times[2 * i], times[2 * i + 1]]), assumesDefault,
        };
    }
    if (names.wav) out.outputs.wav = { name: names.wav, notes };
    return out;
}

// The run's stop tempo: as given, or fitted to its target duration
// ({stop, fit}: fit is null, or fitStop's answer with its target and
// stopUnit).
export async function fittedStop(checked, plugin) {
    if (checked.stop !== null) return { stop: checked.stop, fit: null };
    const { unit, dotted } = checked.stopUnit;
    const found = await fitStop(plugin, {
        measures: checked.score.measures, region: checked.region, start: checked.start, unit, dotted,
        after: checked.after, target: checked.target,
    });
    return { stop: { unit, dotted, bpm: found.bpm }, fit: { ...found, target: checked.target, stopUnit: checked.stopUnit } };
}

// The score (or the measures of the meter runs, as a minimal score) with
// the records the plug-in left in it: {text, written, outside}, as
// writeScore gives them. The marks the plug-in removed go from the score.
// runs ([{region, start, stop, after}]): the ramps whose words to show.
export function scoreWithRamp(checked, report, tools = {}, runs = []) {
    return writeScore({
        source: checked.source, measures: checked.score.measures, records: report.tempo || [],
        words: rampWords(runs, checked.score.measures, checked.source),
    }, tools);
}

// The score as the header names it: {measures, marks (null for meter
// runs), steps (marks.js's writtenSteps, null for meter runs), heard (how many measures its repeats and jumps play; null when it
// is heard as written)}.
export function scoreHeader(checked) {
    const { measures, tempo } = checked.score;
    const order = checked.score.order ?? straightOrder(measures.length);
    return {
        measures, marks: checked.source ? tempo.length : null, steps: checked.source?.parts ? writtenSteps(checked.source) : null,
        heard: isStraight(order, measures.length) ? null : order.reduce((sum, [first, last]) => sum + last - first + 1, 0),
    };
}

// checked: what plan() gave. plugin: {runScenario(scenario) -> report}.
// names: the outputs wanted and how their lines call them ({svg, midi,
// beats, wav, write}, each a name or null; none is needed for the tempo
// map's SVG, always made). tools: the MusicXML modules' {DOMParser,
// XMLSerializer, JSZip}, for `write`.
// The result, section by section:
//   header:  {score: {measures, marks (null for meter runs), heard (how many
//            measures its repeats and jumps play; null when it is heard as
//            written)}, region, ramp: {start, stop, after}}
//   fit:     null, or fitStop's answer with its target, stopUnit and passes
//            (how often the region is heard; null when once, as written)
//   records: the tempo records in the score after the ramp, [measure, position, value, ...]
//   summary: timingSummary's figures, with `passes` (summaryLines) when the
//            region is not heard once as written
//   outputs: what each output asked for holds ({svg, beats, midi, wav, musicxml}, by name)
//   finale:  the dialog entries that make the same ramp: {region, measures, start, stop, after}
// and the outputs' contents (svg text; midi bytes, beats CSV and musicxml
// text, null when not asked for), the stop tempo, the plug-in's report, the
// timeline, the score as heard (playback.js's heardScore) and the tempo
// map's extent.
export async function runPreview(checked, plugin, names = {}, tools = {}) {
    const { stop, fit } = await fittedStop(checked, plugin);
    const ramp = rampScenario(checked.score.measures, checked.score.tempo, checked.region, checked.start, stop,
        checked.after);
    const report = await plugin.runScenario(ramp);
    checkRampsWritten(report);
    const line = timeline(ramp, report);
    if (line === null) throw new Error("the plug-in wrote no tempo record");

    const heard = heardRamp(checked, line);
    const { svg, extent } = tempoMap(line, heardMeasures(checked.score.measures, checked.region), names.mapStyle ?? null,
        steppedSpans(checked.source, [line.span]));
    const sound = soundOutputs(line, heard, names, checked.score.parts ?? null);
    const summary = timingSummary(line);
    const asWritten = heardOnceAsWritten(heard);
    if (!asWritten) summary.passes = regionPasses(heard, checked.score.measures);
    if (fit) fit.passes = asWritten ? null : heard.passes.length;
    const outputs = { ...(names.svg ? { svg: { name: names.svg } } : {}), ...sound.outputs };
    let musicxml = null;
    if (names.write) {
        const shown = names.writeMarks === false ? [] : [{ region: checked.region, start: checked.start, stop, after: checked.after }];
        const score = await scoreWithRamp(checked, report, tools, shown);
        musicxml = score.text;
        outputs.musicxml = {
            name: names.write, measures: checked.score.measures.length, written: score.written.length,
            outside: score.outside.length,
        };
    }
    const header = {
        score: scoreHeader(checked),
        region: checked.region,
        ramp: { start: checked.start, stop, after: checked.after },
    };
    return {
        header, fit, records: line.records, summary, outputs,
        finale: { region: checked.region, measures: checked.score.measures, start: checked.start, stop, after: checked.after },
        svg, midi: sound.midi, beats: sound.beats, musicxml, stop, report, line, heard, extent,
    };
}
