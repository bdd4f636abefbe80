// The page's sound: the score's notes on a sampled piano (spessasynth's
// SoundFont synthesizer in an AudioWorklet) and the click, scheduled
// together on the audio clock; and the same rendered offline into a WAV
// file, off the main thread. What sounds when comes from passage.js.
import { WorkletSynthesizer } from "spessasynth_lib";
import { BasicMIDI } from "spessasynth_core";
import processorCode from "zorv-synth-processor";
import pianoBank from "zorv-piano-bank";
import { clickWave, mixClicks, SAMPLE_RATE } from "./click.js";
import { passEvents } from "./passage.js";

// Events are handed to the audio clock this far ahead of their time, by a
// timer that comes this often: timer jitter never moves a sound, and Stop
// leaves at most this much queued in the synthesizer.
const LOOKAHEAD_SECONDS = 0.2;
const TIMER_MS = 25;
// From Play to the first sound: enough for the first events to reach the
// synthesizer's thread.
const LEAD_SECONDS = 0.05;
// A start (the audio device, the synthesizer) that takes longer has failed.
export const START_TIMEOUT_MS = 5000;
// What the piano still sounds after the last note ends, kept in the WAV.
const RELEASE_SECONDS = 1.0;
const CHANNELS = 16;
const ALL_SOUND_OFF = 120;
const VOLUME = 7;
const DEFAULT_VOLUME = 100;

