// A plan of runs: the records the plug-in leaves after two overlapping runs
// are those of the same two invocations written out for the scenario runner;
// every kind of malformed plan is refused with one line naming the run and
// the field.
import { test } from "node:test";
import assert from "node:assert/strict";
import { InputError } from "../lib/music.js";
import { readMeasures } from "../lib/inputs.js";
import { checkPlan, planLines, readPlanText, runPlan } from "../lib/tempo-plan.js";
import { loadPlugin } from "../node/plugin-node.js";
import { runScenario } from "./run-plugin.js";

const WHERE = "--plan plan.json";
const THROUGH = 2147483647;

// The dialog as the scenario runner's contract numbers its controls: start
// units 102-106, Dotted 109, tempo 111; stop 122-126, 129, 131; after
// 142-144; OK 1.
function invocation(region, [startUnit, startDotted, startBpm], [stopUnit, stopDotted, stopBpm], afterControl) {
    const radios = (first, chosen) => [0, 1, 2, 3, 4].map((i) => ({ check: first + i, value: Number(i === chosen) }));
    return {
        region,
        user: [...radios(102, startUnit), { check: 109, value: startDotted }, { set: 111, value: startBpm },
            ...radios(122, stopUnit), { check: 129, value: stopDotted }, { set: 131, value: stopBpm },
            ...[142, 143, 144].map((control) => ({ check: control, value: Number(control === afterControl) })), { click: 1 }],
    };
}

async function planned(runs, time = "4/4x24") {
    const { score } = await readMeasures({ time });
    return runPlan({ score, source: null, runs: checkPlan(readPlanText(JSON.stringify({ runs }), WHERE), score, WHERE) },
        await loadPlugin(), { svg: "map.svg", midi: "plan.mid" });
}

test("two overlapping runs leave the records of those two invocations, the later rewriting the earlier", async () => {
    const result = await planned([
        { from: "5", to: "12", start: "q=120", stop: "q=72", after: "stop" },
        { from: "9:3", to: 16, start: "e.=90", stop: "h=50", after: "start" },
    ]);
    const first = invocation([5, 0, 12, THROUGH], [2, 0, 120], [2, 0, 72], 143);
    const second = invocation([9, 2048, 16, THROUGH], [1, 1, 90], [3, 0, 50], 144);
    const both = runScenario({ measures: [[24, 4096]], invocations: [first, second] });
    assert.deepEqual(result.records, both.tempo);
    const alone = runScenario({ measures: [[24, 4096]], invocations: [first] });
    assert.notDeepEqual(alone.tempo.filter(([m]) => m >= 10), both.tempo.filter(([m]) => m >= 10));

    const lines = planLines(result);
    const finale = lines.slice(lines.findIndex((text) => text.startsWith("In Finale")));
    assert.deepEqual(finale.filter((text) => /Run \d|Start:|Stop:|Action/.test(text)), [
        "  Run 1: select measure 5 through the end of measure 12, choose Plug-ins > Zorv Tempo [v1.06]..., and enter",
        "    Start:  Quarter, Dotted off, = 120", "    Stop:   Quarter, Dotted off, = 72",
        "    Action directly after selection: Insert Stop Tempo",
        "  Run 2: select measure 9, beat 3 through the end of measure 16, choose Plug-ins > Zorv Tempo [v1.06]..., and enter",
        "    Start:  8th, Dotted on, = 90", "    Stop:   Half, Dotted off, = 50",
        "    Action directly after selection: Insert Start Tempo",
    ]);
    assert.ok(lines.includes("Run 1, measure 5 through the end of measure 12 (run 2 rewrote part of it):"), lines.join("\n"));
    // Each run shaded and named on the map.
    assert.equal((result.svg.match(/<rect [^>]*fill="#(dbe9f6|e8e0f4)"/g) ?? []).length, 2);
    assert.ok(result.svg.includes(">run 1</text>") && result.svg.includes(">run 2</text>"));
});

