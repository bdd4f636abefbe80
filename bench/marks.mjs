// node bench/marks.mjs: the score's own tempo words listed (marks.js) for a
// 1,000-measure score of 10 parts, each part carrying a rit. with dashes
// and an a tempo every 50 measures besides a metronome mark every 100: the
// listing the page shows beside a score once it is read, and --marks
// prints. The score is read once; each repetition finds the words again.
// Prints "marks_1000_measures_ms MS" (median of 15) on standard output.
import { readScoreFile } from '../preview/lib/inputs.js';
import { marksLines, proposedRamps } from '../preview/lib/marks.js';
import { tools } from '../preview/node/xml-tools.js';
import { largeScore } from '../tests/fixtures/large-score.mjs';

const direction = (content) => `      <direction placement="above">${content}</direction>\n`;
const WORDS = {
  40: direction('<direction-type><words>poco rit.</words></direction-type><direction-type><dashes type="start" number="1"/></direction-type>'),
  45: direction('<direction-type><dashes type="stop" number="1"/></direction-type>'),
  46: direction('<direction-type><words>a tempo</words></direction-type>'),
};
const text = new TextDecoder().decode(largeScore(1000, 10).bytes).replace(/( {4}<measure number="(\d+)" width="240">\n)/g,
  (whole, open, number) => open + (WORDS[Number(number) % 50] ?? ''));

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const read = await readScoreFile({ bytes: new TextEncoder().encode(text), name: 'large.musicxml' }, tools);
const times = [];
let lines = [];
for (let run = -2; run < 15; run += 1) {
  const copy = { ...read };
  const started = performance.now();
  lines = marksLines(proposedRamps(copy), copy.score.measures);
  if (run >= 0) times.push(performance.now() - started);
}
console.error(`${lines.length - 1} ramps listed, the first: ${lines[1]}`);
console.log(`marks_1000_measures_ms ${median(times).toFixed(1)}`);
