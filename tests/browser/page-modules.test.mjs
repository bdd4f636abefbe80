// The page's own modules under Node: the address, the click and its WAV, the
// error slots, the single file's inlining. Everything musical is tested with
// the shared modules; these are the page's plumbing, where a slip loses a
// link's inputs, moves a click or breaks the file.
import { test } from "node:test";
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { argumentsOf, queryOf, runPatch, stateFromQuery } from "../../preview/web/address.js";
import { clickWave, mixClicks, passageChannels, wavBytes } from "../../preview/web/click.js";
import { errorField, fieldOf, slotOf } from "../../preview/web/form.js";
import { inline } from "../../preview/web/build.mjs";

const documented = {
  source: "time", time: "4/4x24", fromMeasure: "12", fromBeat: "", toMeasure: "19", toBeat: "",
  startUnit: "q", startDotted: false, startBpm: "120", mode: "stop", stopUnit: "q", stopDotted: false,
  stopBpm: "72", fit: "", after: "start",
};

test("an address carries the form, and gives back every field it is about", () => {
  const runs = [
    { from: "20", to: "24", start: "q=72", stop: "q=120", after: "start" },
    { from: "3:2", to: "9", start: "e.=90", fit: "0:14", "stop-unit": "h", after: "none" },
  ];
  const hits = [{ position: "17", time: "0:34.2" }, { position: "25:3", time: "01:00:50;02" }];
  const single = "&from=12&to=19&start=q=120&stop=q=72";
  // [the form, over the documented one; its address]
  const cases = [
    [{}, `?time=4/4x24${single}&after=start`],
    [{ fromBeat: "3", toBeat: "2.5", startUnit: "h", startDotted: true, startBpm: "40" },
      "?time=4/4x24&from=12:3&to=19:2.5&start=h.=40&stop=q=72&after=start"],
    [{ mode: "fit", fit: "1:23.5", stopUnit: "e", stopDotted: true },
      "?time=4/4x24&from=12&to=19&start=q=120&fit=1:23.5&stop-unit=e.&after=start"],
    [{ time: "4/4x4, 3/4x2,6/8x3 & more" }, `?time=4/4x4,%203/4x2,6/8x3%20%26%20more${single}&after=start`],
    // A score travels as its file name, never a path; without one the measures are left out.
    [{ source: "score" }, `?${single.slice(1)}&after=start`],
    [{ source: "score", scoreName: "mine.musicxml", after: "" }, `?score=mine.musicxml${single}&after=`],
    // What the page has no control for travels on, for the preview to refuse.
    [{ stopUnitGiven: "h", after: "stop" }, `?time=4/4x24${single}&stop-unit=h&after=stop`],
    [{ after: "later" }, `?time=4/4x24${single}&after=later`],
    // A plan's later ramps follow the first, which keeps its own fit.
    [{ mode: "fit", fit: "25", runs }, "?time=4/4x24&from=12&to=19&start=q=120&fit=25&stop-unit=q&after=start"
      + "&from=20&to=24&start=q=72&stop=q=120&after=start&from=3:2&to=9&start=e.=90&fit=0:14&stop-unit=h&after=none"],
    // A duration to fit carries the frame rate its timecode is read at; a stop tempo does not.
    [{ mode: "fit", fit: "00:01:30:00", fps: "25" },
      "?time=4/4x24&from=12&to=19&start=q=120&fit=00:01:30:00&stop-unit=q&after=start&fps=25"],
    [{ fps: "25" }, `?time=4/4x24${single}&after=start`],
    // Hits end the ramps: no To, no stop, no later ramps.
    [{ hits, fps: "29.97", cueStart: " 01:00:00;00 ", hitUnit: "s", runs },
      "?time=4/4x24&from=12&start=q=120&stop-unit=s&after=start&hit=17=0:34.2&hit=25:3=01:00:50%3B02"
      + "&fps=29.97&cue-start=01:00:00%3B00"],
  ];
  for (const [form, address] of cases) {
    const state = { ...documented, ...form };
    assert.equal(queryOf(argumentsOf(state)), address);
    const back = stateFromQuery(address);
    for (const [key, value] of Object.entries(back)) {
      assert.deepEqual(value, typeof state[key] === "string" ? state[key].trim() : state[key], `${key} of ${address}`);
    }
    const about = [...(state.source === "time" ? ["time"] : []), "fromMeasure", "fromBeat", "startUnit", "startDotted",
      "startBpm", "after", ...(hits === state.hits ? ["hits"] : ["toMeasure", "toBeat", "mode", "stopUnit", "stopDotted",
        state.mode === "fit" ? "fit" : "stopBpm"])];
    assert.deepEqual(about.filter((key) => !(key in back)), [], address);
  }
  // A ramp moved into the first place fills the form's fields.
  assert.deepEqual(runPatch(runs[1]), { fromMeasure: "3", fromBeat: "2", toMeasure: "9", toBeat: "", startUnit: "e",
    startDotted: true, startBpm: "90", mode: "fit", fit: "0:14", stopUnit: "h", stopDotted: false, after: "none" });
  assert.equal(stateFromQuery("?score=C:%5Cscores%5Cmine.musicxml").scoreName, "mine.musicxml");
  // A key given twice keeps its last value, as on the command line; a hand-typed meter keeps its plus.
  assert.deepEqual(stateFromQuery("?time=3+2/8x4,+4/4&from=2&to=2&to=4&fps=24&fps=25&score=a&score=b"), { source: "score",
    scoreName: "b", time: "3+2/8x4, 4/4", fps: "25", fromMeasure: "2", fromBeat: "", toMeasure: "4", toBeat: "" });
  // What it says is kept as written, for the preview to judge; what it does not know is left out.
  assert.deepEqual(stateFromQuery("?start=qh=120&stop=q=1%C2%B20&from=12:&fit=9&stop-unit=x.&bogus=1"), { fromMeasure: "12",
    fromBeat: "", startBpm: "qh=120", mode: "fit", stopUnit: "x", stopDotted: true, stopBpm: "1\u00b20", fit: "9" });
});

test("a unit typed with the tempo names it: the buttons take it, or the field keeps what none can", () => {
  // [BPM field, the start as the preview gets it with quarter chosen, the buttons and field from it]
  const cases = [
    ["120", "q=120", ["q", false, "120"]],
    ["120 bpm", "q=120 bpm", ["q", false, "120"]],
    ["h. = 40", "h. = 40", ["h", true, "40"]],
    ["\u2669.=40", "\u2669.=40", ["q", true, "40"]],
    ["\u266A = 96 bpm", "\u266A = 96 bpm", ["e", false, "96"]],
    ["qh=120", "qh=120", [undefined, undefined, "qh=120"]],
    ["\u266B=120", "\u266B=120", [undefined, undefined, "\u266B=120"]],
  ];
  for (const [field, joined, split] of cases) {
    const args = argumentsOf({ ...documented, startBpm: field });
    assert.equal(args.start, joined, field);
    const patch = stateFromQuery(queryOf(args));
    assert.deepEqual([patch.startUnit, patch.startDotted, patch.startBpm], split, field);
  }
});

