// The score file: the file chosen or dropped, read once in the preview's
// Worker, and what the page says of it beside the file field.
import { LARGEST_SCORE_BYTES, scoreTooLarge } from "../lib/musicxml.js";
import { writeForm } from "./form.js";

export class ScoreFile {
    // changed(): called when the file being read or open changes.
    constructor({ engine, form, linked, changed }) {
        this.engine = engine;
        this.form = form;
        this.changed = changed;
        this.score = null;        // {name, measures, printed, tempos, ...} of the score open in the preview
        this.reading = null;      // {name} of the file being read, or null
        this.problem = null;      // the sentence why the file chosen last is no score
        this.linked = linked;     // the name of the score a link was made with, until one is opened
        this.generation = 0;      // the newest file chosen; older ones are dropped
        this.opened = 0;          // the generation of the score open
        this.openLine = document.getElementById("score-open");
        document.getElementById("score").addEventListener("change", (e) => {
            if (e.target.files[0]) this.open(e.target.files[0]);
        });
        this.wireDrop();
        this.showOpen();
    }

    // The score the page has, is reading or is waiting for, by name.
    name() {
        return this.score?.name ?? this.reading?.name ?? this.linked;
    }

    // What draws the open score: "score N" (the Nth file chosen), or null.
    key() {
        return this.score ? `score ${this.opened}` : null;
    }

    showOpen() {
        const { score, reading, linked } = this;
        if (score) this.openLine.textContent = `Open: ${score.name} (${score.measures} measure${score.measures === 1 ? "" : "s"})`;
        else if (reading) this.openLine.textContent = `Reading ${reading.name}...`;
        else if (linked && !this.problem) this.openLine.textContent = `This link was made with the score ${linked}.`;
        else this.openLine.textContent = "";
    }

    // With no score open, what the page says it waits for: {message, isError,
    // problem (the sentence for the file field, or null)}.
    waiting() {
        if (this.reading) return { message: `Reading ${this.reading.name}...`, isError: false, problem: null };
        if (this.problem) {
            return { message: "No result: open another score, or choose meter runs.", isError: true, problem: this.problem };
        }
        if (this.linked) {
            return { message: `Open the score ${this.linked} to see this preview: a link cannot carry the score itself.`,
                isError: false, problem: null };
        }
        return { message: "Open a MusicXML score, or choose meter runs.", isError: false, problem: null };
    }

    // The file chosen or dropped last is the one shown, however long an
    // earlier one takes to read; it is read once, and every edit previews
    // that read. A file that is no score leaves the score open before it
    // open, its sentence beside the file field. changed(true): a new score
    // is open.
    async open(file) {
        performance.mark("zorv-score-chosen");
        const mine = ++this.generation;
        this.problem = null;
        this.reading = { name: file.name };
        writeForm(this.form, { source: "score" });
        this.showOpen();
        this.changed();
        let opened = null;
        try {
            // A file larger than any score is not read at all: its bytes alone
            // could take the tab's memory.
            if (file.size > LARGEST_SCORE_BYTES) throw { input: true, sentence: scoreTooLarge(file.name).sentence };
            const bytes = new Uint8Array(await file.arrayBuffer());
            if (mine !== this.generation) return;
            // The bytes go to the Worker, which also cuts the pieces drawn.
            opened = await this.engine.open(file.name, bytes, mine, this.opened);
        } catch (error) {
            if (mine !== this.generation || error.superseded) return;
            this.problem = error.input ? error.sentence : `${file.name} cannot be read: it may be a folder, or a file `
                + "moved or removed since it was chosen.";
        }
        if (mine !== this.generation) return;
        this.reading = null;
        if (opened) {
            this.score = opened;
            this.opened = mine;
            this.linked = null;
        }
        this.showOpen();
        this.changed(Boolean(opened));
    }

    wireDrop() {
        const body = document.body;
        body.addEventListener("dragover", (e) => { e.preventDefault(); body.classList.add("dropping"); });
        body.addEventListener("dragleave", () => body.classList.remove("dropping"));
        body.addEventListener("drop", (e) => {
            e.preventDefault();
            body.classList.remove("dropping");
            const file = e.dataTransfer.files[0];
            if (file) this.open(file);
        });
    }
}
