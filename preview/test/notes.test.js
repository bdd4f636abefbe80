// The score's notes as they sound, where the fixture score of the playback
// test does not reach: ties as other exporters write them, transpositions,
// percussion, what sounds of nothing, each part's instrument, channels
// running out, bad notes.
import { test } from "node:test";
import assert from "node:assert/strict";
import { drumKeyFor, programFor } from "../lib/instruments.js";
import { partChannels, readScoreNotes } from "../lib/notes.js";
import { tools } from "../node/xml-tools.js";

// "C4", "F#5", "Bb3": a note of `duration` divisions (4 to the quarter);
// `before` goes ahead of the pitch, `after` behind the duration.
function note(name, duration, { before = "", after = "", attributes = "" } = {}) {
    const [, step, accidental, octave] = /^([A-G])(#|b)?(\d)$/.exec(name);
    const alter = accidental ? `<alter>${accidental === "#" ? 1 : -1}</alter>` : "";
    return `<note${attributes}>${before}<pitch><step>${step}</step>${alter}<octave>${octave}</octave></pitch>`
        + `<duration>${duration}</duration>${after}</note>`;
}
const tie = (...types) => types.map((type) => `<tie type="${type}"/>`).join("");
const tied = (type) => `<notations><tied type="${type}"/></notations>`;

// A 4/4 score of one part: what its <score-part> holds, more of its first
// <attributes>, its measures' inner XML; and, where `beside` gives its
// measures, a second part of piano notes.
const part = (id, attributes, measures) => `<part id="${id}"><measure><attributes><divisions>4</divisions><time><beats>4</beats>`
    + `<beat-type>4</beat-type></time>${attributes}</attributes>${[measures].flat().join("</measure><measure>")}</measure></part>`;
const read = (list, attributes, measures = [], beside = null) => readScoreNotes(new TextEncoder().encode(
    `<score-partwise><part-list><score-part id="P1">${list}</score-part>${beside ? "<score-part id='P2'/>" : ""}</part-list>`
    + `${part("P1", attributes, measures)}${beside ? part("P2", "", beside) : ""}</score-partwise>`), "s.musicxml", tools);
// The first part's notes, each as [start, end, key, channel], in units.
const notesOf = async (...score) => (await read(...score)).parts[0].notes
    .map((n) => [Number(n.start.n) / Number(n.start.d), Number(n.end.n) / Number(n.end.d), n.key, n.channel]);

test("what sounds, and where", async () => {
    const kit = (id, xml) => `<score-instrument id="${id}"/><midi-instrument id="${id}">${xml}</midi-instrument>`;
    const drum = (id) => `<note><unpitched/><duration>4</duration>${id ? `<instrument id="${id}"/>` : ""}</note>`;
    const clarinet = "<transpose><diatonic>-1</diatonic><chromatic>-2</chromatic></transpose>";
    const cases = [
        ["<tied> alone, a chain", "", "", [note("G4", 4, { after: tied("start") }) + note("G4", 4, { after: tied("continue") })
            + note("G4", 8, { after: tied("stop") })], [[0, 4096, 67, 0]]],
        ["a tie to another key, over a rest", "", "", [note("C4", 4, { after: tie("start") }) + note("D4", 4, { after: tie("stop") })
            + note("D4", 4, { after: tie("start") }) + "<forward><duration>2</duration></forward>" + note("D4", 2, { after: tie("stop") })],
        [[0, 1024, 60, 0], [1024, 2048, 62, 0], [2048, 3072, 62, 0], [3584, 4096, 62, 0]]],
        // The end left out: held into the next note of its key in its voice, not into another voice's.
        ["a tie without its end, over the barline", "", "", [note("G4", 12) + note("G4", 4, { after: tie("start") + tied("start") }),
            note("G4", 4) + note("G4", 4, { after: tie("start") + "<voice>1</voice>" }) + note("G4", 8, { after: "<voice>2</voice>" })], [[0, 3072, 67, 0], [3072, 5120, 67, 0], [5120, 6144, 67, 0], [6144, 8192, 67, 0]]],
        // A part's measure shorter than the other's: its last note's tie holds through the silence, not over a rest.
        ["a tie over a part's silence", "", "", [note("G4", 12, { after: tie("start") }), note("G4", 4) + note("A4", 4, { after: tie("start") })
            + "<note><rest/><duration>4</duration></note>", note("A4", 4, { after: tie("stop") })],
        [[0, 5120, 67, 0], [5120, 6144, 69, 0], [8192, 9216, 69, 0]], [note("C4", 16), note("C4", 16), note("C4", 16)]],
        ["in B flat, into the next measure; quarter tones", "", clarinet, [note("D5", 16),
            note("E5", 8) + note("C4", 8).replace("<octave>", "<alter>-0.5</alter><octave>")], [[0, 4096, 72, 0], [4096, 6144, 74, 0], [6144, 8192, 58, 0]]],
        ["doubled below, each staff its own", "", "<transpose><chromatic>0</chromatic><double/></transpose>"
            + "<transpose number='2'><chromatic>-12</chromatic><double above='yes'/></transpose>", [note("C5", 8, { after: "<staff>1</staff>" })
            + note("C5", 8, { after: "<staff>2</staff>" })], [[0, 2048, 72, 0], [0, 2048, 60, 0], [2048, 4096, 60, 0], [2048, 4096, 72, 0]]],
        ["rests, grace and cue notes, keys past 127", "", "", ["<note><rest/><duration>4</duration></note>"
            + note("C4", 4, { before: "<grace/>" }) + note("D4", 4, { before: "<cue/>" }) + note("B9", 4) + note("E4", 4)], [[3072, 4096, 64, 0]]],
        // Whatever channel an unpitched instrument names, it sounds on the drum kit.
        ["percussion: an instrument's key, else the first with a key", kit("A", "<midi-channel>10</midi-channel>")
            + kit("B", "<midi-unpitched>39</midi-unpitched>") + kit("C", "<midi-channel>12</midi-channel><midi-unpitched>57</midi-unpitched>"),
        "", [drum("C") + drum("A") + drum(null) + note("E4", 4)], [[0, 1024, 56, 9], [2048, 3072, 38, 9], [3072, 4096, 64, 9]]],
        ["percussion without keys: the drum its instrument or part names", "<part-name>Percussion</part-name>"
            + "<score-instrument id='T'><instrument-name>Triangle</instrument-name></score-instrument>"
            + "<score-instrument id='S'><instrument-sound>drum.snare-drum.military</instrument-sound></score-instrument>",
        "", [drum("T") + drum("S") + drum("X")], [[0, 1024, 81, 9], [1024, 2048, 38, 9], [2048, 3072, 81, 9]]],
    ];
    for (const [name, list, attributes, measures, expected, beside] of cases) {
        assert.deepEqual(await notesOf(list, attributes, measures, beside), expected, name);
    }
});

test("grace notes take their time from the note they ornament; rolled chords are spread; ornaments played", async () => {
    const grace = (name, { slash = false, chord = false } = {}) => note(name, 0, {
        before: `<grace${slash ? ' slash="yes"' : ""}/>${chord ? "<chord/>" : ""}`,
    }).replace("<duration>0</duration>", "");
    const rest = (duration) => `<note><rest/><duration>${duration}</duration></note>`;
    const rolled = (key, duration, chord, direction) => note(key, duration, {
        before: chord ? "<chord/>" : "", after: `<notations><arpeggiate${direction}/></notations>`,
    });
    const ornament = (key, duration, xml) => note(key, duration, { after: `<notations><ornaments>${xml}</ornaments></notations>` });
    const tremolo = (key, duration, type, strokes) => ornament(key, duration, `<tremolo${type ? ` type="${type}"` : ""}>${strokes}</tremolo>`);
    const trill = (key, duration) => ornament(key, duration, "<trill-mark/>");
    const inG = "<key><fifths>1</fifths></key>";
    const cases = [
        // Half of a note, shared; two thirds of a dotted one; a slashed one
        // 65 ms at the tempo there (quarter = 120: 133 units), at most half.
        ["before a note", [grace("B4") + note("C5", 4) + grace("A4") + grace("B4") + note("C5", 8) + rest(4),
            grace("B4") + note("C5", 6, { after: "<dot/>" }) + rest(2) + grace("B4", { slash: true }) + note("D5", 4)
            + grace("B4", { slash: true }) + note("E5", 1) + rest(3)],
        [[0, 512, 71], [512, 1024, 72], [1024, 1536, 69], [1536, 2048, 71], [2048, 3072, 72], [4096, 5120, 71],
            [5120, 5632, 72], [6144, 6277, 71], [6277, 7168, 74], [7168, 7296, 71], [7296, 7424, 76]]],
        ["a slashed one at quarter = 60", ['<sound tempo="60"/>' + grace("B4", { slash: true }) + note("C5", 16)],
            [[0, 67, 71], [67, 4096, 72]]],
        // A grace chord; graces after a note (before a rest, at a measure's
        // end), short ones that end it; graces with no note in their measure
        // to take time from.
        ["chords, after a note, none", [grace("B4") + grace("G4", { chord: true }) + note("C5", 8)
            + note("E4", 8, { before: "<chord/>" }) + note("C5", 4) + grace("D5") + rest(4),
        note("C5", 16) + grace("B4") + grace("C5"), rest(16) + grace("B4"), note("C5", 16)],
        [[0, 1024, 71], [0, 1024, 67], [1024, 2048, 72], [1024, 2048, 64], [2048, 2939, 72], [2939, 3072, 74],
            [4096, 7926, 72], [7926, 8059, 71], [8059, 8192, 72], [12288, 16384, 72]]],
        // 65 ms a note (133 units) from the lowest, whatever the order
        // written; downwards, and within half the chord.
        ["rolled chords", [["G4", "C4", "E4"].map((key, i) => rolled(key, 4, i > 0, "")).join("")
            + ["C4", "E4", "G4", "C5"].map((key, i) => rolled(key, 1, i > 0, ' direction="down"')).join("") + rest(11)],
        [[0, 1024, 60], [133, 1024, 64], [266, 1024, 67], [1024, 1280, 72], [1024 + 128 / 3, 1280, 67],
            [1024 + 256 / 3, 1280, 64], [1152, 1280, 60]]],
        // One stroke: eighths; two: 16ths; a tremolo between two notes as written.
        ["tremolos", [tremolo("C5", 8, "single", 1) + tremolo("D5", 4, null, 2) + tremolo("E5", 2, "start", 3)
            + tremolo("F5", 2, "stop", 3)],
        [[0, 512, 72], [512, 1024, 72], [1024, 1536, 72], [1536, 2048, 72], [2048, 2304, 74], [2304, 2560, 74],
            [2560, 2816, 74], [2816, 3072, 74], [3072, 3584, 76], [3584, 4096, 77]]],
        // Its repeats written out in notes that neither print nor take space: played once.
        ["a tremolo written out", [tremolo("C5", 16, "single", 2) + "<backup><duration>16</duration></backup>"
            + note("C5", 8, { attributes: ' print-object="no" print-spacing="no"', after: "<voice>2</voice>" }).repeat(2)],
        [[0, 4096, 72], [0, 2048, 72], [2048, 4096, 72]]],
        // In 32nds with the next note of the scale: G major's F sharp, or the F natural just written.
        ["trills in G", [trill("E5", 2) + note("F5", 2) + trill("E5", 2) + rest(10)],
            [[0, 128, 76], [128, 256, 78], [256, 384, 76], [384, 512, 78], [512, 1024, 77], [1024, 1152, 76],
                [1152, 1280, 77], [1280, 1408, 76], [1408, 1536, 77]], inG],
        ["mordents and a turn in G", [ornament("D5", 2, "<mordent/>") + ornament("D5", 2, "<inverted-mordent/>")
            + ornament("D5", 4, "<turn/>") + rest(8)],
        [[0, 128, 74], [128, 256, 72], [256, 512, 74], [512, 640, 74], [640, 768, 76], [768, 1024, 74],
            [1024, 1152, 76], [1152, 1280, 74], [1280, 1408, 72], [1408, 2048, 74]], inG],
        // The key holds into the next measures until another is written.
        ["a key kept, then changed", [trill("E5", 2) + rest(14), trill("E5", 2) + rest(14),
            `<attributes><key><fifths>0</fifths></key></attributes>${trill("E5", 2)}${rest(14)}`],
        [0, 4096, 8192].flatMap((at, m) => [0, 1, 2, 3].map((k) => [at + 128 * k, at + 128 * (k + 1), k % 2 ? (m < 2 ? 78 : 77) : 76])), inG],
        // What the ornament itself says: a trill from above by a half step; an
        // inverted turn whose flat shown below lowers G major's B.
        ["a trill from above by a half step; a flat shown below a turn", [ornament("E5", 2, '<trill-mark start-note="upper" trill-step="half"/>')
            + ornament("C5", 2, '<inverted-turn/><accidental-mark placement="below">flat</accidental-mark>') + rest(12)],
        [[0, 128, 77], [128, 256, 76], [256, 384, 77], [384, 512, 76], [512, 640, 70], [640, 768, 72], [768, 896, 74],
            [896, 1024, 72]], inG],
        // Grace notes after a trill close it, before one open it, as fast as it.
        ["a trill's close and opening", [trill("G5", 4) + grace("F#5") + grace("G5") + note("A5", 4) + grace("E5")
            + grace("F#5") + trill("G5", 4) + rest(4)],
        [[0, 128, 79], [128, 256, 81], [256, 384, 79], [384, 512, 81], [512, 640, 79], [640, 768, 81], [768, 896, 78],
            [896, 1024, 79], [1024, 2048, 81], [2048, 2176, 76], [2176, 2304, 78], [2304, 2432, 79], [2432, 2560, 81],
            [2560, 2688, 79], [2688, 2816, 81], [2816, 2944, 79], [2944, 3072, 81]], inG],
    ];
    for (const [name, measures, expected, attributes = ""] of cases) {
        assert.deepEqual((await notesOf("", attributes, measures)).map(([start, end, key]) => [start, end, key]), expected, name);
    }
    // A voice's grace notes after its last note end that note, whatever the
    // other voice plays then.
    const inVoice = (xml, voice) => xml.replace("</note>", `<voice>${voice}</voice></note>`);
    assert.deepEqual((await notesOf("", "", [inVoice(note("C5", 16), 1) + inVoice(grace("B4"), 1)
        + "<backup><duration>16</duration></backup>" + inVoice(note("D4", 16), 2)])).map(([start, end, key]) => [start, end, key]),
    [[0, 3963, 72], [0, 4096, 62], [3963, 4096, 71]]);
    // A trill goes on through the note it is tied to (there its wavy line's
    // end; in the same measure, no mark at all), and no further.
    const tiedTrill = await notesOf("", "", [rest(12) + trill("C5", 4).replace("<notations>", `${tie("start")}<notations><tied type="start"/>`),
        note("C5", 4, { after: `${tie("stop")}<notations><tied type="stop"/><ornaments><wavy-line type="stop"/></ornaments></notations>` })
        + rest(8) + note("C5", 4, { after: tie("stop") }),
    trill("C5", 2).replace("<notations>", `${tie("start")}<notations>`) + note("C5", 2, { after: tie("stop") }) + rest(12),
    // A tie whose end is left out carries its trill to no later note.
    trill("E5", 2).replace("<notations>", `${tie("start")}<notations>`) + rest(14), rest(16), note("E5", 4, { after: tie("stop") }) + rest(12),
    // Ties only drawn (<tied>, no <tie>) carry it too.
    trill("C5", 2).replace("<notations>", '<notations><tied type="start"/>') + note("C5", 2, { after: tied("stop") }) + rest(12)]);
    const trilled = (from, count, [main, upper] = [72, 74]) => Array.from({ length: count },
        (_, k) => [from + 128 * k, from + 128 * (k + 1), k % 2 ? upper : main]);
    assert.deepEqual(tiedTrill.map(([start, end, key]) => [start, end, key]),
        [...trilled(3072, 16), [7168, 8192, 72], ...trilled(8192, 8), ...trilled(12288, 4, [76, 77]), [20480, 21504, 76],
            ...trilled(24576, 8)]);
    // A trill 64 whole notes long (2,048 32nds) is 512 notes, an eighth each.
    const long = await notesOf("", "", [trill("C5", 1024)]);
    assert.equal(long.length, 512);
    assert.deepEqual(long.slice(0, 2).map(([start, end, key]) => [start, end, key]), [[0, 512, 72], [512, 1024, 74]]);
});

test("a part's instrument: its MIDI program, else its instrument sound, else its names, else the piano", async () => {
    const instrument = (name, sound) => `<score-instrument id="I">${name ? `<instrument-name>${name}</instrument-name>` : ""}`
        + `${sound ? `<instrument-sound>${sound}</instrument-sound>` : ""}</score-instrument>`;
    const piano = '<midi-instrument id="I"><midi-program>1</midi-program></midi-instrument>';
    const cases = [
        // The piano given where nobody chose a sound, as exporters write it.
        [`<part-name>Violin 1</part-name>${instrument("Acoustic Grand Piano")}${piano}`, 40],
        [`<part-name>Violino I.</part-name>${instrument("ARIA Player", "strings.violin")}${piano}`, 40],
        [`<part-name>Staff 1</part-name>${instrument("Instrument 7")}${piano}`, 0],
        // The piano chosen as the sound of a voice.
        [`<part-name>Voice</part-name>${instrument("Piano", "keyboard.piano")}${piano}`, 0],
        [`<part-name>Tuba</part-name>${instrument("Tuba", "brass.tuba")}<midi-instrument id="I"><midi-program>41</midi-program></midi-instrument>`, 40],
        [`<part-name>Tuba</part-name>${instrument("Tuba", "strings.viola")}`, 41],
        [`<part-name>Solo</part-name>${instrument("Clarinet in Bb", "exotic.unknown")}`, 71],
        ["<part-name>Flöte 1</part-name>", 73],
        ["<part-name>Player 2</part-name><part-abbreviation>Vc.</part-abbreviation>", 42],
        ["<part-name>Player 2</part-name>", 0],
    ];
    for (const [list, program] of cases) assert.equal((await read(list, "")).parts[0].program, program, list);
    const sounds = [
        ["strings.violin", 40], ["brass.french-horn", 60], ["wind.flutes.flute", 73], ["voice.alto", 52],
        ["wind.flutes.flute.piccolo", 72], ["wind.flutes.flute.bass", 73], ["brass.trumpet.baroque", 56],
        ["pluck.bass.electric", 33], ["drum.timpani", 47], ["keyboard.organ.pipe", 19], ["Wind.Reed.Oboe", 68],
    ];
    for (const [sound, program] of sounds) assert.equal(programFor([{ sound }]), program, sound);
    const names = [
        ["Violin II", 40], ["Violini I", 40], ["Violons", 40], ["Viola", 41], ["Violoncelle", 42], ["Kontrabass", 43],
        ["Double Bass", 43], ["Contrabassoon", 70], ["Bassoon 1.2", 70], ["Fagott", 70], ["Bass", 52], ["Bass Clarinet", 71],
        ["Alto Flute", 73], ["Alto", 52], ["Soprano Recorder", 74], ["Tenor Saxophone", 66], ["Cor anglais", 69],
        ["Corno inglese", 69], ["Horn in F", 60], ["Corni in Es", 60], ["Trompete in B", 56], ["Bass Trombone", 57],
        ["Timpani", 47], ["Pauken", 47], ["Chorus", 52], ["Organ", 19], ["Harpsichord", 6], ["Harp", 46],
        ["Electric Bass", 33], ["Guitar", 24], ["Piano (right hand)", 0], ["Vln. 1", 40], ["Cb.", 43],
        ["S.", 52], ["Quinto", 52], ["Clarinet in B", 71],
    ];
    for (const [name, program] of names) assert.equal(programFor([{ name }]), program, name);
    // Several readings: the first that means an instrument decides.
    assert.equal(programFor([{ sound: "unknown.thing" }, { name: "Staff 1" }, { name: "Ob." }]), 68);
    const drums = [["metal.cymbal.ride", 51], ["metal.hi-hat", 42], ["wood.wood-block", 76]];
    for (const [sound, key] of drums) assert.equal(drumKeyFor([{ sound }]), key, sound);
    const drumNames = [["Bass Drum", 36], ["Snare", 38], ["Suspended Cymbal", 49], ["Hi-Hat", 42], ["Floor Tom", 41],
        ["Tom 2", 45], ["Gran Cassa", 36], ["Piatti", 49], ["Flute", null]];
    for (const [name, key] of drumNames) assert.equal(drumKeyFor([{ name }]), key, name);
});

test("a drum part plays the standard kit on the percussion channel, and leaves the other channels to the rest", async () => {
    const score = new TextEncoder().encode(`<score-partwise><part-list>
        <score-part id="D"><part-name>Snare Drum</part-name><midi-instrument id="D"><midi-channel>3</midi-channel></midi-instrument></score-part>
        <score-part id="V"><part-name>Violin</part-name></score-part>
        <score-part id="K"><part-name>Drum Set</part-name><midi-instrument id="K"><midi-program>26</midi-program><midi-unpitched>36</midi-unpitched></midi-instrument></score-part>
        <score-part id="J"><part-name>Drum Set</part-name><midi-instrument id="J"><midi-program>99</midi-program><midi-unpitched>36</midi-unpitched></midi-instrument></score-part>
        <score-part id="B"><part-name>Bass Drum</part-name><midi-instrument id="B"><midi-program>1</midi-program></midi-instrument></score-part></part-list>
        <part id="D"><measure><attributes><divisions>1</divisions><time><beats>1</beats><beat-type>4</beat-type></time></attributes>
        <note><unpitched/><duration>1</duration></note></measure></part>
        <part id="V"><measure><attributes><divisions>1</divisions><time><beats>1</beats><beat-type>4</beat-type></time></attributes>
        <note><pitch><step>A</step><octave>4</octave></pitch><duration>1</duration></note></measure></part>
        ${["K", "J", "B"].map((id) => `<part id="${id}"><measure><attributes><divisions>1</divisions><time><beats>1</beats><beat-type>4</beat-type></time></attributes>
        <note><unpitched/><duration>1</duration></note></measure></part>`).join("")}</score-partwise>`);
    const { parts, remarks } = await readScoreNotes(score, "s.musicxml", tools);
    assert.deepEqual(parts.map((p) => [p.name, p.drums, p.program, p.channel, p.notes.map((n) => [n.key, n.channel])]),
        // A kit asked for by its program where General MIDI banks have it (the
        // TR-808's 26th); else the standard kit, never silence.
        [["Snare Drum", true, 0, 9, [[38, 9]]], ["Violin", false, 40, 0, [[69, 0]]], ["Drum Set", true, 25, 9, [[35, 9]]],
            ["Drum Set", true, 0, 9, [[35, 9]]], ["Bass Drum", true, 0, 9, [[36, 9]]]]);
    // The bass drum's piano program is a kit's, not a bass singer's taken for the piano.
    assert.deepEqual(remarks.filter((r) => r.kind !== "measure-length"), []);
});

test("channels: each part its own while they last; then parts of one program share, then parts of one family", () => {
    const fifteen = Array.from({ length: 15 }, (_, i) => i + 1);
    const cases = [
        [[...fifteen, 12], [], [12]], [[1, 2, 3], [null, 0, 1], [2, 0, 1]],
        // Program 99 is nobody's and no family's: the next in turn; then 98 shares with 99's.
        [[...fifteen, 99, 98], [], [0, 1]],
        [[...fifteen, 50, 50], [...Array(15).fill(null), 9], [9, 0]], // the percussion channel is never shared
        // Two parts naming one channel with different programs (two MIDI ports): the later one moves.
        [[40, 73, 42], [0, 0, null], [0, 1, 2]],
    ];
    for (const [programs, given, tail] of cases) {
        const channels = partChannels(programs.map((program, i) => ({ program, givenChannel: given[i] ?? null })));
        assert.deepEqual(channels.slice(-tail.length), tail, `${programs}`);
        assert.ok(channels.every((c, i) => c !== 9 || given[i] === 9), `${channels}`);
    }
    // An orchestra of 24 staves and a drum part: the strings at the bottom
    // of the score still sound as strings, each channel one program.
    const orchestra = [72, 73, 73, 68, 68, 71, 71, 70, 70, 60, 60, 60, 60, 56, 56, 57, 57, 58, 47, 40, 40, 41, 42, 43];
    const parts = [...orchestra.map((program) => ({ program, givenChannel: null })), { program: 0, givenChannel: null, drums: true }];
    const channels = partChannels(parts);
    const programOf = new Map();
    channels.forEach((channel, i) => {
        assert.equal(programOf.get(channel) ?? parts[i].program, parts[i].program, `channel ${channel}: ${channels}`);
        programOf.set(channel, parts[i].program);
    });
    assert.deepEqual([channels.at(-1), channels.slice(0, -1).includes(9)], [9, false]);
    // With a harp and an English horn too, 16 programs: the double basses
    // (last) share the cellos' channel.
    const more = partChannels([69, 46, ...orchestra].map((program) => ({ program, givenChannel: null })));
    assert.equal(more.at(-1), more.at(-2));
});

test("a value the reader cannot use is clamped or left out, the rest sounds, and each kind is said once", async () => {
    const instrument = (xml) => `<score-instrument id="I"/><midi-instrument id="I">${xml}</midi-instrument>`;
    const c4 = note("C4", 4);
    const soft = note("C4", 4, { attributes: " dynamics='-1.11'" });
    // [what, the part list's entry, more attributes, the measure, what the part sounds
    //  ({program, volume, keys: [key, velocity]}), the remarks]
    const cases = [
        ["a pitch", "", "", c4.replace("C", "H") + note("D4", 4), { keys: [[62, 80]] },
            ["a note whose pitch cannot be read is left out (part P1, measure 1: 'H octave 4')"]],
        ["an alteration", "", "", c4.replace("<octave>", "<alter>#</alter><octave>"), { keys: [] },
            ["a note whose pitch cannot be read is left out (part P1, measure 1: 'C alter # octave 4')"]],
        ["program 0, twice", instrument("<midi-program>0</midi-program>") + instrument("<midi-program>-4</midi-program>"), "", c4,
            { program: 0, keys: [[60, 80]] }, ["a MIDI program outside 1 to 128 is read as the nearest, 1 (part P1: 0)"]],
        ["program 300, channel 17", instrument("<midi-program>300</midi-program><midi-channel>17</midi-channel>"), "", c4,
            { program: 127, keys: [[60, 80]] }, ["a MIDI program outside 1 to 128 is read as the nearest, 128 (part P1: 300)",
                "a MIDI channel outside 1 to 16 is read as the nearest, 16 (part P1: 17)"]],
        ["the piano's program on a violin", `<part-name>Violin</part-name>${instrument("<midi-program>1</midi-program>")}`, "", c4,
            { program: 40, keys: [[60, 80]] }, ["a part given the piano's MIDI program plays as its instrument or name says, "
                + "the piano being what a part gets when nobody chose its sound (Violin)"]],
        ["a volume", instrument("<midi-program>41</midi-program><volume>loud</volume>"), "", c4, { program: 40, volume: null, keys: [[60, 80]] },
            ["volume that is no number is left out (part P1: 'loud')"]],
        ["levels below 0: the level before holds", "", "", `<sound dynamics='50'/>${c4}<sound dynamics='-1.11'/>${c4}${soft}`,
            { keys: [[60, 45], [60, 45], [60, 45]] }, ["dynamics below 0 are left out (part P1, measure 1: '-1.11')"]],
        ["a transposition without <chromatic>", "", "<transpose><diatonic>-1</diatonic></transpose>", c4, { keys: [[60, 80]] },
            ["a transposition that cannot be read is left out: its notes sound as written (part P1, measure 1)"]],
    ];
    for (const [what, list, attributes, measure, sounds, remarks] of cases) {
        const score = await read(list, attributes, measure);
        const [part] = score.parts;
        assert.deepEqual(part.notes.map((n) => [n.key, n.velocity]), sounds.keys, what);
        if ("program" in sounds) assert.equal(part.program, sounds.program, what);
        if ("volume" in sounds) assert.equal(part.volume, sounds.volume, what);
        // (The measures, short of their meter, are said too: not this test's.)
        assert.deepEqual(score.remarks.filter((r) => r.kind !== "measure-length").map((r) => r.text), remarks, what);
    }
    // A duration is timing: one that cannot be read still refuses the score.
    await assert.rejects(read("", "", note("C4", 4).replace("<duration>4", "<duration>x")),
        (error) => error.name === "InputError" && error.message.endsWith("P1, measure 1: cannot read the duration 'x'"));
});
