// The whole preview of a ramp, from the musician's inputs to what is shown:
// the plug-in's own code (through `plugin.runScenario`) writes the ramp, and
// the preview gives the records, the timing, the tempo map, the ramp to hear
// and the dialog entries that make the same ramp in Finale; with a target
// duration it first fits the stop tempo. Nothing here touches files: the
// caller reads the score and writes what comes back.
import {
    InputError, UNIT_NAMES, measureOffsets, meterSummary, parseRegion, parseTempo, parseTimeRuns, parseUnit,
    regionText, tempoName, tempoValue,
} from "./music.js";
import { readScore } from "./musicxml.js";
import { readScoreNotes } from "./notes.js";
import { writeScore } from "./musicxml-write.js";
import { AFTER_NAMES, checkRampsWritten, rampScenario } from "./scenario.js";
import { fitStop } from "./fit.js";
import { fixed } from "./numbers.js";
import { beatsCsv, clicks, heardEnd, heardMeasures, midiBytes, partsHeard } from "./midi.js";
import { DEFAULT_TEMPO_NOTE, passesDefault, secondsAt } from "./timing.js";
import { measureTicks, svgText, summaryLines, tableLines, timeline, timingSummary } from "./tempo-map.js";

export const AFTER_TEXT = {
    none: "then nothing more", stop: "then the stop tempo holds", start: "then back to the start tempo",
};

// A duration as a decimal number of seconds (1_000 and 1e3 read too), or as
// minutes:seconds the way a cue sheet gives it (1:23.5).
function fitTarget(text) {
    const plain = String(text).trim().replace(/(?<=\d)_(?=\d)/g, "");
    const clock = /^(\d+):([0-5]?\d(?:\.\d*)?)$/.exec(plain);
    let seconds = -1.0;
    if (clock) seconds = Number(clock[1]) * 60 + Number(clock[2]);
    else if (/^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/.test(plain)) seconds = Number(plain);
    if (!(seconds > 0 && seconds < 1e7)) throw new InputError(`--fit: '${text}' is not a duration in seconds`);
    return seconds;
}

// inputs: {time, score: {bytes, name} or null, from, to, start, stop, fit,
// stopUnit, after, notes}, as the user gave them (notes: the score's notes
// are wanted, and read: score.parts); tools: the MusicXML reader's
// {DOMParser, JSZip}. Every input is checked (an InputError names the first
// that cannot be used) before anything runs.
export async function plan(inputs, tools = {}) {
    const read = inputs.notes ? readScoreNotes : readScore;
    const score = inputs.score ? await read(inputs.score.bytes, inputs.score.name, tools)
        : { measures: parseTimeRuns(inputs.time), tempo: [] };
    if (inputs.notes && !inputs.score) {
        throw new InputError("--notes: measures given as meter runs have no notes; give the score with --score");
    }
    const region = parseRegion(inputs.from, inputs.to, score.measures);
    const start = parseTempo(inputs.start, "--start");
    const checked = {
        score, region, start, stop: null, target: null, stopUnit: { unit: start.unit, dotted: start.dotted },
        after: inputs.after || "stop", source: inputs.score || null,
    };
    if (inputs.stop !== null && inputs.stop !== undefined) {
        if (inputs.stopUnit) throw new InputError("--stop-unit goes with --fit; --stop names its own unit");
        checked.stop = parseTempo(inputs.stop, "--stop");
        checkNotEqual(start, checked.stop);
    } else {
        checked.target = fitTarget(inputs.fit);
        if (inputs.stopUnit) checked.stopUnit = parseUnit(inputs.stopUnit, "--stop-unit");
    }
    return checked;
}

function checkNotEqual(start, stop) {
    if (tempoValue(start) === tempoValue(stop)) {
        throw new InputError(`--start ${tempoName(start)} and --stop ${tempoName(stop)} are the same tempo: `
            + "no ramp (the dialog refuses them too)");
    }
}

