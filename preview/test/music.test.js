// Musical arguments: the region the selection tool would give for a span of
// measures and beats, meters and tempos as typed, every kind of bad value
// refused with its one line, and the tempo value held equal to the plug-in's.
import { test } from "node:test";
import assert from "node:assert/strict";

import {
    InputError, THROUGH_MEASURE_END as END, beatAt, beatPosition, beatsText, fullMeasure, lengthText, hostTempoValue, meterSummary,
    parseMeter, parsePoint, parseRegion, parseStopTempo, parseTempo, percentName, parseTimeRuns, parseUnit, partialMeasure,
    regionText, tempoName, tempoValue,
} from "../lib/music.js";
import { defaultModulePath, loadPlugin } from "../node/plugin-node.js";
import { runScenario } from "./run-plugin.js";

// 4/4 in 1-4, 3/4 in 5-6, 6/8 in 7-9
const MEASURES = parseTimeRuns("4/4x4,3/4x2,6/8x3");

test("spans become the selection tool's region", () => {
    const cases = [
        ["2", "5", [2, 0, 5, END], "measure 2 through the end of measure 5"],
        ["2:3", "5:2.5", [2, 2048, 5, 1535], "measure 2, beat 3 up to measure 5, beat 2.5 (not included)"],
        ["2", "5:1", [2, 0, 4, END], "measure 2 through the end of measure 4"], // up to a downbeat
        ["6", "6:4", [6, 0, 6, END], "all of measure 6"],                        // beat 4 of 3/4 is its barline
        ["7:1.5", "7:2.5", [7, 768, 7, 2303], "measure 7, beat 1.5 up to measure 7, beat 2.5 (not included)"],
        ["7:2", "7:3", [7, 1536, 7, END], "measure 7, beat 2 through the end of measure 7"], // 6/8 counts 2 beats
        ["1:1.333", "9", [1, 341, 9, END], "measure 1, beat 1.33301 through the end of measure 9"],
        [" 3 : 2.5 ", "3:4.", [3, 1536, 3, 3071], "measure 3, beat 2.5 up to measure 3, beat 4 (not included)"],
        ["1:1.0009765625", "1:2", [1, 1, 1, 1023], "measure 1, beat 1.00098 up to measure 1, beat 2 (not included)"],
    ];
    for (const [from, to, region, text] of cases) {
        assert.deepEqual(parseRegion(from, to, MEASURES), region, `--from ${from} --to ${to}`);
        assert.equal(regionText(region, MEASURES), text);
    }
});

test("beats are read and printed as the meter counts them, pickups as the end of their measure", () => {
    const meter = (text) => fullMeasure(parseMeter(text, "--time"));
    const pickup = (text, length) => partialMeasure(parseMeter(text, "score"), length, true);
    const short = (text, length) => partialMeasure(parseMeter(text, "score"), length, false);
    // [measure, beat as typed, position in units, beat as printed back]
    const cases = [
        [meter("2/2"), "2", 2048, 2],                 // a half note
        [meter("2/2"), "1.5", 1024, 1.5],             // halfway through the first half
        [meter("6/8"), "2", 1536, 2],                 // a dotted quarter
        [meter("6/8"), "1.5", 768, 1.5],
        [meter("6/8"), "1.3333333", 512, 1.3333333333333333], // a third of 1536 units, to the nearest
        [meter("12/8"), "4.5", 5376, 4.5],
        [meter("3+2/8"), "2", 1536, 2],               // the groups: a dotted quarter, then a quarter
        [meter("3+2/8"), "2.5", 2048, 2.5],           // halfway through the shorter beat
        [meter("5/8"), "4", 1536, 4],                 // five 8ths, no groups given
        [pickup("4/4", 1024), "4", 0, 4],             // a one-quarter pickup is beat 4
        [pickup("4/4", 1536), "3.5", 0, 3.5],
        [pickup("4/4", 1536), "4", 512, 4],
        [pickup("6/8", 512), "2.6666666666666667", 0, 2.6666666666666665], // an 8th pickup in 6/8
        [pickup("3/4", 3072), "1", 0, 1],             // a full first measure is no pickup's end
        [short("4/4", 3072), "3", 2048, 3],           // a short measure later on starts on its beat 1
        [short("6/8", 1536), "1.5", 768, 1.5],
        [4096, "3", 2048, 3],                         // a bare length counts quarters
    ];
    for (const [m, typed, position, printed] of cases) {
        const label = `${typeof m === "number" ? m : `${m.meter} (${m.length})`} beat ${typed}`;
        assert.equal(beatPosition(m, parsePoint(`1:${typed}`, "--from").beat), position, label);
        assert.equal(beatAt(m, position), printed, label);
    }
    const wide = parseTimeRuns("2/2,6/8,3+2/8");
    assert.deepEqual(parseRegion("1:2", "3:2.5", wide), [1, 2048, 3, 2047]);
    assert.equal(regionText([1, 2048, 3, 2047], wide), "measure 1, beat 2 up to measure 3, beat 2.5 (not included)");
    assert.equal(regionText([2, 768, 2, END], wide), "measure 2, beat 1.5 through the end of measure 2");
});

