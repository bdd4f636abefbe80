// Time under tempo records: the later of two records at one position holds,
// quarter = 120 is assumed before the first record, and the two ways of
// counting (a span's time, the time at each position) agree.
import { test } from "node:test";
import assert from "node:assert/strict";
import {
    DEFAULT_VALUE, idealMs, passesDefault, playbackMs, quarterBpm, secondsAt, tempoPoints, valueAt,
} from "../lib/timing.js";

const QUARTER_120 = 134217; // the host's value of quarter = 120
const STARTS = [0, 0, 4096, 8192, 12288];

test("of two records at one position the later one holds", () => {
    // The host inserts a new record after those already at its position, as
    // the final record of a ramp lands beside an existing mark.
    for (const [records, holding] of [
        [[[2, 0, QUARTER_120], [2, 0, 2 * QUARTER_120]], 2 * QUARTER_120],
        [[[2, 0, 2 * QUARTER_120], [2, 0, QUARTER_120]], QUARTER_120],
    ]) {
        const points = tempoPoints(records, STARTS);
        assert.deepEqual(points[points.length - 1], [4096, holding]);
        assert.equal(valueAt(points, 4096), holding);
        const seconds = playbackMs(points, 4096, 8192) / 1000;
        assert.ok(Math.abs(seconds - (2.0 * QUARTER_120) / holding) < 1e-3, `${seconds}`);
        const [at, after] = secondsAt(points, [4096, 8192]);
        assert.ok(Math.abs(after - at - seconds) < 1e-9);
    }
});

test("records keep score order whatever order the report lists them in", () => {
    const points = tempoPoints([[3, 0, 300], [1, 512, 100], [2, 0, 200]], STARTS);
    assert.deepEqual(points, [[512, 100], [4096, 200], [8192, 300]]);
});

test("before the first record the score plays at quarter = 120", () => {
    // A MIDI file's 500,000 microseconds a quarter, exactly: not the host's
    // quarter = 120 (134,217, truncated), under which a quarter lasts longer.
    assert.equal(playbackMs([], 0, 1024), 500);
    assert.ok(playbackMs([[0, QUARTER_120]], 0, 1024) > 500.002);
    assert.ok(Math.abs(quarterBpm(QUARTER_120) - (120 * QUARTER_120) / 134217.728) < 1e-9);
    const points = tempoPoints([[3, 0, 2 * QUARTER_120]], STARTS); // quarter = 240 from measure 3
    // Two 4/4 measures at quarter = 120 take 4 s, then 4 quarters at 240 take 1 s.
    const [third, fourth] = secondsAt(points, [8192, 12288]);
    assert.ok(Math.abs(third - 4) < 1e-9, `${third}`);
    assert.ok(Math.abs(fourth - 5) < 1e-3, `${fourth}`);
    // A span that starts before the first record counts that stretch too.
    assert.ok(Math.abs(playbackMs(points, 4096, 12288) - 3000) < 1, `${playbackMs(points, 4096, 12288)}`);
    assert.equal(passesDefault(points, 4096), true);
    assert.equal(passesDefault(points, 8192), false);
    assert.equal(passesDefault([], 0), true);
    assert.equal(valueAt(points, 0), DEFAULT_VALUE);
});

test("the time of a span is the difference of the times at its ends", () => {
    const records = [];
    for (let i = 0; i < 48; i += 1) records.push([1 + Math.floor(i / 16), (i % 16) * 256, 60000 + 1500 * i]);
    const points = tempoPoints(records, STARTS);
    for (const [start, end] of [[0, 12288], [300, 5000], [4096, 4097], [1000, 1000]]) {
        const [a, b] = secondsAt(points, [start, end]);
        assert.ok(Math.abs(playbackMs(points, start, end) / 1000 - (b - a)) < 1e-9, `${start}..${end}`);
    }
});

test("an ideal ramp takes the integral of its continuous tempo", () => {
    // A steady tempo: four quarters at the host's quarter = 120 take 2 s
    // stretched by the truncation of its exact value, 134,217.728.
    assert.ok(Math.abs(idealMs(QUARTER_120, QUARTER_120, 4096) - (2000 * 134217.728) / QUARTER_120) < 1e-9);
    // Numerical integration of the same linear ramp of the tempo value.
    const [a, b, length] = [QUARTER_120, 80530, 32768];
    let sum = 0;
    const steps = 100000;
    for (let i = 0; i < steps; i += 1) {
        const value = a + ((b - a) * (i + 0.5)) / steps;
        sum += ((length / steps) * 65536) / value;
    }
    assert.ok(Math.abs(idealMs(a, b, length) - sum) < 1e-3, `${idealMs(a, b, length)} against ${sum}`);
});
