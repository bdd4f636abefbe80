// The order in which a notation program plays a score's measures (repeats,
// first and second endings, D.C., D.S., To Coda, Coda and Fine), and the
// score laid out along it as it is heard: which measure sounds when, under
// which tempo. The tempo records stay where they are in the score, so a
// measure heard again plays under the records at its own positions.
// Everything that counts time (the timing, the beat times, the click, the
// MIDI file and what is rendered from it) takes the heard score from here.
// Browser-safe.
//
// Marks are plain data, one per sign, measures numbered from 1:
//   {measure, kind: "forward"}                     a forward repeat at its start
//   {measure, kind: "backward", times, afterJump}  a backward repeat at its end
//   {measure, kind: "ending", numbers: [1, 2], type: "start" | "stop" | "discontinue"}
//   {measure, kind: "segno" | "coda", name}        where a jump lands (its start)
//   {measure, kind: "dacapo" | "dalsegno" | "tocoda" | "fine", name, only}
//                                                  jumps and the end, at its end
// `times` is how often the passage plays (null: as its endings say, else
// twice); `afterJump` takes the repeat again after a D.C. or D.S.; `only`
// (null or the hearings of that measure on which the mark acts) overrides
// when a jump is taken.
// An order is a list of [first, last] runs of measures, in playing order.
import { InputError, measureAfter, measureName, measureOffsets, pointText, regionBounds } from "./music.js";
import { lowerBound, withThousands } from "./numbers.js";
import { DEFAULT_VALUE, secondsAt } from "./timing.js";

// The most measures a playback may hear: a repeat played thousands of times
// gets a clear refusal instead of a frozen page.
export const MOST_HEARD = 4 * 32767;

export function straightOrder(count) {
    return [[1, count]];
}

// Whether an order plays the measures once each, as written.
export function isStraight(order, count) {
    return order.length === 1 && order[0][0] === 1 && order[0][1] === count;
}

// The measures one by one: [[1, 3], [1, 2]] is 1, 2, 3, 1, 2.
export function expandOrder(order) {
    const played = [];
    for (const [first, last] of order) for (let n = first; n <= last; n += 1) played.push(n);
    return played;
}

function compressOrder(played) {
    const order = [];
    for (const n of played) {
        const run = order[order.length - 1];
        if (run && run[1] + 1 === n) run[1] = n;
        else order.push([n, n]);
    }
    return order;
}

// The marks gathered by measure, endings as spans of measures (each ending
// runs to its stop, to a backward repeat inside it, or up to the next
// ending), and consecutive endings grouped: a group's passes run to the
// highest number among its endings.
function layout(count, marks) {
    const at = Array.from({ length: count + 2 }, () => ({ jumps: [], segno: [], coda: [] }));
    const starts = [];
    for (const mark of marks) {
        if (!(mark.measure >= 1 && mark.measure <= count)) continue;
        const slot = at[mark.measure];
        if (mark.kind === "forward") slot.forward = true;
        else if (mark.kind === "backward") slot.backward = mark;
        else if (mark.kind === "ending" && mark.type === "start" && mark.numbers.length) starts.push(mark);
        else if (mark.kind === "ending") slot.endingStop = true;
        else if (mark.kind === "segno" || mark.kind === "coda") slot[mark.kind].push(mark.name ?? "");
        else slot.jumps.push(mark);
    }
    starts.sort((a, b) => a.measure - b.measure);
    const groups = [];
    let group = null;
    starts.forEach((mark, i) => {
        const next = i + 1 < starts.length ? starts[i + 1].measure - 1 : count;
        let end = mark.measure;
        while (end < next && !at[end].endingStop && !at[end].backward) end += 1;
        if (at[mark.measure].ending) return; // two endings on one measure: the first counts
        if (!group || group.last + 1 !== mark.measure) {
            group = { last: 0, highest: 0, backward: null, repeatAfter: null };
            groups.push(group);
        }
        const span = { numbers: mark.numbers, end, group };
        group.last = end;
        group.highest = Math.max(group.highest, ...mark.numbers);
        for (let n = mark.measure; n <= end; n += 1) {
            if (at[n].backward && !group.backward) group.backward = at[n].backward;
        }
        at[mark.measure].ending = span;
        for (let n = mark.measure; n <= end; n += 1) at[n].inGroup = group;
    });
    // Endings closed before their repeat barline: the repeat still ahead,
    // before any other repeat or ending, is theirs.
    for (const g of groups) {
        for (let n = g.last + 1; !g.backward && n <= count && !at[n].forward && !at[n].ending; n += 1) {
            if (at[n].backward) {
                g.repeatAfter = n;
                at[n].closes = g;
                break;
            }
        }
    }
    return at;
}

