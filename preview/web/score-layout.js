// The plain arithmetic of the score's view: which parts are drawn, at what
// zoom, in what order, how a drag scrolls and what a gesture chooses. The
// notation and the measure strip share it.

// Staff units to CSS pixels at zoom 1, as the library draws.
export const UNIT_PX = 10;
// Room above and below the staves that a measure's box takes in.
export const PAD_UNITS = 2;
// The drawing is narrower than the library's usual page on a phone: the
// zoom follows the width, down to this; fitted to the view's height, a
// system of many staves goes down to the smallest zoom still legible.
export const SMALLEST_ZOOM = 0.5;
export const SMALLEST_FIT_ZOOM = 0.3;
export const USUAL_WIDTH = 900;
// A system's room in staff units beside its measures (the page's margins,
// the parts' names, clef, key and meter), and a staff's height with its
// space.
export const SYSTEM_MARGIN_UNITS = 30;
export const STAFF_UNITS = 10;
// A drag within this many pixels of the view's edge scrolls it, faster
// nearer the edge.
export const EDGE_PX = 32;
export const MOST_SCROLL_PX = 24;

// What a pointer gesture chooses: a click the From (or with Shift the To), a
// drag from one measure to another both, in order.
export function gestureChoice(down, up, shift) {
    if (down !== up) return { from: Math.min(down, up), to: Math.max(down, up) };
    return shift ? { to: up } : { from: up };
}

// The parts drawn (indices): all, the top and bottom ("short"), or those
// chosen (all when none is).
export function shownParts(mode, count, chosen = []) {
    const all = Array.from({ length: count }, (_, i) => i);
    if (mode === "short") return count > 2 ? [0, count - 1] : all;
    if (mode === "chosen") {
        const kept = all.filter((i) => chosen.includes(i));
        return kept.length ? kept : all;
    }
    return all;
}

// The order the systems are drawn in: the one holding `first` (an index)
// and those after it, then those before.
export function drawOrder(count, first = 0) {
    const start = Math.min(Math.max(0, first), Math.max(0, count - 1));
    const order = [];
    for (let i = start; i < count; i += 1) order.push(i);
    for (let i = 0; i < start; i += 1) order.push(i);
    return order;
}

// The system (index into runs, [from, to] each) holding a measure.
export function runOf(runs, measure) {
    let low = 0;
    let high = runs.length - 1;
    while (low < high) {
        const middle = (low + high + 1) >> 1;
        if (runs[middle][0] <= measure) low = middle;
        else high = middle - 1;
    }
    return Math.max(0, low);
}

// The zoom a score is drawn at: the one chosen, or (fit) the width's, made
// smaller where that lets a system of `staves` staves fit the view's height.
export function zoomFor(choice, staves, width, height) {
    const widthZoom = Math.max(SMALLEST_ZOOM, Math.min(1, (width || USUAL_WIDTH) / USUAL_WIDTH));
    if (choice !== "fit") return Number(choice) > 0 ? Number(choice) : widthZoom;
    const system = (staves * STAFF_UNITS + 2 * PAD_UNITS) * UNIT_PX;
    return Math.max(SMALLEST_FIT_ZOOM, Math.min(widthZoom, height > 0 ? height / system : widthZoom));
}

// How far a drag at `y` scrolls a view spanning top..bottom in one frame:
// up (negative) or down near an edge, 0 inside.
export function edgeScroll(y, top, bottom) {
    const speed = (depth) => Math.ceil(MOST_SCROLL_PX * Math.min(1, depth / EDGE_PX));
    if (y < top + EDGE_PX) return -speed(top + EDGE_PX - y);
    if (y > bottom - EDGE_PX) return speed(y - (bottom - EDGE_PX));
    return 0;
}

// One frame of a drag's scrolling: `scroller` moved by edgeScroll for a
// pointer at `y`; whether it moved (false at either end, or inside).
export function scrollNearEdge(scroller, y) {
    const { top, bottom } = scroller.getBoundingClientRect();
    const step = edgeScroll(y, top, bottom);
    if (!step) return false;
    const was = scroller.scrollTop;
    scroller.scrollTop += step;
    return scroller.scrollTop !== was;
}

// A measure's box kept no taller than the view, so that the whole box (and
// the number at its top) can be seen at once.
export function boxWithin(box, viewHeight) {
    if (!(viewHeight > 0) || box.height <= viewHeight) return box;
    return { ...box, height: viewHeight };
}
