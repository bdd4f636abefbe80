// The rows the page adds to its form: more ramps, each another run of the
// plug-in after the first (the form's own region and tempos), and hit
// points. Each row is plain fields; they are read as the command line's
// arguments and written back from them, so that moving a ramp is reading
// the rows, reordering the list and writing it again.
import { argumentsOf, runPatch } from "./address.js";
import { markedParts, writeForm } from "./form.js";

const AFTER_LABELS = [["none", "None"], ["stop", "Insert Stop Tempo"], ["start", "Insert Start Tempo"]];
// The beat unit of a stop tempo fitted to a duration.
const UNIT_LABELS = [["", "the start's"], ["s", "16th"], ["e", "8th"], ["q", "quarter"], ["h", "half"], ["w", "whole"],
    ["s.", "dotted 16th"], ["e.", "dotted 8th"], ["q.", "dotted quarter"], ["h.", "dotted half"], ["w.", "dotted whole"]];

function element(tag, attributes = {}, children = []) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
        if (name === "text") node.textContent = value;
        else node.setAttribute(name, value);
    }
    node.append(...children);
    return node;
}

// A labelled text field: the label above, the field below.
function textField(id, label, value, extra = {}) {
    const input = element("input", { id, type: "text", autocomplete: "off", spellcheck: "false", ...extra });
    input.value = value ?? "";
    return element("div", { class: "field" }, [element("label", { for: id, text: label }), input]);
}

function selectField(id, label, options, value) {
    const select = element("select", { id }, options.map(([optionValue, text]) => element("option", { value: optionValue, text })));
    select.value = value;
    return element("div", { class: "field" }, [element("label", { for: id, text: label }), select]);
}

function button(action, index, text, label) {
    return element("button", { type: "button", "data-action": action, "data-index": String(index), "aria-label": label, text });
}

// Ramp `number` (2 and on: the first is the form's own), its fields filled
// from `run` ({from, to, start, stop or fit, after}).
function runRow(run, number, count) {
    const id = (field) => `run-${number}-${field}`;
    const duration = run.fit !== undefined && run.stop === undefined;
    const row = element("li", { class: "run", "data-run": String(number) }, [
        element("h3", { id: id("title"), text: `Ramp ${number}` }),
        element("div", { class: "row-fields" }, [
            textField(id("from"), "From", run.from, { inputmode: "numeric", "data-field": "from" }),
            textField(id("to"), "To", run.to, { inputmode: "numeric", "data-field": "to" }),
            textField(id("start"), "Start", run.start, { placeholder: "q=72", "data-field": "start" }),
            selectField(id("stop-kind"), "Stop by", [["tempo", "tempo"], ["fit", "duration"]], duration ? "fit" : "tempo"),
            textField(id("stop"), duration ? "Duration" : "Stop", duration ? run.fit : run.stop,
                { placeholder: duration ? "25 or 1:23.5" : "q=100", "data-field": "stop" }),
            selectField(id("stop-unit"), "Stop unit", UNIT_LABELS, UNIT_LABELS.some(([v]) => v === run["stop-unit"]) ? run["stop-unit"] : ""),
            selectField(id("after"), "After it", AFTER_LABELS, run.after ?? "stop"),
        ]),
        element("div", { class: "row-actions" }, [
            button("up", number, "Move up", `Move up ramp ${number}`),
            button("down", number, "Move down", `Move down ramp ${number}`),
            button("remove", number, "Remove", `Remove ramp ${number}`),
        ]),
        element("span", { class: "error", id: id("error"), role: "alert" }),
    ]);
    row.setAttribute("aria-labelledby", id("title"));
    row.querySelector(`#${id("stop-unit")}`).parentElement.hidden = !duration;
    row.querySelector('[data-action="down"]').disabled = number === count + 1;
    return row;
}

// The ramps after the first, as the command line's arguments.
export function readRuns(list) {
    return [...list.querySelectorAll("li.run")].map((row) => {
        const value = (field) => row.querySelector(`[data-field="${field}"]`).value;
        const number = row.getAttribute("data-run");
        const kind = row.querySelector(`#run-${number}-stop-kind`).value;
        const run = { from: value("from").trim(), to: value("to").trim(), start: value("start") };
        if (kind === "fit") {
            run.fit = value("stop");
            const unit = row.querySelector(`#run-${number}-stop-unit`).value;
            if (unit) run["stop-unit"] = unit;
        } else {
            run.stop = value("stop");
        }
        run.after = row.querySelector(`#run-${number}-after`).value;
        return run;
    });
}

export function writeRuns(list, runs) {
    list.replaceChildren(...runs.map((run, i) => runRow(run, i + 2, runs.length)));
}

// A run's stop field named for what it takes.
export function showStopKind(row) {
    const number = row.getAttribute("data-run");
    const fit = row.querySelector(`#run-${number}-stop-kind`).value === "fit";
    row.querySelector(`label[for="run-${number}-stop"]`).textContent = fit ? "Duration" : "Stop";
    row.querySelector(`#run-${number}-stop`).placeholder = fit ? "25 or 1:23.5" : "q=100";
    row.querySelector(`#run-${number}-stop-unit`).parentElement.hidden = !fit;
}

