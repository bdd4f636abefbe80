// The score drawn on the page (opensheetmusicdisplay), and the region chosen
// on it. Over the drawing lies one box per measure, each an option of a
// listbox named by the measure as Finale counts it (data-measure, pickup =
// 1) and as the score prints it: a click sets From, a shift-click sets To, a
// drag sets both (scrolling the view when it reaches its edge); the keyboard
// moves through the measures with the arrows, and Enter sets From,
// Shift+Enter To. The region is shaded on the boxes, and the measure playing
// is marked and kept in view.
//
// A score of any size is drawn system by system: each system is a piece of
// the score (the Worker cuts it, excerpt.js) drawn on its own, the region's
// first, each in tasks of its own, so that the page answers while the rest
// comes. The staves shown (all, a short score of the top and bottom parts,
// or the parts chosen) and the zoom are the musician's.
//
// The drawing library is text inside the page, started only when a score is
// first drawn, so that the first result does not wait for it.
import NOTATION_SOURCE from "zorv-notation-source";
import { measureWidth, systemRuns } from "../lib/excerpt.js";
import { Pace } from "./pace.js";
import {
    PAD_UNITS, STAFF_UNITS, SYSTEM_MARGIN_UNITS, UNIT_PX, USUAL_WIDTH, boxWithin, drawOrder, gestureChoice, scrollNearEdge,
    runOf, shownParts, zoomFor,
} from "./score-layout.js";
import { THROUGH_MEASURE_END } from "../lib/music.js";
import { LANE_ROOM_PX } from "./tempo-lane.js";

// Drawing a system of more notes than this holds the page too long. Each
// system also costs the library a setting-up of its own (the parts, their
// clefs and names), which smaller systems would pay more often than they
// shorten the longest task: on 22 staves, 300 notes a system against 400
// took the longest task from about 190 to 155 ms of the page's processor
// time, for 5 % more of it in all; at 120 the whole drawing took 2.2 times
// the library's one drawing.
const MOST_NOTES_A_SYSTEM = 300;

// A task of the drawing runs on into its next step while both are expected
// to end within this. Small systems' steps (a few ms each on two parts)
// then share a task; a tempo typed meanwhile waits no longer than for one
// step of an orchestral system (at 120 ms, edits made while the 22-staff
// fixture was drawn waited up to 390 ms, against 63 ms before).
const TASK_BUDGET_MS = 50;

// The height the library gives a page that never ends.
const ENDLESS_PAGE_HEIGHT = 100001;

let library = null;

// The library, started once from its text.
function loadLibrary() {
    library ??= new Promise((resolve, reject) => {
        const url = URL.createObjectURL(new Blob([NOTATION_SOURCE], { type: "text/javascript" }));
        const script = document.createElement("script");
        script.src = url;
        script.onload = () => {
            URL.revokeObjectURL(url);
            script.remove();
            if (globalThis.opensheetmusicdisplay) resolve(globalThis.opensheetmusicdisplay);
            else reject(new Error("the notation library did not start"));
        };
        script.onerror = () => reject(new Error("the notation library could not be started"));
        document.head.append(script);
    });
    return library;
}

// What the library drew under a staff line reaches this far down (units from
// the drawing's top): its words sung, a low note's ledger lines, a dynamic.
// The lowest of the outline it keeps of the line; null without one.
function lowestUnder(staffLine) {
    const outline = staffLine?.BottomLine;
    if (!outline?.length) return null;
    return staffLine.PositionAndShape.AbsolutePosition.y + Math.max(...outline);
}

// The room kept under the lowest thing drawn, for a word's descenders.
const BELOW_UNITS = 0.6;

// The boxes of drawn measures, in CSS pixels from the drawing's top left:
// [{x, y, width, height}] in score order, each from the top of the first
// staff to the bottom of the last of its system, or further down to what is
// drawn under it (words sung), so that the tempo lane under the box hides
// none of it. measureList: the library's GraphicSheet.MeasureList (per
// measure, one entry per staff).
export function measureBoxes(measureList, zoom) {
    const scale = UNIT_PX * zoom;
    return measureList.map((staves) => {
        const drawn = staves.filter((staff) => staff && staff.PositionAndShape);
        if (!drawn.length) return null;
        const first = drawn[0].PositionAndShape;
        const last = drawn[drawn.length - 1].PositionAndShape;
        const top = first.AbsolutePosition.y - PAD_UNITS;
        const lowest = lowestUnder(drawn[drawn.length - 1].ParentStaffLine);
        const bottom = Math.max(last.AbsolutePosition.y + 4 + PAD_UNITS, lowest === null ? -Infinity : lowest + BELOW_UNITS);
        return {
            x: first.AbsolutePosition.x * scale, y: top * scale,
            width: first.Size.width * scale, height: (bottom - top) * scale,
        };
    });
}

