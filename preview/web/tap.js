// "Tap the ramp": one measure counted in at the start tempo, then the
// musician taps each beat of the passage (Space or Enter on the pad, or a
// touch or click on it); the click follows the taps unless silence is
// chosen. When every beat is tapped (or Done, or Escape) the fit (taps.js)
// is shown against the taps and offered as the ramp. The passage's beats
// come with the shown result, from the Worker.
import { InputError, UNITS_PER_QUARTER } from "../lib/music.js";
import { curve } from "../lib/shapes.js";
import { fitTaps, matchTaps } from "../lib/taps.js";
import { clickWave } from "./click.js";
import { showTaps } from "./map.js";
import { readForm, writeForm } from "./form.js";
import { SVG_NS } from "./svg.js";

const TAP_KEYS = new Set([" ", "Enter"]);

// When the hand struck: the event's own time, which a page busy with a
// drawing or the previous tap does not make late as the handler's clock
// would.
function tapTime(event) {
    return event.timeStamp > 0 ? event.timeStamp : performance.now();
}

// The clicks, through one AudioContext made at the first start (a page
// may not sound before a gesture); none where the browser has no audio.
class Clicks {
    play(accent, at = null) {
        try {
            this.context ??= new AudioContext();
            const wave = clickWave(this.context.sampleRate, accent);
            const buffer = this.context.createBuffer(1, wave.length, this.context.sampleRate);
            buffer.copyToChannel(wave, 0);
            const source = this.context.createBufferSource();
            source.buffer = buffer;
            source.connect(this.context.destination);
            source.start(at === null ? 0 : this.context.currentTime + at);
        } catch {
            // No sound: the taps still count.
        }
    }
}

export class TapRamp {
    // shown(): the result on show (its `taps`: the passage); apply(): called
    // once the form holds the fitted ramp.
    constructor({ form, shown, apply }) {
        Object.assign(this, { form, shown, apply, clicks: new Clicks(), timers: [] });
        const $ = (id) => document.getElementById(id);
        [this.startButton, this.pad, this.doneButton, this.silent, this.anyShape, this.status, this.offer, this.useButton, this.chart]
            = ["tap-start", "tap-pad", "tap-done", "tap-silent", "tap-any-shape", "tap-status", "tap-offer", "tap-use", "tap-chart"].map($);
        // Its own choices are no input of the preview.
        $("tap-set").addEventListener("input", (event) => event.stopPropagation());
        this.startButton.addEventListener("click", () => this.begin());
        this.doneButton.addEventListener("click", () => this.finish());
        this.useButton.addEventListener("click", () => this.use());
        this.pad.addEventListener("keydown", (event) => {
            if (event.repeat) return;
            if (TAP_KEYS.has(event.key)) {
                event.preventDefault();
                this.tap(tapTime(event));
            } else if (event.key === "Escape") {
                event.preventDefault();
                this.finish();
            }
        });
        this.pad.addEventListener("pointerdown", (event) => {
            event.preventDefault();
            this.pad.focus();
            this.tap(tapTime(event));
        });
    }

    say(text) {
        this.status.textContent = text;
    }

    begin() {
        const result = this.shown();
        const state = readForm(this.form);
        const bpm = Number(state.startBpm);
        if (!result?.taps || !(bpm >= 20 && bpm <= 600)) {
            this.say("Tapping makes one ramp: first let the page show a single ramp's result (a region and a start tempo, no more ramps).");
            return;
        }
        this.stopTimers();
        Object.assign(this, { passage: result.taps, bpm, state, taps: [], tapping: true, fit: null });
        this.offer.hidden = true;
        this.chart.replaceChildren();
        const { beats, unit, measureBeats } = this.passage;
        const beatSeconds = 60 / bpm * ((beats[1] ?? beats[0] + unit) - beats[0]) / unit;
        this.pad.hidden = false;
        this.doneButton.hidden = false;
        this.pad.focus();
        this.say(`Counting in ${measureBeats} beats; then tap each of the passage's ${beats.length} beats.`);
        for (let k = 0; k < measureBeats; k += 1) {
            if (!this.silent.checked) this.clicks.play(k === 0, k * beatSeconds);
        }
        this.timers.push(setTimeout(() => this.tapping && !this.taps.length && this.say(`Tap: beat 1 of ${beats.length} next.`),
            measureBeats * beatSeconds * 1000));
    }

    stopTimers() {
        for (const timer of this.timers) clearTimeout(timer);
        this.timers = [];
    }

