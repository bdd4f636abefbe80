// A score cut into pieces to draw: each piece a score of its own that reads
// as the same music (the clefs, keys, meters, divisions and transpositions
// in force carried in), in the parts chosen; measures grouped into systems;
// the landmarks a long score is found by.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";

import { Excerpts, measureWidth, systemRuns } from "../lib/excerpt.js";
import { landmarks, tempoLabel } from "../lib/landmarks.js";
import { children, child, parseScoreDocument, readParts, readScore } from "../lib/musicxml.js";
import { readScoreFile } from "../lib/inputs.js";
import { tools } from "../node/xml-tools.js";

const note = (staff, duration = 4) => `<note><pitch><step>C</step><octave>4</octave></pitch><duration>${duration}</duration>`
    + `<staff>${staff}</staff></note>`;
const bar = (duration) => note(1, duration) + `<backup><duration>${duration}</duration></backup>` + note(2, duration);

// A piano part whose second measure changes key, meter and the lower clef,
// and whose third changes divisions; a violin with a transposition and a
// layout hint; part groups around both.
const PIANO_AND_VIOLIN = `<?xml version="1.0" encoding="UTF-8"?>
<score-partwise version="3.1"><part-list>
  <part-group type="start" number="1"/>
  <score-part id="P1"><part-name>Piano</part-name><part-abbreviation>Pno.</part-abbreviation></score-part>
  <score-part id="P2"><part-name>Violin</part-name><part-abbreviation>Vln.</part-abbreviation><group>strings</group></score-part>
  <part-group type="stop" number="1"/>
</part-list>
<part id="P1">
  <measure number="1"><attributes><divisions>1</divisions><key><fifths>0</fifths></key><time><beats>4</beats><beat-type>4</beat-type></time>
    <staves>2</staves><clef number="1"><sign>G</sign><line>2</line></clef><clef number="2"><sign>F</sign><line>4</line></clef></attributes>${bar(4)}</measure>
  <measure number="2"><attributes><key><fifths>2</fifths></key><time><beats>3</beats><beat-type>4</beat-type></time>
    <clef number="2"><sign>G</sign><line>2</line></clef></attributes>${bar(3)}</measure>
  <measure number="3"><attributes><divisions>4</divisions></attributes>${bar(12)}</measure>
  <measure number="4">${bar(12)}</measure>
</part>
<part id="P2">
  <measure number="1"><attributes><divisions>1</divisions><key><fifths>0</fifths></key><time><beats>4</beats><beat-type>4</beat-type></time>
    <clef><sign>G</sign><line>2</line></clef><transpose><diatonic>0</diatonic><chromatic>0</chromatic></transpose></attributes>${note(1, 4)}</measure>
  <measure number="2"><attributes><time><beats>3</beats><beat-type>4</beat-type></time></attributes>${note(1, 3)}</measure>
  <measure number="3"><print new-system="yes"/>${note(1, 3)}</measure>
  <measure number="4">${note(1, 3)}</measure>
</part></score-partwise>`;

const excerptsOf = async (text) => new Excerpts(
    await parseScoreDocument(new TextEncoder().encode(text), "score.musicxml", tools), tools.XMLSerializer);
const parse = (text) => new tools.DOMParser().parseFromString(text, "application/xml").documentElement;

test("a piece of a score carries what is in force where it begins, and reads as the same measures", async () => {
    const pieces = await excerptsOf(PIANO_AND_VIOLIN);
    const whole = await readScore(new TextEncoder().encode(PIANO_AND_VIOLIN), "score.musicxml", tools);
    for (const [from, to] of [[1, 4], [2, 2], [3, 4], [4, 4]]) {
        const text = pieces.text({ from, to });
        const read = await readScore(new TextEncoder().encode(text), "piece.musicxml", tools);
        assert.deepEqual(read.measures, whole.measures.slice(from - 1, to), `measures ${from} to ${to}`);
    }
    const root = parse(pieces.text({ from: 4, to: 4 }));
    const [piano, violin] = children(root, "part");
    const first = children(piano, "measure")[0];
    assert.equal(first.getAttribute("number"), "4");
    const carried = child(first, "attributes");
    const values = (tag) => children(carried, tag).map((e) => e.textContent.replace(/\s+/g, ""));
    // The lower staff's clef changed in measure 2, the upper's did not.
    assert.deepEqual(values("clef"), ["G2", "G2"]);
    assert.deepEqual(values("divisions"), ["4"]);
    assert.deepEqual(values("key"), ["2"]);
    assert.deepEqual(values("time"), ["34"]);
    // A meter is printed where it begins or changes, not again on every system.
    const printed = (from) => children(children(children(parse(pieces.text({ from, to: 4 })), "part")[0], "measure")[0], "attributes")
        .flatMap((a) => children(a, "time")).map((time) => time.getAttribute("print-object") !== "no");
    assert.deepEqual([printed(1), printed(2), printed(4)], [[true], [false, true], [false]]);
    assert.deepEqual(values("staves"), ["2"]);
    const violinFirst = children(violin, "measure")[0];
    assert.equal(children(child(violinFirst, "attributes"), "transpose").length, 1);
    // A layout hint of the whole score would break the piece's own line.
    assert.equal(children(children(parse(pieces.text({ from: 3, to: 3 })), "part")[1].getElementsByTagName("measure")[0], "print").length, 0);
});

