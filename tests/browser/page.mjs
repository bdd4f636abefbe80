// The single-file preview page as the cases see it, over any engine of
// engines.mjs, and the command-line preview to hold it against.
import { spawnSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath, pathToFileURL } from "node:url";
import { setTimeout as sleep } from "node:timers/promises";

const HERE = dirname(fileURLToPath(import.meta.url));
export const ROOT = resolve(HERE, "..", "..");
export const PAGE = process.env.ZORV_PAGE || join(ROOT, "build", "page", "ZorvTempo-Preview.html");
export const CLI = join(ROOT, "preview", "node", "cli.js");
export const SCORES = join(ROOT, "tests", "preview", "scores");
// How long a wait may last before it is a fault: only a failing case waits it
// out, and a page sharing the cores with other tests' browsers can take many
// seconds to answer.
const WAIT_SECONDS = 120;
// A wait made inside the page ends before the driver gives up on the script.
const IN_PAGE_WAIT_SECONDS = 100;

// Installed in the page after each load. The page hands a download to the
// browser as a link to a Blob; the link is answered here, in the page, so
// the bytes are the same to read in every engine and nothing lands in a
// download folder.
function catchDownloads() {
  if (window.zorvDownloads) return;
  const blobs = new Map();
  const made = URL.createObjectURL;
  URL.createObjectURL = function (object) {
    const url = made.call(URL, object);
    if (object instanceof Blob) blobs.set(url, object);
    return url;
  };
  window.zorvDownloads = [];
  const take = (link) => {
    if (!link.hasAttribute("download") || !blobs.has(link.href)) return false;
    window.zorvDownloads.push({ name: link.download, blob: blobs.get(link.href) });
    return true;
  };
  window.addEventListener("click", (event) => {
    const link = event.target.closest && event.target.closest("a[download]");
    if (link && take(link)) event.preventDefault();
  }, true);
  const click = HTMLAnchorElement.prototype.click;
  HTMLAnchorElement.prototype.click = function () {
    if (!this.isConnected && take(this)) return undefined;
    return click.call(this);
  };
}

async function downloadBase64(index) {
  const bytes = new Uint8Array(await window.zorvDownloads[index].blob.arrayBuffer());
  let text = "";
  for (let at = 0; at < bytes.length; at += 0x8000) {
    text += String.fromCharCode.apply(null, bytes.subarray(at, at + 0x8000));
  }
  return btoa(text);
}

export function pageUrl(query = "") {
  return pathToFileURL(PAGE).href + query;
}

export async function waitFor(condition, what, seconds = WAIT_SECONDS) {
  const deadline = Date.now() + seconds * 1000;
  while (Date.now() < deadline) {
    const value = await condition();
    if (value) return value;
    await sleep(20);
  }
  throw new Error(`timed out waiting for ${what}`);
}

export class PageUnderTest {
  constructor(browser) {
    this.browser = browser;
  }

  evaluate(fn, ...args) {
    return this.browser.evaluate(fn, ...args);
  }

  /** Opens the page with the query and returns its status once it answered. */
  async open(query = "") {
    await this.browser.open(pageUrl(query));
    await this.evaluate(catchDownloads);
    return this.settled();
  }

  async blank() {
    await this.browser.open("about:blank");
  }

  text(id) {
    return this.evaluate((i) => document.getElementById(i).innerText, id);
  }

  lines(id) {
    return this.text(id).then((text) => (text === "" ? [] : text.replace(/\n$/, "").split("\n")));
  }

  /** Whether the element takes room on the page (not hidden, nor inside a hidden one). */
  shown(id) {
    return this.evaluate((i) => {
      const element = document.getElementById(i);
      return element.getClientRects().length > 0 && getComputedStyle(element).visibility !== "hidden";
    }, id);
  }

  attribute(selector, name) {
    return this.evaluate((s, n) => document.querySelector(s).getAttribute(n), selector, name);
  }

  status() {
    return this.text("status");
  }

  /** The status once the page has answered the inputs on the form. */
  async settled() {
    // Watched in the page, as it changes: a poll from here took a round
    // trip and a fresh layout of the page every 20 ms, on the cores the
    // page works on.
    // Just after a navigation Firefox may run this in the document being
    // left, which has no status: asked again, it runs in the page.
    const NOT_YET = "\u0000 no status yet";
    let status = NOT_YET;
    for (let tries = 0; status === NOT_YET && tries < 50; tries += 1) {
      if (tries) await new Promise((resolve) => setTimeout(resolve, 100));
      status = await this.statusOnce(NOT_YET);
    }
    if (status === null || status === NOT_YET) throw new Error("timed out waiting for the page to show a result or an error");
    return status;
  }

