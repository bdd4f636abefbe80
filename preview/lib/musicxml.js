// Reads what the preview needs from a MusicXML score (.musicxml, .xml or
// compressed .mxl): the measures of its first part, numbered 1, 2, 3, ... in
// score order as Finale numbers them, and the playback tempo marks of all its
// parts as the tempo records they become. The walk through a measure (where
// each element stands, in exact fractions of units) is written once, here;
// the writer (musicxml-write.js) edits the score along the same walk.
//
// Browser-safe: the XML parser and the zip reader are passed in as `tools`,
// {DOMParser, JSZip}: the browser's own DOMParser and a bundled JSZip on the
// page; Debian's node-xmldom and node-jszip under Node. Reading the file is
// the caller's: it passes the bytes and the name to show in messages.
import {
    InputError, UNITS_PER_QUARTER, beatTempoValue, checkMeasureCount, fullMeasure, lengthText, measuresName, meterLength, parseMeter,
    partialMeasure,
} from "./music.js";
import { ZERO, add, compare, formatG, fraction, multiply, roundHalfEven, withThousands } from "./numbers.js";
import { playbackOrder } from "./playback.js";

// The largest score read, plain or as what the members of an .mxl archive
// inflate to, all together. Parsed and walked, a score takes some 25 times
// its size in memory (12 MB of 1,000 measures in 10 parts took 300 MB): a
// larger one would take a tab's or the command line's whole memory rather
// than be refused. A file is read no further than this, and an archive is
// counted while it inflates, so a zip bomb (hundreds of megabytes from a few
// hundred kilobytes) is stopped here, unparsed.
export const LARGEST_SCORE_BYTES = 32 * 2 ** 20;
export const LARGEST_INFLATED = LARGEST_SCORE_BYTES;

export function scoreTooLarge(fileName) {
    return new InputError(`${fileName} is larger than ${LARGEST_SCORE_BYTES / 2 ** 20} MB, more than the preview reads`);
}
// Elements nest about a dozen deep in MusicXML; a document nested far deeper
// is refused before a parser or a walk through it can run out of stack.
export const DEEPEST_NESTING = 100;
// Durations in divisions that share little with each other (the divisions
// changed many times in a measure) make an exact position's denominator grow
// with each: beyond this a measure is refused rather than counted ever more
// slowly. Real scores stay many orders of magnitude below it.
const LARGEST_DENOMINATOR = 2n ** 40n;
export const LARGEST_VALUE = 0x7fffffff;
const ZIP_SIGNATURE = [0x50, 0x4b, 0x03, 0x04];

// {measures, tempo: [[measure, position, value], ...]} of the score.
export async function readScore(bytes, fileName, tools = {}) {
    const root = await parseScoreDocument(bytes, fileName, tools);
    return readParts(root, fileName).score;
}

// The score's root element (<score-partwise>), parsed and checked; the
// score inside an .mxl archive when the bytes are one. `largest`: what an
// archive may inflate to (LARGEST_INFLATED; smaller in tests).
export async function parseScoreDocument(bytes, fileName, tools = {}, largest = LARGEST_INFLATED) {
    const { DOMParser = globalThis.DOMParser, JSZip = globalThis.JSZip } = tools;
    if (bytes.length === 0) throw new InputError(`${fileName} is not MusicXML: the file is empty`);
    if (bytes.length > LARGEST_SCORE_BYTES) throw scoreTooLarge(fileName);
    const other = otherFormat(bytes, fileName);
    if (other) throw new InputError(`${fileName} is not MusicXML but ${other}`);
    let data = bytes;
    if (ZIP_SIGNATURE.every((byte, i) => bytes[i] === byte)) data = await mxlScore(bytes, fileName, { DOMParser, JSZip }, largest);
    const document = parseXml(data, DOMParser, fileName, (detail) => new InputError(looksLikeMarkup(data)
        ? `${fileName} is not MusicXML: not well-formed XML (${detail})`
        : `${fileName} is not MusicXML: it holds no score; ${EXPORT_ADVICE}`));
    const found = document.documentElement;
    const tag = tagOf(found);
    if (tag === "museScore") throw new InputError(`${fileName} is not MusicXML but ${FORMATS.musescore}`);
    const root = tag === "score-timewise" ? partwise(document) : found;
    if (tagOf(root) !== "score-partwise") throw new InputError(`${fileName} is not MusicXML: it holds no score; ${EXPORT_ADVICE}`);
    return root;
}

// A timewise score (measures that hold the parts) as the usual partwise one
// (parts that hold the measures), in its own document: the same elements,
// nested the other way round, as MusicXML's own conversion does it, so
// that everything after reads one form. Its DOCTYPE, which names the
// timewise form, goes: a score written from it is partwise.
function partwise(document) {
    const timewise = document.documentElement;
    const root = document.createElement("score-partwise");
    copyAttributes(timewise, root);
    const parts = new Map();
    for (const node of Array.from(timewise.childNodes)) {
        if (tagOf(node) !== "measure") {
            root.appendChild(node);
            continue;
        }
        for (const part of children(node, "part")) {
            const id = attribute(part, "id") ?? "";
            if (!parts.has(id)) {
                const holder = document.createElement("part");
                holder.setAttribute("id", id);
                parts.set(id, holder);
            }
            const measure = document.createElement("measure");
            copyAttributes(node, measure);
            while (part.firstChild) measure.appendChild(part.firstChild);
            parts.get(id).appendChild(measure);
        }
    }
    for (const holder of parts.values()) root.appendChild(holder);
    for (const node of Array.from(document.childNodes)) {
        if (node.nodeType === DOCUMENT_TYPE_NODE) document.removeChild(node);
    }
    document.replaceChild(root, timewise);
    return root;
}