// Where each kind of sign stands: its measures in order, and the first
// measure of each name.
function signsOf(at) {
    const signs = { segno: { holders: [], named: new Map() }, coda: { holders: [], named: new Map() } };
    at.forEach((slot, n) => {
        for (const kind of ["segno", "coda"]) {
            if (!slot[kind].length) continue;
            signs[kind].holders.push(n);
            for (const name of slot[kind]) if (!signs[kind].named.has(name)) signs[kind].named.set(name, n);
        }
    });
    return signs;
}

// Where a D.S. or To Coda lands: the sign of that name, else the nearest one
// before the jump (a D.S.) or after it (a To Coda), else the first.
function target(signs, kind, name, from) {
    const { holders, named } = signs[kind];
    if (named.has(name ?? "")) return named.get(name ?? "");
    const lo = lowerBound(holders.length, (i) => holders[i] <= from);
    // holders[lo - 1] is the last at or before `from`; holders at or after it
    // start at lo, or lo - 1 when that one is `from` itself.
    const before = lo > 0 ? holders[lo - 1] : undefined;
    const after = before === from ? before : holders[lo];
    return (kind === "segno" ? before : after) ?? holders[0] ?? null;
}

// The order in which the measures play. Conventions: a repeat plays its
// passage twice unless `times` says otherwise, or as often as its endings
// are numbered; it goes back to the last forward repeat, or to the start of
// the score or of the music after the last finished repeat; an ending plays
// on the passes it is numbered for; D.C. and D.S. are taken once, and after
// them repeats are not taken again (unless marked to be) and a passage with
// endings plays its last one; To Coda and Fine act only after a D.C. or
// D.S. Jumps and Fine act at the end of their measure, segno and coda at
// its start. `where` names the score in a refusal.
export function playbackOrder(count, marks, where = "the score") {
    if (!marks.length) return straightOrder(count);
    const at = layout(count, marks);
    const signs = signsOf(at);
    const played = [];
    const hearings = new Array(count + 2).fill(0);
    const taken = new Set();
    let sectionStart = 1;
    let pass = 1;
    let jumped = false;
    let cameBack = false;
    let n = 1;
    const startSection = (measure) => {
        sectionStart = measure;
        pass = 1;
    };
    const acts = (jump, byDefault) => (jump.only ? jump.only.includes(hearings[n]) : byDefault);
    while (n >= 1 && n <= count) {
        const slot = at[n];
        if (slot.ending) {
            const { group } = slot.ending;
            const lastOnly = jumped && !(group.backward && group.backward.afterJump);
            const wanted = slot.ending.numbers.includes(lastOnly ? group.highest : pass);
            if (!wanted) {
                n = slot.ending.end + 1;
                // Endings closed before their repeat barline leave the
                // passage going on to it, on the same pass.
                if (n > group.last && !group.repeatAfter) startSection(n);
                continue;
            }
        }
        if (slot.forward && !cameBack) startSection(n);
        cameBack = false;
        played.push(n);
        hearings[n] += 1;
        if (played.length > MOST_HEARD) {
            throw new InputError(`${where}: its repeats and jumps play more than ${withThousands(MOST_HEARD)} measures`);
        }
        const jumps = slot.jumps;
        const fine = jumps.find((j) => j.kind === "fine");
        if (fine && acts(fine, jumped)) break;
        const backward = slot.backward;
        if (backward) {
            const endings = slot.inGroup ?? slot.closes;
            const times = backward.times ?? (endings ? Math.max(2, endings.highest) : 2);
            if ((!jumped || backward.afterJump) && pass < times) {
                pass += 1;
                n = sectionStart;
                cameBack = true;
                continue;
            }
        }
        const jump = jumps.find((j) => j.kind === "tocoda" && !taken.has(j) && acts(j, jumped))
            ?? jumps.find((j) => (j.kind === "dacapo" || j.kind === "dalsegno") && acts(j, !taken.has(j)));
        const landing = jump && (jump.kind === "dacapo" ? 1 : target(signs, jump.kind === "tocoda" ? "coda" : "segno",
            jump.name, n));
        if (landing) {
            taken.add(jump);
            if (jump.kind !== "tocoda") jumped = true;
            n = landing;
            startSection(n);
            continue;
        }
        // An ending straight after a repeat's barline for the pass just
        // finished is that repeat's (a second ending with no numbered
        // first, or after a first ending closed early): the pass holds.
        const following = at[n + 1]?.ending;
        const endingOfThis = backward && following && !jumped && following.numbers.includes(pass);
        const endsGroup = slot.inGroup && slot.inGroup.last === n && !slot.inGroup.repeatAfter;
        if ((backward && !endingOfThis) || endsGroup) startSection(n + 1);
        n += 1;
    }
    return compressOrder(played);
}