test("a run fitted to a duration in a plan plays its region for that duration", async () => {
    const result = await planned([
        { from: "3", to: "10", start: "q=96", stop: "q=132", after: "stop" },
        { from: "11", to: "18", start: "q=132", fit: "0:19", "stop-unit": "e", after: "none" },
    ]);
    const [, fit] = result.fits;
    assert.equal(fit.stopUnit.unit, 1);
    assert.equal(result.header.runs[1].stop.bpm, fit.bpm);
    assert.ok(Math.abs(result.summaries[1].writtenS - 19) < 0.1, `${result.summaries[1].writtenS}`);
});

test("a malformed plan gets one line naming the run and the field", async () => {
    const { score } = await readMeasures({ time: "4/4x20" });
    const good = { from: "2", to: "5", start: "q=120", stop: "q=72" };
    const cases = [
        ["{runs: []}", /^--plan plan\.json: not a plan: /],
        ["[]", /^--plan plan\.json: a plan is an object whose "runs" lists the runs/],
        ['{"runs": {}}', /^--plan plan\.json: a plan is an object whose "runs"/],
        ['{"runs": [], "tempo": 1}', /^--plan plan\.json: unknown field 'tempo' \(a plan holds "runs"\)$/],
        ['{"runs": []}', /^--plan plan\.json: the plan has no runs$/],
        [JSON.stringify({ runs: Array(1001).fill(good) }), /^--plan plan\.json: 1,001 runs, more than the 1,000/],
        [JSON.stringify({ runs: [good, "2-5"] }), /^--plan plan\.json: run 2 is not an object/],
        [JSON.stringify({ runs: [{ ...good, form: "3" }] }), /^--plan plan\.json: run 1: unknown field 'form' \(use from, to,/],
        [JSON.stringify({ runs: [good, { ...good, stop: ["q", 72] }] }), /^--plan plan\.json: run 2, stop: write the value as/],
        [JSON.stringify({ runs: [good, { ...good, to: undefined }] }), /^--plan plan\.json: run 2 has no 'to'$/],
        [JSON.stringify({ runs: [{ ...good, stop: undefined }] }), /^--plan plan\.json: run 1 needs 'stop' or 'fit'$/],
        [JSON.stringify({ runs: [{ ...good, fit: "20" }] }), /^--plan plan\.json: run 1 has both 'stop' and 'fit'; give one$/],
        [JSON.stringify({ runs: [good, { ...good, from: "2:5" }] }),
            /^--plan plan\.json: run 2, from 2:5: measure 2 runs from beat 1 to its end at beat 5 \(a beat is a quarter\)$/],
        [JSON.stringify({ runs: [good, { ...good, to: "21" }] }), /^--plan plan\.json: run 2, to 21: measure 21 is outside the score/],
        [JSON.stringify({ runs: [good, good, { ...good, stop: "q=7x" }] }), /^--plan plan\.json: run 3, stop q=7x: '7x' is not a whole number/],
        [JSON.stringify({ runs: [{ ...good, stop: "h=60" }] }), /^--plan plan\.json: run 1, stop h=60: the start tempo quarter = 120 and/],
        [JSON.stringify({ runs: [{ ...good, stop: undefined, fit: "soon" }] }), /^--plan plan\.json: run 1, fit: 'soon' is not a duration/],
        [JSON.stringify({ runs: [{ ...good, stop: undefined, fit: 9, "stop-unit": "x" }] }),
            /^--plan plan\.json: run 1, stop-unit: unknown beat unit 'x'/],
        [JSON.stringify({ runs: [{ ...good, after: "later" }] }), /^--plan plan\.json: run 1, after: 'later' is no action directly after/],
    ];
    for (const [text, line] of cases) {
        assert.throws(() => checkPlan(readPlanText(text, WHERE), score, WHERE), (error) => {
            assert.ok(error instanceof InputError, error.stack);
            assert.match(error.message, line);
            assert.doesNotMatch(error.message, /\n/);
            return true;
        }, text.slice(0, 80));
    }
});
