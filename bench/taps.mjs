// node bench/taps.mjs: a ramp fitted to the taps of a 100-measure 4/4
// passage (400 taps, a natural ritardando from 120 to 60 with ±15 ms of
// jitter and a few slips of the hand), once as a linear ramp and once with
// every shape tried: the work the page does after the last tap.
// Prints "taps_fit_ms MS" (the slower of the two, median of 15) on standard
// output.
import { THROUGH_MEASURE_END, fullMeasure, parseMeter } from '../preview/lib/music.js';
import { fitTaps, rampBeatTimes, tapPassage } from '../preview/lib/taps.js';

const score = { measures: Array(100).fill(fullMeasure(parseMeter('4/4'))), tempo: [] };
const passage = tapPassage(score, [1, 0, 100, THROUGH_MEASURE_END], { unit: 2, dotted: false });
let seed = 29;
const jitter = () => ((seed = (seed * 1664525 + 1013904223) >>> 0) / 2 ** 32 - 0.5) * 0.03;
const taps = rampBeatTimes(passage, 'natural', 120, 60).slice(0, -1).map((t) => t + jitter());
for (const k of [50, 170, 333]) taps.push(taps[k] + 0.07);

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const timed = (shape) => {
  const times = [];
  let fit;
  for (let run = -2; run < 15; run += 1) {
    const started = performance.now();
    fit = fitTaps(taps, passage, { shape, countIn: 120 });
    if (run >= 0) times.push(performance.now() - started);
  }
  console.error(`${shape}: ${fit.shape.name} ${fit.start} to ${fit.stop}, RMS ${fit.rmsMs.toFixed(1)} ms, `
    + `largest ${fit.largestMs.toFixed(1)} ms, ${fit.ignored} ignored: ${median(times).toFixed(2)} ms`);
  return median(times);
};
console.log(`taps_fit_ms ${Math.max(timed('linear'), timed('any')).toFixed(1)}`);