const DOCUMENT_TYPE_NODE = 10;

function copyAttributes(from, to) {
    for (let i = 0; i < from.attributes.length; i += 1) {
        const { name, value } = from.attributes.item(i);
        to.setAttribute(name, value);
    }
}

const EXPORT_ADVICE = "in the program that wrote the score, export it as MusicXML, and open that";
const FORMATS = {
    finale: "a Finale file: in Finale choose File > Export > MusicXML, and open that",
    musescore: "a MuseScore file: in MuseScore choose File > Export, pick MusicXML, and open that",
    dorico: "a Dorico project: in Dorico choose File > Export > MusicXML, and open that",
    sibelius: "a Sibelius file: in Sibelius choose File > Export > MusicXML, and open that",
    pdf: "a PDF, printed pages rather than the score's notes: open the score in the program that wrote it, "
        + "export it as MusicXML, and open that",
    image: "a picture, not the score's notes: open the score in the program that wrote it, export it as MusicXML, "
        + "and open that",
    midi: "a MIDI file, which keeps no measures or meters to time: open it in a notation program, export it as MusicXML, "
        + "and open that",
};
const EXTENSIONS = [
    [/\.(musx|mus|mus2|ftm|ftmx)$/i, "finale"], [/\.(mscz|mscx|mscz,)$/i, "musescore"], [/\.dorico$/i, "dorico"],
    [/\.sib$/i, "sibelius"], [/\.pdf$/i, "pdf"], [/\.(mid|midi|kar)$/i, "midi"],
    [/\.(png|jpe?g|gif|bmp|tiff?|webp|heic)$/i, "image"],
];
const SIGNATURES = [
    ["%PDF", "pdf"], ["MThd", "midi"], ["\x89PNG", "image"], ["\xff\xd8\xff", "image"], ["GIF8", "image"],
    ["II*\x00", "image"], ["MM\x00*", "image"],
];

// What another program's file is, by its first bytes or else its name, in
// words that say what to do instead; null for what may be MusicXML.
function otherFormat(bytes, fileName) {
    const head = String.fromCharCode(...bytes.subarray(0, 8));
    const signed = SIGNATURES.find(([start]) => head.startsWith(start));
    if (signed) return FORMATS[signed[1]];
    const named = EXTENSIONS.find(([pattern]) => pattern.test(fileName.trim()));
    return named ? FORMATS[named[1]] : null;
}

// Whether a text that is no XML document still looks like markup (a score
// cut short or damaged), whose parser's complaint helps.
function looksLikeMarkup(bytes) {
    for (const byte of bytes.subarray(0, 64)) {
        if (byte === 0x3c) return true;
        if (![0x20, 0x09, 0x0a, 0x0d, 0xef, 0xbb, 0xbf, 0xff, 0xfe, 0x00].includes(byte)) return false;
    }
    return false;
}

// Everything read from the score: the score itself, and for each part the
// walk of each of its measures (elements, marks, where the walk ended).
export function readParts(root, fileName) {
    const parts = children(root, "part");
    if (!parts.length || !children(parts[0], "measure").length) {
        throw new InputError(`${fileName}: the score has no measures`);
    }
    const remarks = [];
    const walked = parts.map((part, index) => ({ element: part, measures: readPart(part, index === 0, remarks) }));
    const measures = buildMeasures(walked, partName(parts[0]));
    const marks = playbackMarks(walked, measures.length, fileName);
    const printed = walked[0].measures.map((m) => printedNumber(m.element));
    const score = {
        measures, tempo: tempoRecords(walked, measures.length), marks,
        order: playbackOrder(measures.length, marks, fileName), printed,
        remarks,
    };
    const offMeter = offMeterRemark(walked[0].measures, measures, printed);
    if (offMeter) remarks.unshift({ kind: "measure-length", text: offMeter });
    return { score, parts: walked };
}

// --- XML and the archive -------------------------------------------------

// The parsed document. What no parser should be given is refused first
// (checkMarkup): a parser never sees it, in any engine.
function parseXml(bytes, DOMParser, fileName, failure) {
    let text;
    try {
        text = decodeXml(bytes);
    } catch (error) {
        throw failure(error.message);
    }
    checkMarkup(text, fileName);
    let { document, problems } = parsed(text, DOMParser, false);
    // Only a failure needs the places in the text, which cost every node of
    // a large score a line and a column: it is read again to say where.
    if (problems.length) problems = parsed(text, DOMParser, true).problems;
    const root = document?.documentElement;
    if (!problems.length) {
        const report = parserReport(root);
        if (report) problems.push(cleanMessage((report.getElementsByTagName("div")[0] ?? report).textContent));
        else if (!root) problems.push("no element found");
        else if (textOutsideRoot(document)) problems.push("junk after the document element");
    }
    if (problems.length) throw failure(problems[0]);
    return document;
}

