// node bench/web_ramp.mjs RUNNER: the WebAssembly module against the native
// runner on the largest ramp (32,767 measures of 4/4, quarter = 600 down to
// quarter = 20, one invocation). Timed for the module: runScenarioText, from
// the scenario's text to the report's text (a fresh instance, the whole
// session, the report written and read out of the module's memory), with the
// module compiled once beforehand as the preview does. Timed for the native
// runner: its whole process, the scenario file read and the report written
// to /dev/null. Pairs alternate; the ratio is the median over the pairs.
// Prints "module_ramp_ratio R" on standard output, the times on standard
// error.
import { spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';

import { loadPlugin } from '../preview/node/plugin-node.js';

const PAIRS = 7;
const runner = process.argv[2];
const scenario = JSON.stringify({
  measures: [[32767, 4096]],
  invocations: [{
    region: [1, 0, 32767, 2147483647],
    user: [{ set: 111, value: 600 }, { set: 131, value: 20 }, { click: 1 }],
  }],
});

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

function timeNative(file) {
  const started = performance.now();
  const run = spawnSync(runner, [file], { stdio: ['ignore', 'ignore', 'inherit'] });
  const elapsed = performance.now() - started;
  if (run.status !== 0) throw new Error(`${runner} ${file}: ${run.error ?? `status ${run.status}`}`);
  return elapsed;
}

async function timeModule(plugin) {
  const started = performance.now();
  const report = await plugin.runScenarioText(scenario);
  const elapsed = performance.now() - started;
  return { elapsed, report };
}

const folder = mkdtempSync(`${tmpdir()}/zorv-bench-`);
try {
  const file = `${folder}/largest-ramp.json`;
  writeFileSync(file, scenario);
  const loadStarted = performance.now();
  const plugin = await loadPlugin();
  const loadMs = performance.now() - loadStarted;

  timeNative(file);
  const { report } = await timeModule(plugin);
  const parseStarted = performance.now();
  const records = JSON.parse(report).tempo.length;
  const parseMs = performance.now() - parseStarted;

  const ratios = [], moduleMs = [], nativeMs = [];
  for (let pair = 0; pair < PAIRS; ++pair) {
    const module = (await timeModule(plugin)).elapsed;
    const native = timeNative(file);
    moduleMs.push(module);
    nativeMs.push(native);
    ratios.push(module / native);
  }
  // What each run pays before the plug-in starts: a new instance of the
  // compiled module, for a scenario that does nothing.
  const overheadMs = [];
  for (let i = 0; i < 20; ++i) {
    const started = performance.now();
    await plugin.runScenarioText('{}');
    overheadMs.push(performance.now() - started);
  }
  process.stderr.write(
      `module ramp ${median(moduleMs).toFixed(1)} ms, native runner ${median(nativeMs).toFixed(1)} ms ` +
      `(${records} records; JSON.parse of the report ${parseMs.toFixed(1)} ms more); ` +
      `module compiled once in ${loadMs.toFixed(1)} ms, a run of an empty scenario ` +
      `${median(overheadMs).toFixed(2)} ms\n`);
  process.stdout.write(`module_ramp_ratio ${median(ratios).toFixed(2)}\n`);
} finally {
  rmSync(folder, { recursive: true });
}
