// The ramp to hear: the MIDI file, read back by a reader of its own here,
// holds the bars, the tempo records, the two markers and one click per beat
// at the right ticks, and each part's notes in a track of its own; clicks
// fall on the counted beats; the beat times' CSV.
// (The file's timing as a MIDI library plays it is checked in
// tests/preview/test_playback.py.)
import { test } from "node:test";
import assert from "node:assert/strict";
import { fullMeasure, parseMeter, parseTimeRuns, partialMeasure } from "../lib/music.js";
import {
    beatsCsv, clicks, heardEnd, heardMeasures, microsPerQuarter, midiBytes, timeSignatures,
} from "../lib/midi.js";
import { fraction } from "../lib/numbers.js";
import { DEFAULT_VALUE } from "../lib/timing.js";

function readVariable(bytes, at) {
    let value = 0;
    for (;;) {
        const byte = bytes[at];
        at += 1;
        value = value * 128 + (byte & 0x7f);
        if (byte < 0x80) return [value, at];
    }
}

// Chunks as {tag, events: [{tick, status, data}]} with absolute ticks;
// channel messages may lean on the status byte before them.
function readMidi(bytes) {
    const chunks = [];
    let at = 0;
    while (at < bytes.length) {
        const tag = String.fromCharCode(...bytes.slice(at, at + 4));
        const length = (bytes[at + 4] << 24) | (bytes[at + 5] << 16) | (bytes[at + 6] << 8) | bytes[at + 7];
        const body = bytes.slice(at + 8, at + 8 + length);
        assert.equal(body.length, length, `${tag} chunk runs past the file's end`);
        chunks.push({ tag, body });
        at += 8 + length;
    }
    return chunks.map(({ tag, body }) => (tag === "MTrk" ? { tag, events: trackEvents(body) } : { tag, body }));
}

function trackEvents(body) {
    const events = [];
    let at = 0;
    let tick = 0;
    let running = null;
    while (at < body.length) {
        let delta;
        [delta, at] = readVariable(body, at);
        tick += delta;
        let status = body[at];
        if (status === 0xff) {
            const type = body[at + 1];
            let length;
            [length, at] = readVariable(body, at + 2);
            events.push({ tick, status, type, data: [...body.slice(at, at + length)] });
            at += length;
            running = null;
        } else {
            if (status < 0x80) status = running;
            else at += 1;
            // a program change and a channel pressure carry one byte
            const size = status >> 4 === 0xc || status >> 4 === 0xd ? 1 : 2;
            events.push({ tick, status, data: [...body.slice(at, at + size)] });
            at += size;
            running = status;
        }
    }
    return events;
}

const text = (event) => String.fromCharCode(...event.data);

test("the MIDI file holds the bars, the tempo records, the markers and a click per beat", () => {
    const measures = parseTimeRuns("4/4x2,3/4x1,6/8x2");
    const points = [[4096, 134217], [5120, 120000], [5120, 100000], [12288, 80000]];
    const chunks = readMidi(midiBytes(measures, points, [4096, 12288]));
    assert.equal(chunks.length, 3);
    assert.deepEqual([...chunks[0].body], [0, 1, 0, 2, 4, 0]); // type 1, two tracks, 1024 ticks a quarter
    const [, conductor, click] = chunks.map((chunk) => chunk.events);

    assert.equal(text(conductor[0]), "ZorvTempo preview");
    const bars = conductor.filter((e) => e.type === 0x58).map((e) => [e.tick, e.data[0], 2 ** e.data[1]]);
    assert.deepEqual(bars, [[0, 4, 4], [8192, 3, 4], [11264, 6, 8]]);
    const tempos = conductor.filter((e) => e.type === 0x51)
        .map((e) => [e.tick, (e.data[0] << 16) | (e.data[1] << 8) | e.data[2]]);
    // quarter = 120 until the first record (the host's own value of it is a
    // shade slower); both records at 5120, in order.
    assert.deepEqual(tempos, [[0, 500000], [4096, 500003], [5120, 559241], [5120, 671089], [12288, 838861]]);
    const markers = conductor.filter((e) => e.type === 0x06).map((e) => [e.tick, text(e)]);
    assert.deepEqual(markers, [[4096, "ramp starts"], [12288, "ramp ends"]]);
    const end = conductor[conductor.length - 1];
    assert.deepEqual([end.type, end.tick], [0x2f, heardEnd(measures)]);

    assert.equal(text(click[0]), "click");
    const ons = click.filter((e) => e.status === 0x99);
    const offs = click.filter((e) => e.status === 0x89);
    assert.deepEqual(ons.map((e) => e.tick), clicks(measures).map((c) => c.position));
    assert.deepEqual(ons.map((e) => e.data[1]), [127, 96, 96, 96, 127, 96, 96, 96, 127, 96, 96, 127, 96, 127, 96]);
    assert.deepEqual(offs.map((e) => e.tick), ons.map((e) => e.tick + 64));
    assert.ok(offs.every((e) => e.data[0] === 33 && e.data[1] === 0) && ons.every((e) => e.data[0] === 33));
});