test("an input error goes beside the field just edited among those it is about, else the first", () => {
  const control = (name, value = "") => ({ name, id: name, value });
  const fit = { mode: "fit" }, stop = { mode: "stop" };
  // [control edited, form state, the error's fields, fallback, field shown beside]
  const cases = [
    [control("to-measure"), stop, ["from", "to"], "time", "to"],
    [control("to-beat"), stop, ["from", "to"], "time", "to"],
    [control("from-beat"), stop, ["from", "to"], "time", "from"],
    [control("start-bpm"), stop, ["from", "to"], "time", "from"],
    [null, stop, ["stop", "start"], "time", "stop"],
    [control("start-unit", "h"), stop, ["stop", "start"], "time", "start"],
    [control("start-dotted"), stop, ["stop", "start"], "time", "start"],
    [control("mode", "fit"), fit, ["fit"], "time", "fit"],
    [control("stop-unit", "h"), fit, ["stop-unit"], "time", "stop-unit"],
    [control("stop-unit", "h"), stop, ["stop-unit", "stop"], "time", "stop"],
    [control("after", "none"), stop, ["after"], "time", "after"],
    [control("time"), stop, [], "time", "time"],
    [control("source", "score"), stop, [], "score", "score"],
  ];
  for (const [edited, state, fields, fallback, expected] of cases) {
    const field = errorField(fields, edited && fieldOf(edited, state), fallback);
    assert.equal(field, expected, `${edited && edited.name} with ${fields}`);
  }
  assert.deepEqual(["from", "to", "start", "stop", "fit", "stop-unit", "after", "time", "score"].map(slotOf),
    ["from", "to", "start", "stop", "stop", "stop", "after", "time", "score"]);
});

// Beats as the shared preview hands them out (heardBeats): two measures of
// two beats, downbeats accented.
const beats = [
  { seconds: 0, measure: 1, beat: 1, accent: true, heard: 1 }, { seconds: 0.5, measure: 1, beat: 2, accent: false, heard: 1 },
  { seconds: 1.25, measure: 2, beat: 1, accent: true, heard: 2 },
  { seconds: 1.999977, measure: 2, beat: 2, accent: false, heard: 2 },
];

test("each click starts on its beat's sample, downbeats louder", () => {
  const rate = 8000;
  const samples = mixClicks(beats, rate);
  const wave = clickWave(rate, false);
  const onsets = [];
  for (let i = 0; i < samples.length; i++) {
    const quietBefore = samples.slice(Math.max(0, i - 20), i).every((s) => s === 0);
    if (samples[i] !== 0 && quietBefore) onsets.push(i);
  }
  // The first sample of a sine is 0: the onset shows one sample later.
  assert.deepEqual(onsets, beats.map((b) => Math.round(b.seconds * rate) + 1));
  const peak = (from) => Math.max(...samples.slice(from, from + wave.length).map(Math.abs));
  assert.ok(peak(0) > 1.4 * peak(Math.round(0.5 * rate)));
  assert.ok(samples.length >= Math.round(1.999977 * rate) + wave.length);
});

test("the WAV is 16-bit PCM holding the samples, clipped to full scale, its channels interleaved", () => {
  const bytes = wavBytes(Float32Array.from([0, 0.5, -0.5, 1.7, -3]), 22050);
  const view = new DataView(bytes.buffer);
  const text = (at, n) => String.fromCharCode(...bytes.slice(at, at + n));
  assert.equal(text(0, 4) + text(8, 4) + text(12, 4) + text(36, 4), "RIFFWAVEfmt data");
  assert.equal(view.getUint32(4, true), bytes.length - 8);
  assert.deepEqual([view.getUint16(20, true), view.getUint16(22, true), view.getUint32(24, true),
    view.getUint32(28, true), view.getUint16(32, true), view.getUint16(34, true)], [1, 1, 22050, 44100, 2, 16]);
  assert.equal(view.getUint32(40, true), 10);
  const samples = [0, 1, 2, 3, 4].map((i) => view.getInt16(44 + 2 * i, true));
  assert.deepEqual(samples, [0, 16384, -16383, 32767, -32767]);
  // Two channels interleave frame by frame, as long as the shorter.
  const stereo = new DataView(wavBytes([Float32Array.from([0.5, 1, 0.25]), Float32Array.from([-0.5, -1])], 8000).buffer);
  assert.deepEqual([stereo.getUint16(22, true), stereo.getUint32(28, true), stereo.getUint16(32, true),
    stereo.getUint32(40, true)], [2, 32000, 4, 8]);
  assert.deepEqual([0, 1, 2, 3].map((i) => stereo.getInt16(44 + 2 * i, true)), [16384, -16383, 32767, -32767]);
});

test("the single file's inline code cannot close its element early", () => {
  const html = '<head><link rel="stylesheet" href="page.css"></head><body><script type="module" src="page.js"></script></body>';
  const out = inline(html, "a{}</style>", 'x="</script><!--";y="$&$1"');
  assert.equal(out.match(/<\/script/gi).length, 1);
  assert.ok(out.includes("<script type=\"module\" async>"));
  assert.equal(out.match(/<\/style/gi).length, 1);
  assert.ok(out.includes('y="$&$1"'));
  assert.ok(!out.includes('src="page.js"'));
  assert.throws(() => inline("<body></body>", "", ""), /lost/);
  // Data follows the script, in an element that is never run, which the
  // parser ends at the first "<" of a closing tag.
  const withData = inline(html, "", "x=1", { bank: "QUJD+/==" });
  assert.match(withData, /<script type="module" async>\nx=1<\/script>\n<script type="application\/octet-stream" id="bank">QUJD\+\/==<\/script><\/body>$/);
  assert.throws(() => inline(html, "", "", { bank: "</script>" }), /holds a "<"/);
});

test("requests to the preview's Worker are answered by id, and once it has failed every one rejects with why", async () => {
  const { requestsTo } = await import("../../preview/web/requests.js");
  const worker = new EventTarget();
  const posted = [];
  worker.postMessage = (message) => posted.push(message);
  const send = requestsTo(worker);
  const ask = (request) => send(request).answer;
  const [first, second] = [ask({ kind: "notation" }), ask({ kind: "notation" })];
  worker.dispatchEvent(new MessageEvent("message", { data: { id: posted[1].id, value: "second" } }));
  assert.equal(await second, "second");
  const died = Object.assign(new Event("error", { cancelable: true }), { message: "out of memory" });
  worker.dispatchEvent(died);
  assert.ok(died.defaultPrevented);
  await assert.rejects(first, /out of memory/);
  await assert.rejects(ask({ kind: "notation" }), /out of memory/);
  assert.equal(posted.length, 2);
});

test("the Worker answers an edit's preview before pieces of the score queued to draw, and nothing else out of turn", async () => {
  const { nextRequest } = await import("../../preview/web/work-order.js");
  // [the kinds queued, the order they are answered in]
  const cases = [
    [["excerpt", "excerpt", "preview"], ["preview", "excerpt", "excerpt"]],
    [["open", "excerpt", "preview"], ["open", "preview", "excerpt"]],
    [["excerpt", "sound", "preview"], ["excerpt", "sound", "preview"]],
    [["preview", "excerpt", "preview"], ["preview", "preview", "excerpt"]],
  ];
  for (const [kinds, answered] of cases) {
    const queue = kinds.map((kind, id) => ({ kind, id }));
    const order = [];
    while (queue.length) order.push(nextRequest(queue).kind);
    assert.deepEqual(order, answered, kinds.join(", "));
  }
});

