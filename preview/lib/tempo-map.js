// What the plug-in wrote into a score, shown three ways: a table of the tempo
// records, a timing summary and an SVG tempo map. Used by the preview and by
// the demo's report of a scenario run.
import { UNITS_PER_QUARTER, beatAt, measureOffsets, regionBounds, runLengths } from "./music.js";
import { exactFraction, fixed, formatG as general, roundHalfEven } from "./numbers.js";
import { stopValueFromActions } from "./scenario.js";
import {
    DEFAULT_TEMPO_NOTE, idealMs, passesDefault, playbackMs, quarterBpm, tempoPoints, valueAt,
} from "./timing.js";

const right = (text, width) => String(text).padStart(width, " ");

function rampInvocation(scenario) {
    return (scenario.invocations || []).find((invocation) => invocation.region) || null;
}

// Everything the table, the map and the summary are made of, or null when
// the session wrote no tempo record.
export function timeline(scenario, report) {
    const invocation = rampInvocation(scenario);
    const records = report.tempo || [];
    if (records.length === 0 || invocation === null) return null;
    const region = invocation.region;
    const last = records.reduce((most, record) => Math.max(most, record[0]), region[2]);
    // Records and regions may lie past the score, in measures of no length.
    const measures = runLengths(scenario.measures || []);
    const starts = measureOffsets(measures, last);
    return {
        records, region, measures, starts,
        span: regionBounds(region, measures, starts),
        points: tempoPoints(records, starts),
        stop: stopValueFromActions(invocation),
    };
}

// Each record with its beat and quarter BPM as the table prints them: the
// beat as the measure's meter counts it (`measures`: the score's, when
// known), else in quarters.
export function tableRow([measure, position, value], measures = null) {
    const beat = beatAt(measures?.[measure - 1] ?? UNITS_PER_QUARTER, position);
    return { measure, position, value, beat: fixed(beat, 2), bpm: fixed(quarterBpm(value), 1) };
}

export function tableLines(records, measures = null) {
    const lines = [`${right("measure", 7)}  ${right("beat", 6)}  ${right("quarter BPM", 11)}  ${right("tempo value", 11)}`];
    for (const record of records) {
        const { measure, beat, bpm, value } = tableRow(record, measures);
        lines.push(`${right(measure, 7)}  ${right(beat, 6)}  ${right(bpm, 11)}  ${right(value, 11)}`);
    }
    return lines;
}

// The region's playback time under the written records and under an ideal
// ramp, its largest step between records and the step to the record after.
export function timingSummary(line) {
    const [start, end] = line.span;
    const { points } = line;
    const walk = points.filter(([position]) => start <= position && position < end);
    const summary = {
        quarters: (end - start) / UNITS_PER_QUARTER,
        writtenS: playbackMs(points, start, end) / 1000,
        assumesDefault: passesDefault(points, start),
        idealS: null, largestJumpBpm: null, stepAfter: null,
    };
    if (walk.length === 0) return summary;
    const first = walk[0][1];
    summary.idealS = idealMs(first, rampStop(line, walk, start, end) || first, end - start) / 1000;
    let largest = 0.0;
    for (let i = 1; i < walk.length; i += 1) {
        largest = Math.max(largest, Math.abs(quarterBpm(walk[i][1]) - quarterBpm(walk[i - 1][1])));
    }
    summary.largestJumpBpm = largest;
    const after = points.find(([position]) => position >= end);
    if (after) summary.stepAfter = [quarterBpm(walk[walk.length - 1][1]), quarterBpm(valueAt(points, after[0]))];
    return summary;
}

// The stop tempo the user entered, else the written ramp extended to the
// region's end.
function rampStop(line, walk, start, end) {
    if (line.stop !== null || walk.length < 2) return line.stop;
    const [p0, v0] = walk[0];
    const [p1, v1] = walk[walk.length - 1];
    return Number(roundHalfEven(exactFraction(v0 + (v1 - v0) * (end - start) / Math.max(1, p1 - p0))));
}

