// The preview as the command line prints it, section by section: each
// function takes its section of runPreview's (or runPlan's) result as data.
import { UNIT_NAMES, meterSummary, percentName, regionText, tempoName } from "./music.js";
import { fixed } from "./numbers.js";
import { stepsText } from "./marks.js";
import { AFTER_NAMES } from "./scenario.js";
import { DEFAULT_TEMPO_NOTE } from "./timing.js";
import { summaryLines, tableLines } from "./tempo-map.js";

export const AFTER_TEXT = {
    none: "then nothing more", stop: "then the stop tempo holds", start: "then back to the start tempo",
};

export function headerLines(header) {
    const { score, region, ramp } = header;
    return [
        scoreLine(score),
        ...remarkLines(score),
        `Region: ${regionText(region, score.measures)} (ERegion ${region.join(", ")})`,
        `Ramp:   ${tempoName(ramp.start)} to ${tempoName(ramp.stop)}, ${AFTER_TEXT[ramp.after]}`,
        ...(ramp.stop.percent ? [`Stop:   ${percentName(ramp.start, ramp.stop)}`] : []),
    ];
}

// "Score:  24 measures: 4/4 x24", with its tempo marks and, when its
// repeats and jumps change what is heard, how many measures play.
export function scoreLine(score) {
    return `Score:  ${scoreWords(score)}`;
}

// The score's part of the line: "24 measures: 4/4 x24, ...".
export function scoreWords(score) {
    const markText = score.marks === null ? "" : `, ${score.marks} tempo mark${score.marks !== 1 ? "s" : ""}${stepsText(score.steps)}`;
    const heardText = score.heard === null ? ""
        : `; its repeats and jumps play ${score.heard} measure${score.heard !== 1 ? "s" : ""}`;
    return `${meterSummary(score.measures)}${markText}${heardText}`;
}

// "Note:   ..." for each thing the reader read leniently, as it says it.
export function remarkLines(score) {
    return (score.remarks ?? []).map((text) => `Note:   ${text[0].toUpperCase()}${text.slice(1)}`);
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