test("the drawing's steps share a task while the last of their kind says they fit, and yield otherwise", async () => {
  const { Pace } = await import("../../preview/web/pace.js");
  let clock = 0;
  const yields = [];
  const pace = new Pace(120, async () => { yields.push(clock); }, () => clock);
  // [kind, notes, ms it takes, yields before it]
  const steps = [
    ["read", 100, 40, true], // never timed: a task of its own
    ["layout", 100, 60, true],
    ["read", 100, 40, false], // 60 ms into the task, 40 more fit in 120
    ["layout", 100, 60, true], // 100 ms in: 60 more do not
    ["read", 300, 80, true], // 60 ms in, and three times the notes: 120 expected
    ["layout", 10, 30, true], // 80 ms in; fewer notes expect no less than the last one's 60
    ["read", 100, 40, false], // 30 ms in; the last read, 80 ms, for more notes
    ["layout", 100, 30, true], // the last layout, 30 ms for 10 notes: 300 expected
    ["draw", 100, 50, false, "waited"], // never timed, but the wait began a task of its own
    ["layout", 500, 30, true], // 50 ms into that task; five times the last layout's notes: 150 expected
  ];
  for (const [i, [kind, notes, ms, yielded, waited]] of steps.entries()) {
    const before = yields.length;
    if (waited) pace.newTaskBegan();
    await pace.next(kind, notes);
    clock += ms;
    pace.done();
    assert.equal(yields.length > before, yielded, `step ${i}: ${kind} of ${notes} notes`);
  }
});

test("every id in the page's markup is its own: a second one hides from lookups and from assistive technology", () => {
  const markup = readFileSync(new URL("../../preview/web/index.html", import.meta.url), "utf8");
  const ids = [...markup.matchAll(/\sid="([^"]+)"/g)].map((match) => match[1]);
  assert.ok(ids.length > 100);
  assert.deepEqual(ids.filter((id, i) => ids.indexOf(id) !== i), []);
});

test("the page's duration to fit reads every form the command line's --fit reads", async () => {
  const { inputsOf, runInputsOf } = await import("../../preview/web/session.js");
  const { plan } = await import("../../preview/lib/inputs.js");
  const { checkPlan } = await import("../../preview/lib/tempo-plan.js");
  const { parseTimeRuns } = await import("../../preview/lib/music.js");
  // [the field, the frame rate chosen, its seconds]
  const cases = [["25.5s", "", 25.5], ["1:23.5", "", 83.5], ["0:10:30", "", 630], ["1m 30s", "", 90],
    ["00:01:30:00", "25", 90], ["00:00:10:12", "24", 10.5], ["00:01:00;02", "29.97", 1800 * 1001 / 30000]];
  for (const [fit, fps, seconds] of cases) {
    const args = argumentsOf({ ...documented, mode: "fit", fit, fps });
    const checked = await plan(inputsOf(args, null));
    assert.ok(Math.abs(checked.target - seconds) < 1e-9, `${fit} at ${fps}: ${checked.target}`);
    // A later ramp's duration too.
    const later = { ...args, runs: [{ from: "20", to: "22", start: "q=90", fit, "stop-unit": "q", after: "stop" }] };
    const [, run] = checkPlan(runInputsOf(later), { measures: parseTimeRuns("4/4x24") }, "the plan");
    assert.ok(Math.abs(run.target - seconds) < 1e-9, `later ${fit} at ${fps}: ${run.target}`);
  }
  await assert.rejects(plan(inputsOf(argumentsOf({ ...documented, mode: "fit", fit: "00:01:30:00", fps: "" }), null)),
    /needs its frame rate/);
});

test("each dot of the map stands for its record, a carried tempo first", async () => {
  const { dotRecords } = await import("../../preview/web/map.js");
  const starts = [0, 0, 4096, 8192, 12288];
  const rec = (measure, position) => ({ measure, position });
  // A record before the extent, two at one position (the later holds), one after.
  const records = [rec(1, 0), rec(3, 1024), rec(2, 0), rec(3, 1024), rec(4, 0)];
  const at = (...positions) => positions.map((position) => ({ position }));
  const dots = dotRecords(records, starts, [4096, 9216], at(4096, 4096, 9216, 9216));
  assert.deepEqual(dots.map((d) => d.index), [0, 2, 1, 3]);
  assert.deepEqual(dots.map((d) => Boolean(d.carried)), [true, false, false, false]);
  // A record on the extent's start needs no carried dot.
  assert.deepEqual(dotRecords(records, starts, [0, 4096], at(0, 4096)).map((d) => d.index), [0, 2]);
  assert.throws(() => dotRecords(records, starts, [4096, 9216], at(1, 2, 3, 4, 5, 6)), /dots/);
  assert.throws(() => dotRecords(records, starts, [0, 4096], at(0, 0, 4096)), /dots/);
  // The steps of a ramp the score wrote take no dot: the records around them keep theirs.
  const steps = [rec(1, 0), rec(1, 1024), rec(1, 2048), rec(1, 3072), rec(2, 0)];
  assert.deepEqual(dotRecords(steps, starts, [0, 8192], at(0, 4096)).map((d) => d.index), [0, 4]);
});

