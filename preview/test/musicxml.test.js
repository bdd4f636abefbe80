// Reading MusicXML scores: measures from the first part (a pickup by its
// content, meter changes), tempo marks from every part, each once, at the
// position its sound plays; compressed .mxl files; files that are not scores,
// each refused with its one line.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { deflateRawSync } from "node:zlib";

import { InputError, hostTempoValue, measureName } from "../lib/music.js";
import { DEEPEST_NESTING, LARGEST_INFLATED, parseScoreDocument, readParts, readScore } from "../lib/musicxml.js";
import { tools } from "../node/xml-tools.js";
import { readScoreNotes } from "../lib/notes.js";
import { readScoreFile } from "../lib/inputs.js";
import { writeScore } from "../lib/musicxml-write.js";
import { zipOf } from "../../tests/fixtures/hostile.mjs";
import { largeScore } from "../../tests/fixtures/large-score.mjs";

const FIXTURE_PATH = new URL("../../tests/preview/scores/pickup-meters-parts.musicxml", import.meta.url);
const FIXTURE = new Uint8Array(readFileSync(FIXTURE_PATH));
const CONTAINER = (path) => `<?xml version="1.0" encoding="UTF-8"?>
<container><rootfiles><rootfile full-path="${path}" media-type="application/vnd.recordare.musicxml+xml"/></rootfiles></container>`;
const FULL_44 = { length: 4096, clicks: [0, 1024, 2048, 3072], downbeat: true, meter: "4/4" };

const quarter = (bpm) => hostTempoValue(2, bpm, 0);
const read = (content, name = "score.musicxml") =>
    readScore(typeof content === "string" ? new TextEncoder().encode(content) : content, name, tools);

// A one-part score: its measures' inner XML, the first with divisions and 4/4.
function onePart(divisions, ...measures) {
    const attributes = `<attributes><divisions>${divisions}</divisions>`
        + "<time><beats>4</beats><beat-type>4</beat-type></time></attributes>";
    const [first, ...rest] = measures;
    return `<score-partwise><part id="P1"><measure${first.implicit ? ' implicit="yes"' : ""}>${attributes}`
        + `${first.xml ?? first}</measure>${rest.map((m) => `<measure${m.implicit ? ' implicit="yes"' : ""}>${m.xml ?? m}</measure>`).join("")}`
        + "</part></score-partwise>";
}

async function zipped(files) {
    const archive = new tools.JSZip();
    for (const [name, content] of Object.entries(files)) archive.file(name, content);
    return archive.generateAsync({ type: "uint8array", compression: "DEFLATE" });
}

async function refusal(promise) {
    try {
        await promise;
    } catch (error) {
        assert.ok(error instanceof InputError, `${error.name}: ${error.message}`);
        assert.ok(!error.message.includes("\n"), error.message);
        return error.message;
    }
    return assert.fail("read as a score");
}

test("measures come from the first part, in score order, a pickup and implicit measures by their content", async () => {
    const twoParts = onePart(1, { implicit: true, xml: "<note><duration>4</duration></note>" }, "").replace("</score-partwise>",
        "<part id='P2'><measure implicit='yes'><attributes><divisions>1</divisions><time><beats>3.5</beats>"
        + "<beat-type>4</beat-type></time></attributes><note><duration>1</duration></note></measure><measure/></part></score-partwise>");
    // [what, the score, its measures]
    const cases = [
        ["the fixture", FIXTURE, [
            { length: 1024, clicks: [0], downbeat: false, meter: "4/4" }, // pickup: one quarter, the last beat
            FULL_44,
            FULL_44,
            { length: 3072, clicks: [0, 1024, 2048], downbeat: true, meter: "3/4" },
            { length: 3072, clicks: [0, 1536], downbeat: true, meter: "6/8" }, // felt in two dotted quarters
        ]],
        // The second part's meters and implicit measures make no measure: they are not even read.
        ["a second part", twoParts, [FULL_44, FULL_44]],
        ["implicit measures inside the score", onePart(1, "<note><duration>4</duration></note>",
            { implicit: true, xml: "<note><duration>2</duration></note>" }, { implicit: true, xml: "<note><duration>6</duration></note>" }),
        [FULL_44, { length: 2048, clicks: [0, 1024], downbeat: true, meter: "4/4" },
            { length: 6144, clicks: [0, 1024, 2048, 3072, 4096, 5120], downbeat: true, meter: "4/4" }]],
        // A multimeasure rest is drawn as one, but each measure it spans is written and heard.
        ["a multimeasure rest", onePart(1, "<note><duration>4</duration></note>", "<attributes><measure-style>"
            + "<multiple-rest>3</multiple-rest></measure-style></attributes><note><rest/><duration>4</duration></note>",
        "<note><rest/><duration>4</duration></note>", "<note><rest/><duration>4</duration></note>", "<note><duration>4</duration></note>"),
        Array(5).fill(FULL_44)],
        // Triplets: a third of a quarter is 341.33 units; a pickup of four of them.
        ["a pickup of triplets", onePart(3, { implicit: true, xml: "<note><duration>4</duration></note>" }, "<note><duration>12</duration></note>"),
            [{ length: 1365, clicks: [341], downbeat: false, meter: "4/4" }, FULL_44]],
    ];
    for (const [what, score, measures] of cases) assert.deepEqual((await read(score)).measures, measures, what);
});

