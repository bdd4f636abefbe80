// The preview page: the form, live results, the ramp to hear, downloads and
// the address. Every musical rule comes from the shared preview modules,
// which work in a Worker behind engine.js; this file only moves their data
// onto the page.
import { argumentsOf, queryOf, runPatch, splitTempo, stateFromQuery } from "./address.js";
import { givenHits, readHits, readRuns, showStopKind, writeHits, writeRuns } from "./rows.js";
import {
  readForm, writeForm, forgetUnwritten, showModes, errorField, fieldOf, slotOf, SLOT_FIELDS, TYPED,
} from "./form.js";
import { wavBytes } from "./click.js";
import { measuresBegun, passage, soundsOf, whereAt } from "./passage.js";
import { SoundPlayer } from "./sound.js";
import { loadSynth, renderWav } from "./synth.js";
import { loadEngine } from "./engine.js";
import { showMap, Playhead } from "./map.js";
import { Notation, shadedParts } from "./notation.js";
import { MeasureStrip } from "./strip.js";
import { measureName } from "../lib/music.js";
import { LARGEST_SCORE_BYTES, scoreTooLarge } from "../lib/musicxml.js";

const form = document.getElementById("inputs");
const current = document.getElementById("current");
const status = document.getElementById("status");
const scoreOpen = document.getElementById("score-open");
const runsList = document.getElementById("runs");
const hitsList = document.getElementById("hits");
const player = new SoundPlayer({ makeContext: () => new AudioContext(), loadSynth });

let engine = null;
let score = null;        // {name, measures} of the score open in the preview
let reading = null;      // {name} of the file being read, or null
let scoreProblem = null; // the sentence why the file chosen last is no score
let linked = null;       // the name of the score a link was made with, until one is opened
let shown = null;        // the result on the page, or null
let generation = 0;      // the newest update; older answers are dropped
let fileGeneration = 0;  // the newest file chosen; older ones are dropped
let firstShown = false;
let drawn = null;        // what the notation shows: "score N" (the Nth file opened) or "time TEXT"
let drawTimer = 0;

const byId = (id) => document.getElementById(id);
const notation = new Notation(byId("notation"), byId("notation-status"), chooseOnNotation, {
  bar: byId("score-tools"), staves: byId("staves-shown"), zoom: byId("score-zoom"), parts: byId("parts-list"),
  partsSet: byId("parts-set"),
});
const strip = new MeasureStrip(byId("measure-strip"), chooseOnNotation);

// The form as the preview's arguments take it: the first ramp's fields, the
// later ramps and the hit points (rows left empty are none).
function pageState() {
  return {
    ...readForm(form), runs: readRuns(runsList), hits: givenHits(readHits(hitsList)),
    fps: document.getElementById("fps").value, cueStart: document.getElementById("cue-start").value,
    hitUnit: document.getElementById("hit-unit").value,
  };
}

// With hit points the hits end the ramps: the form's To and Stop, and the
// later ramps, give way to the hits' own fields.
function showHitsMode() {
  const hits = hitsList.children.length > 0;
  for (const node of form.querySelectorAll("[data-hits-hide]")) node.hidden = hits;
  for (const node of form.querySelectorAll("[data-hits-show]")) node.hidden = !hits;
  // Later ramps and hit points do not mix: hits, once given, make the ramps.
  const runsOnly = runsList.children.length > 0 && !hits;
  document.getElementById("add-hit").disabled = runsOnly;
  document.getElementById("hits-runs-note").hidden = !runsOnly;
}

// A row's field, its label, and the sentence beside the row.
function rowError(row, control, sentence) {
  const label = row.querySelector(`label[for="${control.id}"]`).textContent.toLowerCase();
  if (control.value.trim() === "") {
    const name = row.matches(".hit") ? `hit ${row.getAttribute("data-hit")}` : `ramp ${row.getAttribute("data-run")}`;
    withdrawResult(`Waiting for the ${label === "lands on" ? "time" : label} of ${name}.`, false);
    return;
  }
  row.querySelector(".error").textContent = sentence;
  control.setAttribute("aria-invalid", "true");
  withdrawResult("No result: correct the input marked above.", true);
}

