// What a musician finds a place in a long score by, measure by measure:
// rehearsal marks, meter changes, tempo marks, repeats and endings, and the
// columns of notes each measure is spaced by (how wide it draws). From the score
// as readParts read it; the same for meter runs (meters alone).
//
//   landmarks({score, parts}) -> {
//     meters: [[measure, "3/4"]],       where the meter changes (and measure 1)
//     tempos: [[measure, "Allegro q = 132"]],
//     rehearsals: [[measure, "A"]],
//     repeats: [[measure, "forward" | "backward" | "ending", label]],
//     columns: [the places a note or rest begins in any part, grace notes one each, of each measure],
//     notes: [notes of each measure in all parts],
//   }
import { children } from "./musicxml.js";

const UNIT_SIGNS = { whole: "w", half: "h", quarter: "q", eighth: "e", "16th": "s" };

export function landmarks({ score, parts = [] }) {
    const count = score.measures.length;
    return {
        meters: meterChanges(score.measures),
        tempos: byMeasure(onceEach(parts.flatMap((part) => part.measures.slice(0, count).flatMap((m, i) =>
            (m.cues ?? []).map((cue) => [i + 1, tempoLabel(cue)]).filter(([, label]) => label))))),
        rehearsals: byMeasure(onceEach(parts.flatMap((part) => part.measures.slice(0, count).flatMap((m, i) =>
            rehearsalMarks(m.element).map((text) => [i + 1, text]))))),
        repeats: repeatMarks(score.marks ?? []),
        ...noteCounts(parts, count),
    };
}

export function meterChanges(measures) {
    const changes = [];
    measures.forEach((m, i) => {
        if (i === 0 || m.meter !== measures[i - 1].meter) changes.push([i + 1, m.meter]);
    });
    return changes;
}

// A direction that sets a tempo, as it reads: its words and its metronome
// mark, or the sound's tempo where nothing is printed. Words alone (dolce,
// cresc.) set none.
export function tempoLabel(cue) {
    if (cue.kind !== "direction" || (!cue.metronome && cue.tempo === null)) return null;
    const words = cue.words.join(" ").replace(/\s+/g, " ").trim();
    const m = cue.metronome;
    const mark = m && m.perMinute ? `${UNIT_SIGNS[m.unit] ?? m.unit}${m.dots ? "." : ""} = ${m.perMinute.trim()}`
        : !words && cue.tempo !== null ? `q = ${Number(cue.tempo)}` : "";
    return [words, mark].filter(Boolean).join(" ") || null;
}

function rehearsalMarks(measure) {
    const found = [];
    for (const direction of children(measure, "direction")) {
        for (const type of children(direction, "direction-type")) {
            for (const item of children(type, "rehearsal")) {
                const text = item.textContent.trim();
                if (text) found.push(text);
            }
        }
    }
    return found;
}

// The repeat barlines and the endings' starts, as the reader found them.
export function repeatMarks(marks) {
    const repeats = [];
    for (const mark of marks) {
        if (mark.kind === "forward" || mark.kind === "backward") repeats.push([mark.measure, mark.kind, ""]);
        if (mark.kind === "ending" && mark.type === "start") repeats.push([mark.measure, "ending", `${mark.numbers.join(", ")}.`]);
    }
    return byMeasure(onceEach(repeats));
}

// The columns each measure is spaced in, as a notation program spaces a
// system: every place where a note or rest begins in any part or staff
// (a chord's notes one place), and each grace note one more; and the notes
// of each measure in all parts. The busiest staff alone was too few where
// the parts' rhythms interlock: 22 staves' measures drew twice as wide.
export function noteCounts(parts, count) {
    const places = Array.from({ length: count }, () => new Set());
    const graces = new Array(count).fill(0);
    const notes = new Array(count).fill(0);
    for (const part of parts) {
        part.measures.slice(0, count).forEach((m, i) => {
            for (const note of m.notes ?? []) {
                if (note.chord) continue;
                notes[i] += 1;
                if (note.grace) graces[i] += 1;
                else places[i].add(`${note.start.n}/${note.start.d}`);
            }
        });
    }
    return { columns: places.map((found, i) => found.size + graces[i]), notes };
}

function byMeasure(entries) {
    return entries.sort((a, b) => a[0] - b[0]);
}

function onceEach(entries) {
    const seen = new Set();
    return entries.filter((entry) => {
        const key = JSON.stringify(entry);
        if (seen.has(key)) return false;
        seen.add(key);
        return true;
    });
}
