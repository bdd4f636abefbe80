// Playback order: repeats, endings and jumps heard as a notation program
// plays them; the score laid out along that order keeps its tempo records
// where they are written; a score with repeats, endings and a D.S. al Coda
// is timed as the same music written out as it is heard.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { InputError, parseTimeRuns } from "../lib/music.js";
import { plan } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { previewLines } from "../lib/lines.js";
import { loadPlugin } from "../node/plugin-node.js";
import { tools } from "../node/xml-tools.js";
import {
    MOST_HEARD, expandOrder, heardScore, heardSeconds, heardSpans, playbackOrder, straightOrder,
} from "../lib/playback.js";

const ROOT = fileURLToPath(new URL("../..", import.meta.url));
const SCORES = join(ROOT, "tests", "preview", "scores");

const forward = (measure) => ({ measure, kind: "forward" });
const backward = (measure, times = null, afterJump = false) => ({ measure, kind: "backward", times, afterJump });
const ending = (measure, numbers, type = "start") => ({ measure, kind: "ending", numbers, type });
const sign = (measure, kind, name = "") => ({ measure, kind, name });
const jump = (measure, kind, name = null, only = null) => ({ measure, kind, name, only });

test("repeats, endings and jumps play in the order musicians read them", () => {
    // [what the case is, measures, marks, the measures heard]
    const cases = [
        ["a repeat plays twice", 5, [forward(2), backward(3)], "1 2 3 2 3 4 5"],
        ["times says how often", 4, [forward(2), backward(3, 3)], "1 2 3 2 3 2 3 4"],
        ["no forward repeat: back to the start", 3, [backward(2)], "1 2 1 2 3"],
        ["a second repeat goes back to after the first", 4, [backward(2), backward(4)], "1 2 1 2 3 4 3 4"],
        // MuseScore 3 counts the first ending into the earlier repeat's passes and never plays it.
        ["a first ending whose repeat has no forward repeat counts that repeat's passes", 7,
            [forward(2), backward(3), ending(5, [1]), backward(5), ending(5, [1], "stop"), ending(6, [2]),
                ending(6, [2], "discontinue")],
            "1 2 3 2 3 4 5 4 6 7"],
        ["first and second endings", 5,
            [forward(1), ending(3, [1]), backward(3), ending(3, [1], "stop"), ending(4, [2]), ending(4, [2], "discontinue")],
            "1 2 3 1 2 4 5"],
        ["an ending for passes 1 and 2, and a third", 5,
            [ending(2, [1, 2]), backward(3), ending(3, [1, 2], "stop"), ending(4, [3]), ending(4, [3], "stop")],
            "1 2 3 1 2 3 1 4 5"],
        ["an ending without its stop ends at its repeat", 5,
            [forward(2), ending(3, [1]), backward(3), ending(4, [2])], "1 2 3 2 4 5"],
        ["a pass that no ending names skips them all, and the music after them repeats alone", 6,
            [ending(2, [1]), backward(2), ending(2, [1], "stop"), ending(3, [2]), backward(3, 3), ending(3, [2], "stop"),
                backward(5)],
            "1 2 1 3 1 4 5 4 5 6"],
        ["a lone first ending plays on the first pass only", 4,
            [ending(3, [1]), backward(3), ending(3, [1], "stop")], "1 2 3 1 2 4"],
        ["a first ending closed before the repeat barline: the measures after it play on both passes", 7,
            [forward(2), ending(4, [1]), ending(4, [1], "stop"), backward(5), ending(6, [2]), ending(6, [2], "discontinue")],
            "1 2 3 4 5 2 3 5 6 7"],
        ["a second ending after a repeat with no numbered first", 5,
            [backward(3), ending(4, [2]), ending(4, [2], "discontinue")], "1 2 3 1 2 3 4 5"],
        ["an ending after a repeat for a pass it did not end on is not its", 5,
            [backward(2), ending(3, [1]), backward(3), ending(4, [2])], "1 2 1 2 3 4 5"],
        ["D.C. al Fine", 5, [jump(3, "fine"), jump(5, "dacapo")], "1 2 3 4 5 1 2 3"],
        ["Fine before the D.C. does not stop", 3, [jump(1, "fine"), jump(3, "dacapo")], "1 2 3 1"],
        ["D.S. al Coda", 8,
            [sign(2, "segno", "S"), jump(4, "tocoda", "C"), jump(6, "dalsegno", "S"), sign(7, "coda", "C")],
            "1 2 3 4 5 6 2 3 4 7 8"],
        ["To Coda before the jump goes on", 4, [jump(2, "tocoda", "C"), sign(4, "coda", "C")], "1 2 3 4"],
        ["after a D.C. repeats are not taken", 3, [backward(2), jump(3, "dacapo")], "1 2 1 2 3 1 2 3"],
        ["unless the repeat says so", 3, [backward(2, null, true), jump(3, "dacapo")], "1 2 1 2 3 1 2 1 2 3"],
        ["after a D.C. the last ending plays", 4,
            [forward(1), ending(2, [1]), backward(2), ending(2, [1], "stop"), ending(3, [2]),
                ending(3, [2], "discontinue"), jump(4, "dacapo")],
            "1 2 1 3 4 1 3 4"],
        ["a D.S. names its segno", 5,
            [sign(1, "segno", "A"), sign(3, "segno", "B"), jump(4, "dalsegno", "A")], "1 2 3 4 1 2 3 4 5"],
        ["a D.S. whose name matches none takes the segno before it", 5,
            [sign(2, "segno", "x"), jump(3, "dalsegno", "y"), sign(4, "segno", "z")], "1 2 3 2 3 4 5"],
        ["a To Coda whose name matches none goes on to the coda after it", 5,
            [sign(1, "coda", "a"), jump(2, "tocoda", "q"), jump(3, "dacapo"), sign(4, "coda", "b")], "1 2 3 1 2 4 5"],
        ["time-only: a D.S. on the second hearing", 4,
            [forward(1), backward(2), sign(1, "segno"), jump(2, "dalsegno", "", [2])], "1 2 1 2 1 2 3 4"],
        ["a repeat that ends a D.C. with Fine at its end", 4,
            [forward(1), backward(2), jump(2, "fine"), jump(4, "dacapo")], "1 2 1 2 3 4 1 2"],
    ];
    for (const [what, count, marks, heard] of cases) {
        assert.equal(expandOrder(playbackOrder(count, marks)).join(" "), heard, what);
    }
    assert.deepEqual(playbackOrder(4, []), straightOrder(4));
    assert.deepEqual(playbackOrder(5, [forward(2), backward(3)]), [[1, 3], [2, 5]]);
});

