// --write: the score with the ramp in it, read back by the preview's own
// reader and by an independent one (tests/preview/check_written_musicxml.py),
// holds the plug-in's records at their positions; the marks inside the
// region are gone, and every note and word of the score is where it was.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

import { InputError, hostTempoValue, parseRegion, parseTempo, parseTimeRuns } from "../lib/music.js";
import { quarterTempoValue, readScore } from "../lib/musicxml.js";
import { checkWriteName, tempoText, writeScore } from "../lib/musicxml-write.js";
import { readScoreFile } from "../lib/inputs.js";
import { fraction } from "../lib/numbers.js";
import { checkRampsWritten, planScenario, rampScenario } from "../lib/scenario.js";
import { rampWords } from "../lib/marks.js";
import { runScenario } from "./run-plugin.js";
import { tools } from "../node/xml-tools.js";

const ROOT = fileURLToPath(new URL("../..", import.meta.url));
const CHECKER = join(ROOT, "tests/preview/check_written_musicxml.py");
const FIXTURE = join(ROOT, "tests/preview/scores/pickup-meters-parts.musicxml");
const encode = (text) => new TextEncoder().encode(text);

// Records in the order a reader meets them: by measure and position, the
// later of two at one position last; a record repeated there counts once.
function normal(records) {
    const seen = new Set();
    return records.map((r) => r.slice(0, 3)).map((r, i) => [r, i])
        .sort(([a, i], [b, j]) => a[0] - b[0] || a[1] - b[1] || i - j)
        .map(([r]) => r)
        .filter((r) => !seen.has(r.join(" ")) && seen.add(r.join(" ")));
}