// An error about a later ramp, a hit point or the hits' own fields goes
// beside it; true when it did.
function showRowError(error) {
  const field = error.fields[0];
  if (error.run >= 2) {
    const row = runsList.querySelector(`li[data-run="${error.run}"]`);
    const which = { fit: "stop", "stop-unit": "stop" }[field] ?? field;
    const control = row.querySelector(`[data-field="${which}"]`) ?? row.querySelector(`#run-${error.run}-after`);
    rowError(row, control, error.runSentence);
    return true;
  }
  if (error.hit) {
    // The hits counted are the rows given, not those left empty.
    const rows = [...hitsList.children].filter((row) => [...row.querySelectorAll("input")].some((c) => c.value.trim()));
    const row = rows[error.hit - 1];
    const number = row.getAttribute("data-hit");
    const empty = ["position", "time"].map((part) => row.querySelector(`#hit-${number}-${part}`)).find((c) => !c.value.trim());
    rowError(row, empty ?? row.querySelector(`#hit-${number}-position`), error.sentence);
    return true;
  }
  const hitsField = { fps: "fps", "cue-start": "cue-start", "stop-unit": "hit-unit", hit: null }[field];
  if (hitsList.children.length && hitsField !== undefined) {
    document.getElementById("hits-error").textContent = error.sentence;
    if (hitsField) document.getElementById(hitsField).setAttribute("aria-invalid", "true");
    withdrawResult("No result: correct the input marked above.", true);
    return true;
  }
  return false;
}

// An input the preview refuses: its sentence beside the field just edited
// (or the one to mend first), unless that field is still empty, which only
// waits for input.
function showInputError(error, edited, state) {
  if (showRowError(error)) return;
  if (error.run === 1) error = { ...error, sentence: error.runSentence };
  const fallback = state.source === "score" ? "score" : "time";
  const field = errorField(error.fields, edited, fallback);
  const typed = TYPED[field];
  if (typed && document.getElementById(typed[0]).value.trim() === "") {
    withdrawResult(`Waiting for ${typed[1]}.`, false);
    return;
  }
  markError(slotOf(field) ?? fallback, error.sentence);
  withdrawResult("No result: correct the input marked above.", true);
}

function markError(slot, sentence) {
  document.getElementById(`${slot}-error`).textContent = sentence;
  for (const id of SLOT_FIELDS[slot]) document.getElementById(id).setAttribute("aria-invalid", "true");
}

function clearErrors() {
  for (const slot of Object.keys(SLOT_FIELDS)) {
    document.getElementById(`${slot}-error`).textContent = "";
    for (const id of SLOT_FIELDS[slot]) document.getElementById(id).removeAttribute("aria-invalid");
  }
  for (const node of form.querySelectorAll("#runs .error, #hits .error, #hits-error")) node.textContent = "";
  for (const node of form.querySelectorAll("#runs-set [aria-invalid], #hits-set [aria-invalid]")) node.removeAttribute("aria-invalid");
}

// Nothing old stays on show as if it answered the inputs now on the form.
function withdrawResult(message, isError) {
  player.stop();
  shown = null;
  notation.shade(null);
  strip.shade(null);
  current.hidden = true;
  status.textContent = message;
  status.classList.toggle("stale", isError);
}

function render(result) {
  player.stop();
  shown = result;
  const fit = document.getElementById("fit-result");
  fit.hidden = !result.fitText;
  fit.textContent = result.fitText || "";
  document.getElementById("header").textContent = result.headerText;
  document.getElementById("headline").replaceChildren(...(result.headline ?? []).map(({ kind, text }) => {
    const line = document.createElement("p");
    line.className = kind;
    line.textContent = text;
    return line;
  }));
  document.getElementById("records-unit").textContent = `${result.unit} =`;
  const hits = document.getElementById("hits-result");
  hits.hidden = !result.hitsText;
  hits.textContent = result.hitsText || "";
  document.getElementById("records-of").textContent = result.plan ? "ramps" : "ramp";
  document.getElementById("summary").textContent = result.summaryText;
  document.getElementById("finale").textContent = result.finaleText;
  showMap(document.getElementById("tempo-map"), result, document.getElementById("record-info"));
  const count = result.records.length;
  document.getElementById("record-count").textContent = `${count} record${count === 1 ? "" : "s"}`;
  const past = result.pastScore;
  document.getElementById("musicxml-note").textContent = past === 0 ? ""
    : `The MusicXML leaves out ${past} tempo record${past === 1 ? "" : "s"} past the score's last measure `
      + "(the step after a region that ends the score).";
  fillRecords();
  showSoundChoice(result);
  // The piano loads while the musician reads, so that Play sounds at once.
  if (result.hasNotes) player.prepare().catch(() => { /* Play says it */ });
  notation.shade(shadedParts(result.region, result.starts));
  strip.shade([result.region[0], result.region[2]]);
  current.hidden = false;
  status.textContent = "Up to date.";
  status.classList.remove("stale");
}

