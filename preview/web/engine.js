// The page's one door to the shared preview: the plug-in in WebAssembly and
// the preview modules, as the command line uses them, and what the page
// shows taken from their result. The few things the shared result does not
// hand out are marked below.
import { loadPlugin } from "./plugin-web.js";
import { plan, runPreview } from "../lib/preview.js";
import { InputError, measureOffsets } from "../lib/music.js";
import { clicks, heardMeasures } from "../lib/midi.js";
import { summaryLines } from "../lib/tempo-map.js";
import { writeScore } from "../lib/musicxml-write.js";
import { beatsFromCsv } from "./click.js";
import JSZip from "jszip";

// Output names as the lines should read; the page offers the files as
// downloads, so they are only asked for, never written anywhere. The sound
// is made only when Play or a download asks for it: an edit needs none.
const NAMES = { svg: "the page", midi: null, beats: null, wav: null };
const SOUND_NAMES = { svg: "the page", midi: "ramp.mid", beats: "beats.csv", wav: null };

// The command line's arguments (address.js) as the preview's inputs.
export function inputsOf(args, score) {
  return {
    time: score ? undefined : args.time, score, from: args.from, to: args.to, start: args.start,
    stop: args.stop ?? null, fit: args.fit,
    stopUnit: args["stop-unit"], after: args.after,
  };
}

// A table line's columns: measure, beat, quarter BPM, tempo value.
function cells(line) {
  return line.trim().split(/\s+/);
}

const TOOLS = { DOMParser: globalThis.DOMParser, XMLSerializer: globalThis.XMLSerializer, JSZip };

// source: the score file ({bytes, name}) or null for meter runs.
export function pageResult(checked, result, hear, source) {
  const { lines, line } = result;
  // The table's lines as the preview printed them, after their heading.
  const tableAt = lines.indexOf("Tempo records in the score after the ramp:") + 2;
  const table = lines.slice(tableAt, tableAt + line.records.length).map(cells);
  const records = line.records.map(([measure, position, value], i) => ({
    measure, position, value, beat: table[i][1], bpm: table[i][2],
  }));
  // The map spans the region's start to the end of the heard measures, as
  // the shared map draws it; its extent is not part of the result.
  const heard = heardMeasures(checked.score.measures, checked.region);
  const heardStarts = measureOffsets(heard);
  let sound = null;
  const finaleAt = lines.findIndex((l) => l.startsWith("In Finale:"));
  const rampAt = lines.findIndex((l) => l.startsWith("Ramp:"));
  return {
    headerText: lines.slice(0, rampAt + 1).join("\n"),
    fitText: lines.filter((l) => l.startsWith("Fit:") || l.startsWith("  neighbour")).join("\n"),
    summaryText: summaryLines(result.summary).join("\n"),
    finaleText: lines.slice(finaleAt).join("\n"),
    records,
    starts: line.starts,
    extent: [heardStarts[checked.region[0]], heardStarts[heard.length + 1]],
    svg: result.svg,
    regionFirstMeasure: checked.region[0],
    // The score (or the measures of the meter runs) with the ramp written in.
    musicxml: async () => (await writeScore({ source,
      measures: checked.score.measures, region: checked.region, records: line.records }, TOOLS)).text,
    // {midi, beatsCsv, beats: rows with their positions in the score}.
    sound: () => {
      sound ??= hear().then((heardResult) => soundOf(heardResult, heard));
      return sound;
    },
  };
}

function soundOf(result, heard) {
  const positions = clicks(heard).map((click) => click.position);
  const beats = beatsFromCsv(result.beats).map((beat, i) => ({ ...beat, position: positions[i] }));
  return { midi: result.midi, beatsCsv: result.beats, beats };
}

export async function loadEngine() {
  const plugin = await loadPlugin();
  return {
    isInputError: (error) => error instanceof InputError,
    async preview(args, score) {
      const checked = await plan(inputsOf(args, score), TOOLS);
      const hear = () => runPreview(checked, plugin, SOUND_NAMES);
      return pageResult(checked, await runPreview(checked, plugin, NAMES), hear, score);
    },
  };
}
