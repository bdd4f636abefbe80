// Play: the score's notes (through a synthesizer, synth.js) and the click,
// scheduled together on the audio clock from what passage.js says sounds
// when. Stop always stops, also while the sound is starting; a newer Play
// wins over an older one; a start that hangs is given up with a sentence.
import { CLICK_UNDER_NOTES, clickWave } from "./click.js";
import { passEvents } from "./passage.js";
import { withinSeconds } from "./deadline.js";

// Events are handed to the audio clock this far ahead of their time, by a
// timer that comes this often: timer jitter never moves a sound, and Stop
// leaves at most this much queued in the synthesizer.
const LOOKAHEAD_SECONDS = 0.2;
const TIMER_MS = 25;
// From Play to the first sound: enough for the first events to reach the
// synthesizer's thread.
const LEAD_SECONDS = 0.05;
// A start (the audio device, the synthesizer) that takes longer has failed.
export const START_SECONDS = 4;
const CHANNELS = 16;
const PERCUSSION_CHANNEL = 9;
const ALL_SOUND_OFF = 120;
const VOLUME = 7;
const DEFAULT_VOLUME = 100;

// When the first sound is due: the earliest click or note.
function firstTime(played) {
    const times = [...played.clicks.map((c) => c.at), ...played.notes.map((n) => n.at)];
    return played.countIn + Math.min(...times);
}

// The audio time leaving the speakers now: behind the context's clock by
// the output's latency, so that what is shown goes with what is heard.
// (getOutputTimestamp would say it too, but WebKit's drifts from the page's
// clock by a second and more.)
function heardTime(context) {
    return context.currentTime - (context.outputLatency || 0);
}

// The moment the first sound leaves the speakers, on the page's clock, as
// the performance mark "zorv-first-sound" (what the benchmark reads).
function markFirstSound(context, time) {
    performance.mark("zorv-first-sound", { startTime: performance.now() + (time - heardTime(context)) * 1000 });
}

// Plays passages (passage.js) through one AudioContext, one playback at a
// time, from Play to its end or to Stop. An audio device may never start (a
// headless browser's stays suspended) or fail to: Stop ends a playback also
// while it starts, and a start that fails or takes too long says so and
// leaves the player free for the next Play, on a new device.
export class SoundPlayer {
    // makeContext: a new AudioContext; loadSynth(context): a promise of a
    // synthesizer playing in it (synth.js); startSeconds: how long a start
    // may take.
    constructor({ makeContext, loadSynth, startSeconds = START_SECONDS }) {
        this.makeContext = makeContext;
        this.loadSynth = loadSynth;
        this.startSeconds = startSeconds;
        this.context = null;
        this.synth = null;       // a promise of the synthesizer in this context, once asked for
        this.warmed = null;      // the instruments made ready in it (warm)
        this.run = null;         // the playback on: starting or playing
        this.quietUntil = 0;     // the audio time after which nothing queued before can sound
    }

    // Whether a playback is starting or playing.
    get busy() { return this.run !== null; }

    contextFor() {
        this.context ??= this.makeContext();
        return this.context;
    }

    // Loads the synthesizer ahead of Play where the browser allows it, so
    // that Play sounds at once. A failure is left for Play to meet again.
    prepare() {
        if (!this.synth) {
            this.warmed = null;
            const synth = this.loadSynth(this.contextFor());
            this.synth = synth;
            synth.catch(() => { if (this.synth === synth) this.synth = null; });
        }
        return this.synth;
    }

    // Makes the synthesizer ready to sound these parts ({channel, program,
    // low, high}, session.js's soundingParts) at once: each instrument's
    // samples are decoded the first time a key of it is struck, which on a
    // big score's first Play would hold up the first notes. Struck here,
    // silently (nothing is connected to the speakers between playings), once
    // for each instrument and range, never while a playback is on.
    async warm(parts) {
        const synth = await this.prepare();
        if (this.run) return;
        this.warmed ??= new Set();
        for (const part of parts) {
            const id = `${part.channel === PERCUSSION_CHANNEL ? "drums" : "program"} ${part.program} ${part.low} ${part.high}`;
            if (this.warmed.has(id) || part.channel >= CHANNELS) continue;
            this.warmed.add(id);
            this.setUpChannel(synth, part.channel, part.program, 0);
            for (let key = part.low; key <= part.high; key += 1) synth.noteOn(part.channel, key, 1);
            synth.stopAll(true);
        }
    }

    // passage: a passage() or a promise of one; loop: again and again until
    // stop(). Then, once each: started() when the first sound is scheduled,
    // and either ended() (the passage has sounded, or Stop) or
    // failed(reason) (the sound did not start). False, and nothing done,
    // while another playback is on.
    play(passage, { loop = false, started = () => {}, ended = () => {}, failed = () => {} } = {}) {
        if (this.run) return false;
        const run = { loop, ended, timer: 0, sources: [], output: null, synth: null, origin: null, horizon: 0 };
        this.run = run;
        this.start(run, passage, started, failed);
        return true;
    }

