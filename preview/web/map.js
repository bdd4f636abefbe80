// The tempo map made to answer: each record's dot can be pointed at or
// focused to name its measure, beat and tempo, and a playhead crosses the
// map while the click plays. The SVG comes as the shared tempo map draws it;
// this only reads its axis to place things on it.

const SVG_NS = "http://www.w3.org/2000/svg";

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

// Which record each dot stands for. The map draws the records inside its
// extent in the order of their positions (the later of two at one position
// last, as it holds), led by one more dot, the tempo in force at its start,
// when that comes from a record before it.
export function dotRecords(records, starts, extent, dotCount) {
  const [x0, x1] = extent;
  const placed = records.map((record, index) => ({ record, index, at: starts[record.measure] + record.position }));
  const inside = placed.filter((p) => x0 <= p.at && p.at <= x1)
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

// The dots marked in the SVG text itself, before it is parsed: a thousand
// dots cost nothing more that way. The first is the map's one tab stop.
export function markDots(svgText) {
  let index = 0;
  return svgText.replace(/<circle /g, () => {
    const stop = index === 0 ? "0" : "-1";
    return `<circle data-dot="${index++}" tabindex="${stop}" `;
  });
}

// Puts the SVG in the container, each dot focusable and named when it is
// pointed at or focused.
export function showMap(container, result, info) {
  container.innerHTML = markDots(result.svg);
  const svg = container.querySelector("svg");
  svg.setAttribute("viewBox", `0 0 ${svg.getAttribute("width")} ${svg.getAttribute("height")}`);
  svg.setAttribute("role", "group");
  svg.setAttribute("aria-label", "Tempo map");
  const dots = [...svg.querySelectorAll("circle")];
  const owners = dotRecords(result.records, result.starts, result.extent, dots.length);
  info.textContent = "";
  const point = (event) => {
    const dot = event.target.closest("[data-dot]");
    if (!dot) return;
    const owner = owners[Number(dot.getAttribute("data-dot"))];
    const text = recordText(owner.record, owner.carried);
    for (const other of svg.querySelectorAll(".pointed")) other.classList.remove("pointed");
    dot.classList.add("pointed");
    dot.setAttribute("aria-label", text);
    info.textContent = text;
  };
  svg.addEventListener("mouseover", point);
  svg.addEventListener("focusin", point);
  svg.addEventListener("keydown", (event) => {
    const at = dots.indexOf(event.target);
    const to = at < 0 ? -1 : { ArrowRight: at + 1, ArrowDown: at + 1, ArrowLeft: at - 1, ArrowUp: at - 1,
      Home: 0, End: dots.length - 1 }[event.key];
    if (to === undefined || to < 0 || to >= dots.length) return;
    event.preventDefault();
    dots[at].setAttribute("tabindex", "-1");
    dots[to].setAttribute("tabindex", "0");
    dots[to].focus();
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
