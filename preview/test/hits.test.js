// Hit points: times read and written back as a cue sheet gives them (drop
// frame included), each kind of bad input refused with one line, and the
// solver placing each hit from where the hits before it really landed.
import { test } from "node:test";
import assert from "node:assert/strict";
import { InputError, fullMeasure, hostTempoValue, parseMeter, partialMeasure } from "../lib/music.js";
import { readMeasures } from "../lib/inputs.js";
import { checkHitInputs, hitLines, hitReport, runHits, scoreClock } from "../lib/hits.js";
import { straightOrder } from "../lib/playback.js";
import { FRAME_RATES, formatTime, parseTime } from "../lib/timecode.js";
import { loadPlugin } from "../node/plugin-node.js";

test("times read as seconds, clock times and timecode, and written back in their form", () => {
    // [text, rate, seconds, the same time written back]
    const cases = [
        ["34.2", null, 34.2, "34.200"],
        ["0:34.2", null, 34.2, "0:34.200"],
        ["1:02:03.5", null, 3723.5, "1:02:03.500"],
        ["25.5s", null, 25.5, "25.500"],
        ["1m 30s", null, 90, "1:30.000"],
        ["1h 2m 3.5s", null, 3723.5, "1:02:03.500"],
        ["00:00:34:05", "24", 34 + 5 / 24, "00:00:34:05.00"],
        ["00:00:34:05", "25", 34.2, "00:00:34:05.00"],
        ["01:00:00:00", "23.976", 3600 * 1.001, "01:00:00:00.00"],
        ["00:00:59:29", "29.97", 1799 * 1.001 / 30, "00:00:59:29.00"],
        // Drop frame: ;00 and ;01 are skipped at each minute but the tenth.
        ["00:01:00;02", "29.97", 1800 * 1.001 / 30, "00:01:00;02.00"],
        ["00:10:00;00", "29.97", 17982 * 1.001 / 30, "00:10:00;00.00"],
        ["01:00:00;00", "29.97", 107892 * 1.001 / 30, "01:00:00;00.00"],
        ["00:09:59;29", "29.97", 17981 * 1.001 / 30, "00:09:59;29.00"],
    ];
    for (const [text, rateName, seconds, written] of cases) {
        const time = parseTime(text, rateName ? FRAME_RATES[rateName] : null, "--hit");
        assert.ok(Math.abs(time.seconds - seconds) < 1e-9, `${text}: ${time.seconds}`);
        assert.equal(formatTime(time.seconds, time.form), written, text);
    }
    const dropFrame = parseTime("00:00:00;00", FRAME_RATES["29.97"], "--hit").form;
    assert.equal(formatTime(1800.5 * 1.001 / 30, dropFrame), "00:01:00;02.50");
});

test("each kind of bad hit input gets one line", async () => {
    const { score } = await readMeasures({ time: "4/4x20" });
    const base = { from: "3", start: "q=100", after: "stop", hits: ["9=15", "13=24.5"] };
    const cases = [
        [{ hits: [] }, "--hit: give at least one hit, as --hit 17=0:34.2"],
        [{ hits: Array.from({ length: 1001 }, (_, i) => `4:${1 + i / 1000}=${i + 1}`) },
            "--hit: 1,001 hits, more than the 1,000 runs a plan may hold"],
        [{ hits: ["9"] }, "--hit 9: write a position and a time, as 17=0:34.2 or 17:3=34.2"],
        [{ hits: ["13=24.5", "9=30"] }, "--hit 9=30: comes before --hit 13=24.5 in the score; give the hits in the order of their positions"],
        [{ hits: ["9=15", "9:1=20"] }, "--hit 9:1=20: measure 9 has a hit already (--hit 9=15); one hit to a position"],
        [{ hits: ["9=15", "13=15"] }, "--hit 13=15: its time is not later than that of --hit 9=15; each hit's time must come after the one before"],
        [{ hits: ["2=15"] }, "--hit 2=15: measure 2 comes before the region's start (--from 3); a hit ends the run that leads to it"],
        [{ hits: ["3=15"] }, "--hit 3=15: measure 3 is where the region starts (--from 3); a hit ends the run that leads to it"],
        [{ hits: ["21=15"] }, "--hit 21=15: measure 21 is outside the score, which has measures 1 to 20"],
        [{ hits: ["9:5=15"] }, "--hit 9:5=15: measure 9 runs from beat 1 to its end at beat 5 (a beat is a quarter)"],
        [{ hits: ["9=soon"] }, "--hit 9=soon: cannot read the time 'soon' (write seconds as 34.2, minutes:seconds as 0:34.2, or timecode as 00:00:34:05)"],
        [{ fps: "60" }, "--fps: '60' is no frame rate this knows (use 23.976, 24, 25, 29.97 or 30)"],
        [{ hits: ["9=00:00:15:00"] }, "--hit 9=00:00:15:00: the timecode 00:00:15:00 needs its frame rate: give --fps (23.976, 24, 25, 29.97 or 30)"],
        [{ hits: ["9=00:00:15;00"], fps: "25" }, "--hit 9=00:00:15;00: 00:00:15;00 is drop frame (;), which runs at 29.97 frames a second, not at 25"],
        [{ hits: ["9=00:01:00;01"], fps: "29.97" }, "--hit 9=00:01:00;01: 00:01:00;01 is no drop-frame timecode: the frames ;00 and ;01 are skipped at the start of each minute but every tenth"],
        [{ hits: ["9=00:00:15:25"], fps: "25" }, "--hit 9=00:00:15:25: 00:00:15:25 is no timecode at 25 frames a second (hours 00 to 23, minutes and seconds 00 to 59, frames 00 to 24)"],
        [{ cueStart: "1 hour", fps: "25" }, "--cue-start: cannot read the time '1 hour' (write seconds as 34.2, minutes:seconds as 0:34.2, or timecode as 00:00:34:05)"],
        [{ stopUnit: "qq" }, "--stop-unit: unknown beat unit 'qq' (use s, e, q, h or w: 16th, 8th, quarter, half, whole; a trailing . for dotted)"],
    ];
    for (const [patch, line] of cases) {
        assert.throws(() => checkHitInputs({ ...base, ...patch }, score), (error) => {
            assert.ok(error instanceof InputError, error.stack);
            assert.equal(error.message, line);
            return true;
        }, JSON.stringify(patch));
    }
});

