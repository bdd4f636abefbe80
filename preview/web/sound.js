// Play: the score's notes (through a synthesizer, synth.js) and the click,
// scheduled together on the audio clock from what passage.js says sounds
// when. Stop always stops, also while the sound is starting; a newer Play
// wins over an older one; a start that hangs is given up with a sentence.
import { CLICK_UNDER_NOTES, clickWave } from "./click.js";
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
const CHANNELS = 16;
const ALL_SOUND_OFF = 120;
const VOLUME = 7;
const DEFAULT_VOLUME = 100;

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

// The audio time leaving the speakers now: behind the context's clock by
// the output's latency, so that what is shown goes with what is heard.
function heardTime(context) {
  const stamp = context.getOutputTimestamp?.();
  if (stamp && stamp.performanceTime > 0) return stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000;
  return context.currentTime - (context.outputLatency || 0);
}

// The moment the first sound leaves the speakers, on the page's clock, as
// the performance mark "zorv-first-sound" (what the benchmark reads).
function markFirstSound(context, time) {
  performance.mark("zorv-first-sound", { startTime: performance.now() + (time - heardTime(context)) * 1000 });
}

// Plays passages (passage.js) through one AudioContext, made on first use.
// play() may be called again at any time: the newer request wins and the
// older one never sounds; stop() always stops, also while a start is under
// way.
export class SoundPlayer {
  // makeContext: a new AudioContext; loadSynth(context): a promise of a
  // synthesizer playing in it (synth.js).
  constructor({ makeContext, loadSynth, startTimeoutMs = START_TIMEOUT_MS }) {
    this.makeContext = makeContext;
    this.loadSynth = loadSynth;
    this.startTimeoutMs = startTimeoutMs;
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
      this.synth = this.loadSynth(context);
      this.synth.catch(() => { this.synth = null; });
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
    const loading = played.notes.length ? this.prepare() : null;
    await withTimeout(Promise.all([context.resume(), loading]), this.startTimeoutMs, "The sound");
    const synth = await loading;
    if (session !== this.session) return;

    const output = context.createGain();
    output.connect(context.destination);
    if (synth) {
      synth.connect(output);
      this.setUpChannels(synth, played.notes);
    }
    const level = played.notes.length ? CLICK_UNDER_NOTES : 1;
    const clicks = { true: this.clickBuffer(true, level), false: this.clickBuffer(false, level) };
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

  clickBuffer(accent, level) {
    const rate = this.context.sampleRate;
    const wave = clickWave(rate, accent).map((sample) => sample * level);
    const buffer = this.context.createBuffer(1, wave.length, rate);
    buffer.copyToChannel(wave, 0);
    return buffer;
  }

  // Seconds since the passage began (count-in included), while playing.
  elapsed() {
    return this.playing ? heardTime(this.context) - this.origin : null;
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