test("long measures take several bytes of delta time", () => {
    // 99/1 is 405,504 units: the deltas need three bytes each.
    const measures = parseTimeRuns("99/1x2");
    const chunks = readMidi(midiBytes(measures, [[0, 134217]], [0, 811008]));
    const ons = chunks[2].events.filter((e) => e.status === 0x99);
    assert.equal(ons[99].tick, 405504);
    assert.equal(ons.length, 198);
});

test("tempo events stay within what a MIDI file can say", () => {
    assert.equal(microsPerQuarter(DEFAULT_VALUE), 500000);
    assert.equal(microsPerQuarter(1), 0xffffff);
    assert.equal(microsPerQuarter(1e12), 1);
    // A half exactly between two microseconds goes to the even one.
    assert.equal(microsPerQuarter(67108864000 / 2.5), 2);
    assert.equal(microsPerQuarter(67108864000 / 3.5), 4);
});

test("a bar that is no whole number of its beats is counted in 64ths", () => {
    const pickup = partialMeasure(parseMeter("4/4", "meter"), 1000, true);
    const measures = [pickup, fullMeasure(parseMeter("4/4", "meter"))];
    assert.deepEqual(timeSignatures(measures), [[0, 15, 64], [1000, 4, 4]]);
});

test("clicks fall on counted beats: dotted quarters in 6/8, groups in 3+2/8, a pickup at its end", () => {
    const eighths = parseTimeRuns("6/8,3+2/8");
    assert.deepEqual(clicks(eighths).map((c) => [c.position, c.measure, c.beat, c.accent]), [
        [0, 1, 1, true], [1536, 1, 2, false], [3072, 2, 1, true], [4608, 2, 2, false],
    ]);
    const pickup = partialMeasure(parseMeter("3/4", "meter"), 1024, true);
    assert.deepEqual(clicks([pickup]).map((c) => [c.position, c.beat, c.accent]), [[0, 3, false]]);
});

test("the heard measures run one past the region, adding one where the score ends", () => {
    const measures = parseTimeRuns("4/4x3,3/4");
    assert.equal(heardMeasures(measures, [1, 0, 2, 0x7fffffff]).length, 3);
    const heard = heardMeasures(measures, [2, 0, 4, 0x7fffffff]);
    assert.equal(heard.length, 5);
    assert.equal(heard[4].meter, "3/4");
    assert.equal(heardEnd(heard), 3 * 4096 + 2 * 3072);
});

test("beat times are written as seconds, measure, beat and downbeat", () => {
    const timed = (beats, times) => beats.map((beat, i) => ({ ...beat, seconds: times[i] }));
    const beats = clicks(parseTimeRuns("3/4"));
    // 1/128 s lies exactly between two microseconds: the even one is shown.
    assert.equal(beatsCsv(timed(beats, [0, 0.5, 1 / 128])),
        "seconds,measure,beat,downbeat\n0.000000,1,1,1\n0.500000,1,2,0\n0.007812,1,3,0\n");
    const eighths = clicks(parseTimeRuns("6/8"));
    assert.equal(beatsCsv(timed(eighths, [0, 0.75])).split("\n")[2], "0.750000,1,2,0");
});

// A part as notes.js gives it, its notes [start, end, key, channel] in units.
const part = (name, channel, program, volume, notes) => ({
    name, channel, program, volume, notes: notes.map(([start, end, key, own = channel]) => ({
        start: fraction(...[start].flat().map(BigInt)), end: fraction(...[end].flat().map(BigInt)), key, velocity: 80, channel: own,
    })),
});
// A track's channel messages as [tick, status, data...].
const messages = (track) => track.filter((e) => e.status < 0xf0).map((e) => [e.tick, e.status, ...e.data]);