  statusOnce(notYet) {
    return this.evaluate((seconds, notYet) => new Promise((resolve) => {
      const element = document.getElementById("status");
      if (!element) {
        resolve(notYet);
        return;
      }
      const answered = (text) => {
        observer.disconnect();
        resolve(text);
      };
      // "Loading the plug-in...", "Reading score.mxl...", "Working...": the
      // page says it is busy with three dots, and answers without them.
      const check = () => {
        const text = element.innerText;
        if (text !== "" && !text.endsWith("...")) answered(text);
      };
      const observer = new MutationObserver(check);
      observer.observe(element, { childList: true, characterData: true, subtree: true });
      setTimeout(() => answered(null), seconds * 1000);
      check();
    }), IN_PAGE_WAIT_SECONDS, notYet);
  }

  click(id) {
    return this.browser.click(`#${id}`);
  }

  /** Replaces a text field's value by typing, as a user does, and waits for the answer. */
  async retype(id, value) {
    await this.evaluate((i) => { const f = document.getElementById(i); f.focus(); f.select(); }, id);
    await this.browser.type(value);
    return this.settled();
  }

  chooseFile(id, path) {
    return this.browser.setFile(`#${id}`, path);
  }

  /** The map's record dots, [x, y] in its SVG's units, in drawing order. */
  mapDots() {
    return this.evaluate(() => [...document.querySelectorAll("#tempo-map .dots path")].flatMap((path) => [
      ...path.getAttribute("d").matchAll(/M([-0-9.]+),([-0-9.]+)h0/g)].map((m) => [Number(m[1]), Number(m[2])])));
  }

  /** The records table's rows, the table opened first (it fills when open). */
  async records() {
    const isOpen = () => this.evaluate(() => document.getElementById("records-details").open);
    // A click that a layout shift sent past the summary is made once more.
    for (let tries = 0; tries < 2 && !(await isOpen()); tries += 1) {
      await this.browser.click("#records-details summary");
      await waitFor(isOpen, "the records table to open", 5).catch(() => {});
    }
    // The toggle event comes after the click; a result has at least one record.
    return waitFor(() => this.evaluate(() => {
      const rows = [...document.querySelectorAll("#records tbody tr")];
      return rows.length ? rows.map((row) => [...row.cells].map((cell) => cell.innerText)) : null;
    }), "the records");
  }

  /** Clicks a download button; the file's name and bytes as the page made them. */
  async download(buttonId) {
    const before = await this.evaluate(() => window.zorvDownloads.length);
    await this.click(buttonId);
    await waitFor(() => this.evaluate((n) => window.zorvDownloads.length > n, before), `the download of ${buttonId}`);
    const name = await this.evaluate((n) => window.zorvDownloads[n].name, before);
    return { name, bytes: Buffer.from(await this.evaluate(downloadBase64, before), "base64") };
  }

  /** Accessibility violations axe-core finds for the WCAG 2.2 A and AA rules. */
  async accessibilityViolations() {
    if (!await this.evaluate(() => typeof window.axe === "object")) {
      await this.evaluate((source) => { (0, eval)(source); }, axeSource());
    }
    return this.evaluate(async () => {
      const found = await window.axe.run(document, { runOnly: { type: "tag",
        values: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22aa"] } });
      return found.violations.map((v) => ({ rule: v.id, impact: v.impact,
        where: v.nodes.map((n) => n.target.join(" ")) }));
    });
  }
}

let axe = null;
function axeSource() {
  axe ??= readFileSync(join(HERE, "node_modules", "axe-core", "axe.min.js"), "utf8");
  return axe;
}

/** The command-line preview's exit status and output. */
export function cliRun(args) {
  const done = spawnSync("node", [CLI, ...args], { cwd: ROOT, encoding: "utf8" });
  return { status: done.status, stdout: done.stdout, stderr: done.stderr };
}

export function runCli(args) {
  const done = cliRun(args);
  if (done.status !== 0) throw new Error(`preview ${args.join(" ")} failed (${done.status}): ${done.stderr}`);
  return done.stdout;
}

/** The parts of the command line's output the page shows as text, for a
 * ramp or a plan: its blocks between blank lines. */
export function cliSections(stdout) {
  const blocks = stdout.split(/\n\n+/).map((block) => block.split("\n").filter((line) => line !== ""));
  const table = blocks.findIndex((block) => /^Tempo records in the score after the (ramp|plan):$/.test(block[0]));
  // The notes on how the score was read: the page lists them beside the score.
  const note = /^Note: {3}/;
  return {
    header: blocks[0].filter((line) => !note.test(line)),
    remarks: blocks[0].filter((line) => note.test(line)).map((line) => `${line.replace(note, "")}.`),
    fit: blocks.slice(1, table).flatMap((block, i) => (i ? ["", ...block] : block)),
    records: blocks[table].slice(2).map((line) => line.trim().split(/\s+/)), summary: blocks[table + 1],
    hits: blocks.find((block) => block[0].startsWith("Hits (")) ?? [], finale: blocks.at(-1),
  };
}
