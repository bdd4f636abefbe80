// The preview's work for the page, done in a Worker so that none of it
// holds up the page: the score read once when it is opened, each edit
// previewed from that read, and the files the page offers made from the
// last preview when they are asked for. Everything comes back as plain data
// a Worker can post: the sections' sentences and rows, the records' rows, the map.
import { InputError, beatUnits, measureName, parseTimeRuns, tempoName } from "../lib/music.js";
import { plan, readMeasures, readScoreFile } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { planAbout, planTimingRows, rampAbout, hitTable, timingRows } from "./result-data.js";
import { regionPasses } from "../lib/heard.js";
import { heardBeats, heardMidi, heardSound } from "../lib/heard-sound.js";
import { checkPlan, planFinaleLines, runPlan } from "../lib/tempo-plan.js";
import { checkHitInputs, hitHeadline, runHits } from "../lib/hits.js";
import { checkShape, runShaped, shapeLines } from "../lib/shaped.js";
import { tapPassage } from "../lib/taps.js";
import { marksPlan, proposedRamps, rampSummary } from "../lib/marks.js";
import { beatsCsv } from "../lib/midi.js";
import { minimalScore, recordsPastScore, scoreWithRamp } from "../lib/musicxml-write.js";
import { parseScoreDocument } from "../lib/musicxml.js";
import { Excerpts } from "../lib/excerpt.js";
import { landmarks } from "../lib/landmarks.js";
import { heardMeasureAt } from "../lib/playback.js";
import { scoreTempos } from "../lib/score-tempo.js";
import { tableRow } from "../lib/tempo-map.js";
import { finaleWords, headline, planHeadline, tempoWords, unitName } from "../lib/words.js";

// Measures heard before the region when Play is pressed, and shown before
// it on the tempo map, where the tempo leading into the ramp is seen.
export const LEAD_IN_MEASURES = 2;

// The command line's arguments (address.js) as the preview's inputs; a
// score, when given, replaces the meter runs, and is read for its notes too
// (once, as --notes reads them): the page can always play them.
export function inputsOf(args, score) {
    return {
        time: score ? undefined : args.time, score, from: args.from, to: args.to, start: args.start,
        stop: args.stop ?? null, fit: args.fit, stopUnit: args["stop-unit"], after: args.after, notes: Boolean(score),
        fps: args.fps,
    };
}

// The runs of a plan as the page gives them (the first run's arguments, then
// `runs`, each by the command line's names) as the preview's inputs.
export function runInputsOf(args) {
    return [args, ...args.runs].map((run) => ({
        from: run.from, to: run.to, start: run.start, stop: run.stop ?? null, fit: run.fit, stopUnit: run["stop-unit"],
        after: run.after, fps: args.fps,
    }));
}

// Where Play starts: `before` measures, as heard, ahead of the region's
// first hearing ({heard: its place in the hearing, from 1, and measure: its
// number in the score}).
function leadIn(region, heard, before) {
    const pass = heard.passes[0];
    const at = pass ? heardMeasureAt(heard, pass.start) : Math.max(1, heard.numbers.indexOf(region[0]) + 1);
    const index = Math.max(1, at - before);
    return { heard: index, measure: heard.numbers[index - 1] };
}

// Whether the measures have notes to sound (a score's; meter runs none).
function hasNotes(score) {
    return Boolean(score.parts?.some((part) => part.notes.length > 0));
}

// The parts with notes, for the mix and for the synthesizer to make ready
// their instruments: [{index (the part's place in the score, as the
// sound's notes carry it), name, channel, program, low, high (the keys it
// plays)}].
function soundingParts(score) {
    const sounding = [];
    (score.parts ?? []).forEach((part, index) => {
        if (!part.notes.length) return;
        let low = 127;
        let high = 0;
        for (const note of part.notes) {
            low = Math.min(low, note.key);
            high = Math.max(high, note.key);
        }
        sounding.push({ index, name: part.name, channel: part.channel, program: part.program, low, high });
    });
    return sounding;
}