// The measure the keyboard moves to from `at` (1..count) on a key, or null
// for a key that does not move.
export function stepMeasure(at, key, count) {
    const to = { ArrowRight: at + 1, ArrowDown: at + 1, ArrowLeft: at - 1, ArrowUp: at - 1, Home: 1, End: count }[key];
    if (to === undefined) return null;
    return Math.min(count, Math.max(1, to));
}

// The part of each measure the region covers, [measure, from, to] with
// from and to as fractions of the measure's length. region: [startMeasure,
// startPosition, endMeasure, endPosition] as the selection tool gives it;
// starts: each measure's start in units (1-based, one past the last).
export function shadedParts(region, starts) {
    const [sm, sp, em, ep] = region;
    const parts = [];
    for (let m = sm; m <= em && m + 1 < starts.length; m += 1) {
        const length = starts[m + 1] - starts[m];
        const from = m === sm && length > 0 ? sp / length : 0;
        const to = m === em && ep !== THROUGH_MEASURE_END && length > 0 ? Math.min(1, (ep + 1) / length) : 1;
        parts.push([m, from, to]);
    }
    return parts;
}

// The next task, without the clamp nested timers get: the page answers
// what came meanwhile.
function nextTask() {
    return new Promise((resolve) => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve();
        channel.port2.postMessage(null);
    });
}

// A system's layout, done as the library's render() would begin it, so
// that the drawing can follow in a task of its own: each is about half of
// render(). False where this library does not lay out so (render() then
// does both at once).
function layOut(osmd, width) {
    const graphic = osmd.GraphicSheet;
    const rules = osmd.EngravingRules;
    const endless = !rules.PageFormat || rules.PageFormat.IsUndefined;
    if (!graphic || typeof graphic.reCalculate !== "function" || !osmd.Sheet || !endless || rules.RenderSingleHorizontalStaffline) {
        return false;
    }
    osmd.Sheet.pageWidth = width / osmd.zoom / UNIT_PX;
    rules.PageHeight = ENDLESS_PAGE_HEIGHT;
    graphic.reCalculate();
    return true;
}

// How full each line the library laid a piece out in is: its measures'
// least widths over the widths it spread them to (about 0.5 to 0.9 on a
// full line; a lone measure stretched across the view, 0.2 to 0.3).
function lineFills(osmd) {
    return osmd.GraphicSheet.MusicPages.flatMap((page) => page.MusicSystems).map((system) => {
        let least = 0;
        let laid = 0;
        for (const staves of system.GraphicalMeasures) {
            const drawn = staves.filter(Boolean);
            if (!drawn.length) continue;
            least += Math.max(...drawn.map((m) => m.minimumStaffEntriesWidth + m.beginInstructionsWidth + m.endInstructionsWidth));
            laid += drawn[0].PositionAndShape.Size.width;
        }
        return laid > 0 && Number.isFinite(least) ? least / laid : 1;
    });
}

// Whether the last line of a piece the library broke is spread out looser
// than its first by more than this: where it is not, the library's lines
// read as systems of their own (an orchestral score's widest measures, one
// to a line), and are kept as they are.
const LOOSE_LINE = 0.75;

function looseLast(fills) {
    return fills.length > 1 && fills[fills.length - 1] < LOOSE_LINE * fills[0];
}

// The notes measures from..to hold (notes: each measure's, or null: one
// for each measure), which the drawing paces its steps by.
function notesHeld(notes, from, to) {
    return notes ? notes.slice(from - 1, to).reduce((n, m) => n + m, 0) : to - from + 1;
}

// The measures the library laid out on the piece's first line: all of them,
// where its widths were as reckoned.
function firstLineMeasures(osmd) {
    const first = osmd.GraphicSheet.MusicPages[0]?.MusicSystems[0];
    return first ? first.GraphicalMeasures.length : osmd.GraphicSheet.MeasureList.length;
}

// The piece's layout ends after its first `count` measures. The library
// reads its last measure as a number where the piece begins with a pickup
// (measure 0), and as an index otherwise.
function keepOnly(osmd, count) {
    const rules = osmd.EngravingRules;
    rules.MaxMeasureToDrawIndex = count - 1;
    rules.MaxMeasureToDrawNumber = osmd.Sheet.SourceMeasures[0]?.ImplicitMeasure ? count - 1 : count;
}