test("a piece holds the parts chosen, named by their abbreviations in a later system, with no group left open", async () => {
    const pieces = await excerptsOf(PIANO_AND_VIOLIN);
    assert.deepEqual(pieces.partStaves(), [{ name: "Piano", staves: 2 }, { name: "Violin", staves: 1 }]);
    // A part the score gives no abbreviation keeps its name on a later system
    // beside others, where it tells the staves apart; drawn alone, none is
    // printed (null), where the library, given no name, would print its own.
    const bare = await excerptsOf(PIANO_AND_VIOLIN.replace("<part-abbreviation>Vln.</part-abbreviation>", ""));
    const table = [
        [pieces, { from: 1, to: 2 }, ["P1", "P2"], ["Piano", "Violin"]],
        [pieces, { from: 1, to: 2, parts: [1], short: true }, ["P2"], ["Vln."]],
        [pieces, { from: 1, to: 2, parts: [0, 5] }, ["P1"], ["Piano"]],
        [bare, { from: 2, to: 2, short: true }, ["P1", "P2"], ["Pno.", "Violin"]],
        [bare, { from: 2, to: 2, parts: [1], short: true }, ["P2"], [null]],
    ];
    for (const [score, piece, ids, names] of table) {
        const root = parse(score.text(piece));
        const list = child(root, "part-list");
        assert.deepEqual(children(root, "part").map((p) => p.getAttribute("id")), ids);
        assert.deepEqual(children(list, "score-part").map((p) => child(p, "part-name"))
            .map((name) => (name.getAttribute("print-object") === "no" ? null : name.textContent)), names);
        assert.equal(children(list, "part-group").length + list.getElementsByTagName("group").length, 0);
    }
});

test("a part's measure of room alone keeps its room as rests not drawn, the same time in the same voice and staff", async () => {
    const forward = "<forward><duration>6</duration><voice>2</voice><staff>1</staff></forward>";
    const score = (content) => `<score-partwise><part-list><score-part id="P1"/></part-list><part id="P1"><measure number="1">`
        + `<attributes><divisions>2</divisions><time><beats>3</beats><beat-type>4</beat-type></time></attributes>${content}`
        + "</measure></part></score-partwise>";
    const words = "<direction><direction-type><words>cru- de</words></direction-type></direction>";
    const cases = [
        [words + forward, '<note print-object="no"><rest/><duration>6</duration><voice>2</voice><staff>1</staff></note>'],
        // Beside a note, room is where another voice sings: it stays room.
        [`${note(1, 6)}<backup><duration>6</duration></backup>${forward}`, forward],
    ];
    for (const [content, kept] of cases) {
        const text = (await excerptsOf(score(content))).text({ from: 1, to: 1 });
        assert.ok(text.includes(kept), text);
    }
});

test("measures go into systems as their widths fill a line", () => {
    // [weights, width, limits, systems]
    const table = [
        [[10, 10, 10, 10], 25, {}, [[1, 2], [3, 4]]],
        [[10, 30, 10], 25, {}, [[1, 1], [2, 2], [3, 3]]],
        [[1, 1, 1, 1, 1], 100, { most: 2 }, [[1, 2], [3, 4], [5, 5]]],
        [[1, 1, 1, 1, 1], 100, { notes: [60, 60, 200, 10, 10], mostNotes: 150 }, [[1, 2], [3, 3], [4, 5]]],
        [[], 100, {}, []],
    ];
    for (const [weights, width, limits, runs] of table) {
        assert.deepEqual(systemRuns(weights, width, limits), runs, JSON.stringify([weights, limits]));
    }
    // A busier measure is wider, an empty one still a measure; accidentals
    // and words sung widen it.
    assert.ok(measureWidth([16]) > measureWidth([4]) && measureWidth([0]) === measureWidth([1]));
    assert.ok(measureWidth([4, 2]) > measureWidth([4]) && measureWidth([4, 0, 12]) > measureWidth([4, 2]));
});

