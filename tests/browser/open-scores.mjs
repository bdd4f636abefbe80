// Every score of a folder opened in the page, as a musician would open it, in
// each engine: chosen, drawn to its last system, a ritardando asked over its
// first two measures, then its last two, played where the engine sounds, and
// drawn again as a short score at 150% where it has more than two parts. Prints one line for each score
// where something a musician would see went wrong, and a last line for each
// engine. A check of real scores, not a test: the scores are not the project's.
//   node tests/browser/open-scores.mjs [--engines chromium,firefox,webkit] [--every] FOLDER
import { readdirSync } from "node:fs";
import { basename, join } from "node:path";
import { CAN_PLAY_AUDIO, ENGINES, startEngine } from "./engines.mjs";
import { PageUnderTest, waitFor } from "./page.mjs";

const SCORE_FILE = /\.(musicxml|xml|mxl)$/i;
const RESULT_SHOWN = "Up to date.";

// What the page shows of a score once it is drawn and the region asked for,
// as sentences of what went wrong (none: the score works). reading: {refused,
// measures (from "Open: name (N measures)", or null), boxes (measure boxes
// over the drawing), flat (boxes with no room), tall (boxes taller than the
// view), undrawn (the systems' own sentences), drawingStatus, answers
// ([{region, status, errors}]: for each region asked for, what the page's
// status said and its fields' errors), play ({status, heard}, where played),
// short (the same of the short score's drawing, where drawn), scriptErrors}.
export function faultsOf(reading) {
    if (reading.refused) return [`refused: ${reading.refused}`];
    const faults = [];
    if (reading.measures === null) faults.push("the page never said the score was open");
    faults.push(...drawingFaults(reading));
    if (reading.short) faults.push(...drawingFaults(reading.short).map((fault) => `the short score at 150%: ${fault}`));
    // The page answers a region with its result, or says why not.
    for (const { region, status, errors } of reading.answers) {
        if (status !== RESULT_SHOWN) faults.push(`${region}: ${errors.join(" ") || status}`);
    }
    if (reading.play && !reading.play.heard) faults.push(`Play: ${reading.play.status || "nothing said"}`);
    faults.push(...reading.scriptErrors.map((error) => `script: ${error}`));
    return faults;
}

function drawingFaults({ measures, boxes, flat, tall, undrawn, drawingStatus }) {
    const faults = [];
    if (measures != null && boxes !== measures) faults.push(`${boxes} measure boxes for ${measures} measures`);
    if (flat) faults.push(`${flat} measure boxes with no room to click`);
    if (tall) faults.push(`${tall} measure boxes taller than the view`);
    faults.push(...undrawn);
    if (drawingStatus) faults.push(`the drawing says: ${drawingStatus}`);
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
    const view = document.getElementById("notation").clientHeight;
    const systems = [...document.querySelectorAll("#notation .system")];
    return {
        systems: systems.length,
        broken: systems.filter((system) => Number(system.dataset.lines) > 1).length,
        // A system the page did not say is spread tight counts as loose.
        loose: systems.filter((system) => system.dataset.loose !== "false").length,
        refused: document.getElementById("score-error").textContent,
        measures: opened ? Number(opened[1]) : null,
        boxes: boxes.length,
        flat: boxes.filter((box) => parseFloat(box.style.width) < 1 || parseFloat(box.style.height) < 1).length,
        tall: boxes.filter((box) => parseFloat(box.style.height) > view).length,
        undrawn: [...document.querySelectorAll("#notation .undrawn")].map((note) => note.textContent),
        drawingStatus: document.getElementById("notation-status").textContent,
        remarks: [...document.querySelectorAll("#score-remarks li")].map((remark) => remark.textContent),
    };
}

function listenForMeasures() {
    window.zorvMeasuresHeard = [];
    document.addEventListener("zorv-playing", (event) => {
        if (event.detail) window.zorvMeasuresHeard.push(event.detail.measure);
    });
}