// The document as the parser gave it, and its complaints; `located`: with
// their line and column.
function parsed(text, DOMParser, located) {
    const problems = [];
    const note = (message) => problems.push(cleanMessage(message));
    const options = { errorHandler: { warning: note, error: note, fatalError: note } };
    if (located) options.locator = {};
    let document = null;
    try {
        document = new DOMParser(options).parseFromString(text, "application/xml");
    } catch (error) {
        problems.push(cleanMessage(error.message));
    }
    return { document, problems };
}

// A browser's parser reports in the document itself: Firefox's report is
// the root, Chromium's and WebKit's the root's first child, or under <body>
// where no root was read (the message in a <div>, between two headings).
// Looked for there only: a search of the whole document walked every node
// of a large score.
function parserReport(root) {
    const near = (element) => (element ? children(element) : []);
    return [root, ...near(root), ...near(root).flatMap(near)].find((element) => element?.localName === "parsererror") ?? null;
}

const [GREATER, QUOTE, APOSTROPHE, SLASH, BANG, QUESTION] = [">", '"', "'", "/", "!", "?"].map((c) => c.charCodeAt(0));

// Refuses, before any parser runs, a DOCTYPE that declares entities (a
// browser expands nested ones without limit: a few lines can stand for
// gigabytes) and elements nested deeper than DEEPEST_NESTING. One pass over
// the markup; what is not well-formed is left for the parser to name.
export function checkMarkup(text, fileName) {
    let depth = 0;
    for (let at = text.indexOf("<"); at >= 0; at = text.indexOf("<", at)) {
        const after = text.charCodeAt(at + 1);
        let end;
        if (after === BANG || after === QUESTION) {
            if (text.startsWith("<!--", at)) end = endAfter(text, "-->", at + 4);
            else if (text.startsWith("<![CDATA[", at)) end = endAfter(text, "]]>", at + 9);
            else if (text.startsWith("<!DOCTYPE", at)) end = doctypeEnd(text, at + 9, fileName);
            else if (after === QUESTION) end = endAfter(text, "?>", at + 2);
            else end = tagEnd(text, at);
        } else {
            end = tagEnd(text, at);
            if (after === SLASH) {
                depth -= 1;
            } else if (end > 0) {
                if (depth + 1 > DEEPEST_NESTING) {
                    throw new InputError(`${fileName} is not MusicXML: its elements nest more than ${DEEPEST_NESTING} deep`);
                }
                if (text.charCodeAt(end - 2) !== SLASH) depth += 1;
            }
        }
        if (end < 0) return;
        at = end;
    }
}

// Where the text after `mark` starts (searching from `from`), or -1.
function endAfter(text, mark, from) {
    const found = text.indexOf(mark, from);
    return found < 0 ? -1 : found + mark.length;
}

// Where a tag or declaration that starts at `at` ends: after its '>', which
// a quoted value may hold too; -1 when it never ends.
function tagEnd(text, at) {
    for (let position = at; position < text.length; position += 1) {
        const code = text.charCodeAt(position);
        if (code === GREATER) return position + 1;
        if (code === QUOTE || code === APOSTROPHE) {
            position = text.indexOf(text[position], position + 1);
            if (position < 0) return -1;
        }
    }
    return -1;
}