// The table is filled when it is open: a long ramp has thousands of rows,
// which an edit should not have to build unseen.
const recordsDetails = document.getElementById("records-details");
const recordsBody = document.querySelector("#records tbody");
let recordsOf = null;

function fillRecords() {
  if (!recordsDetails.open || !shown) {
    recordsBody.innerHTML = "";
    recordsOf = null;
    return;
  }
  if (recordsOf === shown) return;
  recordsOf = shown;
  recordsBody.innerHTML = shown.records.map((r) => `<tr><td>${escape(r.label)}</td><td>${r.beat}</td>`
    + `<td>${r.tempo.slice(r.tempo.lastIndexOf("= ") + 2)}</td><td>${r.bpm}</td><td>${r.value}</td></tr>`).join("");
}

// A score's printed number is its own text: shown as text, never as markup.
function escape(text) {
  return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
}

// The score the page has, is reading or is waiting for, by name.
function scoreName() {
  return score?.name ?? reading?.name ?? linked;
}

function showScoreOpen() {
  if (score) scoreOpen.textContent = `Open: ${score.name} (${score.measures} measure${score.measures === 1 ? "" : "s"})`;
  else if (reading) scoreOpen.textContent = `Reading ${reading.name}...`;
  else if (linked && !scoreProblem) scoreOpen.textContent = `This link was made with the score ${linked}.`;
  else scoreOpen.textContent = "";
}

// With no score open, the page says what it waits for and shows nothing.
function waitForScore() {
  if (reading) {
    withdrawResult(`Reading ${reading.name}...`, false);
  } else if (scoreProblem) {
    markError("score", scoreProblem);
    withdrawResult("No result: open another score, or choose meter runs.", true);
  } else if (linked) {
    withdrawResult(`Open the score ${linked} to see this preview: a link cannot carry the score itself.`, false);
  } else {
    withdrawResult("Open a MusicXML score, or choose meter runs.", false);
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
  showHitsMode();
  const args = argumentsOf({ ...state, scoreName: scoreName() });
  history.replaceState(null, "", queryOf(args) || location.pathname);
  clearErrors();
  drawNotation(state);
  if (state.source === "score" && !score) {
    waitForScore();
    return;
  }
  if (hitsList.children.length && !state.hits.length) {
    withdrawResult("Waiting for the hit points: a position and the time it lands on.", false);
    return;
  }
  status.textContent = "Working...";
  status.classList.remove("stale");
  try {
    const result = await engine.preview(args, state.source === "score");
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
      showInputError(error, edited, state);
    } else {
      withdrawResult(`The preview failed: ${error.message}`, true);
      console.error(error);
    }
  }
}

// A measure chosen on the notation goes into the fields, as if typed there:
// From at its first beat, To through its end. With hit points the hits end
// the ramps, so only From is taken.
function chooseOnNotation({ from, to }) {
  if (from !== undefined) writeForm(form, { fromMeasure: String(from), fromBeat: "" });
  const takesTo = to !== undefined && hitsList.children.length === 0;
  if (takesTo) writeForm(form, { toMeasure: String(to), toBeat: "" });
  if (from === undefined && !takesTo) return;
  update("edit", document.getElementById(from !== undefined ? "from-measure" : "to-measure"));
}