test("the map's steps and dots are drawn as the command line's SVG draws them, in paths, with one ring to walk them", async () => {
  const { dotsAsPath, nearestDot } = await import("../../preview/web/map.js");
  const { drawnSvg, mapDrawing } = await import("../../preview/lib/tempo-map.js");
  // A record before the map (its tempo carried in as the first dot), two on it, one in a stepped ramp.
  const points = [[0, 134217], [4096, 120000], [6144, 100000], [7168, 90000]];
  const drawing = mapDrawing(points, [4096, 8192], [2048, 8192], null, "measure", { stepped: [{ span: [6144, 8192], label: "steps" }] });
  assert.deepEqual(drawing.dots.map((d) => [d.position, d.value]), [[2048, 134217], [4096, 120000], [6144, 100000]]);
  const { svg: out, centres } = dotsAsPath(drawing);
  assert.deepEqual(centres, drawing.dots.map((d) => [d.x, d.y]));
  // Each centre is where the command line's SVG draws that record's circle.
  const circles = [...drawnSvg(drawing).matchAll(/<circle cx="([-0-9.]+)" cy="([-0-9.]+)"/g)];
  assert.deepEqual(circles.map((m) => [Number(m[1]), Number(m[2])]), centres);
  // Drawn where the circles were: under the stepped bracket, over the tempo line.
  const d = centres.map(([x, y]) => `M${x},${y}h0`).join("");
  assert.ok(out.startsWith(`${drawing.head}<g class="steps" `), out.slice(drawing.head.length, drawing.head.length + 80));
  assert.match(out, new RegExp(`stroke-width="5"[^>]*><path d="${d}"/></g>\n<circle class="cursor" [^>]*tabindex="0"[^>]*/>\n<path class="score-ramp"`));
  assert.equal(out.match(/<circle/g).length, 1);
  assert.ok(out.endsWith(drawing.tail));
  const bare = dotsAsPath({ ...drawing, dots: [] }).svg;
  assert.ok(!bare.includes('class="dots"') && !bare.includes("<circle") && bare.endsWith(drawing.tail), bare);
  // Many records: each step and dot drawn once, in order, as the command
  // line's SVG has them, in paths small enough to paint by pieces.
  const many = Array.from({ length: 150 }, (_, i) => [1024 * i, 60000 + 500 * i]);
  const wide = mapDrawing(many, [0, 150 * 1024], [0, 150 * 1024], null, "measure");
  const group = (svg, name) => [...new RegExp(`<g class="${name}"[^>]*>(.*?)</g>`).exec(svg)[1].matchAll(/<path d="([^"]*)"\/>/g)].map((m) => m[1]);
  const shown = dotsAsPath(wide).svg;
  const [steps, dots] = [group(shown, "steps"), group(shown, "dots")];
  assert.equal(steps.join(" "), /<path d="([^"]*)" fill="none" stroke="#c33"/.exec(drawnSvg(wide))[1]);
  const cliDots = [...drawnSvg(wide).matchAll(/<circle cx="([-0-9.]+)" cy="([-0-9.]+)"/g)].map((m) => `M${Number(m[1])},${Number(m[2])}h0`);
  assert.deepEqual(dots.join(""), cliDots.join(""));
  for (const pieces of [steps, dots]) assert.ok(pieces.length > 1 && pieces.every((p) => p.split("M").length - 1 <= 64), String(pieces.length));
  // [x, y, reach, the dot found]: the nearest within reach, also among dots at one x.
  const near = [[0, 0], [10, 0], [10, 20], [30, 5]];
  for (const [x, y, reach, found] of [[9, 1, 4, 1], [11, 18, 4, 2], [20, 0, 4, -1], [20, 0, 10, 1], [31, 5, 2, 3], [-3, 0, 4, 0]]) {
    assert.equal(nearestDot(near, x, y, reach), found, `${x},${y} within ${reach}`);
  }
});

// What Play sounds, cut from heardSound's answer: three measures of two
// beats (the second slower), a note held over the first barline, two that
// start together, one on the percussion channel in the last measure.
// The score's measure 7 is heard twice, as a one-measure repeat plays it.
const heard = {
  measures: [{ heard: 1, measure: 6, seconds: 0 }, { heard: 2, measure: 7, seconds: 1.25 },
    { heard: 3, measure: 7, seconds: 2.5 }],
  end: 3.5,
  beats: [
    { seconds: 0, heard: 1, measure: 6, accent: true }, { seconds: 0.5, heard: 1, measure: 6, accent: false },
    { seconds: 1.25, heard: 2, measure: 7, accent: true }, { seconds: 1.9, heard: 2, measure: 7, accent: false },
    { seconds: 2.5, heard: 3, measure: 7, accent: true }, { seconds: 3, heard: 3, measure: 7, accent: false },
  ],
  notes: [
    { on: 0, off: 1, key: 60, channel: 0, program: 40, part: 0 }, { on: 1, off: 1.6, key: 62, channel: 0, program: 40, part: 0 },
    { on: 1.25, off: 2.5, key: 64, channel: 0, program: 40, part: 1 }, { on: 1.25, off: 1.9, key: 67, channel: 2, program: 73, part: 2 },
    { on: 2.5, off: 3.5, key: 64, channel: 9, program: 0, part: 3 },
  ],
};

test("the mix: every part, one alone or all but one, by the parts' places in the score", async () => {
  const { mixChoices, mixedNotes } = await import("../../preview/web/mix.js");
  const parts = [{ index: 0, name: "Violin" }, { index: 1, name: "Violin" }, { index: 2, name: "" }, { index: 3, name: "Drums" }];
  assert.deepEqual(mixChoices(parts).map((c) => [c.value, c.label]).slice(0, 5), [["all", "All parts"],
    ["solo:0", "Violin (1) alone"], ["solo:1", "Violin (2) alone"], ["solo:2", "Instrument 3 alone"], ["solo:3", "Drums alone"]]);
  assert.deepEqual(mixChoices(parts).at(-1), { value: "mute:3", label: "All but Drums" });
  assert.deepEqual(mixChoices(parts.slice(0, 1)).map((c) => c.value), ["all"]);
  const keys = (choice) => mixedNotes(heard.notes, choice).map((n) => n.key);
  const cases = [["all", [60, 62, 64, 67, 64]], ["solo:1", [64]], ["solo:2", [67]], ["mute:0", [64, 67, 64]], ["mute:9", [60, 62, 64, 67, 64]]];
  for (const [choice, expected] of cases) assert.deepEqual(keys(choice), expected, choice);
});

test("a passage sounds what was chosen from its first measure on, the count-in before it", async () => {
  const { passage } = await import("../../preview/web/passage.js");
  const round = (xs) => xs.map((x) => Math.round(x * 1000) / 1000);
  const noNotes = { ...heard, notes: [] };
  // [sound, options, clicks sounded, notes' starts, count-in, length]
  const cases = [
    [heard, { first: 2, sounds: "both" }, [0, 0.65, 1.25, 1.75], [0, 0, 1.25], 0, 2.25],
    [heard, { first: 2, sounds: "notes", countIn: true }, [-1.25, -0.6], [0, 0, 1.25], 1.25, 2.25],
    [heard, { first: 2, sounds: "click", countIn: true }, [-1.25, -0.6, 0, 0.65, 1.25, 1.75], [], 1.25, 2.25],
    [heard, { first: 1, sounds: "notes" }, [], [0, 1, 1.25, 1.25, 2.5], 0, 3.5],
    // The last measure counts itself in: it lasts to the end of what is heard.
    [heard, { first: 3, sounds: "both", countIn: true }, [-1, -0.5, 0, 0.5], [0], 1, 1],
    // Meter runs have no notes: the click sounds whatever was chosen.
    [noNotes, { first: 2, sounds: "notes" }, [0, 0.65, 1.25, 1.75], [], 0, 2.25],
  ];
  for (const [sound, options, clicks, notes, countIn, length] of cases) {
    const played = passage(sound, options);
    const what = JSON.stringify(options);
    assert.deepEqual(round(played.clicks.map((c) => c.at)), clicks, what);
    assert.deepEqual(round(played.notes.map((n) => n.at)), notes, what);
    assert.deepEqual(round([played.countIn, played.length]), [countIn, length], what);
    // The playhead follows every beat of the passage, sounded or not.
    assert.equal(played.beats.length, sound.beats.filter((b) => b.heard >= options.first).length, what);
  }
  assert.throws(() => passage(heard, { first: 1, sounds: "all" }), /no sound choice 'all'/);
});