test("a beat between units goes to the nearest, a half to the even one", () => {
    // 1/2048 of a quarter is half a unit: 1.00048828125 is unit 0.5, 1.00146484375 unit 1.5
    assert.deepEqual(parseRegion("1:1.00048828125", "1:2", MEASURES).slice(0, 2), [1, 0]);
    assert.deepEqual(parseRegion("1:1.00146484375", "1:2", MEASURES).slice(0, 2), [1, 2]);
    assert.deepEqual(parseRegion("1:1.0009", "1:2", MEASURES).slice(0, 2), [1, 1]);
});

test("meter runs give the measures in order, each beat where it is felt", () => {
    assert.deepEqual(MEASURES.map((m) => m.length), [...Array(4).fill(4096), ...Array(5).fill(3072)]);
    assert.deepEqual(MEASURES.map((m) => m.meter), [...Array(4).fill("4/4"), "3/4", "3/4", "6/8", "6/8", "6/8"]);
    assert.deepEqual(MEASURES[4].clicks, [0, 1024, 2048]);
    assert.deepEqual(MEASURES[6].clicks, [0, 1536]);
    assert.deepEqual(fullMeasure(parseMeter("3+2/8", "--time")).clicks, [0, 1536]);
    assert.deepEqual(fullMeasure(parseMeter("12/16", "--time")).clicks, [0, 768, 1536, 2304]);
    assert.deepEqual(fullMeasure(parseMeter("3/8", "--time")).clicks, [0, 512, 1024]);
    assert.equal(parseTimeRuns(" 5/4 X2 , 2/2").map((m) => m.meter).join(" "), "5/4 5/4 2/2");
    assert.equal(parseTimeRuns("4/4x32767").length, 32767);
});

test("a pickup holds the end of a measure: its beats fall where they would there", () => {
    const meter = parseMeter("4/4", "score");
    const pickup = partialMeasure(meter, 1536, true);
    assert.deepEqual(pickup.clicks, [512]);
    assert.equal(pickup.downbeat, false);
    const short = partialMeasure(meter, 1536, false);
    assert.deepEqual(short.clicks, [0, 1024]);
    assert.equal(short.downbeat, true);
    assert.equal(meterSummary([pickup, fullMeasure(meter), fullMeasure(meter)]),
        "3 measures: 4/4 (1 dotted quarter) x1, 4/4 x2");
    assert.equal(meterSummary([partialMeasure(meter, 1024, true)]), "1 measure: 4/4 (1 quarter) x1");
    // A length as its meter counts it, else as one dotted note, else in the longest note that counts it.
    for (const [length, meter, said] of [[8192, "4/4", "8 quarters"], [2560, "6/8", "5 8ths"], [2048, "2/2", "1 half"],
        [6144, "3/2", "3 halves"], [768, "2/4", "1 dotted 8th"], [3328, "3/4", "13 16ths"], [1000, "4/4", "0.976562 quarters"]]) {
        assert.equal(lengthText(length, meter), said, `${length} in ${meter}`);
    }
    assert.equal(beatsText(2097151), "2048 quarters");
    assert.equal(beatsText(2147483647), "2.09715e+06 quarters");
});

