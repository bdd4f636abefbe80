// The score on the page: the notation of the open score or of the meter
// runs, drawn when they change, and a measure chosen on it written into the
// region's fields as if typed there.
import { Notation, shadedParts } from "./notation.js";
import { TempoLane } from "./tempo-lane.js";
import { writeForm } from "./form.js";
import { measureName } from "../lib/music.js";
import { MOST_MEASURES_DRAWN } from "./score-file.js";

function names(count, printed) {
  return Array.from({ length: count }, (_, i) => measureName(i + 1, printed));
}

export class ScoreView {
  // file: the ScoreFile; edited(control): a field was written from the score.
  constructor({ engine, file, form, hitsList, edited }) {
    this.engine = engine;
    this.file = file;
    this.form = form;
    this.hitsList = hitsList;
    this.edited = edited;
    this.shown = null;  // what the notation shows: "score N" or "time TEXT"
    this.timer = 0;
    this.notation = new Notation(document.getElementById("notation"), document.getElementById("notation-status"),
      (chosen) => this.choose(chosen));
    this.lane = new TempoLane(document.getElementById("notation"));
    // The measure playing, as the player announces it, marked on the score.
    document.addEventListener("zorv-playing", (event) => this.notation.markPlaying(event.detail?.measure ?? null));
  }

  // The result on the score: its region shaded, its tempo in the lane under
  // the measures (null: none).
  showResult(result) {
    const parts = result ? shadedParts(result.region, result.starts) : null;
    this.notation.shade(parts);
    this.lane.show(result, parts ?? []);
  }

  // The notation drawn anew, or cleared: the lane follows its boxes.
  drawn(drawing) {
    Promise.resolve(drawing).then(() => this.lane.redraw());
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
  // change, never for an edit of the region or the tempos.
  draw(state) {
    clearTimeout(this.timer);
    const { notation, file } = this;
    if (state.source === "score") {
      const key = file.key();
      if (key === this.shown) return;
      this.shown = key;
      const score = file.score;
      if (!score) notation.clear("");
      else if (file.toDraw?.key === key) this.drawn(notation.draw(file.toDraw.text, score.measures, names(score.measures, score.printed)));
      else notation.clear(`${score.name} is too large to draw here; the fields above choose the region.`);
      this.drawn();
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
        if (this.shown === key) notation.clear("The meter runs are drawn once they can be read.");
        this.drawn();
        return;
      }
      if (this.shown !== key) return;
      if (runs.measures > MOST_MEASURES_DRAWN) {
        notation.clear(`${runs.measures} measures are too many to draw here; the fields above choose the region.`);
        this.drawn();
      } else {
        this.drawn(notation.draw(runs.text, runs.measures, names(runs.measures, null)));
      }
    }, first ? 0 : 250);
  }
}
