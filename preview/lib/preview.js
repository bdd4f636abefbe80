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
import { writeScore } from "./musicxml-write.js";
import { AFTER_NAMES, checkRampsWritten, rampScenario } from "./scenario.js";
import { fitStop } from "./fit.js";
import { fixed } from "./numbers.js";
import { beatsCsv, clicks, heardMeasures, midiBytes } from "./midi.js";
import { heardScore, isStraight, pieceText, runsText, straightOrder } from "./playback.js";
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

// The measures of meter runs as a score: no tempo marks, played as written.
function meterRuns(measures) {
    return { measures, tempo: [], marks: [], order: straightOrder(measures.length) };
}

// inputs: {time, score: {bytes, name} or null, from, to, start, stop, fit,
// stopUnit, after}, as the user gave them; tools: the MusicXML reader's
// {DOMParser, JSZip}. Every input is checked (an InputError names the first
// that cannot be used) before anything runs.
export async function plan(inputs, tools = {}) {
    const score = inputs.score ? await readScore(inputs.score.bytes, inputs.score.name, tools)
        : meterRuns(parseTimeRuns(inputs.time));
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
    const order = score.order ?? straightOrder(score.measures.length);
    const heard = order.reduce((sum, [first, last]) => sum + last - first + 1, 0);
    const orderText = isStraight(order, score.measures.length) ? ""
        : `; its repeats and jumps play ${heard} measure${heard !== 1 ? "s" : ""}`;
    return [
        `Score:  ${meterSummary(score.measures)}${markText}${orderText}`,
        `Region: ${regionText(region, score.measures)} (ERegion ${region.join(", ")})`,
    ];
}

function fitLines(result, stopUnit, target, heard) {
    const { unit, dotted } = stopUnit;
    const name = (bpm) => tempoName({ unit, dotted, bpm });
    const seconds = (bpm) => fixed(result.seconds.get(bpm), 3);
    const lines = [result.reachable
        ? `Fit: stop ${name(result.bpm)} plays the region in ${seconds(result.bpm)} s (target ${fixed(target, 3)} s)`
        : `Fit: no stop tempo from 20 to 600 makes the region last ${fixed(target, 3)} s; the nearest `
            + `is ${name(result.bpm)} at ${seconds(result.bpm)} s`];
    if (!heardOnceAsWritten(heard)) {
        const times = heard.passes.length ? `plays it ${timesText(heard.passes.length)} (the timing below shows each)`
            : "never plays it";
        lines.push(`  The duration is one pass through the region, each of its beats once; the score ${times}.`);
    }
    const shown = [...result.neighbours];
    if (result.refused !== null && Math.abs(result.refused - result.bpm) === 1) shown.push(result.refused);
    for (const bpm of shown.sort((a, b) => a - b)) {
        const time = bpm === result.refused ? "refused by the dialog: the same tempo as the start" : `${seconds(bpm)} s`;
        lines.push(`  neighbour ${name(bpm)}: ${time}`);
    }
    return [...lines, ""];
}

function timesText(count) {
    return count === 1 ? "once" : count === 2 ? "twice" : `${count} times`;
}

// Whether the region is heard once, straight through, as written: then
// nothing about its passes needs saying.
function heardOnceAsWritten(heard) {
    const { passes, span } = heard;
    return passes.length === 1 && passes[0].pieces.length === 1
        && passes[0].pieces[0][0] === span[0] && passes[0].pieces[0][1] === span[1];
}

// Each pass of the region in score words and heard seconds.
function regionPasses(heard, measures) {
    const times = secondsAt(heard.points, heard.passes.flatMap((pass) => [pass.start, pass.end]));
    return heard.passes.map((pass, i) => ({
        text: pass.pieces.map((piece) => pieceText(measures, heard.scoreStarts, piece)).join(", then "),
        fromS: times[2 * i], toS: times[2 * i + 1],
    }));
}

