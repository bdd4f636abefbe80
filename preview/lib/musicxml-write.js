// The score with the ramp in it, as MusicXML (--write): so that the exact
// records the plug-in wrote travel to any program that imports MusicXML.
//
//   writeScore({source, measures, records}, tools) -> Promise<{text, written, outside}>
//     source:   the --score file as readScoreFile read it ({name, root, parts,
//               score}), or null: then a minimal score of `measures` (those
//               of --time), one part of rests. The document is edited and
//               then put back as it was, so that one file read once is
//               written from again and again.
//     measures: the score's measures, as parseTimeRuns or readScore gave them
//     records:  the report's tempo records after the ramp, [measure, position, value, ...]
//     words:    what to show of the ramps (marks.js's rampWords), or none
//     tools:    {DOMParser, XMLSerializer, JSZip} (the browser's own, or Debian's under Node)
//   text:    the score as MusicXML text (UTF-8), plain even when read from .mxl
//   written: the records added to the score, [measure, position, value]
//   outside: the records after the score's last measure, which no measure holds
//   checkWriteName(path) refuses a name the text cannot honestly go to.
//
// Words shown for the ramps ("rit." with dashes to its end, "a tempo") go
// over the first part. Each record added is a <direction> holding a hidden
// metronome mark and
// <sound tempo> (quarter notes per minute), reached with <backup>/<forward>
// from the end of its measure in the last part that has the measure, and
// followed by a move back there: <offset> would not move the sound. The
// tempo marks whose records the plug-in removed (those the report no longer
// holds) go; everything else stays as it was. When
// a record falls between the part's divisions, the part counts finer: every
// duration in it is multiplied alike, so nothing moves.
import { InputError, UNITS_PER_QUARTER, meterLength, parseMeter } from "./music.js";
import {
    attribute, children, markRecord, parseScoreDocument, quarterTempoValue, readParts, tagOf,
} from "./musicxml.js";
import { ZERO, compare, fraction, multiply, subtract } from "./numbers.js";
import { rampWords } from "./marks.js";

export function checkWriteName(path) {
    if (/\.mxl$/i.test(path)) {
        throw new InputError(`--write ${path}: the score is written as plain MusicXML; name a .musicxml or .xml file`);
    }
}

export async function writeScore({ source, measures, records, words = [] }, tools = {}) {
    const { XMLSerializer = globalThis.XMLSerializer } = tools;
    const { root, parts, score } = source ?? await minimalRead(measures, tools);
    const count = score.measures.length;
    const after = records.map((r) => r.slice(0, 3));
    const removed = withoutRecords(score.tempo, after);
    const added = withoutRecords(after, withoutRecords(score.tempo, removed));
    const written = added.filter(([m]) => m >= 1 && m <= count);
    const edits = new Edits();
    let text;
    try {
        removeMarks(parts, count, removed, edits);
        placeRecords(parts, score.measures, written, edits, words);
        text = serialize(root.ownerDocument, XMLSerializer);
    } finally {
        edits.undo();
    }
    return { text, written, outside: recordsPastScore(added, count) };
}

// The records no measure of a score of `count` measures holds: the step
// back to the start tempo after a region that ends the score.
export function recordsPastScore(records, count) {
    return records.filter(([m]) => m < 1 || m > count);
}

// --- the document's edits, and the way back ------------------------------

// Every change made to the document, each with its undoing, undone last
// first. An attribute removed comes back where it stood among the others.
class Edits {
    constructor() {
        this.undoings = [];
    }

    remove(node) {
        const parent = node.parentNode;
        if (!parent) return;
        const next = node.nextSibling;
        parent.removeChild(node);
        this.undoings.push(() => parent.insertBefore(node, next));
    }

    // `node` new, or moved from where it stood.
    insert(parent, node, before) {
        const [from, next] = [node.parentNode, node.nextSibling];
        parent.insertBefore(node, before);
        this.undoings.push(() => (from ? from.insertBefore(node, next) : parent.removeChild(node)));
    }

    setAttribute(element, name, value) {
        const old = attribute(element, name);
        element.setAttribute(name, value);
        this.undoings.push(() => (old === null ? element.removeAttribute(name) : element.setAttribute(name, old)));
    }

    removeAttribute(element, name) {
        const all = Array.from(element.attributes, (a) => [a.name, a.value]);
        if (!all.some(([n]) => n === name)) return;
        element.removeAttribute(name);
        this.undoings.push(() => {
            for (const [n] of all) element.removeAttribute(n);
            for (const [n, value] of all) element.setAttribute(n, value);
        });
    }

    undo() {
        while (this.undoings.length) this.undoings.pop()();
    }
}

// --- the score of --time -------------------------------------------------