test("a repeat played beyond all reason is refused at once, not played", () => {
    const started = Date.now();
    assert.throws(() => playbackOrder(4, [backward(4, 100000)], "big.musicxml"), (error) =>
        error instanceof InputError && error.message === "big.musicxml: its repeats and jumps play more than 131,068 measures");
    assert.ok(Date.now() - started < 2000);
    assert.equal(expandOrder(playbackOrder(4, [backward(4, MOST_HEARD / 4)])).length, MOST_HEARD);
});

// 4/4 throughout: measure n starts at (n - 1) * 4096.
const FOUR = parseTimeRuns("4/4x6");
const Q = 134217; // quarter = 120
const region = (from, to) => [from, 0, to, 0x7fffffff];

test("a measure heard again plays under the records at its own positions", () => {
    // |: 1 2 :| 3, a record at 1 (q = 60) and one mid-2 (q = 120): the
    // second time round measure 1 is at q = 60 again, not 120.
    const order = playbackOrder(6, [backward(2)]);
    const points = [[0, Q / 2], [4096 + 2048, Q]];
    const heard = heardScore(FOUR, order, points, region(3, 3));
    assert.deepEqual(heard.numbers, [1, 2, 1, 2, 3, 4]);
    assert.deepEqual(heard.points, [[0, Q / 2], [6144, Q], [8192, Q / 2], [14336, Q]]);
    // 4 s + 2 s + 1 s, twice, then measure 3 at 120.
    const [third] = heardSeconds(heard, 8192);
    assert.ok(Math.abs(third - 14) < 1e-3, `${third}`);
    assert.deepEqual(heardSeconds(heard, 0).map((s) => Math.round(s * 1000) / 1000), [0, 7]);
    assert.deepEqual(heardSpans(heard, 2048, 6144), [[2048, 6144], [10240, 14336]]);
    // Without a record at the start, the assumed quarter = 120 comes back too.
    const late = heardScore(FOUR, order, [[4096, Q / 2]], region(3, 3));
    assert.deepEqual(late.points, [[0, 134217.728], [4096, Q / 2], [8192, 134217.728], [12288, Q / 2]]);
});

