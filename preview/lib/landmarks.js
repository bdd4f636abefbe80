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
//     spacing: [[places a note or rest begins in any part (grace notes one each), places with an
//                accidental, letters of the longest syllable at each place summed, key and meter
//                changes (0 to 2)] of each measure],
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

// What each measure is spaced by, as a notation program spaces a system:
// every place where a note or rest begins in any part or staff (a chord's
// notes one place), each grace note one more, the places where a note shows
// an accidental, the letters of the longest syllable sung at each place, and
// a new key or meter drawn at its start; and the notes of each measure in
// all parts. The busiest staff alone was too few where the parts' rhythms
// interlock (22 staves' measures drew twice as wide), and places alone too
// few under words: two in five of the madrigals' systems came out too wide.
export function noteCounts(parts, count) {
    const places = Array.from({ length: count }, () => new Map());
    const graces = new Array(count).fill(0);
    const notes = new Array(count).fill(0);
    const signatures = new Array(count).fill(0);
    for (const part of parts) {
        part.measures.slice(0, count).forEach((m, i) => {
            if (i > 0) signatures[i] = Math.max(signatures[i], signaturesChanged(m.attributes ?? []));
            for (const note of m.notes ?? []) {
                if (!note.chord) notes[i] += 1;
                if (note.grace) {
                    if (!note.chord) graces[i] += 1;
                    continue;
                }
                const key = `${note.start.n}/${note.start.d}`;
                let place = places[i].get(key);
                if (!place) places[i].set(key, (place = { accidental: false, letters: 0 }));
                if (note.accidental) place.accidental = true;
                if (note.letters > place.letters) place.letters = note.letters;
            }
        });
    }
    return {
        spacing: places.map((found, i) => {
            let accidentals = 0;
            let letters = 0;
            for (const place of found.values()) {
                if (place.accidental) accidentals += 1;
                letters += place.letters;
            }
            return [found.size + graces[i], accidentals, letters, signatures[i]];
        }),
        notes,
    };
}

// How many of the key and the meter a measure's attributes change (0 to 2):
// each change is drawn at the measure's start.
function signaturesChanged(attributes) {
    let key = 0;
    let time = 0;
    for (const element of attributes) {
        if (children(element, "key").length) key = 1;
        if (children(element, "time").length) time = 1;
    }
    return key + time;
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
