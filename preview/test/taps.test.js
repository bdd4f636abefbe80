// Ramps tapped by hand: taps a script makes from a known ramp, with seeded
// jitter, slips and missed beats, fitted back.
import { test } from "node:test";
import assert from "node:assert/strict";

import { InputError, THROUGH_MEASURE_END, fullMeasure, parseMeter } from "../lib/music.js";
import { curve, parseShape } from "../lib/shapes.js";
import { fitTaps, tapPassage } from "../lib/taps.js";

const QUARTER = { unit: 2, dotted: false };
function passageOf(meter, count, start = QUARTER) {
    const score = { measures: Array(count).fill(fullMeasure(parseMeter(meter))), tempo: [] };
    return tapPassage(score, [1, 0, count, THROUGH_MEASURE_END], start);
}

// A small seeded generator (the same taps on every run): uniform in ±1.
function jitterOf(seed) {
    let s = seed >>> 0;
    return () => {
        s = (s * 1664525 + 1013904223) >>> 0;
        return 2 * (s / 2 ** 32) - 1;
    };
}

// The beats' times under the curve, summed finely (midpoint rule), apart
// from the fit's own sums.
function beatSeconds(passage, shape, start, stop) {
    const v = curve(parseShape(shape), start, stop);
    const { beats, span, unit } = passage;
    const steps = 1000 * beats.length; // beats even here: each on a step
    const perStep = (span[1] - span[0]) / unit / steps;
    const times = [];
    let seconds = 0;
    let k = 0;
    for (const beat of beats) {
        const x = (beat - span[0]) / (span[1] - span[0]);
        for (; (k + 0.5) / steps < x; k += 1) seconds += 60 * perStep / v((k + 0.5) / steps);
        times.push(seconds);
    }
    return times;
}

function tapsFor(passage, shape, start, stop, jitterMs, seed = 7) {
    const jitter = jitterOf(seed);
    return beatSeconds(passage, shape, start, stop).map((t) => 2.5 + t + jitter() * jitterMs / 1000);
}

test("taps with known jitter give back the ramp within the fit's stated error", () => {
    const cases = [
        // meter, measures, shape, start, stop, jitter (ms)
        ["4/4", 8, "linear", 120, 80, 15],
        ["4/4", 4, "linear", 90, 132, 15],
        ["3/4", 6, "natural", 100, 60, 10],
        ["6/8", 6, "s-curve", 72, 48, 10],
        ["4/4", 8, "ease-in", 140, 100, 5],
    ];
    for (const [meter, count, shape, start, stop, jitterMs] of cases) {
        const startUnit = meter === "6/8" ? { unit: 1, dotted: true } : QUARTER;
        const passage = passageOf(meter, count, startUnit);
        const fit = fitTaps(tapsFor(passage, shape, start, stop, jitterMs), passage, { shape, countIn: start });
        const name = `${meter} ${shape} ${start} to ${stop}`;
        assert.equal(fit.ignored, 0, name);
        assert.ok(Math.abs(fit.start - start) <= 1 && Math.abs(fit.stop - stop) <= 1, `${name}: ${fit.start} to ${fit.stop}`);
        assert.ok(fit.rmsMs <= jitterMs && fit.largestMs <= jitterMs * 1.6, `${name}: ${fit.rmsMs} / ${fit.largestMs} ms`);
        // The stated error is what the rounded ramp leaves of the taps.
        const worst = Math.max(...fit.taps.map((t) => Math.abs(t.errorMs)));
        assert.ok(Math.abs(worst - fit.largestMs) < 1e-9, name);
    }
});

