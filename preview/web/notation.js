// The score drawn on the page (opensheetmusicdisplay), and the region chosen
// on it. Over the drawing lies one box per measure, each an option of a
// listbox named by the measure as Finale counts it (data-measure, pickup =
// 1) and as the score prints it: a click sets From, a shift-click sets To, a
// drag sets both; the keyboard moves through the measures with the arrows,
// and Enter sets From, Shift+Enter To. The region is shaded on the boxes,
// and the measure playing is marked and kept in view.
//
// The drawing library is text inside the page, started only when a score is
// first drawn, so that the first result does not wait for it.
import NOTATION_SOURCE from "zorv-notation-source";
import { THROUGH_MEASURE_END } from "../lib/music.js";
import { decodeXml } from "../lib/musicxml.js";

// Staff units to CSS pixels at zoom 1, as the library draws.
const UNIT_PX = 10;
// Room above and below the staves that a measure's box takes in.
const PAD_UNITS = 2;
// The drawing is narrower than the library's usual page on a phone: the
// zoom follows the width, down to this.
const SMALLEST_ZOOM = 0.5;
const USUAL_WIDTH = 900;

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

// A score file's bytes as the library takes them: the text of MusicXML as
// the score reader decodes it, or an .mxl archive as a binary string, which
// it unpacks itself.
export function drawable(bytes) {
  if (bytes[0] === 0x50 && bytes[1] === 0x4b && bytes[2] === 0x03 && bytes[3] === 0x04) {
    let text = "";
    for (let at = 0; at < bytes.length; at += 0x8000) text += String.fromCharCode(...bytes.subarray(at, at + 0x8000));
    return text;
  }
  return decodeXml(bytes);
}