async function minimalRead(measures, tools) {
    const root = await parseScoreDocument(new TextEncoder().encode(minimalScore(measures)), "the score", tools);
    return { root, ...readParts(root, "the score") };
}

const MINIMAL_DIVISIONS = 16; // a 64th note is one division: every meter's measure is whole

// The minimal score of meter runs as MusicXML text: one part, a whole-measure
// rest in each measure. The page draws it as the notation of meter runs.
export function minimalScore(measures) {
    const unit = UNITS_PER_QUARTER / MINIMAL_DIVISIONS;
    let shownMeter = null;
    const bars = measures.map((m, index) => {
        const [beats, beatType] = m.meter.split("/");
        const time = m.meter === shownMeter ? "" : `<time><beats>${beats}</beats><beat-type>${beatType}</beat-type></time>`;
        const first = index === 0
            ? `<attributes><divisions>${MINIMAL_DIVISIONS}</divisions><key><fifths>0</fifths></key>${time}`
              + "<clef><sign>G</sign><line>2</line></clef></attributes>\n      "
            : time && `<attributes>${time}</attributes>\n      `;
        shownMeter = m.meter;
        const implicit = m.length === meterLength(parseMeter(m.meter, "meter")) ? "" : ' implicit="yes"';
        return `    <measure number="${index + 1}"${implicit}>\n      ${first}`
            + `<note><rest measure="yes"/><duration>${m.length / unit}</duration></note>\n    </measure>`;
    });
    return `<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE score-partwise PUBLIC "-//Recordare//DTD MusicXML 4.0 Partwise//EN" "http://www.musicxml.org/dtds/partwise.dtd">
<score-partwise version="4.0">
  <part-list>
    <score-part id="P1"><part-name>Music</part-name></score-part>
  </part-list>
  <part id="P1">
${bars.join("\n")}
  </part>
</score-partwise>
`;
}

// --- the marks the ramp replaces -----------------------------------------

// Every copy of a removed record's mark goes, in whichever parts carry it.
function removeMarks(parts, count, removed, edits) {
    const keys = new Set(removed.map((r) => r.join(" ")));
    for (const part of parts) {
        part.measures.slice(0, count).forEach((m, index) => {
            for (const mark of m.marks) {
                if (keys.has(markRecord(index + 1, mark).join(" "))) removeMark(mark, edits);
            }
        });
    }
}

// The mark's tempo goes, and with it the metronome mark that shows it (a
// program reading the score would play that one instead); words such as
// "rit." stay. A <sound> left empty goes too; a <direction> left with
// nothing to show leaves its <sound> in its place when that still says
// something (dynamics="80"), with the offset that moved it.
function removeMark(mark, edits) {
    const { sound, holder } = mark;
    edits.removeAttribute(sound, "tempo");
    const soundEmpty = sound.attributes.length === 0 && children(sound).length === 0;
    if (soundEmpty) removeNode(sound, edits);
    if (tagOf(holder) !== "direction") return;
    for (const type of children(holder, "direction-type")) {
        if (children(type).every((c) => tagOf(c) === "metronome")) removeNode(type, edits);
    }
    if (children(holder, "direction-type").length > 0) return;
    if (!soundEmpty) {
        const offset = children(holder, "offset")[0];
        if (offset && attribute(offset, "sound") === "yes") edits.insert(sound, offset, null);
        edits.insert(holder.parentNode, sound, holder);
    }
    removeNode(holder, edits);
}

// A node, and the line break and indent before it.
function removeNode(node, edits) {
    if (!node.parentNode) return;
    const before = node.previousSibling;
    if (before && before.nodeType === 3 && before.nodeValue.trim() === "") edits.remove(before);
    edits.remove(node);
}

// `records` less one of each record in `less` (records are [m, p, value]).
function withoutRecords(records, less) {
    const left = new Map();
    for (const r of less) left.set(r.join(" "), (left.get(r.join(" ")) ?? 0) + 1);
    return records.filter((r) => {
        const key = r.join(" ");
        if (!left.get(key)) return true;
        left.set(key, left.get(key) - 1);
        return false;
    });
}

// --- the records added ---------------------------------------------------

