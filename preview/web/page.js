// The preview page: the form, live results, the ramp to hear, downloads and
// the address. Every musical rule comes from the shared preview modules
// through engine.js; this file only moves text between them and the page.
import { argumentsOf, queryOf, stateFromQuery } from "./address.js";
import {
  readForm, writeForm, forgetUnwritten, showModes, errorField, fieldOf, slotOf, SLOT_FIELDS, TYPED,
} from "./form.js";
import { wavBytes } from "./click.js";
import { passage, soundsOf, whereAt } from "./passage.js";
import { SoundPlayer } from "./sound.js";
import { loadSynth, renderWav } from "./synth.js";
import { loadEngine } from "./engine.js";
import { showMap, Playhead } from "./map.js";

const form = document.getElementById("inputs");
const current = document.getElementById("current");
const status = document.getElementById("status");
const player = new SoundPlayer({ makeContext: () => new AudioContext(), loadSynth });
// Measures heard before the region when Play is pressed.
const LEAD_IN_MEASURES = 2;

let engine = null;
let score = null;        // { name, bytes } once a file is opened
let shown = null;        // the result on the page, or null
let generation = 0;      // the newest edit; older computations are dropped
let firstShown = false;

// An input the preview refuses: its sentence beside the field just edited
// (or the one to mend first), unless that field is still empty, which only
// waits for input.
function showInputError(error, edited, state) {
  const fallback = state.source === "score" ? "score" : "time";
  const field = errorField(error.fields, edited, fallback);
  const typed = TYPED[field];
  if (typed && document.getElementById(typed[0]).value.trim() === "") {
    withdrawResult(`Waiting for ${typed[1]}.`, false);
    return;
  }
  const slot = slotOf(field) ?? fallback;
  document.getElementById(`${slot}-error`).textContent = error.sentence;
  for (const id of SLOT_FIELDS[slot]) document.getElementById(id).setAttribute("aria-invalid", "true");
  withdrawResult("No result: correct the input marked above.", true);
}

function clearErrors() {
  for (const slot of Object.keys(SLOT_FIELDS)) {
    document.getElementById(`${slot}-error`).textContent = "";
    for (const id of SLOT_FIELDS[slot]) document.getElementById(id).removeAttribute("aria-invalid");
  }
}

// Nothing old stays on show as if it answered the inputs now on the form.
function withdrawResult(message, isError) {
  player.stop();
  shown = null;
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
  document.getElementById("summary").textContent = result.summaryText;
  document.getElementById("finale").textContent = result.finaleText;
  showMap(document.getElementById("tempo-map"), result, document.getElementById("record-info"));
  const count = result.records.length;
  document.getElementById("record-count").textContent = `${count} record${count === 1 ? "" : "s"}`;
  fillRecords();
  showSoundChoice(result);
  // The piano loads while the musician reads, so that Play sounds at once.
  if (result.hasNotes) player.prepare().catch(() => { /* Play says it */ });
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
  recordsBody.innerHTML = shown.records.map((r) =>
    `<tr><td>${r.measure}</td><td>${r.beat}</td><td>${r.bpm}</td><td>${r.value}</td></tr>`).join("");
}

// origin: what asked for it ("edit", "score", "address"); control: the
// control edited, if any.
async function update(origin, control = null) {
  const mine = ++generation;
  const started = performance.now();
  const state = readForm(form);
  const edited = control ? fieldOf(control, state) : null;
  showModes(form, state);
  const args = argumentsOf(state);
  history.replaceState(null, "", queryOf(args) || location.pathname);
  clearErrors();
  if (state.source === "score" && !score) {
    withdrawResult("Open a MusicXML score, or choose meter runs.", false);
    return;
  }
  status.textContent = "Working...";
  try {
    const result = await engine.preview(args, state.source === "score" ? score : null);
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
    if (engine.isInputError(error)) {
      showInputError(error, edited, state);
    } else {
      withdrawResult(`The preview failed: ${error.message}`, true);
      console.error(error);
    }
  }
}

