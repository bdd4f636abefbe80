// The results in a musician's words: tempos in the unit the start was given
// in, measures by Finale's number and the printed one, what a fit chose or
// that nothing reaches, why the last record is not the stop tempo, and the
// tempo before the first record, each said only where it holds.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { plan } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { bpmIn, headline, regionWords, tempoWords } from "../lib/words.js";
import { pieceText } from "../lib/playback.js";
import { loadPlugin } from "../node/plugin-node.js";
import { tools } from "../node/xml-tools.js";

const plugin = loadPlugin();

async function preview(inputs) {
    const checked = await plan({ time: "4/4x24", after: "stop", ...inputs }, tools);
    return runPreview(checked, await plugin);
}

const kinds = (lines) => lines.map((line) => line.kind);

test("tempos read in the start's beat unit", () => {
    // [start unit, quarter BPM, the same tempo in that unit]
    const cases = [
        [{ unit: 2, dotted: false }, 120, 120],
        [{ unit: 2, dotted: true }, 120, 80],
        [{ unit: 1, dotted: false }, 120, 240],
        [{ unit: 3, dotted: true }, 90, 30],
        [{ unit: 0, dotted: false }, 30, 120],
    ];
    for (const [beat, quarter, inUnit] of cases) assert.ok(Math.abs(bpmIn(beat, quarter) - inUnit) < 1e-9, `${quarter}`);
    // The plug-in's value for dotted quarter = 80 reads back as 80.0, not as quarters.
    assert.equal(tempoWords({ unit: 2, dotted: true }, 134217), "dotted quarter = 80.0");
});

test("a region and a pass through it name each measure as the score prints it where that differs", () => {
    const measures = Array(6).fill({ length: 4096, clicks: [0, 1024, 2048, 3072], downbeat: true, meter: "4/4" });
    const starts = [0, 0, 4096, 8192, 12288, 16384, 20480];
    const printed = [null, "1", "2", "3", "3a", "6"];
    // [region, with the printed numbers, without]
    const regions = [
        [[2, 0, 4, 0x7fffffff], "measure 2 (printed 1) through the end of measure 4 (printed 3)",
            "measure 2 through the end of measure 4"],
        [[1, 0, 1, 0x7fffffff], "all of measure 1 (unnumbered)", "all of measure 1"],
        [[5, 1024, 6, 2047], "measure 5 (printed 3a), beat 2 up to measure 6, beat 3 (not included)",
            "measure 5, beat 2 up to measure 6, beat 3 (not included)"],
    ];
    for (const [region, named, plain] of regions) {
        assert.equal(regionWords(region, measures, printed), named);
        assert.equal(regionWords(region, measures, null), plain);
    }
    // [piece of a pass, with the printed numbers, without]
    const pieces = [
        [[4096, 12288], "measures 2 (printed 1) to 3 (printed 2)", "measures 2 to 3"],
        [[0, 4096], "measure 1 (unnumbered)", "measure 1"],
        [[5120, 12288], "measure 2 (printed 1), beat 2 to the end of measure 3 (printed 2)", "measure 2, beat 2 to the end of measure 3"],
        [[12288, 14336], "measure 4 (printed 3) to measure 4 (printed 3), beat 3", "measure 4 to measure 4, beat 3"],
    ];
    for (const [piece, named, plain] of pieces) {
        assert.equal(pieceText(measures, starts, piece, printed), named);
        assert.equal(pieceText(measures, starts, piece), plain);
    }
});

test("the first sentences say what holds for each ramp, and only that", async () => {
    // [inputs, the kinds of sentence, what the sentences must say]
    const cases = [
        // The ritardando of docs/preview.md: the step back, quarter = 120 before measure 12; the last
        // record, 72.5, is within a hundredth of the stop tempo: not worth a sentence.
        [{ from: "12", to: "19", start: "q=120", stop: "q=72", after: "start" }, ["time", "after", "before"],
            [/^Measure 12 through the end of measure 19 plays for 20\.38 s \(an ideal, smooth ramp: 20\.43 s\)\.$/,
                /steps from quarter = 72\.5 to quarter = 120\.0 \(back to the start tempo/, /measure 12\) the score plays at quarter = 120/]],
        // From the first measure nothing comes before the first record, and there is no step into the ramp.
        [{ from: "1", to: "4", start: "q=60", stop: "q=120", after: "stop" }, ["time", "after"],
            [/^Measure 1 through/, /steps from quarter = 119\.\d to quarter = 120\.0 \(the stop tempo holds/]],
        // Dotted quarters in, dotted quarters out; quarter = 120 before is dotted quarter = 80, no step.
        [{ from: "3", to: "6", start: "q.=80", stop: "q.=40", after: "start" }, ["time", "after", "last", "before"],
            [/./, /steps from dotted quarter = 4\d\.\d to dotted quarter = 80\.0/,
                /^The ramp ends at dotted quarter = 41\.3, short of the stop tempo dotted quarter = 40:/]],
        // A start away from the tempo before it says the step, in the start's unit.
        [{ from: "3:2", to: "6", start: "h=40", stop: "h=30", after: "stop" }, ["time", "step", "after", "last", "before"],
            [/./, /^The tempo steps from half = 60 to 40 at measure 3, beat 2\.$/]],
        // A fit out of reach is said as plainly as one that reaches.
        [{ from: "12", to: "19", start: "q=120", fit: "25", after: "start" }, ["time", "fit", "after", "last", "before"],
            [/./, /^Stop tempo for 25\.00 s: quarter = \d+, which plays 2[45]\.\d\d s\. Its neighbours: quarter = \d+ plays/]],
        [{ from: "12", to: "19", start: "q=120", fit: "3", after: "none" }, ["time", "unreachable", "before"],
            [/./, /^Out of reach: no stop tempo from 20 to 600 makes the region last 3\.00 s\. The nearest is quarter = 600/]],
    ];
    for (const [inputs, wanted, said] of cases) {
        const lines = headline(await preview(inputs));
        assert.deepEqual(kinds(lines), wanted, JSON.stringify(inputs));
        said.forEach((pattern, i) => assert.match(lines[i].text, pattern, JSON.stringify(inputs)));
        assert.doesNotMatch(lines.map((l) => l.text).join(" "), /ERegion|tempo value/);
    }
});

test("a score heard more than once says so, and names its measures as printed", async () => {
    const read = (name) => ({ name, bytes: new Uint8Array(readFileSync(new URL(`../../tests/preview/scores/${name}`, import.meta.url))) });
    const repeats = await runPreview(await plan({ score: read("repeats-endings-coda.musicxml"), from: "2", to: "3",
        start: "q=100", stop: "q=60" }, tools), await plugin);
    assert.match(headline(repeats)[0].text, /plays for [\d.]+ s once through .*The score's repeats play it 3 times, [\d.]+ s in all\.$/);
    const pickupPlan = await plan({ score: read("pickup-meters-parts.musicxml"), from: "3", to: "5", start: "q=100",
        stop: "q=60" }, tools);
    const pickup = await runPreview(pickupPlan, await plugin);
    assert.match(headline(pickup, pickupPlan.score.printed)[0].text,
        /^Measure 3 \(printed 2\) through the end of measure 5 \(printed 4\) plays for/);
});