test("a measure lasts as long as its longest part's content, and one sentence names those not marked so", async () => {
    const LONGEST = "played as long as the longest part, not the meter: ";
    const note = (quarters) => `<note><duration>${quarters}</duration></note>`;
    const secondPart = (...measures) => `<part id="P2">${measures.map((m, i) => `<measure>${i === 0
        ? "<attributes><divisions>1</divisions></attributes>" : ""}${m}</measure>`).join("")}</part></score-partwise>`;
    const withSecond = (first, ...measures) => first.replace("</score-partwise>", secondPart(...measures));
    // [what, the score, each measure's length in quarters, the remarks]
    const cases = [
        ["a pickup not marked implicit", onePart(1, note(1), note(4)), [1, 4],
            [`${LONGEST}measure 1 (unnumbered), 1 quarter in 4/4`]],
        // The walk ends after the backup, an eighth in: the longest voice still counts.
        ["a marked pickup whose second voice is shorter", onePart(2, { implicit: true, xml: `${note(2)}<backup><duration>2`
            + "</duration></backup><note><duration>1</duration></note>" }, note(8)), [1, 4], []],
        ["overfull in one part only", withSecond(onePart(1, note(4), note(4)), note(4), note(5)), [4, 5],
            [`${LONGEST}measure 2 (unnumbered), 5 quarters in 4/4`]],
        ["short in the first part, full in the second", withSecond(onePart(1, note(2), note(3)), note(4), note(4)), [4, 4], []],
        ["empty in every part, and a last measure cut short", onePart(1, "", "<attributes/>", note(2)), [4, 4, 2],
            [`${LONGEST}measure 3 (unnumbered), 2 quarters in 4/4`]],
        ["side by side, said as runs", onePart(1, ...Array(9).fill(note(3)), note(4), note(5), note(5), note(3)),
            [...Array(9).fill(3), 4, 5, 5, 3],
            [`${LONGEST}measures 1 to 9 (unnumbered), 3 quarters in 4/4; `
                + "measures 11 to 12 (unnumbered), 5 quarters in 4/4; measure 13 (unnumbered), 3 quarters in 4/4"]],
        ["many", onePart(1, ...Array(9).fill(0).flatMap(() => [note(3), note(4)])), Array(9).fill([3, 4]).flat(),
            [`${LONGEST}${[1, 3, 5, 7, 9, 11].map((n) => `measure ${n} (unnumbered), 3 quarters in 4/4`).join("; ")} (and 3 more)`]],
    ];
    for (const [what, score, quarters, remarks] of cases) {
        const read1 = await read(score);
        assert.deepEqual(read1.measures.map((m) => m.length / 1024), quarters, what);
        assert.deepEqual(read1.remarks.map((r) => r.text), remarks, what);
    }
});

test("tempo marks of every part become records, once each, at the position their sound plays", async () => {
    // [what, the score, its records]
    const cases = [
        ["the fixture", FIXTURE, [
            [1, 0, quarter(96)], // in both parts
            [3, 2048, quarter(120)], // after a chord and a grace note; the second part's copy has a visual offset only
            [4, 1024, quarter(100)], // only in the second part, which counts 4 divisions to the quarter
            [5, 2048, 81089], // quarter = 72.5, its offset moves the sound half a beat
        ]],
        // 2048 divisions to the quarter: one division is half a unit, rounded half to even.
        ["halves", onePart(2048, "<note><duration>1</duration></note><sound tempo='60'/>"
            + "<note><duration>2</duration></note><sound tempo='61'/>"), [[1, 0, quarter(60)], [1, 2, 68227]]],
        ["triplets", onePart(3, { implicit: true, xml: "<note><duration>1</duration></note><sound tempo='60'/><note>"
            + "<duration>1</duration></note><direction><sound tempo='70'/></direction><note><duration>2</duration></note>" }),
        [[1, 341, quarter(60)], [1, 683, quarter(70)]]],
        ["an offset, and one before the measure: its start", onePart(3, "<note><duration>2</duration></note>"
            + "<direction><offset sound='yes'>-1</offset><sound tempo='60'/></direction>"
            + "<direction><offset sound='yes'>-9</offset><sound tempo='61'/></direction>"), [[1, 0, 68227], [1, 341, quarter(60)]]],
        ["a grace note that carries a duration, and a negative duration, move nothing", onePart(1, "<note><grace/>"
            + "<duration>2</duration></note><note><duration>-3</duration></note><sound tempo='60'/><note><duration>1</duration>"
            + "</note><sound tempo='61'/>"), [[1, 0, quarter(60)], [1, 1024, quarter(61)]]],
        ...[["145/2", 81089], ["1.2e2", quarter(120)], [".5e3", quarter(500)], [" +96 ", quarter(96)], ["96.", quarter(96)]]
            .map(([tempo, value]) => [tempo, onePart(1, `<sound tempo='${tempo}'/>`), [[1, 0, value]]]),
    ];
    for (const [what, score, tempo] of cases) assert.deepEqual((await read(score)).tempo, tempo, what);
});