// The boxes of drawn measures, in CSS pixels from the drawing's top left:
// [{x, y, width, height}] in score order, each from the top of the first
// staff to the bottom of the last of its system. measureList: the library's
// GraphicSheet.MeasureList (per measure, one entry per staff).
export function measureBoxes(measureList, zoom) {
  const scale = UNIT_PX * zoom;
  return measureList.map((staves) => {
    const drawn = staves.filter((staff) => staff && staff.PositionAndShape);
    if (!drawn.length) return null;
    const first = drawn[0].PositionAndShape;
    const last = drawn[drawn.length - 1].PositionAndShape;
    const top = first.AbsolutePosition.y - PAD_UNITS;
    const bottom = last.AbsolutePosition.y + 4 + PAD_UNITS;
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

// What a pointer gesture chooses: a click the From (or with Shift the To), a
// drag from one measure to another both, in order.
export function gestureChoice(down, up, shift) {
  if (down !== up) return { from: Math.min(down, up), to: Math.max(down, up) };
  return shift ? { to: up } : { from: up };
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

export class Notation {
  // view: the element the score is drawn in; status: where the drawing
  // says what it is doing; choose({from, to}): a measure chosen for From
  // and/or To.
  constructor(view, status, choose) {
    this.view = view;
    this.status = status;
    this.choose = choose;
    this.drawing = document.createElement("div");
    this.drawing.className = "drawing";
    this.drawing.setAttribute("aria-hidden", "true");
    this.list = document.createElement("div");
    this.list.className = "measures";
    this.list.setAttribute("role", "listbox");
    this.list.setAttribute("aria-label", "Measures of the score: arrow keys move, Enter sets From, Shift+Enter sets To");
    this.list.setAttribute("aria-multiselectable", "true");
    this.view.replaceChildren(this.drawing, this.list);
    this.boxes = [];
    this.at = 1;
    this.generation = 0;
    this.down = null;
    this.shaded = null;
    this.wire();
  }

  // Draws `score` (drawable()'s text) with `count` measures named by
  // `names` (one per measure); an older drawing still under way is dropped.
  async draw(score, count, names) {
    const mine = ++this.generation;
    this.clear();
    this.say("Drawing the score...");
    // The status is painted before the drawing holds the page.
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    if (mine !== this.generation) return false;
    const started = performance.now();
    let boxes;
    try {
      const { OpenSheetMusicDisplay } = await loadLibrary();
      if (mine !== this.generation) return false;
      const zoom = Math.max(SMALLEST_ZOOM, Math.min(1, (this.view.clientWidth || USUAL_WIDTH) / USUAL_WIDTH));
      const osmd = new OpenSheetMusicDisplay(this.drawing, {
        autoResize: false, backend: "svg", drawTitle: false, drawSubtitle: false, drawComposer: false,
        drawLyricist: false, drawCredits: false, drawPartNames: true,
      });
      // One drawn measure for each measure of the score: no rests folded
      // into one multi-measure rest.
      osmd.EngravingRules.AutoGenerateMultipleRestMeasuresFromRestMeasures = false;
      osmd.EngravingRules.RenderMultipleRestMeasures = false;
      await osmd.load(score);
      // Between reading and drawing, the page answers what came meanwhile.
      await new Promise((resolve) => setTimeout(resolve, 0));
      if (mine !== this.generation) return false;
      osmd.zoom = zoom;
      osmd.render();
      boxes = measureBoxes(osmd.GraphicSheet.MeasureList, zoom);
    } catch (error) {
      if (mine !== this.generation) return false;
      this.clear();
      this.say(`The score could not be drawn (${error.message ?? error}); the fields above still choose the region.`);
      return false;
    }
    if (mine !== this.generation) return false;
    if (boxes.length !== count) {
      this.clear();
      this.say(`The score could not be drawn measure by measure (${boxes.length} drawn of ${count}); `
        + "the fields above still choose the region.");
      return false;
    }
    this.place(boxes, names);
    this.say("");
    performance.measure("zorv-notation", { start: started, end: performance.now(), detail: { measures: count } });
    performance.mark("zorv-score-drawn");
    return true;
  }

  // No drawing, and why (or nothing).
  clear(message = null) {
    this.drawing.replaceChildren();
    this.list.replaceChildren();
    this.list.removeAttribute("tabindex");
    this.list.removeAttribute("aria-activedescendant");
    this.boxes = [];
    // Nothing to draw: the score's room goes too. While a drawing is on its
    // way the room stays, so that nothing below it moves when it comes.
    this.view.classList.toggle("blank", message !== null);
    if (message !== null) {
      this.generation += 1;
      this.say(message);
    }
  }

  say(text) {
    this.status.textContent = text;
  }

  // One box per measure over the drawing.
  place(boxes, names) {
    const made = boxes.map((box, i) => {
      const option = document.createElement("div");
      option.className = "measure";
      option.id = `measure-${i + 1}`;
      option.setAttribute("role", "option");
      option.setAttribute("aria-selected", "false");
      option.setAttribute("data-measure", String(i + 1));
      option.setAttribute("aria-label", names[i]);
      option.title = names[i];
      const { x, y, width, height } = box ?? { x: 0, y: 0, width: 0, height: 0 };
      Object.assign(option.style, { left: `${x}px`, top: `${y}px`, width: `${width}px`, height: `${height}px` });
      return option;
    });
    this.list.replaceChildren(...made);
    this.boxes = made;
    this.list.tabIndex = 0;
    this.at = Math.min(this.at, made.length) || 1;
    this.cursor(this.at, false);
    this.shade(this.shaded);
  }

  // The keyboard's place among the measures.
  cursor(measure, reveal = true) {
    if (!this.boxes.length) return;
    this.boxes[this.at - 1]?.classList.remove("cursor");
    this.at = measure;
    const box = this.boxes[measure - 1];
    box.classList.add("cursor");
    this.list.setAttribute("aria-activedescendant", box.id);
    if (reveal) this.reveal(box);
  }

  // A measure brought into the score's own view, which scrolls inside the
  // page; the page itself stays where the musician left it.
  reveal(box) {
    const view = this.view;
    const top = box.offsetTop;
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
    // Kept for a drawing still to come.
    this.shaded = parts;
    for (const box of this.list.querySelectorAll(".measure[aria-selected=true]")) {
      box.setAttribute("aria-selected", "false");
      box.style.removeProperty("--from");
      box.style.removeProperty("--to");
    }
    for (const [measure, from, to] of parts ?? []) {
      const box = this.boxes[measure - 1];
      if (!box) continue;
      box.setAttribute("aria-selected", "true");
      box.style.setProperty("--from", `${(from * 100).toFixed(2)}%`);
      box.style.setProperty("--to", `${(to * 100).toFixed(2)}%`);
    }
  }

  // The measure playing marked and kept in view (null: none).
  markPlaying(measure) {
    const playing = this.list.querySelector(".measure.playing");
    const box = measure ? this.boxes[measure - 1] : null;
    if (playing === box) return;
    playing?.classList.remove("playing");
    if (!box) return;
    box.classList.add("playing");
    this.reveal(box);
  }

  measureOf(target) {
    const box = target.closest?.(".measure");
    return box ? Number(box.getAttribute("data-measure")) : null;
  }

  wire() {
    this.list.addEventListener("pointerdown", (event) => {
      const measure = this.measureOf(event.target);
      if (measure === null || event.button !== 0) return;
      event.preventDefault();
      this.list.focus({ preventScroll: true });
      this.down = { measure, shift: event.shiftKey, over: measure };
      this.cursor(measure, false);
    });
    // A drag is followed by where the pointer is, not by the element under
    // it: a touch keeps its first element for all its moves.
    this.list.addEventListener("pointermove", (event) => {
      if (!this.down) return;
      const measure = this.measureOf(document.elementFromPoint(event.clientX, event.clientY) ?? this.list);
      if (measure === null || measure === this.down.over) return;
      this.down.over = measure;
      this.dragging(this.down.measure, measure);
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
      if (!this.boxes.length) return;
      if (event.key === "Enter") {
        event.preventDefault();
        this.choose(event.shiftKey ? { to: this.at } : { from: this.at });
        return;
      }
      const to = stepMeasure(this.at, event.key, this.boxes.length);
      if (to === null) return;
      event.preventDefault();
      this.cursor(to);
    });
  }

  // The span being dragged over, shaded as it would be chosen.
  dragging(from, to) {
    const [a, b] = from === null ? [0, -1] : from <= to ? [from, to] : [to, from];
    for (const [i, box] of this.boxes.entries()) box.classList.toggle("dragged", i + 1 >= a && i + 1 <= b);
  }
}
