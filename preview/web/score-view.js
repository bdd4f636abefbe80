// The score on the page: the measure strip and the notation of the open
// score or of the meter runs, drawn when they change, and a measure chosen
// on either written into the region's fields as if typed there.
import { Notation, shadedParts } from "./notation.js";
import { TempoLane } from "./tempo-lane.js";
import { MeasureStrip } from "./strip.js";
import { writeForm } from "./form.js";
import { measureName } from "../lib/music.js";

function names(count, printed) {
    return Array.from({ length: count }, (_, i) => measureName(i + 1, printed));
}

export class ScoreView {
    // file: the ScoreFile; edited(control): a field was written from the score;
    // editsFirst(): what the drawing waits for between its steps (notation.js).
    constructor({ engine, file, form, hitsList, edited, editsFirst }) {
        this.engine = engine;
        this.file = file;
        this.form = form;
        this.hitsList = hitsList;
        this.edited = edited;
        this.shown = null;  // what the notation shows: "score N" or "time TEXT"
        this.timer = 0;
        const byId = (id) => document.getElementById(id);
        const choose = (chosen) => this.choose(chosen);
        this.notation = new Notation(byId("notation"), byId("notation-status"), choose, {
            bar: byId("score-tools"), staves: byId("staves-shown"), zoom: byId("score-zoom"), parts: byId("parts-list"),
            partsSet: byId("parts-set"), editsFirst,
        });
        this.strip = new MeasureStrip(byId("measure-strip"), choose);
        this.lane = new TempoLane(byId("notation"));
        // The measure playing, as the player announces it, marked on the score.
        document.addEventListener("zorv-playing", (event) => {
            this.notation.markPlaying(event.detail?.measure ?? null);
            this.strip.markPlaying(event.detail?.measure ?? null);
        });
    }

    // The result on the score: its region shaded, its tempo in the lane under
    // the measures (null: none).
    showResult(result) {
        const parts = result ? shadedParts(result.region, result.starts) : null;
        this.notation.shade(parts);
        this.strip.shade(parts?.length ? [parts[0][0], parts[parts.length - 1][0]] : null);
        this.lane.show(result, parts ?? []);
    }

    // The notation drawn anew, or cleared: the lane follows its boxes.
    drawn(drawing) {
        Promise.resolve(drawing).then(() => this.lane.redraw(), () => this.lane.redraw());
    }

    // A measure chosen on the notation goes into the fields, as if typed
    // there: From at its first beat, To through its end. With hit points the
    // hits end the ramps, so only From is taken.
    choose({ from, to }) {
        if (from !== undefined) writeForm(this.form, { fromMeasure: String(from), fromBeat: "" });
        const takesTo = to !== undefined && this.hitsList.children.length === 0;
        if (takesTo) writeForm(this.form, { toMeasure: String(to), toBeat: "" });
        if (from === undefined && !takesTo) return;
        this.edited(document.getElementById(from !== undefined ? "from-measure" : "to-measure"));
    }

    // The notation shows the measures the preview has: the open score as it
    // was opened (not with the ramp written in, whose hidden marks it would
    // show), or the minimal score of the meter runs. It is drawn when these
    // change, never for an edit of the region or the tempos; the region's
    // system first.
    draw(state) {
        clearTimeout(this.timer);
        const focus = Number.parseInt(state.fromMeasure, 10) || 1;
        if (state.source === "score") {
            const key = this.file.key();
            if (key === this.shown) return;
            this.shown = key;
            const score = this.file.score;
            if (score) this.show("score", score, score.printed, focus);
            else this.hide("");
            return;
        }
        const key = `time ${state.time}`;
        if (key === this.shown) return;
        const first = this.shown === null;
        this.shown = key;
        // Drawn once typing pauses, not for each key on the way.
        this.timer = setTimeout(async () => {
            let runs = null;
            try {
                runs = await this.engine.notation(state.time);
            } catch {
                if (this.shown === key) this.hide("The meter runs are drawn once they can be read.");
                return;
            }
            if (this.shown === key) this.show("time", runs, null, focus);
        }, first ? 0 : 250);
    }

    // What the Worker holds to draw ("score" or "time": {measures,
    // landmarks, staves}) on the strip and as notation.
    show(of, measures, printed, focus) {
        const named = names(measures.measures, printed);
        this.strip.show(measures.measures, printed, named, measures.landmarks);
        this.drawn(this.notation.draw({ ...measures, names: named, excerpt: (piece) => this.engine.excerpt(of, piece) }, focus));
    }

    hide(message) {
        this.notation.clear(message);
        this.strip.hide();
        this.drawn();
    }
}
