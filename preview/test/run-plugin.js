// The plug-in's own code for the tests: a scenario run by the scenario
// runner the build made (ZORV_SCENARIO_RUNNER, as CTest sets it, else the
// native build of this tree), its report parsed.
import { spawnSync } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

const ROOT = fileURLToPath(new URL("../..", import.meta.url));
export const RUNNER = process.env.ZORV_SCENARIO_RUNNER || join(ROOT, "build/native/bin/zorv-scenario");

export function runScenario(scenario) {
    const folder = mkdtempSync(join(tmpdir(), "zorv-scenario-"));
    try {
        const path = join(folder, "scenario.json");
        writeFileSync(path, JSON.stringify(scenario));
        const env = { ...process.env, ASAN_OPTIONS: [process.env.ASAN_OPTIONS, "detect_leaks=0"].filter(Boolean).join(":") };
        const done = spawnSync(RUNNER, [path], { encoding: "utf8", env, maxBuffer: 1 << 30 });
        if (done.error) throw new Error(`cannot run ${RUNNER}: ${done.error.message} (build it with scripts/build --native)`);
        if (done.status !== 0) throw new Error(`${RUNNER} failed (${done.status}): ${done.stderr.trim()}`);
        return JSON.parse(done.stdout);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}