// --- the score as heard ---------------------------------------------------

// Measure `number`, or past the score's last the measure after it.
function scoreMeasure(measures, number) {
    return number <= measures.length ? measures[number - 1] : measureAfter(measures);
}

// The measure holding an absolute score position (the last one starting at
// or before it).
function measureAt(starts, count, position) {
    return Math.max(1, lowerBound(count, (i) => starts[i + 1] <= position));
}

// The region's passes, in hearing order: a pass runs from where the
// hearing enters the region until it reaches the region's end or leaves it,
// so a repeat inside the region is part of one pass, and a region inside a
// repeated passage is heard in a pass each time. Each pass: its heard ticks
// [start, end) and the pieces of score [from, to) it plays, in order.
function regionPasses(heard, span) {
    const passes = [];
    let open = null;
    heard.numbers.forEach((number, k) => {
        const scoreStart = heard.scoreStarts[number];
        const length = heard.measures[k].length;
        const from = Math.max(scoreStart, span[0]);
        const to = Math.min(scoreStart + length, span[1]);
        if (to <= from) {
            open = null;
            return;
        }
        const tick = heard.starts[k + 1] + (from - scoreStart);
        if (open && open.end === tick) {
            const last = open.pieces[open.pieces.length - 1];
            if (from === last[1]) last[1] = to;
            else open.pieces.push([from, to]);
            open.end = tick + (to - from);
        } else {
            open = { start: tick, end: tick + (to - from), pieces: [[from, to]] };
            passes.push(open);
        }
        if (to < scoreStart + length || to === span[1]) open = null;
    });
    return passes;
}

// The passes through a span of score [start, end), as heardScore gives the
// region's.
export function passesThrough(heard, span) {
    return regionPasses(heard, span);
}

// The tempo points along the heard ticks: where a run of consecutive
// measures starts, the tempo in force at its score position (the records
// there, or the last before, or quarter = 120 before any), then every
// record inside it; the last run keeps a record at its very end.
function heardPoints(points, runs) {
    const out = [];
    runs.forEach(({ tick, from, to }, i) => {
        let k = firstAtOrAfter(points, from);
        if (k < points.length && points[k][0] === from) {
            for (; k < points.length && points[k][0] === from; k += 1) out.push([tick, points[k][1]]);
        } else {
            out.push([tick, k > 0 ? points[k - 1][1] : DEFAULT_VALUE]);
        }
        const last = i === runs.length - 1;
        for (; k < points.length && (points[k][0] < to || (last && points[k][0] === to)); k += 1) {
            out.push([tick + points[k][0] - from, points[k][1]]);
        }
    });
    return out;
}

// The index of the first point at or after a position (points in score order).
function firstAtOrAfter(points, position) {
    return lowerBound(points.length, (i) => points[i][0] < position);
}

// The score as heard from its start: the order's measures up to the end of
// the region's last pass and the one heard next, or the whole order without
// a region. Nothing is heard after the order's end: the score's last
// measure, or a Fine.
// points: the records' [position, value] in score units, in score order.
// The result, plain data:
//   measures, numbers   each heard measure and its number in the score
//   starts              starts[k] the tick where the k-th heard measure
//                       starts (1-based, as measureOffsets), one tick per unit
//   scoreStarts         the score's own measure starts
//   points              tempo points [tick, value] along the hearing
//   runs                [{first, last, tick, from, to}]: consecutive measures
//   passes              the region's passes: {start, end} ticks, pieces of score
//   span                the region [start, end) in score units
//   straight            whether the score is heard as written
export function heardScore(measures, order, points, region = null) {
    const count = measures.length;
    const played = expandOrder(order);
    const scoreStarts = measureOffsets(measures, count + 1);
    const span = region ? regionBounds(region, measures, scoreStarts) : null;
    const all = lay(measures, scoreStarts, played);
    const passes = span ? regionPasses(all, span) : [];
    let lastHeard = played.length - 1;
    if (passes.length) {
        const end = passes[passes.length - 1].end;
        while (lastHeard > 0 && all.starts[lastHeard + 1] >= end) lastHeard -= 1;
    }
    const numbers = played.slice(0, lastHeard + 2);
    const heard = lay(measures, scoreStarts, numbers);
    heard.points = heardPoints(points, heard.runs);
    heard.passes = passes;
    heard.span = span;
    heard.straight = isStraight(order, count);
    return heard;
}

