// The tempo in force at a measure, as a ramp's start there: the score's own
// mark in its own beat unit, a mark inside a measure holding from the next.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readScoreFile } from "../lib/inputs.js";
import { scoreTempos, tempoInForce } from "../lib/score-tempo.js";
import { tools } from "../node/xml-tools.js";

const rest = "<note><rest/><duration>6</duration></note>";
const mark = (unit, dots, perMinute, tempo) => `<direction><direction-type><metronome><beat-unit>${unit}</beat-unit>`
    + `${"<beat-unit-dot/>".repeat(dots)}<per-minute>${perMinute}</per-minute></metronome></direction-type>`
    + `<sound tempo="${tempo}"/></direction>`;
const halfRest = "<note><rest/><duration>3</duration></note>";
const measures = [
    `<attributes><divisions>2</divisions><time><beats>6</beats><beat-type>8</beat-type></time></attributes>${mark("quarter", 1, 60, 90)}${rest}`,
    rest,
    // A mark halfway through the measure holds from the next one.
    `${halfRest}<direction><direction-type><words>a tempo</words></direction-type><sound tempo="120"/></direction>${halfRest}`,
    `${mark("breve", 0, 30, 120)}${rest}`,
    `${mark("eighth", 0, 1500, 750)}${rest}`,
    `${mark("half", 0, "c. 40", 82)}${rest}`,
];
const xml = `<?xml version="1.0"?><score-partwise version="3.1"><part-list><score-part id="P1"><part-name>A</part-name>`
    + `</score-part></part-list><part id="P1">${measures.map((m, i) => `<measure number="${i + 1}">${m}</measure>`).join("")}`
    + "</part></score-partwise>";

test("the tempo in force where a measure begins, in the unit its mark is written in", async () => {
    const read = await readScoreFile({ name: "marks.musicxml", bytes: new TextEncoder().encode(xml) }, tools);
    const tempos = scoreTempos(read);
    // [measure, {unit, dotted, bpm}]
    const cases = [
        [1, { unit: 2, dotted: true, bpm: 60 }],
        [3, { unit: 2, dotted: true, bpm: 60 }],
        // Read from the record, not the mark's text; a unit the dialog lacks reads as quarters.
        [4, { unit: 2, dotted: false, bpm: 120 }],
        // Beyond the dialog's range it is the nearest it takes.
        [5, { unit: 1, dotted: false, bpm: 600 }],
        [6, { unit: 3, dotted: false, bpm: 41 }],
        [99, { unit: 3, dotted: false, bpm: 41 }],
    ];
    for (const [measure, tempo] of cases) assert.deepEqual(tempoInForce(tempos, measure), tempo, `measure ${measure}`);
    // Before any record, the quarter = 120 every score plays at.
    assert.deepEqual(tempoInForce([], 3), { unit: 2, dotted: false, bpm: 120 });
    assert.deepEqual(tempoInForce(tempos.slice(1), 2), { unit: 2, dotted: false, bpm: 120 });
});
