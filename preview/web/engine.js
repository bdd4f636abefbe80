// The page's one door to the shared preview: the plug-in in WebAssembly and
// the preview modules, as the command line uses them, and what the page
// shows taken from their result's sections.
import { loadPlugin } from "./plugin-web.js";
import {
  finaleLines, fitLines, headerLines, heardBeats, heardMidi, heardSound, plan, runPreview, scoreWithRamp,
} from "../lib/preview.js";
import { InputError } from "../lib/music.js";
import { beatsCsv } from "../lib/midi.js";
import { heardMeasureAt } from "../lib/playback.js";
import { summaryLines, tableRow } from "../lib/tempo-map.js";
import JSZip from "jszip";

// The command line's arguments (address.js) as the preview's inputs.
// A score is read for its notes too, as --notes reads it: the page can
// always play them.
export function inputsOf(args, score) {
  return {
    time: score ? undefined : args.time, score, from: args.from, to: args.to, start: args.start,
    stop: args.stop ?? null, fit: args.fit,
    stopUnit: args["stop-unit"], after: args.after, notes: Boolean(score),
  };
}

const TOOLS = { DOMParser: globalThis.DOMParser, XMLSerializer: globalThis.XMLSerializer, JSZip };

// What the page shows of a preview: each section's text, the records, what
// the tempo map needs, and the files it offers, made when asked for (the
// sound only for Play or a download; an edit needs none).
export function pageResult(checked, result) {
  const { line, heard } = result;
  const parts = checked.score.parts ?? null;
  let sound = null;
  let listen = null;
  let notesMidi = null;
  return {
    headerText: headerLines(result.header).join("\n"),
    fitText: result.fit ? fitLines(result.fit).join("\n") : "",
    summaryText: summaryLines(result.summary).join("\n"),
    finaleText: finaleLines(result.finale).join("\n"),
    records: result.records.map((record) => tableRow(record, result.header.score.measures)),
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
    // The score (or the measures of the meter runs) with the ramp written
    // in: {text, written, outside}.
    musicxml: () => scoreWithRamp(checked, result.report, TOOLS),
    // {midi, beatsCsv, beats}: what --midi and --beats write, and the beats
    // with their times and positions for the click.
    sound: () => {
      if (!sound) {
        const beats = heardBeats(heard);
        sound = { midi: heardMidi(heard), beatsCsv: beatsCsv(beats, !heard.straight), beats };
      }
      return sound;
    },
    // Whether the measures have notes to sound (a score's; meter runs none).
    hasNotes: Boolean(parts && parts.some((part) => part.notes.length > 0)),
    // What Play sounds, timed: heardSound's answer.
    listen: () => {
      listen ??= heardSound(heard, parts);
      return listen;
    },
    // {withNotes, notesOnly}: what --midi --notes writes, and the notes
    // without the click, for rendering (null without a score).
    notesMidi: () => {
      if (!parts) return null;
      notesMidi ??= {
        withNotes: heardMidi(heard, { parts }), notesOnly: heardMidi(heard, { click: false, parts }),
      };
      return notesMidi;
    },
  };
}

export async function loadEngine() {
  const plugin = await loadPlugin();
  return {
    isInputError: (error) => error instanceof InputError,
    async preview(args, score) {
      const checked = await plan(inputsOf(args, score), TOOLS);
      return pageResult(checked, await runPreview(checked, plugin));
    },
  };
}
