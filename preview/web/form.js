// The form's controls as one plain state object and back. The names match
// address.js; the controls keep what the user typed, unjudged.

const TEXT_FIELDS = {
    time: "time", fromMeasure: "from-measure", fromBeat: "from-beat", toMeasure: "to-measure",
    toBeat: "to-beat", startBpm: "start-bpm", stopBpm: "stop-bpm", fit: "fit", shape: "shape",
};
const RADIOS = { source: "source", mode: "mode", startUnit: "start-unit", stopUnit: "stop-unit", after: "after" };
const CHECKS = { startDotted: "start-dotted", stopDotted: "stop-dotted" };

// A unit or an action from an address that has no button (say 'qh', or
// after=later) is kept as written until a button is chosen, so its error can
// be shown rather than guessed away.
const unwritten = { startUnit: null, stopUnit: null, after: null, stopUnitGiven: null };

// The form also holds the drawn score, tens of thousands of nodes: its
// controls are found by id, by name through form.elements, and the marked
// parts of its own markup (which never change) once.
const marked = new WeakMap();

export function markedParts(form, selector) {
    if (!marked.has(form)) marked.set(form, new Map());
    const parts = marked.get(form);
    if (!parts.has(selector)) parts.set(selector, [...form.querySelectorAll(selector)]);
    return parts.get(selector);
}

function checkedValue(form, name) {
    const item = form.elements.namedItem(name);
    if (item === null) return "";
    if ("checked" in item) return item.checked ? item.value : "";
    return item.value;
}

export function readForm(form) {
    const state = {};
    for (const [key, id] of Object.entries(TEXT_FIELDS)) state[key] = form.querySelector(`#${id}`).value;
    for (const [key, name] of Object.entries(RADIOS)) state[key] = unwritten[key] ?? checkedValue(form, name);
    for (const [key, id] of Object.entries(CHECKS)) state[key] = form.querySelector(`#${id}`).checked;
    state.stopUnitGiven = unwritten.stopUnitGiven;
    return state;
}

export function writeForm(form, patch) {
    for (const [key, value] of Object.entries(patch)) {
        if (key === "stopUnitGiven") unwritten.stopUnitGiven = value;
        else if (key in TEXT_FIELDS) form.querySelector(`#${TEXT_FIELDS[key]}`).value = value;
        else if (key in CHECKS) form.querySelector(`#${CHECKS[key]}`).checked = value;
        else if (key in RADIOS) {
            const radios = [...form.querySelectorAll(`input[name="${RADIOS[key]}"]`)];
            const radio = radios.find((r) => r.value === value);
            // None chosen while the value has no button: any button chosen then
            // is a change the page hears.
            for (const r of radios) r.checked = r === radio;
            if (key in unwritten) unwritten[key] = radio ? null : value;
        }
    }
}

// A button chosen by hand replaces what the address gave; the stop tempo
// set by hand replaces a link's stop-unit beside it.
export function forgetUnwritten(name) {
    for (const [key, radios] of Object.entries(RADIOS)) if (radios === name && key in unwritten) unwritten[key] = null;
    if (["stop-unit", "stop-dotted", "stop-bpm", "mode"].includes(name)) unwritten.stopUnitGiven = null;
}

// Only the fields of the chosen source and stop mode are shown.
export function showModes(form, state) {
    for (const field of markedParts(form, '[data-for="time"]')) field.hidden = state.source !== "time";
    for (const field of markedParts(form, '[data-for="score"]')) field.hidden = state.source !== "score";
    for (const field of markedParts(form, '[data-mode="stop"]')) field.hidden = state.mode !== "stop";
    for (const field of markedParts(form, '[data-mode="fit"]')) field.hidden = state.mode !== "fit";
}

// The preview's input (its option name) that a control edits; the stop
// tempo's unit is the fit's own unit while a duration is fitted.
export function fieldOf(control, state) {
    const name = control.name || control.id;
    if (name === "source") return control.value;
    if (name === "mode") return state.mode === "fit" ? "fit" : "stop";
    if (name === "stop-unit" || name === "stop-dotted") return state.mode === "fit" ? "stop-unit" : "stop";
    const field = /^(time|from|to|start|stop|fit|after|shape)\b/.exec(name);
    return field ? field[1] : null;
}

// The error slot beside each input.
const FIELD_SLOTS = {
    time: "time", score: "score", from: "from", to: "to", start: "start", stop: "stop", fit: "stop",
    "stop-unit": "stop", after: "after", shape: "stop",
};

// The input an error is shown beside: of those it is about, the one just
// edited, else the one to mend first; an error about none is about the
// measures (`fallback`: the meter runs or the score).
export function errorField(fields, edited, fallback) {
    if (fields.includes(edited)) return edited;
    return fields.find((field) => field in FIELD_SLOTS) ?? fallback;
}

export function slotOf(field) {
    return FIELD_SLOTS[field];
}

// The fields whose border marks an error in each slot.
export const SLOT_FIELDS = {
    time: ["time"], score: ["score"], from: ["from-measure", "from-beat"], to: ["to-measure", "to-beat"],
    start: ["start-bpm"], stop: ["stop-bpm", "fit"], after: [],
};

// The text an input is typed into, where an empty one means "not yet given",
// and how the page asks for it.
export const TYPED = {
    time: ["time", "the meter runs"], from: ["from-measure", "the first measure"],
    to: ["to-measure", "the last measure"], start: ["start-bpm", "the start tempo"],
    stop: ["stop-bpm", "the stop tempo"], fit: ["fit", "the duration of the region"],
};