function headerLines(checked) {
    const { score, region } = checked;
    const marks = score.tempo.length;
    const markText = checked.source ? `, ${marks} tempo mark${marks !== 1 ? "s" : ""}` : "";
    return [
        `Score:  ${meterSummary(score.measures)}${markText}`,
        `Region: ${regionText(region)} (ERegion ${region.join(", ")})`,
    ];
}

function fitLines(result, stopUnit, target) {
    const { unit, dotted } = stopUnit;
    const name = (bpm) => tempoName({ unit, dotted, bpm });
    const seconds = (bpm) => fixed(result.seconds.get(bpm), 3);
    const lines = [result.reachable
        ? `Fit: stop ${name(result.bpm)} plays the region in ${seconds(result.bpm)} s (target ${fixed(target, 3)} s)`
        : `Fit: no stop tempo from 20 to 600 makes the region last ${fixed(target, 3)} s; the nearest `
            + `is ${name(result.bpm)} at ${seconds(result.bpm)} s`];
    const shown = [...result.neighbours];
    if (result.refused !== null && Math.abs(result.refused - result.bpm) === 1) shown.push(result.refused);
    for (const bpm of shown.sort((a, b) => a - b)) {
        const time = bpm === result.refused ? "refused by the dialog: the same tempo as the start" : `${seconds(bpm)} s`;
        lines.push(`  neighbour ${name(bpm)}: ${time}`);
    }
    return [...lines, ""];
}

function dialogLines(checked, stop) {
    const entry = (tempo) => {
        const unit = UNIT_NAMES[tempo.unit];
        return `${unit[0].toUpperCase()}${unit.slice(1)}, Dotted ${tempo.dotted ? "on" : "off"}, = ${tempo.bpm}`;
    };
    return [
        `In Finale: select ${regionText(checked.region)}, choose `
            + "Plug-ins > Zorv Tempo [v1.06]..., and enter",
        `  Start:  ${entry(checked.start)}`,
        `  Stop:   ${entry(stop)}`,
        `  Action directly after selection: ${AFTER_NAMES[checked.after]}`,
        "  then OK.",
    ];
}

// The tempo map from the region's start to the end of the heard measures,
// and that extent in units.
function tempoMap(line, heard) {
    const starts = measureOffsets(heard);
    const extent = [starts[line.region[0]], starts[heard.length + 1]];
    return { svg: svgText(line.points, line.span, extent, measureTicks(heard, ...extent), "measure"), extent };
}

// Every click of the heard measures (midi.js's clicks) with its time in
// seconds under the records.
export function heardBeats(line, heard) {
    const beatClicks = clicks(heard);
    const times = secondsAt(line.points, beatClicks.map((click) => click.position));
    return beatClicks.map((click, i) => ({ ...click, seconds: times[i] }));
}

// The MIDI file of the heard measures under the records: the click unless
// `click` is false, and the score's notes when `parts` (notes.js) are given.
export function heardMidi(line, heard, { click = true, parts = null } = {}) {
    return midiBytes(heard, line.points, line.span, { click, parts });
}

// "312 notes in 2 parts": what the heard measures sound of the parts.
function notesText(parts, heard) {
    const count = partsHeard(parts, heardEnd(heard)).reduce((sum, part) => sum + part.notes.length, 0);
    return `${count} note${count !== 1 ? "s" : ""} in ${parts.length} part${parts.length !== 1 ? "s" : ""}`;
}