test("each part's notes go in a track of its own, with its program and volume, cut where the heard part ends", () => {
    const parts = [
        part("Violin", 0, 40, 100, [[0, [6145, 2], 69], [[6145, 2], 4096, 71], [7168, 9000, 72], [8192, 9000, 74]]),
        part("Bass é ♭", 2, 32, null, [[0, 8192, 36], [2048, 3072, 38, 9]]),
    ];
    const chunks = readMidi(midiBytes(parseTimeRuns("4/4x2"), [], [0, 8192], { click: false, parts }));
    assert.deepEqual([...chunks[0].body], [0, 1, 0, 3, 4, 0]);
    const [, , violin, bass] = chunks.map((chunk) => chunk.events);
    assert.deepEqual([text(violin[0]), text(bass[0])], ["Violin", "Bass \xe9 ?"]);
    assert.deepEqual(messages(violin), [ // 3072.5 units: the even tick
        [0, 0xc0, 40], [0, 0xb0, 7, 100], [0, 0x90, 69, 80], [3072, 0x80, 69, 0], [3072, 0x90, 71, 80], [4096, 0x80, 71, 0],
        [7168, 0x90, 72, 80], [8192, 0x80, 72, 0],
    ]);
    assert.deepEqual(messages(bass), [[0, 0xc2, 32], [0, 0x92, 36, 80], [2048, 0x99, 38, 80], [3072, 0x89, 38, 0], [8192, 0x82, 36, 0]]);
});

test("a key sounds once at a time on its channel, whichever parts play it", () => {
    const cases = [ // [the parts' notes, each part's note ons and offs]
        [[[[0, 1024, 60]], [[0, 2048, 60]]], [[], [[0, 0x90], [2048, 0x80]]]], // a unison: the longer note
        [[[[0, 3072, 60]], [[1024, 2048, 60]]], [[[0, 0x90], [1024, 0x80]], [[1024, 0x90], [2048, 0x80]]]],
        [[[[0, 3072, 60]], [[1024, 2048, 61]]], [[[0, 0x90], [3072, 0x80]], [[1024, 0x90], [2048, 0x80]]]],
    ];
    for (const [notes, expected] of cases) {
        const parts = notes.map((n, i) => part(`p${i}`, 0, 0, null, n));
        const chunks = readMidi(midiBytes(parseTimeRuns("4/4"), [], [0, 4096], { click: false, parts }));
        assert.deepEqual(chunks.slice(2).map((c) => messages(c.events).slice(1).map(([tick, status]) => [tick, status])), expected);
    }
});

test("notes sound each time their measures are heard, and a jump stops what sounds", () => {
    // 1 2 | 1 2 3 (a repeat): measure 1 heard at ticks 0 and 8192. A note
    // tied over the repeat barline (7168 to 9216) is cut where the hearing
    // goes back, and starts nothing after it.
    const measures = parseTimeRuns("4/4x3");
    const heard = [measures[0], measures[1], measures[0], measures[1], measures[2]];
    const runs = [{ tick: 0, from: 0, to: 8192 }, { tick: 8192, from: 0, to: 12288 }];
    const parts = [part("Horn", 0, 60, null, [[1024, 2048, 60], [7168, 9216, 62], [9216, 10240, 64]])];
    const chunks = readMidi(midiBytes(heard, [], [[0, 8192], [8192, 16384]], { click: false, parts, runs }));
    assert.deepEqual(messages(chunks[2].events).slice(1), [
        [1024, 0x90, 60, 80], [2048, 0x80, 60, 0], [7168, 0x90, 62, 80], [8192, 0x80, 62, 0],
        [9216, 0x90, 60, 80], [10240, 0x80, 60, 0], [15360, 0x90, 62, 80], [17408, 0x80, 62, 0],
        [17408, 0x90, 64, 80], [18432, 0x80, 64, 0],
    ]);
    const markers = chunks[1].events.filter((e) => e.type === 0x06).map((e) => [e.tick, text(e)]);
    assert.deepEqual(markers, [[0, "ramp starts"], [8192, "ramp ends"], [8192, "ramp starts"], [16384, "ramp ends"]]);
});