// The system drawn; laid out already (layOut), render() only draws it.
function render(osmd, laidOut) {
    const graphic = osmd.GraphicSheet;
    if (!laidOut) {
        osmd.render();
        return;
    }
    graphic.reCalculate = () => {};
    try {
        osmd.render();
    } finally {
        delete graphic.reCalculate;
    }
}

// Where a system is drawn before it goes into the view: in the page, so that
// the library can measure its text, but outside the view, where every
// element the library appended was a change the tempo lane's watch on the
// view was told of (adding elements took 130 ms of an orchestral score's
// drawing there, 50 ms here). The finished system then goes in at once.
function stageFor(width) {
    let stage = document.getElementById("notation-stage");
    if (!stage) {
        stage = document.createElement("div");
        stage.id = "notation-stage";
        stage.setAttribute("aria-hidden", "true");
        stage.style.cssText = "position: absolute; left: -100000px; top: 0; contain: layout style;";
        document.body.append(stage);
    }
    stage.style.width = `${width}px`;
    return stage;
}

// A drawn system out of view is not styled, laid out or painted until it is
// scrolled near: on 22 staves the page's frames had done that for every
// system as it came, 280 ms of an orchestral score's drawing against the
// 140 ms the library's one drawing has the browser spend. It keeps the
// drawing's height meanwhile, so that nothing moves when it comes into view
// (the page's style sets the drawing to its picture's height).
function skippedOutOfView(drawing, svg) {
    if (!svg) return;
    drawing.style.containIntrinsicHeight = `auto ${svg.height.baseVal.value}px`;
    drawing.style.contentVisibility = "auto";
}

// The room a system keeps under its drawing for the tempo lane under its
// lowest box, where that reaches past the drawing's foot (px).
function roomUnder(boxes, svg) {
    if (!svg || !boxes.length) return 0;
    const reach = Math.max(...boxes.map((box) => (box ? box.y + box.height : 0))) + LANE_ROOM_PX;
    return Math.max(0, Math.ceil(reach - svg.height.baseVal.value));
}

const nextFrame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));

export class Notation {
    // view: the element the score is drawn in; status: where the drawing
    // says what it is doing; choose({from, to}): a measure chosen for From
    // and/or To; tools: the {staves, zoom, parts} controls (a select, a
    // select, and the element the parts' boxes go in), optional, and
    // editsFirst(): a promise that the page's awaited answers are shown.
    constructor(view, status, choose, tools = {}) {
        this.view = view;
        this.status = status;
        this.choose = choose;
        this.tools = tools;
        this.list = document.createElement("div");
        this.list.className = "measures";
        this.list.setAttribute("role", "listbox");
        this.list.setAttribute("aria-label", "Measures of the score: arrow keys move, Enter sets From, Shift+Enter sets To");
        this.list.setAttribute("aria-multiselectable", "true");
        this.view.replaceChildren(this.list);
        this.source = null;
        this.pieces = [];
        this.boxes = [];
        this.count = 0;
        this.at = 1;
        this.focus = 1;
        this.generation = 0;
        this.drawing = null;
        this.down = null;
        this.shaded = null;
        this.wire();
        this.wireTools();
    }

    // Draws a score: source {measures, names, staves: [{name, staves}],
    // landmarks: {columns}, excerpt(piece) -> Promise<MusicXML text>}, the
    // system holding measure `focus` first. An older drawing under way stops.
    draw(source, focus = this.focus) {
        this.source = source;
        this.focus = focus;
        this.showParts(source.staves);
        return this.redraw();
    }

    // The score drawn anew with the tools' choices; the promise is kept so
    // that others can wait until no drawing is under way (idle).
    redraw() {
        const drawing = this.drawSystems();
        this.drawing = drawing;
        const done = () => { if (this.drawing === drawing) this.drawing = null; };
        drawing.then(done, done);
        return drawing;
    }

    // Resolves once no drawing is under way: work that can wait (the
    // instruments made ready) leaves the page's thread to the drawing.
    async idle() {
        while (this.drawing) await this.drawing.catch(() => {});
    }

