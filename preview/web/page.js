// The preview page's update loop: the inputs read, the preview asked, and
// its answer (or its refusal) handed to the parts of the page. Every
// musical rule comes from the shared preview modules, which work in a
// Worker behind engine.js; each part of the page has its own module.
import { argumentsOf, keepAddress, queryOf, splitTempo, stateFromQuery } from "./address.js";
import { givenHits, readHits, readRuns, showHitsMode, showStopKind, wireRows, writeHits, writeRuns } from "./rows.js";
import { readForm, writeForm, forgetUnwritten, showModes, fieldOf } from "./form.js";
import { clearErrors, markError, showInputError } from "./errors.js";
import { loadEngine } from "./engine.js";
import { Results } from "./results.js";
import { ScoreFile } from "./score-file.js";
import { ScoreMarks } from "./score-marks.js";
import { ScoreView } from "./score-view.js";
import { TapRamp } from "./tap.js";
import { Transport } from "./transport.js";
import { wireDownloads } from "./downloads.js";
import { Defaults } from "./defaults.js";

const form = document.getElementById("inputs");
const current = document.getElementById("current");
const status = document.getElementById("status");
const runsList = document.getElementById("runs");
const hitsList = document.getElementById("hits");

let engine = null;
let file = null;         // the score file
let view = null;         // the score drawn
let transport = null;
let tapRamp = null;      // tapping the ramp, whose last taps the map shows
let defaults = null;     // what the open score decides of the form
const results = new Results();
let generation = 0;      // the newest update; older answers are dropped
let firstShown = false;

// The form as the preview's arguments take it: the first ramp's fields, the
// later ramps and the hit points (rows left empty are none).
// One frame rate, chosen beside the hit points or beside a duration to fit.
function pageState() {
    const hits = givenHits(readHits(hitsList));
    return {
        ...readForm(form), runs: readRuns(runsList), hits,
        fps: document.getElementById(hits.length ? "fps" : "fit-fps").value,
        cueStart: document.getElementById("cue-start").value,
        hitUnit: document.getElementById("hit-unit").value,
    };
}

// Nothing old stays on show as if it answered the inputs now on the form.
function withdrawResult(message, isError) {
    const scoreOpen = Boolean(file?.score) && readForm(form).source === "score";
    transport?.stop();
    results.withdraw(scoreOpen ? file.score.remarks : []);
    transport?.showPlayable();
    transport?.showNoResult(scoreOpen);
    view?.showResult(null);
    current.hidden = true;
    status.textContent = message;
    status.classList.toggle("stale", isError);
}

function render(result) {
    transport.stop();
    results.show(result);
    tapRamp?.overlay();
    transport.showResult(result);
    view.showResult(result);
    current.hidden = false;
    status.textContent = "Up to date.";
    status.classList.remove("stale");
}

// With no score open (or another being read), the page says what it waits
// for and shows nothing.
function waitForScore() {
    const { message, isError, problem } = file.waiting();
    if (problem) markError("score", problem);
    withdrawResult(message, isError);
}

// The answer to an edit while it is awaited, until it is shown and painted:
// a score being drawn waits for it between its steps, each of which can hold
// the page for a tenth of a second or more. A page out of view paints no
// frames, hence the timer.
let answering = null;

const painted = () => new Promise((resolve) => {
    const timer = setTimeout(resolve, 100);
    requestAnimationFrame(() => {
        clearTimeout(timer);
        setTimeout(resolve, 0);
    });
});

async function editsFirst() {
    while (answering) {
        const waited = answering;
        await waited;
        if (answering === waited) answering = null;
    }
}