test("repeats, endings and jumps are read from barlines, directions and the measure's sound, once each", async () => {
    const note = "<note><rest/><duration>4</duration></note>";
    const part = (id, ...measures) => `<part id="${id}">${measures.map((m, i) => `<measure>${i === 0
        ? "<attributes><divisions>1</divisions><time><beats>4</beats><beat-type>4</beat-type></time></attributes>" : ""}`
        + `${m}${note}</measure>`).join("")}</part>`;
    const first = part("P1",
        '<barline location="left"><repeat direction="forward"/></barline>',
        '<barline><ending number="1, 2" type="start"/></barline>'
            + '<barline location="right"><ending number="1, 2" type="stop"/><repeat direction="backward" times="3" '
            + 'after-jump="yes"/></barline>',
        '<barline><ending number="3" type="start"/><ending number="3" type="discontinue"/></barline>'
            + '<direction><direction-type><segno/></direction-type><sound segno="A"/></direction>',
        '<sound tocoda=" C " time-only="2"/><sound fine="yes"/>',
        '<direction><sound dalsegno="A"/></direction><barline><sound coda="C"/></barline>',
        '<sound dacapo="yes"/><sound dacapo="no"/><sound forward-repeat="yes"/>');
    // The second part repeats the first part's barlines: each mark counts once.
    const second = part("P2", '<barline location="left"><repeat direction="forward"/></barline>', "", "", "", "", "");
    const score = await read(`<score-partwise>${first}${second}</score-partwise>`);
    assert.deepEqual(score.marks, [
        { measure: 1, kind: "forward" },
        { measure: 2, kind: "ending", numbers: [1, 2], type: "start" },
        { measure: 2, kind: "backward", times: 3, afterJump: true },
        { measure: 2, kind: "ending", numbers: [1, 2], type: "stop" },
        { measure: 3, kind: "ending", numbers: [3], type: "start" },
        { measure: 3, kind: "ending", numbers: [3], type: "discontinue" },
        { measure: 3, kind: "segno", name: "A", only: null },
        { measure: 4, kind: "tocoda", name: "C", only: [2] },
        { measure: 4, kind: "fine", name: null, only: null },
        { measure: 5, kind: "dalsegno", name: "A", only: null },
        { measure: 5, kind: "coda", name: "C", only: null },
        { measure: 6, kind: "dacapo", name: null, only: null },
        { measure: 6, kind: "forward" },
    ]);
    // 1 2 three times round (the third takes ending 3), D.S. back to 3, and
    // Fine in 4 once the D.S. is taken.
    assert.deepEqual(score.order, [[1, 2], [1, 2], [1, 1], [3, 5], [4, 4]]);
    for (const [marks, message] of [
        ['<sound dalsegno="S"/>', "score.musicxml, measure 1: a D.S. (dal segno) but no measure carries a segno"],
        ['<direction><sound tocoda="C"/></direction>', "score.musicxml, measure 1: a To Coda but no measure carries a coda"],
    ]) {
        assert.equal(await refusal(read(`<score-partwise>${part("P1", marks)}</score-partwise>`)), message);
    }
});

test("a compressed score reads like the plain one", async () => {
    const text = new TextDecoder().decode(FIXTURE);
    const plain = await read(FIXTURE);
    const archives = {
        "with a container": { "META-INF/container.xml": CONTAINER("score/main.musicxml"), "score/main.musicxml": text },
        "without a container": { "main.musicxml": text },
        "a container naming a missing file": {
            "META-INF/container.xml": CONTAINER("gone.xml"), "sub/other.xml": "<x/>", "Main.XML": text,
        },
        "a damaged container": { "META-INF/container.xml": "<container><rootfiles>", "a.musicxml": text },
    };
    for (const [name, files] of Object.entries(archives)) {
        assert.deepEqual(await read(await zipped(files), "score.mxl"), plain, name);
    }
    const namespaced = await zipped({
        "META-INF/container.xml": "<c:container xmlns:c='urn:oasis:names:tc:opendocument:xmlns:container'>"
            + "<c:rootfiles><c:rootfile full-path='deep/s.xml'/></c:rootfiles></c:container>",
        "deep/s.xml": onePart(1, "<sound tempo='77'/>"),
    });
    assert.deepEqual((await read(namespaced, "s.mxl")).tempo, [[1, 0, quarter(77)]]);
});

