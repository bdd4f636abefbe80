// The tempo a score has at a measure, as the start of a ramp there would be
// typed: the tempo record in force (the score's own marks), said in the
// beat unit of the metronome mark that set it, so that a 6/8 marked dotted
// quarter = 60 starts at dotted quarter = 60, not quarter = 90.
import { HIGHEST_BPM, LOWEST_BPM, QUARTER, UNIT_LETTERS } from "./music.js";
import { DEFAULT_VALUE, quarterBpm } from "./timing.js";
import { bpmIn } from "./words.js";

// MusicXML's note types the dialog has a beat unit for.
const NOTE_TYPES = { "16th": "s", eighth: "e", quarter: "q", half: "h", whole: "w" };

// The beat unit of a metronome mark ({unit, dots}), or null for one the
// dialog has none for (a breve, a double dot, a mark of two notes).
function metronomeBeat(metronome) {
    const letter = NOTE_TYPES[metronome?.unit?.trim()];
    if (!letter || metronome.dots > 1) return null;
    return { unit: UNIT_LETTERS.indexOf(letter), dotted: metronome.dots === 1 };
}

// The beat unit of the first metronome mark any part shows in `measure`,
// else quarter.
function markedBeat(parts, measure) {
    for (const part of parts) {
        for (const cue of part.measures[measure - 1]?.cues ?? []) {
            const beat = cue.kind === "direction" ? metronomeBeat(cue.metronome) : null;
            if (beat) return beat;
        }
    }
    return QUARTER;
}

// The score's tempo records, each with the beat unit its mark is written in:
// [{measure, position, value, beat: {unit, dotted}}] in score order. read:
// the score as readScoreFile read it ({score, parts}).
export function scoreTempos(read) {
    return read.score.tempo.map(([measure, position, value]) => ({
        measure, position, value, beat: markedBeat(read.parts ?? [], measure),
    }));
}

// The tempo in force where `measure` begins (a record at its first beat
// counts), as a start tempo the dialog takes: {unit, dotted, bpm}, a whole
// bpm from 20 to 600. Before any record a score plays at quarter = 120.
export function tempoInForce(tempos, measure) {
    let held = null;
    for (const tempo of tempos) {
        if (tempo.measure > measure || (tempo.measure === measure && tempo.position > 0)) break;
        held = tempo;
    }
    const beat = held?.beat ?? QUARTER;
    const bpm = Math.round(bpmIn(beat, quarterBpm(held?.value ?? DEFAULT_VALUE)));
    return { ...beat, bpm: Math.min(HIGHEST_BPM, Math.max(LOWEST_BPM, bpm)) };
}