// origin: what asked for it ("edit", "score", "address"); control: the
// control edited, if any.
async function update(origin, control = null) {
    const mine = ++generation;
    const started = performance.now();
    const state = pageState();
    const edited = control ? fieldOf(control, state) : null;
    showModes(form, state);
    showHitsMode(form, runsList, hitsList);
    const args = argumentsOf({ ...state, scoreName: file.name() });
    const keepLink = () => keepAddress(queryOf(args) || location.pathname, origin === "edit");
    clearErrors();
    if (state.source === "score" && (file.reading || !file.score)) {
        // The score drawn stays while another file is read: it may be no score.
        if (!file.reading) view.draw(state);
        keepLink();
        waitForScore();
        return;
    }
    view.draw(state);
    if (state.source === "score" && file.problem) markError("score", file.problem);
    if (state.source === "score" && !state.fromMeasure.trim() && (!state.toMeasure.trim() || state.hits.length)) {
        keepLink();
        withdrawResult("Choose a passage on the score: click a measure, shift-click another, or drag across them.", false);
        return;
    }
    if (hitsList.children.length && !state.hits.length) {
        keepLink();
        withdrawResult("Waiting for the hit points: a position and the time it lands on.", false);
        return;
    }
    status.textContent = "Working...";
    status.classList.remove("stale");
    try {
        const asked = engine.preview(args, state.source === "score" ? file.opened : false);
        answering = asked.then(painted, painted);
        keepLink();
        const result = await asked;
        if (mine !== generation) return;
        render(result);
        performance.measure("zorv-update", { start: started, end: performance.now(),
            detail: { origin, fit: state.mode === "fit" } });
        if (!firstShown) {
            firstShown = true;
            performance.mark("zorv-first-result");
        }
    } catch (error) {
        if (mine !== generation) return;
        if (error.input) {
            const { message, isError } = showInputError(error, edited, state, { runsList, hitsList });
            withdrawResult(message, isError);
        } else {
            withdrawResult(`The preview failed: ${error.message}`, true);
            console.error(error);
        }
    }
}

// The files' name: the score's without its ending, or "ramp" for meter runs.
function baseName() {
    return file.score && readForm(form).source === "score" ? file.score.name.replace(/\.[^.]*$/, "") : "ramp";
}

// A control the musician changed, and what follows from it.
function edited(control) {
    defaults.edited(control, readForm(form).source === "score" ? file.score : null);
    update("edit", control);
}

// The transport and the score sit inside the form, where they come in the
// page's order, but their controls are not the preview's inputs.
const notAnInput = (target) => target.closest("#transport, #notation-set") !== null;

function wireForm() {
    form.addEventListener("input", (e) => {
        if (e.target.type === "file" || notAnInput(e.target)) return;
        forgetUnwritten(e.target.name);
        if (e.target.id.endsWith("-stop-kind")) showStopKind(e.target.closest("li"));
        const twin = { fps: "fit-fps", "fit-fps": "fps" }[e.target.id];
        if (twin) document.getElementById(twin).value = e.target.value;
        edited(e.target);
    });
    // A unit typed with a tempo moves to its buttons once the field is left:
    // the form then shows the tempo the result is for.
    form.addEventListener("change", (e) => {
        const side = { "start-bpm": "start", "stop-bpm": "stop" }[e.target.id];
        if (!side) return;
        const patch = splitTempo(e.target.value, side);
        if (!(`${side}Unit` in patch)) return;
        writeForm(form, patch);
        update("edit", e.target);
    });
    form.addEventListener("submit", (e) => e.preventDefault());
}

async function main() {
    const linkState = stateFromQuery(location.search);
    writeForm(form, linkState);
    writeRuns(runsList, linkState.runs ?? []);
    writeHits(hitsList, linkState.hits ?? []);
    for (const id of ["fps", "fit-fps"]) document.getElementById(id).value = linkState.fps ?? "";
    document.getElementById("cue-start").value = linkState.cueStart ?? "";
    document.getElementById("hit-unit").value = linkState.hitUnit ?? "";
    showHitsMode(form, runsList, hitsList);
    showModes(form, readForm(form));
    engine = loadEngine();
    defaults = new Defaults(form, linkState);
    const marks = new ScoreMarks({ form, runsList, apply: () => update("edit") });
    const changed = (opened) => {
        if (opened) defaults.opened(file.score);
        marks.show(file.score);
        update("score");
    };
    file = new ScoreFile({ engine, form, linked: linkState.scoreName ?? null, changed });
    view = new ScoreView({ engine, file, form, hitsList, edited, editsFirst });
    const shown = () => results.shown;
    transport = new Transport(engine, shown, () => view.notation.idle());
    tapRamp = new TapRamp({ form, shown, apply: () => update("edit") });
    wireForm();
    wireDownloads({ engine, transport, shown, baseName });
    wireRows({ form, runsList, hitsList, state: pageState, measureCount: () => results.shown?.measureCount ?? Infinity,
        update: () => update("edit") });
    await update("address");
}

main().catch((error) => {
    withdrawResult(`The preview failed: ${error.message}`, true);
    console.error(error);
});