test("a hit the dialog cannot reach is named, and the next is placed from where it really landed", async () => {
    const { score } = await readMeasures({ time: "3/4x12,6/8x12" });
    // The slowest ramp from quarter = 80 (to 16th = 20) brings measure 5
    // after about 23 s, not 40; measure 17 can still come at 80 s, from
    // where measure 5 really lands.
    const checked = checkHitInputs({ from: "1", start: "q=80", after: "stop", hits: ["5=40", "17=80"], fps: "24" }, score);
    const result = await runHits(checked, await loadPlugin(), {});
    const [late, next] = result.hits.rows;
    assert.equal(late.reachable, false);
    assert.ok(late.errorS < -10, `${late.errorS}`);
    assert.equal(next.reachable, true);
    assert.ok(Math.abs(next.errorS) < 1 / 24, `${next.errorS}`);
    const lines = hitLines(result.hits, score.measures);
    assert.ok(lines.some((text) => text.startsWith(`Hit 1 cannot be reached: no stop tempo from 20 to 600 brings measure 5 to 40.000; `
        + `the nearest, ${late.stop.dotted ? "dotted " : ""}`)), lines.join("\n"));
    assert.ok(!lines.some((text) => text.startsWith("Hit 2 cannot")), lines.join("\n"));
});

test("with a shape, the runs between each two hits follow it and the final tempo of each lands its hit", async () => {
    const { score } = await readMeasures({ time: "4/4x40" });
    const checked = checkHitInputs({ from: "1", start: "q=120", after: "stop", hits: ["11=22", "21=48", "31=70"], shape: "natural" },
        score);
    const result = await runHits(checked, await loadPlugin(), {});
    // Whole BPM in one unit reach a hit to within what one BPM more or less moves it.
    for (const row of result.hits.rows) assert.ok(row.reachable && Math.abs(row.errorS) < 0.15, `${row.text}: ${row.errorS}`);
    const { runs } = result.header;
    assert.ok(runs.length > 3, `${runs.length} runs`);
    assert.equal(result.header.hits, false);
    for (let i = 1; i < runs.length; i += 1) assert.equal(runs[i].start.bpm, runs[i - 1].stop.bpm);
    // Each hit is where one run ends and the next begins, in the start's unit.
    const ends = runs.map((run) => `${run.region[2]}:${run.region[3]}`);
    for (const measure of [10, 20, 30]) assert.ok(ends.includes(`${measure}:2147483647`), ends.join(" "));
    assert.ok(runs.every((run) => run.stop.unit === 2 && !run.stop.dotted));
    assert.throws(() => checkHitInputs({ ...checked, from: "1", start: "q=120", hits: ["11=22"], shape: "wobbly" }, score),
        /--shape: cannot read 'wobbly'/);
});

// A quarter-note pickup, then 4/4: the cue's clock counts from the first
// downbeat, which the pickup's tempo moves.
const PICKUP = (() => {
    const measures = [partialMeasure(parseMeter("4/4", "score"), 1024, true),
        ...Array(4).fill(fullMeasure(parseMeter("4/4", "score")))];
    return { measures, tempo: [], order: straightOrder(measures.length) };
})();

test("the cue's clock starts on the first downbeat, after the pickup", () => {
    const quarter60 = hostTempoValue("q", 60, 0);
    // [records, cue, positions, their times]
    const cases = [
        [[], 10, [0, 1024, 1024 + 4096], [9.5, 10, 12]],
        [[[1, 0, quarter60]], 10, [0, 1024, 1024 + 4096], [9, 10, 14]],
        [[[1, 0, quarter60]], 0, [1024 + 2 * 4096], [8]],
    ];
    for (const [records, cue, positions, times] of cases) {
        const clock = scoreClock(PICKUP, records, cue);
        // The dialog's quarter = 60 is 67,108, a hair slower than 60.
        clock.at(positions).forEach((t, i) => assert.ok(Math.abs(t - times[i]) < 1e-3, `${t} at ${positions[i]}`));
        assert.ok(Math.abs(clock.position(cue) - 1024) < 1e-6, "the downbeat is heard at the cue");
    }
});

test("the one-tempo comparison from a pickup counts from the downbeat, where the cue stands", () => {
    // Eight quarters from the downbeat in 8 s: quarter = 60, though the
    // score's own quarter = 120 would have the pickup start half a second early.
    const checked = checkHitInputs({ from: "1", start: "q=100", after: "stop", hits: ["4=8", "5=12"] }, PICKUP);
    const report = hitReport(checked, { records: [], reachable: [true, true], runs: [{ stop: null }, { stop: null }] });
    assert.equal(report.constant.tempo.bpm, 60);
    report.constant.errors.forEach((error) => assert.ok(Math.abs(error) < 1e-9, `${error}`));
});