// Each record, and each word shown for the ramps (words: [{measure,
// position, text, dashes}], `text` null for the dashes' stop alone), as a
// <direction> where it stands: a record in the last part that has its
// measure, a word over the first part, where programs show a score's tempo.
function placeRecords(parts, measures, records, edits, words = []) {
    const entries = [
        ...words.filter((word) => word.measure <= parts[0].measures.length)
            .map((word) => ({ part: 0, measure: word.measure, position: word.position, make: (d) => wordDirection(d, word) })),
        ...records.map(([measure, position, value]) => ({
            part: lastPartWith(parts, measure), measure, position, make: (d) => tempoDirection(d, value),
        })),
    ];
    const byPart = new Map();
    for (const entry of entries) {
        if (!byPart.has(entry.part)) byPart.set(entry.part, new Map());
        const byMeasure = byPart.get(entry.part);
        if (!byMeasure.has(entry.measure)) byMeasure.set(entry.measure, []);
        byMeasure.get(entry.measure).push(entry);
    }
    for (const [partIndex, byMeasure] of byPart) {
        const part = parts[partIndex];
        const plans = [...byMeasure].map(([number, placed]) => ({
            walk: part.measures[number - 1], length: measures[number - 1].length, records: placed,
        }));
        const factor = plans.reduce((k, plan) => lcm(k, finerBy(plan)), 1n);
        if (factor > 1n) countFiner(part.element, factor, edits);
        for (const plan of plans) insertRecords(plan, factor, edits);
    }
}

// Records go into the last part that has their measure, after its own marks
// there: the later of two records at one position is the one that holds.
function lastPartWith(parts, number) {
    for (let i = parts.length - 1; i > 0; i -= 1) if (parts[i].measures.length >= number) return i;
    return 0;
}

// The divisions a measure's walk ended in (1 when the part has none yet).
function divisionsOf(walk) {
    return walk.divisions ?? 1n;
}

// The moves (in units) from the end of the measure to each record and back.
function moves(plan) {
    const steps = [];
    let at = plan.walk.cursor;
    for (const { position } of plan.records) {
        const target = fraction(position);
        steps.push(subtract(target, at));
        at = target;
    }
    steps.push(subtract(endOf(plan), at));
    return steps;
}

// Where the walk is left after the records: back where the part's content
// ended, but in a measure the part leaves empty at the measure's end, so that
// a move to a record does not become content that makes a measure empty in
// every part (a whole rest's length, as notation programs show it) shorter.
function endOf(plan) {
    return plan.walk.content === 0 ? fraction(BigInt(plan.length)) : plan.walk.cursor;
}

// How many times finer the part must count for every move to be whole.
function finerBy(plan) {
    const perUnit = fraction(divisionsOf(plan.walk), BigInt(UNITS_PER_QUARTER));
    return moves(plan).reduce((k, step) => lcm(k, multiply(step, perUnit).d), 1n);
}

function gcd(a, b) {
    while (b) [a, b] = [b, a % b];
    return a;
}

function lcm(a, b) {
    return (a / gcd(a, b)) * b;
}

// Every division count in the part times `factor`: the same music, counted
// finer.
function countFiner(part, factor, edits) {
    for (const element of Array.from(part.getElementsByTagName("*"))) {
        const tag = tagOf(element);
        if (tag === "divisions" || tag === "duration" || tag === "offset") {
            setText(element, scaled(element.textContent, factor), edits);
        } else if (tag === "note") {
            for (const name of ["attack", "release"]) {
                const value = attribute(element, name);
                if (value !== null) edits.setAttribute(element, name, scaled(value, factor));
            }
        }
    }
}

// A decimal number times a whole factor, exactly; other text as it was.
function scaled(text, factor) {
    const match = /^\s*([+-]?)([0-9]*)(?:\.([0-9]*))?\s*$/.exec(text);
    if (!match || !/[0-9]/.test(text)) return text;
    const [, sign, whole, decimals = ""] = match;
    const digits = (BigInt((whole || "0") + decimals) * factor).toString().padStart(decimals.length + 1, "0");
    const integer = digits.slice(0, digits.length - decimals.length);
    const fractionPart = digits.slice(digits.length - decimals.length).replace(/0+$/, "");
    return `${sign}${integer}${fractionPart ? `.${fractionPart}` : ""}`;
}

function setText(element, text, edits) {
    while (element.firstChild) edits.remove(element.firstChild);
    edits.insert(element, element.ownerDocument.createTextNode(text), null);
}

function insertRecords(plan, factor, edits) {
    const measure = plan.walk.element;
    const document = measure.ownerDocument;
    const divisions = divisionsOf(plan.walk) * factor;
    const perUnit = fraction(divisions, BigInt(UNITS_PER_QUARTER));
    const added = [];
    if (plan.walk.divisions === null) added.push(element(document, "attributes", [element(document, "divisions", divisions)]));
    const steps = moves(plan);
    plan.records.forEach((entry, i) => {
        added.push(...move(document, multiply(steps[i], perUnit)), entry.make(document));
    });
    added.push(...move(document, multiply(steps[steps.length - 1], perUnit)));
    const anchor = insertionPoint(measure);
    const indent = indentOf(measure);
    for (const node of added) {
        if (indent) edits.insert(measure, document.createTextNode(indent), anchor);
        edits.insert(measure, node, anchor);
    }
}