test("tempos as a musician writes them: a unit letter or a note, a dot, whole BPM, 'bpm' after", () => {
    const quarter = { unit: 2, dotted: false }, dottedHalf = { unit: 3, dotted: true };
    // [text, the beat of BPM alone, {unit, dotted, bpm}]
    const cases = [
        ["q = 120", null, { unit: 2, dotted: false, bpm: 120 }],
        ["\u2669=120", null, { unit: 2, dotted: false, bpm: 120 }],
        ["\u2669.=40", null, { unit: 2, dotted: true, bpm: 40 }],
        ["\u266A = 200 bpm", null, { unit: 1, dotted: false, bpm: 200 }],
        ["\u{1D15E}.=40", null, { unit: 3, dotted: true, bpm: 40 }],           // a half note, composed
        ["\u{1D157}\u{1D165}=60", null, { unit: 3, dotted: false, bpm: 60 }], // and as notehead and stem
        ["\u{1D161}=300", null, { unit: 0, dotted: false, bpm: 300 }],
        ["\u{1D15D}=30", null, { unit: 4, dotted: false, bpm: 30 }],
        ["q=120BPM", null, { unit: 2, dotted: false, bpm: 120 }],
        ["120 bpm", quarter, { unit: 2, dotted: false, bpm: 120 }],
        [" 72 ", dottedHalf, { unit: 3, dotted: true, bpm: 72 }],
        ["e=72", dottedHalf, { unit: 1, dotted: false, bpm: 72 }],   // a unit written is the unit
        ["MM 120", quarter, { unit: 2, dotted: false, bpm: 120 }],
        ["M.M. = 96", dottedHalf, { unit: 3, dotted: true, bpm: 96 }],
        ["m.m. \u2669. = 60", null, { unit: 2, dotted: true, bpm: 60 }],
        ["MM=72 bpm", quarter, { unit: 2, dotted: false, bpm: 72 }],
    ];
    for (const [text, beat, tempo] of cases) assert.deepEqual(parseTempo(text, "--start", beat), tempo, text);
    // BPM alone names no unit where none is given to count it in
    for (const text of ["120", "120 bpm"]) assert.throws(() => parseTempo(text, "--stop-unit"), /cannot read/);
});

test("tempos: one unit letter, an optional dot, whole beats per minute", () => {
    assert.deepEqual(parseTempo("h.=40", "--start"), { unit: 3, dotted: true, bpm: 40 });
    assert.deepEqual(parseTempo(" s = 600 ", "--start"), { unit: 0, dotted: false, bpm: 600 });
    assert.deepEqual(parseTempo("w=020", "--start"), { unit: 4, dotted: false, bpm: 20 });
    assert.deepEqual(parseUnit("e.", "--stop-unit"), { unit: 1, dotted: true });
    assert.equal(tempoName(parseTempo("q.=96", "--stop")), "dotted quarter = 96");
    assert.equal(tempoName(parseTempo("e=200", "--stop")), "8th = 200");
});

function refusal(call) {
    try {
        call();
    } catch (error) {
        assert.ok(error instanceof InputError, `${error.name}: ${error.message}`);
        assert.ok(!error.message.includes("\n"), error.message);
        return error.message;
    }
    assert.fail("accepted");
}

test("a stop tempo as a percentage of the start, in the start's unit, rounded to a whole BPM (a half up)", () => {
    const dottedHalf = { unit: 3, dotted: true, bpm: 40 };
    const quarter = (bpm) => ({ unit: 2, dotted: false, bpm });
    // [typed, start, stop's bpm]
    const cases = [
        ["75%", quarter(120), 90], ["75 %", quarter(120), 90], ["q=75 %", quarter(120), 90],
        ["h.=133%", quarter(120), 160], // 159.6; the unit typed before a percentage is the page's, not the user's
        ["75%", quarter(90), 68],       // 67.5: the half goes up
        ["62.5 %", quarter(100), 63], ["150%", dottedHalf, 60], ["33.3%", quarter(600), 200],
    ];
    for (const [typed, start, bpm] of cases) {
        const stop = parseStopTempo(typed, start);
        assert.deepEqual({ ...stop }, { unit: start.unit, dotted: start.dotted, bpm, percent: typed.replace(/^.*=|\s*%$/g, "").trim() }, typed);
    }
    assert.equal(percentName(quarter(120), parseStopTempo("75 %", quarter(120))), "75 % of quarter = 120: quarter = 90");
    assert.equal(parseStopTempo("h.=40", quarter(120)).percent, undefined);
    assert.throws(() => parseStopTempo("12.5%", dottedHalf),
        { message: "--stop: 12.5 % of dotted half = 40 is 5 beats per minute, outside 20 to 600, the range the dialog takes" });
    assert.throws(() => parseStopTempo("75 %%", quarter(120)), { message: /^--stop: cannot read '75 %%'/ });
});