test("the text's encoding: a declared one, a byte order mark", async () => {
    const latin1 = Uint8Array.from("<?xml version='1.0' encoding='ISO-8859-1'?><score-partwise><part id='P\xe9'>"
        + "<measure></measure></part></score-partwise>", (c) => c.charCodeAt(0));
    assert.equal(await refusal(read(latin1, "l.xml")), "part Pé, measure 1: no time signature before it");
    assert.deepEqual((await read(utf16(onePart(1, "<sound tempo='88'/>").replace("P1", "Pé")))).tempo, [[1, 0, quarter(88)]]);
    assert.match(await refusal(read(Uint8Array.of(0x3c, 0x61, 0xff, 0x3e))), /score.musicxml is not MusicXML: not well-formed XML/);
});

const ADVICE = "in the program that wrote the score, export it as MusicXML, and open that";

test("another program's file is named for what it is, with what to do instead", async () => {
    const bytes = (text) => Uint8Array.from(text, (c) => c.charCodeAt(0));
    const zip = await zipped({ "score.mscx": "<museScore version='3.02'/>" });
    // [file name, its bytes, what the sentence says it is]
    const cases = [
        ["Sonata.musx", bytes("\x00\x01 Finale binary"), "a Finale file: in Finale choose File > Export > MusicXML, and open that"],
        ["Old.MUS", bytes("ENIGMA"), "a Finale file: in Finale choose File > Export > MusicXML, and open that"],
        ["Song.mscz", zip, "a MuseScore file: in MuseScore choose File > Export, pick MusicXML, and open that"],
        ["Song.mscx", bytes("<?xml version='1.0'?><museScore version='3.02'><Score/></museScore>"), "a MuseScore file"],
        ["saved.xml", bytes("<museScore version='4.0'/>"), "a MuseScore file"],
        ["Quartet.dorico", zip, "a Dorico project: in Dorico choose File > Export > MusicXML"],
        ["Quartet.sib", bytes("\x0fSIBELIUS"), "a Sibelius file: in Sibelius choose File > Export > MusicXML"],
        ["part.musicxml", bytes("%PDF-1.7\n"), "a PDF, printed pages rather than the score's notes"],
        ["scan.jpg", bytes("\xff\xd8\xff\xe0"), "a picture, not the score's notes"],
        ["scan.xml", bytes("\x89PNG\r\n\x1a\n"), "a picture, not the score's notes"],
        ["tune.mid", bytes("MThd\x00\x00\x00\x06"), "a MIDI file, which keeps no measures or meters to time"],
    ];
    for (const [name, content, said] of cases) {
        const message = await refusal(read(content, name));
        assert.ok(message.startsWith(`${name} is not MusicXML but ${said}`), message);
        assert.doesNotMatch(message, /element|XML \(|parse/, name);
    }
});

test("files that are not readable scores are refused with their one line", async () => {
    const meter = "<attributes><time><beats>4</beats><beat-type>4</beat-type></time></attributes>";
    const part = (xml) => `<score-partwise><part id='P1'><measure>${xml}</measure></part></score-partwise>`;
    const cases = [
        ["page.html", "<html><body>hello</body></html>", `page.html is not MusicXML: it holds no score; ${ADVICE}`],
        ["notes.txt", "just some text", `notes.txt is not MusicXML: it holds no score; ${ADVICE}`],
        ["tags.xml", "<score-partwise><part></score-partwise>", "tags.xml is not MusicXML: not well-formed XML ("],
        ["two.xml", "<score-partwise/><score-partwise/>", "two.xml is not MusicXML: not well-formed XML ("],
        ["junk.xml", "<score-partwise/>junk", "junk.xml is not MusicXML: not well-formed XML (junk after the document element)"],
        // Where the fault is, though a score that reads is not given places.
        ["place.xml", "<score-partwise>\n<part>\n<note a='1' a='2'/></part></score-partwise>",
            "place.xml is not MusicXML: not well-formed XML (Attribute a redefined: line 3, column 1)"],
        ["broken.mxl", Uint8Array.from("PK\x03\x04 not really a zip", (c) => c.charCodeAt(0)), "broken.mxl is not MusicXML: a damaged .mxl archive ("],
        ["ns.xml", "<score-partwise xmlns='urn:x'/>", `ns.xml is not MusicXML: it holds no score; ${ADVICE}`],
        ["empty.xml", "<score-partwise><part id='P1'/></score-partwise>", "empty.xml: the score has no measures"],
        ["no-meter.xml", part("<attributes><divisions>1</divisions></attributes><note><duration>1</duration></note>"),
            "part P1, measure 1: no time signature before it"],
        ["bad-meter.xml", part("<attributes><divisions>1</divisions><time><beats>3.5</beats><beat-type>4</beat-type></time></attributes>"),
            "part P1, measure 1: cannot read the time signature '3.5/4' (write it as 3/4 or 3+2/8)"],
        ["digits.xml", part("<attributes><time><beats>٣</beats><beat-type>4</beat-type></time></attributes>"),
            "part P1, measure 1: cannot read the time signature '٣/4'"],
        ["two-meters.xml", part("<attributes><time><beats>3</beats><beat-type>4</beat-type><beats>2</beats><beat-type>8</beat-type></time></attributes>"),
            "part P1, measure 1: cannot read the time signature 3/4 + 2/8"],
        ["no-beats.xml", part("<attributes><time/></attributes>"), "part P1, measure 1: cannot read the time signature (none)"],
        ["senza-misura.xml", part("<attributes><time><senza-misura/></time></attributes>"),
            "part P1, measure 1: a time signature without meter (senza misura) gives no measure length"],
        ["endless.xml", part(`<attributes><divisions>1</divisions></attributes>${meter}<note><duration>40000000</duration></note>`),
            "part P1, measure 1: its notes last 40,000,000 quarters, longer than any measure Finale holds (2,097,151 quarters)"],
        ["no-divisions.xml", part(`${meter}<note><duration>4</duration></note>`),
            "part P1, measure 1: durations come before any <divisions>"],
        ["zero-divisions.xml", part("<attributes><divisions>0</divisions></attributes>"),
            "part P1, measure 1: <divisions> must be a positive whole number, not '0'"],
        ["empty-divisions.xml", part("<attributes><divisions/></attributes>"),
            "part P1, measure 1: <divisions> must be a positive whole number, not ''"],
        ["duration.xml", part(`<attributes><divisions>1</divisions></attributes>${meter}<note><duration>1.5</duration></note>`),
            "part P1, measure 1: cannot read the duration '1.5'"],
        ["many.xml", onePart(1, "", ...Array(32767).fill("")), "part P1: 32,768 measures, more than the 32,767 a score holds"],
    ];
    for (const [name, content, expected] of cases) {
        const message = await refusal(read(content, name));
        assert.ok(message.startsWith(expected), `${name}: ${message}\n  expected: ${expected}`);
    }
    assert.equal(await refusal(read(await zipped({ "readme.txt": "hi" }), "n.mxl")), "n.mxl is not MusicXML: the archive holds no score");
});

test("a tempo mark or offset that cannot be used is left out, the rest read, and said once", async () => {
    const TEMPO = "a tempo that is no playable quarter-note tempo is left out (part P1, measure 1: ";
    const OFFSET = "an offset that is no whole number moves nothing (part P1, measure 1: ";
    // [what, the first measure's content, the records, the remarks]
    const cases = [
        ...["fast", "1/0", "0", "-5", "0.00001", "1e30", "1e999999999"].map((tempo) => [tempo,
            `<sound tempo='${tempo}'/><sound tempo='61'/><sound tempo='x'/>`, [[1, 0, quarter(61)]], [`${TEMPO}'${tempo}')`]]),
        ["an offset", "<direction><offset sound='yes'/><sound tempo='60'/></direction><note><duration>4</duration></note>"
            + "<direction><offset sound='yes'>2.5</offset><sound tempo='70'/></direction>",
        [[1, 0, quarter(60)], [1, 4096, quarter(70)]], [`${OFFSET}'')`]],
    ];
    for (const [what, content, records, remarks] of cases) {
        const score = await read(onePart(1, content, "<sound tempo='62'/>"));
        assert.deepEqual(score.tempo, [...records, [2, 0, quarter(62)]], what);
        assert.deepEqual(score.remarks.map((r) => r.text), remarks, what);
    }
});

// A member of an archive: the text deflated.
const member = (name, text) => ({ name, data: deflateRawSync(Buffer.from(text)), size: Buffer.byteLength(text) });
// A score padded with a comment to `size` bytes.
const paddedScore = (size) => {
    const text = onePart(1, "<sound tempo='77'/>");
    return `${text}<!--${"x".repeat(size - text.length - 7)}-->`;
};
const CONTAINED = CONTAINER("s.musicxml");

test("what an archive's members inflate to counts together, up to the cap", async () => {
    // The count that stops at LARGEST_INFLATED, against a cap small enough to parse quickly.
    const CAP = 2 * 2 ** 20;
    const capped = (bytes, name) => parseScoreDocument(bytes, name, tools, CAP).then((root) => readParts(root, name).score);
    const cases = [
        ["the score alone at the cap", [member("s.musicxml", paddedScore(CAP))], true],
        ["the score alone past it", [member("s.musicxml", paddedScore(CAP + 1))], false],
        ["container and score at the cap", [member("META-INF/container.xml", CONTAINED),
            member("s.musicxml", paddedScore(CAP - CONTAINED.length))], true],
        ["container and score past it", [member("META-INF/container.xml", CONTAINED),
            member("s.musicxml", paddedScore(CAP - CONTAINED.length + 1))], false],
        ["a container past it alone", [member("META-INF/container.xml", `${CONTAINED}${" ".repeat(CAP)}`),
            member("s.musicxml", onePart(1, ""))], false],
        // refused for what it says before anything is inflated
        ["a score that says it is past it", [{ ...member("s.musicxml", onePart(1, "")), size: CAP + 1 }], false],
    ];
    for (const [name, members, opens] of cases) {
        const reading = capped(zipOf(members), "a.mxl");
        if (opens) assert.deepEqual((await reading).tempo, [[1, 0, quarter(77)]], name);
        else assert.match(await refusal(reading), /^a\.mxl: its score inflates to more than 2 MB, more than the preview reads$/, name);
    }
});

// A parser that fails the test if it is ever given a text.
const UNREACHED = { ...tools, DOMParser: class { constructor() { throw new Error("a parser saw the text"); } } };

test("a DOCTYPE that declares entities is refused before any parser sees it", async () => {
    const refused = [
        ["internal", '<!DOCTYPE score-partwise [<!ENTITY a "b">]>'],
        ["parameter", '<!DOCTYPE score-partwise [<!ENTITY % p "<!ELEMENT x ANY>"> %p;]>'],
        ["after declarations", "<!DOCTYPE score-partwise PUBLIC '-//x' 'y.dtd' [<!ELEMENT a ANY><!-- ] > --><?pi ]?>"
            + "<!ATTLIST a b CDATA 'x]>'>\n<!ENTITY c SYSTEM 'file:///etc/passwd'>]>"],
    ];
    for (const [name, doctype] of refused) {
        const text = `<?xml version="1.0"?>\n${doctype}${onePart(1, "")}`;
        for (const bytes of [new TextEncoder().encode(text), utf16(text)]) {
            assert.equal(await refusal(readScore(bytes, "e.musicxml", UNREACHED)),
                "e.musicxml: a score whose DOCTYPE declares entities is not read (MusicXML needs none)", name);
        }
    }
    const archive = await zipped({ "s.musicxml": `${refused[0][1]}${onePart(1, "")}` });
    assert.match(await refusal(readScore(archive, "e.mxl", { ...UNREACHED, JSZip: tools.JSZip })), /DOCTYPE declares entities/);
    // Entity-like text elsewhere, and a DOCTYPE that only names its DTD.
    const kept = [
        '<!DOCTYPE score-partwise PUBLIC "-//Recordare//DTD MusicXML 4.0 Partwise//EN" "http://www.musicxml.org/dtds/partwise.dtd">',
        "<!DOCTYPE score-partwise [<!-- <!ENTITY a 'b'> --><!ELEMENT x ANY>]>",
        "<!-- <!DOCTYPE x [<!ENTITY a 'b'>]> -->",
    ];
    for (const head of kept) {
        assert.deepEqual((await read(`${head}${onePart(1, "<sound tempo='77'/><words><![CDATA[<!ENTITY>]]></words>")}`)).tempo,
            [[1, 0, quarter(77)]], head);
    }
});

function utf16(text) {
    const bytes = new Uint8Array(2 + text.length * 2);
    bytes.set([0xff, 0xfe]);
    for (let i = 0; i < text.length; i += 1) bytes[2 + 2 * i] = text.charCodeAt(i);
    return bytes;
}

test("elements nested deeper than the bound are refused before parsing; what does not nest is not counted", async () => {
    // The score itself takes five levels down to <words> (score-partwise,
    // part, measure, direction, direction-type).
    const nested = (depth, inner = "") => onePart(1, `<direction><direction-type>${"<words>".repeat(depth - 5)}${inner}`
        + `${"</words>".repeat(depth - 5)}</direction-type></direction><sound tempo='77'/>`);
    assert.deepEqual((await read(nested(DEEPEST_NESTING))).tempo, [[1, 0, quarter(77)]]);
    assert.equal(await refusal(readScore(new TextEncoder().encode(nested(DEEPEST_NESTING + 1)), "d.musicxml", UNREACHED)),
        `d.musicxml is not MusicXML: its elements nest more than ${DEEPEST_NESTING} deep`);
    assert.match(await refusal(read(nested(100000), "d.musicxml")), /nest more than/);
    // Elements at the deepest level (empty ones, with a '>' or '/>' inside
    // a value), comments, CDATA and instructions holding tags: none of them
    // goes deeper. An empty element one level further does.
    const flat = "<x/><y a='>' b=\"/>\"></y><!-- <a><a><a> --><![CDATA[<a><a>]]><?pi <a><a>?>".repeat(DEEPEST_NESTING * 2);
    assert.deepEqual((await read(nested(DEEPEST_NESTING - 1, flat))).tempo, [[1, 0, quarter(77)]]);
    assert.match(await refusal(read(nested(DEEPEST_NESTING, "<x/>"))), /nest more than/);
});

test("divisions changing within a measure count exactly, until the position's denominator grows past its bound", async () => {
    const churn = (values) => onePart(1, values.map((d) => `<attributes><divisions>${d}</divisions></attributes>`
        + "<note><duration>1</duration></note>").join("") + "<sound tempo='77'/>");
    // Triplets, quintuplets, septuplets and 480ths in one measure: 1024/3 +
    // 1024/5 + 1024/7 + 1024/480 units.
    const exact = await read(churn([3, 5, 7, 480]));
    assert.deepEqual(exact.tempo, [[1, Math.round(1024 / 3 + 1024 / 5 + 1024 / 7 + 1024 / 480), quarter(77)]]);
    const primes = [101, 103, 107, 109, 113, 127, 131];
    assert.equal(await refusal(read(churn(primes))), "part P1, measure 1: its <divisions> change too often to count positions exactly");
});

test("a large ordinary score is left alone by every bound, plain or as an archive", async () => {
    const { bytes } = largeScore();
    const archive = zipOf([member("large.musicxml", new TextDecoder().decode(bytes))]);
    for (const [what, score] of [["plain", await read(bytes, "large.musicxml")], ["archive", await read(archive, "large.mxl")]]) {
        assert.equal(score.measures.length, 1000, what);
        assert.equal(score.tempo.length, 10, what);
    }
});

test("each measure's printed number is read beside Finale's count", async () => {
    // [measure attributes, the number it prints, how the page names the second measure of the score]
    const cases = [
        ['number="2"', "2", "measure 2"],
        ['number="1"', "1", "measure 2 (printed 1)"],
        ['number="0" implicit="yes"', null, "measure 2 (unnumbered)"],
        ['number="11"', "11", "measure 2 (printed 11)"],
        ['number="12" text="12a"', "12a", "measure 2 (printed 12a)"],
        ['number="X1" implicit="yes" text=" "', null, "measure 2 (unnumbered)"],
        ['implicit="no"', null, "measure 2 (unnumbered)"],
    ];
    const bar = '<note><rest measure="yes"/><duration>4</duration></note>';
    for (const [attributes, printed, name] of cases) {
        const text = `<score-partwise><part id="P1"><measure number="0" implicit="yes"><attributes><divisions>1</divisions>`
            + `<time><beats>4</beats><beat-type>4</beat-type></time></attributes><note><rest/><duration>1</duration></note></measure>`
            + `<measure ${attributes}>${bar}</measure><measure number="2">${bar}</measure></part></score-partwise>`;
        const score = await read(text);
        assert.deepEqual(score.printed, [null, printed, "2"], attributes);
        assert.equal(measureName(2, score.printed), name, attributes);
        assert.equal(measureName(1, score.printed, "m."), "m. 1 (unnumbered)");
        assert.equal(measureName(3, score.printed), "measure 3 (printed 2)");
    }
    // Meter runs print Finale's own numbers; a number past the score is named plainly.
    assert.equal(measureName(7), "measure 7");
    assert.equal(measureName(4, [null, "1", "2"]), "measure 4");
    const fixture = await read(FIXTURE);
    assert.deepEqual(fixture.printed.slice(0, 3), [null, "1", "2"]);
});

test("the tempo words, dashes, metronome marks, fermatas and barlines are handed over where they stand", async () => {
    const bytes = new Uint8Array(readFileSync(new URL("../../tests/preview/scores/tempo-words.musicxml", import.meta.url)));
    const { parts } = readParts(await parseScoreDocument(bytes, "tempo-words.musicxml", tools), "tempo-words.musicxml");
    const cues = (number) => parts[0].measures[number - 1].cues.map(({ at, ...cue }) => ({ ...cue, at: Number(at.n) / Number(at.d) }));
    assert.deepEqual(cues(1), [{ kind: "direction", at: 0, words: [], dashes: [], tempo: "100",
        metronome: { unit: "quarter", dots: 0, perMinute: "100" } }]);
    assert.deepEqual(cues(4), [{ kind: "direction", at: 2048, words: [], dashes: [{ type: "stop", number: "1" }],
        metronome: null, tempo: null }]);
    assert.deepEqual(cues(10), [{ kind: "fermata", at: 2048 }]);
    assert.deepEqual(cues(12), [
        { kind: "direction", at: 0, words: ["molto rit."], dashes: [{ type: "start", number: "1" }], metronome: null, tempo: null },
        { kind: "barline", at: 4096, location: "right", style: "light-heavy", fermata: false }]);
});

test("a timewise score is read, timed, played and written as the same score partwise", async () => {
    const pitch = (step, duration) => `<note><pitch><step>${step}</step><octave>4</octave></pitch><duration>${duration}</duration></note>`;
    const head = "<part-list><score-part id='P1'><part-name>Flute</part-name></score-part>"
        + "<score-part id='P2'><part-name>Cello</part-name></score-part></part-list>";
    const first = "<attributes><divisions>1</divisions><time><beats>2</beats><beat-type>4</beat-type></time></attributes>";
    // Each measure's attributes and what each part holds in it; the pickup's attribute stays the measure's.
    const measures = [["number='0' implicit='yes'", [first + pitch("C", 1), first + pitch("E", 1)]],
        ["number='1'", ["<direction><sound tempo='90'/></direction>" + pitch("D", 2), pitch("F", 2)]]];
    const ids = ["P1", "P2"];
    const asPartwise = `<score-partwise version="3.1">${head}${ids.map((id, p) => `<part id="${id}">`
        + `${measures.map(([attrs, held]) => `<measure ${attrs}>${held[p]}</measure>`).join("")}</part>`).join("")}</score-partwise>`;
    const asTimewise = "<?xml version='1.0'?><!DOCTYPE score-timewise PUBLIC '-//Recordare//DTD MusicXML 3.1 Timewise//EN' "
        + "'http://www.musicxml.org/dtds/timewise.dtd'>"
        + `<score-timewise version="3.1">${head}${measures.map(([attrs, held]) => `<measure ${attrs}>`
        + `${ids.map((id, p) => `<part id="${id}">${held[p]}</part>`).join("")}</measure>`).join("")}</score-timewise>`;
    const heard = async (text) => {
        const score = await readScoreNotes(new TextEncoder().encode(text), "s.xml", tools);
        return [score.measures, score.tempo, score.remarks, score.parts.map((part) => [part.name, part.notes])];
    };
    assert.deepEqual(await heard(asTimewise), await heard(asPartwise));
    const written = async (text) => {
        const read = await readScoreFile({ name: "s.xml", bytes: new TextEncoder().encode(text) }, tools);
        return (await writeScore({ source: read, measures: read.score.measures, records: [[2, 0, 120]] }, tools)).text;
    };
    const text = await written(asTimewise);
    assert.doesNotMatch(text, /timewise/i);
    assert.equal(text.replace(/^<\?xml[^>]*>\n/, ""), (await written(asPartwise)).replace(/^<\?xml[^>]*>\n/, ""));
});

test("a note's chord, grace, rest and notation marks are read from any of its notations", async () => {
    const head = "<score-partwise><part-list><score-part id='P1'/></part-list><part id='P1'><measure>"
        + "<attributes><divisions>1</divisions><time><beats>2</beats><beat-type>4</beat-type></time></attributes>";
    const pitch = "<pitch><step>C</step><octave>4</octave></pitch>";
    const notes = `<note>${pitch}<duration>1</duration><notations><tied type="start"/></notations><notations><fermata/>`
        + "<arpeggiate/></notations></note>"
        + `<note><chord/>${pitch}<duration>1</duration><notations><ornaments><trill-mark/></ornaments></notations></note>`
        + `<note><grace/>${pitch}</note><note><rest/><duration>1</duration></note>`;
    const { parts } = readParts(await parseScoreDocument(new TextEncoder().encode(`${head}${notes}</measure></part></score-partwise>`),
        "m.musicxml", tools), "m.musicxml");
    const [measure] = parts[0].measures;
    const flags = ["chord", "grace", "silent", "tied", "fermata", "arpeggiate", "ornaments"];
    assert.deepEqual(measure.notes.map((note) => [Number(note.start.n) / Number(note.start.d), ...flags.filter((flag) => note[flag])]),
        [[0, "tied", "fermata", "arpeggiate"], [0, "chord", "ornaments"], [1024, "grace"], [1024, "silent"]]);
    assert.deepEqual(measure.cues.map(({ kind }) => kind), ["fermata"]);
    assert.equal(measure.content, 2048);
});
