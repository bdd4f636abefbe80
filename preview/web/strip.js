// The measure strip above the notation: every measure of the score as a
// small box in wrapped rows, with its printed number, the rehearsal marks,
// meter changes, tempo marks, repeats and endings, and the region shaded.
// A click sets From, a shift-click To, a drag both, as on the notation; from
// the keyboard it is one slider over the measures (arrows, Page Up/Down a
// row, Home/End; Enter sets From, Shift+Enter To).
//
// Only the rows in view are painted, on one canvas, so that a score of
// 32,767 measures costs no more than one of 30.
import { gestureChoice, scrollNearEdge } from "./score-layout.js";

export const BOX_WIDTH = 36;
export const ROW_HEIGHT = 40;
const ROWS_SHOWN = 4;
const MARK_LINE = 12;

// Where each measure's box is: the number of boxes in a row of `width`
// pixels, and the measure (1..count) at a point, or null off the boxes.
export function perRow(width) {
    return Math.max(1, Math.floor(width / BOX_WIDTH));
}

export function measureAt(x, y, width, count) {
    if (x < 0 || y < 0) return null;
    const row = Math.floor(y / ROW_HEIGHT);
    const column = Math.floor(x / BOX_WIDTH);
    const across = perRow(width);
    if (column >= across) return null;
    const measure = row * across + column + 1;
    return measure <= count ? measure : null;
}

// The measure the keyboard moves to, or null for a key that does not move.
export function stripStep(at, key, count, across) {
    const to = {
        ArrowRight: at + 1, ArrowLeft: at - 1, ArrowDown: at + across, ArrowUp: at - across,
        PageDown: at + across * ROWS_SHOWN, PageUp: at - across * ROWS_SHOWN, Home: 1, End: count,
    }[key];
    if (to === undefined) return null;
    return Math.min(count, Math.max(1, to));
}

// Each measure's landmarks by measure: {rehearsal, meter, tempo, forward,
// backward, ending} for those that have any (a Map), from landmarks.js's
// lists.
export function marksByMeasure(landmarks) {
    const marks = new Map();
    const at = (m) => {
        if (!marks.has(m)) marks.set(m, {});
        return marks.get(m);
    };
    for (const [m, text] of landmarks.rehearsals ?? []) at(m).rehearsal = at(m).rehearsal ? `${at(m).rehearsal} ${text}` : text;
    for (const [m, meter] of landmarks.meters ?? []) at(m).meter = meter;
    for (const [m, text] of landmarks.tempos ?? []) at(m).tempo = at(m).tempo ? `${at(m).tempo}, ${text}` : text;
    for (const [m, kind, label] of landmarks.repeats ?? []) {
        if (kind === "ending") at(m).ending = label;
        else at(m)[kind] = true;
    }
    return marks;
}

// What a measure's landmarks say, for the slider's reading of it.
export function marksWords(mark) {
    if (!mark) return "";
    const words = [];
    if (mark.rehearsal) words.push(`rehearsal ${mark.rehearsal}`);
    if (mark.meter) words.push(mark.meter);
    if (mark.tempo) words.push(mark.tempo);
    if (mark.forward) words.push("repeat starts");
    if (mark.ending) words.push(`ending ${mark.ending}`);
    if (mark.backward) words.push("repeat ends");
    return words.join(", ");
}

export class MeasureStrip {
    // holder: the element the strip goes in; choose({from, to}) as the
    // notation's.
    constructor(holder, choose) {
        this.holder = holder;
        this.choose = choose;
        this.scroller = document.createElement("div");
        this.scroller.className = "strip-view";
        this.scroller.tabIndex = 0;
        this.scroller.setAttribute("role", "slider");
        this.scroller.setAttribute("aria-label", "Measure strip: arrow keys move, Enter sets From, Shift+Enter sets To");
        this.space = document.createElement("div");
        this.space.className = "strip-space";
        this.canvas = document.createElement("canvas");
        this.canvas.setAttribute("aria-hidden", "true");
        this.scroller.append(this.canvas, this.space);
        holder.replaceChildren(this.scroller);
        holder.hidden = true;
        this.count = 0;
        this.at = 1;
        this.region = null;
        this.dragged = null;
        this.playing = null;
        this.down = null;
        this.frame = 0;
        this.wire();
    }

    // The measures shown: count, printed numbers (or null: 1, 2, 3...),
    // names (one per measure, as the notation names them) and landmarks.
    show(count, printed, names, landmarks) {
        this.count = count;
        this.printed = printed;
        this.names = names;
        this.marks = marksByMeasure(landmarks ?? {});
        this.at = Math.min(this.at, count) || 1;
        this.holder.hidden = count === 0;
        this.scroller.setAttribute("aria-valuemin", "1");
        this.scroller.setAttribute("aria-valuemax", String(Math.max(1, count)));
        this.layOut();
        this.moveTo(this.at, false);
    }

    hide() {
        this.count = 0;
        this.holder.hidden = true;
    }

    // The region shaded: [from, to] measures, or null.
    shade(region) {
        if (String(region) === String(this.region)) return;
        this.region = region;
        this.paint();
    }

