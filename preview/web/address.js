// The page's inputs in its address, under the command line's names and in its
// notation, so a link carries a preview: ?time=4/4x24&from=12&to=19&start=q=120&stop=q=72.
// A plan's later runs follow the first, each beginning with its own `from`
// (...&after=stop&from=20&to=24&start=q=72&stop=q=120&after=start); hit points
// are `hit=17=0:34.2`, one each, with `fps` and `cue-start` (`fps` also
// with a duration to fit, for its timecode).
// Values travel as the user typed them: judging them is the preview's job. A
// key given twice keeps its last value, as an option given twice on the
// command line does.
import { UNIT_LETTERS, tempoParts } from "../lib/music.js";

export const KEYS = ["time", "score", "from", "to", "start", "stop", "fit", "stop-unit", "after", "shape"];
// A run's keys, in the order a later run's are written.
export const RUN_KEYS = ["from", "to", "start", "stop", "fit", "stop-unit", "after"];

// The form's state as the command line's arguments, by name. A score file
// cannot travel in an address: with a score the link carries its file name
// (state.scoreName), so that whoever opens it knows which score it needs.
// state.runs: the later runs, each as {from, to, start, stop or fit, after}
// by the command line's names; state.hits: [{position, time}], with
// state.fps, state.cueStart and state.hitUnit (the stop tempos' unit, ""
// for the start's, "any" for whichever lands a hit best). With hits, the
// hits end the runs: no --to, --stop or --fit.
// "e." of "e.=96": the unit a start tempo is given in, or null.
function startUnitOf(start) {
    const { letter, dotted } = tempoParts(start);
    return letter === null ? null : `${letter}${dotted ? "." : ""}`;
}

export function argumentsOf(state) {
    const args = {};
    if (state.source === "time") args.time = state.time;
    if (state.source === "score" && state.scoreName) args.score = state.scoreName;
    args.from = joinPoint(state.fromMeasure, state.fromBeat);
    if (state.hits?.length) {
        args.start = joinTempo(state.startUnit, state.startDotted, state.startBpm);
        const unit = state.hitUnit === "" ? startUnitOf(args.start) : state.hitUnit;
        if (unit && unit !== "any") args["stop-unit"] = unit;
        args.after = state.after;
        args.hit = state.hits.map((hit) => `${hit.position.trim()}=${hit.time.trim()}`);
        if (state.fps) args.fps = state.fps;
        if (state.cueStart?.trim()) args["cue-start"] = state.cueStart.trim();
        return args;
    }
    args.to = joinPoint(state.toMeasure, state.toBeat);
    args.start = joinTempo(state.startUnit, state.startDotted, state.startBpm);
    if (state.mode === "fit") {
        args.fit = state.fit;
        args["stop-unit"] = state.stopUnit + (state.stopDotted ? "." : "");
    } else {
        args.stop = joinTempo(state.stopUnit, state.stopDotted, state.stopBpm);
        // A link's stop-unit beside its stop tempo, which the command line
        // refuses, stays until the stop tempo is set on the page.
        if (state.stopUnitGiven) args["stop-unit"] = state.stopUnitGiven;
    }
    args.after = state.after;
    // A duration to fit may be a timecode, read at the frame rate.
    const fits = state.mode === "fit" || state.runs?.some((run) => run.fit !== undefined);
    if (fits && state.fps) args.fps = state.fps;
    // A shape other than the plug-in's own line travels; linear is the default.
    if (state.shape && state.shape !== "linear") args.shape = state.shape;
    if (state.runs?.length) args.runs = state.runs.map((run) => ({ ...run }));
    return args;
}

// The first run's form fields from its arguments (the inverse of
// argumentsOf's run), for a run moved into the first place.
export function runPatch(run) {
    const patch = {};
    if (run.from !== undefined) Object.assign(patch, splitPoint(run.from, "from"));
    if (run.to !== undefined) Object.assign(patch, splitPoint(run.to, "to"));
    if (run.start !== undefined) Object.assign(patch, splitTempo(run.start, "start"));
    if (run.stop !== undefined) Object.assign(patch, { mode: "stop" }, splitTempo(run.stop, "stop"));
    if (run.fit !== undefined) {
        Object.assign(patch, { mode: "fit", fit: run.fit });
        if (run["stop-unit"] !== undefined) Object.assign(patch, splitUnit(run["stop-unit"], "stop"));
    } else if (run["stop-unit"] !== undefined && run.stop !== undefined) {
        patch.stopUnitGiven = run["stop-unit"];
    }
    if (run.after !== undefined) patch.after = run.after;
    return patch;
}

