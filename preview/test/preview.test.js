// The whole preview on the largest score: a ramp over all 32,767 measures,
// half a million records and more, shows every record, and its figures
// agree with a plain sum over the report.
import { test } from "node:test";
import assert from "node:assert/strict";
import { InputError, MAX_MEASURES } from "../lib/music.js";
import { plan } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { previewLines } from "../lib/lines.js";
import { fraction } from "../lib/numbers.js";
import { heardEnd, partsHeard } from "../lib/midi.js";
import { heardMidi, heardSound } from "../lib/heard-sound.js";
import { loadPlugin } from "../node/plugin-node.js";

test("a ramp over every measure of the largest score is shown whole", async () => {
    const checked = await plan({
        time: `4/4x${MAX_MEASURES}`, from: "1", to: String(MAX_MEASURES), start: "q=120", stop: "q=72", after: "stop",
    });
    const result = await runPreview(checked, await loadPlugin(), { svg: "map.svg", midi: "ramp.mid" });
    const records = result.report.tempo;
    const lines = previewLines(result);
    assert.ok(records.length > 500000, `${records.length}`);
    const table = lines.indexOf("Tempo records in the score after the ramp:");
    assert.equal(lines[table + 1 + records.length + 1], "");
    let ms = 0;
    for (let i = 0; i + 1 < records.length; i += 1) {
        const length = (records[i + 1][0] - records[i][0]) * 4096 + records[i + 1][1] - records[i][1];
        ms += (length * 65536) / records[i][2];
    }
    assert.ok(Math.abs(result.summary.writtenS - ms / 1000) < 1e-6 * ms, `${result.summary.writtenS} against ${ms / 1000}`);
    assert.ok(lines.includes(`MIDI:       ramp.mid (measures 1 to ${MAX_MEASURES}, ${4 * MAX_MEASURES} clicks; `
        + `the region plays from 0.000 s to ${result.summary.writtenS.toFixed(3)} s)`), lines.slice(-12).join("\n"));
});

// What a form needs to word a refusal its own way: the inputs it is about
// (the one to mend first leading) and the sentence without any option name;
// the command line's line stays the sentence led by what it is about.
test("a refusal names the inputs it is about and says what is wrong without an option", async () => {
    const base = { time: "4/4x20", from: "12", to: "19", start: "q=120", stop: "q=72", after: "stop" };
    // [inputs changed, fields, the command line's line (null: "--field: sentence";
    // else what leads the sentence in it, or the whole line), sentence]
    const cases = [
        [{ from: "twelve" }, ["from"], "--from: cannot read 'twelve' (write a measure, as 12, or a measure and a beat, as 12:3 or 12:2.5)",
            "'twelve' is not a measure number (write it as 12)"],
        [{ to: "19:x" }, ["to"], "--to: cannot read '19:x' (write a measure, as 12, or a measure and a beat, as 12:3 or 12:2.5)",
            "'x' is not a beat (the meter's beats from 1, as 3 or 2.5)"],
        [{ from: "12:0.5" }, ["from"], "--from: beats count from 1, so '12:0.5' names no beat",
            "beats count from 1: there is no beat 0.5"],
        [{ start: "q=q = 120" }, ["start"], null, "'q = 120' is not a whole number of beats per minute"],
        [{ from: "12:5" }, ["from"], "--from 12:5", "measure 12 runs from beat 1 to its end at beat 5 (a beat is a quarter)"],
        [{ to: "21" }, ["to"], null, "measure 21 is outside the score, which has measures 1 to 20"],
        [{ to: "1:1", from: "1" }, ["to"], "--to 1:1", "the region ends before the score begins"],
        [{ from: "20", to: "19" }, ["from", "to"], "--from 20 --to 19", "the region ends where it starts"],
        [{ from: "15", to: "12" }, ["from", "to"], "--from 15 --to 12", "the region ends before it starts"],
        [{ time: "4/4xmany" }, ["time"], null, "cannot read the measure count in '4/4xmany' (write 4/4x8)"],
        [{ start: "x=120" }, ["start"], null, "unknown beat unit 'x' (use s, e, q, h or w: 16th, 8th, quarter, half, whole; a trailing . for dotted)"],
        [{ stop: "q=601" }, ["stop"], null, "601 beats per minute is outside 20 to 600, the range the dialog takes"],
        [{ stop: "h=60" }, ["stop", "start"], "--start quarter = 120 and --stop half = 60 are the same tempo: no ramp (the dialog refuses them too)",
            "the start tempo quarter = 120 and the stop tempo half = 60 are the same tempo: no ramp (the dialog refuses them too)"],
        [{ stop: null, fit: "" }, ["fit"], null, "'' is not a duration in seconds"],
        [{ stop: null, fit: "20", stopUnit: "x" }, ["stop-unit"], null, "unknown beat unit 'x' (use s, e, q, h or w: 16th, 8th, quarter, half, whole; a trailing . for dotted)"],
        [{ stopUnit: "h" }, ["stop-unit", "stop"], "--stop-unit goes with --fit; --stop names its own unit",
            "a stop tempo names its own beat unit; a beat unit alone goes with a duration to fit"],
        [{ after: "later" }, ["after"], "argument --after: invalid choice: 'later' (choose from 'none', 'stop', 'start')",
            "'later' is no action directly after the selection (choose from 'none', 'stop', 'start')"],
        [{ after: "" }, ["after"], "argument --after: invalid choice: '' (choose from 'none', 'stop', 'start')",
            "'' is no action directly after the selection (choose from 'none', 'stop', 'start')"],
    ];
    for (const [patch, fields, lead, sentence] of cases) {
        const inputs = { ...base, ...patch };
        await assert.rejects(plan(inputs), (error) => {
            assert.ok(error instanceof InputError, error.stack);
            assert.deepEqual(error.fields, fields, error.message);
            assert.equal(error.sentence, sentence);
            assert.doesNotMatch(sentence, /--/);
            const lines = lead === null ? [`--${fields[0]}: ${sentence}`] : [`${lead}: ${sentence}`, lead];
            assert.ok(lines.includes(error.message), `${error.message}\n  expected: ${lines[0]}`);
            return true;
        }, JSON.stringify(patch));
    }
});