// An AudioWorklet module from a file opened from file:// (the page's origin
// is "null") loads in every engine only from a data: URL.
let processorUrl = null;
function synthProcessorUrl() {
  if (!processorUrl) {
    const bytes = new TextEncoder().encode(processorCode);
    let binary = "";
    for (let i = 0; i < bytes.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    processorUrl = `data:text/javascript;base64,${btoa(binary)}`;
  }
  return processorUrl;
}

// The bank is handed over (and so detached) on every load: each gets a copy.
const bankCopy = () => pianoBank.slice().buffer;

// A synthesizer with the piano loaded, in `context`.
async function loadSynth(context) {
  await context.audioWorklet.addModule(synthProcessorUrl());
  const synth = new WorkletSynthesizer(context);
  await synth.soundBankManager.addSoundBank(bankCopy(), "piano");
  await synth.isReady;
  return synth;
}

function withTimeout(promise, ms, what) {
  let timer = 0;
  const late = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what} did not start within ${ms / 1000} seconds`)), ms);
  });
  return Promise.race([promise, late]).finally(() => clearTimeout(timer));
}

// When the first sound is due: the earliest click or note.
function firstTime(played) {
  const times = [...played.clicks.map((c) => c.at), ...played.notes.map((n) => n.at)];
  return played.countIn + Math.min(...times);
}

// The moment the first sound leaves the speakers, on the page's clock, as
// the performance mark "zorv-first-sound" (what the benchmark reads).
function markFirstSound(context, time) {
  const stamp = context.getOutputTimestamp?.();
  const known = stamp && stamp.performanceTime > 0;
  const at = known ? stamp.performanceTime + (time - stamp.contextTime) * 1000
    : performance.now() + (time - context.currentTime + (context.outputLatency || 0)) * 1000;
  performance.mark("zorv-first-sound", { startTime: at });
}

// Plays passages (passage.js) through one AudioContext, made on first use.
// play() may be called again at any time: the newer request wins and the
// older one never sounds; stop() always stops, also while a start is under
// way.
export class SoundPlayer {
  constructor(makeContext = () => new AudioContext()) {
    this.makeContext = makeContext;
    this.context = null;
    this.synth = null;       // a promise of the synthesizer, once asked for
    this.session = 0;        // the newest play or stop
    this.timer = 0;
    this.output = null;      // this playing's gain: cut at Stop
    this.quietUntil = 0;     // the audio time after which nothing stale can sound
    this.onEnd = null;
    this.origin = 0;
  }

  get playing() { return this.timer !== 0; }

  contextFor() {
    if (!this.context) this.context = this.makeContext();
    return this.context;
  }

  // Loads the synthesizer ahead of Play where the browser allows it, so
  // that Play sounds at once. Failures are kept for Play to report.
  prepare() {
    if (!this.synth) {
      const context = this.contextFor();
      this.synth = loadSynth(context);
      this.synth.then(() => performance.mark("zorv-sound-ready"), () => { this.synth = null; });
    }
    return this.synth;
  }

  // played: passage(); loop: again and again until stop(). onEnd runs once,
  // when the passage has sounded or at stop(). Rejects when the sound could
  // not start (then nothing plays and onEnd does not run).
  async play(played, { loop = false, onEnd = null } = {}) {
    this.stop();
    const session = ++this.session;
    const context = this.contextFor();
    const ready = [context.resume()];
    if (played.notes.length) ready.push(this.prepare());
    await withTimeout(Promise.all(ready), START_TIMEOUT_MS, "The sound");
    if (session !== this.session) return;
    const synth = played.notes.length ? await this.synth : null;
    if (session !== this.session) return;

    const output = context.createGain();
    output.connect(context.destination);
    if (synth) {
      synth.connect(output);
      this.setUpChannels(synth, played.notes);
    }
    const clicks = { true: this.clickBuffer(true), false: this.clickBuffer(false) };
    const origin = Math.max(context.currentTime + LEAD_SECONDS, this.quietUntil);
    Object.assign(this, { output, onEnd, origin, synthInUse: synth, sources: [], horizon: origin });
    markFirstSound(context, origin + (played.clicks.length || played.notes.length ? firstTime(played) : 0));

    let pass = 0;
    let events = passEvents(played, 0);
    let next = 0;
    const end = played.countIn + played.length;
    const pump = () => {
      const horizon = context.currentTime + LOOKAHEAD_SECONDS;
      for (;;) {
        if (next >= events.length) {
          if (!loop || played.length <= 0) break;
          pass += 1;
          events = passEvents(played, pass);
          next = 0;
          continue;
        }
        const event = events[next];
        const time = origin + event.time;
        if (time > horizon) break;
        this.sound(event, time, clicks);
        if (event.kind !== "click") this.horizon = Math.max(this.horizon, time);
        next += 1;
      }
      if (!loop && context.currentTime > origin + end) this.stop();
    };
    this.timer = setInterval(pump, TIMER_MS);
    pump();
  }

  // Each part's channel plays its program where the bank has it, else the
  // piano, at its volume; a part on the percussion channel plays notes too.
  setUpChannels(synth, notes) {
    const available = new Set(synth.presetList.filter((p) => p.bankMSB === 0 && !p.isGMGSDrum)
      .map((p) => p.program));
    const channels = new Map();
    for (const note of notes) if (!channels.has(note.channel)) channels.set(note.channel, note);
    for (const [channel, note] of channels) {
      if (synth.midiChannels[channel]?.isDrum) synth.midiChannels[channel].setDrums(false);
      synth.programChange(channel, available.has(note.program) ? note.program : 0);
      synth.controllerChange(channel, VOLUME, note.volume ?? DEFAULT_VOLUME);
    }
  }

  sound(event, time, clicks) {
    const context = this.context;
    if (event.kind === "click") {
      const source = context.createBufferSource();
      source.buffer = clicks[event.accent];
      source.connect(this.output);
      source.start(time);
      this.sources.push(source);
      if (this.sources.length > 64) this.sources.shift();
    } else if (event.kind === "on") {
      this.synthInUse.noteOn(event.note.channel, event.note.key, event.note.velocity, { time });
    } else {
      this.synthInUse.noteOff(event.note.channel, event.note.key, { time });
    }
  }

  clickBuffer(accent) {
    const rate = this.context.sampleRate;
    const wave = clickWave(rate, accent);
    const buffer = this.context.createBuffer(1, wave.length, rate);
    buffer.copyToChannel(wave, 0);
    return buffer;
  }

  // Seconds since the passage began (count-in included), while playing.
  elapsed() {
    return this.playing ? this.context.currentTime - this.origin : null;
  }

  stop() {
    this.session += 1;
    if (!this.timer) return;
    clearInterval(this.timer);
    this.timer = 0;
    this.output.disconnect();
    for (const source of this.sources) {
      try { source.stop(); } catch { /* already ended */ }
    }
    this.sources = [];
    const synth = this.synthInUse;
    if (synth) {
      synth.stopAll(true);
      // Notes already queued for the next moments must not sound later:
      // every channel falls silent once they have passed, and the next
      // playing starts after that.
      const after = { time: this.horizon + 0.01 };
      for (let channel = 0; channel < CHANNELS; channel += 1) synth.controllerChange(channel, ALL_SOUND_OFF, 0, after);
      synth.disconnect(this.output);
      this.quietUntil = after.time + 0.01;
    }
    this.synthInUse = null;
    const onEnd = this.onEnd;
    this.onEnd = null;
    if (onEnd) onEnd();
  }
}

// The heard part as a WAV file with what was chosen: the notes of `midi`
// (the MIDI file of the notes alone, rendered by the same synthesizer in an
// OfflineAudioContext, which runs off the main thread) and the clicks of
// `beats` (null: none). seconds: how long the heard part lasts.
export async function renderWav({ midi, beats, seconds }) {
  const rate = SAMPLE_RATE;
  const length = Math.ceil((seconds + RELEASE_SECONDS) * rate);
  const channels = [];
  if (midi) {
    const context = new OfflineAudioContext({ numberOfChannels: 2, length, sampleRate: rate });
    await context.audioWorklet.addModule(synthProcessorUrl());
    const synth = new WorkletSynthesizer(context);
    synth.connect(context.destination);
    await synth.startOfflineRender({
      midiSequence: BasicMIDI.fromArrayBuffer(midi.slice().buffer, "notes.mid"),
      loopCount: 0,
      soundBankList: [{ bankOffset: 0, soundBankBuffer: bankCopy() }],
      sequencerOptions: { skipToFirstNoteOn: false },
    });
    const rendered = await context.startRendering();
    channels.push(rendered.getChannelData(0), rendered.getChannelData(1));
  } else {
    channels.push(new Float32Array(length));
  }
  if (beats) {
    const click = mixClicks(beats, rate);
    for (const channel of channels) {
      for (let i = 0; i < Math.min(click.length, channel.length); i += 1) channel[i] += click[i];
    }
  }
  return { channels, rate };
}
