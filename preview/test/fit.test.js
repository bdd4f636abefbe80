// --fit: the chosen stop tempo's time, written by the plug-in, is at least as
// close to the target as its neighbours'; the preview run with it plays that
// time; targets out of reach take the nearest end; the tempo the dialog
// refuses is never chosen; and every region the plug-in takes can be fitted,
// up to one that fills a score of the most measures.
import { test } from "node:test";
import assert from "node:assert/strict";
import { MAX_MEASURES, parseTimeRuns } from "../lib/music.js";
import { copyLayout, fittedStop, regionCopies } from "../lib/fit.js";
import { plan } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { previewLines } from "../lib/lines.js";
import { scenarioProcess } from "../node/scenario-process.js";
import { RUNNER } from "./run-plugin.js";

const plugin = scenarioProcess(RUNNER);
const NAMES = { svg: "map.svg", midi: null, beats: null, wav: null };
// Starts mid-measure, ends mid-measure, across a meter change, and "None"
// keeps the final record inside the region: the copies the search runs must
// give the same times as the real score.
const SPAN = { time: "4/4x6,3/4x6", from: "2:2", to: "10:2.5", after: "none" };

async function fitted(inputs) {
    const checked = await plan({ stop: null, ...inputs });
    return runPreview(checked, plugin, NAMES);
}

test("the chosen tempo is at least as close as its neighbours, and the preview plays its time", async () => {
    for (const [start, target, stopUnit] of [["q=120", 25, null], ["q=60", 20, null], ["q=90", 22, "h."]]) {
        const result = await fitted({ ...SPAN, start, fit: String(target), stopUnit });
        const { fit } = result;
        assert.equal(fit.reachable, true);
        assert.deepEqual(fit.neighbours, [fit.bpm - 1, fit.bpm + 1]);
        const chosen = fit.seconds.get(fit.bpm);
        for (const bpm of fit.neighbours) {
            assert.ok(Math.abs(chosen - target) <= Math.abs(fit.seconds.get(bpm) - target), `${start} ${target}: ${bpm}`);
        }
        assert.ok(Math.abs(result.summary.writtenS - chosen) < 5e-4, `${result.summary.writtenS} against ${chosen}`);
        if (stopUnit) assert.deepEqual([result.stop.unit, result.stop.dotted], [3, true]);
    }
});

test("targets out of reach say so and take the nearest end", async () => {
    for (const [target, nearest] of [[2, 600], [3000, 20]]) {
        const result = await fitted({ ...SPAN, start: "q=120", fit: String(target) });
        assert.equal(result.fit.reachable, false);
        assert.equal(result.fit.bpm, nearest);
        const line = previewLines(result).find((text) => text.startsWith("Fit:"));
        assert.ok(line.startsWith(`Fit: no stop tempo from 20 to 600 makes the region last ${target}.000 s; `
            + `the nearest is quarter = ${nearest} at`), line);
    }
});

test("the tempo the dialog refuses is never chosen", async () => {
    // quarter = 120 to 120 is no ramp: the dialog refuses it, so a target
    // that only it would meet gets a neighbour instead.
    const steady = 29.5 * 0.5; // the region's quarters at quarter = 120
    const result = await fitted({ ...SPAN, start: "q=120", fit: String(steady) });
    assert.ok([119, 121].includes(result.fit.bpm), `${result.fit.bpm}`);
    assert.equal(result.fit.refused, 120);
    assert.ok(previewLines(result).includes("  neighbour quarter = 120: refused by the dialog: the same tempo as the start"));
});

test("copies of the region sit side by side, each followed by a spare measure while the score has one", () => {
    const measures = parseTimeRuns("4/4x2,3/4x3,2/4");
    const { laidOut, regions } = regionCopies(measures, [2, 512, 4, 1023], 3);
    assert.deepEqual(laidOut.map((m) => m.length), [4096, 3072, 3072, 3072, 4096, 3072, 3072, 3072, 4096, 3072, 3072, 3072]);
    assert.deepEqual(regions, [[1, 512, 3, 1023], [5, 512, 7, 1023], [9, 512, 11, 1023]]);
    // A region that ends the score has no measure after it, nor do its copies.
    assert.deepEqual(regionCopies(measures, [5, 0, 6, 0x7fffffff], 2).regions, [[1, 0, 2, 0x7fffffff], [3, 0, 4, 0x7fffffff]]);
    const whole = Array(MAX_MEASURES).fill(measures[0]);
    assert.deepEqual(copyLayout(whole, [1, 0, MAX_MEASURES, 0x7fffffff]).size, MAX_MEASURES);
    assert.equal(copyLayout(whole, [1, 0, 100, 0x7fffffff]).perRun, Math.floor(MAX_MEASURES / 101));
});

test("a region that fills a score of the most measures is fitted", async () => {
    const result = await fitted({ time: `1/16x${MAX_MEASURES}`, from: "1", to: String(MAX_MEASURES), start: "q=120", fit: "4000", after: "stop" });
    const { fit } = result;
    assert.equal(fit.reachable, true);
    for (const bpm of fit.neighbours) {
        assert.ok(Math.abs(fit.seconds.get(fit.bpm) - 4000) <= Math.abs(fit.seconds.get(bpm) - 4000));
    }
    assert.ok(Math.abs(result.summary.writtenS - fit.seconds.get(fit.bpm)) < 5e-4);
});

test("a duration reads in every form a cue sheet gives a time, as a hit's time reads", async () => {
    const target = async (fit, fps) => (await plan({ ...SPAN, start: "q=120", stop: null, fit, fps })).target;
    assert.equal(await target("1:23.5"), 83.5);
    assert.equal(await target("0:25.0"), 25);
    assert.equal(await target("83.5"), 83.5);
    const forms = [["25s", 25], ["25 s", 25], ["25.5 sec", 25.5], ["90 Seconds", 90], ["1:23.5s", 83.5], ["0:10:30", 630],
        ["1:2:3", 3723], ["1m 30s", 90], ["1 min 30 sec", 90], ["25 m", 1500], ["1h 2m", 3720], ["1_000", 1000], ["1e3", 1000]];
    for (const [text, seconds] of forms) assert.equal(await target(text), seconds, text);
    assert.equal(await target("00:00:25:12", "25"), 25.48, "a timecode at the frame rate");
    await assert.rejects(target("00:00:25:12"), { message: /--fit: the timecode 00:00:25:12 needs its frame rate/ });
    for (const bad of ["1:75", ":30", "0:00", "1:-5", "s", "25 ss", "2 5s", "30s 1m", "-5"]) {
        await assert.rejects(target(bad), { message: `--fit: '${bad}' is not a duration in seconds` }, bad);
    }
});

// The model of a continuous ramp puts the first probe beside the answer: one
// run of the plug-in times it with its neighbours, and at most one more the
// chosen tempo's. A search that strays (a bracket turned the wrong way finds
// the same answer in many more runs) shows in the count.
test("a fit takes the plug-in two runs at most", async () => {
    let runs = 0;
    const counting = { runScenario: (scenario) => { runs += 1; return plugin.runScenario(scenario); } };
    for (const [start, target, stopUnit] of [["q=120", 25, null], ["q=60", 20, null], ["q=90", 22, "h."], ["q=100", 16, null]]) {
        runs = 0;
        const checked = await plan({ ...SPAN, start, stop: null, fit: String(target), stopUnit });
        const { fit } = await fittedStop(checked, counting);
        assert.ok(fit.reachable, `${start} in ${target} s`);
        assert.ok(runs <= 2, `${start} in ${target} s: ${runs} runs of the plug-in`);
    }
});