// The notation shows the measures the preview has: the open score as it was
// opened (not with the ramp written in, whose hidden marks it would show),
// or the minimal score of the meter runs. It is drawn when these change,
// never for an edit of the region or the tempos.
function drawNotation(state) {
  clearTimeout(drawTimer);
  const focus = Number.parseInt(state.fromMeasure, 10) || 1;
  if (state.source === "score") {
    const key = score ? `score ${fileGeneration}` : null;
    if (key === drawn) return;
    drawn = key;
    if (!score) {
      notation.clear("");
      strip.hide();
    } else {
      drawMeasures("score", score, score.printed, focus);
    }
    return;
  }
  const key = `time ${state.time}`;
  if (key === drawn) return;
  drawn = key;
  // Drawn once typing pauses, not for each key on the way.
  drawTimer = setTimeout(async () => {
    let runs = null;
    try {
      runs = await engine.notation(state.time);
    } catch {
      if (drawn === key) {
        notation.clear("The meter runs are drawn once they can be read.");
        strip.hide();
      }
      return;
    }
    if (drawn === key) drawMeasures("time", runs, null, focus);
  }, drawn === null ? 0 : 250);
}

// The strip and the notation of what the Worker holds to draw ("score" or
// "time"): {measures, landmarks, staves}.
function drawMeasures(of, measures, printed, focus) {
  const named = names(measures.measures, printed);
  strip.show(measures.measures, printed, named, measures.landmarks);
  notation.draw({ ...measures, names: named, excerpt: (piece) => engine.excerpt(of, piece) }, focus);
}

function names(count, printed) {
  return Array.from({ length: count }, (_, i) => measureName(i + 1, printed));
}

// The file chosen or dropped last is the one shown, however long an earlier
// one takes to read; it is read once, and every edit previews that read.
async function openScore(file) {
  performance.mark("zorv-score-chosen");
  const mine = ++fileGeneration;
  score = null;
  scoreProblem = null;
  reading = { name: file.name };
  writeForm(form, { source: "score" });
  showScoreOpen();
  update("score");
  let opened = null;
  try {
    // A file larger than any score is not read at all: its bytes alone
    // could take the tab's memory.
    if (file.size > LARGEST_SCORE_BYTES) throw { input: true, sentence: scoreTooLarge(file.name).sentence };
    const bytes = new Uint8Array(await file.arrayBuffer());
    if (mine !== fileGeneration) return;
    // The bytes go to the Worker, which also cuts the pieces to draw.
    opened = await engine.open(file.name, bytes);
  } catch (error) {
    if (mine !== fileGeneration || error.superseded) return;
    scoreProblem = error.input ? error.sentence : `${file.name} cannot be read: it may be a folder, or a file `
      + "moved or removed since it was chosen.";
  }
  if (mine !== fileGeneration) return;
  reading = null;
  score = opened;
  if (score) linked = null;
  showScoreOpen();
  update("score");
}

