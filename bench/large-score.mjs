// A large MusicXML score for timing the preview on what an orchestral score
// weighs: MEASURES measures (default 1,000) of 4/4 in PARTS parts (default
// 10), each measure two quarter notes and four beamed eighths with pitches, an
// articulation now and then, a tempo mark every 50 measures in the first
// part. About 12 MB with the defaults.
//   node bench/large-score.mjs OUT.musicxml [MEASURES] [PARTS]

const STEPS = ["C", "D", "E", "F", "G", "A", "B"];

// Two quarters, then four beamed eighths: a full 4/4 measure.
function note(part, measure, index) {
  const step = STEPS[(part + measure + index) % 7];
  const octave = 3 + ((part + index) % 3);
  const eighth = index >= 2;
  const beam = eighth ? `\n        <beam number="1">${index % 2 === 0 ? "begin" : "end"}</beam>` : "";
  const extra = index === 0 && measure % 4 === 0
    ? "\n        <notations><articulations><staccato/></articulations></notations>" : "";
  return `      <note>
        <pitch><step>${step}</step><octave>${octave}</octave></pitch>
        <duration>${eighth ? 1 : 2}</duration>
        <voice>1</voice>
        <type>${eighth ? "eighth" : "quarter"}</type>${beam}${extra}
      </note>`;
}

function measureText(part, number) {
  const head = number === 1
    ? `      <attributes><divisions>2</divisions><key><fifths>0</fifths></key>
        <time><beats>4</beats><beat-type>4</beat-type></time><clef><sign>G</sign><line>2</line></clef></attributes>\n`
    : "";
  const mark = part === 0 && number % 50 === 1
    ? `      <direction placement="above"><direction-type><metronome><beat-unit>quarter</beat-unit>`
      + `<per-minute>${100 + (number % 7)}</per-minute></metronome></direction-type>`
      + `<sound tempo="${100 + (number % 7)}"/></direction>\n`
    : "";
  const notes = Array.from({ length: 6 }, (_, i) => note(part, number, i)).join("\n");
  return `    <measure number="${number}">\n${head}${mark}${notes}\n    </measure>`;
}

export function largeScore(measures = 1000, parts = 10) {
  const list = Array.from({ length: parts }, (_, p) =>
    `    <score-part id="P${p + 1}"><part-name>Part ${p + 1}</part-name></score-part>`).join("\n");
  const body = Array.from({ length: parts }, (_, p) => {
    const bars = Array.from({ length: measures }, (_, m) => measureText(p, m + 1)).join("\n");
    return `  <part id="P${p + 1}">\n${bars}\n  </part>`;
  }).join("\n");
  return `<?xml version="1.0" encoding="UTF-8"?>
<score-partwise version="4.0">
  <part-list>
${list}
  </part-list>
${body}
</score-partwise>
`;
}

// Run as a program (it is also bundled into pages, where there is no Node).
if (globalThis.process?.argv?.[1]?.endsWith("large-score.mjs")) {
  const { writeFileSync } = await import("node:fs");
  const [out, measures = "1000", parts = "10"] = process.argv.slice(2);
  const text = largeScore(Number(measures), Number(parts));
  writeFileSync(out, text);
  console.log(`${out} (${Buffer.byteLength(text).toLocaleString("en")} bytes)`);
}