function move(document, amount) {
    const sign = compare(amount, ZERO);
    if (sign === 0) return [];
    const divisions = sign > 0 ? amount.n : -amount.n;
    return [element(document, sign > 0 ? "forward" : "backup", [element(document, "duration", divisions)])];
}

function tempoDirection(document, value) {
    const bpm = tempoText(value);
    const metronome = element(document, "metronome", [
        element(document, "beat-unit", "quarter"), element(document, "per-minute", bpm),
    ]);
    metronome.setAttribute("print-object", "no");
    const sound = element(document, "sound", []);
    sound.setAttribute("tempo", bpm);
    const direction = element(document, "direction", [element(document, "direction-type", [metronome]), sound]);
    direction.setAttribute("placement", "above");
    return direction;
}

// "rit." in italics, with the dashes that carry it to the ramp's end
// starting beside it; or the dashes' stop alone.
function wordDirection(document, word) {
    const types = [];
    if (word.text !== null) {
        const words = element(document, "words", word.text);
        words.setAttribute("font-style", "italic");
        types.push(element(document, "direction-type", [words]));
    }
    if (word.dashes) {
        const dashes = element(document, "dashes", []);
        dashes.setAttribute("type", word.dashes);
        dashes.setAttribute("number", "1");
        types.push(element(document, "direction-type", [dashes]));
    }
    const direction = element(document, "direction", types);
    direction.setAttribute("placement", "above");
    return direction;
}

function element(document, name, content) {
    const made = document.createElement(name);
    if (Array.isArray(content)) for (const c of content) made.appendChild(c);
    else made.appendChild(document.createTextNode(String(content)));
    return made;
}

// The node to insert before: the barlines that close the measure and the
// white space before them and before its end stay last (null: the very end).
function insertionPoint(measure) {
    let anchor = null;
    for (let node = measure.lastChild; node; node = node.previousSibling) {
        const barline = node.nodeType === 1 && tagOf(node) === "barline";
        const space = node.nodeType === 3 && node.nodeValue.trim() === "";
        if (!barline && !space) break;
        anchor = node;
    }
    return anchor;
}

// The line break and indent of the measure's last element, if it has one.
function indentOf(measure) {
    const last = children(measure).at(-1);
    const before = last?.previousSibling;
    return before && before.nodeType === 3 && before.nodeValue.trim() === "" ? before.nodeValue : "";
}

// The shortest decimal quarter-note tempo whose tempo value is `value`, so
// that reading it back gives the record exactly.
export function tempoText(value) {
    const target = BigInt(value);
    // the lowest per-second count P with floor(P * 16 / 1000) = value, as
    // quarter notes per minute: P * 60 / (1024 * 4096)
    const low = fraction(ceilDivide(target * 1000n, 16n) * 60n, BigInt(UNITS_PER_QUARTER) * 4096n);
    for (let digits = 0n; ; digits += 1n) {
        const scale = 10n ** digits;
        const candidate = ceilDivide(low.n * scale, low.d);
        if (quarterTempoValue(fraction(candidate, scale)) === target) return decimalText(candidate, digits);
    }
}

// a / b rounded up, for a >= 0 and b > 0.
function ceilDivide(a, b) {
    return (a + b - 1n) / b;
}

function decimalText(n, digits) {
    if (digits === 0n) return n.toString();
    const text = n.toString().padStart(Number(digits) + 1, "0");
    return `${text.slice(0, -Number(digits))}.${text.slice(-Number(digits))}`;
}

// --- the text ------------------------------------------------------------

// The XML declaration as this file has it (UTF-8, whatever the source had),
// then the document's nodes one to a line, as any serializer writes them.
function serialize(document, XMLSerializer) {
    const serializer = new XMLSerializer();
    const nodes = Array.from(document.childNodes).filter((node) =>
        node.nodeType !== 3 && !(node.nodeType === 7 && String(node.target ?? node.nodeName).toLowerCase() === "xml"));
    return `<?xml version="1.0" encoding="UTF-8"?>\n${nodes.map((n) => serializer.serializeToString(n)).join("\n")}\n`;
}

// The score (or the measures of the meter runs, as a minimal score) with
// the records the plug-in left in it: {text, written, outside}, as
// writeScore gives them. The marks the plug-in removed go from the score.
// runs ([{region, start, stop, after}]): the ramps whose words to show.
export function scoreWithRamp(checked, report, tools = {}, runs = []) {
    return writeScore({
        source: checked.source, measures: checked.score.measures, records: report.tempo || [],
        words: rampWords(runs, checked.score.measures, checked.source),
    }, tools);
}