// summary.passes, when the score's repeats and jumps do not play the region
// once as written: each time it is heard, [{text, fromS, toS}].
export function summaryLines(summary) {
    const note = summary.assumesDefault ? ` (${DEFAULT_TEMPO_NOTE})` : "";
    const once = summary.passes ? " once through" : "";
    const lines = [
        `Region length: ${general(summary.quarters)} quarter notes`,
        `Playback time of the region${once} with the written records: ${fixed(summary.writtenS, 3)} s${note}`,
    ];
    if (summary.idealS === null) {
        lines.push("No tempo record lies inside the region.");
    } else {
        lines.push(`Playback time under an ideal continuous linear ramp:  ${fixed(summary.idealS, 3)} s`);
        lines.push(`Largest jump between neighbouring records of the ramp: ${fixed(summary.largestJumpBpm, 1)} BPM`);
        if (summary.stepAfter) {
            lines.push(`Step to the record after the region: ${fixed(summary.stepAfter[0], 1)} -> ${fixed(summary.stepAfter[1], 1)} BPM`);
        }
    }
    if (summary.passes) lines.push(...passLines(summary.passes));
    return lines;
}

function passLines(passes) {
    if (!passes.length) return ["The region is not heard: the score's repeats and jumps pass it by."];
    const count = passes.length === 1 ? "once" : passes.length === 2 ? "twice" : `${passes.length} times`;
    const lines = [`As the score's repeats and jumps play it, the region is heard ${count}:`];
    let total = 0;
    for (const pass of passes) {
        total += pass.toS - pass.fromS;
        lines.push(`  ${pass.text}: from ${fixed(pass.fromS, 3)} s to ${fixed(pass.toS, 3)} s (${fixed(pass.toS - pass.fromS, 3)} s)`);
    }
    if (passes.length > 1) lines.push(`  in all ${fixed(total, 3)} s`);
    return lines;
}

// The points inside [x0, x1], led by the tempo in force at x0.
function clipPoints(points, x0, x1) {
    const before = points.filter(([position]) => position < x0);
    const inside = points.filter(([position]) => x0 <= position && position <= x1);
    if (before.length > 0 && !(inside.length > 0 && inside[0][0] === x0)) {
        inside.unshift([x0, before[before.length - 1][1]]);
    }
    return inside;
}

// The step between labelled ticks that leaves at most `most` of `count`.
export function tickStep(count, most = 16) {
    const small = [1, 2, 4, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000, 2000, 5000]
        .find((step) => count / step <= most);
    if (small !== undefined) return small;
    for (let scale = 10000; ; scale *= 10) {
        const step = [scale, 2 * scale, 2.5 * scale, 5 * scale].find((s) => count / s <= most);
        if (step !== undefined) return step;
    }
}

// Every 4th quarter from x0, labelled in quarters, thinned to about 16.
function defaultTicks(x0, x1) {
    const quarters = Math.trunc((x1 - x0) / UNITS_PER_QUARTER);
    const step = 4 * tickStep(quarters / 4);
    const ticks = [];
    for (let q = 0; q <= quarters; q += step) ticks.push([x0 + q * UNITS_PER_QUARTER, String(q)]);
    return ticks;
}

// Measure numbers along the map: those starting inside [x0, x1], thinned;
// label(n) names measure n (its number, unless asked otherwise).
export function measureTicks(measures, x0, x1, label = String) {
    const starts = measureOffsets(measures);
    const inside = [];
    for (let n = 1; n <= measures.length; n += 1) {
        if (x0 <= starts[n] && starts[n] <= x1) inside.push(n);
    }
    const step = tickStep(inside.length);
    return inside.filter((n) => (n - inside[0]) % step === 0).map((n) => [starts[n], label(n)]);
}

// 1, 2, 5, 10, 20, 50, ...: the first that gives at most 8 ticks.
function bpmStep(span) {
    for (let scale = 1; ; scale *= 10) {
        for (const step of [scale, 2 * scale, 5 * scale]) {
            if (span / step <= 8) return step;
        }
    }
}

// A float as it reads in a program's plain output: 475.0, 12.5.
function floatText(x) {
    return Number.isInteger(x) ? `${x}.0` : String(x);
}

// The tempo map: records as steps over the position, the region shaded.
// marks: `regions`, [{span, label}] shaded in place of the one region (a
// plan's runs, which may overlap); `hits`, [{at, target, label}]: where a
// hit lands (a solid line at its position) and where the music is at its
// target time (a dashed one); `beat`, {units, name}: the tempo axis counts
// beats of that many units (a dotted quarter: 1536), named so, instead of
// quarters; `curve`, [[position, quarter BPM]]: an ideal curve, drawn thin
// over the records; `stepped`, [{span, label}]: ramps the score wrote as
// dense steps, each bracketed and named as one, its steps without dots.
export function svgText(allPoints, regionSpan, extent, ticks = null,
    xTitle = "position (quarter-note beats from the region start)", marks = {}) {
    return drawnSvg(mapDrawing(allPoints, regionSpan, extent, ticks, xTitle, marks));
}

