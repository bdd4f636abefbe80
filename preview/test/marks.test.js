// The score's own tempo words as proposed ramps: the words known and those
// only like them, a small score with each kind of start and end, dense
// <sound tempo> steps found as one ramp, and a score of the corpus where
// it is there.
import { test } from "node:test";
import assert from "node:assert/strict";
import { existsSync, readFileSync } from "node:fs";

import { readScoreFile } from "../lib/inputs.js";
import { scoreHeader, steppedSpans } from "../lib/heard.js";
import { scoreLine } from "../lib/lines.js";
import { svgText } from "../lib/tempo-map.js";
import { checkPlan, readPlanText } from "../lib/tempo-plan.js";
import { marksLines, marksPlan, proposedRamps, tempoWord } from "../lib/marks.js";
import { tools } from "../node/xml-tools.js";

const fixture = (name) => new URL(`../../tests/preview/scores/${name}`, import.meta.url);
const read = (path) => readScoreFile({ bytes: new Uint8Array(readFileSync(path)), name: String(path) }, tools);

test("tempo words are known in their forms, and words only like them are not", () => {
    const cases = [
        ["rit.", "slowing"], ["poco rit.", "slowing"], ["Ritardando", "slowing"], ["ritard", "slowing"], ["molto rall.", "slowing"],
        ["rallentando", "slowing"], ["allarg.", "slowing"], ["Allargando", "slowing"], ["calando", "slowing"], ["smorz.", "slowing"],
        ["accel.", "quickening"], ["Accelerando", "quickening"], ["string.", "quickening"], ["stringendo", "quickening"],
        ["a tempo", "a tempo"], ["A  Tempo", "a tempo"], ["Tempo I", "tempo primo"], ["tempo primo", "tempo primo"],
        ["Tempo 1º", "tempo primo"],
        ["ritenuto", null], ["riten.", null], ["Strings", null], ["string quartet", null], ["più mosso", null], ["Tempo di valse", null],
        ["dolce", null], ["spirito", null],
    ];
    for (const [text, meaning] of cases) assert.equal(tempoWord(text), meaning, text);
});

test("a score's words, dashes, a tempo, metronome marks, a fermata and a double barline as ramps and a plan", async () => {
    const score = await read(fixture("tempo-words.musicxml"));
    const ramps = proposedRamps(score);
    assert.deepEqual(marksLines(ramps, score.score.measures), [
        "The score asks for:",
        // dashes to measure 4, beat 3; "a tempo" a measure after them
        "  1. rit., m. 3 to 4, then a tempo: quarter = 100 to quarter = 75 (75 %: no mark gives the final tempo)",
        "  2. poco accel., m. 7, then a new metronome mark: quarter = 100 to quarter = 132",
        "  3. rall., m. 9 to 10:3, to a fermata: quarter = 132 to quarter = 99 (75 %: no mark gives the final tempo)",
        // "Tempo I" took the tempo back to the first mark's
        "  4. molto rit., m. 12, to a double barline: quarter = 100 to quarter = 75 (75 %: no mark gives the final tempo)",
    ]);
    const plan = marksPlan(ramps, score.score.measures);
    assert.deepEqual(plan.runs[0], { from: "3", to: "4", start: "q=100", stop: "75%", after: "start" });
    assert.deepEqual(plan.runs.map((run) => run.after), ["start", "none", "stop", "stop"]);
    // The plan written is one the plan reader takes as it stands.
    const runs = checkPlan(readPlanText(JSON.stringify(plan), "plan"), score.score, "plan");
    assert.deepEqual(runs.map((run) => run.stop.bpm), [75, 132, 99, 75]);
    assert.deepEqual(runs[2].region, [9, 0, 10, 2047]);
});

test("dense <sound tempo> steps with nothing written are one ramp, in the list and in the score's line", async () => {
    const score = await read(fixture("tempo-steps.musicxml"));
    const ramps = proposedRamps(score);
    assert.equal(ramps.length, 1);
    const [{ kind, count, start, stop }] = ramps;
    assert.deepEqual([kind, count, start.bpm, stop.bpm], ["steps", 11, 117, 87]);
    assert.deepEqual(marksPlan(ramps, score.score.measures).runs, []);
    assert.equal(scoreLine(scoreHeader({ score: score.score, source: score })),
        "Score:  8 measures: 4/4 x8, 12 tempo marks (11 of them one ramp written as steps, m. 3 to 5, quarter = 117 to 87)");
});

const CORPUS = "/work/shared/scores/osmd-Dichterliebe01.xml";

test("a score of the corpus: its ritard. with dashes, and the one to its last barline", { skip: !existsSync(CORPUS) }, async () => {
    const score = await read(CORPUS);
    const lines = marksLines(proposedRamps(score), score.score.measures);
    assert.deepEqual(lines.slice(1).map((line) => line.replace(/:.*/, "")), [
        "  1. ritard., m. 13", "  2. ritard., m. 25"]);
    assert.match(lines[1], /m\. 13:2 to 16:2, to its dashes' end/);
    assert.match(lines[2], /to a double barline/);
});

test("on the map, the score's steps are one bracketed ramp without a dot each, unless a ramp written over them replaced them", async () => {
    const score = await read(fixture("tempo-steps.musicxml"));
    const [stepped] = steppedSpans(score, [[0, 4096]]);
    assert.deepEqual(stepped, { span: [2 * 4096 + 1024, 4 * 4096 + 3072], label: "the score's ramp (11 steps)" });
    assert.deepEqual(steppedSpans(score, [[4 * 4096, 6 * 4096]]), []);
    const points = [[0, 134217], ...Array.from({ length: 11 }, (_, k) => [stepped.span[0] + k * 1024, 130000 - k * 2000])];
    const svg = svgText(points, [0, 4096], [0, 8 * 4096], null, "measure", { stepped: [stepped] });
    // the first step opens the ramp and keeps its dot; the ten after it have none
    assert.equal(svg.match(/<circle /g).length, 2);
    assert.match(svg, /<text [^>]*>the score's ramp \(11 steps\)<\/text>/);
});