// A record as the page's table and map name it: the measure with its
// printed number, the beat, the tempo in the start's unit beside quarter BPM
// and the plug-in's own value.
export function pageRecord(record, measures, printed, start) {
    // Named field by field: a spread with fields added is a slow path in
    // some engines, and an edit names some 1,500 records.
    const { measure, position, value, beat, bpm } = tableRow(record, measures);
    return {
        measure, position, value, beat, bpm, name: measureName(measure, printed), label: measureName(measure, printed, "").trim(),
        tempo: tempoWords(start, value),
    };
}

// The tempo map in the start's beat unit, each measure labelled with its
// printed number too where that differs: runPreview's mapStyle.
export function pageMapStyle(checked) {
    return mapStyleFor(checked.score, checked.start);
}

function mapStyleFor(score, start) {
    const printed = score.printed ?? null;
    const label = (n) => {
        const shown = printed?.[n - 1];
        return shown === undefined || shown === null || shown === String(n) ? String(n) : `${n} (${shown})`;
    };
    const differs = printed?.some((shown, i) => shown !== null && shown !== String(i + 1));
    return {
        beat: { units: beatUnits(start), name: unitName(start) }, label,
        title: differs ? "measure (printed number in brackets)" : "measure", before: LEAD_IN_MEASURES,
    };
}

// What the page shows of a preview.
export function pageResult(checked, result) {
    const measures = checked.score.measures.length;
    const printed = checked.score.printed ?? null;
    const { score, ramp } = result.header;
    return {
        headline: headline(result, printed),
        about: rampAbout(result.header, printed),
        // Each pass through the region names its measures as the score prints them too.
        timing: timingRows(result.summary, ramp.start, result.summary.passes && printed
            ? regionPasses(result.heard, score.measures, undefined, printed) : result.summary.passes ?? null),
        finaleText: finaleWords(result.finale, printed).join("\n"),
        records: result.records.map((record) => pageRecord(record, score.measures, printed, ramp.start)),
        unit: unitName(ramp.start),
        starts: result.line.starts,
        extent: result.extent,
        drawing: result.drawing,
        measureCount: measures,
        region: checked.region,
        leadIn: leadIn(checked.region, result.heard, LEAD_IN_MEASURES),
        hasNotes: hasNotes(checked.score),
        soundingParts: soundingParts(checked.score),
        remarks: score.remarks ?? [],
        // Records no measure of the score holds, which the MusicXML leaves out.
        pastScore: recordsPastScore(result.records, measures).length,
    };
}

// What the page shows of a plan of runs, or of the runs that land hits.
export function planPageResult(checked, result) {
    const { measures } = result.header.score;
    const { start } = result.header.runs[0];
    return {
        plan: true,
        headline: [...planHeadline(result), ...(result.hits ? hitHeadline(result.hits, measures) : [])],
        about: planAbout(result.header),
        timing: planTimingRows(result),
        hits: result.hits ? hitTable(result.hits, measures) : null,
        finaleText: planFinaleLines(result.finale).join("\n"),
        records: result.records.map((record) => pageRecord(record, measures, checked.score.printed ?? null, start)),
        unit: unitName(start),
        starts: result.line.starts,
        extent: result.extent,
        drawing: result.drawing,
        measureCount: measures.length,
        region: result.whole.region,
        leadIn: leadIn(result.whole.region, result.heard, LEAD_IN_MEASURES),
        hasNotes: hasNotes(checked.score),
        soundingParts: soundingParts(checked.score),
        remarks: result.header.score.remarks ?? [],
        pastScore: recordsPastScore(result.records, measures.length).length,
    };
}

// What the page shows of a shaped ramp: a plan's, the shape's figures
// under its runs.
export function shapedPageResult(checked, result) {
    const page = planPageResult(checked, result);
    const { measures } = result.header.score;
    return {
        ...page, about: [...page.about, ...shapeLines(result.shape, measures)],
    };
}