test("a long score's landmarks: rehearsal marks, meter changes, tempo marks, repeats and endings, by measure", async () => {
    const file = (name) => new URL(`../../tests/preview/scores/${name}`, import.meta.url);
    const read = await readScoreFile({ name: "r.musicxml", bytes: new Uint8Array(readFileSync(file("repeats-endings-coda.musicxml"))) }, tools);
    const found = landmarks(read);
    assert.deepEqual(found.meters, [[1, "4/4"], [9, "3/4"], [10, "4/4"]]);
    assert.deepEqual(found.tempos, [[1, "q = 100"], [3, "più mosso"], [9, "q = 80"]]);
    assert.deepEqual(found.repeats, [[2, "forward", ""], [3, "backward", ""], [5, "forward", ""], [6, "ending", "1."],
        [6, "backward", ""], [7, "ending", "2."]]);
    // A rehearsal mark given in two parts is one mark. A measure is as wide
    // as the places its parts' notes begin at: the piano's dotted halves and
    // the violin's rest and two quarters are three, its grace note one more.
    const marked = PIANO_AND_VIOLIN.replace(/<measure number="3">/g,
        '<measure number="3"><direction><direction-type><rehearsal>B</rehearsal></direction-type></direction>');
    const fourth = (xml) => marked.replace(/(<part id="P2">[^]*)<measure number="4">[^]*?<\/measure>/, `$1<measure number="4">${xml}</measure>`);
    const rhythm = "<note><rest/><duration>1</duration></note>" + note(1, 1) + "<note><grace/><pitch><step>D</step><octave>4</octave>"
        + "</pitch></note>" + note(1, 1);
    const root = await parseScoreDocument(new TextEncoder().encode(fourth(rhythm)), "m.musicxml", tools);
    const other = landmarks(readParts(root, "m.musicxml"));
    assert.deepEqual(other.rehearsals, [[3, "B"]]);
    assert.deepEqual([other.spacing.map(([places]) => places), other.notes], [[1, 1, 1, 4], [3, 3, 3, 6]]);
    // The piano's second measure changes key and meter, its third only the
    // divisions.
    assert.deepEqual(other.spacing.map((spacing) => spacing[3]), [0, 2, 0, 0]);
    // Where parts sing at one place, its longest syllable spaces it; an
    // accidental anywhere at a place counts that place once. The same
    // durations are the piano's eighths (four divisions to its quarter) and
    // the violin's halves: three places, spaced by "Kyrie", "ri-" and "e".
    const sung = (text, sharp) => `<note><pitch><step>C</step>${sharp ? "<alter>1</alter>" : ""}<octave>4</octave></pitch>`
        + `<duration>2</duration>${sharp ? "<accidental>sharp</accidental>" : ""}<lyric><text>${text}</text></lyric></note>`;
    const sungFourth = (part, xml) => (text) => text.replace(new RegExp(`(<part id="${part}">[^]*?)<measure number="4">[^]*?</measure>`),
        `$1<measure number="4">${xml}</measure>`);
    const sungXml = sungFourth("P2", sung("Kyrie", true) + sung("e", false))(sungFourth("P1", sung("Glo-", true) + sung("ri-", false))(marked));
    const sungRoot = await parseScoreDocument(new TextEncoder().encode(sungXml), "w.musicxml", tools);
    assert.deepEqual(landmarks(readParts(sungRoot, "w.musicxml")).spacing[3], [3, 1, 9, 0]);
    const cue = { kind: "direction", words: ["Allegro", " "], metronome: { unit: "half", dots: 1, perMinute: "60" }, tempo: "90" };
    assert.deepEqual([cue, { ...cue, metronome: null, words: [] }, { ...cue, metronome: null, tempo: null }].map(tempoLabel),
        ["Allegro h. = 60", "q = 90", null]);
});