    async drawSystems() {
        const mine = ++this.generation;
        const source = this.source;
        const started = performance.now();
        const parts = shownParts(this.tools.staves?.value ?? "all", source.staves.length, this.chosenParts());
        const staves = parts.reduce((n, i) => n + source.staves[i].staves, 0);
        const width = this.view.clientWidth || USUAL_WIDTH;
        // Read once a drawing: read as each system is placed, it had the
        // browser lay the page out there and then, new music and all.
        this.viewHeight = this.view.clientHeight;
        const zoom = zoomFor(this.tools.zoom?.value ?? "fit", staves, width, this.viewHeight);
        // The notes of the parts drawn, as a share of all parts' staves.
        const share = staves / Math.max(1, source.staves.reduce((n, part) => n + part.staves, 0));
        const notes = source.landmarks.notes?.map((n) => n * share) ?? null;
        const plan = {
            widths: source.landmarks.spacing.slice(0, source.measures).map(measureWidth),
            room: width / (UNIT_PX * zoom) - SYSTEM_MARGIN_UNITS, notes,
        };
        const runs = systemRuns(plan.widths, plan.room, { notes, mostNotes: MOST_NOTES_A_SYSTEM });
        this.clear();
        this.plan = plan;
        this.count = source.measures;
        this.names = source.names;
        this.layOut(runs, (staves * STAFF_UNITS + 6 * PAD_UNITS) * UNIT_PX * zoom, notes);
        const pieces = this.pieces;
        this.say("Drawing the score...");
        const order = drawOrder(runs.length, runOf(runs, this.focus)).map((index) => pieces[index]);
        // The Worker cuts the next piece while this one is drawn; the first
        // is asked for before anything else the page asks of it now (the
        // preview of a score just opened), so that the page reads the
        // region's system while the Worker previews.
        const cut = (piece) => {
            const text = this.source.excerpt({ from: piece.from, to: piece.to, parts, short: piece.from > 1 });
            const cutting = { text, ready: false, piece, from: piece.from, to: piece.to };
            text.then(() => { cutting.ready = true; }, () => { /* drawPiece says it */ });
            return cutting;
        };
        let next = order.length ? cut(order[0]) : null;
        // The status is painted before the first piece holds the page.
        await nextFrame();
        if (mine !== this.generation) return false;
        let library;
        try {
            library = await loadLibrary();
        } catch (error) {
            if (mine === this.generation) this.say(`The score could not be drawn (${error.message}); the fields above still choose the region.`);
            return false;
        }
        if (mine !== this.generation) return false;
        const pace = new Pace(TASK_BUDGET_MS, () => this.step());
        // This task began with the frame awaited: the region's system is read
        // now, while the Worker previews the score, rather than after its
        // answer is shown.
        pace.newTaskBegan();
        let failed = 0;
        for (let done = 0; done < order.length; done += 1) {
            if (mine !== this.generation) return false;
            const piece = order[done];
            // A system drawn since this piece was cut may have planned its
            // measures anew (replanAfter).
            const text = next?.piece === piece && next.from === piece.from && next.to === piece.to ? next : cut(piece);
            next = done + 1 < order.length ? cut(order[done + 1]) : null;
            const ends = piece.to;
            const ok = await this.drawPiece(library, piece, text, zoom, mine, pace);
            if (mine !== this.generation) return false;
            if (!ok) failed += 1;
            if (piece.to < ends) this.replanAfter(piece, order, done);
            if (done === 0) {
                performance.mark("zorv-first-system");
                this.revealMeasure(this.focus);
            }
            if (order.length > 1) this.say(`Drawing the score: ${done + 1} of ${order.length} systems...`);
            // The region's system is shown as soon as it is drawn; the others
            // when the page's next turn comes.
            if (done === 0) await pace.newTask();
        }
        await pace.newTask();
        // A newer drawing may have begun while the last step waited: its
        // measures are not drawn yet.
        if (mine !== this.generation) return false;
        this.list.removeAttribute("aria-busy");
        this.say(failed ? `${failed} of ${order.length} systems could not be drawn; their measures can still be chosen.` : "");
        performance.measure("zorv-notation", { start: started, end: performance.now(), detail: { measures: this.count } });
        performance.mark("zorv-score-drawn");
        return failed === 0;
    }

    // One room per system, as tall as it will about be, so that the view
    // can be scrolled to the region before the rest is drawn.
    layOut(runs, height, notes) {
        this.systemHeight = `${Math.round(height)}px`;
        this.pieces = runs.map(([from, to]) => {
            return this.newPiece(from, to, notesHeld(notes, from, to));
        });
        this.pieces.forEach((piece, i) => { piece.following = this.pieces[i + 1] ?? null; });
        this.list.replaceChildren(...this.pieces.map((piece) => piece.slot));
        this.list.tabIndex = 0;
        this.list.setAttribute("aria-busy", "true");
        this.at = Math.min(this.at, this.count) || 1;
        this.cursor(this.at, false);
        this.shade(this.shaded);
    }

