// The tempo lane: a thin strip under each drawn measure of the score with
// the tempo records as steps and the region shaded, in the tempo map's
// colours, so that where the tempo moves is seen on the bars themselves.
// It takes the measure boxes the notation lays over its drawing (elements
// with data-measure) and the preview's result; it says nothing the map
// does not, so it is hidden from assistive technology.
import { DEFAULT_VALUE } from "../lib/timing.js";
import { svgElement } from "./svg.js";

const LANE_PX = 12;
const GAP_PX = 1;
// How far under a measure's box its lane reaches: each system keeps this
// much room under its boxes, so that the lane never lies over the next.
export const LANE_ROOM_PX = GAP_PX + LANE_PX + 2;
const REGION_FILL = "#dbe9f6";
const RECORD_STROKE = "#c33";

// The tempo in each measure 1..count as steps: for each, [[at, value], ...]
// with `at` the fraction of the measure from its start (0 holds the tempo
// in force as it begins; before any record a score plays at quarter =
// 120). records: [{measure, position, value}] in score order, of which the
// later of two at one place holds; starts: the measures' offsets (from 1,
// one past the last).
export function laneSteps(records, starts, count) {
    const points = records
        .filter((r) => r.measure >= 1 && r.measure <= count)
        .map((r) => [starts[r.measure] + r.position, r.value])
        .sort((a, b) => a[0] - b[0]);
    const lanes = [];
    let held = DEFAULT_VALUE;
    let next = 0;
    for (let m = 1; m <= count; m += 1) {
        const [start, end] = [starts[m], starts[m + 1]];
        while (next < points.length && points[next][0] <= start) held = points[next++][1];
        const steps = [[0, held]];
        while (next < points.length && points[next][0] < end) {
            const [at, value] = points[next++];
            held = value;
            const fraction = (at - start) / Math.max(1, end - start);
            if (steps[steps.length - 1][0] === fraction) steps[steps.length - 1][1] = value;
            else steps.push([fraction, value]);
        }
        lanes.push(steps);
    }
    return lanes;
}

// One measure's steps as a path, `width` px wide; y(value) in px.
function lanePath(steps, width, y) {
    const path = steps.map(([at, value], i) => {
        const x = (at * width).toFixed(1);
        const to = y(value).toFixed(1);
        return i === 0 ? `M0 ${to}` : `H${x} V${to}`;
    }).join(" ");
    return `${path} H${width.toFixed(1)}`;
}

// A measure's lane: its own small SVG, its attributes written only when
// they change (most of a tempo edit's lanes keep their place, and many
// their steps).
class Lane {
    constructor(measure) {
        this.svg = svgElement("svg", { "data-lane": measure, height: LANE_PX });
        this.path = svgElement("path", { fill: "none", stroke: RECORD_STROKE, "stroke-width": 1.5 });
        this.svg.append(this.path);
        this.rect = null;
    }

    static set(element, key, value) {
        if (element.getAttribute(key) !== String(value)) element.setAttribute(key, value);
    }

    draw([left, top, width], steps, y, shaded) {
        Lane.set(this.svg, "width", width);
        Lane.set(this.svg, "style", `left:${left}px;top:${top}px`);
        Lane.set(this.svg, "data-steps", steps.length);
        Lane.set(this.path, "d", lanePath(steps, width, y));
        if (!shaded) {
            this.rect?.remove();
            this.rect = null;
            return;
        }
        if (!this.rect) {
            this.rect = svgElement("rect", { height: LANE_PX, fill: REGION_FILL });
            this.svg.prepend(this.rect);
        }
        Lane.set(this.rect, "x", (shaded[0] * width).toFixed(1));
        Lane.set(this.rect, "width", ((shaded[1] - shaded[0]) * width).toFixed(1));
    }
}

export class TempoLane {
    // view: the element the score is drawn in (its measure boxes inside).
    constructor(view) {
        this.view = view;
        this.layer = document.createElement("div");
        this.layer.className = "tempo-lane";
        this.layer.setAttribute("aria-hidden", "true");
        this.result = null;
        this.parts = [];
        // The notation places and moves its boxes as it draws the score piece
        // by piece: the lane follows them, once a frame at most.
        this.pending = 0;
        // Where each box is seen from the lane's corner, kept while the boxes
        // stay: reading it makes the browser lay the page out there and then,
        // which a tempo edit, moving no box, need not wait for.
        this.places = null;
        this.lanes = [];
        const moved = () => {
            this.places = null;
            if (this.pending) return;
            this.pending = requestAnimationFrame(() => {
                this.pending = 0;
                this.redraw();
            });
        };
        new MutationObserver((changes) => {
            if (!changes.every((change) => this.layer.contains(change.target))) moved();
        }).observe(view, { subtree: true, childList: true, attributes: true, attributeFilter: ["style"] });
        new ResizeObserver(moved).observe(view);
    }

    placesOf(boxes) {
        if (this.places?.length !== boxes.length) {
            const origin = this.layer.getBoundingClientRect();
            this.places = boxes.map((box) => {
                const seen = box.getBoundingClientRect();
                return [seen.left - origin.left, seen.bottom - origin.top + GAP_PX, seen.width];
            });
        }
        return this.places;
    }

    // The lane for `result` (null: none) under the boxes drawn now, its
    // region shaded in `parts` ([measure, from, to], notation.js's
    // shadedParts).
    show(result, parts = []) {
        this.result = result;
        this.parts = parts;
        const boxes = [...this.view.querySelectorAll(".measure[data-measure]")];
        if (!result || boxes.length === 0 || boxes.length !== result.measureCount) {
            this.layer.replaceChildren();
            this.lanes = [];
            return;
        }
        if (this.layer.parentNode !== this.view) this.view.append(this.layer);
        if (this.lanes.length !== boxes.length || this.layer.childElementCount !== boxes.length) {
            this.lanes = boxes.map((box, i) => new Lane(i + 1));
            this.layer.replaceChildren(...this.lanes.map((lane) => lane.svg));
        }
        const lanes = laneSteps(result.records, result.starts, boxes.length);
        const values = lanes.flat().map(([, value]) => value);
        const [lo, hi] = [Math.min(...values), Math.max(...values)];
        const y = (value) => (hi === lo ? LANE_PX / 2 : 1 + (hi - value) / (hi - lo) * (LANE_PX - 2));
        const shaded = new Map(parts.map(([m, from, to]) => [m, [from, to]]));
        // The boxes may stand in containers of their own (a piece of the score
        // each): placed by where they are seen, from the lane's own corner.
        this.placesOf(boxes).forEach((place, i) => this.lanes[i].draw(place, lanes[i], y, shaded.get(i + 1)));
    }

    // The boxes were drawn anew: the lane follows them.
    redraw() {
        this.show(this.result, this.parts);
    }
}