// The end of a DOCTYPE whose name starts at `at`; its internal subset, when
// it has one, is searched for entity declarations.
function doctypeEnd(text, at, fileName) {
    const pattern = /["'[>]/g;
    pattern.lastIndex = at;
    for (let match = pattern.exec(text); match; match = pattern.exec(text)) {
        let next;
        if (match[0] === ">") return match.index + 1;
        if (match[0] === "[") next = subsetEnd(text, match.index + 1, fileName);
        else next = endAfter(text, match[0], match.index + 1);
        if (next < 0) return -1;
        pattern.lastIndex = next;
    }
    return -1;
}

function subsetEnd(text, at, fileName) {
    let position = at;
    while (position >= 0 && position < text.length) {
        if (text.startsWith("<!--", position)) position = endAfter(text, "-->", position + 4);
        else if (text.startsWith("<?", position)) position = endAfter(text, "?>", position + 2);
        else if (text.startsWith("<!ENTITY", position)) {
            throw new InputError(`${fileName}: a score whose DOCTYPE declares entities is not read (MusicXML needs none)`);
        } else if (text[position] === "<") position = tagEnd(text, position);
        else if (text[position] === "]") return position + 1;
        else position += 1;
    }
    return -1;
}

function textOutsideRoot(document) {
    return Array.from(document.childNodes).some((node) => node.nodeType === 3 && node.nodeValue.trim() !== "");
}

// The parser's complaint on one line, with its place when it tells one.
function cleanMessage(message) {
    const text = String(message);
    const line = text.replace(/^\[xmldom [a-zA-Z]+\]\s*/, "").split("\n")[0].trim() || "unreadable";
    const place = /@#\[line:([0-9]+),col:([0-9]+)\]/.exec(text);
    return place ? `${line}: line ${place[1]}, column ${place[2]}` : line;
}

// The text of the bytes: a byte order mark, or else the encoding that the
// XML declaration names, else UTF-8. The drawing takes the same text, so
// that it shows what the reader read.
export function decodeXml(bytes) {
    let label = "utf-8";
    if (bytes[0] === 0xff && bytes[1] === 0xfe) label = "utf-16le";
    else if (bytes[0] === 0xfe && bytes[1] === 0xff) label = "utf-16be";
    else if (bytes[0] === 0x3c && bytes[1] === 0x00) label = "utf-16le";
    else if (bytes[0] === 0x00 && bytes[1] === 0x3c) label = "utf-16be";
    else {
        const head = String.fromCharCode(...bytes.subarray(0, 200));
        const declared = /^(?:\xef\xbb\xbf)?<\?xml[^>]*?encoding\s*=\s*["']([A-Za-z0-9._-]+)["']/.exec(head);
        if (declared) label = declared[1];
    }
    let decoder;
    try {
        decoder = new TextDecoder(label, { fatal: true });
    } catch {
        throw new Error(`unknown encoding '${label}'`);
    }
    try {
        return decoder.decode(bytes);
    } catch {
        throw new Error(`bytes that are not ${label}`);
    }
}

// The score inside a compressed MusicXML file: the rootfile that its
// META-INF/container.xml names, else its one MusicXML file at the top. What
// the two members inflate to counts against one bound, `largest`.
async function mxlScore(bytes, fileName, { DOMParser, JSZip }, largest) {
    const damaged = (error) => new InputError(`${fileName} is not MusicXML: a damaged .mxl archive (${cleanMessage(error.message)})`);
    let archive;
    try {
        archive = await new JSZip().loadAsync(bytes);
    } catch (error) {
        throw damaged(error);
    }
    const names = Object.keys(archive.files);
    const budget = { left: largest };
    const tooLarge = () => new InputError(`${fileName}: its score inflates to more than ${formatG(largest / 2 ** 20)} MB, `
        + "more than the preview reads");
    // The size the archive declares for a member (JSZip keeps it with the
    // member's compressed data) refuses an archive that says it is too large
    // before anything is inflated; one that understates it is stopped by
    // memberBytes' count, a compressed chunk's inflating later.
    const checkDeclared = (name) => {
        if (Number(archive.files[name]._data?.uncompressedSize) > budget.left) throw tooLarge();
    };
    // A container that cannot be read only leaves the score to be found
    // without it.
    let container = null;
    if (names.includes(CONTAINER)) {
        checkDeclared(CONTAINER);
        try {
            container = await memberBytes(archive.files[CONTAINER], budget);
        } catch (error) {
            if (error.tooLarge) throw tooLarge();
        }
    }
    const member = (container && containerRootfile(container, names, DOMParser, fileName))
        ?? names.find((n) => !n.includes("/") && /\.(musicxml|xml)$/i.test(n));
    if (member === undefined) throw new InputError(`${fileName} is not MusicXML: the archive holds no score`);
    checkDeclared(member);
    try {
        return await memberBytes(archive.files[member], budget);
    } catch (error) {
        throw error.tooLarge ? tooLarge() : damaged(error);
    }
}

const CONTAINER = "META-INF/container.xml";

// The score's name in the archive, as its container names it; null when
// the container cannot be read or names nothing there.
function containerRootfile(bytes, names, DOMParser, fileName) {
    let container;
    try {
        container = parseXml(bytes, DOMParser, fileName, () => new Error("unreadable"));
    } catch {
        return null;
    }
    for (const element of Array.from(container.getElementsByTagName("*"))) {
        const path = attribute(element, "full-path");
        if (element.localName === "rootfile" && path !== null && names.includes(path)) return path;
    }
    return null;
}

// A member's bytes, read chunk by chunk and counted against the budget, so
// that an archive that inflates past it is stopped there instead of filling
// the memory.
function memberBytes(entry, budget) {
    return new Promise((resolve, reject) => {
        const chunks = [];
        let size = 0;
        const stream = entry.internalStream("uint8array");
        stream.on("data", (chunk) => {
            size += chunk.length;
            budget.left -= chunk.length;
            if (budget.left < 0) {
                stream.pause();
                reject(Object.assign(new Error("too large"), { tooLarge: true }));
                return;
            }
            chunks.push(chunk);
        });
        stream.on("error", reject);
        stream.on("end", () => {
            const all = new Uint8Array(size);
            let at = 0;
            for (const chunk of chunks) {
                all.set(chunk, at);
                at += chunk.length;
            }
            resolve(all);
        });
        stream.resume();
    });
}

// --- the DOM, as the preview looks at it ---------------------------------

// An element's name; one in a namespace as {namespace}name, which no
// MusicXML element is.
export function tagOf(element) {
    return element.namespaceURI ? `{${element.namespaceURI}}${element.localName}` : element.nodeName;
}

// Walked sibling by sibling: copying the child list first made a large
// score's reading spend a third of its time here.
export function children(element, tag = null) {
    const found = [];
    for (let node = element.firstChild; node; node = node.nextSibling) {
        if (node.nodeType === 1 && (tag === null || tagOf(node) === tag)) found.push(node);
    }
    return found;
}

export function child(element, tag) {
    for (let node = element.firstChild; node; node = node.nextSibling) {
        if (node.nodeType === 1 && tagOf(node) === tag) return node;
    }
    return null;
}

// The text of the first child of that name, or null without one.
export function childText(element, tag) {
    const found = child(element, tag);
    return found === null ? null : found.textContent;
}

// An attribute's value, or null when the element has none (xmldom answers
// "" for a missing one).
export function attribute(element, name) {
    return element.hasAttribute(name) ? element.getAttribute(name) : null;
}

export function partName(part) {
    return `part ${attribute(part, "id") ?? "?"}`;
}

// --- numbers in the score ------------------------------------------------

// A whole number as the score writes it (ASCII digits, a sign, spaces
// around), or null.
export function wholeNumber(text) {
    const match = /^\s*([+-]?[0-9]+)\s*$/.exec(text ?? "");
    return match ? BigInt(match[1]) : null;
}

function positiveInt(element, tag, where) {
    const text = childText(element, tag);
    const value = wholeNumber(text);
    if (value === null || value < 1n) {
        throw new InputError(`${where}: <${tag}> must be a positive whole number, not '${shown(text)}'`);
    }
    return value;
}

// A missing text shows as None where a message quotes it.
function shown(text) {
    return text === null ? "None" : text;
}

export function durationOf(element, where) {
    const text = childText(element, "duration");
    if (text === null) return 0n;
    const value = wholeNumber(text);
    if (value === null) throw new InputError(`${where}: cannot read the duration '${text}'`);
    return value < 0n ? 0n : value;
}

// A decimal ("72.5", "1e2", "+96") or a ratio ("145/2") as an exact
// fraction; null when it is neither; "huge" or "tiny" when its exponent puts
// it beyond any tempo.
export function numberFraction(text) {
    const trimmed = text.trim();
    const ratio = /^([+-]?)([0-9]+)\/([0-9]+)$/.exec(trimmed);
    if (ratio) {
        if (BigInt(ratio[3]) === 0n) return null;
        return fraction(BigInt(ratio[1] + ratio[2]), BigInt(ratio[3]));
    }
    const decimal = /^([+-]?)([0-9]*)(?:\.([0-9]*))?(?:[eE]([+-]?[0-9]+))?$/.exec(trimmed);
    if (!decimal || !/[0-9]/.test((decimal[2] ?? "") + (decimal[3] ?? ""))) return null;
    const [, sign, whole = "", decimals = "", exponentText = "0"] = decimal;
    const exponent = BigInt(exponentText) - BigInt(decimals.length);
    const mantissa = BigInt(sign + (whole + decimals || "0"));
    const reach = BigInt(trimmed.length + 20);
    if (mantissa !== 0n && exponent > reach) return mantissa > 0n ? "huge" : fraction(-1n);
    if (mantissa !== 0n && exponent < -reach) return mantissa > 0n ? "tiny" : fraction(-1n);
    return exponent >= 0n ? fraction(mantissa * 10n ** exponent) : fraction(mantissa, 10n ** -exponent);
}

// The host's tempo value of quarter = bpm (fractions allowed).
export function quarterTempoValue(bpm) {
    return beatTempoValue(UNITS_PER_QUARTER, bpm);
}

// The quarter-note BPM of a <sound tempo>, or null without one. One that
// cannot be read or played (tempo="fast", "0") is left out, and said.
function tempoMark(sound, where, remarks) {
    const text = attribute(sound, "tempo");
    if (text === null) return null;
    const bpm = numberFraction(text);
    const playable = bpm !== null && bpm !== "huge" && bpm !== "tiny" && compare(bpm, ZERO) > 0
        && quarterTempoValue(bpm) >= 1n && quarterTempoValue(bpm) <= BigInt(LARGEST_VALUE);
    if (!playable) {
        remark(remarks, "tempo", `a tempo that is no playable quarter-note tempo is left out (${where}: '${text.trim()}')`);
        return null;
    }
    return bpm;
}

// A direction's <offset> moves its sound only when it says so; one that is
// no whole number moves nothing, and is said.
export function directionOffset(direction, where, remarks = null) {
    const offset = child(direction, "offset");
    if (offset === null || attribute(offset, "sound") !== "yes") return 0n;
    const text = offset.hasChildNodes() ? offset.textContent : null;
    const value = wholeNumber(text);
    if (value === null) {
        remark(remarks, "offset", `an offset that is no whole number moves nothing (${where}: '${(text ?? "").trim()}')`);
        return 0n;
    }
    return value;
}

// What was read leniently, said once for each kind ({kind, text}): the
// first place it was met stands for all.
export function remark(remarks, kind, text) {
    if (remarks && !remarks.some((r) => r.kind === kind)) remarks.push({ kind, text });
}

// --- the walk ------------------------------------------------------------

// One entry per measure of the part: its element, its meter (the first
// part's only), whether it is implicit, its content length (units), its
// tempo marks, and where the walk left it: the cursor (exact units) and the
// divisions then in force. Divisions, the meter and the transposition carry
// from measure to measure, and the measure's <attributes> are kept. Each
// note (placedNote) and each <sound dynamics> is kept where the walk met it
// (its start, the divisions and the transposition in force);
// what they sound is read from them only when the notes are asked for
// (notes.js), so a score read for its measures is not refused for them.
export function readPart(part, isFirst, remarks = null) {
    const context = { divisions: null, meter: null, meters: isFirst, transpose: [], remarks };
    return children(part, "measure").map((measure, index) =>
        readMeasure(measure, context, `${partName(part)}, measure ${index + 1}`));
}

function readMeasure(measure, context, where) {
    // The cursor counts units as an exact fraction, so that durations in
    // divisions that do not divide 1024 (triplets) add up exactly.
    let cursor = ZERO, longest = ZERO, noteStart = ZERO;
    const marks = [], notes = [], levels = [], cues = [], attributes = [];
    for (const element of children(measure)) {
        const tag = tagOf(element);
        if (tag === "attributes") {
            readAttributes(element, context, where);
            attributes.push(element);
        } else if (tag === "barline") {
            cues.push(barlineCue(element, longest));
        } else if (tag === "direction" || tag === "sound") {
            if (tag === "direction") cues.push(directionCue(element, cursor));
            const mark = soundMark(element, context, where);
            if (mark) {
                const position = roundHalfEven(add(cursor, mark.offset));
                marks.push({ position: position < 0n ? 0n : position, value: mark.value, holder: element, sound: mark.sound });
            }
            if (soundOf(element)?.hasAttribute("dynamics")) levels.push({ holder: element, cursor, divisions: context.divisions });
        } else {
            const placed = tag === "note" ? placedNote(element, context) : null;
            if (placed) {
                // A chord's notes start where its first note started.
                if (!placed.chord) noteStart = cursor;
                placed.start = noteStart;
                notes.push(placed);
                if (placed.fermata) cues.push({ kind: "fermata", at: noteStart });
            }
            cursor = add(cursor, advance(element, context, where, placed));
            if (cursor.d > LARGEST_DENOMINATOR) {
                throw new InputError(`${where}: its <divisions> change too often to count positions exactly`);
            }
        }
        if (compare(cursor, longest) > 0) longest = cursor;
    }
    return {
        element: measure, meter: context.meter, implicit: attribute(measure, "implicit") === "yes",
        content: Number(roundHalfEven(longest)), marks, cursor, divisions: context.divisions, notes, levels, cues, attributes,
    };
}

// What a score says of its tempo in words and signs, handed over unjudged
// (marks.js reads them): each cue's `at` is where the walk stood, in exact
// units from the measure's start.
//   {kind: "direction", at, words: [text], dashes: [{type, number}],
//    metronome: {unit, dots, perMinute} | null, tempo: <sound tempo> text | null}
//   {kind: "fermata", at}
//   {kind: "barline", at, location, style, fermata}
function directionCue(direction, at) {
    const words = [], dashes = [];
    let metronome = null;
    for (const type of children(direction, "direction-type")) {
        for (const item of children(type)) {
            const tag = tagOf(item);
            if (tag === "words") words.push(item.textContent);
            if (tag === "dashes") dashes.push({ type: attribute(item, "type"), number: attribute(item, "number") ?? "1" });
            if (tag === "metronome" && metronome === null) {
                metronome = {
                    unit: childText(item, "beat-unit"), dots: children(item, "beat-unit-dot").length,
                    perMinute: childText(item, "per-minute"),
                };
            }
        }
    }
    const sound = child(direction, "sound");
    return { kind: "direction", at, words, dashes, metronome, tempo: sound === null ? null : attribute(sound, "tempo") };
}

// A note as the walk keeps it, with what its children make of it, found in
// one walk: {element, start, divisions, transpose, chord, grace, silent (a
// rest, or a cue note, read but not played), tied (a <tie>, or a drawn
// <tied>), whether its notations hold a fermata, an arpeggio or ornaments,
// and, for its spacing, whether it shows an accidental and the letters of
// its longest syllable sung}.
function placedNote(element, context) {
    const placed = {
        element, start: ZERO, divisions: context.divisions, transpose: context.transpose,
        chord: false, grace: false, silent: false, tied: false, fermata: false, arpeggiate: false, ornaments: false,
        accidental: false, letters: 0,
    };
    for (let node = element.firstChild; node; node = node.nextSibling) {
        if (node.nodeType !== 1) continue;
        const tag = tagOf(node);
        if (tag === "chord") placed.chord = true;
        else if (tag === "grace") placed.grace = true;
        else if (tag === "rest" || tag === "cue") placed.silent = true;
        else if (tag === "tie") placed.tied = true;
        else if (tag === "notations") markNotations(node, placed);
        else if (tag === "accidental") placed.accidental = true;
        else if (tag === "lyric") placed.letters = Math.max(placed.letters, syllableLetters(node));
    }
    return placed;
}

function syllableLetters(lyric) {
    let letters = 0;
    for (const text of children(lyric, "text")) letters += text.textContent.length;
    return letters;
}

function markNotations(notations, placed) {
    for (let node = notations.firstChild; node; node = node.nextSibling) {
        if (node.nodeType !== 1) continue;
        const tag = tagOf(node);
        if (tag === "fermata") placed.fermata = true;
        else if (tag === "arpeggiate") placed.arpeggiate = true;
        else if (tag === "ornaments") placed.ornaments = true;
        else if (tag === "tied") placed.tied = true;
    }
}

// A note's staff: "1" where it names none.
export function staffOf(note) {
    return childText(note, "staff")?.trim() ?? "1";
}

// A note's staff and voice, as one key: "1 1" where it names neither.
export function voiceKey(note) {
    return `${staffOf(note)} ${childText(note, "voice")?.trim() ?? "1"}`;
}

// A note's tie types: its <tie>s' (what it sounds), else its drawn
// <tied>s' (a "continue" both a stop and a start).
export function tieTypes(note) {
    const ties = children(note, "tie");
    if (ties.length) return ties.map((tie) => attribute(tie, "type"));
    return children(note, "notations").flatMap((n) => children(n, "tied"))
        .flatMap((tied) => (attribute(tied, "type") === "continue" ? ["stop", "start"] : [attribute(tied, "type")]));
}

// A barline at the measure's end stands where its content ends.
function barlineCue(barline, longest) {
    const location = attribute(barline, "location") ?? "right";
    return {
        kind: "barline", at: location === "left" ? ZERO : longest, location,
        style: childText(barline, "bar-style"), fermata: child(barline, "fermata") !== null,
    };
}

function readAttributes(attributes, context, where) {
    if (child(attributes, "divisions") !== null) context.divisions = positiveInt(attributes, "divisions", where);
    const transpose = children(attributes, "transpose");
    if (transpose.length) context.transpose = transpose;
    const time = child(attributes, "time");
    if (time !== null && context.meters) context.meter = readTime(time, where);
}

function readTime(time, where) {
    if (child(time, "senza-misura") !== null) {
        throw new InputError(`${where}: a time signature without meter (senza misura) gives no measure length`);
    }
    const beats = children(time, "beats").map((b) => b.textContent);
    const types = children(time, "beat-type").map((t) => t.textContent);
    if (beats.length !== 1 || types.length !== 1) {
        const pairs = beats.slice(0, types.length).map((b, i) => `${b}/${types[i]}`);
        throw new InputError(`${where}: cannot read the time signature ${pairs.join(" + ") || "(none)"}`);
    }
    return parseMeter(`${beats[0]}/${types[0]}`, where);
}

// How far a note, a backup or a forward moves the cursor (units); a chord
// note and a grace note do not move it. placed: a note as placedNote()
// keeps it.
function advance(element, context, where, placed) {
    const tag = tagOf(element);
    let sign = tag === "note" || tag === "forward" ? 1n : tag === "backup" ? -1n : 0n;
    if (placed && (placed.chord || placed.grace)) sign = 0n;
    if (sign === 0n) return ZERO;
    return multiply(fraction(sign), units(durationOf(element, where), context, where));
}

// Divisions as units, in the divisions in force.
export function units(divisions, context, where) {
    if (divisions === 0n) return ZERO;
    if (context.divisions === null) throw new InputError(`${where}: durations come before any <divisions>`);
    return fraction(divisions * BigInt(UNITS_PER_QUARTER), context.divisions);
}

// A <sound> itself, or a <direction>'s <sound>; null without one.
function soundOf(element) {
    return tagOf(element) === "sound" ? element : child(element, "sound");
}

// The tempo mark of a <sound tempo> or a <direction>'s <sound>: its offset
// (units), tempo value and <sound> element; null without one.
function soundMark(element, context, where) {
    const sound = soundOf(element);
    const bpm = sound === null ? null : tempoMark(sound, where, context.remarks);
    if (bpm === null) return null;
    const offset = tagOf(element) === "direction" ? directionOffset(element, where, context.remarks) : 0n;
    return { offset: units(offset, context, where), value: Number(quarterTempoValue(bpm)), sound };
}

// --- repeats, endings and jumps -------------------------------------------

// "1, 2", "1 2" or "1-3": the passes an ending or a time-only names.
function passNumbers(text) {
    const numbers = [];
    for (const [, first, last] of (text ?? "").matchAll(/([0-9]+)(?:\s*-\s*([0-9]+))?/g)) {
        const from = Number(first);
        const to = Math.min(Number(last ?? first), from + 99);
        for (let n = from; n <= to; n += 1) if (n >= 1) numbers.push(n);
    }
    return numbers;
}

// The marks of one <barline>: repeats and endings.
function barlineMarks(barline, measure) {
    const marks = [];
    for (const repeat of children(barline, "repeat")) {
        const direction = attribute(repeat, "direction");
        if (direction === "forward") marks.push({ measure, kind: "forward" });
        if (direction === "backward") {
            const times = wholeNumber(attribute(repeat, "times"));
            marks.push({
                measure, kind: "backward", times: times === null ? null : Math.max(1, Math.min(Number(times), 100000)),
                afterJump: attribute(repeat, "after-jump") === "yes",
            });
        }
    }
    for (const ending of children(barline, "ending")) {
        const type = attribute(ending, "type");
        if (!["start", "stop", "discontinue"].includes(type)) continue;
        marks.push({ measure, kind: "ending", numbers: passNumbers(attribute(ending, "number")), type });
    }
    return marks;
}

// The jumps and signs a <sound> carries.
function soundMarks(sound, measure) {
    const marks = [];
    const only = attribute(sound, "time-only") === null ? null : passNumbers(attribute(sound, "time-only"));
    const named = (name, kind) => {
        const value = attribute(sound, name);
        if (value !== null) marks.push({ measure, kind, name: value.trim(), only });
    };
    if (attribute(sound, "forward-repeat") === "yes") marks.push({ measure, kind: "forward" });
    named("segno", "segno");
    named("coda", "coda");
    if (attribute(sound, "dacapo") === "yes") marks.push({ measure, kind: "dacapo", name: null, only });
    named("dalsegno", "dalsegno");
    named("tocoda", "tocoda");
    if (attribute(sound, "fine") !== null) marks.push({ measure, kind: "fine", name: null, only });
    return marks;
}

// Every repeat, ending and jump of any part, each once, by measure: the
// <repeat> and <ending> of its barlines and the <sound> attributes in its
// directions, its barlines or the measure itself.
function playbackMarks(parts, measureCount, fileName) {
    const seen = new Set();
    const marks = [];
    for (const part of parts) {
        part.measures.slice(0, measureCount).forEach((m, index) => {
            const number = index + 1;
            for (const element of children(m.element)) {
                const tag = tagOf(element);
                const found = [];
                if (tag === "barline") {
                    found.push(...barlineMarks(element, number));
                    for (const sound of children(element, "sound")) found.push(...soundMarks(sound, number));
                } else if (tag === "sound") {
                    found.push(...soundMarks(element, number));
                } else if (tag === "direction") {
                    for (const sound of children(element, "sound")) found.push(...soundMarks(sound, number));
                }
                for (const mark of found) {
                    const key = JSON.stringify(mark);
                    if (!seen.has(key)) {
                        seen.add(key);
                        marks.push(mark);
                    }
                }
            }
        });
    }
    checkLandings(marks, fileName);
    return marks;
}

// A D.S. needs a segno to go back to, a To Coda a coda to go on to.
function checkLandings(marks, fileName) {
    for (const [jump, sign, words] of [["dalsegno", "segno", "D.S. (dal segno)"], ["tocoda", "coda", "To Coda"]]) {
        const from = marks.find((mark) => mark.kind === jump);
        if (from && !marks.some((mark) => mark.kind === sign)) {
            throw new InputError(`${fileName}, measure ${from.measure}: a ${words} but no measure carries a ${sign}`);
        }
    }
}

// --- the score -----------------------------------------------------------

// Each measure lasts as long as its longest part's content, as notation
// programs play it: a pickup, a measure cut short at a repeat or at the end,
// and one overfull with more than its meter holds alike. One with no content
// in any part (nothing written, or an empty staff) is a full measure.
function buildMeasures(walked, name) {
    const raw = walked[0].measures;
    checkMeasureCount(raw.length, name);
    return raw.map((m, index) => {
        const number = index + 1;
        if (m.meter === null) throw new InputError(`${name}, measure ${number}: no time signature before it`);
        const content = Math.max(...walked.map((part) => part.measures[index]?.content ?? 0));
        if (content > LARGEST_VALUE) {
            const quarters = withThousands(Math.round(content / UNITS_PER_QUARTER));
            throw new InputError(`${name}, measure ${number}: its notes last ${quarters} quarters, longer than any measure `
                + `Finale holds (${withThousands(Math.floor(LARGEST_VALUE / UNITS_PER_QUARTER))} quarters)`);
        }
        if (content > 0 && content !== meterLength(m.meter)) return partialMeasure(m.meter, content, number === 1);
        return fullMeasure(m.meter);
    });
}

const LISTED_MEASURES = 6;

// One sentence naming the measures that last otherwise than their meter
// without the score marking them so (implicit="yes" marks a pickup or a
// measure split by a barline), or null when there are none.
function offMeterRemark(raw, measures, printed) {
    // Runs of measures side by side that last alike: a score written in
    // breves under a C meter has dozens.
    const runs = [];
    measures.forEach((m, index) => {
        if (raw[index].implicit || m.length === meterLength(raw[index].meter)) return;
        const last = runs.at(-1);
        const said = `${lengthText(m.length, m.meter)} in ${m.meter}`;
        if (last && last.to === index && last.said === said) last.to = index + 1;
        else runs.push({ from: index + 1, to: index + 1, said });
    });
    if (!runs.length) return null;
    const named = runs.slice(0, LISTED_MEASURES).map(({ from, to, said }) => `${measuresName(from, to, printed)}, ${said}`);
    const more = runs.length > LISTED_MEASURES ? ` (and ${runs.length - LISTED_MEASURES} more)` : "";
    return `played as long as the longest part, not the meter: ${named.join("; ")}${more}`;
}

// The number a measure shows on the page: its display text where the score
// gives one, none for a measure the score marks implicit (a pickup, the
// second half of a measure split by a barline), else its `number`. Finale
// counts measures 1, 2, 3, ... whatever they print.
export function printedNumber(measure) {
    const shown = attribute(measure, "text");
    if (shown !== null && shown.trim() !== "") return shown.trim();
    if (attribute(measure, "implicit") === "yes") return null;
    const number = attribute(measure, "number");
    return number === null || number.trim() === "" ? null : number.trim();
}

// The record a mark becomes: [measure, position, value].
export function markRecord(number, mark) {
    const position = mark.position > BigInt(LARGEST_VALUE) ? LARGEST_VALUE : Number(mark.position);
    return [number, position, mark.value];
}

// [measure, position, value] of every tempo mark in any part, each once, in
// score order (a mark that several parts carry is one record).
function tempoRecords(parts, measureCount) {
    const seen = new Set();
    const records = [];
    for (const part of parts) {
        part.measures.slice(0, measureCount).forEach((m, index) => {
            for (const mark of m.marks) {
                const key = `${index + 1} ${mark.position} ${mark.value}`;
                if (seen.has(key)) continue;
                seen.add(key);
                records.push(markRecord(index + 1, mark));
            }
        });
    }
    return records.sort((a, b) => a[0] - b[0] || a[1] - b[1]);
}
