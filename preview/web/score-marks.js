// What the open score already asks of its tempo ("rit., m. 45 to 48, then
// a tempo"), listed beside the score file: each one a click from being the
// region and its tempos, or all of them together a plan. The ramps come
// from the preview's Worker (session.js's scoreMarks) as plain data.
import { runPatch } from "./address.js";
import { writeForm } from "./form.js";
import { writeRuns } from "./rows.js";

export class ScoreMarks {
    // apply(): called once the form holds what was chosen.
    constructor({ form, runsList, apply }) {
        this.form = form;
        this.runsList = runsList;
        this.apply = apply;
        this.box = document.getElementById("score-marks");
    }

    // The list for the score open now (file.score, or null for none).
    show(score) {
        const marks = score?.marks;
        this.box.replaceChildren();
        this.box.hidden = !marks?.list.length;
        if (this.box.hidden) return;
        const heading = document.createElement("p");
        heading.textContent = "The score asks for:";
        const list = document.createElement("ul");
        for (const mark of marks.list) list.append(this.item(mark));
        this.box.append(heading, list);
        if (marks.plan.length > 1) {
            const text = `Make all ${marks.plan.length} a plan`;
            this.box.append(this.button(text, () => this.choose(marks.plan), `${text}: every ramp the score asks for, in order`));
        }
    }

    item(mark) {
        const item = document.createElement("li");
        const words = document.createElement("span");
        words.textContent = `${mark.text} (${mark.tempos})`;
        item.append(words);
        if (mark.run) {
            item.append(" ", this.button("Use", () => this.choose([mark.run]), `Use ${mark.text} as the region and its tempos`));
        }
        return item;
    }

    button(text, action, label) {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = text;
        button.setAttribute("aria-label", label);
        button.addEventListener("click", action);
        return button;
    }

    // The first run into the form's fields, the rest as the plan's rows; a
    // percentage stop stays as typed, for the preview to reckon.
    choose(runs) {
        const [first, ...rest] = runs;
        writeForm(this.form, { ...runPatch(first), shape: "linear" });
        writeRuns(this.runsList, rest);
        this.apply();
    }
}
