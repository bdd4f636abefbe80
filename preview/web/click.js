// The ramp to hear: one click sound, played live through WebAudio or mixed
// into a WAV file, at the beat times the preview computes. Working from the
// beat times keeps every musical rule (meters, dotted beats, tempo records)
// in the shared modules.

export const SAMPLE_RATE = 44100;
const CLICK_SECONDS = 0.04;
const DECAY_SECONDS = 0.008;
// Downbeats higher and louder, as a metronome's bell.
const VOICES = { accent: { hz: 1760, gain: 0.9 }, beat: { hz: 1320, gain: 0.55 } };

// A click's samples: a sine that starts at full height (a sharp onset) and
// dies away within a few milliseconds.
export function clickWave(rate, accent) {
  const voice = accent ? VOICES.accent : VOICES.beat;
  const wave = new Float32Array(Math.round(CLICK_SECONDS * rate));
  for (let i = 0; i < wave.length; i++) {
    const t = i / rate;
    wave[i] = voice.gain * Math.sin(2 * Math.PI * voice.hz * t) * Math.exp(-t / DECAY_SECONDS);
  }
  return wave;
}

// The beats from the start of a measure on, as the score is heard (`first`:
// the measure's place in the hearing, from 1; repeats hear a measure again),
// timed from that measure's first beat; the playhead needs the rest of each
// row as it is.
export function clicksFrom(beats, first) {
  const heard = beats.filter((b) => b.heard >= first);
  if (heard.length === 0) return [];
  const origin = heard[0].seconds;
  return heard.map((b) => ({ ...b, at: b.seconds - origin }));
}

// Every beat mixed into one track, from time 0 to the last click's end.
export function mixClicks(beats, rate = SAMPLE_RATE) {
  const waves = { true: clickWave(rate, true), false: clickWave(rate, false) };
  const last = beats.length ? beats[beats.length - 1].seconds : 0;
  const samples = new Float32Array(Math.ceil(last * rate) + waves.true.length + 1);
  for (const beat of beats) {
    const wave = waves[beat.accent];
    const at = Math.round(beat.seconds * rate);
    for (let i = 0; i < wave.length; i++) samples[at + i] += wave[i];
  }
  return samples;
}

// 16-bit PCM, one channel, little-endian: what every audio program opens.
export function wavBytes(samples, rate = SAMPLE_RATE) {
  const bytes = new Uint8Array(44 + samples.length * 2);
  const view = new DataView(bytes.buffer);
  const text = (at, s) => { for (let i = 0; i < s.length; i++) bytes[at + i] = s.charCodeAt(i); };
  text(0, "RIFF");
  view.setUint32(4, 36 + samples.length * 2, true);
  text(8, "WAVE");
  text(12, "fmt ");
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true);
  view.setUint16(22, 1, true);
  view.setUint32(24, rate, true);
  view.setUint32(28, rate * 2, true);
  view.setUint16(32, 2, true);
  view.setUint16(34, 16, true);
  text(36, "data");
  view.setUint32(40, samples.length * 2, true);
  for (let i = 0; i < samples.length; i++) {
    const s = Math.max(-1, Math.min(1, samples[i]));
    view.setInt16(44 + i * 2, Math.round(s * 32767), true);
  }
  return bytes;
}

// Live clicks: a timer looks a little ahead and hands WebAudio each click
// with its exact start time, so timer jitter never moves a click.
const LOOKAHEAD_SECONDS = 0.25;
const TIMER_MS = 50;
const LEAD_SECONDS = 0.1;
// An audio device that has not started by then is taken not to start.
export const START_SECONDS = 4;

// One playback at a time, from Play to its end or to Stop. An audio device
// may never start (a headless browser's stays suspended) or fail to: Stop
// ends a playback also while it starts, and a start that fails or takes too
// long says so and leaves the player free for the next Play.
export class ClickPlayer {
  constructor(makeContext, startSeconds = START_SECONDS) {
    this.makeContext = makeContext;
    this.startSeconds = startSeconds;
    this.context = null;
    this.run = null;
  }

  // Whether a playback is starting or playing.
  get busy() { return this.run !== null; }

  // clicks: a promise of clicksFrom's clicks. Then, once each: started()
  // when the first click is scheduled, and either ended() (the last click
  // has sounded, or Stop) or failed(reason) (the sound did not start).
  // False, and nothing done, while another playback is on.
  play(clicks, { started = () => {}, ended = () => {}, failed = () => {} } = {}) {
    if (this.run) return false;
    const run = { ended, timer: 0, sources: [], startTime: null };
    this.run = run;
    this.start(run, clicks, started, failed);
    return true;
  }

  async start(run, clicks, started, failed) {
    try {
      this.context ??= this.makeContext();
      const context = this.context;
      const [heard] = await Promise.all([clicks, this.resumed(context)]);
      if (this.run !== run) return;
      if (context.state !== "running") throw new Error("the audio device did not start");
      this.schedule(run, context, heard);
      started();
    } catch (error) {
      if (this.run !== run) return;
      this.run = null;
      // A device that would not start is not asked again: the next Play
      // opens a new one.
      const context = this.context;
      this.context = null;
      if (context) Promise.resolve().then(() => context.close()).catch(() => {});
      failed(error && error.message ? error.message : String(error));
    }
  }

  resumed(context) {
    let timer = 0;
    const late = new Promise((_, reject) => {
      timer = setTimeout(() => reject(new Error(`the audio device did not start within ${this.startSeconds} seconds`)),
        this.startSeconds * 1000);
    });
    return Promise.race([context.resume(), late]).finally(() => clearTimeout(timer));
  }

  schedule(run, context, clicks) {
    const buffers = { true: this.buffer(context, true), false: this.buffer(context, false) };
    const start = context.currentTime + LEAD_SECONDS;
    const end = clicks.length ? clicks[clicks.length - 1].at + CLICK_SECONDS : 0;
    run.startTime = start;
    let next = 0;
    const pump = () => {
      const horizon = context.currentTime - start + LOOKAHEAD_SECONDS;
      while (next < clicks.length && clicks[next].at <= horizon) {
        const source = context.createBufferSource();
        source.buffer = buffers[clicks[next].accent];
        source.connect(context.destination);
        source.start(start + clicks[next].at);
        run.sources.push(source);
        next++;
      }
      if (context.currentTime - start > end) this.stop();
    };
    run.timer = setInterval(pump, TIMER_MS);
    pump();
  }

  // Seconds since the first click, while playing; null otherwise.
  elapsed() {
    const run = this.run;
    return run && run.startTime !== null ? this.context.currentTime - run.startTime : null;
  }

  buffer(context, accent) {
    const wave = clickWave(context.sampleRate, accent);
    const buffer = context.createBuffer(1, wave.length, context.sampleRate);
    buffer.copyToChannel(wave, 0);
    return buffer;
  }

  // Ends the playback on, whether it plays or still starts.
  stop() {
    const run = this.run;
    if (!run) return;
    this.run = null;
    clearInterval(run.timer);
    for (const source of run.sources) {
      try { source.stop(); } catch { /* already ended */ }
    }
    run.ended();
  }
}