// The query string, with '=', ':', '/', ',' and '.' left readable (all legal
// in a query value) and everything else escaped.
export function queryOf(args) {
    const parts = [];
    const add = (key, value) => parts.push(`${key}=${escapeValue(String(value))}`);
    for (const key of KEYS) {
        if (args[key] !== undefined) add(key, args[key]);
    }
    for (const run of args.runs ?? []) {
        for (const key of RUN_KEYS) if (run[key] !== undefined) add(key, run[key]);
    }
    for (const hit of args.hit ?? []) add("hit", hit);
    if (args.fps !== undefined) add("fps", args.fps);
    if (args["cue-start"] !== undefined) add("cue-start", args["cue-start"]);
    return parts.length ? `?${parts.join("&")}` : "";
}

function escapeValue(text) {
    return encodeURIComponent(text).replace(/%3D/g, "=").replace(/%3A/g, ":")
        .replace(/%2F/g, "/").replace(/%2C/g, ",");
}

// What an address sets, as a patch of the form's state; names it does not
// know are ignored, and a key it leaves out keeps the form's default.
export function stateFromQuery(search) {
    const params = new URLSearchParams(meterPlus(search));
    const last = (key) => params.getAll(key).pop();
    // The runs, each from its `from` on.
    const runs = [];
    for (const [key, value] of params) {
        if (!RUN_KEYS.includes(key)) continue;
        if (runs.length === 0 || (key === "from" && "from" in runs[runs.length - 1])) runs.push({});
        runs[runs.length - 1][key] = value;
    }
    const hits = params.getAll("hit").map((hit) => {
        const cut = hit.indexOf("=");
        return cut < 0 ? { position: hit, time: "" } : { position: hit.slice(0, cut), time: hit.slice(cut + 1) };
    });
    // Keys a single ramp's address has no part in are left out of its patch.
    const patch = {};
    if (runs.length > 1) patch.runs = runs.slice(1);
    if (hits.length) Object.assign(patch, { hits, hitUnit: runs[0]?.["stop-unit"] ?? "any" });
    if (params.has("fps")) patch.fps = last("fps");
    if (params.has("cue-start")) patch.cueStart = last("cue-start");
    if (params.has("time")) Object.assign(patch, { source: "time", time: last("time") });
    if (params.has("shape")) patch.shape = last("shape");
    // A score named (by its file name, never a path) makes the page wait for it.
    const named = params.has("score") ? last("score").split(/[\\/]/).pop().trim() : "";
    if (named) Object.assign(patch, { source: "score", scoreName: named });
    if (runs.length) Object.assign(patch, runPatch(runs[0]));
    return patch;
}

// A link typed by hand writes an additive meter as it reads, time=3+2/8x4,
// where a query's + stands for a space; no meter has a space between two
// digits, so there it is the plus. The page's own links escape every +.
function meterPlus(search) {
    return search.replace(/(^|[?&])time=[^&]*/g, (pair) => pair.replace(/(?<=\d)\+(?=\d)/g, "%2B"));
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

// The address follows the inputs. While they are typed it is written once
// they rest: the browser takes its time over writing it (9 to 16 ms in
// Chromium, and as much again in its own process), which would fall on
// every keystroke's result. A timer set after another with no longer a
// delay fires after it, so a reader waiting LINK_DELAY_MS after a result
// finds the link written. Any other change (the page opened, a score
// chosen) writes it at once, as it always was: written a moment after the
// page opened, Firefox under remote control was seen to hand back a page
// without its document.
export const LINK_DELAY_MS = 120;
let pendingLink = null;
let linkTimer = 0;

function writePending() {
    clearTimeout(linkTimer);
    if (pendingLink !== null && pendingLink !== (location.search || location.pathname)) {
        history.replaceState(null, "", pendingLink);
    }
    pendingLink = null;
}

// typing: whether the change is an edit, which may wait for the next.
export function keepAddress(link, typing) {
    pendingLink = link;
    clearTimeout(linkTimer);
    if (typing) linkTimer = setTimeout(writePending, LINK_DELAY_MS);
    else writePending();
}
