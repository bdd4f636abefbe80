// What Play sounds, and when: the passage from a measure before the region
// to the end of what is heard, its notes and clicks as chosen, a count-in
// of one measure's clicks, and where each measure starts. Every time comes
// from the shared preview (heardSound); this only cuts and shifts them.

import { withFields } from "../lib/copy.js";

// What sounds, by the choice's name.
export const SOUNDS = {
    both: { notes: true, click: true },
    notes: { notes: true, click: false },
    click: { notes: false, click: true },
};

// A note or click a hair before a measure's start (rounding in the sum of
// seconds) still belongs to it.
const EPSILON = 1e-9;

// sound: heardSound's answer. first: the measure the passage starts with,
// by its place in the hearing (from 1; a repeat hears a measure again).
// sounds: a key of SOUNDS; without notes to play (meter runs) the click
// sounds whatever was chosen. countIn: one measure's clicks before it.
// Times are seconds from the passage's start; the count-in's are negative.
//   {length, countIn, beats, clicks, notes, measures: [{heard, measure, at}]}
// beats: every click of the passage (for the playhead), clicks: those that
// sound (the count-in's first), notes: {at, off, key, velocity, channel,
// program, volume}.
export function passage(sound, { first, sounds = "both", countIn = false }) {
    const want = soundsOf(sound, sounds);
    const start = sound.measures[first - 1].seconds;
    const next = first < sound.measures.length ? sound.measures[first].seconds : sound.end;
    const beats = sound.beats.filter((b) => b.heard >= first).map((b) => withFields(b, { at: b.seconds - start }));
    const lead = countIn ? next - start : 0;
    const counted = countIn
        ? beats.filter((b) => b.heard === first).map((b) => withFields(b, { at: b.at - lead, countIn: true }))
        : [];
    const notes = want.notes
        ? sound.notes.filter((n) => n.on >= start - EPSILON).map((n) => withFields(n, { at: n.on - start, off: n.off - start }))
        : [];
    return {
        length: sound.end - start,
        countIn: lead,
        beats,
        clicks: [...counted, ...(want.click ? beats : [])],
        notes,
        measures: sound.measures.slice(first - 1).map((m) => ({ heard: m.heard, measure: m.measure, at: m.seconds - start })),
    };
}

// What actually sounds for a choice: a passage without notes has only its
// click to offer.
export function soundsOf(sound, sounds) {
    const want = SOUNDS[sounds];
    if (!want) throw new Error(`no sound choice '${sounds}'`);
    return sound.notes.length === 0 ? SOUNDS.click : want;
}

// Where the passage is after `elapsed` seconds of playing (count-in
// included, looping when asked): {pass, at, heard, measure}, `at` from the
// start of the current pass (negative during the count-in), the measure
// (its place in the hearing and its number in the score) null then.
export function whereAt(played, elapsed, loop) {
    let at = elapsed - played.countIn;
    let pass = 0;
    if (loop && at >= played.length && played.length > 0) {
        pass = Math.floor(at / played.length);
        at -= pass * played.length;
    }
    let now = null;
    for (const m of played.measures) {
        if (m.at > at + EPSILON) break;
        now = m;
    }
    return { pass, at, heard: now && now.heard, measure: now && now.measure };
}

// The measures that began after `last` and up to `now` (whereAt's answers;
// `last` null before the first), in the order heard, each with its pass and
// its start: a frame that comes late on a busy machine may find that more
// than one measure began since the one before, and every one is announced.
export function measuresBegun(played, last, now) {
    if (now.heard === null) return [];
    const index = (where) => played.measures.findIndex((m) => m.heard === where.heard);
    let from = last === null || last.heard === null ? 0 : index(last) + 1;
    const begun = [];
    for (let pass = last === null ? 0 : last.pass; pass <= now.pass; pass += 1) {
        const to = pass === now.pass ? index(now) : played.measures.length - 1;
        for (let i = from; i <= to; i += 1) {
            const m = played.measures[i];
            begun.push({ ...m, pass, played: played.countIn + pass * played.length + m.at });
        }
        from = 0;
    }
    return begun;
}

// The events of one pass, as the player hands them to the audio clock:
// [{time, kind: "click", accent} | {time, kind: "on"|"off", note}], from
// the pass's start `offset` (seconds of playing, count-in included), in
// time order; at one time a note ends before another begins. The count-in
// comes with the first pass only.
export function passEvents(played, pass) {
    const offset = played.countIn + pass * played.length;
    const events = [];
    for (const click of played.clicks) {
        if (click.countIn && pass > 0) continue;
        events.push({ time: offset + click.at, order: 1, kind: "click", accent: click.accent });
    }
    for (const note of played.notes) {
        events.push({ time: offset + note.at, order: 2, kind: "on", note });
        events.push({ time: offset + note.off, order: 0, kind: "off", note });
    }
    return events.sort((a, b) => a.time - b.time || a.order - b.order);
}
