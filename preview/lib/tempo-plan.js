// A plan: several runs of the plug-in, in the order a composer makes them in
// Finale. Each run sees the records the runs before it wrote, so a later run
// removes and rewrites what an earlier one wrote inside its region. The whole
// plan runs through the plug-in as one session, one invocation per run, and
// every output (records, timing, map, sound, score, the entries for Finale)
// covers it. Browser-safe.
import { InputError, measureOffsets, regionBounds, regionText, tempoName } from "./music.js";
import { fixed, formatG, withThousands } from "./numbers.js";
import { checkRun } from "./inputs.js";
import { AFTER_TEXT, finaleLines, fitLines, outputLines, remarkLines, scoreLine } from "./lines.js";
import { fittedStop } from "./fit.js";
import { scoreWithRamp } from "./musicxml-write.js";
import { onceAsWritten, regionPasses, scoreHeader, steppedSpans } from "./heard.js";
import { soundOutputs } from "./heard-sound.js";
import { checkRampsWritten, planScenario, stopValueFromActions } from "./scenario.js";
import { heardMeasures } from "./midi.js";
import { heardScore, heardTicks, passesThrough, straightOrder } from "./playback.js";
import { drawnSvg, mapDrawing, measureTicks, summaryLines, tableLines, timeline, timingSummary } from "./tempo-map.js";
import { DEFAULT_TEMPO_NOTE, passesDefault, playbackMs } from "./timing.js";

// A run's fields in a plan file: the command line's option names.
export const RUN_FIELDS = ["from", "to", "start", "stop", "fit", "stop-unit", "after"];
// More runs than any piece needs would only hold the page up.
export const MOST_RUNS = 1000;

// `run` (from 1) and `runSentence` (what is wrong, without naming the run)
// let a form put the sentence beside the run's own field.
function planError(where, text, { run = null, field = null, runSentence = text } = {}) {
    const error = new InputError(`${where}: ${text}`, { fields: field ? [field] : ["plan"], sentence: text });
    error.run = run;
    error.runSentence = runSentence;
    return error;
}

// A plan file's text as its runs, each {from, to, start, stop, fit,
// stopUnit, after} as text (a number reads as the text it is written as),
// the fields left out undefined. `where` leads a refusal ("--plan plan.json").
export function readPlanText(text, where) {
    let plan;
    try {
        plan = JSON.parse(text);
    } catch (error) {
        throw planError(where, `not a plan: ${error.message}`);
    }
    if (plan === null || typeof plan !== "object" || Array.isArray(plan) || !Array.isArray(plan.runs)) {
        throw planError(where, 'a plan is an object whose "runs" lists the runs, as {"runs": [{"from": "12", ...}]}');
    }
    const unknown = Object.keys(plan).find((key) => key !== "runs");
    if (unknown !== undefined) throw planError(where, `unknown field '${unknown}' (a plan holds "runs")`);
    if (plan.runs.length === 0) throw planError(where, "the plan has no runs");
    if (plan.runs.length > MOST_RUNS) {
        throw planError(where, `${withThousands(plan.runs.length)} runs, more than the ${withThousands(MOST_RUNS)} a plan may hold`);
    }
    return plan.runs.map((run, index) => readRun(run, index + 1, where));
}

function readRun(run, number, where) {
    if (run === null || typeof run !== "object" || Array.isArray(run)) {
        throw planError(where, `run ${number} is not an object of the options' names and values`, { run: number });
    }
    const unknown = Object.keys(run).find((key) => !RUN_FIELDS.includes(key));
    if (unknown !== undefined) {
        throw planError(where, `run ${number}: unknown field '${unknown}' (use ${RUN_FIELDS.join(", ")})`, { run: number });
    }
    const fields = {};
    for (const field of RUN_FIELDS) {
        const value = run[field];
        if (value === undefined) continue;
        if (typeof value !== "string" && !(typeof value === "number" && Number.isFinite(value))) {
            throw planError(where, `run ${number}, ${field}: write the value as the option takes it, as text`,
                { run: number, field });
        }
        fields[field] = String(value);
    }
    for (const field of ["from", "to", "start"]) {
        if (fields[field] === undefined) throw planError(where, `run ${number} has no '${field}'`, { run: number, field });
    }
    if ((fields.stop === undefined) === (fields.fit === undefined)) {
        const text = fields.stop === undefined ? "needs 'stop' or 'fit'" : "has both 'stop' and 'fit'; give one";
        throw planError(where, `run ${number} ${text}`, { run: number, field: "stop" });
    }
    return {
        from: fields.from, to: fields.to, start: fields.start, stop: fields.stop ?? null, fit: fields.fit,
        stopUnit: fields["stop-unit"], after: fields.after,
    };
}

// Each run checked against the score ({...checkRun's answer}), in order; a
// refusal names the run, the field and what it holds where the sentence
// does not already, as the command line names an option.
export function checkPlan(runs, score, where) {
    return runs.map((run, index) => {
        try {
            return checkRun(run, score);
        } catch (error) {
            if (!(error instanceof InputError)) throw error;
            const field = error.fields[0] ?? "plan";
            const value = { "stop-unit": run.stopUnit }[field] ?? run[field];
            const shown = value === undefined || value === null || error.sentence.includes(`'${value}'`)
                ? field : `${field} ${value}`;
            throw planError(where, `run ${index + 1}, ${shown}: ${error.sentence}`,
                { run: index + 1, field, runSentence: error.sentence });
        }
    });
}

