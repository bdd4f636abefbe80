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
            [join(ROOT, "preview", "node", "run-report.js"), scenario, report, "tempo-map.svg"],
            { cwd: folder, encoding: "utf8" });
        const files = existsSync(join(EXPECTED, c.name, "tempo-map.svg")) ? ["tempo-map.svg"] : [];
        assertSameRun(c.name, done, folder, files);
    }));
}

// Each example of docs/preview.md, a command and the text it prints, is a recorded case (the
// same arguments, but for where the map goes), and every line the text shows is in what that
// case prints, in order; a "..." line stands for rows left out.
function documentedExamples(markdown) {
    const example = /```sh\n(scripts\/preview [^`]*?)```\n+```text\n([^`]*?)```/g;
    return [...markdown.matchAll(example)].map(([, command, text]) => ({
        args: command.replace(/\\\n/g, " ").trim().split(/\s+/).slice(1),
        shown: text.split("\n").filter((line) => line.trim() !== "" && !line.includes("...")),
    }));
}

function withoutSvg(args) {
    const at = args.indexOf("--svg");
    return at < 0 ? args : [...args.slice(0, at), ...args.slice(at + 2)];
}

function missingLines(shown, printed) {
    const lines = printed.split("\n").map((line) => line.trimEnd());
    let from = 0;
    return shown.filter((line) => {
        const at = lines.indexOf(line.trimEnd(), from);
        if (at < 0) return true;
        from = at + 1;
        return false;
    });
}

test("the examples of docs/preview.md print what their recorded cases print", () => {
    const examples = documentedExamples(readFileSync(join(ROOT, "docs", "preview.md"), "utf8"));
    assert.ok(examples.length >= 2, "docs/preview.md shows its examples as a sh block and a text block");
    for (const { args, shown } of examples) {
        const recorded = CASES.preview.find((c) => withoutSvg(c.args).join(" ") === withoutSvg(args).join(" "));
        assert.ok(recorded, `no recorded case runs scripts/preview ${args.join(" ")}`);
        assert.deepEqual(missingLines(shown, expected(recorded.name, "stdout").toString()), [],
            `docs/preview.md shows lines that scripts/preview ${args.join(" ")} does not print`);
    }
});
