// The form's controls as one plain state object and back. The names match
// address.js; the controls keep what the user typed, unjudged.

const TEXT_FIELDS = {
  time: "time", fromMeasure: "from-measure", fromBeat: "from-beat", toMeasure: "to-measure",
  toBeat: "to-beat", startBpm: "start-bpm", stopBpm: "stop-bpm", fit: "fit",
};
const RADIOS = { source: "source", mode: "mode", startUnit: "start-unit", stopUnit: "stop-unit", after: "after" };
const CHECKS = { startDotted: "start-dotted", stopDotted: "stop-dotted" };

// A unit from an address that has no button (say 'qh') is kept as written
// until a button is chosen, so its error can be shown rather than guessed away.
const unwritten = { startUnit: null, stopUnit: null };

export function readForm(form) {
  const state = {};
  for (const [key, id] of Object.entries(TEXT_FIELDS)) state[key] = form.querySelector(`#${id}`).value;
  for (const [key, name] of Object.entries(RADIOS)) {
    const checked = form.querySelector(`input[name="${name}"]:checked`);
    state[key] = unwritten[key] ?? (checked ? checked.value : "");
  }
  for (const [key, id] of Object.entries(CHECKS)) state[key] = form.querySelector(`#${id}`).checked;
  return state;
}

export function writeForm(form, patch) {
  for (const [key, value] of Object.entries(patch)) {
    if (key in TEXT_FIELDS) form.querySelector(`#${TEXT_FIELDS[key]}`).value = value;
    else if (key in CHECKS) form.querySelector(`#${CHECKS[key]}`).checked = value;
    else if (key in RADIOS) {
      const radio = [...form.querySelectorAll(`input[name="${RADIOS[key]}"]`)].find((r) => r.value === value);
      if (radio) radio.checked = true;
      if (key in unwritten) unwritten[key] = radio ? null : value;
      else if (!radio) throw new Error(`no choice '${value}' for ${key}`);
    }
  }
}

// A button chosen by hand replaces a unit taken from the address.
export function forgetUnwritten(name) {
  if (name === "start-unit") unwritten.startUnit = null;
  if (name === "stop-unit") unwritten.stopUnit = null;
}

// Only the fields of the chosen source and stop mode are shown.
export function showModes(form, state) {
  form.querySelector('[data-for="time"]').hidden = state.source !== "time";
  form.querySelector('[data-for="score"]').hidden = state.source !== "score";
  form.querySelector('[data-mode="stop"]').hidden = state.mode !== "stop";
  form.querySelector('[data-mode="fit"]').hidden = state.mode !== "fit";
}

// Which error slot an input error belongs to, by the command-line option it
// names first; a message naming none is about the measures (the meter runs
// or the score: `fallback`).
const SLOTS = [["--time", "time"], ["--score", "score"], ["--from", "from"], ["--to", "to"],
  ["--start", "start"], ["--stop-unit", "stop"], ["--stop", "stop"], ["--fit", "stop"]];

export function errorSlot(message, fallback = "time") {
  let best = null;
  for (const [option, slot] of SLOTS) {
    const at = message.search(new RegExp(`${option.replace(/-/g, "\\-")}(?![\\w-])`));
    if (at >= 0 && (best === null || at < best.at)) best = { at, slot };
  }
  return best ? best.slot : fallback;
}

// The fields whose border marks an error in each slot.
export const SLOT_FIELDS = {
  time: ["time"], score: ["score"], from: ["from-measure", "from-beat"], to: ["to-measure", "to-beat"],
  start: ["start-bpm"], stop: ["stop-bpm", "fit"],
};
