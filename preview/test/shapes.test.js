// Shaped ramps as runs of the plug-in: the names read, and the runs solved
// against each curve (whole BPM, breaks on beats, the fewest within the
// bounds); the curves' figures are checked again against the plug-in's own
// records by tests/preview/test_shapes.py.
import { test } from "node:test";
import assert from "node:assert/strict";

import { InputError } from "../lib/music.js";
import { SHAPES, TEMPO_BOUND, TIME_BOUND, curve, curveMinutes, parseShape, solveShape } from "../lib/shapes.js";
import { checkShape } from "../lib/shaped.js";

test("shapes are read by name, natural with its q; anything else is refused with one line", () => {
    const cases = [
        ["natural", { name: "natural", q: 2.5 }], [" Natural:3 ", { name: "natural", q: 3 }], ["ease-in", { name: "ease-in", q: null }],
        ["s-curve", { name: "s-curve", q: null }], ["linear", { name: "linear", q: null }],
    ];
    for (const [text, shape] of cases) assert.deepEqual(parseShape(text), shape, text);
    for (const text of ["cubic", "natural:0", "natural:x", "ease-in:2", "natural:2:3", "natural:"]) {
        assert.throws(() => parseShape(text), (error) => error instanceof InputError && error.fields[0] === "shape"
            && /^--shape: /.test(error.message), text);
    }
    assert.equal(checkShape({ shape: "linear" }), null);
    assert.equal(checkShape({ shape: "linear", runs: "1" }), null);
    assert.deepEqual(checkShape({ shape: "linear", runs: "3" }), { shape: { name: "linear", q: null }, runs: 3 });
    for (const runs of ["0", "2.5", "x", "201"]) assert.throws(() => checkShape({ shape: "natural", runs }), /^Error|--runs: /);
});

test("every curve runs from its start to its end, the natural one as its formula", () => {
    for (const name of SHAPES) {
        const v = curve({ name, q: 2.5 }, 120, 60);
        assert.ok(Math.abs(v(0) - 120) < 1e-9 && Math.abs(v(1) - 60) < 1e-9, name);
        for (let k = 1; k < 10; k += 1) assert.ok(v(k / 10) < v((k - 1) / 10) && v(k / 10) > 60, `${name} falls at ${k / 10}`);
    }
    const natural = curve({ name: "natural", q: 2 }, 100, 50);
    assert.ok(Math.abs(natural(0.5) - 100 * Math.sqrt(0.625)) < 1e-9);
    // A straight line's time has a closed form: the integrator meets it.
    assert.ok(Math.abs(curveMinutes(curve({ name: "linear" }, 120, 60)) - Math.log(2) / 60) < 1e-9);
});

// 100 measures of 4/4 and 9 measures of 6/8 (two beats each), as plain positions.
const LONG = { span: [0, 400 * 1024], beats: Array.from({ length: 400 }, (_, k) => k * 1024) };
const SHORT = { span: [0, 9 * 3072], beats: Array.from({ length: 18 }, (_, k) => k * 1536) };

// The solved runs' own figures, worked from the runs: the time of straight
// lines between their tempos and the worst tempo error at every beat.
function figures(shape, v0, v1, { span, beats }, runs) {
    const v = curve(shape, v0, v1);
    const length = span[1] - span[0];
    let minutes = 0, worst = 0;
    for (const run of runs) {
        const share = (run.to - run.from) / length;
        minutes += run.start === run.stop ? share / run.start : share * Math.log(run.stop / run.start) / (run.stop - run.start);
        const inside = [...beats, span[1]].filter((p) => p >= run.from && p <= run.to);
        for (const beat of [...inside, ...inside.slice(1).map((p, k) => (p + inside[k]) / 2)]) {
            const tempo = run.start + (run.stop - run.start) * (beat - run.from) / (run.to - run.from);
            worst = Math.max(worst, Math.abs(tempo / v((beat - span[0]) / length) - 1));
        }
    }
    return { time: Math.abs(minutes / curveMinutes(v) - 1), worst };
}

test("the runs follow each curve within the bounds, end to end on beats at whole BPM, and no fewer would", () => {
    // [shape, start, stop, passage]
    const cases = [
        ["natural", 120, 90, LONG], ["natural", 120, 60, LONG], ["natural:3", 96, 40, SHORT], ["ease-in", 120, 60, LONG],
        ["ease-out", 80, 144, SHORT], ["s-curve", 120, 60, LONG], ["s-curve", 60, 90, SHORT],
    ];
    for (const [name, v0, v1, passage] of cases) {
        const shape = parseShape(name);
        const { runs } = solveShape(shape, v0, v1, passage.span, passage.beats);
        const what = `${name} ${v0} to ${v1}: ${runs.length} runs`;
        assert.equal(runs[0].from, passage.span[0], what);
        assert.equal(runs.at(-1).to, passage.span[1], what);
        assert.equal(runs[0].start, v0, what);
        assert.equal(runs.at(-1).stop, v1, what);
        runs.forEach((run, i) => {
            assert.ok(Number.isInteger(run.start) && Number.isInteger(run.stop) && run.start !== run.stop, what);
            if (i) assert.ok(run.from === runs[i - 1].to && run.start === runs[i - 1].stop && passage.beats.includes(run.from), what);
        });
        const { time, worst } = figures(shape, v0, v1, passage, runs);
        assert.ok(time <= TIME_BOUND && worst <= TEMPO_BOUND, `${what}: time off by ${time}, tempo by ${worst}`);
        if (runs.length > 1) {
            const fewer = solveShape(shape, v0, v1, passage.span, passage.beats, runs.length - 1).runs;
            assert.equal(fewer.length, runs.length - 1, what);
            const off = figures(shape, v0, v1, passage, fewer);
            assert.ok(off.time > TIME_BOUND || off.worst > TEMPO_BOUND, `${what}: ${fewer.length} would do`);
        }
    }
});

test("a number of runs asked for is made, each as close as that many can be", () => {
    for (const count of [1, 2, 5, 12]) {
        const { runs } = solveShape(parseShape("natural"), 120, 60, LONG.span, LONG.beats, count);
        assert.equal(runs.length, count);
    }
    const { runs } = solveShape(parseShape("linear"), 120, 60, SHORT.span, SHORT.beats, 3);
    assert.equal(runs.length, 3);
    for (const run of runs) assert.equal(run.stop, Math.round(120 - 60 * (run.to - SHORT.span[0]) / (SHORT.span[1] - SHORT.span[0])));
});
