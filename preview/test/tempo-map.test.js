// The records table, the timing summary and the tempo map: the step after the
// region names the record that holds there, a region without a record of
// its own still gets its timing, and wide or long ranges still get a map.
import { test } from "node:test";
import assert from "node:assert/strict";
import { hostTempoValue } from "../lib/music.js";
import {
    measureTicks, reportOfRun, summaryLines, svgText, tableLines, tickStep, timeline, timingSummary,
} from "../lib/tempo-map.js";

const QUARTER_120 = 134217;
const QUARTER_90 = 100663;
const END = 0x7fffffff;

// Eight 4/4 measures, a ritardando over 2-3 written as one record per
// quarter, then the records at measure 4 the test gives.
function ramp(after) {
    const records = [];
    for (let i = 0; i < 8; i += 1) records.push([2 + Math.floor(i / 4), (i % 4) * 1024, QUARTER_120 - 5000 * i]);
    const scenario = {
        measures: [[8, 4096]],
        invocations: [{ region: [2, 0, 3, END], user: [{ set: 111, value: 120 }, { set: 131, value: 90 }] }],
    };
    return timeline(scenario, { loaded: true, tempo: [...records, ...after] });
}

test("the step after the region names the later of two records at one position", () => {
    // A mark of quarter = 90 on measure 4, and the ramp's return to its start
    // tempo written after it at the same position: the return holds.
    const summary = timingSummary(ramp([[4, 0, QUARTER_90], [4, 0, QUARTER_120]]));
    assert.deepEqual(summary.stepAfter.map((bpm) => bpm.toFixed(1)), ["88.7", "120.0"]);
    const lines = summaryLines(summary);
    assert.equal(lines[lines.length - 1], "Step to the record after the region: 88.7 -> 120.0 BPM");
    // In the other order the mark holds.
    assert.equal(timingSummary(ramp([[4, 0, QUARTER_120], [4, 0, QUARTER_90]])).stepAfter[1].toFixed(1), "90.0");
});

test("the summary counts the region under its records and an ideal ramp to the entered stop", () => {
    const summary = timingSummary(ramp([]));
    assert.equal(summary.quarters, 8);
    let expected = 0;
    for (let i = 0; i < 8; i += 1) expected += (1024 * 65536) / (QUARTER_120 - 5000 * i) / 1000;
    assert.ok(Math.abs(summary.writtenS - expected) < 1e-9);
    // quarter = 120 to 90 over 8 quarters: a little longer than the 4.571 s
    // of their mean tempo held steady, since the slow end lasts longer.
    assert.ok(summary.idealS > 4.58 && summary.idealS < 4.65, `${summary.idealS}`);
    assert.equal(summary.assumesDefault, false);
    assert.equal(summary.stepAfter, null);
    assert.ok(Math.abs(summary.largestJumpBpm - (5000 * 60000) / 67108864) < 1e-9);
});

test("a region holding no record of its own still gets its time, and says where a tempo was assumed", () => {
    // Records before and after the region, none inside (as after a removal).
    const scenario = { measures: [[4, 4096]], invocations: [{ region: [2, 512, 3, 0], user: [{ click: 135 }] }] };
    const shown = reportOfRun(scenario, { loaded: true, tempo: [[1, 3072, 100000], [4, 0, 160000]] });
    assert.ok(shown.lines.includes("No tempo record lies inside the region."), shown.lines.join("\n"));
    assert.ok(shown.svg.startsWith("<svg"));
    // A region that starts before the first record plays that stretch at
    // quarter = 120, and the line says so.
    const early = reportOfRun(scenario, { loaded: true, tempo: [[4, 0, 160000]] });
    const line = early.lines.find((text) => text.startsWith("Playback time of the region"));
    // 3.5 quarters and a unit at quarter = 120.
    assert.equal(line, "Playback time of the region with the written records: 1.750 s (quarter = 120 before the first record)");
});

test("runs that wrote nothing, or did not load the plug-in, say so", () => {
    const scenario = { measures: [[2, 4096]], invocations: [{ region: [1, 0, 2, END], user: [] }] };
    assert.deepEqual(reportOfRun(scenario, { loaded: true, tempo: [] }), { lines: ["No tempo records were written."], svg: null });
    assert.deepEqual(reportOfRun(scenario, { loaded: false }),
        { lines: ["The plug-in did not load; nothing was written."], svg: null });
});

test("the table shows each record as measure, beat, quarter BPM and value", () => {
    assert.deepEqual(tableLines([[12, 0, 134217], [19, 3840, 81117], [32767, 2047, 80530]]), [
        "measure    beat  quarter BPM  tempo value",
        "     12    1.00        120.0       134217",
        "     19    4.75         72.5        81117",
        "  32767    3.00         72.0        80530",
    ]);
});

test("a ramp to a dotted whole at 600 gets a map with few labels", () => {
    // quarter = 60 up to 3600 quarters a minute
    const svg = svgText([[0, 67108], [4096, hostTempoValue(4, 600, 2)]], [0, 4096], [0, 5120]);
    const labels = [...svg.matchAll(/text-anchor="end">(\d+)<\/text>/g)].map((m) => m[1]);
    assert.ok(labels.length >= 2 && labels.length <= 9, labels.join(" "));
    assert.ok(labels.includes("1000"), labels.join(" "));
});

test("the map clips to its extent, led by the tempo in force at its left edge", () => {
    const svg = svgText([[0, 100000], [8192, 120000], [20000, 140000]], [8192, 12288], [4096, 16384]);
    const dots = [...svg.matchAll(/<circle cx="([\d.]+)"/g)].map((m) => Number(m[1]));
    assert.deepEqual(dots, [70, 340]); // the carried tempo at the edge, and the record at 8192
    assert.match(svg, /<rect x="340\.0" y="30" width="270\.0" height="330" fill="#dbe9f6"\/>/);
});

test("long scores still get a few measure labels", () => {
    assert.equal(tickStep(16), 1);
    assert.equal(tickStep(17), 2);
    for (const count of [32768, 200000, 5e6]) assert.ok(count / tickStep(count) <= 16, `${count}`);
    const measures = Array(32767).fill({ length: 4096 });
    const ticks = measureTicks(measures, 0, 32767 * 4096);
    assert.ok(ticks.length >= 2 && ticks.length <= 17, `${ticks.length}`);
    assert.deepEqual(ticks[0], [0, "1"]);
});
