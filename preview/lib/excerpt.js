// A score drawn in pieces: a run of its measures, in the parts chosen, as a
// MusicXML score of its own that a notation library draws on its own. Each
// piece carries the clefs, keys, meters, divisions and transpositions in
// force where it begins, so that it reads as the same music; the layout
// hints (<print>) stay out, the piece's own width decides its line.
//
//   const pieces = new Excerpts(root, XMLSerializer)
//   pieces.text({from, to, parts, short})  MusicXML text of measures from..to
//       (1-based, inclusive) of the parts (indices from 0; all when null);
//       short: the parts named by their abbreviations, as a later system is
//   systemRuns(weights, widthUnits, {most, notes, mostNotes})  measures
//       grouped into systems by width and by the notes each holds
import { attribute, child, children, tagOf } from "./musicxml.js";

// The <attributes> children a piece repeats, in the order MusicXML gives
// them; those that come once per staff are kept per number.
const CARRIED = ["divisions", "key", "time", "staves", "part-symbol", "instruments", "clef", "staff-details", "transpose"];
const PER_STAFF = new Set(["key", "clef", "staff-details", "transpose"]);
const LEFT_OUT = new Set(["print"]);

export class Excerpts {
    constructor(root, XMLSerializer = globalThis.XMLSerializer) {
        this.serializer = new XMLSerializer();
        const list = child(root, "part-list");
        this.scoreParts = list ? children(list, "score-part") : [];
        this.parts = children(root, "part").map((part) => ({ id: attribute(part, "id"), measures: children(part, "measure") }));
        this.states = this.parts.map((part) => stateAtEachMeasure(part.measures));
        this.version = attribute(root, "version") ?? "3.1";
    }

    // Each part's name and its number of staves, in score order.
    partStaves() {
        return this.parts.map((part) => {
            const element = this.scoreParts.find((p) => attribute(p, "id") === part.id);
            return { name: element ? textOf(child(element, "part-name")) : "", staves: mostStaves(part.measures) };
        });
    }

    get count() {
        return this.parts[0]?.measures.length ?? 0;
    }

    text({ from, to, parts = null, short = false }) {
        const chosen = (parts ?? this.parts.map((_, i) => i)).filter((i) => i >= 0 && i < this.parts.length);
        const partList = chosen.map((i) => this.scorePart(this.parts[i].id, short, chosen.length === 1)).join("");
        const body = chosen.map((i) => this.partText(i, from, to)).join("\n");
        return `<?xml version="1.0" encoding="UTF-8"?>\n<score-partwise version="${this.version}">`
            + `<part-list>${partList}</part-list>\n${body}\n</score-partwise>`;
    }

    // alone: the only part drawn, which a later system names only by an
    // abbreviation the score gives, as printed parts do.
    scorePart(id, short, alone = false) {
        const element = this.scoreParts.find((p) => attribute(p, "id") === id);
        if (!element) return `<score-part id="${escapeAttribute(id ?? "")}"><part-name></part-name></score-part>`;
        const name = textOf(child(element, "part-name"));
        const abbreviation = textOf(child(element, "part-abbreviation"));
        const shown = !short ? name : abbreviation || (alone ? "" : name);
        // Only what identifies the part and its sound: no group brackets
        // that would open in one piece and close in another.
        const kept = children(element).filter((c) => !["part-name", "part-abbreviation", "part-name-display",
            "part-abbreviation-display", "group"].includes(tagOf(c)));
        const hidden = shown === "" && short ? ' print-object="no"' : "";
        return `<score-part id="${escapeAttribute(id)}"><part-name${hidden}>${escapeText(shown)}</part-name>`
            + `${kept.map((c) => this.serializer.serializeToString(c)).join("")}</score-part>`;
    }

    partText(index, from, to) {
        const { id, measures } = this.parts[index];
        const first = Math.max(1, from);
        const last = Math.min(measures.length, to);
        const bars = [];
        for (let m = first; m <= last; m += 1) {
            const carried = m === first ? this.states[index][m - 1] : null;
            const clefs = carried ? this.impliedClefs(index, carried, measures[m - 1]) : "";
            bars.push(this.measureText(measures[m - 1], carried, clefs));
        }
        return `<part id="${escapeAttribute(id)}">${bars.join("\n")}</part>`;
    }

    // The clefs a score leaves to be assumed (treble, or the percussion clef
    // of a part with no pitched notes), for the staves that begin a piece
    // with none in force: the notation library fails on some pieces without
    // one, where the whole score drew.
    impliedClefs(index, carried, measure) {
        const known = new Set(carried.clef?.keys() ?? []);
        for (const attributes of children(measure, "attributes")) {
            for (const clef of children(attributes, "clef")) known.add(attribute(clef, "number") ?? "1");
        }
        const part = this.parts[index];
        part.staves ??= mostStaves(part.measures);
        const missing = [];
        for (let staff = 1; staff <= part.staves; staff += 1) {
            if (!known.has(String(staff))) missing.push(staff);
        }
        if (!missing.length) return "";
        part.unpitched ??= isUnpitched(part.measures);
        const sign = part.unpitched ? "<sign>percussion</sign>" : "<sign>G</sign><line>2</line>";
        const number = (staff) => (part.staves > 1 ? ` number="${staff}"` : "");
        return `<attributes>${missing.map((staff) => `<clef${number(staff)}>${sign}</clef>`).join("")}</attributes>`;
    }