    // A piece of measures from..to holding about `notes` notes, in a room of
    // its own (not yet in the list).
    newPiece(from, to, notes) {
        const slot = document.createElement("div");
        slot.className = "system";
        slot.setAttribute("role", "none");
        slot.style.height = this.systemHeight;
        const drawing = document.createElement("div");
        drawing.className = "drawing";
        drawing.setAttribute("aria-hidden", "true");
        slot.append(drawing);
        return { from, to, notes, slot, drawing, following: null, placed: false, drawn: false };
    }

    // A system drawn in its room: the library reads its piece, lays it out
    // and draws it, each step in a task of its own or after another as the
    // pace allows. Where the library broke the piece onto a second line
    // spread looser than its first, the measures after its first line begin
    // the following system instead, where that is still to be drawn, or a
    // system of their own at the score's end: a line of one or two measures
    // stretched across the view read as a fault. False when the piece could
    // not be drawn.
    async drawPiece(library, piece, cutting, zoom, mine, pace) {
        const { slot } = piece;
        const holder = document.createElement("div");
        let boxes = null;
        try {
            const waited = !cutting.ready;
            const text = await cutting.text;
            if (mine !== this.generation) return false;
            // Waiting for the Worker left the task the drawing was in.
            if (waited) pace.newTaskBegan();
            await pace.next("read", piece.notes);
            if (mine !== this.generation) return false;
            const osmd = new library.OpenSheetMusicDisplay(holder, {
                autoResize: false, backend: "svg", drawTitle: false, drawSubtitle: false, drawComposer: false,
                drawLyricist: false, drawCredits: false, drawPartNames: true, stretchLastSystemLine: true,
                drawMeasureNumbers: true, drawMeasureNumbersOnlyAtSystemStart: true,
            });
            // What the library notes of a piece (a repeat whose start lies in
            // another piece) is no fault of the score.
            osmd.setLogLevel("silent");
            // One drawn measure for each measure of the score: no rests folded
            // into one multi-measure rest.
            osmd.EngravingRules.AutoGenerateMultipleRestMeasuresFromRestMeasures = false;
            osmd.EngravingRules.RenderMultipleRestMeasures = false;
            // The piece is one system, as wide as the view, with the page's
            // margins above and below it left out: systems follow closely.
            osmd.EngravingRules.RenderXMeasuresPerLineAkaSystem = piece.to - piece.from + 1;
            osmd.EngravingRules.PageTopMargin = 1;
            osmd.EngravingRules.PageBottomMargin = 1;
            await osmd.load(text);
            pace.done();
            await pace.next("layout", piece.notes);
            if (mine !== this.generation) return false;
            osmd.zoom = zoom;
            const laidOut = layOut(osmd, piece.drawing.clientWidth);
            pace.done();
            const kept = laidOut && !piece.following?.drawn && looseLast(lineFills(osmd)) ? firstLineMeasures(osmd) : Infinity;
            const shortened = kept < piece.to - piece.from + 1;
            if (shortened) {
                await pace.next("layout", piece.notes);
                if (mine !== this.generation) return false;
                keepOnly(osmd, kept);
                layOut(osmd, piece.drawing.clientWidth);
                piece.notes *= kept / (piece.to - piece.from + 1);
                piece.to = piece.from + kept - 1;
                pace.done();
            }
            await pace.next(laidOut ? "draw" : "layout and draw", piece.notes);
            if (mine !== this.generation) return false;
            const before = slot.offsetHeight;
            const above = slot.offsetTop + before <= this.view.scrollTop;
            stageFor(piece.drawing.clientWidth).replaceChildren(holder);
            render(osmd, laidOut);
            // Placed only once drawn: the browser never paints it half done.
            piece.drawing.replaceChildren(holder);
            const picture = holder.querySelector("svg");
            skippedOutOfView(piece.drawing, picture);
            const count = piece.to - piece.from + 1;
            boxes = measureBoxes(shortened ? osmd.GraphicSheet.MeasureList.slice(0, count) : osmd.GraphicSheet.MeasureList, zoom);
            // The lines the library broke the system into where its measures
            // came out wider than the view (one, where the widths were right),
            // and whether its last is left spread loose.
            const fills = lineFills(osmd);
            slot.dataset.lines = String(fills.length);
            slot.dataset.loose = String(looseLast(fills));
            slot.style.removeProperty("height");
            slot.style.paddingBottom = `${roomUnder(boxes, picture)}px`;
            // A system drawn above what is in view keeps the view where it was.
            if (above) this.view.scrollTop += slot.offsetHeight - before;
            pace.done();
            if (boxes.length !== count) throw new Error(`${boxes.length} measures drawn of ${count}`);
        } catch (error) {
            pace.done();
            // A system left half drawn on the stage goes with the fault.
            holder.remove();
            if (mine !== this.generation) return false;
            const note = document.createElement("p");
            note.className = "undrawn";
            note.textContent = `Measures ${piece.from} to ${piece.to} could not be drawn (${error.message ?? error}).`;
            piece.drawing.replaceChildren(note);
            slot.style.removeProperty("height");
            boxes = null;
        }
        piece.drawn = true;
        this.place(piece, boxes);
        return boxes !== null;
    }