    tap(ms) {
        if (!this.tapping) return;
        this.taps.push(ms / 1000);
        if (!this.silent.checked) this.clicks.play(this.taps.length === 1);
        const count = this.passage.beats.length;
        // A slip is no beat: the passage ends with a tap on its last beat.
        const { matched } = matchTaps(this.taps, this.passage, this.bpm);
        const beat = matched[matched.length - 1].beat;
        this.say(`Tap: beat ${beat + 1} of ${count}.`);
        if (beat >= count - 1) this.finish();
    }

    finish() {
        if (!this.tapping) return;
        this.tapping = false;
        this.stopTimers();
        this.pad.hidden = true;
        this.doneButton.hidden = true;
        this.startButton.focus();
        const shape = this.anyShape.checked ? "any" : this.state.shape || "linear";
        try {
            this.fit = fitTaps(this.taps, this.passage, { shape, countIn: this.bpm });
        } catch (error) {
            if (!(error instanceof InputError)) throw error;
            this.say(error.sentence ?? error.message);
            return;
        }
        const { start, stop, rmsMs, largestMs, ignored, counted } = this.fit;
        if (start === stop) {
            this.say(`The taps keep one tempo, ${start}: a ramp needs its stop tempo to differ from its start.`);
            return;
        }
        const shapeText = this.fit.shape.name === "linear" ? "" : `, ${this.fit.shape.name}`;
        this.say(`The taps fit ${start} to ${stop}${shapeText}: off by ${rmsMs.toFixed(0)} ms on average (RMS), `
            + `${largestMs.toFixed(0)} ms at most, over ${counted} taps; ${ignored} ignored as too far off the tempo.`);
        this.drawChart();
        this.overlay();
        this.offer.hidden = false;
    }

    // The start's unit for both ends: the fit is reckoned in it.
    use() {
        if (!this.fit) return;
        const { startUnit, startDotted } = this.state;
        writeForm(this.form, {
            startBpm: String(this.fit.start), stopBpm: String(this.fit.stop), mode: "stop",
            stopUnit: startUnit, stopDotted: startDotted, shape: this.fit.shape.name,
        });
        this.offer.hidden = true;
        this.apply();
    }

    // Each tapped beat's tempo (from the tap before, in the start's unit),
    // halfway between the two beats.
    tapTempos() {
        const { taps } = this.fit;
        const { unit } = this.passage;
        return taps.slice(1).map((t, i) => ({
            at: (t.position + taps[i].position) / 2, bpm: 60 * (t.position - taps[i].position) / unit / (t.tap - taps[i].tap),
        }));
    }

    // The last fit's taps over the tempo map, while the map shows the passage
    // they were tapped over (the fitted ramp, once used, among them).
    overlay() {
        const svg = document.querySelector("#tempo-map svg");
        const result = this.shown();
        if (!svg || !result || !this.fit || this.tapping) return;
        const same = result.taps && result.taps.span.join() === this.passage.span.join();
        const toQuarter = this.passage.unit / UNITS_PER_QUARTER;
        showTaps(svg, result.drawing, same ? this.tapTempos().map((p) => ({ at: p.at, bpm: p.bpm * toQuarter })) : []);
    }

    // Each tapped beat's tempo as a dot, the fitted ramp's tempo between
    // them as a line, over the passage.
    drawChart() {
        const { start, stop } = this.fit;
        const { span } = this.passage;
        const points = this.tapTempos();
        const tempos = [start, stop, ...points.map((p) => p.bpm)];
        const [low, high] = [Math.min(...tempos) * 0.95, Math.max(...tempos) * 1.05];
        const [width, height] = [320, 120];
        const x = (position) => (8 + (position - span[0]) / (span[1] - span[0]) * (width - 16)).toFixed(1);
        const y = (bpm) => (height - 8 - (bpm - low) / (high - low) * (height - 16)).toFixed(1);
        const svg = document.createElementNS(SVG_NS, "svg");
        svg.setAttribute("viewBox", `0 0 ${width} ${height}`);
        svg.setAttribute("role", "img");
        svg.setAttribute("aria-label", `The taps' tempo (dots) against the fitted ramp, ${start} to ${stop} (line)`);
        const v = curve(this.fit.shape, start, stop);
        const line = document.createElementNS(SVG_NS, "polyline");
        line.setAttribute("class", "tap-fit");
        line.setAttribute("points", Array.from({ length: 33 }, (_, k) => k / 32)
            .map((f) => `${x(span[0] + f * (span[1] - span[0]))},${y(v(f))}`).join(" "));
        svg.append(line);
        for (const p of points) {
            const dot = document.createElementNS(SVG_NS, "circle");
            Object.entries({ cx: x(p.at), cy: y(p.bpm), r: "2.5", class: "tap-dot" }).forEach(([k, v]) => dot.setAttribute(k, v));
            svg.append(dot);
        }
        this.chart.replaceChildren(svg);
    }
}