function independentRead(text) {
    const folder = mkdtempSync(join(tmpdir(), "zorv-write-"));
    try {
        const path = join(folder, "score.musicxml");
        writeFileSync(path, text);
        const done = spawnSync("python3", [CHECKER, path], { encoding: "utf8" });
        assert.equal(done.status, 0, done.stderr);
        return JSON.parse(done.stdout);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

// The ramp written into the score by the plug-in, then into MusicXML; both
// readers find the report's records, and the music is as it was.
async function writeRamp({ source, time, from, to, start = "q=120", stop = "q=72", after = "stop" }) {
    const score = source ? await readScore(source.bytes, source.name, tools) : { measures: parseTimeRuns(time), tempo: [] };
    const region = parseRegion(from, to, score.measures);
    const report = runScenario(rampScenario(score.measures, score.tempo, region,
        parseTempo(start, "--start"), parseTempo(stop, "--stop"), after));
    checkRampsWritten(report);
    const read = source ? await readScoreFile(source, tools) : null;
    const result = await writeScore({ source: read, measures: score.measures, records: report.tempo }, tools);
    const inScore = report.tempo.filter(([m]) => m <= score.measures.length);
    const back = await readScore(encode(result.text), "written.musicxml", tools);
    assert.deepEqual(back.measures, score.measures, "the measures");
    assert.deepEqual(back.tempo, normal(inScore), "the records, as the preview reads them");
    const independent = independentRead(result.text);
    assert.deepEqual(normal(independent.records), normal(inScore), "the records, as another reader reads them");
    return { score, region, report, result, independent };
}

test("a --time score: every meter in a minimal score, the ramp from a beat between units", async () => {
    const { report, result, independent } = await writeRamp({
        time: "4/4x4,3/4x2,6/8x2,3+2/8,12/16", from: "2:2.333", to: "9:2", after: "start",
    });
    assert.equal(result.written.length, report.tempo.length);
    assert.deepEqual(result.outside, []);
    assert.deepEqual(independent.measures, [10]);
    assert.equal(independent.notes.length, 10); // a measure rest in each
    assert.match(result.text, /^<\?xml version="1.0" encoding="UTF-8"\?>\n<!DOCTYPE score-partwise PUBLIC/);
    assert.match(result.text, /<beats>3\+2<\/beats><beat-type>8<\/beat-type>/);
});

test("a score with a pickup, meter changes and two parts: marks inside the region go, the rest stays", async () => {
    const bytes = new Uint8Array(readFileSync(FIXTURE));
    const source = { bytes, name: "pickup-meters-parts.musicxml" };
    const before = independentRead(bytes);
    const { score, result, independent } = await writeRamp({ source, from: "2:2.5", to: "5:1.5" });
    // inside: measure 3's a tempo (both parts), measure 4's più mosso; outside: the first mark, the rit.
    assert.deepEqual(score.tempo.map((r) => r.slice(0, 2)), [[1, 0], [3, 2048], [4, 1024], [5, 2048]]);
    const marks = normal(independent.records).filter(([m, p]) => !result.written.some((w) => w[0] === m && w[1] === p));
    assert.deepEqual(marks, [score.tempo[0], score.tempo[3]]);
    assert.deepEqual(independent.notes, before.notes);
    assert.deepEqual(independent.words, before.words);
    assert.deepEqual(independent.ends, before.ends);
    assert.equal(independent.measures.join(), before.measures.join());
});

// One part; voice 1 with a chord, voice 2 after a backup that ends each
// measure short of its end; triplets, so that 16ths from a beat between
// divisions need a finer count; a marked tempo (shown and played) inside
// the region, and one after it that its offset moves; a barline that closes
// the score.
const VOICES = `<?xml version="1.0" encoding="UTF-8"?>
<score-partwise version="4.0">
  <part-list><score-part id="P1"><part-name>Piano</part-name></score-part></part-list>
  <part id="P1">
    <measure number="1">
      <attributes><divisions>3</divisions><time><beats>4</beats><beat-type>4</beat-type></time></attributes>
      <note><pitch><step>C</step><octave>5</octave></pitch><duration>3</duration><voice>1</voice></note>
      <note><chord/><pitch><step>E</step><octave>5</octave></pitch><duration>3</duration><voice>1</voice></note>
      <note><pitch><step>D</step><octave>5</octave></pitch><duration>1</duration><voice>1</voice></note>
      <note><pitch><step>E</step><octave>5</octave></pitch><duration>1</duration><voice>1</voice></note>
      <note><pitch><step>F</step><octave>5</octave></pitch><duration>1</duration><voice>1</voice></note>
      <direction><direction-type><words>Allegro</words></direction-type><direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>132</per-minute></metronome></direction-type><sound tempo="132"/></direction>
      <note><pitch><step>G</step><octave>5</octave></pitch><duration>6</duration><voice>1</voice></note>
      <backup><duration>12</duration></backup>
      <note><pitch><step>C</step><octave>3</octave></pitch><duration>6</duration><voice>2</voice></note>
    </measure>
    <measure number="2">
      <note><pitch><step>A</step><octave>4</octave></pitch><duration>12</duration><voice>1</voice></note>
      <backup><duration>12</duration></backup>
      <direction><direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>66</per-minute></metronome></direction-type><sound tempo="66" dynamics="80"/></direction>
      <note attack="-1" release="2"><pitch><step>F</step><octave>3</octave></pitch><duration>3</duration><voice>2</voice></note>
    </measure>
    <measure number="3">
      <note><pitch><step>G</step><octave>4</octave></pitch><duration>12</duration><voice>1</voice></note>
      <backup><duration>12</duration></backup>
      <direction><direction-type><words>a tempo</words></direction-type><offset sound="yes">8</offset><sound tempo="100"/></direction>
      <barline location="right"><bar-style>light-heavy</bar-style></barline>
    </measure>
  </part>
</score-partwise>
`;

test("a region from mid-measure to mid-measure among chords and voices, in triplet divisions", async () => {
    const source = { bytes: encode(VOICES), name: "voices.musicxml" };
    const before = independentRead(VOICES);
    const { result, independent } = await writeRamp({ source, from: "1:1.5", to: "3:2.25", after: "none" });
    assert.deepEqual(independent.notes, before.notes);
    assert.deepEqual(independent.words, before.words);
    assert.deepEqual(independent.ends, before.ends);
    // both marks were inside: the shown tempo went with the played one;
    // the second one's dynamics stay
    assert.doesNotMatch(result.text, /per-minute>(132|66)</);
    assert.match(result.text, /<sound dynamics="80"\/>/);
    assert.match(result.text, /<divisions>3072<\/divisions>/);
    // the added records come before the closing barline
    assert.match(result.text, /<\/direction>\s*<(forward|backup)><duration>\d+<\/duration><\/(forward|backup)>\s*<barline location="right">/);
});

// A page reads its score once and writes it with each ramp asked for: every
// write from that one document must be what a fresh read of the file gives,
// whatever was written from it before (marks removed, moved sounds, a part
// counted finer, attributes in their order).
test("one score read once is written again and again, each time as from a fresh read", async () => {
    // [the file, its ramps as [from, to, after]: marks removed (one keeping
    // its dynamics, in triplet divisions), then others, then the first again]
    const files = [
        [{ bytes: encode(VOICES), name: "voices.musicxml" },
            [["1:1.5", "3:2.25", "none"], ["2", "2", "start"], ["1:1.5", "3:2.25", "none"], ["3", "3", "stop"]]],
        [{ bytes: new Uint8Array(readFileSync(FIXTURE)), name: "pickup-meters-parts.musicxml" },
            [["2:2.5", "5:1.5", "stop"], ["2", "2", "start"], ["2:2.5", "5:1.5", "stop"], ["3", "3", "stop"]]],
    ];
    for (const [file, ramps] of files) {
        const kept = await readScoreFile(file, tools);
        for (const [from, to, after] of ramps) {
            const region = parseRegion(from, to, kept.score.measures);
            const report = runScenario(rampScenario(kept.score.measures, kept.score.tempo, region,
                parseTempo("q=120", "--start"), parseTempo("q=72", "--stop"), after));
            const write = async (read) => (await writeScore({ source: read, measures: read.score.measures,
                records: report.tempo }, tools)).text;
            assert.equal(await write(kept), await write(await readScoreFile(file, tools)), `${file.name} ${from}-${to}`);
        }
    }
});

test("an .mxl score is written as plain MusicXML, under a name that says so", async () => {
    const archive = new tools.JSZip();
    archive.file("score.musicxml", readFileSync(FIXTURE));
    const bytes = await archive.generateAsync({ type: "uint8array", compression: "DEFLATE" });
    const { result } = await writeRamp({ source: { bytes, name: "score.mxl" }, from: "2", to: "3", after: "start" });
    assert.match(result.text, /^<\?xml /);
    assert.throws(() => checkWriteName("ramp.mxl"), (e) => e instanceof InputError
        && e.message === "--write ramp.mxl: the score is written as plain MusicXML; name a .musicxml or .xml file");
    assert.doesNotThrow(() => checkWriteName("ramp.musicxml"));
});

test("the record after a region that ends the score has no measure to go in", async () => {
    const { report, result } = await writeRamp({ time: "4/4x3", from: "2", to: "3", after: "start" });
    assert.deepEqual(result.outside, [[4, 0, report.tempo[0][2]]]);
    assert.ok(result.written.every(([m]) => m <= 3));
});

test("a mark after the region and the record written on it: the record holds", async () => {
    // the q=90 mark on measure 4, in the last part, where the ramp's records go too
    const twoParts = `<score-partwise><part-list><score-part id="P1"><part-name>A</part-name></score-part>
      <score-part id="P2"><part-name>B</part-name></score-part></part-list>
      <part id="P1">${"<measure><attributes><divisions>1</divisions><time><beats>4</beats><beat-type>4</beat-type></time></attributes></measure>"}
        <measure/><measure/><measure/><measure/></part>
      <part id="P2"><measure><attributes><divisions>2</divisions></attributes><note><rest/><duration>8</duration></note></measure>
        <measure/><measure/><measure><sound tempo="90"/><note><rest/><duration>8</duration></note></measure><measure/></part></score-partwise>`;
    const source = { bytes: encode(twoParts), name: "two.musicxml" };
    const { report, independent } = await writeRamp({ source, from: "2", to: "3", start: "q=120", stop: "q=60", after: "start" });
    const onFour = normal(independent.records).filter(([m, p]) => m === 4 && p === 0).map(([, , v]) => v);
    assert.deepEqual(onFour, [Number(quarterTempoValue(fraction(90n))), report.tempo.find(([m]) => m === 2)[2]]);
});

test("a tempo as the shortest decimal that the host reads back as the record", () => {
    assert.equal(tempoText(134217), "120");
    assert.equal(tempoText(81089), "72.5");
    for (const value of [1, 559, 81117, 134218, 7158278, 2147483647]) {
        const text = tempoText(value);
        assert.equal(quarterTempoValue(fraction(...decimalParts(text))), BigInt(value), text);
        // no decimal with one digit fewer reads as the record: not the
        // nearest below, not the nearest above
        const [n, scale] = decimalParts(text);
        if (scale > 1n) {
            const below = n / 10n;
            for (const shorter of [below, below + 1n]) {
                assert.notEqual(quarterTempoValue(fraction(shorter, scale / 10n)), BigInt(value), `${text}: ${shorter}/${scale / 10n}`);
            }
        }
    }
});

function decimalParts(text) {
    const [whole, decimals = ""] = text.split(".");
    return [BigInt(whole + decimals), 10n ** BigInt(decimals.length)];
}

// For each tempo value from quarter = 20 to quarter = 600 (every value the
// dialog's range spans), the quarter-note tempo with the fewest decimals that
// the host reads as it, the lowest of those, found the other way round:
// every decimal of 0 to 4 decimals in that range, lowest first, read as the
// host reads a tempo (units per second, truncated, then * 16 / 1000,
// truncated), in plain doubles, which hold these products exactly.
function fewestDecimals(lowest, highest) {
    const texts = new Array(highest - lowest + 1).fill(null);
    for (let digits = 0; digits <= 4; digits += 1) {
        const scale = 10 ** digits;
        for (let n = 20 * scale - 1; n <= 600 * scale + 1; n += 1) {
            const perSecond = Math.floor((n * 1024 * 4096) / (60 * scale));
            const value = Math.floor((perSecond * 16) / 1000);
            if (value >= lowest && value <= highest && texts[value - lowest] === null) {
                texts[value - lowest] = digits ? `${Math.floor(n / scale)}.${String(n % scale).padStart(digits, "0")}` : `${n}`;
            }
        }
    }
    return texts;
}

test("across the dialog's whole range, each tempo is written with the fewest decimals that read back as it", () => {
    const lowest = hostTempoValue(2, 20, 0);
    const highest = hostTempoValue(2, 600, 0);
    assert.equal(highest - lowest + 1, 648720);
    const expected = fewestDecimals(lowest, highest);
    const differing = [];
    // Every 7th value: both parities, every stretch of the range.
    for (let value = lowest; value <= highest; value += 7) {
        const text = tempoText(value);
        if (text !== expected[value - lowest]) differing.push([value, text, expected[value - lowest]]);
    }
    assert.deepEqual(differing.slice(0, 5), []);
});

test("the words that show each ramp: rit. or accel. with dashes to its end, a tempo after, none the score already has", async () => {
    const bytes = new Uint8Array(readFileSync(join(ROOT, "tests/preview/scores/tempo-words.musicxml")));
    const read = await readScoreFile({ bytes, name: "tempo-words.musicxml" }, tools);
    const { measures, tempo } = read.score;
    const quarter = (bpm) => ({ unit: 2, dotted: false, bpm });
    // [runs, the words and dashes an independent reader finds that the score did not have]
    const cases = [
        [[{ region: parseRegion("5", "6:3", measures), start: quarter(100), stop: quarter(75), after: "start" }],
            [["P1", 5, "0", "rit."], ["P1", 6, "2", "a tempo"]], [["P1", 5, "0", "start"], ["P1", 6, "2", "stop"]]],
        // a shaped ramp's runs are one ramp; it ends the measure it ends in
        [[{ region: parseRegion("5", "5:3", measures), start: quarter(100), stop: quarter(110), after: "none" },
            { region: parseRegion("5:3", "6", measures), start: quarter(110), stop: quarter(130), after: "stop" }],
        [["P1", 5, "0", "accel."]], [["P1", 5, "0", "start"], ["P1", 6, "4", "stop"]]],
        // the score's own rit. at measure 3 and a tempo at measure 5 stay the only ones
        [[{ region: parseRegion("3", "4", measures), start: quarter(100), stop: quarter(75), after: "start" }], [], []],
        [[{ region: parseRegion("2", "2", measures), start: quarter(100), stop: quarter(75), after: "start" }],
            [["P1", 2, "0", "rit."], ["P1", 3, "0", "a tempo"]], [["P1", 2, "0", "start"], ["P1", 2, "4", "stop"]]],
    ];
    const before = independentRead(new TextDecoder().decode(bytes));
    const added = (now, was) => now.filter((item) => !was.some((old) => JSON.stringify(old) === JSON.stringify(item)));
    for (const [runs, words, dashes] of cases) {
        const report = runScenario(planScenario(measures, tempo, runs));
        checkRampsWritten(report);
        const shown = rampWords(runs, measures, read);
        const result = await writeScore({ source: read, measures, records: report.tempo, words: shown }, tools);
        const after = independentRead(result.text);
        // positions in quarters, as the checker counts them in its units
        const quarters = (at) => at.split("/").map(Number).reduce((n, d) => n / d) / 1024;
        const inQuarters = (items) => items.map(([part, m, at, text]) => [part, m, String(quarters(at)), text]);
        assert.deepEqual(inQuarters(added(after.words, before.words)), words, JSON.stringify(runs.map((r) => r.region)));
        assert.deepEqual(inQuarters(added(after.dashes, before.dashes)), dashes);
        assert.deepEqual(normal(after.records), normal(report.tempo.filter(([m]) => m <= measures.length)));
    }
});