function dialogLines(checked, stop) {
    const entry = (tempo) => {
        const unit = UNIT_NAMES[tempo.unit];
        return `${unit[0].toUpperCase()}${unit.slice(1)}, Dotted ${tempo.dotted ? "on" : "off"}, = ${tempo.bpm}`;
    };
    return [
        `In Finale: select ${regionText(checked.region, checked.score.measures)}, choose `
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

// The score as heard (playback.js) up to one measure after the region's
// last pass, under the written records.
export function heardRamp(checked, line) {
    const { measures, order } = checked.score;
    return heardScore(measures, order ?? straightOrder(measures.length), line.points, checked.region);
}

// Every click of the heard measures (midi.js's clicks) with its time in
// seconds under the records.
export function heardBeats(heard) {
    const beatClicks = clicks(heard.measures, heard.numbers);
    const times = secondsAt(heard.points, beatClicks.map((click) => click.position));
    return beatClicks.map((click, i) => ({ ...click, seconds: times[i] }));
}

// The MIDI file of the heard measures under the records, the ramp marked
// each time it is heard.
export function heardMidi(heard) {
    return midiBytes(heard.measures, heard.points, heard.passes.map((pass) => [pass.start, pass.end]));
}

// "from 22.000 s to 42.377 s and from 64.377 s to 84.754 s".
function passTimesText(passes) {
    if (!passes.length) return "is not heard";
    return `plays ${passes.map((pass) => `from ${fixed(pass.fromS, 3)} s to ${fixed(pass.toS, 3)} s`).join(" and ")}`;
}

// The ramp to hear: the beat times, the MIDI file (also when only audio is
// wanted, which is rendered from it) and their lines.
function soundOutputs(line, heard, passes, names) {
    const note = passesDefault(line.points, 0) ? `; ${DEFAULT_TEMPO_NOTE}` : "";
    const out = { lines: [], beats: null, midi: null };
    if (names.beats) {
        const beats = heardBeats(heard);
        out.beats = beatsCsv(beats, !heard.straight);
        out.lines.push(`Beat times: ${names.beats} (${beats.length} beats${note})`);
    }
    if (names.midi || names.wav) out.midi = heardMidi(heard);
    if (names.midi) {
        const beatClicks = clicks(heard.measures, heard.numbers);
        out.lines.push(`MIDI:       ${names.midi} (${runsText(heard.runs)}, ${beatClicks.length} clicks; `
            + `the region ${passTimesText(passes)}${note})`);
    }
    if (names.wav) out.lines.push(`Audio:      ${names.wav}`);
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

    const ramp = rampScenario(checked.score.measures, checked.score.tempo, checked.region, checked.start, stop,
        checked.after);
    const report = await plugin.runScenario(ramp);
    checkRampsWritten(report);
    const line = timeline(ramp, report);
    if (line === null) throw new Error("the plug-in wrote no tempo record");
    const heard = heardRamp(checked, line);
    const passes = regionPasses(heard, checked.score.measures);
    if (fit) lines.push(...fitLines(fit, checked.stopUnit, checked.target, heard));
    const summary = timingSummary(line);
    if (!heardOnceAsWritten(heard)) summary.passes = passes;
    // One line per record: a score can hold half a million, more than a
    // call takes as arguments.
    lines.push("Tempo records in the score after the ramp:");
    for (const text of tableLines(line.records, checked.score.measures)) lines.push(text);
    lines.push("", ...summaryLines(summary), "");

    const { svg, extent } = tempoMap(line, heardMeasures(checked.score.measures, checked.region));
    lines.push(`Tempo map:  ${names.svg}`);
    const sound = soundOutputs(line, heard, passes, names);
    lines.push(...sound.lines);
    const score = names.write ? await scoreOutput(checked, report, names.write, tools) : null;
    if (score) lines.push(score.line);
    lines.push("", ...dialogLines(checked, stop));
    return {
        lines, svg, midi: sound.midi, beats: sound.beats, musicxml: score && score.text, stop, fit, summary, report, line,
        heard, extent,
    };
}
