// The dialog as the scripted user fills it, run by the plug-in's own code:
// the ramp it writes starts and ends with the tempos entered, and a run in
// which the plug-in did not take them is never taken for a written ramp.
import { test } from "node:test";
import assert from "node:assert/strict";

import { THROUGH_MEASURE_END as END, parseTempo, parseTimeRuns, tempoValue } from "../lib/music.js";
import { RunnerError, checkRampsWritten, rampScenario, stopValueFromActions } from "../lib/scenario.js";
import { runScenario } from "./run-plugin.js";

const MEASURES = parseTimeRuns("4/4x8");

function records(report, measure, position) {
    return report.tempo.filter((r) => r[0] === measure && r[1] === position).map((r) => r[2]);
}

test("the plug-in writes the ramp between the tempos entered, and after it the action chosen", () => {
    const cases = [
        // start, stop, after, where the record after the ramp goes, its tempo
        ["h.=40", "e=200", "stop", [6, 0], "stop"],
        ["e.=180", "w=30", "start", [6, 0], "start"],
        ["s=600", "q.=20", "none", [5, 4095], "stop"],
    ];
    for (const [startText, stopText, after, [measure, position], which] of cases) {
        const start = parseTempo(startText, "--start");
        const stop = parseTempo(stopText, "--stop");
        const scenario = rampScenario(MEASURES, [[1, 0, 1000]], [3, 0, 5, END], start, stop, after);
        const report = runScenario(scenario);
        checkRampsWritten(report);
        const label = `${startText} to ${stopText}, ${after}`;
        assert.deepEqual(records(report, 1, 0), [1000], label);
        assert.deepEqual(records(report, 3, 0), [tempoValue(start)], label);
        assert.equal(records(report, measure, position).at(-1), tempoValue(which === "stop" ? stop : start), label);
        assert.equal(stopValueFromActions(scenario.invocations[0]), tempoValue(stop), label);
    }
});

test("a run in which the plug-in did not write the ramp is refused", () => {
    const q120 = parseTempo("q=120", "--start");
    const ramp = rampScenario(MEASURES, [], [2, 0, 3, END], q120, parseTempo("q=72", "--stop"), "stop");
    const cases = [
        // the host under another name: the module refuses to load
        [{ ...ramp, host: { name: "OTHER.EXE" } }, "the plug-in did not load"],
        // equal tempos: the dialog says so in a message box
        [rampScenario(MEASURES, [], [2, 0, 3, END], q120, parseTempo("h=60", "--stop"), "stop"), 'the plug-in said "'],
        // the user never clicks OK
        [{ ...ramp, invocations: [{ ...ramp.invocations[0], user: ramp.invocations[0].user.slice(0, -1) }] },
            "the dialog did not take the entries"],
    ];
    for (const [scenario, expected] of cases) {
        const report = runScenario(scenario);
        assert.throws(() => checkRampsWritten(report), (error) => error instanceof RunnerError
            && error.message.startsWith(expected), expected);
    }
    assert.doesNotThrow(() => checkRampsWritten(runScenario(ramp)));
});

// The plug-in clears a region measure by measure: a record past the end of a
// measure that the region runs through is inside too.
function isInRegion([sm, sp, em, ep], measure, position) {
    if (measure < sm || measure > em) return false;
    return (measure !== sm || position >= sp) && (measure !== em || position <= ep);
}

test("the marks inside a region are the ones the plug-in clears", () => {
    const measures = parseTimeRuns("4/4x6");
    const positions = [0, 999, 1000, 1001, 1999, 2000, 2001, 4095, 5000];
    const existing = [];
    for (let measure = 1; measure <= 5; measure += 1) {
        for (const position of positions) existing.push([measure, position, 1 + existing.length]); // no tempo a ramp writes
    }
    const start = parseTempo("q=100", "--start"), stop = parseTempo("q=80", "--stop");
    for (const region of [[2, 1000, 4, 2000], [2, 1000, 2, 1999], [3, 0, 4, END], [1, 4095, 5, 0]]) {
        const report = runScenario(rampScenario(measures, existing, region, start, stop, "none"));
        checkRampsWritten(report);
        const kept = report.tempo.filter((r) => r[2] <= existing.length).map((r) => r.slice(0, 3));
        const expected = existing.filter(([m, p]) => !isInRegion(region, m, p));
        assert.deepEqual(kept, expected, `region ${region}`);
        assert.ok(kept.length < existing.length, `region ${region} clears some`);
    }
});