    // After a system the library laid out wider than reckoned (its measures
    // after `piece.to` were left for later): the systems still to be drawn
    // planned anew from there, up to where a new system ends where an old one
    // did (the plan fills each system in turn, so that from there on it is
    // the old one), the next one drawn, or the score's end. Only shifted, not
    // widened: widened by how much wider the library's measures had come
    // out, the plan made lines of one measure of what the library fits two to
    // a line. The new pieces take the old ones' places in the drawing's order.
    replanAfter(piece, order, done) {
        const plan = this.plan;
        const stale = [];
        let next = piece.following;
        for (; next && !next.drawn; next = next.following) stale.push(next);
        const from = piece.to + 1;
        const to = next ? next.from - 1 : this.count;
        const notes = plan.notes?.slice(from - 1, to) ?? null;
        const runs = systemRuns(plan.widths.slice(from - 1, to), plan.room, { notes, mostNotes: MOST_NOTES_A_SYSTEM })
            .map(([a, b]) => [a + from - 1, b + from - 1]);
        const oldEnds = new Map(stale.map((old, i) => [old.to, i]));
        const meet = runs.findIndex(([, b]) => oldEnds.has(b));
        const replaced = meet < 0 ? stale : stale.slice(0, oldEnds.get(runs[meet][1]) + 1);
        const after = meet < 0 ? next : replaced.at(-1).following;
        const fresh = (meet < 0 ? runs : runs.slice(0, meet + 1)).map(([a, b], i) => {
            const made = replaced[i] ?? this.newPiece(0, 0, 0);
            return Object.assign(made, { from: a, to: b, notes: notesHeld(plan.notes, a, b) });
        });
        fresh.forEach((made, i) => { made.following = fresh[i + 1] ?? after; });
        piece.following = fresh[0];
        let prior = piece;
        for (const made of fresh) {
            if (!made.slot.isConnected) prior.slot.after(made.slot);
            prior = made;
        }
        this.pieces.splice(this.pieces.indexOf(piece) + 1, replaced.length, ...fresh);
        const gone = new Set(replaced);
        const rest = order.slice(done + 1).filter((p) => !gone.has(p));
        order.splice(done + 1, Infinity, ...fresh, ...rest);
        // Boxes made before go to their measure's system now.
        for (const made of fresh) if (made.placed || this.boxes.slice(made.from - 1, made.to).some(Boolean)) this.place(made);
        for (const old of replaced.slice(fresh.length)) old.slot.remove();
    }

    // Between two steps of the drawing: the page's other work goes first, and
    // an edit's answer, awaited (tools.editsFirst), is shown before the
    // drawing goes on.
    async step() {
        await nextTask();
        await this.tools.editsFirst?.();
    }

    // No drawing, and why (or nothing).
    clear(message = null) {
        this.list.replaceChildren();
        this.list.removeAttribute("tabindex");
        this.list.removeAttribute("aria-activedescendant");
        this.list.removeAttribute("aria-busy");
        this.pieces = [];
        this.boxes = [];
        this.count = 0;
        // Nothing to draw: the score's room goes too. While a drawing is on its
        // way the room stays, so that nothing below it moves when it comes.
        this.view.classList.toggle("blank", message !== null);
        if (this.tools.bar) this.tools.bar.hidden = message !== null;
        if (message !== null) {
            this.generation += 1;
            this.say(message);
        }
    }

    say(text) {
        this.status.textContent = text;
    }