// The score's own tempo words as the page lists them: each ramp's words
// ("rit., m. 45 to 48, then a tempo") and its run, by the command line's
// names; `plan`: all of them as a plan's runs.
export function scoreMarks(read) {
    const { measures } = read.score;
    const ramps = proposedRamps(read);
    const runs = marksPlan(ramps, measures).runs;
    let next = 0;
    return {
        list: ramps.map((ramp) => ({
            text: rampSummary(ramp, measures), tempos: `${tempoName(ramp.start)} to ${tempoName(ramp.stop)}`,
            run: ramp.kind === "steps" ? null : runs[next++],
        })),
        plan: runs,
    };
}

// An error as a Worker can post it: an input the preview refuses with what
// the page needs to word it, anything else with its message.
export function errorData(error) {
    if (error instanceof InputError) {
        // run and hit: the ramp or hit point (from 1) it is about, and the
        // sentence to show beside that row's field.
        return {
            input: true, message: error.message, fields: error.fields, sentence: error.sentence,
            run: error.run ?? null, runSentence: error.runSentence ?? null, hit: error.hit ?? null,
        };
    }
    return { input: false, message: error && error.message ? error.message : String(error) };
}

// plugin: {runScenario}; tools: the MusicXML modules' {DOMParser,
// XMLSerializer, JSZip}.
export class Session {
    constructor(plugin, tools) {
        this.plugin = plugin;
        this.tools = tools;
        this.score = null;   // the score previewed last (or read last) as readScoreFile read it
        this.scores = new Map(); // the scores kept, by the key each was opened with
        this.last = null;    // {id, checked, result} of the last preview
        this.drawn = { score: null, time: null }; // Excerpts of the score and of the meter runs
    }

    // A score file read and kept for every preview until the next one. Of the
    // scores read before, only `keep`'s stays: the page keeps its open score
    // (and what is drawn of it) while a file chosen after it turns out to be
    // no score. With it, what the page draws it from: its landmarks and its
    // parts' names and staves.
    async open(name, bytes, key = null, keep = null) {
        for (const kept of [...this.scores.keys()]) if (kept !== keep) this.scores.delete(kept);
        this.last = null;
        this.score = this.scores.get(keep)?.read ?? null;
        const read = await readScoreFile({ name, bytes }, this.tools);
        const { score, parts, root } = read;
        const notes = parts.reduce((sum, part) => sum + part.measures.reduce((n, m) => n + m.notes.length, 0), 0);
        const excerpts = new Excerpts(root, this.tools.XMLSerializer);
        this.scores.set(key, { read, excerpts });
        this.score = read;
        this.drawn.score = excerpts;
        return {
            name, measures: score.measures.length, printed: score.printed, parts: parts.length, notes, marks: scoreMarks(read),
            landmarks: landmarks(read), staves: excerpts.partStaves(), tempos: scoreTempos(read),
            remarks: (score.remarks ?? []).map((r) => r.text),
        };
    }

    // The minimal score of meter runs (what --write makes of them), to draw:
    // {measures, landmarks, staves}, as open() gives them for a score.
    async notation(time) {
        const measures = parseTimeRuns(time);
        const root = await parseScoreDocument(new TextEncoder().encode(minimalScore(measures)), "the meter runs", this.tools);
        this.drawn.time = new Excerpts(root, this.tools.XMLSerializer);
        return {
            measures: measures.length, landmarks: landmarks({ score: { measures, marks: [] } }),
            staves: this.drawn.time.partStaves(),
        };
    }

    // A piece of what is drawn ("score" or "time", as last opened) as
    // MusicXML text: Excerpts' text().
    excerpt(of, piece) {
        const excerpts = this.drawn[of];
        if (!excerpts) throw new Error(`nothing to draw of the ${of === "score" ? "score" : "meter runs"}`);
        return excerpts.text(piece);
    }

