// The rows the page adds to its form: more ramps, each another run of the
// plug-in after the first (the form's own region and tempos), and hit
// points. Each row is plain fields; they are read as the command line's
// arguments and written back from them, so that moving a ramp is reading
// the rows, reordering the list and writing it again.

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