// The score's bytes are kept and read with every update, like --score.
async function openScore(file) {
  score = { name: file.name, bytes: new Uint8Array(await file.arrayBuffer()) };
  writeForm(form, { source: "score" });
  await update("score");
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

// The choice of what sounds, as the page's controls hold it.
function soundChoice() {
  return {
    sounds: document.querySelector("input[name=sounds]:checked").value,
    countIn: document.getElementById("count-in").checked,
    loop: document.getElementById("loop").checked,
  };
}

// Meter runs have no notes: the choice says so rather than offering them.
function showSoundChoice(result) {
  for (const input of document.querySelectorAll("input[name=sounds]")) {
    input.disabled = !result.hasNotes && input.value !== "click";
  }
  document.getElementById("sound-note").textContent = result.hasNotes ? ""
    : "Meter runs have no notes: only the click sounds. Open a score to hear its music.";
}

// What the choice sounds for this result: {notes, click}.
function chosenSounds(result) {
  return soundsOf({ notes: result.hasNotes ? [true] : [] }, soundChoice().sounds);
}

function wireDownloads() {
  const on = (id, act) => document.getElementById(id).addEventListener("click", async () => {
    if (!shown) return;
    const result = shown;
    const sound = await result.sound();
    if (result === shown) await act(sound, result);
  });
  // With notes chosen, the file --midi --notes writes; else --midi's.
  on("download-midi", (s, r) => download(`${baseName()}.mid`, "audio/midi",
    chosenSounds(r).notes ? r.notesMidi().withNotes : s.midi));
  on("download-beats", (s) => download(`${baseName()}-beats.csv`, "text/csv", s.beatsCsv));
  on("download-wav", async (s, r) => {
    const want = chosenSounds(r);
    const button = document.getElementById("download-wav");
    const note = document.getElementById("play-status");
    button.disabled = true;
    note.textContent = "Making the WAV file...";
    try {
      const { channels, rate } = await renderWav({
        midi: want.notes ? r.notesMidi().notesOnly : null, beats: want.click ? s.beats : null,
        seconds: r.listen().end,
      });
      const name = want.notes ? (want.click ? "notes-and-click" : "notes") : "click";
      download(`${baseName()}-${name}.wav`, "audio/wav", wavBytes(channels, rate));
      note.textContent = "";
    } catch (error) {
      note.textContent = `The WAV file could not be made: ${error.message}`;
      console.error(error);
    } finally {
      button.disabled = false;
    }
  });
  const scoreName = () => (baseName() === "ramp" ? "ramp" : `${baseName()}-ramp`);
  on("download-musicxml", async (s, r) => download(`${scoreName()}.musicxml`,
    "application/vnd.recordare.musicxml+xml", (await r.musicxml()).text));
}

// The measure playing, for whatever marks it (the notation): a
// "zorv-playing" event on the document with {measure, seconds} each time
// another measure begins, and null when playing ends.
function announce(detail) {
  document.dispatchEvent(new CustomEvent("zorv-playing", { detail }));
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
      return elapsed === null ? null : whereAt(played, elapsed, loop);
    };
    playhead.follow(() => where()?.at ?? null, played.beats, result);
    let last = null;
    const step = () => {
      const now = where();
      if (now === null) return;
      if (now.measure !== null && (now.heard !== last?.heard || now.pass !== last?.pass)) {
        announce({ measure: now.measure, heard: now.heard, seconds: now.at, pass: now.pass });
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
    const first = result.leadIn(LEAD_IN_MEASURES);
    const played = passage(result.listen(), { first: first.heard, sounds: choice.sounds, countIn: choice.countIn });
    const taking = player.play(played, {
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
    note.textContent = "Starting...";
  });
  stop.addEventListener("click", () => {
    player.stop();
    play.focus();
  });
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

async function main() {
  writeForm(form, stateFromQuery(location.search));
  showModes(form, readForm(form));
  engine = await loadEngine();
  form.addEventListener("input", (e) => {
    if (e.target.type === "file") return;
    if (e.target.type === "radio") forgetUnwritten(e.target.name);
    update("edit", e.target);
  });
  form.addEventListener("submit", (e) => e.preventDefault());
  document.getElementById("score").addEventListener("change", (e) => {
    if (e.target.files[0]) openScore(e.target.files[0]);
  });
  recordsDetails.addEventListener("toggle", fillRecords);
  wireDownloads();
  wirePlayback();
  wireDrop();
  await update("address");
}

main().catch((error) => {
  withdrawResult(`The preview failed: ${error.message}`, true);
  console.error(error);
});