    async start(run, passage, started, failed) {
        try {
            const context = this.contextFor();
            const played = await passage;
            if (this.run !== run) return;
            const loading = played.notes.length ? this.prepare() : null;
            await this.inTime(Promise.all([context.resume(), loading]));
            if (this.run !== run) return;
            if (context.state !== "running") throw new Error("the audio device did not start");
            this.schedule(run, context, played, await loading);
            started();
        } catch (error) {
            if (this.run !== run) return;
            this.run = null;
            // A device that would not start is not asked again: the next Play
            // opens a new one (and loads the synthesizer into it).
            this.release();
            failed(error && error.message ? error.message : String(error));
        }
    }

    // The device and the synthesizer in it let go, as when the page is left:
    // a browser may keep a left page's audio worklet, with its sample
    // decoder's memory, until it collects it (WebKit, a few dozen pages on,
    // once had no memory left for a new page's decoder). The next Play opens
    // a new device.
    release() {
        this.stop();
        const context = this.context;
        this.context = null;
        this.synth = null;
        this.warmed = null;
        if (context) Promise.resolve().then(() => context.close()).catch(() => {});
    }

    inTime(promise) {
        return withinSeconds(promise, this.startSeconds, `the audio device did not start within ${this.startSeconds} seconds`);
    }

    schedule(run, context, played, synth) {
        const output = context.createGain();
        output.connect(context.destination);
        if (synth) {
            synth.connect(output);
            this.setUpChannels(synth, played.notes);
        }
        const level = played.notes.length ? CLICK_UNDER_NOTES : 1;
        const clicks = { true: this.clickBuffer(context, true, level), false: this.clickBuffer(context, false, level) };
        const origin = Math.max(context.currentTime + LEAD_SECONDS, this.quietUntil);
        Object.assign(run, { output, synth, origin, horizon: origin });
        if (played.clicks.length || played.notes.length) markFirstSound(context, origin + firstTime(played));

        let pass = 0;
        let events = passEvents(played, 0);
        let next = 0;
        const end = played.countIn + played.length;
        const pump = () => {
            const horizon = context.currentTime + LOOKAHEAD_SECONDS;
            for (;;) {
                if (next >= events.length) {
                    if (!run.loop || played.length <= 0) break;
                    pass += 1;
                    events = passEvents(played, pass);
                    next = 0;
                    continue;
                }
                const event = events[next];
                const time = origin + event.time;
                if (time > horizon) break;
                this.sound(run, context, event, time, clicks);
                next += 1;
            }
            if (!run.loop && context.currentTime > origin + end) this.stop();
        };
        run.timer = setInterval(pump, TIMER_MS);
        pump();
    }

    // Each part's channel plays its General MIDI program at its volume, the
    // percussion channel the drum kit (as a MIDI player plays the download).
    setUpChannels(synth, notes) {
        const channels = new Map();
        for (const note of notes) if (!channels.has(note.channel)) channels.set(note.channel, note);
        for (const [channel, note] of channels) this.setUpChannel(synth, channel, note.program, note.volume ?? DEFAULT_VOLUME);
    }

    setUpChannel(synth, channel, program, volume) {
        const drums = channel === PERCUSSION_CHANNEL;
        if (synth.midiChannels[channel] && synth.midiChannels[channel].isDrum !== drums) synth.midiChannels[channel].setDrums(drums);
        synth.programChange(channel, program);
        synth.controllerChange(channel, VOLUME, volume);
    }

    sound(run, context, event, time, clicks) {
        if (event.kind === "click") {
            const source = context.createBufferSource();
            source.buffer = clicks[event.accent];
            source.connect(run.output);
            source.start(time);
            run.sources.push(source);
            if (run.sources.length > 64) run.sources.shift();
            return;
        }
        if (event.kind === "on") run.synth.noteOn(event.note.channel, event.note.key, event.note.velocity, { time });
        else run.synth.noteOff(event.note.channel, event.note.key, { time });
        run.horizon = Math.max(run.horizon, time);
    }

    clickBuffer(context, accent, level) {
        const rate = context.sampleRate;
        const wave = clickWave(rate, accent).map((sample) => sample * level);
        const buffer = context.createBuffer(1, wave.length, rate);
        buffer.copyToChannel(wave, 0);
        return buffer;
    }

    // Seconds since the passage began (count-in included), while playing;
    // null otherwise.
    elapsed() {
        const run = this.run;
        return run && run.origin !== null ? heardTime(this.context) - run.origin : null;
    }

    // Ends the playback on, whether it plays or still starts.
    stop() {
        const run = this.run;
        if (!run) return;
        this.run = null;
        clearInterval(run.timer);
        if (run.output) run.output.disconnect();
        for (const source of run.sources) {
            try { source.stop(); } catch { /* already ended */ }
        }
        if (run.synth) {
            run.synth.stopAll(true);
            // Notes already queued for the next moments must not sound later:
            // every channel falls silent once they have passed, and the next
            // playing starts after that.
            const after = { time: run.horizon + 0.01 };
            for (let channel = 0; channel < CHANNELS; channel += 1) run.synth.controllerChange(channel, ALL_SOUND_OFF, 0, after);
            run.synth.disconnect(run.output);
            this.quietUntil = after.time + 0.01;
        }
        run.ended();
    }
}
