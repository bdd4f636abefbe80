// node bench/plan.mjs: a plan of two runs against the same two runs
// previewed one at a time, in one process with the module compiled once, as
// the page runs them: the plan runs the plug-in as one session of two
// invocations, and its outputs cover both runs. Each pair times the plan,
// then the two single previews; the ratio is the median over the pairs.
// Prints "plan_two_runs_ratio R" on standard output, the times on standard
// error.
import v8 from 'node:v8';

import { readMeasures, plan } from '../preview/lib/inputs.js';
import { runPreview } from '../preview/lib/preview.js';
import { checkPlan, runPlan } from '../preview/lib/tempo-plan.js';
import { loadPlugin } from '../preview/node/plugin-node.js';

v8.setFlagsFromString('--no-wasm-dynamic-tiering');
v8.setFlagsFromString('--no-wasm-tier-up');

const PAIRS = 15;
const TIME = '4/4x200';
const RUNS = [
  { from: '20', to: '110', start: 'q=120', stop: 'q=72', after: 'stop' },
  { from: '90', to: '180', start: 'q=72', stop: 'q=132', after: 'start' },
];
const NAMES = { svg: 'map.svg' };

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length >> 1;
  return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

const plugin = await loadPlugin();
const { score } = await readMeasures({ time: TIME });
const planned = { score, source: null, runs: checkPlan(RUNS, score, 'the bench') };
const singles = await Promise.all(RUNS.map((run) => plan({ time: TIME, ...run })));

async function timed(work) {
  const started = performance.now();
  await work();
  return performance.now() - started;
}

const planMs = [];
const singleMs = [];
const ratios = [];
for (let pair = -2; pair < PAIRS; pair += 1) {
  const a = await timed(() => runPlan(planned, plugin, NAMES));
  const b = await timed(async () => { for (const checked of singles) await runPreview(checked, plugin, NAMES); });
  if (pair < 0) continue; // the first pairs warm the engine up
  planMs.push(a);
  singleMs.push(b);
  ratios.push(a / b);
}
console.error(`plan of two runs ${median(planMs).toFixed(1)} ms, the two runs one by one ${median(singleMs).toFixed(1)} ms`);
console.log(`plan_two_runs_ratio ${median(ratios).toFixed(2)}`);