function download(name, type, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function baseName() {
  return score && readForm(form).source === "score" ? score.name.replace(/\.[^.]*$/, "") : "ramp";
}

// The sound of a result (session.js's sound: the files and what Play
// sounds when), made once when first asked for.
function soundOf(result) {
  result.sound ??= engine.sound(result);
  return result.sound;
}

// The choice of what sounds, as the page's controls hold it.
function soundChoice() {
  return {
    sounds: document.querySelector("input[name=sounds]:checked").value,
    countIn: document.getElementById("count-in").checked,
    loop: document.getElementById("loop").checked,
  };
}

// The musician's choice of what sounds, kept while meter runs (which have
// no notes) show the click as the only one.
let soundsWanted = "both";

// Meter runs have no notes: the choice says so rather than offering them.
function showSoundChoice(result) {
  for (const input of document.querySelectorAll("input[name=sounds]")) {
    input.disabled = !result.hasNotes && input.value !== "click";
    input.checked = input.value === (result.hasNotes ? soundsWanted : "click");
  }
  document.getElementById("sound-note").textContent = result.hasNotes ? ""
    : "Meter runs have no notes: only the click sounds. Open a score to hear its music.";
}

// What the choice sounds for this result: {notes, click}.
function chosenSounds(result) {
  return soundsOf({ notes: result.hasNotes ? [true] : [] }, soundChoice().sounds);
}

// The measure playing, for whatever marks it (the notation): a
// "zorv-playing" event on the document with {measure, heard, seconds, pass,
// played} each time another measure begins, and null when playing ends.
function announce(detail) {
  document.dispatchEvent(new CustomEvent("zorv-playing", { detail }));
}

function wireDownloads() {
  const downloadStatus = document.getElementById("download-status");
  const on = (id, make) => document.getElementById(id).addEventListener("click", async () => {
    if (!shown) return;
    const result = shown;
    downloadStatus.textContent = "";
    try {
      const file = await make(result);
      if (result === shown) download(...file);
    } catch (error) {
      if (result === shown) downloadStatus.textContent = `The file could not be made: ${error.message}`;
    }
  });
  // With the notes chosen, the file --midi --notes writes; else --midi's.
  on("download-midi", async (r) => {
    const sound = await soundOf(r);
    return [`${baseName()}.mid`, "audio/midi", chosenSounds(r).notes ? sound.withNotes : sound.midi];
  });
  on("download-beats", async (r) => [`${baseName()}-beats.csv`, "text/csv", (await soundOf(r)).beatsCsv]);
  on("download-wav", async (r) => {
    const want = chosenSounds(r);
    const sound = await soundOf(r);
    const button = document.getElementById("download-wav");
    button.disabled = true;
    downloadStatus.textContent = "Making the WAV file...";
    try {
      const { channels, rate } = await renderWav({
        midi: want.notes ? sound.notesOnly : null, beats: want.click ? sound.beats : null, seconds: sound.listen.end,
      });
      downloadStatus.textContent = "";
      const name = want.notes ? (want.click ? "notes-and-click" : "notes") : "click";
      return [`${baseName()}-${name}.wav`, "audio/wav", wavBytes(channels, rate)];
    } finally {
      button.disabled = false;
    }
  });
  const scoreName = () => (baseName() === "ramp" ? "ramp" : `${baseName()}-ramp`);
  on("download-musicxml", async (r) => [`${scoreName()}.musicxml`, "application/vnd.recordare.musicxml+xml",
    (await engine.musicxml(r)).bytes]);
}

function wirePlayback() {
  const play = document.getElementById("play");
  const stop = document.getElementById("stop");
  const note = document.getElementById("play-status");
  const playhead = new Playhead(document.getElementById("tempo-map"));
  let frame = 0;
  const idle = () => {
    cancelAnimationFrame(frame);
    playhead.hide();
    const hadFocus = document.activeElement === stop || document.activeElement === document.body;
    play.disabled = false;
    stop.disabled = true;
    if (hadFocus) play.focus();
    announce(null);
  };
  // The measure playing, announced as each begins, and the playhead.
  const follow = (result, played, loop) => {
    const where = () => {
      const elapsed = player.elapsed();
      return elapsed === null ? null : { ...whereAt(played, elapsed, loop), elapsed };
    };
    playhead.follow(() => where()?.at ?? null, played.beats, result);
    let last = null;
    const step = () => {
      const now = where();
      if (now === null) return;
      for (const m of measuresBegun(played, last, now)) {
        announce({ measure: m.measure, heard: m.heard, seconds: m.at, pass: m.pass, played: m.played });
      }
      last = now;
      frame = requestAnimationFrame(step);
    };
    step();
  };
  play.addEventListener("click", () => {
    if (!shown || player.busy) return;
    performance.mark("zorv-play");
    const result = shown;
    const choice = soundChoice();
    const first = result.leadIn;
    let played = null;
    const taking = player.play(soundOf(result).then((sound) => {
      played = passage(sound.listen, { first: first.heard, sounds: choice.sounds, countIn: choice.countIn });
      return played;
    }), {
      loop: choice.loop,
      started: () => {
        note.textContent = `Playing from measure ${first.measure}${choice.loop ? ", again and again until Stop" : ""}.`;
        follow(result, played, choice.loop);
      },
      ended: () => {
        note.textContent = "";
        idle();
      },
      failed: (reason) => {
        note.textContent = `The sound could not start (${reason}). Press Play to try again.`;
        idle();
      },
    });
    if (!taking) return;
    play.disabled = true;
    stop.disabled = false;
    stop.focus();
    note.textContent = "Starting the sound...";
  });
  stop.addEventListener("click", () => player.stop());
  for (const input of document.querySelectorAll("input[name=sounds]")) {
    input.addEventListener("change", () => { soundsWanted = input.value; });
  }
  // The synthesizer loads at the first touch of the page, so that Play
  // sounds at once.
  const warm = () => {
    removeEventListener("pointerdown", warm, true);
    removeEventListener("keydown", warm, true);
    player.prepare().catch(() => { /* Play says it */ });
  };
  addEventListener("pointerdown", warm, true);
  addEventListener("keydown", warm, true);
}

function wireDrop() {
  const body = document.body;
  body.addEventListener("dragover", (e) => { e.preventDefault(); body.classList.add("dropping"); });
  body.addEventListener("dragleave", () => body.classList.remove("dropping"));
  body.addEventListener("drop", (e) => {
    e.preventDefault();
    body.classList.remove("dropping");
    const file = e.dataTransfer.files[0];
    if (file) openScore(file);
  });
}

// The ramps in order, the form's own first, as the command line's arguments.
function allRuns() {
  const { runs, ...first } = argumentsOf({ ...pageState(), hits: [] });
  return [first, ...(runs ?? [])];
}

// The ramps written back in a new order: the first into the form, the rest
// into their rows.
function writeAllRuns(runs) {
  writeForm(form, runPatch(runs[0]));
  writeRuns(runsList, runs.slice(1));
}

// A new ramp after the last: from the measure after its end, as long
// (within the score's measures, when a result has counted them), back from
// its stop tempo to its start.
function nextRun(last) {
  const [lastFrom, lastTo] = [last.from, last.to].map((point) => Number.parseInt(point, 10));
  const span = Number.isFinite(lastFrom) && Number.isFinite(lastTo) ? Math.max(0, lastTo - lastFrom) : 3;
  const most = shown?.measureCount ?? Infinity;
  const from = Math.min(Number.isFinite(lastTo) ? lastTo + 1 : 1, most);
  const to = Math.min(from + span, most);
  return { from: String(from), to: String(to), start: last.stop ?? last.start, stop: last.start, after: "stop" };
}

function wireRows() {
  const focus = (selector) => document.querySelector(selector)?.focus();
  document.getElementById("add-run").addEventListener("click", () => {
    const runs = allRuns();
    writeAllRuns([...runs, nextRun(runs[runs.length - 1])]);
    focus(`#run-${runs.length + 1}-from`);
    update("edit");
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
    update("edit");
  });
  document.getElementById("add-hit").addEventListener("click", () => {
    const hits = readHits(hitsList);
    writeHits(hitsList, [...hits, { position: "", time: "" }]);
    focus(`#hit-${hits.length + 1}-position`);
    update("edit");
  });
  hitsList.addEventListener("click", (event) => {
    const action = event.target.closest('[data-action="remove"]');
    if (!action) return;
    const hits = readHits(hitsList);
    const index = Number(action.getAttribute("data-index")) - 1;
    hits.splice(index, 1);
    writeHits(hitsList, hits);
    focus(hits.length ? `#hit-${Math.min(index, hits.length - 1) + 1}-position` : "#add-hit");
    update("edit");
  });
}

async function main() {
  const linkState = stateFromQuery(location.search);
  linked = linkState.scoreName ?? null;
  writeForm(form, linkState);
  writeRuns(runsList, linkState.runs ?? []);
  writeHits(hitsList, linkState.hits ?? []);
  document.getElementById("fps").value = linkState.fps ?? "";
  document.getElementById("cue-start").value = linkState.cueStart ?? "";
  document.getElementById("hit-unit").value = linkState.hitUnit ?? "";
  showHitsMode();
  showModes(form, readForm(form));
  showScoreOpen();
  engine = loadEngine();
  form.addEventListener("input", (e) => {
    if (e.target.type === "file") return;
    forgetUnwritten(e.target.name);
    if (e.target.id.endsWith("-stop-kind")) showStopKind(e.target.closest("li"));
    update("edit", e.target);
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
  document.getElementById("score").addEventListener("change", (e) => {
    if (e.target.files[0]) openScore(e.target.files[0]);
  });
  recordsDetails.addEventListener("toggle", fillRecords);
  // The measure playing, as the player announces it, marked on the score.
  document.addEventListener("zorv-playing", (event) => {
    notation.markPlaying(event.detail?.measure ?? null);
    strip.markPlaying(event.detail?.measure ?? null);
  });
  wireDownloads();
  wirePlayback();
  wireDrop();
  wireRows();
  await update("address");
}

main().catch((error) => {
  withdrawResult(`The preview failed: ${error.message}`, true);
  console.error(error);
});