// The SVG text of a mapDrawing, each dot a circle.
export function drawnSvg({ head, steps, between, dots, radius, fill, tail }) {
    const circle = (dot) => `<circle cx="${fixed(dot.x, 1)}" cy="${fixed(dot.y, 1)}" r="${radius}" fill="${fill}"/>\n`;
    return head + stepsPath(steps) + between + dots.map(circle).join("") + tail;
}

// How the records' steps are drawn, by the command line's SVG and the page.
const STEPS_STROKE = "#c33";
export const STEPS_STYLE = `fill="none" stroke="${STEPS_STROKE}" stroke-width="2"`;

// The records' tempo as one path of steps (mapDrawing's, a record's each).
function stepsPath(steps) {
    return `<path d="${steps.join(" ")}" ${STEPS_STYLE}/>\n`;
}

// The tempo map as svgText draws it, with its steps and dots as data, for a
// page that draws them its own way: the SVG text before the steps
// (`head`), each record's step as path data ("M x,y H x2 V y3", left to
// right), the text between the steps and the dots, after the dots
// (`tail`), the dots' radius and fill, and each dot ({position, value, x,
// y}: the record's place in units and its tempo value, as drawn, and its
// centre), left to right; a leading dot the tempo in force at the map's
// start.
export function mapDrawing(allPoints, regionSpan, extent, ticks = null,
    xTitle = "position (quarter-note beats from the region start)", marks = {}) {
    const [width, height, left, rightMargin, top, bottom] = [900, 420, 70, 20, 30, 60];
    const [x0, x1] = extent;
    const points = clipPoints(allPoints, x0, x1);
    const perBeat = marks.beat ? marks.beat.units / UNITS_PER_QUARTER : 1;
    const axisBpm = (value) => quarterBpm(value) / perBeat;
    let lo = Infinity;
    let hi = -Infinity;
    for (const [, value] of points) {
        lo = Math.min(lo, axisBpm(value));
        hi = Math.max(hi, axisBpm(value));
    }
    const pad = Math.max(5.0, (hi - lo) * 0.1);
    lo = Math.max(0.0, lo - pad);
    hi += pad;
    const x = (position) => left + (position - x0) / Math.max(1, x1 - x0) * (width - left - rightMargin);
    const y = (bpm) => top + (hi - bpm) / (hi - lo) * (height - top - bottom);
    const f1 = (value) => fixed(value, 1);
    const axis = height - bottom;

    const shaded = marks.regions ?? [{ span: regionSpan, label: "selected region" }];
    const opacity = shaded.length > 1 ? ' fill-opacity="0.6"' : "";
    const out = [
        `<svg xmlns="http://www.w3.org/2000/svg" width="${width}" height="${height}" font-family="sans-serif" font-size="12">`,
        `<rect width="${width}" height="${height}" fill="white"/>`,
        // Runs side by side alternate their shade; labels step down so that
        // neighbours' do not collide.
        ...shaded.map(({ span }, i) => `<rect x="${f1(x(span[0]))}" y="${top}" width="${f1(x(span[1]) - x(span[0]))}" `
            + `height="${height - top - bottom}" fill="${i % 2 ? "#e8e0f4" : "#dbe9f6"}"${opacity}/>`),
        ...shaded.map(({ span, label }, i) => `<text x="${f1(x(span[0]) + 4)}" y="${top + 14 + 14 * (i % 5)}" fill="#36c">${label}</text>`),
        `<line x1="${left}" y1="${axis}" x2="${width - rightMargin}" y2="${axis}" stroke="black"/>`,
        `<line x1="${left}" y1="${top}" x2="${left}" y2="${axis}" stroke="black"/>`,
    ];
    for (const [position, label] of ticks !== null ? ticks : defaultTicks(x0, x1)) {
        const px = f1(x(position));
        out.push(`<line x1="${px}" y1="${axis}" x2="${px}" y2="${axis + 5}" stroke="black"/>`);
        out.push(`<text x="${px}" y="${axis + 18}" text-anchor="middle">${label}</text>`);
    }
    const step = bpmStep(hi - lo);
    for (let k = Math.ceil(lo / step); k <= Math.floor(hi / step); k += 1) {
        const bpm = k * step;
        out.push(`<line x1="${left - 5}" y1="${f1(y(bpm))}" x2="${left}" y2="${f1(y(bpm))}" stroke="black"/>`);
        out.push(`<text x="${left - 8}" y="${f1(y(bpm) + 4)}" text-anchor="end">${fixed(bpm, 0)}</text>`);
    }
    out.push(`<text x="${floatText((left + width - rightMargin) / 2)}" y="${height - 15}" text-anchor="middle">${xTitle}</text>`);
    out.push(`<text x="${left}" y="${top - 12}" text-anchor="${marks.beat ? "start" : "middle"}">`
        + `tempo (${marks.beat?.name ?? "quarter"} = BPM)</text>`);
    const steps = points.map(([position, value], i) => {
        const next = i + 1 < points.length ? points[i + 1][0] : x1;
        const step = `M${f1(x(position))},${f1(y(axisBpm(value)))} H${f1(x(next))}`;
        return i + 1 < points.length ? `${step} V${f1(y(axisBpm(points[i + 1][1])))}` : step;
    });
    const head = `${out.join("\n")}\n`;
    out.length = 0;
    if (marks.curve) {
        const inside = marks.curve.filter(([position]) => position >= x0 && position <= x1);
        out.push(`<polyline class="ideal" points="${inside.map(([position, bpm]) => `${f1(x(position))},${f1(y(bpm / perBeat))}`).join(" ")}" `
            + 'fill="none" stroke="#222" stroke-width="1"/>');
    }
    // A ramp the score wrote as steps is one ramp: its steps take no dot
    // each, and a bracket over them names it.
    const stepped = (marks.stepped ?? []).filter(({ span }) => span[1] > x0 && span[0] < x1);
    const inStepped = (position) => stepped.some(({ span }) => position > span[0] && position <= span[1]);
    const dots = points.filter(([position]) => !inStepped(position))
        .map(([position, value]) => ({ position, value, x: Number(f1(x(position))), y: Number(f1(y(axisBpm(value)))) }));
    const between = out.map((line) => `${line}\n`).join("");
    out.length = 0;
    for (const { span, label } of stepped) {
        const [from, to] = [f1(x(Math.max(span[0], x0))), f1(x(Math.min(span[1], x1)))];
        out.push(`<path class="score-ramp" d="M${from},${top + 24} V${top + 18} H${to} V${top + 24}" fill="none" stroke="#555"/>`);
        out.push(`<text x="${from}" y="${top + 14}" fill="#555">${label}</text>`);
    }
    for (const hit of marks.hits ?? []) out.push(...hitMarks(hit, x, [left, width - rightMargin], top, axis));
    out.push("</svg>");
    return { head, steps, between, dots, radius: marks.dotRadius ?? 2.5, fill: STEPS_STROKE, tail: `${out.join("\n")}\n` };
}