    // The boxes of a system's measures, over its drawing (boxes), or, not
    // drawn yet, side by side across its room.
    place(piece, boxes = null) {
        const count = piece.to - piece.from + 1;
        const viewHeight = (this.viewHeight ?? this.view.clientHeight) - 4;
        for (let i = 0; i < count; i += 1) {
            const measure = piece.from + i;
            let option = this.boxes[measure - 1];
            if (!option) {
                option = document.createElement("div");
                option.className = "measure";
                option.id = `measure-${measure}`;
                option.setAttribute("role", "option");
                option.setAttribute("aria-selected", "false");
                option.setAttribute("data-measure", String(measure));
                option.setAttribute("aria-label", this.names[measure - 1]);
                option.title = this.names[measure - 1];
                this.boxes[measure - 1] = option;
            }
            if (option.parentNode !== piece.slot) {
                const after = this.boxes[measure];
                piece.slot.insertBefore(option, after?.parentNode === piece.slot ? after : null);
            }
            const box = boxes ? boxWithin(boxes[i] ?? { x: 0, y: 0, width: 0, height: 0 }, viewHeight)
                : { x: `${(i * 100) / count}%`, y: 0, width: `${100 / count}%`, height: "100%" };
            const px = (v) => (typeof v === "number" ? `${v}px` : v);
            Object.assign(option.style, { left: px(box.x), top: px(box.y), width: px(box.width), height: px(box.height) });
        }
        piece.placed = true;
        this.shade(this.shaded);
    }

    // The box of a measure, made (undrawn) when its system is not drawn yet.
    boxOf(measure) {
        if (!this.boxes[measure - 1] && this.pieces.length) {
            const piece = this.pieces[runOf(this.pieces.map((p) => [p.from, p.to]), measure)];
            if (!piece.placed) this.place(piece);
        }
        return this.boxes[measure - 1] ?? null;
    }

    // The keyboard's place among the measures.
    cursor(measure, reveal = true) {
        if (!this.count) return;
        this.boxes[this.at - 1]?.classList.remove("cursor");
        this.at = measure;
        const box = this.boxOf(measure);
        if (!box) return;
        box.classList.add("cursor");
        this.list.setAttribute("aria-activedescendant", box.id);
        if (reveal) this.reveal(box);
    }

    revealMeasure(measure) {
        const box = this.boxOf(measure);
        if (box) this.reveal(box);
    }

    // A measure brought into the score's own view, which scrolls inside the
    // page; the page itself stays where the musician left it.
    reveal(box) {
        const view = this.view;
        const top = box.getBoundingClientRect().top - view.getBoundingClientRect().top + view.scrollTop;
        const bottom = top + box.offsetHeight;
        if (top < view.scrollTop) view.scrollTop = top;
        else if (bottom > view.scrollTop + view.clientHeight) view.scrollTop = bottom - view.clientHeight;
        const left = box.offsetLeft;
        const right = left + box.offsetWidth;
        if (left < view.scrollLeft) view.scrollLeft = left;
        else if (right > view.scrollLeft + view.clientWidth) view.scrollLeft = right - view.clientWidth;
    }

    // The region shaded: [measure, from, to] parts (shadedParts), or none.
    shade(parts) {
        // Kept for systems still to come.
        this.shaded = parts;
        if (parts?.length) this.focus = parts[0][0];
        // Only the boxes whose shading changes are touched: a tempo edit keeps
        // the region, and each touch has the browser restyle the box and the
        // tempo lane follow it.
        const wanted = new Map();
        for (const [measure, from, to] of parts ?? []) {
            const box = this.boxes[measure - 1];
            if (box) wanted.set(box, [`${(from * 100).toFixed(2)}%`, `${(to * 100).toFixed(2)}%`]);
        }
        for (const box of this.list.querySelectorAll(".measure[aria-selected=true]")) {
            if (wanted.has(box)) continue;
            box.setAttribute("aria-selected", "false");
            box.style.removeProperty("--from");
            box.style.removeProperty("--to");
        }
        for (const [box, [from, to]] of wanted) {
            if (box.getAttribute("aria-selected") !== "true") box.setAttribute("aria-selected", "true");
            if (box.style.getPropertyValue("--from") !== from) box.style.setProperty("--from", from);
            if (box.style.getPropertyValue("--to") !== to) box.style.setProperty("--to", to);
        }
    }

    // The measure playing marked and kept in view (null: none).
    markPlaying(measure) {
        const playing = this.list.querySelector(".measure.playing");
        const box = measure ? this.boxOf(measure) : null;
        if (playing === box) return;
        playing?.classList.remove("playing");
        if (!box) return;
        box.classList.add("playing");
        this.reveal(box);
    }