function hitRow(hit, number) {
    const id = (field) => `hit-${number}-${field}`;
    const row = element("li", { class: "hit", "data-hit": String(number) }, [
        element("div", { class: "row-fields" }, [
            textField(id("position"), `Hit ${number} at`, hit.position, { placeholder: "17 or 17:3" }),
            textField(id("time"), "lands on", hit.time, { placeholder: "0:34.2" }),
            element("div", { class: "row-actions" }, [button("remove", number, "Remove", `Remove hit ${number}`)]),
        ]),
        element("span", { class: "error", id: id("error"), role: "alert" }),
    ]);
    return row;
}

// The hit points given ({position, time}); a row left empty is none.
export function readHits(list) {
    return [...list.querySelectorAll("li.hit")].map((row) => {
        const number = row.getAttribute("data-hit");
        return {
            position: row.querySelector(`#hit-${number}-position`).value,
            time: row.querySelector(`#hit-${number}-time`).value,
        };
    });
}

export function givenHits(hits) {
    return hits.filter((hit) => hit.position.trim() !== "" || hit.time.trim() !== "");
}

export function writeHits(list, hits) {
    list.replaceChildren(...hits.map((hit, i) => hitRow(hit, i + 1)));
}

// With hit points the hits end the ramps: the form's To and Stop, and the
// later ramps, give way to the hits' own fields.
export function showHitsMode(form, runsList, hitsList) {
    const hits = hitsList.children.length > 0;
    for (const node of markedParts(form, "[data-hits-hide]")) node.hidden = hits;
    for (const node of markedParts(form, "[data-hits-show]")) node.hidden = !hits;
    // Later ramps and hit points do not mix: hits, once given, make the ramps.
    const runsOnly = runsList.children.length > 0 && !hits;
    document.getElementById("add-hit").disabled = runsOnly;
    document.getElementById("hits-runs-note").hidden = !runsOnly;
}

// A new ramp after the last: from the measure after its end, as long
// (within the score's measures, `most`, when a result has counted them),
// back from its stop tempo to its start.
function nextRun(last, most) {
    const [lastFrom, lastTo] = [last.from, last.to].map((point) => Number.parseInt(point, 10));
    const span = Number.isFinite(lastFrom) && Number.isFinite(lastTo) ? Math.max(0, lastTo - lastFrom) : 3;
    const from = Math.min(Number.isFinite(lastTo) ? lastTo + 1 : 1, most);
    const to = Math.min(from + span, most);
    return { from: String(from), to: String(to), start: last.stop ?? last.start, stop: last.start, after: "stop" };
}

// The buttons that add, move and remove ramps and hit points. page:
// {form, runsList, hitsList, state() (the page's inputs), measureCount()
// (of the result shown, or Infinity), update()}.
export function wireRows({ form, runsList, hitsList, state, measureCount, update }) {
    const focus = (selector) => document.querySelector(selector)?.focus();
    // The ramps in order, the form's own first, as the command line's arguments.
    const allRuns = () => {
        const { runs, ...first } = argumentsOf({ ...state(), hits: [] });
        return [first, ...(runs ?? [])];
    };
    // The ramps written back in a new order: the first into the form, the
    // rest into their rows.
    const writeAllRuns = (runs) => {
        writeForm(form, runPatch(runs[0]));
        writeRuns(runsList, runs.slice(1));
    };
    document.getElementById("add-run").addEventListener("click", () => {
        const runs = allRuns();
        writeAllRuns([...runs, nextRun(runs[runs.length - 1], measureCount())]);
        focus(`#run-${runs.length + 1}-from`);
        update();
    });
    runsList.addEventListener("click", (event) => {
        const action = event.target.closest("[data-action]");
        if (!action) return;
        const runs = allRuns();
        const index = Number(action.getAttribute("data-index")) - 1;
        const kind = action.getAttribute("data-action");
        let moved = index;
        if (kind === "remove") runs.splice(index, 1);
        else {
            moved = kind === "up" ? index - 1 : index + 1;
            [runs[index], runs[moved]] = [runs[moved], runs[index]];
        }
        writeAllRuns(runs);
        if (kind === "remove") {
            focus(runs.length > 1 ? `#run-${Math.min(index, runs.length - 1) + 1}-from` : "#add-run");
        } else if (moved === 0) {
            focus("#from-measure");
        } else {
            const same = document.querySelector(`[data-action="${kind}"][data-index="${moved + 1}"]`);
            if (same && !same.disabled) same.focus();
            else focus(`#run-${moved + 1}-from`);
        }
        update();
    });
    document.getElementById("add-hit").addEventListener("click", () => {
        const hits = readHits(hitsList);
        writeHits(hitsList, [...hits, { position: "", time: "" }]);
        focus(`#hit-${hits.length + 1}-position`);
        update();
    });
    hitsList.addEventListener("click", (event) => {
        const action = event.target.closest('[data-action="remove"]');
        if (!action) return;
        const hits = readHits(hitsList);
        const index = Number(action.getAttribute("data-index")) - 1;
        hits.splice(index, 1);
        writeHits(hitsList, hits);
        focus(hits.length ? `#hit-${Math.min(index, hits.length - 1) + 1}-position` : "#add-hit");
        update();
    });
}
