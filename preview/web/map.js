// The tempo map made to answer: each record's dot can be pointed at or
// focused to name its measure, beat and tempo, and a playhead crosses the
// map while the click plays. The SVG comes as the shared tempo map draws it;
// this only reads its axis to place things on it.
import { lowerBound } from "../lib/numbers.js";
import { STEPS_STYLE } from "../lib/tempo-map.js";
import { quarterBpm } from "../lib/timing.js";
import { SVG_NS } from "./svg.js";


// The map's horizontal scale, read from its own time axis (the first line:
// from the left margin to the right one) and the extent it spans in units.
export function axisOf(svg, extent) {
    const axis = svg.querySelector("line");
    const left = Number(axis.getAttribute("x1"));
    const right = Number(axis.getAttribute("x2"));
    const [x0, x1] = extent;
    return { toX: (position) => left + (position - x0) / Math.max(1, x1 - x0) * (right - left),
        left, bottom: Number(axis.getAttribute("y1")) };
}

// Which record each dot ({position}, as the map drew them) stands for. The
// map draws the records inside its extent in the order of their positions
// (the later of two at one position last, as it holds), led by one more
// dot, the tempo in force at its start, when that comes from a record
// before it; a ramp the score wrote as steps gets no dot for its steps.
export function dotRecords(records, starts, extent, dots) {
    const [x0, x1] = extent;
    const drawn = new Set(dots.map((dot) => dot.position));
    const dotCount = dots.length;
    const placed = records.map((record, index) => ({ record, index, at: starts[record.measure] + record.position }));
    const inside = placed.filter((p) => x0 <= p.at && p.at <= x1 && drawn.has(p.at))
        .sort((a, b) => a.at - b.at || a.index - b.index);
    const before = placed.filter((p) => p.at < x0).sort((a, b) => a.at - b.at || a.index - b.index);
    const lead = dotCount - inside.length;
    if (lead < 0 || lead > 1 || (lead === 1 && before.length === 0)) {
        throw new Error(`the tempo map has ${dotCount} dots for ${inside.length} records`);
    }
    return (lead ? [{ ...before[before.length - 1], carried: true }] : []).concat(inside);
}

export function recordText(record, carried) {
    const text = `M${record.name.slice(1)}, beat ${record.beat}: ${record.tempo}`;
    return carried ? `${text} (in force from before)` : text;
}

// The records' dots (the shared map's drawing: its text around them and
// each dot's centre) drawn as paths of round dots: a thousand circles
// cost the page some 20 ms to parse and lay out on every edit, a path
// next to nothing. The dots and the steps go in paths of PER_PATH, not one
// of them all: the browser paints the map in tiles and each tile goes
// through every path that reaches it, so that one path of 1,500 dots took
// 40 ms of painting an edit, and the steps' path 26. One ring, the map's
// only tab stop, stands on the dot pointed at or walked to. The result: the
// SVG text and the dots' centres in drawing order.
const PER_PATH = 64;

function inPieces(items, piece) {
    const paths = [];
    for (let i = 0; i < items.length; i += PER_PATH) paths.push(`<path d="${piece(items.slice(i, i + PER_PATH))}"/>`);
    return paths.join("");
}

export function dotsAsPath({ head, steps, between, dots, radius, fill, tail }) {
    const centres = dots.map((dot) => [dot.x, dot.y]);
    const stepsGroup = `<g class="steps" ${STEPS_STYLE}>${inPieces(steps, (some) => some.join(" "))}</g>\n`;
    if (!centres.length) return { svg: head + stepsGroup + between + tail, centres };
    const group = `<g class="dots" fill="none" stroke="${fill}" stroke-width="${2 * radius}" stroke-linecap="round">`
        + `${inPieces(centres, (some) => some.map(([x, y]) => `M${x},${y}h0`).join(""))}</g>\n`
        + `<circle class="cursor" cx="${centres[0][0]}" cy="${centres[0][1]}" r="${2 * radius}" fill="none" `
        + `stroke-width="3" tabindex="0" role="img"/>\n`;
    return { svg: head + stepsGroup + between + group + tail, centres };
}

// The dot nearest to a point of the map, if one lies within `reach` (SVG
// units); centres run left to right.
export function nearestDot(centres, x, y, reach) {
    const lo = lowerBound(centres.length, (i) => centres[i][0] < x - reach);
    let best = -1;
    let bestDistance = reach * reach;
    for (let i = lo; i < centres.length && centres[i][0] <= x + reach; i += 1) {
        const distance = (centres[i][0] - x) ** 2 + (centres[i][1] - y) ** 2;
        if (distance <= bestDistance) [best, bestDistance] = [i, distance];
    }
    return best;
}

// The map's own scales, read from its dots (each at its position and tempo
// value): position to x and quarter BPM to y, or null where the dots are too
// few to say (one tempo, or one place).
export function dotScale(dots) {
    const line = (from, to, a, b) => (a === b ? null : (v) => from + (v - a) * (to - from) / (b - a));
    const first = dots[0];
    const apart = dots.find((dot) => dot.position !== first?.position);
    const other = dots.find((dot) => dot.value !== first?.value);
    if (!apart || !other) return null;
    return {
        x: line(first.x, apart.x, first.position, apart.position),
        y: line(first.y, other.y, quarterBpm(first.value), quarterBpm(other.value)),
    };
}