test("a jitter-free ramp fits to the BPM, and the shape is found when asked", () => {
    const passage = passageOf("4/4", 6);
    const exact = fitTaps(tapsFor(passage, "linear", 112, 70, 0), passage);
    assert.deepEqual([exact.start, exact.stop, exact.shape.name], [112, 70, "linear"]);
    assert.ok(exact.largestMs < 0.01 && Math.abs(exact.fitted.stop - 70) < 0.01);
    const found = fitTaps(tapsFor(passage, "s-curve", 120, 60, 2), passage, { shape: "any" });
    assert.equal(found.shape.name, "s-curve");
    assert.ok(Math.abs(found.stop - 60) <= 1);
});

test("slips are ignored and counted, a missed beat is skipped, too few taps are refused", () => {
    const passage = passageOf("4/4", 4);
    const taps = tapsFor(passage, "linear", 120, 90, 10);
    const slipped = [...taps.slice(0, 5), taps[4] + 0.08, ...taps.slice(5, 9), ...taps.slice(10)];
    const fit = fitTaps(slipped, passage, { countIn: 120 });
    assert.equal(fit.ignored, 1);
    assert.equal(fit.counted, taps.length - 1);
    assert.deepEqual(fit.taps.map((t) => t.beat).slice(8, 10), [8, 10]);
    assert.ok(Math.abs(fit.start - 120) <= 1 && Math.abs(fit.stop - 90) <= 1, `${fit.start} to ${fit.stop}`);
    // A count-in far from the taps: the first tap's beat is held against it.
    const fast = fitTaps([0, 0.1, ...taps.slice(1).map((t) => t - taps[0])], passage, { countIn: 120 });
    assert.equal(fast.ignored, 1);
    for (const few of [[], [0, 0.5, 1], [0, 0.5, 0.52, 0.54, 0.56]]) {
        assert.throws(() => fitTaps(few, passage, { countIn: 120 }), (error) => error instanceof InputError
            && /at least 4 taps/.test(error.sentence) && !/\n/.test(error.sentence), String(few));
    }
});

test("the command line fits a ramp to a file of taps, and refuses a file it cannot read", async () => {
    const { spawnSync } = await import("node:child_process");
    const { mkdtempSync, rmSync, writeFileSync } = await import("node:fs");
    const { tmpdir } = await import("node:os");
    const { join } = await import("node:path");
    const cli = new URL("../node/cli.js", import.meta.url).pathname;
    const folder = mkdtempSync(join(tmpdir(), "zorv-taps-"));
    try {
        const times = tapsFor(passageOf("4/4", 2), "linear", 120, 84, 10);
        const run = (text, more = []) => {
            writeFileSync(join(folder, "taps.txt"), text);
            return spawnSync(process.execPath, [cli, "--time", "4/4x4", "--from", "1", "--to", "2", "--start", "q=120",
                "--taps", join(folder, "taps.txt"), "--svg", join(folder, "map.svg"), ...more], { encoding: "utf8" });
        };
        const good = run(`# tapped\n${times.map((t) => t.toFixed(4)).join("\n")}\n\n`);
        assert.equal(good.status, 0, good.stderr);
        const [taps, , , ramp] = good.stdout.split("\n");
        const [, start, stop] = ramp.match(/^Ramp: {3}quarter = (\d+) to quarter = (\d+),/) ?? [];
        assert.ok(Math.abs(start - 120) <= 2 && Math.abs(stop - 84) <= 2, ramp);
        assert.match(taps, new RegExp(`^Taps: {3}8 counted, 0 ignored: quarter = ${start} to quarter = ${stop}, linear, off by `));
        for (const [text, said] of [["0\n0.5\nsoon\n", "line 3: 'soon' is not a time in seconds"],
            ["0\n0.5\n1\n", "A ramp needs at least 4 taps; 3 were tapped."]]) {
            const bad = run(text);
            assert.equal(bad.status, 2);
            assert.equal(bad.stderr, `preview: --taps ${join(folder, "taps.txt")}: ${said}\n`);
        }
        assert.match(run("0\n", ["--stop", "q=60"]).stderr, /--taps: not allowed with argument --stop|--stop: not allowed with argument --taps/);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
});