test("each kind of bad value is refused with its one line", () => {
    const cases = [
        // a unit is one letter: qh is no quarter, hw no half, seq no 16th
        [() => parseTempo("qh=120", "--start"), "--start: unknown beat unit 'qh' (use s, e, q, h or w"],
        [() => parseTempo("hw=60", "--stop"), "--stop: unknown beat unit 'hw'"],
        [() => parseTempo("eq.=60", "--stop"), "--stop: unknown beat unit 'eq'"],
        [() => parseTempo("seq=60", "--start"), "--start: unknown beat unit 'seq'"],
        [() => parseTempo("Q=60", "--start"), "--start: unknown beat unit 'Q'"],
        [() => parseUnit("hw", "--stop-unit"), "--stop-unit: unknown beat unit 'hw'"],
        [() => parseTempo("x=120", "--start"), "unknown beat unit 'x'"],
        // numbers are ASCII digits, whatever else reads as one
        [() => parseTempo("q=1²0", "--start"), "--start: '1²0' is not a whole number of beats per minute"],
        [() => parseTempo("q=١٢٠", "--start"), "--start: '١٢٠' is not a whole number of beats per minute"],
        [() => parseTempo("q=90.5", "--start"), "'90.5' is not a whole number"],
        [() => parseTempo("q=601", "--stop"), "--stop: 601 beats per minute is outside 20 to 600, the range the dialog takes"],
        [() => parseTempo("h.=19", "--start"), "19 beats per minute is outside 20 to 600"],
        [() => parseTempo("q=99999999999999999999", "--start"), "99999999999999999999 beats per minute is outside"],
        [() => parseTempo("q 120", "--start"), "--start: cannot read 'q 120' (write a beat unit"],
        [() => parseTempo("q 120", "--start", { unit: 2, dotted: false }), "--start: cannot read 'q 120'"],
        [() => parseTempo("q=", "--start"), "--start: cannot read 'q='"],
        [() => parseTempo("q=q = 120", "--start"), "--start: 'q = 120' is not a whole number of beats per minute"],
        [() => parseTempo("\u266B=120", "--start"), "--start: unknown beat unit '\u266B'"],
        [() => parseTempo("=120", "--start", { unit: 2, dotted: false }), "--start: cannot read '=120'"],
        [() => parseTimeRuns("4/4x²"), "--time: cannot read the measure count in '4/4x²' (write 4/4x8)"],
        [() => parseTimeRuns("4/4x8,3/4x٣"), "--time: cannot read the measure count in '3/4x٣'"],
        [() => parseTimeRuns("4/4xmany"), "cannot read the measure count"],
        [() => parseTimeRuns("4/4x,3/4x"), "--time: cannot read the measure count in '4/4x' (write 4/4x8)"],
        [() => parseTimeRuns("4/4x2,3/4 x "), "--time: cannot read the measure count in '3/4 x'"],
        [() => parseTimeRuns("4²/4x2"), "--time: cannot read the time signature '4²/4' (write it as 3/4 or 3+2/8)"],
        [() => parseTimeRuns("3+²/8"), "--time: cannot read the time signature '3+²/8'"],
        [() => parseTimeRuns("4/٤"), "--time: cannot read the time signature '4/٤'"],
        [() => parseTimeRuns("4/5x20"), "--time: cannot read the time signature '4/5' (beats 1 to 99, a beat type"],
        [() => parseTimeRuns("100/4"), "time signature '100/4'"],
        [() => parseTimeRuns("4/4x0"), "--time: '4/4x0' names no measure"],
        [() => parseTimeRuns("4/4x32000,3/4x768"), "--time: more than 32,767 measures, the most a score holds"],
        [() => parseTimeRuns("4/4x99999999999999999999"), "more than 32,767 measures"],
        [() => parsePoint("1²", "--from"), "--from: cannot read '1²' (write a measure, as 12, or a measure"],
        [() => parsePoint("12:2.²", "--to"), "--to: cannot read '12:2.²'"],
        [() => parsePoint("12:", "--to"), "--to: cannot read '12:'"],
        [() => parsePoint("12:0.5", "--from"), "--from: beats count from 1, so '12:0.5' names no beat"],
        [() => parseRegion("0", "4", MEASURES), "--from: measure 0 is outside the score, which has measures 1 to 9"],
        [() => parseRegion("1", "10", MEASURES), "--to: measure 10 is outside the score"],
        [() => parseRegion("99999999999999999999", "4", MEASURES), "measure 99999999999999999999 is outside"],
        [() => parseRegion("2:5", "4", MEASURES),
            "--from 2:5: measure 2 runs from beat 1 to its end at beat 5 (a beat is a quarter)"],
        [() => parseRegion("7:3", "8", MEASURES),
            "--from 7:3: measure 7 runs from beat 1 to its end at beat 3 (a beat is a dotted quarter)"],
        [() => parseRegion("1", "5:4.5", MEASURES), "--to 5:4.5: measure 5 runs from beat 1 to its end at beat 4 "],
        [() => parseRegion("1", "7:3.5", MEASURES), "--to 7:3.5: measure 7 runs from beat 1 to its end at beat 3 "],
        [() => parseRegion("1:1", "2", [partialMeasure(parseMeter("4/4", "score"), 512, true), ...MEASURES]),
            "--from 1:1: measure 1 runs from beat 4.5 to its end at beat 5 (a beat is a quarter)"],
        [() => parseRegion("1", "1:3.5", parseTimeRuns("3+2/8")),
            "--to 1:3.5: measure 1 runs from beat 1 to its end at beat 3 (its beats: dotted quarter, quarter)"],
        [() => parseRegion("1", "1:1", MEASURES), "--to 1:1: the region ends before the score begins"],
        [() => parseRegion("4", "2", MEASURES), "--from 4 --to 2: the region ends before it starts"],
        [() => parseRegion("2:3", "2:3", MEASURES), "--from 2:3 --to 2:3: the region ends where it starts"],
    ];
    for (const [call, expected] of cases) {
        const message = refusal(call);
        assert.ok(message.startsWith(expected) || message.includes(expected), `${message}\n  expected: ${expected}`);
    }
});