test("a loop plays each pass after the last, the count-in only before the first", async () => {
  const { passage, passEvents } = await import("../../preview/web/passage.js");
  const played = passage(heard, { first: 2, sounds: "both", countIn: true });
  const times = (pass) => passEvents(played, pass).map((e) => `${e.kind}${e.note ? e.note.key : ""}@${e.time.toFixed(2)}`);
  // At one moment: what ends, then the click, then what begins.
  assert.deepEqual(times(0), ["click@0.00", "click@0.65", "click@1.25", "on64@1.25", "on67@1.25", "off67@1.90",
    "click@1.90", "off64@2.50", "click@2.50", "on64@2.50", "click@3.00", "off64@3.50"]);
  // A pass later: the same sounds, one passage length on, no count-in.
  const second = passEvents(played, 1);
  assert.equal(second.filter((e) => e.kind === "click").length, 4);
  assert.deepEqual(second.map((e) => e.time.toFixed(2)),
    passEvents({ ...played, clicks: played.clicks.filter((c) => !c.countIn) }, 0).map((e) => (e.time + 2.25).toFixed(2)));
  // At one moment a note ends before one of its key begins.
  const same = passEvents({ ...played, clicks: [], notes: [
    { at: 0, off: 1, key: 60, channel: 0 }, { at: 1, off: 2, key: 60, channel: 0 }] }, 0);
  assert.deepEqual(same.map((e) => e.kind), ["on", "off", "on", "off"]);
});

test("the measure playing is known from the time played, pass by pass", async () => {
  const { passage, whereAt } = await import("../../preview/web/passage.js");
  const played = passage(heard, { first: 2, sounds: "both", countIn: true });
  // [elapsed seconds (count-in included), loop, pass, heard, measure in the score]
  const cases = [
    [0, false, 0, null, null], [1.2, false, 0, null, null], [1.25, false, 0, 2, 7], [2.4, false, 0, 2, 7],
    [2.5, false, 0, 3, 7], [3.4, false, 0, 3, 7], [3.5, true, 1, 2, 7], [3.5 + 1.3, true, 1, 3, 7],
    [1.25 + 2 * 2.25 + 0.1, true, 2, 2, 7], [4.0, false, 0, 3, 7],
  ];
  for (const [elapsed, loop, pass, heardAt, measure] of cases) {
    const where = whereAt(played, elapsed, loop);
    assert.deepEqual([where.pass, where.heard, where.measure], [pass, heardAt, measure], `${elapsed} s, loop ${loop}`);
  }
});

test("every measure that began since the last frame is announced, in order, across passes", async () => {
  const { passage, whereAt, measuresBegun } = await import("../../preview/web/passage.js");
  const played = passage(heard, { first: 2, sounds: "both", countIn: true });
  const at = (elapsed) => (elapsed === null ? null : whereAt(played, elapsed, true));
  const begun = (from, to) => measuresBegun(played, at(from), at(to)).map((m) => `${m.pass}:${m.heard}@${m.played}`);
  // [last frame's elapsed seconds (null: the first frame), this frame's, what began between]
  const cases = [
    [null, 0.5, []], [null, 1.25, ["0:2@1.25"]], [1.3, 2.4, []], [1.3, 2.6, ["0:3@2.5"]],
    // A late frame: both measures of the passage, then both again a pass on.
    [0.5, 2.6, ["0:2@1.25", "0:3@2.5"]], [2.6, 3.5 + 1.3, ["1:2@3.5", "1:3@4.75"]],
    [1.0, 3.6, ["0:2@1.25", "0:3@2.5", "1:2@3.5"]],
  ];
  for (const [from, to, expected] of cases) assert.deepEqual(begun(from, to), expected, `${from} to ${to}`);
});

// An audio device and its synthesizer, with a clock the test moves and a log
// of every sound handed to them. Its start runs, comes late (40 ms), never
// ends, is refused, or leaves the device suspended.
function fakeDevice(start) {
  const log = [];
  const device = {
    currentTime: 0, sampleRate: 8000, destination: {}, state: "suspended", log,
    resume: async () => {
      await { runs: () => {}, late: () => settle(40), never: () => new Promise(() => {}),
        refuses: () => { throw new Error("NotAllowedError"); }, suspended: () => {} }[start]();
      if (start !== "suspended") device.state = "running";
    },
    close: async () => { log.push(["closed"]); },
    createGain: () => ({ connect() {}, disconnect() { log.push(["cut"]); } }),
    createBuffer: () => ({ copyToChannel() {} }),
    createBufferSource: () => ({ connect() {}, start(t) { log.push(["click", t]); }, stop() { log.push(["unclick"]); } }),
    synth: {
      // Channel 0 as an earlier playing may have left it: on the drum kit.
      midiChannels: Array.from({ length: 16 }, (_, c) => ({ isDrum: c === 9 || c === 0, setDrums(on) { this.isDrum = on; } })),
      connect() {}, disconnect() {}, programChange(c, p) { log.push(["program", c, p]); },
      volumes: [],
      controllerChange(c, cc, v, options) {
        if (cc === 120) log.push(["silence", c, options.time]);
        if (cc === 7) device.synth.volumes[c] = v;
      },
      // A note struck at once (no time) is one struck to make its instrument ready.
      noteOn(c, k, v, options) { log.push(options ? ["on", k, options.time] : ["ready", c, k, v]); },
      noteOff(c, k, { time }) { log.push(["off", k, time]); },
      stopAll() { log.push(["stopAll"]); },
    },
  };
  return device;
}

const settle = (ms = 60) => new Promise((resolve) => setTimeout(resolve, ms));
const count = (log, kind) => log.filter((e) => e[0] === kind).length;

// A player on fake devices (a new one each time it asks), stopped when the
// test ends whatever happens; what it tells the page, in `said`.
async function fakePlayer(t, start = "runs") {
  const { SoundPlayer } = await import("../../preview/web/sound.js");
  const devices = [];
  const player = new SoundPlayer({ makeContext: () => devices[devices.push(fakeDevice(start)) - 1],
    loadSynth: async (device) => device.synth, startSeconds: 0.05 });
  t.after(() => player.stop());
  const said = [];
  const handlers = { started: () => said.push("started"), ended: () => said.push("ended"),
    failed: (reason) => said.push(`failed: ${reason}`) };
  return { player, devices, said, handlers };
}

test("Play: one playback at a time; Stop ends it, also while it starts; a device that will not start is named and let go", async (t) => {
  const { passage } = await import("../../preview/web/passage.js");
  const played = passage(heard, { first: 2, sounds: "both" });
  // [the device's start, when Stop is pressed (ms after Play; null: never), what the page is told, clicks handed over]
  const cases = [
    ["runs", null, ["started"], 1], // the second click is more than a lookahead away
    ["runs", 30, ["started", "ended"], 1],
    ["late", 5, ["ended"], 0], // nothing follows a start that was stopped
    ["never", 5, ["ended"], 0], // nor a failure
    ["never", null, ["failed: the audio device did not start within 0.05 seconds"], 0],
    ["refuses", null, ["failed: NotAllowedError"], 0],
    ["suspended", null, ["failed: the audio device did not start"], 0],
  ];
  for (const [start, stopAt, told, clicks] of cases) {
    const { player, devices, said, handlers } = await fakePlayer(t, start);
    const label = `${start}, Stop at ${stopAt}`;
    assert.equal(player.play(Promise.resolve(played), handlers), true, label);
    assert.equal(player.play(Promise.resolve(played), handlers), false, `${label}: a second Play while one is on`);
    if (stopAt !== null) {
      await settle(stopAt);
      player.stop();
      player.stop();
    }
    await settle(120);
    const { log } = devices[0];
    assert.deepEqual(said, told, label);
    assert.deepEqual([count(log, "click"), count(log, "unclick")], [clicks, stopAt === null ? 0 : clicks], label);
    assert.equal(player.busy, told.join() === "started", label);
    if (told[0] === "ended") assert.deepEqual(log, [], label);
    if (told[0].startsWith("failed")) {
      assert.equal(count(log, "closed"), 1, `${label}: the device that would not start is let go`);
      assert.equal(player.play(played, handlers), true, `${label}: Play again`);
      assert.equal(devices.length, 2, `${label}: a new device asked`);
    }
    player.stop();
  }
});