    measureText(measure, carried, clefs = "") {
        const attributes = [];
        for (let i = 0; i < measure.attributes.length; i += 1) {
            const { name, value } = measure.attributes[i];
            attributes.push(`${name}="${escapeAttribute(value)}"`);
        }
        const kept = children(measure).filter((c) => !LEFT_OUT.has(tagOf(c)));
        // A part's measure that holds no note, only room (<forward>): where no
        // other part drawn beside it has a note there, the notation library
        // fails to place the measure's words and marks, though the whole
        // score draws. Its room is kept as rests that are not drawn.
        const noteless = !kept.some((c) => tagOf(c) === "note");
        const text = (list) => list.map((c) => (noteless && tagOf(c) === "forward" ? silentRest(c)
            : this.serializer.serializeToString(c))).join("");
        // Assumed clefs follow the measure's own opening attributes: ahead of
        // its divisions, the library read its rests' durations without them.
        const opening = kept.findIndex((c) => tagOf(c) !== "attributes");
        const at = opening < 0 ? kept.length : opening;
        const head = carried ? this.attributesText(carried) : "";
        return `<measure ${attributes.join(" ")}>${head}${text(kept.slice(0, at))}${clefs}${text(kept.slice(at))}</measure>`;
    }

    attributesText(state) {
        const parts = [];
        for (const name of CARRIED) {
            const held = state[name];
            if (!held) continue;
            const elements = PER_STAFF.has(name) ? [...held.values()] : [held];
            for (const element of elements) parts.push(this.serializer.serializeToString(name === "time" ? unprinted(element) : element));
        }
        return parts.length ? `<attributes>${parts.join("")}</attributes>` : "";
    }
}

// A meter carried into a later system is in force there but not printed
// again: a printed score shows it where it begins or changes, where a clef
// and a key begin every system.
function unprinted(time) {
    const copy = time.cloneNode(true);
    copy.setAttribute("print-object", "no");
    return copy;
}

// The room a <forward> leaves, as a rest that is not drawn: the same time
// in the same voice and staff, a note the library can place marks by.
function silentRest(forward) {
    const own = (tag) => {
        const found = child(forward, tag);
        return found ? `<${tag}>${escapeText(found.textContent.trim())}</${tag}>` : "";
    };
    return `<note print-object="no"><rest/>${own("duration")}${own("voice")}${own("staff")}</note>`;
}

// What <attributes> hold at the start of each measure: one state per
// measure, a new object only where a measure changed it.
export function stateAtEachMeasure(measures) {
    const states = [];
    let state = {};
    for (const measure of measures) {
        states.push(state);
        const found = children(measure, "attributes");
        if (!found.length) continue;
        state = { ...state };
        for (const attributes of found) {
            for (const element of children(attributes)) {
                const name = tagOf(element);
                if (!CARRIED.includes(name)) continue;
                if (PER_STAFF.has(name)) {
                    state[name] = new Map(state[name] ?? []);
                    state[name].set(attribute(element, "number") ?? "1", element);
                } else {
                    state[name] = element;
                }
            }
        }
    }
    return states;
}

// Measures grouped into systems: [[from, to], ...] (1-based, inclusive).
// weights: each measure's width in staff units as it will about be drawn;
// widthUnits: a system's width for measures. A system holds at least one
// measure, at most `most`, and (notes: each measure's notes in all the
// parts drawn) no more than `mostNotes` notes, so that drawing one system
// stays a short task.
export function systemRuns(weights, widthUnits, { most = 8, notes = null, mostNotes = Infinity } = {}) {
    const runs = [];
    let start = 1;
    let used = 0;
    let held = 0;
    weights.forEach((weight, i) => {
        const m = i + 1;
        const count = notes?.[i] ?? 0;
        if (m > start && (used + weight > widthUnits || m - start >= most || held + count > mostNotes)) {
            runs.push([start, m - 1]);
            start = m;
            used = 0;
            held = 0;
        }
        used += weight;
        held += count;
    });
    if (weights.length) runs.push([start, weights.length]);
    return runs;
}

// A measure's width in staff units as the notation library spaces it, from
// its spacing (landmarks.js: places, places with an accidental, letters
// sung, a new key or meter). Fitted to the library's own narrowest widths
// of the 10,553 measures of 170 real scores (nine in ten within 0.75 to 1.3
// times the fit), and taken a fifth wider: a system's measures seldom come
// out too wide for the view, where the library breaks them onto a second
// line (one system in six with the note places alone, one in thirty-four
// now, in Chromium).
export function measureWidth([places, accidentals = 0, letters = 0, signatures = 0]) {
    return 3.2 + 2.3 * Math.max(1, places) + 1.4 * accidentals + 0.7 * letters + 5 * signatures;
}

// The most <staves> a part's measures give (1 when none does).
function mostStaves(measures) {
    let most = 1;
    for (const measure of measures) {
        for (const attributes of children(measure, "attributes")) {
            const staves = Number(child(attributes, "staves")?.textContent ?? 1);
            if (Number.isInteger(staves) && staves > most) most = Math.min(staves, 16);
        }
    }
    return most;
}

// A part whose notes are all unpitched (a drum part), none pitched.
function isUnpitched(measures) {
    let unpitched = false;
    for (const measure of measures) {
        for (const note of children(measure, "note")) {
            if (child(note, "pitch")) return false;
            if (child(note, "unpitched")) unpitched = true;
        }
    }
    return unpitched;
}

function textOf(element) {
    return element ? element.textContent.trim() : "";
}

function escapeText(text) {
    return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
}

function escapeAttribute(text) {
    return escapeText(String(text)).replace(/"/g, "&quot;");
}
