// The transport: Play and Stop, Loop, the count-in and what sounds, the
// playhead on the map, and the measure playing announced to the page.
import { measuresBegun, passage, soundsOf, whereAt } from "./passage.js";
import { SoundPlayer } from "./sound.js";
import { loadSynth } from "./synth.js";
import { Playhead } from "./map.js";
import { MixControl, mixedNotes } from "./mix.js";

// The measure playing, for whatever marks it (the notation): a
// "zorv-playing" event on the document with {measure, heard, seconds, pass,
// played} each time another measure begins, and null when playing ends.
function announce(detail) {
    document.dispatchEvent(new CustomEvent("zorv-playing", { detail }));
}

// The choice of what sounds, as the page's controls hold it.
export function soundChoice() {
    return {
        sounds: document.querySelector("input[name=sounds]:checked").value,
        countIn: document.getElementById("count-in").checked,
        loop: document.getElementById("loop").checked,
    };
}

// What the choice sounds for this result: {notes, click}.
export function chosenSounds(result) {
    return soundsOf({ notes: result.hasNotes ? [true] : [] }, soundChoice().sounds);
}

export class Transport {
    // engine: the preview's; shown(): the result on the page, or null;
    // idle(): a promise that the score's drawing is done, which the
    // instruments' loading waits for (on two cores it would slow the drawing).
    constructor(engine, shown, idle = () => Promise.resolve()) {
        this.engine = engine;
        this.shown = shown;
        this.idle = idle;
        this.player = new SoundPlayer({ makeContext: () => new AudioContext(), loadSynth });
        addEventListener("pagehide", () => this.player.release());
        this.mix = new MixControl(document.getElementById("mix"));
        // The musician's choice of what sounds, kept while meter runs (which
        // have no notes) show the click as the only one.
        this.soundsWanted = "both";
        this.frame = 0;
        this.playing = false;
        this.wire();
    }

    stop() {
        this.player.stop();
    }

    // Play waits for a result to play; Stop, for something playing.
    showPlayable() {
        document.getElementById("play").disabled = this.playing || !this.shown();
        document.getElementById("stop").disabled = !this.playing;
    }

    // One sound of a result (session.js's sound: a file, or what Play sounds
    // when), made once when first asked for.
    soundOf(result, part = "listen") {
        result.sounds ??= {};
        result.sounds[part] ??= this.engine.sound(result, part).then((made) => made[part]);
        return result.sounds[part];
    }

    // A new result: meter runs have no notes, and the choice says so rather
    // than offering them; the instruments load while the musician reads
    // (once the score is drawn), so that Play sounds at once.
    showResult(result) {
        this.mix.show(result.soundingParts ?? []);
        this.showSounds(result.hasNotes);
        if (result.hasNotes) {
            this.idle().then(() => this.player.warm(result.soundingParts ?? [])).catch(() => { /* Play says it */ });
        }
        this.showPlayable();
    }

    // No result to play yet (a score just opened, no passage chosen): the
    // choice of sounds is the score's, not what the meter runs shown before
    // it had.
    showNoResult(scoreOpen) {
        if (scoreOpen) this.showSounds(true);
    }

    showSounds(hasNotes) {
        for (const input of document.querySelectorAll("input[name=sounds]")) {
            input.disabled = !hasNotes && input.value !== "click";
            input.checked = input.value === (hasNotes ? this.soundsWanted : "click");
        }
        document.getElementById("sound-note").textContent = hasNotes ? ""
            : "Meter runs have no notes: only the click sounds. Open a score to hear its music.";
    }

    wire() {
        const play = document.getElementById("play");
        const stop = document.getElementById("stop");
        const note = document.getElementById("play-status");
        const playhead = new Playhead(document.getElementById("tempo-map"));
        const player = this.player;
        const idle = () => {
            cancelAnimationFrame(this.frame);
            playhead.hide();
            const hadFocus = document.activeElement === stop || document.activeElement === document.body;
            this.playing = false;
            this.showPlayable();
            if (hadFocus && !play.disabled) play.focus();
            announce(null);
        };
        // The measure playing, announced as each begins, and the playhead.
        const follow = (result, played, loop) => {
            const where = () => {
                const elapsed = player.elapsed();
                return elapsed === null ? null : { ...whereAt(played, elapsed, loop), elapsed };
            };
            playhead.follow(() => where()?.at ?? null, played.beats, result);
            let last = null;
            const step = () => {
                const now = where();
                if (now === null) return;
                for (const m of measuresBegun(played, last, now)) {
                    announce({ measure: m.measure, heard: m.heard, seconds: m.at, pass: m.pass, played: m.played });
                }
                last = now;
                this.frame = requestAnimationFrame(step);
            };
            step();
        };
        play.addEventListener("click", () => {
            const result = this.shown();
            if (!result || player.busy) return;
            performance.mark("zorv-play");
            const choice = soundChoice();
            const mix = this.mix.value;
            const first = result.leadIn;
            let played = null;
            const taking = player.play(this.soundOf(result).then((listen) => {
                played = passage(listen, { first: first.heard, sounds: choice.sounds, countIn: choice.countIn });
                played.notes = mixedNotes(played.notes, mix);
                return played;
            }), {
                loop: choice.loop,
                started: () => {
                    note.textContent = `Playing from measure ${first.measure}${choice.loop ? ", again and again until Stop" : ""}.`;
                    follow(result, played, choice.loop);
                },
                ended: () => {
                    note.textContent = "";
                    idle();
                },
                failed: (reason) => {
                    note.textContent = `The sound could not start (${reason}). Press Play to try again.`;
                    idle();
                },
            });
            if (!taking) return;
            this.playing = true;
            this.showPlayable();
            stop.focus();
            note.textContent = "Starting the sound...";
        });
        stop.addEventListener("click", () => player.stop());
        for (const input of document.querySelectorAll("input[name=sounds]")) {
            input.addEventListener("change", () => { this.soundsWanted = input.value; });
        }
        // The synthesizer loads at the first touch of the page, so that Play
        // sounds at once.
        const warm = () => {
            removeEventListener("pointerdown", warm, true);
            removeEventListener("keydown", warm, true);
            player.prepare().catch(() => { /* Play says it */ });
        };
        addEventListener("pointerdown", warm, true);
        addEventListener("keydown", warm, true);
    }
}