// Play pressed on the region shown: whether its first measure was heard
// begun, what the page said, and how long the sound took to start.
async function playRegion(page) {
    await page.evaluate(listenForMeasures);
    await page.click("play");
    const said = () => page.text("play-status");
    await waitFor(async () => !(await said()).startsWith("Starting"), "the sound to start", 60);
    const status = await said();
    let heard = false;
    if (status.startsWith("Playing")) {
        heard = await waitFor(() => page.evaluate(() => window.zorvMeasuresHeard.length > 0), "a measure heard", 30)
            .then(() => true, () => false);
    }
    // From Play to the moment the first sound was due at the output.
    const started = await page.evaluate(() => (performance.getEntriesByName("zorv-first-sound").at(-1)?.startTime
        - performance.getEntriesByName("zorv-play").at(-1).startTime) / 1000);
    await page.click("stop").catch(() => {});
    return { status, heard, started };
}

// The score's top and bottom parts alone, at 150%, where it has more than
// two: what readScore reads of that drawing; null for a score of one or two.
async function drawShortScore(page) {
    const asked = await page.evaluate(() => {
        const staves = document.getElementById("staves-shown");
        if (staves.disabled || document.querySelectorAll("#parts-list input").length < 3) return false;
        window.zorvDrawings = performance.getEntriesByName("zorv-notation").length;
        document.getElementById("score-zoom").value = "1.5";
        staves.value = "short";
        staves.dispatchEvent(new Event("change", { bubbles: true }));
        return true;
    });
    if (!asked) return null;
    await waitFor(() => page.evaluate(() => performance.getEntriesByName("zorv-notation").length > window.zorvDrawings),
        "the short score to be drawn", 300);
    return page.evaluate(readScore);
}

function regionErrors() {
    return [...document.querySelectorAll("#inputs-more [role=alert]")].map((slot) => slot.textContent).filter(Boolean);
}

// The score at path opened in the page, drawn whole and its last two
// measures asked for: what faultsOf reads.
export async function openScore(page, path, { play = false } = {}) {
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
        if (play && lastAnswer(reading) === RESULT_SHOWN) reading.play = await playRegion(page);
        const short = await drawShortScore(page);
        if (short) reading.short = { ...short, measures: reading.measures };
    }
    reading.scriptErrors = await page.evaluate(() => window.zorvScriptErrors);
    return reading;
}

const lastAnswer = (reading) => reading.answers.at(-1)?.status;

async function openAll(engine, paths, every) {
    let browser = await startEngine(engine);
    let page = new PageUnderTest(browser);
    let working = 0;
    const starts = [];
    let shortScores = 0;
    const systems = { drawn: 0, broken: 0, loose: 0 };
    try {
        for (const path of paths) {
            const started = Date.now();
            let faults;
            let remarks = [];
            let headline = "";
            try {
                const reading = await openScore(page, path, { play: CAN_PLAY_AUDIO[engine] });
                if (reading.play?.heard) starts.push(reading.play.started);
                if (reading.short) shortScores += 1;
                systems.drawn += reading.systems ?? 0;
                systems.broken += reading.broken ?? 0;
                systems.loose += reading.loose ?? 0;
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
    return { working, starts, shortScores, systems };
}

// "; Play sounded in 160, the sound starting in 0.10 s (the median), at most 0.14 s"
function playLine(starts) {
    if (!starts.length) return "";
    const sorted = [...starts].sort((a, b) => a - b);
    const median = sorted[Math.floor(sorted.length / 2)];
    return `; Play sounded in ${starts.length}, the sound starting in ${median.toFixed(2)} s (the median), at most ${sorted.at(-1).toFixed(2)} s`;
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
        const { working, starts, shortScores, systems } = await openAll(engine, paths, every);
        lines.push(`${engine}: ${paths.length} scores, ${working} open, draw whole, answer both regions`
            + `${CAN_PLAY_AUDIO[engine] ? " and play" : ""}, ${shortScores} of them drawn again as a short score at 150%`
            + `${playLine(starts)}; ${systems.broken} of their ${systems.drawn} systems broken onto a second line, `
            + `${systems.loose} of them with a last line spread loose`
            + `; ${paths.length - working} with a fault`);
    }
    for (const line of lines) console.log(line);
    return lines.every((line) => line.endsWith("; 0 with a fault")) ? 0 : 1;
}

if (process.argv[1] && basename(process.argv[1]) === "open-scores.mjs") {
    process.exitCode = await main(process.argv.slice(2));
}
