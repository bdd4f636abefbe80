// What a musician finds a place in a long score by, measure by measure:
// rehearsal marks, meter changes, tempo marks, repeats and endings, and the
// busiest staff's note count (how wide the measure draws). From the score
// as readParts read it; the same for meter runs (meters alone).
//
//   landmarks({score, parts}) -> {
//     meters: [[measure, "3/4"]],       where the meter changes (and measure 1)
//     tempos: [[measure, "Allegro q = 132"]],
//     rehearsals: [[measure, "A"]],
//     repeats: [[measure, "forward" | "backward" | "ending", label]],
//     busiest: [notes on the busiest staff of each measure],
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

// Notes on the busiest staff of each measure (a part's notes counted per
// staff, <staff>, a chord as one), and notes in all parts.
export function noteCounts(parts, count) {
    const busiest = new Array(count).fill(0);
    const notes = new Array(count).fill(0);
    for (const part of parts) {
        part.measures.slice(0, count).forEach((m, i) => {
            const perStaff = new Map();
            for (const note of m.notes ?? []) {
                const element = note.element;
                if (children(element, "chord").length) continue;
                const staff = children(element, "staff")[0]?.textContent.trim() ?? "1";
                perStaff.set(staff, (perStaff.get(staff) ?? 0) + 1);
                notes[i] += 1;
            }
            for (const n of perStaff.values()) busiest[i] = Math.max(busiest[i], n);
        });
    }
    return { busiest, notes };
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
