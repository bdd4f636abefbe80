// The whole preview of a ramp, from the musician's inputs to what is shown:
// the plug-in's own code (through `plugin.runScenario`) writes the ramp, and
// the preview gives the records, the timing, the tempo map, the ramp to hear
// and the dialog entries that make the same ramp in Finale; with a target
// duration it first fits the stop tempo. Nothing here touches files: the
// caller reads the score and writes what comes back.
import { measureOffsets } from "./music.js";
import { checkRampsWritten, rampScenario } from "./scenario.js";
import { fittedStop } from "./fit.js";
import { scoreWithRamp } from "./musicxml-write.js";
import { heardMeasures } from "./midi.js";
import { heardRamp, onceAsWritten, regionPasses, scoreHeader, steppedSpans } from "./heard.js";
import { soundOutputs } from "./heard-sound.js";
import { drawnSvg, mapDrawing, measureTicks, timeline, timingSummary } from "./tempo-map.js";

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
    const drawing = mapDrawing(line.points, line.span, extent, ticks, style?.title ?? "measure", marks);
    return { drawing, extent };
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
// and the outputs' contents (svg text and its mapDrawing; midi bytes, beats CSV and musicxml
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
    const { drawing, extent } = tempoMap(line, heardMeasures(checked.score.measures, checked.region), names.mapStyle ?? null,
        steppedSpans(checked.source, [line.span]));
    const sound = soundOutputs(line, heard, names, checked.score.parts ?? null);
    const summary = timingSummary(line);
    const asWritten = onceAsWritten(heard.passes, heard.span);
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
        // The map's text only when asked for: the page draws it from `drawing`.
        get svg() { return drawnSvg(drawing); },
        drawing, midi: sound.midi, beats: sound.beats, musicxml, stop, report, line, heard, extent,
    };
}