    measureOf(target) {
        const box = target?.closest?.(".measure");
        return box ? Number(box.getAttribute("data-measure")) : null;
    }

    wire() {
        this.list.addEventListener("pointerdown", (event) => {
            const measure = this.measureOf(event.target);
            if (measure === null || event.button !== 0) return;
            event.preventDefault();
            this.list.focus({ preventScroll: true });
            this.down = { measure, shift: event.shiftKey, over: measure, x: event.clientX, y: event.clientY };
            this.cursor(measure, false);
        });
        // A drag is followed by where the pointer is, not by the element under
        // it: a touch keeps its first element for all its moves. Near the
        // view's edge it scrolls the view, so that a drag reaches any system.
        window.addEventListener("pointermove", (event) => {
            if (!this.down) return;
            this.down.x = event.clientX;
            this.down.y = event.clientY;
            this.follow();
            if (!this.scrolling) this.scrolling = requestAnimationFrame(() => this.scrollWhileDragging());
        });
        const finish = (event) => {
            if (!this.down) return;
            const { measure, shift, over } = this.down;
            this.down = null;
            this.dragging(null, null);
            this.cursor(over, false);
            this.choose(gestureChoice(measure, over, shift || event.shiftKey));
        };
        // Released anywhere: a drag may end outside the score.
        window.addEventListener("pointerup", finish);
        this.list.addEventListener("pointercancel", () => {
            this.down = null;
            this.dragging(null, null);
        });
        this.list.addEventListener("keydown", (event) => {
            if (!this.count) return;
            if (event.key === "Enter") {
                event.preventDefault();
                this.choose(event.shiftKey ? { to: this.at } : { from: this.at });
                return;
            }
            const to = stepMeasure(this.at, event.key, this.count);
            if (to === null) return;
            event.preventDefault();
            this.cursor(to);
        });
    }

    // The measure under the dragging pointer, shaded as it would be chosen.
    // Past the view's edge, the measures at the edge are reached.
    follow() {
        const { top, bottom, left, right } = this.view.getBoundingClientRect();
        const x = Math.min(Math.max(this.down.x, left + 1), right - 2);
        const y = Math.min(Math.max(this.down.y, top + 1), bottom - 2);
        const measure = this.measureOf(document.elementFromPoint(x, y));
        if (measure === null || measure === this.down.over) return;
        this.down.over = measure;
        this.dragging(this.down.measure, measure);
    }

    scrollWhileDragging() {
        this.scrolling = 0;
        if (!this.down) return;
        if (!scrollNearEdge(this.view, this.down.y)) return;
        this.follow();
        this.scrolling = requestAnimationFrame(() => this.scrollWhileDragging());
    }

    // The span being dragged over, shaded as it would be chosen.
    dragging(from, to) {
        for (const box of this.list.querySelectorAll(".measure.dragged")) box.classList.remove("dragged");
        if (from === null) return;
        const [a, b] = from <= to ? [from, to] : [to, from];
        for (let m = a; m <= b; m += 1) this.boxes[m - 1]?.classList.add("dragged");
    }

    // The parts' boxes for "the parts chosen", one per part of the score.
    showParts(staves) {
        const holder = this.tools.parts;
        if (!holder) return;
        const names = staves.map((part, i) => part.name.replace(/\s+/g, " ").trim() || `Instrument ${i + 1}`);
        const same = holder.children.length === names.length
            && [...holder.querySelectorAll("label")].every((label, i) => label.textContent === names[i]);
        if (same) return;
        holder.replaceChildren(...names.map((name, i) => {
            const label = document.createElement("label");
            const box = document.createElement("input");
            box.type = "checkbox";
            box.value = String(i);
            box.checked = true;
            label.append(box, name);
            return label;
        }));
        if (this.tools.staves) this.tools.staves.disabled = staves.length < 2;
    }

    chosenParts() {
        return [...(this.tools.parts?.querySelectorAll("input:checked") ?? [])].map((box) => Number(box.value));
    }

    wireTools() {
        const { staves, zoom, parts, partsSet } = this.tools;
        const again = () => { if (this.source) this.redraw(); };
        staves?.addEventListener("change", () => {
            if (partsSet) partsSet.hidden = staves.value !== "chosen";
            again();
        });
        zoom?.addEventListener("change", again);
        parts?.addEventListener("change", again);
    }
}