test("the tempo value is the plug-in's for every unit, dotted or not, from 20 to 600", () => {
    // One ramp per tempo, each in a measure of its own: the record the
    // plug-in writes on the measure's first unit is the start tempo's value.
    // The stop, a 16th at 20 or 21, is slower than any other start.
    const tempos = [];
    for (let unit = 0; unit < 5; unit += 1) {
        for (const dotted of [false, true]) {
            for (let bpm = 20; bpm <= 600; bpm += 1) tempos.push({ unit, dotted, bpm });
        }
    }
    const invocations = tempos.map((start, i) => ({
        region: [i + 1, 0, i + 1, END],
        user: [
            ...[0, 1, 2, 3, 4].map((u) => ({ check: 102 + u, value: Number(u === start.unit) })),
            { check: 109, value: Number(start.dotted) }, { set: 111, value: start.bpm },
            ...[0, 1, 2, 3, 4].map((u) => ({ check: 122 + u, value: Number(u === 0) })),
            { check: 129, value: 0 }, { set: 131, value: start.unit === 0 && !start.dotted && start.bpm === 20 ? 21 : 20 },
            { check: 142, value: 1 }, { check: 143, value: 0 }, { check: 144, value: 0 }, { click: 1 },
        ],
    }));
    const report = runScenario({ measures: [[tempos.length, 1024]], registry: null, invocations });
    assert.deepEqual(report.invocations.filter((i) => i.closedBy !== "plugin" || i.boxes.length), []);
    const written = new Map();
    for (const [measure, position, value] of report.tempo) {
        if (position === 0) written.set(measure, value);
    }
    const differing = tempos.filter((t, i) => written.get(i + 1) !== tempoValue(t));
    assert.equal(written.size, tempos.length);
    assert.deepEqual(differing, []);
});

const MODULE = process.env.ZORV_PLUGIN_MODULE || defaultModulePath;

// Without the module this fails (scripts/build --web makes it): a check
// that did not run must not pass.
test("the tempo value is the WebAssembly plug-in's own, over the same range", async () => {
    const plugin = await loadPlugin(MODULE);
    const differing = [];
    for (let unit = 0; unit < 5; unit += 1) {
        for (const modifier of [0, 2]) {
            for (let bpm = 20; bpm <= 600; bpm += 1) {
                if (hostTempoValue(unit, bpm, modifier) !== plugin.tempoValue(unit, bpm, modifier)) {
                    differing.push([unit, bpm, modifier]);
                }
            }
        }
    }
    assert.deepEqual(differing, []);
});
