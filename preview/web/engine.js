// The page's one door to the shared preview: the plug-in in WebAssembly and
// the preview modules, as the command line uses them, and what the page
// shows taken from their result.
import { loadPlugin } from "./plugin-web.js";
import { heardBeats, heardMidi, plan, runPreview } from "../lib/preview.js";
import { InputError } from "../lib/music.js";
import { beatsCsv } from "../lib/midi.js";
import { heardMeasureAt } from "../lib/playback.js";
import { summaryLines, tableRow } from "../lib/tempo-map.js";
import { writeScore } from "../lib/musicxml-write.js";
import JSZip from "jszip";

// Output names as the lines should read; the page offers the files as
// downloads, so they are only asked for, never written anywhere. The sound
// is made only when Play or a download asks for it: an edit needs none.
const NAMES = { svg: "the page", midi: null, beats: null, wav: null };

// The command line's arguments (address.js) as the preview's inputs.
export function inputsOf(args, score) {
  return {
    time: score ? undefined : args.time, score, from: args.from, to: args.to, start: args.start,
    stop: args.stop ?? null, fit: args.fit,
    stopUnit: args["stop-unit"], after: args.after,
  };
}

const TOOLS = { DOMParser: globalThis.DOMParser, XMLSerializer: globalThis.XMLSerializer, JSZip };

// source: the score file ({bytes, name}) or null for meter runs.
export function pageResult(checked, result, source) {
  const { lines, line, heard } = result;
  let sound = null;
  const finaleAt = lines.findIndex((l) => l.startsWith("In Finale:"));
  const rampAt = lines.findIndex((l) => l.startsWith("Ramp:"));
  return {
    headerText: lines.slice(0, rampAt + 1).join("\n"),
    fitText: lines.filter((l) => l.startsWith("Fit:") || l.startsWith("  neighbour")).join("\n"),
    summaryText: summaryLines(result.summary).join("\n"),
    finaleText: lines.slice(finaleAt).join("\n"),
    records: line.records.map((record) => tableRow(record, checked.score.measures)),
    starts: line.starts,
    extent: result.extent,
    svg: result.svg,
    // Where Play starts: `before` measures, as heard, ahead of the region's
    // first hearing ({heard: its place in the hearing, from 1, and measure:
    // its number in the score}).
    leadIn: (before) => {
      const pass = heard.passes[0];
      const at = pass ? heardMeasureAt(heard, pass.start) : Math.max(1, heard.numbers.indexOf(checked.region[0]) + 1);
      const index = Math.max(1, at - before);
      return { heard: index, measure: heard.numbers[index - 1] };
    },
    // The score (or the measures of the meter runs) with the ramp written in.
    musicxml: async () => (await writeScore({ source,
      measures: checked.score.measures, region: checked.region, records: line.records }, TOOLS)).text,
    // {midi, beatsCsv, beats}: what --midi and --beats write, and the beats
    // with their times and positions for the click.
    sound: () => {
      if (!sound) {
        const beats = heardBeats(heard);
        sound = { midi: heardMidi(heard), beatsCsv: beatsCsv(beats, !heard.straight), beats };
      }
      return sound;
    },
  };
}

export async function loadEngine() {
  const plugin = await loadPlugin();
  return {
    isInputError: (error) => error instanceof InputError,
    async preview(args, score) {
      const checked = await plan(inputsOf(args, score), TOOLS);
      return pageResult(checked, await runPreview(checked, plugin, NAMES), score);
    },
  };
}