    // args: the command line's arguments by name; withScore: the score read
    // last (true) or the one opened with that key gives the measures (else,
    // false, the meter runs of args.time); id: what the files made from this
    // preview later name it by.
    // With `hit` (its positions and times, as --hit takes them), the runs
    // that land them; with `runs` (more runs, each by the command line's
    // names), the plan of the first and those.
    async preview(args, withScore, id = null) {
        this.last = null;
        if (withScore !== true && withScore !== false) {
            const kept = this.scores.get(withScore);
            this.score = kept?.read ?? null;
            if (kept) this.drawn.score = kept.excerpts;
        }
        if (withScore && !this.score) throw new Error("no score is open");
        const source = withScore ? this.score : null;
        const inputs = inputsOf(args, source);
        if (!args.hit?.length && args.runs?.length && checkShape({ shape: args.shape })) {
            throw new InputError("--shape: a shape is for one ramp or the runs between hit points; a plan's runs are each linear", {
                fields: ["shape"], sentence: "a shape is for one ramp or the runs between hit points; a plan's runs are each linear",
            });
        }
        if (args.hit?.length || args.runs?.length) {
            const { score } = await readMeasures(inputs, this.tools);
            let result;
            if (args.hit?.length) {
                const checked = checkHitInputs({
                    ...inputs, hits: args.hit, fps: args.fps, cueStart: args["cue-start"], shape: args.shape,
                }, score);
                result = await runHits(checked, this.plugin, { mapStyle: mapStyleFor(score, checked.start) }, {}, source);
            } else {
                const runs = checkPlan(runInputsOf(args), score, "the plan");
                result = await runPlan({ score, source, runs }, this.plugin, { mapStyle: mapStyleFor(score, runs[0].start) });
            }
            this.last = { id, checked: { score, source }, result };
            return planPageResult(this.last.checked, result);
        }
        const checked = await plan(inputs, this.tools);
        const shaped = checkShape({ shape: args.shape });
        if (shaped) {
            const result = await runShaped({ ...checked, shaped }, this.plugin, { mapStyle: pageMapStyle(checked) });
            this.last = { id, checked: { score: checked.score, source: checked.source }, result };
            return { ...shapedPageResult(this.last.checked, result), taps: tapPassage(checked.score, checked.region, checked.start) };
        }
        const result = await runPreview(checked, this.plugin, { mapStyle: pageMapStyle(checked) });
        this.last = { id, checked, result };
        return { ...pageResult(checked, result), taps: tapPassage(checked.score, checked.region, checked.start) };
    }

    // One sound of preview `id`, as {[part]: it}, made only when asked for:
    // "listen", what Play sounds when (heardSound); "beats", the clicks with
    // their times; "beatsCsv" and "midi", what --beats and --midi write; and
    // with a score (else null) "withNotes", what --midi --notes writes, and
    // "notesOnly", its notes alone, for the WAV.
    sound(id = null, part = "listen") {
        const { checked, result: { heard, marks = null } } = this.previewed(id);
        const parts = checked.score.parts ?? null;
        const make = {
            listen: () => heardSound(heard, parts),
            beats: () => heardBeats(heard),
            beatsCsv: () => beatsCsv(heardBeats(heard), !heard.straight),
            midi: () => heardMidi(heard, { marks }),
            withNotes: () => parts && heardMidi(heard, { parts, marks }),
            notesOnly: () => parts && heardMidi(heard, { click: false, parts, marks }),
        }[part];
        if (!make) throw new Error(`no such sound: ${part}`);
        return { [part]: make() };
    }

    // The score of preview `id` with its ramp written in, as UTF-8 bytes.
    async musicxml(id = null) {
        const { checked, result } = this.previewed(id);
        const written = await scoreWithRamp(checked, result.report, this.tools, result.finale.runs ?? [result.finale]);
        return { bytes: new TextEncoder().encode(written.text), pastScore: written.outside.length };
    }

    // Only the last preview is kept: a file asked of an earlier one is not
    // made from another.
    previewed(id) {
        if (!this.last || this.last.id !== id) throw new Error("the preview it was asked of has been replaced");
        return this.last;
    }
}
