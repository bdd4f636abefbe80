// The error slots: the sentence the preview gives for a refused input goes
// beside the field, the row or the hits' own fields it is about. Each
// function answers what the status line says then ({message, isError}),
// which the update loop shows when it withdraws the result.
import { errorField, slotOf, SLOT_FIELDS, TYPED } from "./form.js";

const MEND = { message: "No result: correct the input marked above.", isError: true };

// A row's field, its label, and the sentence beside the row.
function rowError(row, control, sentence) {
    const label = row.querySelector(`label[for="${control.id}"]`).textContent.toLowerCase();
    if (control.value.trim() === "") {
        const name = row.matches(".hit") ? `hit ${row.getAttribute("data-hit")}` : `ramp ${row.getAttribute("data-run")}`;
        return { message: `Waiting for the ${label === "lands on" ? "time" : label} of ${name}.`, isError: false };
    }
    row.querySelector(".error").textContent = sentence;
    control.setAttribute("aria-invalid", "true");
    return MEND;
}

// An error about a later ramp, a hit point or the hits' own fields goes
// beside it; null when it is about none of them.
function rowErrorShown(error, { runsList, hitsList }) {
    const field = error.fields[0];
    if (error.run >= 2) {
        const row = runsList.querySelector(`li[data-run="${error.run}"]`);
        const which = { fit: "stop", "stop-unit": "stop" }[field] ?? field;
        const control = row.querySelector(`[data-field="${which}"]`) ?? row.querySelector(`#run-${error.run}-after`);
        return rowError(row, control, error.runSentence);
    }
    if (error.hit) {
        // The hits counted are the rows given, not those left empty.
        const rows = [...hitsList.children].filter((row) => [...row.querySelectorAll("input")].some((c) => c.value.trim()));
        const row = rows[error.hit - 1];
        const number = row.getAttribute("data-hit");
        const empty = ["position", "time"].map((part) => row.querySelector(`#hit-${number}-${part}`)).find((c) => !c.value.trim());
        return rowError(row, empty ?? row.querySelector(`#hit-${number}-position`), error.sentence);
    }
    const hitsField = { fps: "fps", "cue-start": "cue-start", "stop-unit": "hit-unit", hit: null }[field];
    if (hitsList.children.length && hitsField !== undefined) {
        document.getElementById("hits-error").textContent = error.sentence;
        if (hitsField) document.getElementById(hitsField).setAttribute("aria-invalid", "true");
        return MEND;
    }
    return null;
}

// An input the preview refuses: its sentence beside the field just edited
// (or the one to mend first), unless that field is still empty, which only
// waits for input. `lists`: {runsList, hitsList}.
export function showInputError(error, edited, state, lists) {
    const inRow = rowErrorShown(error, lists);
    if (inRow) return inRow;
    if (error.run === 1) error = { ...error, sentence: error.runSentence };
    const fallback = state.source === "score" ? "score" : "time";
    const field = errorField(error.fields, edited, fallback);
    const typed = TYPED[field];
    if (typed && document.getElementById(typed[0]).value.trim() === "") {
        return { message: `Waiting for ${typed[1]}.`, isError: false };
    }
    markError(slotOf(field) ?? fallback, error.sentence);
    return MEND;
}

export function markError(slot, sentence) {
    document.getElementById(`${slot}-error`).textContent = sentence;
    for (const id of SLOT_FIELDS[slot]) document.getElementById(id).setAttribute("aria-invalid", "true");
}

// Only what shows an error is touched: every edit clears, and each text set,
// even to what it was, has the browser restyle the form.
export function clearErrors() {
    const empty = (node) => { if (node.firstChild) node.textContent = ""; };
    for (const slot of Object.keys(SLOT_FIELDS)) {
        empty(document.getElementById(`${slot}-error`));
        for (const id of SLOT_FIELDS[slot]) document.getElementById(id).removeAttribute("aria-invalid");
    }
    // Within the rows' own sets: the form also holds the drawn score, tens of
    // thousands of nodes that a query over the whole form would walk.
    empty(document.getElementById("hits-error"));
    for (const set of ["runs-set", "hits-set"].map((id) => document.getElementById(id))) {
        for (const node of set.querySelectorAll("ol .error")) empty(node);
        for (const node of set.querySelectorAll("[aria-invalid]")) node.removeAttribute("aria-invalid");
    }
}
