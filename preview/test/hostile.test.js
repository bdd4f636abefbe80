// Files made to hang or exhaust a reader (tests/fixtures/hostile.mjs): on
// the command line each ends with one sentence and exit status 2 within
// 2 s, the process's memory peaking under 300 MB, and nothing is written.
// The 2 s are the processor time the process uses, which other work on a
// shared machine does not stretch; its time on the clock is held to a
// looser bound, against a process that waits rather than works.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { HOSTILE_FILES } from "../../tests/fixtures/hostile.mjs";

const CLI = fileURLToPath(new URL("../node/cli.js", import.meta.url));
const USAGE = fileURLToPath(new URL("../../tests/fixtures/process-usage.cjs", import.meta.url));
const SECONDS = 2;
const CLOCK_SECONDS = 10;
const MEGABYTES = 300;

for (const make of HOSTILE_FILES) {
    const file = make();
    test(`${file.name}: one sentence within ${SECONDS} s and ${MEGABYTES} MB`, (t) => {
        const folder = mkdtempSync(join(tmpdir(), "zorv-hostile-"));
        try {
            writeFileSync(join(folder, file.name), file.bytes);
            const usageFile = join(folder, "usage");
            const started = process.hrtime.bigint();
            // --write too: it reads the score a second time.
            const done = spawnSync(process.execPath, ["-r", USAGE, CLI, "--score", file.name, "--from", "1",
                "--to", "1", "--start", "q=60", "--stop", "q=72", "--svg", "map.svg", "--midi", "ramp.mid",
                "--write", "ramp.musicxml"], {
                cwd: folder, encoding: "utf8", env: { ...process.env, ZORV_PROCESS_USAGE_FILE: usageFile }, timeout: 60000,
            });
            const clock = Number(process.hrtime.bigint() - started) / 1e9;
            const usage = JSON.parse(readFileSync(usageFile, "utf8"));
            const seconds = (usage.userCPUTime + usage.systemCPUTime) / 1e6;
            const megabytes = (usage.maxRSS * 1024) / 1e6;
            t.diagnostic(`${seconds.toFixed(2)} s of processor time, ${clock.toFixed(2)} s on the clock, ${megabytes.toFixed(0)} MB`);
            assert.equal(done.status, 2, done.stderr);
            assert.equal(done.stdout, "");
            assert.match(done.stderr, /^preview: [^\n]+\n$/);
            assert.match(done.stderr, file.refusal);
            assert.ok(seconds < SECONDS, `${seconds.toFixed(2)} s`);
            assert.ok(clock < CLOCK_SECONDS, `${clock.toFixed(2)} s on the clock`);
            assert.ok(megabytes < MEGABYTES, `${megabytes.toFixed(0)} MB`);
            assert.deepEqual(readdirSync(folder).sort(), [file.name, "usage"].sort());
        } finally {
            rmSync(folder, { recursive: true, force: true });
        }
    });
}

// A file that never ends is read no further than the largest score, and a
// plan no further than the largest plan.
test("a score or a plan that never ends is refused where no score or plan reaches", () => {
    for (const [args, refusal] of [[["--score", "/dev/zero", "--from", "1", "--to", "1", "--start", "q=60", "--stop", "q=72"],
        /\/dev\/zero is larger than 32 MB/], [["--time", "4/4x4", "--plan", "/dev/zero"], /--plan \/dev\/zero: the file is larger than 1 MB/]]) {
        const done = spawnSync(process.execPath, [CLI, ...args], { encoding: "utf8", timeout: CLOCK_SECONDS * 1000 });
        assert.equal(done.status, 2, done.stderr);
        assert.match(done.stderr, refusal);
    }
});
