// The results: the headline, the score and the ramps in sentences, the tempo
// map, then one click away the timing, the hits and "In Finale", and the
// records table, each filled from the preview's result as data.
import { showMap } from "./map.js";

// A score's printed number is its own text: shown as text, never as markup.
function escape(text) {
    return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
}

function headlineLines(headline) {
    return (headline ?? []).map(({ kind, text }) => {
        const line = document.createElement("p");
        line.className = kind;
        line.textContent = text;
        return line;
    });
}

function paragraph(text) {
    const node = document.createElement("p");
    node.textContent = text;
    return node;
}

// [what, figure], or [heading] for a heading row across both columns.
function timingRow([what, figure]) {
    const row = document.createElement("tr");
    const head = document.createElement("th");
    head.scope = "row";
    head.textContent = what;
    row.append(head);
    if (figure === undefined) {
        head.colSpan = 2;
        head.className = "heading";
    } else {
        const cell = document.createElement("td");
        cell.textContent = figure;
        row.append(cell);
    }
    return row;
}

function showHits(hits) {
    document.getElementById("hits-result").hidden = !hits;
    document.getElementById("hits-named").hidden = !hits;
    const table = document.getElementById("hits-table");
    table.caption.textContent = hits?.caption ?? "";
    table.tBodies[0].replaceChildren(...(hits?.rows ?? []).map((cells) => {
        const row = document.createElement("tr");
        row.append(...cells.map((figure) => {
            const cell = document.createElement("td");
            cell.textContent = figure;
            return cell;
        }));
        return row;
    }));
    document.getElementById("hits-notes").replaceChildren(...(hits?.notes ?? []).map(paragraph));
}

function musicxmlNote(past) {
    return past === 0 ? ""
        : `The MusicXML leaves out ${past} tempo record${past === 1 ? "" : "s"} past the score's last measure `
            + "(the step after a region that ends the score).";
}

export class Results {
    constructor() {
        this.shown = null;
        this.recordsDetails = document.getElementById("records-details");
        this.recordsBody = document.querySelector("#records tbody");
        this.recordsOf = null;
        this.recordsDetails.addEventListener("toggle", () => this.fillRecords());
    }

    show(result) {
        this.shown = result;
        const text = (id, value) => { document.getElementById(id).textContent = value; };
        document.getElementById("headline").replaceChildren(...headlineLines(result.headline));
        document.getElementById("about").replaceChildren(...result.about.map((sentence) => paragraph(sentence)));
        text("records-unit", `${result.unit} =`);
        text("records-of", result.plan ? "ramps" : "ramp");
        document.querySelector("#timing tbody").replaceChildren(...result.timing.map(timingRow));
        showHits(result.hits ?? null);
        text("finale", result.finaleText);
        showMap(document.getElementById("tempo-map"), result, document.getElementById("record-info"));
        const count = result.records.length;
        text("record-count", `${count} record${count === 1 ? "" : "s"}`);
        text("musicxml-note", musicxmlNote(result.pastScore));
        showRemarks(document.getElementById("score-remarks"), result.remarks ?? []);
        this.fillRecords();
    }

    // remarks: what the reading of the score open says, which stays beside
    // it while no passage is chosen (none for meter runs).
    withdraw(remarks = []) {
        this.shown = null;
        showRemarks(document.getElementById("score-remarks"), remarks);
    }

    // The table is filled when it is open: a long ramp has thousands of rows,
    // which an edit should not have to build unseen.
    fillRecords() {
        const shown = this.shown;
        if (!this.recordsDetails.open || !shown) {
            this.recordsBody.innerHTML = "";
            this.recordsOf = null;
            return;
        }
        if (this.recordsOf === shown) return;
        this.recordsOf = shown;
        this.recordsBody.innerHTML = shown.records.map((r) => `<tr><td>${escape(r.label)}</td><td>${r.beat}</td>`
            + `<td>${r.tempo.slice(r.tempo.lastIndexOf("= ") + 2)}</td><td>${r.bpm}</td><td>${r.value}</td></tr>`).join("");
    }
}

// What the reader read leniently, each once, beside the score.
function showRemarks(list, remarks) {
    list.hidden = remarks.length === 0;
    list.replaceChildren(...remarks.map((text) => {
        const item = document.createElement("li");
        item.textContent = `${text[0].toUpperCase()}${text.slice(1)}.`;
        return item;
    }));
}