test("Play hands each sound to the audio clock once; Stop silences what was queued, and the next playing starts after it", async (t) => {
  const { passage } = await import("../../preview/web/passage.js");
  const played = passage(heard, { first: 2, sounds: "both" });
  const { player, devices, said, handlers } = await fakePlayer(t);
  player.play(played, handlers);
  await settle();
  const [device] = devices;
  // The first beat's click and both notes, 0.05 s on.
  assert.deepEqual(device.log.filter((e) => e[0] !== "program").map((e) => [e[0], e.at(-1)]),
    [["click", 0.05], ["on", 0.05], ["on", 0.05]]);
  // Each channel its program, the percussion channel the drum kit and no other.
  assert.deepEqual(device.log.filter((e) => e[0] === "program"), [["program", 0, 40], ["program", 2, 73], ["program", 9, 0]]);
  assert.deepEqual(device.synth.midiChannels.map((c, i) => c.isDrum && i), [...Array(9).fill(false), 9, ...Array(6).fill(false)]);
  player.stop();
  assert.deepEqual(said, ["started", "ended"]);
  assert.deepEqual([count(device.log, "cut"), count(device.log, "stopAll"), count(device.log, "silence")], [1, 1, 16]);
  const silent = device.log.find((e) => e[0] === "silence")[2];
  const before = device.log.length;
  player.play(played, handlers);
  await settle();
  const again = device.log.slice(before).find((e) => e[0] === "click")[1];
  assert.ok(again > silent, `${again} after ${silent}`);
});

test("each part's instrument is made ready once, silently, and not while a playback is on", async (t) => {
  const { passage } = await import("../../preview/web/passage.js");
  const { player, devices, handlers } = await fakePlayer(t);
  const parts = [{ channel: 0, program: 40, low: 60, high: 62 }, { channel: 9, program: 0, low: 36, high: 37 }];
  await player.warm(parts);
  await player.warm(parts);
  const [device] = devices;
  assert.deepEqual(device.log.filter((e) => e[0] === "ready" || e[0] === "program"), [["program", 0, 40],
    ["ready", 0, 60, 1], ["ready", 0, 61, 1], ["ready", 0, 62, 1], ["program", 9, 0], ["ready", 9, 36, 1], ["ready", 9, 37, 1]]);
  assert.deepEqual([device.synth.volumes[0], device.synth.volumes[9], count(device.log, "stopAll")], [0, 0, 2]);
  assert.deepEqual([device.synth.midiChannels[0].isDrum, device.synth.midiChannels[9].isDrum], [false, true]);
  player.play(passage(heard, { first: 2, sounds: "both" }), handlers);
  await settle();
  const before = device.log.length;
  await player.warm([{ channel: 2, program: 73, low: 70, high: 72 }]);
  assert.equal(device.log.slice(before).filter((e) => e[0] === "ready").length, 0, "made ready while playing");
  // Play sets each channel's volume again.
  assert.equal(device.synth.volumes[0], 100);
  player.stop();
});

test("a loop hands the clock each pass after the last until Stop; without it the passage ends by itself", async (t) => {
  const { passage } = await import("../../preview/web/passage.js");
  const played = passage({ ...heard, notes: [] }, { first: 3, sounds: "click", countIn: true });
  for (const loop of [true, false]) {
    const { player, devices, said, handlers } = await fakePlayer(t);
    player.play(played, { loop, ...handlers });
    const [device] = devices;
    for (let time = 0; time <= 4; time += 0.1) {
      device.currentTime = time;
      await settle(30);
    }
    const clicks = device.log.filter((e) => e[0] === "click").map((e) => Math.round(e[1] * 100) / 100);
    // Count-in at 0.05 and 0.55, then the measure each second from 1.05.
    const expected = loop ? [0.05, 0.55, 1.05, 1.55, 2.05, 2.55, 3.05, 3.55, 4.05] : [0.05, 0.55, 1.05, 1.55];
    assert.deepEqual(clicks, expected, `loop ${loop}`);
    assert.deepEqual(said, loop ? ["started"] : ["started", "ended"]);
    assert.equal(player.busy, loop);
    player.stop();
  }
});

// --- the Worker's session: a score read once ------------------------------

// The page's downloads are held against the command line's files in the
// browser cases; here, that previews and downloads reuse the one read.
test("a score is read once: every edit and download reuses that read", async () => {
  const { readFileSync } = await import("node:fs");
  const { Session } = await import("../../preview/web/session.js");
  const { loadPlugin } = await import("../../preview/node/plugin-node.js");
  const { tools } = await import("../../preview/node/xml-tools.js");
  const file = new URL("../preview/scores/pickup-meters-parts.musicxml", import.meta.url);
  let parsed = 0;
  class CountingParser extends tools.DOMParser {
    parseFromString(...args) { parsed += 1; return super.parseFromString(...args); }
  }
  const session = new Session(await loadPlugin(), { ...tools, DOMParser: CountingParser });
  const { measures } = await session.open("pickup-meters-parts.musicxml", new Uint8Array(readFileSync(file)));
  // [region, records past the score's end]: the last ends the score, and the start tempo after it has no measure
  for (const [id, from, to, past] of [[1, "2:2.5", "5:1.5", 0], [2, "1", String(measures), 1]]) {
    const shown = await session.preview({ from, to, start: "q=100", stop: "q=70", after: "start" }, true, id);
    const first = await session.musicxml(id);
    const again = await session.musicxml(id);
    assert.deepEqual(again.bytes, first.bytes, "a second download, the same");
    assert.deepEqual([shown.pastScore, first.pastScore], [past, past]);
    // Each part with notes is heard under its place in the score, for the mix.
    const { listen } = session.sound(id);
    assert.deepEqual([...new Set(listen.notes.map((n) => n.part))].sort(), shown.soundingParts.map((p) => p.index));
  }
  assert.equal(parsed, 1, "one parse for every preview and download");
  // Each sound is made alone, when asked for: Play makes no file.
  const isMidi = (bytes) => new TextDecoder().decode(bytes.subarray(0, 4)) === "MThd";
  const sounds = { listen: (s) => s.notes.length > 0 && s.end > 0, beats: (s) => s.length > 0, beatsCsv: (s) => s.startsWith("seconds"),
    midi: isMidi, withNotes: isMidi, notesOnly: isMidi };
  for (const [part, made] of Object.entries(sounds)) {
    const sound = session.sound(2, part);
    assert.deepEqual(Object.keys(sound), [part]);
    assert.ok(made(sound[part]), part);
  }
  assert.ok(session.sound(2, "withNotes").withNotes.length > session.sound(2, "midi").midi.length, "the notes are in");
  await assert.rejects(session.musicxml(1), /replaced/, "a download asked of a preview since replaced");
});