// The region from the earliest start of the runs to the latest end, as a
// selection would give it.
export function coveringRegion(regions, measures) {
    const starts = measureOffsets(measures);
    const bounds = regions.map((region) => regionBounds(region, measures, starts));
    const first = bounds.reduce((best, b, i) => (b[0] < bounds[best][0] ? i : best), 0);
    const last = bounds.reduce((best, b, i) => (b[1] > bounds[best][1] ? i : best), 0);
    return [regions[first][0], regions[first][1], regions[last][2], regions[last][3]];
}

// checked: {score, source, runs: checkPlan's}. The result, as runPreview's
// with a plan's sections:
//   header:    {score, runs: [{region, start, stop, after}]}
//   fits:      for each run, null or its fit (as runPreview's fit)
//   records:   the records after the whole plan
//   summaries: for each run, timingSummary's figures under those records,
//              `passes` where the score's repeats change what is heard, and
//              `rewrittenBy` (the later runs whose regions overlap it)
//   whole:     {region, quarters, writtenS, assumesDefault, passes}
//   outputs, finale: {runs, measures}
// and svg (with its mapDrawing as drawing), midi, beats, musicxml, report, line (the plan's), heard, extent,
// spans (each run's [start, end) in units) and marks (the MIDI file's
// markers, heardMidi's).
// extras: {hits: [{at, target, label}]}, for a plan made to land hit
// points: each is marked on the map (svgText's hits) and, where it is first
// heard, in the MIDI file; {curve}: the ideal curve a shaped plan follows
// (svgText's curve).
export async function runPlan(checked, plugin, names = {}, tools = {}, extras = {}) {
    const { measures } = checked.score;
    const runs = [];
    const fits = [];
    for (const run of checked.runs) {
        const { stop, fit } = await fittedStop(run, plugin);
        runs.push({ region: run.region, start: run.start, stop, after: run.after });
        fits.push(fit);
    }
    const scenario = planScenario(measures, checked.score.tempo, runs);
    const report = await plugin.runScenario(scenario);
    checkRampsWritten(report);
    const region = coveringRegion(runs.map((run) => run.region), measures);
    const line = timeline({ measures: scenario.measures, invocations: [{ region, user: [] }] }, report);
    if (line === null) throw new Error("the plug-in wrote no tempo record");
    // Each run's view of the same records: its region, and the stop it entered.
    const runLines = scenario.invocations.map((invocation) => ({
        ...line, region: invocation.region, span: regionBounds(invocation.region, line.measures, line.starts),
        stop: stopValueFromActions(invocation),
    }));
    const heard = heardScore(measures, checked.score.order ?? straightOrder(measures.length), line.points, region);

    const spans = runLines.map((runLine) => runLine.span);
    const runPasses = spans.map((span) => passesThrough(heard, span));
    const summaries = runLines.map((runLine, i) => {
        const summary = timingSummary(runLine);
        if (!onceAsWritten(runPasses[i], spans[i])) summary.passes = regionPasses(heard, measures, runPasses[i]);
        summary.rewrittenBy = spans.map((span, j) => j).filter((j) => j > i && spans[j][0] < spans[i][1] && spans[i][0] < spans[j][1]);
        return summary;
    });
    const whole = {
        region, quarters: (line.span[1] - line.span[0]) / 1024, writtenS: playbackMs(line.points, ...line.span) / 1000,
        assumesDefault: passesDefault(line.points, line.span[0]),
        passes: onceAsWritten(heard.passes, heard.span) ? null : regionPasses(heard, measures),
    };
    fits.forEach((fit, i) => {
        if (fit) fit.passes = summaries[i].passes ? runPasses[i].length : null;
    });

    const hits = extras.hits ?? [];
    const marks = [...runPasses.flatMap((passes, i) => passes.flatMap((pass) => [
        [pass.start, `run ${i + 1} starts`], [pass.end, `run ${i + 1} ends`]])),
    ...hits.map((hit) => [heardTicks(heard, hit.at)[0], hit.label]).filter(([tick]) => tick !== undefined)];
    const sound = soundOutputs(line, heard, names, checked.score.parts ?? null, marks);
    const { drawing, extent } = planMap(line, measures, region, { spans, hits, curve: extras.curve ?? null,
        stepped: steppedSpans(checked.source, spans), style: names.mapStyle ?? null });
    const outputs = { ...(names.svg ? { svg: { name: names.svg } } : {}), ...sound.outputs };
    let musicxml = null;
    if (names.write) {
        const score = await scoreWithRamp(checked, report, tools, names.writeMarks === false ? [] : runs);
        musicxml = score.text;
        outputs.musicxml = { name: names.write, measures: measures.length, written: score.written.length, outside: score.outside.length };
    }
    return {
        header: { score: scoreHeader(checked), runs }, fits, records: line.records, summaries, whole, outputs,
        // The map's text only when asked for: the page draws it from `drawing`.
        finale: { runs, measures }, get svg() { return drawnSvg(drawing); }, drawing, midi: sound.midi, beats: sound.beats, musicxml, report, line, heard, extent, spans,
        marks,
    };
}

