// What the open score decides of the form until the musician decides it:
// the start tempo is the score's own at From (following From until a tempo
// is typed), the stop tempo keeps its distance from it, and a region from
// before the score is dropped unless it lies inside it. From chosen after
// To takes To with it.
import { HIGHEST_BPM, LOWEST_BPM, UNIT_LETTERS } from "../lib/music.js";
import { tempoInForce } from "../lib/score-tempo.js";
import { readForm, writeForm } from "./form.js";

// The page's own stop tempo is this share of its start (72 of 120).
const STOP_SHARE = 0.6;

const START_CONTROLS = new Set(["start-bpm", "start-unit", "start-dotted"]);
const STOP_CONTROLS = new Set(["stop-bpm", "stop-unit", "stop-dotted", "mode", "fit"]);
const REGION_CONTROLS = new Set(["from-measure", "from-beat", "to-measure", "to-beat"]);

function measureOf(text) {
    return /^\s*\d+\s*$/.test(text) ? Number(text) : null;
}

// A stop tempo for `start` ({unit, dotted, bpm}) as far from it as the
// page's own, never the same tempo.
export function stopFor(start) {
    let bpm = Math.max(LOWEST_BPM, Math.round(start.bpm * STOP_SHARE));
    if (bpm === start.bpm) bpm = Math.min(HIGHEST_BPM, start.bpm * 2);
    return { unit: start.unit, dotted: start.dotted, bpm };
}

// Whether the form's region lies inside `measures` measures.
export function regionInside(state, measures) {
    const from = measureOf(state.fromMeasure);
    const to = state.toMeasure.trim() === "" ? from : measureOf(state.toMeasure);
    return from !== null && to !== null && from >= 1 && to <= measures;
}

export class Defaults {
    // given: the state a link gave (address.js's stateFromQuery).
    constructor(form, given) {
        this.form = form;
        this.startTyped = "startBpm" in given;
        this.stopTyped = "stopBpm" in given || "fit" in given || "mode" in given;
        this.regionGiven = "fromMeasure" in given || "toMeasure" in given;
    }

    // A control the musician changed; `score`: the score open, or null.
    edited(control, score) {
        const name = control.name || control.id;
        if (START_CONTROLS.has(name)) this.startTyped = true;
        if (STOP_CONTROLS.has(name)) this.stopTyped = true;
        if (REGION_CONTROLS.has(name)) this.regionGiven = true;
        if (name === "from-measure") {
            this.toAfterFrom();
            if (score) this.followScore(score);
        }
    }

    // A score just opened.
    opened(score) {
        const state = readForm(this.form);
        if (!this.regionGiven || !regionInside(state, score.measures)) {
            writeForm(this.form, { fromMeasure: "", fromBeat: "", toMeasure: "", toBeat: "" });
            this.regionGiven = false;
        }
        this.followScore(score);
    }

    // To follows a From typed or chosen after it, and an empty To takes
    // From's measure: a measure clicked on the score is a passage at once.
    toAfterFrom() {
        const state = readForm(this.form);
        const from = measureOf(state.fromMeasure);
        const to = state.toMeasure.trim() === "" ? -1 : measureOf(state.toMeasure);
        if (from !== null && to !== null && to < from) writeForm(this.form, { toMeasure: String(from), toBeat: "" });
    }

    // Start as the score plays at From (its first measure while From is
    // empty), and the stop tempo with it, each until the musician types one.
    followScore(score) {
        if (this.startTyped) return;
        const state = readForm(this.form);
        const start = tempoInForce(score.tempos ?? [], measureOf(state.fromMeasure) ?? 1);
        writeForm(this.form, { startUnit: UNIT_LETTERS[start.unit], startDotted: start.dotted, startBpm: String(start.bpm) });
        if (this.stopTyped || state.mode !== "stop") return;
        const stop = stopFor(start);
        writeForm(this.form, { stopUnit: UNIT_LETTERS[stop.unit], stopDotted: stop.dotted, stopBpm: String(stop.bpm) });
    }
}