// A hit on the map: the dashed line where the music is at its target time,
// the solid one where the hit lands, each clipped to the map; both lines,
// so that a hit on target shows as one.
function hitMarks({ at, target, label }, x, [lo, hi], top, axis) {
    const px = (position) => fixed(Math.min(hi, Math.max(lo, x(position))), 1);
    return [
        `<line class="hit-target" x1="${px(target)}" y1="${top}" x2="${px(target)}" y2="${axis}" stroke="#2a7a2a" stroke-dasharray="4 3"/>`,
        `<line class="hit" x1="${px(at)}" y1="${top}" x2="${px(at)}" y2="${axis}" stroke="#2a7a2a" stroke-width="2"/>`,
        `<text x="${px(at)}" y="${axis - 6}" text-anchor="middle" fill="#2a7a2a">${label}</text>`,
    ];
}

// The demo's report of a scenario run: the records, the timing and the map
// from the region's start to a quarter past the last record.
export function reportOfRun(scenario, report) {
    if (!report.loaded) return { lines: ["The plug-in did not load; nothing was written."], svg: null };
    const line = timeline(scenario, report);
    if (line === null) return { lines: ["No tempo records were written."], svg: null };
    const lines = ["Tempo records written:", ...tableLines(line.records), "",
        ...summaryLines(timingSummary(line))];
    const [start, end] = line.span;
    const lastPoint = line.points[line.points.length - 1][0];
    const extent = [line.starts[line.region[0]], Math.max(end, lastPoint) + UNITS_PER_QUARTER];
    return { lines, svg: svgText(line.points, [start, end], extent) };
}