// The tempo map from the plan's start to the end of the heard measures,
// each run shaded and named; style as runPreview's mapStyle (another beat
// on the tempo axis, other measure labels, measures ahead of the plan).
function planMap(line, measures, region, { spans, hits, curve, stepped, style }) {
    const heard = heardMeasures(measures, region);
    const starts = measureOffsets(heard);
    const extent = [starts[Math.max(1, region[0] - (style?.before ?? 0))], starts[heard.length + 1]];
    const regions = spans.map((span, i) => ({ span, label: `run ${i + 1}` }));
    const drawing = mapDrawing(line.points, line.span, extent, measureTicks(heard, ...extent, style?.label), style?.title ?? "measure",
        { regions, hits, curve, stepped, ...(style?.beat ? { beat: style.beat } : {}) });
    return { drawing, extent };
}

// --- the sections as the command line prints them ------------------------

// selectionTool: each run's region also as the selection tool's numbers
// (the page leaves them to its records table).
export function planHeaderLines(header, { selectionTool = true } = {}) {
    const { score, runs } = header;
    const count = runs.length === 1 ? "1 run" : `${runs.length} runs`;
    const tool = (region) => (selectionTool ? ` (ERegion ${region.join(", ")})` : "");
    return [
        scoreLine(score),
        ...remarkLines(score),
        `Plan:   ${count} of the plug-in${header.hits ? ", one to each hit" : ""}, in this order:`,
        ...runs.map((run, i) => `  ${i + 1}. ${regionText(run.region, score.measures)}${tool(run.region)}: `
            + `${tempoName(run.start)} to ${tempoName(run.stop)}${run.stop.percent ? ` (${run.stop.percent} % of the start)` : ""}, `
            + `${AFTER_TEXT[run.after]}`),
    ];
}

function runTiming(summary, i, region, measures) {
    const rewritten = summary.rewrittenBy.length
        ? ` (${summary.rewrittenBy.length === 1 ? "run" : "runs"} ${summary.rewrittenBy.map((j) => j + 1).join(", ")} `
            + "rewrote part of it)" : "";
    return [`Run ${i + 1}, ${regionText(region, measures)}${rewritten}:`, ...summaryLines(summary).map((text) => `  ${text}`)];
}

export function wholeLines(whole, measures) {
    const note = whole.assumesDefault ? ` (${DEFAULT_TEMPO_NOTE})` : "";
    const lines = [`The whole plan, ${regionText(whole.region, measures)}: ${formatG(whole.quarters)} `
        + `quarter notes, ${fixed(whole.writtenS, 3)} s with the written records${note}`];
    if (whole.passes) {
        lines.push(whole.passes.length
            ? `  As the score's repeats and jumps play it: ${whole.passes.map((pass) => `${pass.text} from ${fixed(pass.fromS, 3)} s `
                + `to ${fixed(pass.toS, 3)} s`).join("; ")}`
            : "  The score's repeats and jumps pass it by.");
    }
    return lines;
}

export function planFinaleLines(finale) {
    const { runs, measures } = finale;
    const lines = [`In Finale, make the ${runs.length === 1 ? "run" : `${runs.length} runs`} in this order; each sees `
        + "the records the runs before it wrote:"];
    runs.forEach((run, i) => {
        const [first, ...rest] = finaleLines({ ...run, measures });
        lines.push(`  Run ${i + 1}: ${first.replace(/^In Finale: /, "")}`, ...rest.map((text) => `  ${text}`));
    });
    return lines;
}

// Each fitted run's fit, under its run's name.
export function planFitLines(result) {
    const lines = [];
    result.fits.forEach((fit, i) => {
        if (fit) lines.push(...(lines.length ? [""] : []), `Run ${i + 1}:`, ...fitLines(fit).map((text) => `  ${text}`));
    });
    return lines;
}

// The timing of each run and of the whole plan.
export function planTimingLines(result) {
    const { measures } = result.header.score;
    return [
        ...result.summaries.flatMap((summary, i) => runTiming(summary, i, result.header.runs[i].region, measures)),
        ...wholeLines(result.whole, measures),
    ];
}

// Everything the command line prints for a plan; `hitLines` (hits.js) go
// after the timing.
export function planLines(result, hitLines = []) {
    const { measures } = result.header.score;
    const lines = [...planHeaderLines(result.header), ""];
    const fits = planFitLines(result);
    if (fits.length) lines.push(...fits, "");
    lines.push(`Tempo records in the score after the plan:`);
    for (const text of tableLines(result.records, measures)) lines.push(text);
    lines.push("", ...planTimingLines(result), "");
    if (hitLines.length) lines.push(...hitLines, "");
    lines.push(...outputLines(result.outputs), "");
    lines.push(...planFinaleLines(result.finale));
    return lines;
}
