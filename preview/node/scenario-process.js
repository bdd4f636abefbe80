// The plug-in as a scenario-runner process: the native runner over the
// Win32 emulation, or scripts/run-scenario-windows, which runs the real DLL
// under Wine. Same shape as the WebAssembly module's runner.
import { spawn } from "node:child_process";
import { mkdtemp, rm, writeFile } from "node:fs/promises";
import { tmpdir } from "node:os";
import { join } from "node:path";

export class ScenarioProcessError extends Error {}

// The native runner is built with the sanitizers; the leak check at its exit
// costs a preview more than the ramp itself, and finds nothing the tests
// would not.
function runnerEnvironment() {
    const asan = [process.env.ASAN_OPTIONS, "detect_leaks=0"].filter(Boolean).join(":");
    return { ...process.env, ASAN_OPTIONS: asan };
}

function run(command, path) {
    return new Promise((resolve, reject) => {
        const child = spawn(command, [path], { env: runnerEnvironment(), stdio: ["ignore", "pipe", "pipe"] });
        const out = [];
        const err = [];
        child.stdout.on("data", (chunk) => out.push(chunk));
        child.stderr.on("data", (chunk) => err.push(chunk));
        child.on("error", reject);
        child.on("close", (status, signal) => resolve({
            status: status === null ? signal : status,
            stdout: Buffer.concat(out).toString("utf8"),
            stderr: Buffer.concat(err).toString("utf8"),
        }));
    });
}

function lastLine(text) {
    const lines = text.trim().split("\n").filter((line) => line.trim() !== "");
    return lines.length > 0 ? lines[lines.length - 1] : "no message";
}

// runScenario(scenario object or JSON text) -> the report, parsed.
export function scenarioProcess(command) {
    return {
        async runScenario(scenario) {
            const folder = await mkdtemp(join(tmpdir(), "zorv-scenario-"));
            try {
                const path = join(folder, "scenario.json");
                await writeFile(path, typeof scenario === "string" ? scenario : JSON.stringify(scenario));
                const done = await run(command, path);
                if (done.status !== 0) {
                    throw new ScenarioProcessError(
                        `the scenario runner failed (exit status ${done.status}): ${lastLine(done.stderr)}`);
                }
                return JSON.parse(done.stdout);
            } finally {
                await rm(folder, { recursive: true, force: true });
            }
        },
    };
}
