// Every score of a folder opened in the page, as a musician would open it, in
// each engine: chosen, drawn to its last system, and a ritardando asked over
// its first two measures, then its last two. Prints one line for each score
// where something a musician would see went wrong, and a last line for each
// engine. A check of real scores, not a test: the scores are not the project's.
//   node tests/browser/open-scores.mjs [--engines chromium,firefox,webkit] [--every] FOLDER
import { readdirSync } from "node:fs";
import { basename, join } from "node:path";
import { ENGINES, startEngine } from "./engines.mjs";
import { PageUnderTest, waitFor } from "./page.mjs";

const SCORE_FILE = /\.(musicxml|xml|mxl)$/i;
const RESULT_SHOWN = "Up to date.";

// What the page shows of a score once it is drawn and the region asked for,
// as sentences of what went wrong (none: the score works). reading: {refused,
// measures (from "Open: name (N measures)", or null), boxes (measure boxes
// over the drawing), flat (boxes with no room), undrawn (the systems' own
// sentences), drawingStatus, answers ([{region, status, errors}]: for each
// region asked for, what the page's status said and its fields' errors),
// scriptErrors}.
export function faultsOf(reading) {
    if (reading.refused) return [`refused: ${reading.refused}`];
    const faults = [];
    if (reading.measures === null) faults.push("the page never said the score was open");
    else if (reading.boxes !== reading.measures) faults.push(`${reading.boxes} measure boxes for ${reading.measures} measures`);
    if (reading.flat) faults.push(`${reading.flat} measure boxes with no room to click`);
    faults.push(...reading.undrawn);
    if (reading.drawingStatus) faults.push(`the drawing says: ${reading.drawingStatus}`);
    // The page answers a region with its result, or says why not.
    for (const { region, status, errors } of reading.answers) {
        if (status !== RESULT_SHOWN) faults.push(`${region}: ${errors.join(" ") || status}`);
    }
    faults.push(...reading.scriptErrors.map((error) => `script: ${error}`));
    return faults;
}

// Installed after each load: what the page's scripts throw or log as errors.
function watchErrors() {
    window.zorvScriptErrors = [];
    const note = (text) => window.zorvScriptErrors.push(String(text).slice(0, 300));
    addEventListener("error", (event) => note(event.message));
    addEventListener("unhandledrejection", (event) => note(event.reason?.message ?? event.reason));
    const logged = console.error.bind(console);
    console.error = (...parts) => {
        note(parts.join(" "));
        logged(...parts);
    };
}

function drawnOrRefused() {
    const chosen = performance.getEntriesByName("zorv-score-chosen").slice(-1)[0];
    const refused = document.getElementById("score-error").textContent;
    const drawn = chosen && performance.getEntriesByName("zorv-notation").some((entry) => entry.startTime > chosen.startTime);
    return refused || drawn || null;
}

function readScore() {
    const opened = /\((\d+) measures?\)/.exec(document.getElementById("score-open").textContent);
    const boxes = [...document.querySelectorAll("#notation .measure")];
    return {
        refused: document.getElementById("score-error").textContent,
        measures: opened ? Number(opened[1]) : null,
        boxes: boxes.length,
        flat: boxes.filter((box) => parseFloat(box.style.width) < 1 || parseFloat(box.style.height) < 1).length,
        undrawn: [...document.querySelectorAll("#notation .undrawn")].map((note) => note.textContent),
        drawingStatus: document.getElementById("notation-status").textContent,
        remarks: [...document.querySelectorAll("#score-remarks li")].map((remark) => remark.textContent),
    };
}

function regionErrors() {
    return [...document.querySelectorAll("#inputs-more [role=alert]")].map((slot) => slot.textContent).filter(Boolean);
}

// The score at path opened in the page, drawn whole and its last two
// measures asked for: what faultsOf reads.
export async function openScore(page, path) {
    await page.open();
    await page.evaluate(watchErrors);
    await page.chooseFile("score", path);
    await waitFor(() => page.evaluate(drawnOrRefused), `${basename(path)} to be drawn`, 300);
    const reading = await page.evaluate(readScore);
    reading.answers = [];
    if (!reading.refused && reading.measures) {
        const count = reading.measures;
        // From is typed last for the last two measures, To for the first two:
        // the region is never backwards on the way.
        const asked = async (region) => {
            const status = await page.status();
            reading.answers.push({ region, status, errors: await page.evaluate(regionErrors) });
        };
        await page.retype("to-measure", String(Math.min(2, count)));
        await page.retype("from-measure", "1");
        await asked("the first two measures");
        await page.retype("to-measure", String(count));
        await page.retype("from-measure", String(Math.max(1, count - 1)));
        await asked("the last two measures");
        reading.headline = (await page.text("headline")).split("\n")[0];
    }
    reading.scriptErrors = await page.evaluate(() => window.zorvScriptErrors);
    return reading;
}

async function openAll(engine, paths, every) {
    let browser = await startEngine(engine);
    let page = new PageUnderTest(browser);
    let working = 0;
    try {
        for (const path of paths) {
            const started = Date.now();
            let faults;
            let remarks = [];
            let headline = "";
            try {
                const reading = await openScore(page, path);
                faults = faultsOf(reading);
                remarks = reading.remarks;
                headline = reading.headline ?? "";
            } catch (error) {
                faults = [`the page did not answer: ${error.message.split("\n")[0]}`];
                // A browser that stopped answering is not asked about the next score.
                await browser.close().catch(() => {});
                browser = await startEngine(engine);
                page = new PageUnderTest(browser);
            }
            const seconds = ((Date.now() - started) / 1000).toFixed(1);
            if (faults.length === 0) working += 1;
            if (faults.length || every) {
                const notes = remarks.length === 1 ? "1 note" : `${remarks.length} notes`;
                const said = faults.length ? faults.join("; ") : `works${remarks.length ? ` (${notes} beside it)` : ""}: ${headline}`;
                console.log(`${engine} ${basename(path)} (${seconds} s): ${said}`);
            }
        }
    } finally {
        await browser.close().catch(() => {});
    }
    return working;
}

async function main(argv) {
    let engines = ENGINES;
    let every = false;
    const folders = [];
    for (let i = 0; i < argv.length; i += 1) {
        if (argv[i] === "--engines") engines = (argv[++i] ?? "").split(",");
        else if (argv[i] === "--every") every = true;
        else folders.push(argv[i]);
    }
    const unknown = engines.filter((engine) => !ENGINES.includes(engine));
    if (folders.length !== 1 || unknown.length) {
        console.error(`usage: open-scores.mjs [--engines ${ENGINES.join(",")}] [--every] FOLDER${unknown.length ? ` (no engine ${unknown.join(", ")})` : ""}`);
        return 2;
    }
    const paths = readdirSync(folders[0]).filter((name) => SCORE_FILE.test(name)).sort().map((name) => join(folders[0], name));
    const lines = [];
    for (const engine of engines) {
        const working = await openAll(engine, paths, every);
        lines.push(`${engine}: ${paths.length} scores, ${working} open, draw whole and answer both regions; ${paths.length - working} with a fault`);
    }
    for (const line of lines) console.log(line);
    return lines.every((line) => line.endsWith("; 0 with a fault")) ? 0 : 1;
}

if (process.argv[1] && basename(process.argv[1]) === "open-scores.mjs") {
    process.exitCode = await main(process.argv.slice(2));
}