    markPlaying(measure) {
        if (measure === this.playing) return;
        this.playing = measure;
        if (measure) this.reveal(measure);
        this.paint();
    }

    get across() {
        return perRow(this.scroller.clientWidth);
    }

    layOut() {
        const rows = Math.ceil(this.count / this.across);
        this.space.style.height = `${rows * ROW_HEIGHT}px`;
        this.scroller.style.height = `${Math.min(rows, ROWS_SHOWN) * ROW_HEIGHT + 2}px`;
        this.paint();
    }

    // Painted once a frame at most, whatever asked for it.
    paint() {
        if (this.frame || !this.count) return;
        this.frame = requestAnimationFrame(() => {
            this.frame = 0;
            this.draw();
        });
    }

    draw() {
        const width = this.scroller.clientWidth;
        const height = this.scroller.clientHeight;
        const ratio = globalThis.devicePixelRatio || 1;
        const canvas = this.canvas;
        if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
            canvas.width = Math.round(width * ratio);
            canvas.height = Math.round(height * ratio);
            canvas.style.width = `${width}px`;
            canvas.style.height = `${height}px`;
        }
        const g = canvas.getContext("2d");
        g.setTransform(ratio, 0, 0, ratio, 0, 0);
        g.clearRect(0, 0, width, height);
        const top = this.scroller.scrollTop;
        canvas.style.transform = `translateY(${top}px)`;
        const across = this.across;
        const firstRow = Math.floor(top / ROW_HEIGHT);
        const lastRow = Math.min(Math.ceil(this.count / across) - 1, Math.floor((top + height) / ROW_HEIGHT));
        const [from, to] = this.dragged ?? this.region ?? [0, -1];
        for (let row = firstRow; row <= lastRow; row += 1) {
            for (let column = 0; column < across; column += 1) {
                const m = row * across + column + 1;
                if (m > this.count) break;
                this.drawBox(g, m, column * BOX_WIDTH, row * ROW_HEIGHT - top, m >= from && m <= to);
            }
            // The landmarks' words over the boxes, each running on until the next.
            for (let column = 0; column < across; column += 1) {
                const m = row * across + column + 1;
                const mark = this.marks.get(m);
                if (m > this.count) break;
                if (!mark) continue;
                let room = 1;
                while (column + room < across && !this.marks.has(m + room) && m + room <= this.count) room += 1;
                this.drawMarks(g, mark, column * BOX_WIDTH, row * ROW_HEIGHT - top, room * BOX_WIDTH);
            }
        }
    }

    drawBox(g, m, x, y, shaded) {
        const mark = this.marks.get(m);
        g.fillStyle = shaded ? (this.dragged ? "rgba(31, 95, 191, 0.35)" : "rgba(31, 95, 191, 0.2)") : "#fff";
        g.fillRect(x + 1, y + 1, BOX_WIDTH - 2, ROW_HEIGHT - 2);
        g.strokeStyle = "#c9cad1";
        g.lineWidth = 1;
        g.strokeRect(x + 1.5, y + 1.5, BOX_WIDTH - 3, ROW_HEIGHT - 3);
        g.fillStyle = "#1b1b1f";
        g.font = "11px system-ui, sans-serif";
        g.textAlign = "center";
        g.textBaseline = "alphabetic";
        const number = this.printed ? this.printed[m - 1] ?? "" : String(m);
        g.fillText(number, x + BOX_WIDTH / 2, y + ROW_HEIGHT - 7, BOX_WIDTH - 6);
        if (m === this.at && document.activeElement === this.scroller) {
            g.strokeStyle = "#1f5fbf";
            g.lineWidth = 2;
            g.strokeRect(x + 2, y + 2, BOX_WIDTH - 4, ROW_HEIGHT - 4);
        }
        if (m === this.playing) {
            g.fillStyle = "#c33";
            g.fillRect(x + 2, y + ROW_HEIGHT - 5, BOX_WIDTH - 4, 3);
        }
    }

    drawMarks(g, mark, x, y, room) {
        g.save();
        g.beginPath();
        g.rect(x, y, room - 2, ROW_HEIGHT);
        g.clip();
        g.textAlign = "left";
        g.textBaseline = "alphabetic";
        g.fillStyle = "#1b1b1f";
        g.font = "bold 10px system-ui, sans-serif";
        const line = y + MARK_LINE;
        let left = x + (mark.forward ? 10 : 4);
        if (mark.rehearsal) {
            const w = g.measureText(mark.rehearsal).width + 4;
            g.strokeStyle = "#1b1b1f";
            g.lineWidth = 1;
            g.strokeRect(left - 1.5, line - 9.5, w, 12);
            g.fillText(mark.rehearsal, left, line);
            left += w + 3;
        }
        g.font = "10px system-ui, sans-serif";
        if (mark.meter) {
            g.fillText(mark.meter, left, line);
            left += g.measureText(mark.meter).width + 3;
        }
        if (mark.tempo) {
            g.fillStyle = "#1f5fbf";
            g.fillText(mark.tempo, left, line);
            g.fillStyle = "#1b1b1f";
        }
        if (mark.ending) {
            g.fillRect(x + 3, y + ROW_HEIGHT - 24, BOX_WIDTH - 6, 1);
            g.fillRect(x + 3, y + ROW_HEIGHT - 24, 1, 5);
            g.fillText(mark.ending, x + 6, y + ROW_HEIGHT - 15);
        }
        g.restore();
        const repeat = (edge, dots) => {
            g.fillRect(edge, y + 4, 2, ROW_HEIGHT - 8);
            g.beginPath();
            g.arc(dots, y + ROW_HEIGHT / 2 - 3, 1.6, 0, 2 * Math.PI);
            g.arc(dots, y + ROW_HEIGHT / 2 + 3, 1.6, 0, 2 * Math.PI);
            g.fill();
        };
        if (mark.forward) repeat(x + 2, x + 7);
        if (mark.backward) repeat(x + BOX_WIDTH - 4, x + BOX_WIDTH - 8);
    }

    // The slider's place, read out as the measure and its landmarks.
    moveTo(measure, reveal = true) {
        this.at = measure;
        const name = this.names?.[measure - 1] ?? `measure ${measure}`;
        const marks = marksWords(this.marks?.get(measure));
        this.scroller.setAttribute("aria-valuenow", String(measure));
        this.scroller.setAttribute("aria-valuetext", marks ? `${name}: ${marks}` : name);
        if (reveal) this.reveal(measure);
        this.paint();
    }

    reveal(measure) {
        const row = Math.floor((measure - 1) / this.across);
        const top = row * ROW_HEIGHT;
        const view = this.scroller;
        if (top < view.scrollTop) view.scrollTop = top;
        else if (top + ROW_HEIGHT > view.scrollTop + view.clientHeight) view.scrollTop = top + ROW_HEIGHT - view.clientHeight;
    }

    measureAtPointer(clientX, clientY) {
        const box = this.scroller.getBoundingClientRect();
        const x = Math.min(Math.max(0, clientX - box.left), this.scroller.clientWidth - 1);
        const y = Math.min(Math.max(0, clientY - box.top), this.scroller.clientHeight - 1) + this.scroller.scrollTop;
        return measureAt(x, y, this.scroller.clientWidth, this.count) ?? this.count;
    }

    wire() {
        const view = this.scroller;
        view.addEventListener("scroll", () => this.paint());
        view.addEventListener("focus", () => this.paint());
        view.addEventListener("blur", () => this.paint());
        // Laid out in the next frame: a layout inside the observer's own
        // callback can change the size it watches (a scrollbar comes or goes),
        // which browsers report as an observer loop.
        let pending = 0;
        new ResizeObserver(() => {
            cancelAnimationFrame(pending);
            pending = requestAnimationFrame(() => { if (this.count) this.layOut(); });
        }).observe(view);
        view.addEventListener("pointerdown", (event) => {
            if (event.button !== 0 || !this.count) return;
            // The scrollbar scrolls; only the boxes choose.
            if (event.clientX - view.getBoundingClientRect().left >= view.clientWidth) return;
            event.preventDefault();
            view.focus({ preventScroll: true });
            const measure = this.measureAtPointer(event.clientX, event.clientY);
            this.down = { measure, over: measure, shift: event.shiftKey, y: event.clientY, x: event.clientX };
            this.moveTo(measure, false);
        });
        window.addEventListener("pointermove", (event) => {
            if (!this.down) return;
            Object.assign(this.down, { x: event.clientX, y: event.clientY });
            this.follow();
            if (!this.scrolling) this.scrolling = requestAnimationFrame(() => this.scrollWhileDragging());
        });
        window.addEventListener("pointerup", (event) => {
            if (!this.down) return;
            const { measure, over, shift } = this.down;
            this.down = null;
            this.dragged = null;
            this.moveTo(over, false);
            this.choose(gestureChoice(measure, over, shift || event.shiftKey));
        });
        view.addEventListener("pointercancel", () => {
            this.down = null;
            this.dragged = null;
            this.paint();
        });
        view.addEventListener("keydown", (event) => {
            if (!this.count) return;
            if (event.key === "Enter") {
                event.preventDefault();
                this.choose(event.shiftKey ? { to: this.at } : { from: this.at });
                return;
            }
            const to = stripStep(this.at, event.key, this.count, this.across);
            if (to === null) return;
            event.preventDefault();
            this.moveTo(to);
        });
    }

    follow() {
        const measure = this.measureAtPointer(this.down.x, this.down.y);
        if (measure === this.down.over) return;
        this.down.over = measure;
        const { measure: first } = this.down;
        this.dragged = first <= measure ? [first, measure] : [measure, first];
        this.paint();
    }

    scrollWhileDragging() {
        this.scrolling = 0;
        if (!this.down) return;
        if (!scrollNearEdge(this.scroller, this.down.y)) return;
        this.follow();
        this.scrolling = requestAnimationFrame(() => this.scrollWhileDragging());
    }
}