test("a plan, a shape and hit points are shown in the first ramp's beat unit, as a single ramp is", async () => {
  const { Session } = await import("../../preview/web/session.js");
  const { loadPlugin } = await import("../../preview/node/plugin-node.js");
  const { tools } = await import("../../preview/node/xml-tools.js");
  const session = new Session(await loadPlugin(), tools);
  const ramp = { time: "6/8x12", from: "5", to: "7", start: "q.=80", stop: "q.=60", after: "start" };
  const kinds = {
    single: ramp,
    plan: { ...ramp, runs: [{ from: "9", to: "11", start: "q.=60", stop: "q.=90", after: "start" }] },
    shaped: { ...ramp, shape: "natural" },
    hits: { ...ramp, stop: undefined, hit: ["8=12s"] },
  };
  const begins = [];
  for (const [kind, args] of Object.entries(kinds)) {
    const shown = await session.preview(args, false, 1);
    assert.equal(shown.unit, "dotted quarter", kind);
    assert.match(shown.drawing.head + shown.drawing.tail, /tempo \(dotted quarter = BPM\)/, kind);
    assert.match(shown.records[0].tempo, /^dotted quarter = /, kind);
    begins.push(shown.extent[0]);
  }
  // Each map begins where the single ramp's does, some measures ahead of the ramp (a 6/8 measure: 3,072 units).
  assert.ok(begins[0] < 4 * 3072, String(begins[0]));
  assert.deepEqual(begins, begins.map(() => begins[0]));
});

test("a region is kept for a score only inside it, and the stop tempo kept apart from a start the score gives", async () => {
  const { regionInside, stopFor } = await import("../../preview/web/defaults.js");
  // [From, To, inside a 15-measure score]
  const regions = [["12", "19", false], ["1", "15", true], ["15", "", true], ["0", "3", false], ["", "4", false],
    ["3:2", "5", false], [" 2 ", "4", true]];
  for (const [fromMeasure, toMeasure, inside] of regions) {
    assert.equal(regionInside({ fromMeasure, toMeasure }, 15), inside, `${fromMeasure}-${toMeasure}`);
  }
  // [start bpm, stop bpm]: the page's own share of it, never the start itself, within the dialog's range.
  for (const [start, stop] of [[120, 72], [72, 43], [30, 20], [20, 40], [600, 360]]) {
    assert.deepEqual(stopFor({ unit: 2, dotted: true, bpm: start }), { unit: 2, dotted: true, bpm: stop }, String(start));
  }
});

test("the passage's WAV is cut where the passage starts, after its count-in, its clicks where Play sounds them", () => {
  const rate = 8000;
  const heard = [Float32Array.from({ length: 3 * rate }, (_, i) => i), new Float32Array(3 * rate).fill(-1)];
  const clicks = [{ at: -0.5, accent: true }, { at: 0, accent: true }, { at: 0.25, accent: false }];
  const [left, right] = passageChannels(heard, rate, { start: 1.25, lead: 0.5, clicks, level: 0.5 });
  // The count-in's half second, then the heard part from 1.25 s on: 2.25 s in all.
  assert.equal(left.length, 2.25 * rate);
  const wave = mixClicks(clicks.map((c) => ({ ...c, seconds: c.at + 0.5 })), rate);
  for (const at of [0, 10, 0.5 * rate - 1, 0.5 * rate, 0.75 * rate + 3, 2.25 * rate - 1]) {
    const under = at < 0.5 * rate ? [0, 0] : [1.25 * rate + at - 0.5 * rate, -1];
    const click = 0.5 * (wave[at] ?? 0);
    assert.ok(Math.abs(left[at] - (under[0] + click)) < 1e-3 && Math.abs(right[at] - (under[1] + click)) < 1e-6, `sample ${at}`);
  }
  assert.ok(Math.abs(left[5]) > 0.01 && Math.abs(left[0.5 * rate + 5] - 1.25 * rate - 5) > 0.01, "the clicks sound");
});

test("the tempo lane's steps: each measure from the tempo in force at its start, a record where it stands", async () => {
  const { laneSteps } = await import("../../preview/web/tempo-lane.js");
  const { DEFAULT_VALUE } = await import("../../preview/lib/timing.js");
  const starts = [0, 0, 4096, 8192, 11264, 15360];
  const records = [
    { measure: 2, position: 0, value: 100 }, { measure: 2, position: 2048, value: 90 },
    // Two at one place: the later holds.
    { measure: 3, position: 1024, value: 80 }, { measure: 3, position: 1024, value: 70 },
    { measure: 4, position: 3072, value: 60 },
    // Past the score's last measure: no lane has it.
    { measure: 6, position: 0, value: 50 },
  ];
  assert.deepEqual(laneSteps(records, starts, 5), [
    [[0, DEFAULT_VALUE]], [[0, 100], [0.5, 90]], [[0, 90], [1 / 3, 70]], [[0, 70], [0.75, 60]], [[0, 60]],
  ]);
  // A record at a measure's start is its first step, not a step inside the one before.
  assert.deepEqual(laneSteps([{ measure: 2, position: 0, value: 7 }], starts, 2), [[[0, DEFAULT_VALUE]], [[0, 7]]]);
});

test("the score's view: the parts drawn, the zoom, the order systems are drawn in, a drag at the edge", async () => {
  const { boxWithin, drawOrder, edgeScroll, runOf, shownParts, zoomFor } = await import("../../preview/web/score-layout.js");
  // [mode, parts in the score, chosen, drawn]
  for (const [mode, count, chosen, drawn] of [["all", 3, [], [0, 1, 2]], ["short", 22, [], [0, 21]], ["short", 2, [], [0, 1]],
    ["chosen", 4, [3, 1, 9], [1, 3]], ["chosen", 2, [], [0, 1]]]) {
    assert.deepEqual(shownParts(mode, count, chosen), drawn, `${mode} of ${count}`);
  }
  // The region's system first, then those after it, then those before.
  assert.deepEqual(drawOrder(5, 3), [3, 4, 0, 1, 2]);
  assert.deepEqual(drawOrder(3, 7), [2, 0, 1]);
  assert.deepEqual(drawOrder(0, 0), []);
  const runs = [[1, 4], [5, 9], [10, 10], [11, 16]];
  assert.deepEqual([1, 4, 5, 9, 10, 11, 16].map((m) => runOf(runs, m)), [0, 0, 1, 1, 2, 3, 3]);
  // Fitted: one staff at the width's zoom; 23 staves made small, but not
  // below legible; a zoom chosen is kept.
  assert.equal(zoomFor("fit", 1, 900, 400), 1);
  assert.equal(zoomFor("fit", 2, 450, 400), 0.5);
  assert.ok(Math.abs(zoomFor("fit", 8, 900, 420) - 420 / 840) < 1e-9);
  assert.equal(zoomFor("fit", 23, 900, 400), 0.3);
  assert.equal(zoomFor("1.25", 23, 900, 400), 1.25);
  assert.deepEqual(boxWithin({ x: 1, y: 2, width: 3, height: 900 }, 400), { x: 1, y: 2, width: 3, height: 400 });
  assert.deepEqual(boxWithin({ x: 1, y: 2, width: 3, height: 90 }, 400).height, 90);
  // A view from 100 to 500: still inside, scrolling up near the top,
  // faster past it, down near the bottom.
  assert.deepEqual([300, 120, 100, 20, 480, 600].map((y) => edgeScroll(y, 100, 500)), [0, -9, -24, -24, 9, 24]);
});

