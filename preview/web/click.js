// The ramp to hear: one click sound, played live (sound.js) or mixed into a
// WAV file at the beat times the preview computes, and the WAV file itself.
// Working from the beat times keeps every musical rule (meters, dotted
// beats, tempo records) in the shared modules.

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

// The passage Play plays, cut from the heard part's rendering (`channels`,
// from its start): from `start` seconds on, after `lead` seconds of count-in,
// with the passage's clicks ({at: seconds from its start, the count-in's
// negative, accent}) mixed in at `level`. New channels; nothing before the
// passage sounds in them.
export function passageChannels(channels, rate, { start, lead, clicks, level = 1 }) {
    const from = Math.round(start * rate);
    const offset = Math.round(lead * rate);
    const out = channels.map((channel) => {
        const cut = new Float32Array(offset + Math.max(0, channel.length - from));
        cut.set(channel.subarray(Math.min(from, channel.length)), offset);
        return cut;
    });
    const click = mixClicks(clicks.map((c) => ({ seconds: c.at + lead, accent: c.accent })), rate);
    for (const channel of out) {
        for (let i = 0; i < Math.min(click.length, channel.length); i += 1) channel[i] += click[i] * level;
    }
    return out;
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
