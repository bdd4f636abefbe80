// The heard score (heard.js) made into sound: its clicks timed, the notes
// timed for a player that schedules its own sounds, the MIDI file and the
// beat times' CSV.
import { beatsCsv, clicks, heardEnd, midiBytes, partsHeard } from "./midi.js";
import { runsText } from "./playback.js";
import { passesDefault, secondsAt } from "./timing.js";
import { withFields } from "./copy.js";

// A heard score's clicks and its notes as they sound are worked out once,
// however many of its sounds and files are made: a page keeps its heard
// score for Play and every download.
const CLICKS = new WeakMap();
const PLACED = new WeakMap();

// midi.js's clicks of the heard measures.
function heardClicks(heard) {
    if (!CLICKS.has(heard)) CLICKS.set(heard, clicks(heard.measures, heard.numbers));
    return CLICKS.get(heard);
}

// The parts' notes (notes.js) placed where they are heard (midi.js's
// partsHeard).
function placedNotes(heard, parts) {
    if (!PLACED.has(heard)) PLACED.set(heard, new WeakMap());
    const byParts = PLACED.get(heard);
    if (!byParts.has(parts)) byParts.set(parts, partsHeard(parts, heardEnd(heard.measures), heard.runs));
    return byParts.get(parts);
}

// Every click of the heard measures (midi.js's clicks) with its time in
// seconds under the records.
export function heardBeats(heard) {
    const beatClicks = heardClicks(heard);
    const times = secondsAt(heard.points, beatClicks.map((click) => click.position));
    return beatClicks.map((click, i) => withFields(click, { seconds: times[i] }));
}

// What is heard, timed as the MIDI file times it, for a player that
// schedules its own sounds: the clicks (heardBeats), each heard measure's
// start and the end of the heard part in seconds, and the score's notes
// (`parts`, notes.js, or null) as the MIDI file sounds them, each with its
// channel, its part's program and volume and place in the score, and its
// start and end in seconds.
//   {beats, measures: [{heard, measure, seconds}], end,
//    notes: [{on, off, key, velocity, channel, program, volume, part}]}
// heard: its place in the hearing, from 1; measure: its number in the score.
export function heardSound(heard, parts = null) {
    const count = heard.measures.length;
    const times = secondsAt(heard.points, heard.starts.slice(1, count + 2));
    const measures = heard.numbers.slice(0, count).map((measure, i) => ({ heard: i + 1, measure, seconds: times[i] }));
    const notes = [];
    (parts ? placedNotes(heard, parts) : []).forEach((part, index) => {
        for (const note of part.notes) notes.push({ ...note, program: part.program, volume: part.volume, part: index });
    });
    notes.sort((a, b) => a.on - b.on || a.off - b.off);
    const onTimes = secondsAt(heard.points, notes.map((note) => note.on));
    const offOrder = notes.map((note, i) => i).sort((a, b) => notes[a].off - notes[b].off);
    const offTimes = secondsAt(heard.points, offOrder.map((i) => notes[i].off));
    const offOf = new Array(notes.length);
    offOrder.forEach((i, k) => { offOf[i] = offTimes[k]; });
    return {
        beats: heardBeats(heard), measures, end: times[count],
        notes: notes.map((note, i) => ({
            on: onTimes[i], off: offOf[i], key: note.key, velocity: note.velocity, channel: note.channel,
            program: note.program, volume: note.volume, part: note.part,
        })),
    };
}

// The MIDI file of the heard measures under the records, the ramp marked
// each time it is heard (or the places `marks` names, [[tick, text]]): the
// click unless `click` is false, and the score's notes when `parts`
// (notes.js) are given, each where it is heard.
export function heardMidi(heard, { click = true, parts = null, marks = null } = {}) {
    return midiBytes(heard.measures, heard.points, heard.passes.map((pass) => [pass.start, pass.end]), {
        click, marks, beats: click ? heardClicks(heard) : null, placed: parts ? placedNotes(heard, parts) : null,
    });
}

// {count, parts}: how many notes the heard measures sound, of how many parts.
function notesHeard(parts, heard) {
    const count = placedNotes(heard, parts).reduce((sum, part) => sum + part.notes.length, 0);
    return { count, parts: parts.length };
}

// The ramp to hear as asked for in `names`: the beat times' CSV, the MIDI
// file (also when only audio is wanted, which is rendered from it), and
// what their lines say of them. parts: the score's notes (notes.js) to sound
// with the click, or null; marks: heardMidi's.
export function soundOutputs(line, heard, names, parts, marks = null) {
    const assumesDefault = passesDefault(line.points, 0);
    const out = { outputs: {}, beats: null, midi: null };
    if (names.beats) {
        const beats = heardBeats(heard);
        out.beats = beatsCsv(beats, !heard.straight);
        out.outputs.beats = { name: names.beats, count: beats.length, assumesDefault };
    }
    // The notes are placed only for a file that sounds them: the page's
    // edits, which ask for none, skip the work.
    const sounded = Boolean(names.midi || names.wav);
    if (sounded) out.midi = heardMidi(heard, { parts, marks });
    const notes = parts && sounded ? notesHeard(parts, heard) : null;
    if (names.midi) {
        const times = secondsAt(heard.points, heard.passes.flatMap((pass) => [pass.start, pass.end]));
        out.outputs.midi = {
            name: names.midi, what: marks ? "the plan" : "the region",
            measures: runsText(heard.runs), clicks: heardClicks(heard).length, notes,
            plays: heard.passes.map((_, i) => [times[2 * i], times[2 * i + 1]]), assumesDefault,
        };
    }
    if (names.wav) out.outputs.wav = { name: names.wav, notes };
    return out;
}