test("the region is heard in passes: each time round a repeat, a repeat inside it in one", () => {
    const order = playbackOrder(6, [forward(2), backward(3)]); // 1 2 3 2 3 4 5 6
    const cases = [
        // [region, passes as [start, end] ticks, pieces of score]
        [region(2, 3), [[4096, 12288, [[4096, 12288]]], [12288, 20480, [[4096, 12288]]]]],
        [region(1, 4), [[0, 24576, [[0, 12288], [4096, 16384]]]]],
        [[3, 2048, 5, 0x7fffffff], [[10240, 12288, [[10240, 12288]]], [18432, 28672, [[10240, 20480]]]]],
        [region(6, 6), [[28672, 32768, [[20480, 24576]]]]],
    ];
    for (const [span, passes] of cases) {
        const heard = heardScore(FOUR, order, [], span);
        assert.deepEqual(heard.passes.map((p) => [p.start, p.end, p.pieces]), passes, span.join(" "));
    }
    // Heard up to the measure heard after the last pass; nothing after the
    // score's end, nor after a Fine.
    assert.deepEqual(heardScore(FOUR, order, [], region(2, 3)).numbers, [1, 2, 3, 2, 3, 4]);
    assert.deepEqual(heardScore(FOUR, order, [], region(6, 6)).numbers, [1, 2, 3, 2, 3, 4, 5, 6]);
    const alFine = playbackOrder(6, [jump(2, "fine"), jump(4, "dacapo")]); // 1 2 3 4 1 2
    assert.deepEqual(heardScore(FOUR, alFine, [], region(1, 2)).numbers, [1, 2, 3, 4, 1, 2]);
    assert.deepEqual(heardScore(FOUR, alFine, [], region(3, 3)).numbers, [1, 2, 3, 4]);
    assert.equal(heardScore(FOUR, straightOrder(6), [], region(2, 3)).straight, true);
});

test("a region inside a repeat played three times is timed each time, each pass as once through it", async () => {
    // (The same score is held against the music written out as heard by
    // tests/preview/test_playback.py, through its MIDI file.)
    const name = "repeats-endings-coda.musicxml";
    const checked = await plan({ score: { name, bytes: readFileSync(join(SCORES, name)) }, from: "2", to: "3", start: "q=80",
        stop: "q=60", after: "stop" }, tools);
    const out = previewLines(await runPreview(checked, await loadPlugin())).join("\n");
    assert.ok(out.includes("its repeats and jumps play 20 measures") && out.includes("heard 3 times:"), out);
    const once = /once through with the written records: ([0-9.]+) s/.exec(out)[1];
    const passes = [...out.matchAll(/^ {2}measures 2 to 3: from ([0-9.]+) s to ([0-9.]+) s \(([0-9.]+) s\)$/gm)];
    assert.deepEqual(passes.map((pass) => pass[3]), [once, once, once], out);
    assert.equal(passes[1][1], passes[0][2]); // back to back
});
