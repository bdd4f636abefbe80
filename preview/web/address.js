// The page's inputs in its address, under the command line's names and in its
// notation, so a link carries a preview: ?time=4/4x24&from=12&to=19&start=q=120&stop=q=72.
// Values travel as the user typed them: judging them is the preview's job.
import { UNIT_LETTERS, tempoParts } from "../lib/music.js";

export const KEYS = ["time", "score", "from", "to", "start", "stop", "fit", "stop-unit", "after"];

// The form's state as the command line's arguments, by name. A score file
// cannot travel in an address: with a score the link carries its file name
// (state.scoreName), so that whoever opens it knows which score it needs.
export function argumentsOf(state) {
  const args = {};
  if (state.source === "time") args.time = state.time;
  if (state.source === "score" && state.scoreName) args.score = state.scoreName;
  args.from = joinPoint(state.fromMeasure, state.fromBeat);
  args.to = joinPoint(state.toMeasure, state.toBeat);
  args.start = joinTempo(state.startUnit, state.startDotted, state.startBpm);
  if (state.mode === "fit") {
    args.fit = state.fit;
    args["stop-unit"] = state.stopUnit + (state.stopDotted ? "." : "");
  } else {
    args.stop = joinTempo(state.stopUnit, state.stopDotted, state.stopBpm);
  }
  args.after = state.after;
  return args;
}

// The query string, with '=', ':', '/', ',' and '.' left readable (all legal
// in a query value) and everything else escaped.
export function queryOf(args) {
  const parts = [];
  for (const key of KEYS) {
    if (args[key] === undefined) continue;
    parts.push(`${key}=${escapeValue(String(args[key]))}`);
  }
  return parts.length ? `?${parts.join("&")}` : "";
}

function escapeValue(text) {
  return encodeURIComponent(text).replace(/%3D/g, "=").replace(/%3A/g, ":")
    .replace(/%2F/g, "/").replace(/%2C/g, ",");
}

// What an address sets, as a patch of the form's state; names it does not
// know are ignored, and a key it leaves out keeps the form's default.
export function stateFromQuery(search) {
  const params = new URLSearchParams(search);
  const patch = {};
  if (params.has("time")) Object.assign(patch, { source: "time", time: params.get("time") });
  // A score named (by its file name, never a path) makes the page wait for it.
  const named = params.has("score") ? params.get("score").split(/[\\/]/).pop().trim() : "";
  if (named) Object.assign(patch, { source: "score", scoreName: named });
  if (params.has("from")) Object.assign(patch, splitPoint(params.get("from"), "from"));
  if (params.has("to")) Object.assign(patch, splitPoint(params.get("to"), "to"));
  if (params.has("start")) Object.assign(patch, splitTempo(params.get("start"), "start"));
  if (params.has("stop")) Object.assign(patch, { mode: "stop" }, splitTempo(params.get("stop"), "stop"));
  if (params.has("fit")) {
    Object.assign(patch, { mode: "fit", fit: params.get("fit") });
    if (params.has("stop-unit")) Object.assign(patch, splitUnit(params.get("stop-unit"), "stop"));
  }
  if (params.has("after")) patch.after = params.get("after");
  return patch;
}

export function joinPoint(measure, beat) {
  const m = measure.trim();
  const b = beat.trim();
  return b === "" ? m : `${m}:${b}`;
}

function splitPoint(text, side) {
  const colon = text.indexOf(":");
  const measure = colon < 0 ? text : text.slice(0, colon);
  const beat = colon < 0 ? "" : text.slice(colon + 1);
  return { [`${side}Measure`]: measure.trim(), [`${side}Beat`]: beat.trim() };
}

// The tempo of a unit's buttons and a BPM field; a unit typed in the field
// (q = 120, \u2669. = 40) names it outright and takes the buttons' place.
export function joinTempo(unit, dotted, bpm) {
  if (tempoParts(bpm).letter !== null) return bpm.trim();
  return `${unit}${dotted ? "." : ""}=${bpm.trim()}`;
}

// 'q.=120' into the buttons' unit and dot and the BPM field; a tempo whose
// unit has no button (x=120, \u266B=120, or text that reads as no tempo)
// goes into the field whole, where the preview names what is wrong with it.
export function splitTempo(text, side) {
  const parts = tempoParts(text);
  if (!UNIT_LETTERS.includes(parts.letter)) return { [`${side}Bpm`]: text.trim() };
  return { [`${side}Unit`]: parts.letter, [`${side}Dotted`]: parts.dotted, [`${side}Bpm`]: parts.bpmText };
}

function splitUnit(text, side) {
  const unit = text.trim();
  const dotted = unit.endsWith(".");
  return { [`${side}Unit`]: dotted ? unit.slice(0, -1) : unit, [`${side}Dotted`]: dotted };
}