// What the page plays is timed as the MIDI file is: a note that starts on a
// beat starts with that beat's click, each measure starts with its
// downbeat, and every note the file sounds is there once.
test("the heard notes start with the clicks they fall on, measures with their downbeats", async () => {
    const { readFileSync } = await import("node:fs");
    const { heardSound } = await import("../lib/heard-sound.js");
    const { partsHeard, heardEnd, clicks } = await import("../lib/midi.js");
    const name = "notes-chords-ties.musicxml";
    const bytes = readFileSync(new URL(`../../tests/preview/scores/${name}`, import.meta.url));
    const checked = await plan({
        score: { bytes, name }, from: "2", to: "4", start: "q=120", stop: "q=80", after: "start", notes: true,
    }, (await import("../node/xml-tools.js")).tools);
    const result = await runPreview(checked, await loadPlugin());
    const sound = heardSound(result.heard, checked.score.parts);
    const heardNotes = partsHeard(checked.score.parts, heardEnd(result.heard.measures)).flatMap((part) => part.notes)
        .sort((a, b) => a.on - b.on || a.off - b.off);
    assert.equal(sound.notes.length, heardNotes.length);
    assert.equal(sound.notes.length, 34);
    const clickAt = new Map(clicks(result.heard.measures).map((click, i) => [click.position, sound.beats[i].seconds]));
    let matched = 0;
    heardNotes.forEach((note, i) => {
        const timed = sound.notes[i];
        assert.deepEqual([timed.key, timed.channel, timed.velocity], [note.key, note.channel, note.velocity]);
        for (const end of ["on", "off"]) {
            if (!clickAt.has(note[end])) continue;
            assert.ok(Math.abs(timed[end] - clickAt.get(note[end])) < 1e-9, `${end} of key ${note.key} at tick ${note[end]}`);
            matched += 1;
        }
    });
    assert.ok(matched >= 40, `${matched}`);
    // The ramp slows measures 2 to 4: a note there lasts longer than the same
    // length in measure 1.
    const length = (n) => n.off - n.on;
    const quarterIn = (measure) => sound.notes.find((n) => n.key === 62 && n.channel === 0
        && n.on >= sound.measures[measure - 1].seconds - 1e-9);
    assert.ok(length(quarterIn(4)) > length(quarterIn(1)) * 1.05);
    for (const m of sound.measures) {
        assert.equal(m.seconds, sound.beats.find((b) => b.measure === m.measure && b.accent).seconds);
    }
    assert.ok(sound.notes.every((n, i) => n.off > n.on && (i === 0 || sound.notes[i - 1].on <= n.on)));
    assert.ok(sound.end > sound.measures.at(-1).seconds);
});

// The page previews on every edit and asks for no file: the score's notes
// are placed only when a file that sounds them is asked for.
test("the notes are placed only for a file that sounds them", async () => {
    const checked = await plan({ time: "4/4x8", from: "2", to: "5", start: "q=120", stop: "q=80", after: "stop" });
    let reads = 0;
    const note = { start: fraction(4096n), end: fraction(5120n), key: 60, velocity: 80, channel: 0 };
    const part = { name: "Piano", program: 0, volume: null, channel: 0, get notes() { reads += 1; return [note]; } };
    const withNotes = { ...checked, score: { ...checked.score, parts: [part] } };
    const plugin = await loadPlugin();
    for (const [names, placed] of [[{}, false], [{ svg: "map.svg" }, false], [{ midi: "ramp.mid" }, true], [{ wav: "ramp.wav" }, true]]) {
        reads = 0;
        await runPreview(withNotes, plugin, names);
        assert.equal(reads > 0, placed, JSON.stringify(names));
    }
});

// The command line's --midi --wav --beats --notes, and the page's Play and
// downloads, make several things of one heard score: its notes are placed
// once for all of them.
test("the notes of a heard score are placed once for all its files", async () => {
    const checked = await plan({ time: "4/4x8", from: "2", to: "5", start: "q=120", stop: "q=80", after: "stop" });
    let reads = 0;
    const note = { start: fraction(4096n), end: fraction(5120n), key: 60, velocity: 80, channel: 0 };
    const part = { name: "Piano", program: 0, volume: null, channel: 0, get notes() { reads += 1; return [note]; } };
    const withNotes = { ...checked, score: { ...checked.score, parts: [part] } };
    const result = await runPreview(withNotes, await loadPlugin(), { midi: "ramp.mid", wav: "ramp.wav", beats: "beats.csv" });
    const all = reads;
    reads = 0;
    partsHeard([part], heardEnd(result.heard.measures), result.heard.runs);
    assert.ok(reads > 0);
    assert.equal(all, reads, "one placement");
    heardSound(result.heard, withNotes.score.parts);
    heardMidi(result.heard, { parts: withNotes.score.parts, click: false });
    assert.equal(reads, all, "and none again for the sound and another file");
});