// The heard measures laid along the ticks, and their runs of consecutive
// measures.
function lay(measures, scoreStarts, numbers) {
    const heard = { numbers, measures: [], scoreStarts, starts: [0], runs: [] };
    let tick = 0;
    let run = null;
    for (const n of numbers) {
        const m = scoreMeasure(measures, n);
        if (!run || run.last + 1 !== n) {
            run = { first: n, last: n, tick, from: scoreStarts[n], to: scoreStarts[n] };
            heard.runs.push(run);
        }
        run.last = n;
        run.to += m.length;
        heard.measures.push(m);
        heard.starts.push(tick);
        tick += m.length;
    }
    heard.starts.push(tick);
    return heard;
}

// Every tick at which a score position is heard, in hearing order; the
// position of a measure's start is heard where that measure starts.
export function heardTicks(heard, position) {
    const ticks = [];
    heard.runs.forEach(({ tick, from, to }) => {
        if (from <= position && position < to) ticks.push(tick + position - from);
    });
    return ticks;
}

// Where a stretch of score [from, to) sounds each time it is heard: [start,
// end] ticks, in hearing order, cut where the hearing leaves the measures
// it lies in. What sounds along the score (clicks, notes) is placed so.
export function heardSpans(heard, from, to) {
    const spans = [];
    for (const run of heard.runs) {
        const a = Math.max(from, run.from);
        const b = Math.min(to, run.to);
        if (a < b || (a === b && from === to && run.from <= a && a < run.to)) {
            spans.push([run.tick + a - run.from, run.tick + b - run.from]);
        }
    }
    return spans;
}

// The heard measure (1-based, in hearing order) sounding at a tick.
export function heardMeasureAt(heard, tick) {
    let k = 1;
    while (k + 1 < heard.starts.length - 1 && heard.starts[k + 1] <= tick) k += 1;
    return k;
}

// Seconds from the score's start at which a score position is heard, each
// time it is heard.
export function heardSeconds(heard, position) {
    return secondsAt(heard.points, heardTicks(heard, position));
}

// "measures 1 to 8, 1 to 6, 9 to 20": the heard measures as their runs.
export function runsText(runs) {
    const parts = runs.map(({ first, last }) => (first === last ? `${first}` : `${first} to ${last}`));
    const many = runs.length > 1 || runs[0].first !== runs[0].last;
    return `measure${many ? "s" : ""} ${parts.join(", ")}`;
}

// Which hearing of its measure each heard measure is (1 the first time).
export function hearingNumbers(numbers) {
    const seen = new Map();
    return numbers.map((n) => {
        const count = (seen.get(n) ?? 0) + 1;
        seen.set(n, count);
        return count;
    });
}

// A piece of score [from, to) in words: "measures 12 to 19", or with beats
// where it starts or ends inside a measure; each measure with its printed
// number too, where `printed` gives one that differs.
export function pieceText(measures, scoreStarts, [from, to], printed = null) {
    const first = measureAt(scoreStarts, measures.length + 1, from);
    const last = measureAt(scoreStarts, measures.length + 1, to - 1);
    const startsClean = from === scoreStarts[first];
    const endsClean = to === scoreStarts[last] + scoreMeasure(measures, last).length;
    const name = (n) => measureName(n, printed);
    if (startsClean && endsClean) {
        return first === last ? name(first) : `measures ${name(first).slice("measure ".length)} to ${name(last).slice("measure ".length)}`;
    }
    const end = endsClean ? `the end of ${name(last)}` : pointText(last, to - scoreStarts[last], measures, printed);
    return `${pointText(first, from - scoreStarts[first], measures, printed)} to ${end}`;
}
