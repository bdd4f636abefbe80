// The preview and the demo's report of a run print, write and refuse exactly
// what they did for each recorded case (tests/preview/expected/cases.json):
// every line of stdout and stderr, the exit status, and the SVG, MIDI and
// beat-time files byte for byte.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import {
    copyFileSync, existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync,
} from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";
import { fileURLToPath } from "node:url";
import { runScenario } from "./run-plugin.js";

const ROOT = fileURLToPath(new URL("../..", import.meta.url));
const EXPECTED = join(ROOT, "tests", "preview", "expected");
const SCORES = join(ROOT, "tests", "preview", "scores");
const PLANS = join(ROOT, "tests", "preview", "plans");
const CASES = JSON.parse(readFileSync(join(EXPECTED, "cases.json"), "utf8"));

function expected(name, file) {
    return readFileSync(join(EXPECTED, name, file));
}

function inFolder(work) {
    const folder = mkdtempSync(join(tmpdir(), "zorv-golden-"));
    try {
        return work(folder);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

function assertSameRun(name, done, folder, files) {
    assert.equal(done.stdout, expected(name, "stdout").toString(), `${name}: stdout`);
    assert.equal(done.stderr, expected(name, "stderr").toString(), `${name}: stderr`);
    assert.equal(`${done.status}\n`, expected(name, "status").toString(), `${name}: exit status`);
    for (const file of files) {
        const written = readFileSync(join(folder, file));
        assert.ok(written.equals(expected(name, basename(file))), `${name}: ${file} differs from the recorded one`);
    }
}

for (const c of CASES.preview) {
    test(`scripts/preview ${c.name}`, () => inFolder((folder) => {
        for (const input of c.inputs || []) {
            copyFileSync(join(existsSync(join(SCORES, input)) ? SCORES : PLANS, input), join(folder, input));
        }
        const environment = { ...process.env };
        delete environment.COLUMNS;
        const done = spawnSync(process.execPath, [join(ROOT, "preview", "node", "cli.js"), ...c.args],
            { cwd: folder, encoding: "utf8", env: environment, maxBuffer: 1 << 28 });
        const status = Number(expected(c.name, "status").toString());
        assertSameRun(c.name, done, folder, status === 0 ? c.files || [] : []);
        if (status !== 0) {
            assert.deepEqual(readdirSync(folder).sort(), (c.inputs || []).slice().sort(), `${c.name}: wrote a file`);
        }
    }));
}

for (const c of CASES["tempo-map"]) {
    test(`the demo's report of ${c.name}`, () => inFolder((folder) => {
        const scenario = join(ROOT, c.scenario);
        const report = join(folder, "report.json");
        writeFileSync(report, JSON.stringify(runScenario(JSON.parse(readFileSync(scenario, "utf8")))));
        const done = spawnSync(process.execPath,
            [join(ROOT, "preview", "node", "tempo-map.js"), scenario, report, "tempo-map.svg"],
            { cwd: folder, encoding: "utf8" });
        const files = existsSync(join(EXPECTED, c.name, "tempo-map.svg")) ? ["tempo-map.svg"] : [];
        assertSameRun(c.name, done, folder, files);
    }));
}