test("the measure strip: a box under a point, keys, and each measure's landmarks as drawn and as read", async () => {
  const { BOX_WIDTH, ROW_HEIGHT, marksByMeasure, marksWords, measureAt, perRow, stripStep } = await import("../../preview/web/strip.js");
  const width = BOX_WIDTH * 10 + 5;
  assert.equal(perRow(width), 10);
  assert.equal(perRow(3), 1);
  // [x, y, count, measure]: rows of ten, the last row short, past the boxes none.
  for (const [x, y, count, measure] of [[0, 0, 32767, 1], [BOX_WIDTH * 9 + 1, 0, 32767, 10], [1, ROW_HEIGHT, 32767, 11],
    [BOX_WIDTH * 3, ROW_HEIGHT * 3276, 32767, 32764], [BOX_WIDTH * 7, ROW_HEIGHT * 3276, 32767, null],
    [BOX_WIDTH * 10 + 1, 0, 100, null], [-1, 0, 100, null]]) {
    assert.equal(measureAt(x, y, width, count), measure, `${x},${y}`);
  }
  // [at, key, measure]: a row is ten, a page four rows, within 1..95.
  for (const [at, key, to] of [[5, "ArrowRight", 6], [1, "ArrowLeft", 1], [5, "ArrowDown", 15], [90, "ArrowDown", 95],
    [50, "PageUp", 10], [50, "PageDown", 90], [50, "End", 95], [50, "Home", 1], [50, "a", null]]) {
    assert.equal(stripStep(at, key, 95, 10), to, `${at} ${key}`);
  }
  const marks = marksByMeasure({
    rehearsals: [[3, "A"], [3, "1"]], meters: [[1, "4/4"], [3, "3/4"]], tempos: [[1, "Allegro q = 120"]],
    repeats: [[2, "forward", ""], [4, "ending", "1, 2."], [4, "backward", ""]],
  });
  assert.deepEqual([...marks.keys()].sort(), [1, 2, 3, 4]);
  assert.deepEqual(marks.get(3), { rehearsal: "A 1", meter: "3/4" });
  assert.equal(marksWords(marks.get(1)), "4/4, Allegro q = 120");
  assert.equal(marksWords(marks.get(4)), "ending 1, 2., repeat ends");
  assert.equal(marksWords(marks.get(2)), "repeat starts");
  assert.equal(marksWords(undefined), "");
});

// The drawing is cut from what the score reader decoded: a piece of a file
// in another encoding than UTF-8 holds the same text.
test("a piece to draw holds the text the score reader decoded, in the encoding the file declares", async () => {
  const { Excerpts } = await import("../../preview/lib/excerpt.js");
  const { parseScoreDocument } = await import("../../preview/lib/musicxml.js");
  const { tools } = await import("../../preview/node/xml-tools.js");
  const score = '<score-partwise><part-list><score-part id="P1"><part-name>Für Elise</part-name></score-part></part-list>'
    + '<part id="P1"><measure number="1"><attributes><divisions>1</divisions><time><beats>1</beats><beat-type>4</beat-type>'
    + "</time></attributes><note><rest/><duration>1</duration></note></measure></part></score-partwise>";
  const utf16 = (text) => new Uint8Array([...text].flatMap((c) => [c.charCodeAt(0) & 0xff, c.charCodeAt(0) >> 8]));
  const latin = `<?xml version="1.0" encoding="ISO-8859-1"?>${score}`;
  for (const [what, bytes] of [["ISO-8859-1 declared", Uint8Array.from(latin, (c) => c.charCodeAt(0))],
    ["UTF-16LE, no byte order mark", utf16(`<?xml version="1.0"?>${score}`)], ["UTF-8", new TextEncoder().encode(score)]]) {
    const pieces = new Excerpts(await parseScoreDocument(bytes, "elise.musicxml", tools), tools.XMLSerializer);
    assert.match(pieces.text({ from: 1, to: 1 }), /<part-name>Für Elise<\/part-name>/, what);
  }
});

// The notation library fails on some pieces of a score that names no clef.
test("a piece of a score that names no clef carries the one assumed, after the measure's own opening attributes", async () => {
  const { Excerpts } = await import("../../preview/lib/excerpt.js");
  const { parseScoreDocument } = await import("../../preview/lib/musicxml.js");
  const { tools } = await import("../../preview/node/xml-tools.js");
  const note = (sound) => `<note>${sound}<duration>1</duration><type>quarter</type></note>`;
  const part = (id, attributes, sound) => `<part id="${id}">${[1, 2].map((n) => `<measure number="${n}">`
    + `${n === 1 ? `<attributes><divisions>1</divisions>${attributes}</attributes>` : ""}${note(sound)}</measure>`).join("")}</part>`;
  const pitch = "<pitch><step>C</step><octave>5</octave></pitch>";
  const score = "<score-partwise><part-list>" + ["P1", "P2", "P3"].map((id) => `<score-part id="${id}"><part-name>${id}</part-name></score-part>`).join("")
    + `</part-list>${part("P1", "", pitch)}${part("P2", "<staves>2</staves><clef number=\"2\"><sign>F</sign><line>4</line></clef>", pitch)}`
    + `${part("P3", "", "<unpitched><display-step>C</display-step><display-octave>5</display-octave></unpitched>")}</score-partwise>`;
  const pieces = new Excerpts(await parseScoreDocument(new TextEncoder().encode(score), "clefless.musicxml", tools), tools.XMLSerializer);
  const opening = (from, index) => pieces.text({ from, to: 2, parts: [index] }).match(/<measure [^>]*>(.*?)<note>/)[1];
  // [piece's first measure, part, what opens it]
  const cases = [
    [1, 0, "<attributes><divisions>1</divisions></attributes><attributes><clef><sign>G</sign><line>2</line></clef></attributes>"],
    [1, 1, '<attributes><divisions>1</divisions><staves>2</staves><clef number="2"><sign>F</sign><line>4</line></clef></attributes>'
      + '<attributes><clef number="1"><sign>G</sign><line>2</line></clef></attributes>'],
    [2, 2, "<attributes><divisions>1</divisions></attributes><attributes><clef><sign>percussion</sign></clef></attributes>"],
  ];
  for (const [from, index, expected] of cases) assert.equal(opening(from, index), expected, `part ${index + 1} from ${from}`);
});
