// The ramp to hear: one click sound, played live through WebAudio or mixed
// into a WAV file, at the beat times the preview computes. Working from the
// beat times keeps every musical rule (meters, dotted beats, tempo records)
// in the shared modules.

export const SAMPLE_RATE = 44100;
const CLICK_SECONDS = 0.04;
const DECAY_SECONDS = 0.008;
// Beside the notes the click keeps time without covering the music.
export const CLICK_UNDER_NOTES = 0.4;
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

// 16-bit PCM, little-endian, what every audio program opens: one channel
// (samples) or several (an array of them, interleaved).
export function wavBytes(samples, rate = SAMPLE_RATE) {
  const channels = Array.isArray(samples) ? samples : [samples];
  const count = channels.length;
  const frames = Math.min(...channels.map((c) => c.length));
  const size = frames * count * 2;
  const bytes = new Uint8Array(44 + size);
  const view = new DataView(bytes.buffer);
  const text = (at, s) => { for (let i = 0; i < s.length; i++) bytes[at + i] = s.charCodeAt(i); };
  text(0, "RIFF");
  view.setUint32(4, 36 + size, true);
  text(8, "WAVE");
  text(12, "fmt ");
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true);
  view.setUint16(22, count, true);
  view.setUint32(24, rate, true);
  view.setUint32(28, rate * count * 2, true);
  view.setUint16(32, count * 2, true);
  view.setUint16(34, 16, true);
  text(36, "data");
  view.setUint32(40, size, true);
  let at = 44;
  for (let i = 0; i < frames; i++) {
    for (const channel of channels) {
      const s = Math.max(-1, Math.min(1, channel[i]));
      view.setInt16(at, Math.round(s * 32767), true);
      at += 2;
    }
  }
  return bytes;
}

// Live clicks: a timer looks a little ahead and hands WebAudio each click
// with its exact start time, so timer jitter never moves a click.
const LOOKAHEAD_SECONDS = 0.25;
const TIMER_MS = 50;
const LEAD_SECONDS = 0.1;

export class ClickPlayer {
  constructor(makeContext) {
    this.makeContext = makeContext;
    this.context = null;
    this.timer = 0;
  }

  get playing() { return this.timer !== 0; }

  // clicks: from clicksFrom. onEnd runs once, when the last click has sounded
  // or Stop is pressed.
  async play(clicks, onEnd) {
    this.stop();
    if (!this.context) this.context = this.makeContext();
    await this.context.resume();
    const ctx = this.context;
    const buffers = { true: this.buffer(true), false: this.buffer(false) };
    const start = ctx.currentTime + LEAD_SECONDS;
    const sources = [];
    let next = 0;
    const end = clicks.length ? clicks[clicks.length - 1].at + CLICK_SECONDS : 0;
    this.startTime = start;
    this.onEnd = onEnd;
    this.sources = sources;
    const pump = () => {
      const horizon = ctx.currentTime - start + LOOKAHEAD_SECONDS;
      while (next < clicks.length && clicks[next].at <= horizon) {
        const source = ctx.createBufferSource();
        source.buffer = buffers[clicks[next].accent];
        source.connect(ctx.destination);
        source.start(start + clicks[next].at);
        sources.push(source);
        next++;
      }
      if (ctx.currentTime - start > end) this.stop();
    };
    this.timer = setInterval(pump, TIMER_MS);
    pump();
  }

  // Seconds since the first click, while playing.
  elapsed() {
    return this.playing ? this.context.currentTime - this.startTime : null;
  }

  buffer(accent) {
    const wave = clickWave(this.context.sampleRate, accent);
    const buffer = this.context.createBuffer(1, wave.length, this.context.sampleRate);
    buffer.copyToChannel(wave, 0);
    return buffer;
  }

  stop() {
    if (!this.timer) return;
    clearInterval(this.timer);
    this.timer = 0;
    for (const source of this.sources) {
      try { source.stop(); } catch { /* already ended */ }
    }
    this.sources = [];
    const onEnd = this.onEnd;
    this.onEnd = null;
    if (onEnd) onEnd();
  }
}