// The ramp to hear: the beat times, the MIDI file (also when only audio is
// wanted, which is rendered from it) and their lines. parts: the score's
// notes to sound with the click, or null.
function soundOutputs(line, heard, names, parts) {
    const points = line.points;
    const note = passesDefault(points, 0) ? `; ${DEFAULT_TEMPO_NOTE}` : "";
    const out = { lines: [], beats: null, midi: null };
    if (names.beats) {
        const beats = heardBeats(line, heard);
        out.beats = beatsCsv(beats);
        out.lines.push(`Beat times: ${names.beats} (${beats.length} beats${note})`);
    }
    if (names.midi || names.wav) out.midi = heardMidi(line, heard, { parts });
    const notes = parts ? `, ${notesText(parts, heard)}` : "";
    if (names.midi) {
        const beatClicks = clicks(heard);
        const [from, to] = secondsAt(points, line.span);
        out.lines.push(`MIDI:       ${names.midi} (measures 1 to ${heard.length}, ${beatClicks.length} clicks${notes}; `
            + `the region plays from ${fixed(from, 3)} s to ${fixed(to, 3)} s${note})`);
    }
    if (names.wav) out.lines.push(`Audio:      ${names.wav}${parts && !names.midi ? ` (the clicks${notes})` : ""}`);
    return out;
}

// The score with the ramp's records in it, as MusicXML text, and its line.
async function scoreOutput(checked, report, name, tools) {
    const { measures } = checked.score;
    const result = await writeScore({
        source: checked.source, measures, region: checked.region, records: report.tempo || [],
    }, tools);
    const count = result.written.length;
    const past = result.outside.length;
    const pastText = past ? `; ${past} past its last measure left out` : "";
    return {
        text: result.text,
        line: `MusicXML:   ${name} (${measures.length} measure${measures.length !== 1 ? "s" : ""}, `
            + `${count} tempo record${count !== 1 ? "s" : ""} written${pastText})`,
    };
}

// checked: what plan() gave. plugin: {runScenario(scenario) -> report}.
// names: how the outputs are called in the lines ({svg, midi, beats, wav,
// write}, each a name or null). tools: the MusicXML modules' {DOMParser,
// XMLSerializer, JSZip}, for `write`. The result: the printed lines, the
// SVG text, the MIDI bytes, the beat times' CSV and the score as MusicXML
// (null when not asked for), the stop tempo, the fit and the report; the
// timeline, the heard measures and the tempo map's extent, for a caller
// that shows them otherwise (the page).
export async function runPreview(checked, plugin, names, tools = {}) {
    const lines = headerLines(checked);
    let { stop } = checked;
    let fit = null;
    if (stop === null) {
        const { unit, dotted } = checked.stopUnit;
        fit = await fitStop(plugin, {
            measures: checked.score.measures, region: checked.region, start: checked.start, unit, dotted,
            after: checked.after, target: checked.target,
        });
        stop = { unit, dotted, bpm: fit.bpm };
    }
    lines.push(`Ramp:   ${tempoName(checked.start)} to ${tempoName(stop)}, ${AFTER_TEXT[checked.after]}`, "");
    if (fit) lines.push(...fitLines(fit, checked.stopUnit, checked.target));

    const ramp = rampScenario(checked.score.measures, checked.score.tempo, checked.region, checked.start, stop,
        checked.after);
    const report = await plugin.runScenario(ramp);
    checkRampsWritten(report);
    const line = timeline(ramp, report);
    if (line === null) throw new Error("the plug-in wrote no tempo record");
    const summary = timingSummary(line);
    // One line per record: a score can hold half a million, more than a
    // call takes as arguments.
    lines.push("Tempo records in the score after the ramp:");
    for (const text of tableLines(line.records)) lines.push(text);
    lines.push("", ...summaryLines(summary), "");

    const heard = heardMeasures(checked.score.measures, checked.region);
    const { svg, extent } = tempoMap(line, heard);
    lines.push(`Tempo map:  ${names.svg}`);
    const sound = soundOutputs(line, heard, names, checked.score.parts ?? null);
    lines.push(...sound.lines);
    const score = names.write ? await scoreOutput(checked, report, names.write, tools) : null;
    if (score) lines.push(score.line);
    lines.push("", ...dialogLines(checked, stop));
    return {
        lines, svg, midi: sound.midi, beats: sound.beats, musicxml: score && score.text, stop, fit, summary, report, line,
        heard, extent,
    };
}