// The tapped beats ({at: position, bpm: quarter BPM}) as dots over the map,
// where the musician sees them against the ramp; those before are removed.
// How many were placed (none where the map has no scale).
export function showTaps(svg, drawing, taps) {
    for (const old of svg.querySelectorAll(".map-tap")) old.remove();
    const scale = dotScale(drawing.dots);
    if (!scale) return 0;
    for (const tap of taps) {
        const dot = document.createElementNS(SVG_NS, "circle");
        Object.entries({ cx: scale.x(tap.at).toFixed(1), cy: scale.y(tap.bpm).toFixed(1), r: "3", class: "map-tap" })
            .forEach(([name, value]) => dot.setAttribute(name, value));
        svg.append(dot);
    }
    return taps.length;
}

const KEY_STEPS = { ArrowRight: 1, ArrowDown: 1, ArrowLeft: -1, ArrowUp: -1 };

// Puts the SVG in the container; pointing near a dot, or walking the dots
// with the arrow keys from the ring, names its measure, beat and tempo.
export function showMap(container, result, info) {
    const { svg: text, centres } = dotsAsPath(result.drawing);
    container.innerHTML = text;
    const svg = container.querySelector("svg");
    svg.setAttribute("viewBox", `0 0 ${svg.getAttribute("width")} ${svg.getAttribute("height")}`);
    svg.setAttribute("role", "group");
    svg.setAttribute("aria-label", "Tempo map");
    info.textContent = "";
    const ring = svg.querySelector(".cursor");
    if (!ring) return svg;
    const owners = dotRecords(result.records, result.starts, result.extent, result.drawing.dots);
    let current = 0;
    const show = (index) => {
        current = Math.max(0, Math.min(centres.length - 1, index));
        const owner = owners[current];
        const words = recordText(owner.record, owner.carried);
        ring.setAttribute("cx", String(centres[current][0]));
        ring.setAttribute("cy", String(centres[current][1]));
        ring.setAttribute("aria-label", words);
        info.textContent = words;
    };
    ring.setAttribute("aria-label", recordText(owners[0].record, owners[0].carried));
    // A dot answers within a few pixels of the pointer as the map is shown,
    // however wide; a finger, less exact than a mouse, reaches further.
    const point = (event) => {
        const matrix = svg.getScreenCTM();
        if (!matrix || !matrix.a) return;
        const at = new DOMPoint(event.clientX, event.clientY).matrixTransform(matrix.inverse());
        const reach = (event.pointerType === "touch" ? 24 : 8) / matrix.a;
        const index = nearestDot(centres, at.x, at.y, reach);
        if (index < 0) return;
        ring.classList.add("pointed");
        show(index);
    };
    svg.addEventListener("pointermove", point);
    svg.addEventListener("pointerdown", point);
    svg.addEventListener("pointerleave", () => ring.classList.remove("pointed"));
    ring.addEventListener("focus", () => show(current));
    ring.addEventListener("keydown", (event) => {
        const to = event.key === "Home" ? 0 : event.key === "End" ? centres.length - 1
            : KEY_STEPS[event.key] === undefined ? null : current + KEY_STEPS[event.key];
        if (to === null) return;
        event.preventDefault();
        show(to);
    });
    return svg;
}

// A vertical line that follows the click: its position between the two
// beats around the elapsed time, linearly, redrawn on every frame.
export class Playhead {
    constructor(container) {
        this.container = container;
        this.frame = 0;
    }

    follow(elapsed, clicks, result) {
        const svg = this.container.querySelector("svg");
        const { toX, left, bottom } = axisOf(svg, result.extent);
        const line = document.createElementNS(SVG_NS, "line");
        line.setAttribute("class", "playhead");
        line.setAttribute("y1", "20");
        line.setAttribute("y2", String(bottom));
        line.setAttribute("stroke", "#1f5fbf");
        line.setAttribute("stroke-width", "2");
        svg.append(line);
        this.line = line;
        const xs = clicks.map((c) => toX(c.position));
        const step = () => {
            const t = elapsed();
            if (t === null) return;
            let i = 0;
            while (i + 1 < clicks.length && clicks[i + 1].at <= t) i++;
            const next = Math.min(i + 1, clicks.length - 1);
            const span = clicks[next].at - clicks[i].at;
            // Where the hearing goes back (a repeat, a D.C.), the line waits at
            // the last beat instead of sweeping back across the map.
            const onward = xs[next] >= xs[i];
            const part = span > 0 && onward ? Math.min(1, Math.max(0, (t - clicks[i].at) / span)) : 0;
            const x = xs[i] + (xs[next] - xs[i]) * part;
            // The lead-in before the region lies left of the map: no line there.
            line.setAttribute("visibility", x < left ? "hidden" : "visible");
            line.setAttribute("x1", x.toFixed(1));
            line.setAttribute("x2", x.toFixed(1));
            this.frame = requestAnimationFrame(step);
        };
        step();
    }

    hide() {
        cancelAnimationFrame(this.frame);
        if (this.line) this.line.remove();
        this.line = null;
    }
}
