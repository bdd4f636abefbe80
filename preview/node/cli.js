#!/usr/bin/env node
// scripts/preview's command line: a ramp previewed from musical arguments or
// a MusicXML score, written by the plug-in's own code. Input it cannot use
// gets one line on stderr and exit status 2, and nothing is written; a
// failure later on gets one line and exit status 1.
import { spawnSync } from "node:child_process";
import {
    closeSync, existsSync, mkdirSync, mkdtempSync, openSync, readSync, readlinkSync, realpathSync, rmSync, statSync,
    writeFileSync,
} from "node:fs";
import { tmpdir } from "node:os";
import { basename, dirname, join, relative, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import v8 from "node:v8";
import { InputError, QUARTER, UNIT_LETTERS, parseRegion, parseTempo, tempoName } from "../lib/music.js";
import { fitTaps, readTapTimes, tapPassage, tapsLine } from "../lib/taps.js";
import { checkWriteName } from "../lib/musicxml-write.js";
import { LARGEST_SCORE_BYTES, scoreTooLarge } from "../lib/musicxml.js";
import { plan, readMeasures } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { previewLines } from "../lib/lines.js";
import { checkPlan, planLines, readPlanText, runPlan } from "../lib/tempo-plan.js";
import { checkHitInputs, hitLines, runHits } from "../lib/hits.js";
import { checkShape, runShaped, shapedLines } from "../lib/shaped.js";
import { marksLines, marksPlan, proposedRamps } from "../lib/marks.js";
import { HELP, parseArguments } from "./arguments.js";
import { ScenarioError, loadPlugin } from "./plugin-node.js";
import { scenarioProcess } from "./scenario-process.js";

const ROOT = resolve(dirname(fileURLToPath(import.meta.url)), "..", "..");
const DEFAULT_SVG = join(ROOT, "build", "preview", "tempo-map.svg");
const SOUNDFONT = "/usr/share/sounds/sf2/TimGM6mb.sf2";
const OUTPUTS = ["svg", "midi", "wav", "beats", "write"];

// What the operating system says of a file it cannot give, as it says it.
const SYSTEM_ERRORS = {
    ENOENT: "No such file or directory", EACCES: "Permission denied", EISDIR: "Is a directory",
    ENOTDIR: "Not a directory", ELOOP: "Too many levels of symbolic links", EPERM: "Operation not permitted",
};

// A file's bytes; `lead` names it in the line that says it cannot be read.
// A plan of the most runs it may have (1,000) takes well under this.
const LARGEST_PLAN_BYTES = 2 ** 20;

// A file's bytes, read no further than `largest` (a device such as
// /dev/zero never ends): null past that.
function readInput(path, lead = path, largest = LARGEST_SCORE_BYTES) {
    let fd = null;
    try {
        fd = openSync(path, "r");
        const chunks = [];
        let size = 0;
        for (;;) {
            const chunk = Buffer.allocUnsafe(Math.min(1 << 20, largest + 1 - size));
            const count = readSync(fd, chunk, 0, chunk.length, null);
            if (count === 0) break;
            size += count;
            if (size > largest) return null;
            chunks.push(chunk.subarray(0, count));
        }
        return new Uint8Array(Buffer.concat(chunks, size));
    } catch (error) {
        throw new InputError(`${lead}: cannot read it (${SYSTEM_ERRORS[error.code] || error.message})`);
    } finally {
        if (fd !== null) closeSync(fd);
    }
}

function readScoreFile(path) {
    const bytes = readInput(path);
    if (bytes === null) throw scoreTooLarge(path);
    return { bytes, name: path };
}

function isFolder(path) {
    try {
        return statSync(path).isDirectory();
    } catch {
        return false;
    }
}

// The file a name reaches: through links (symbolic or hard) to the same
// device and inode when it is there; when it is not there yet, what writing
// it would create, a dangling link's target or the name in its folder's real
// place.
function fileIdentity(path, links = 0) {
    try {
        const found = statSync(path);
        return `${found.dev}:${found.ino}`;
    } catch {
        // not there, or a link that leads nowhere
    }
    if (links < 40) {
        try {
            return fileIdentity(resolve(dirname(path), readlinkSync(path)), links + 1);
        } catch {
            // not a link
        }
    }
    return join(realFolder(dirname(resolve(path))), basename(path));
}

function realFolder(folder) {
    try {
        return realpathSync(folder);
    } catch {
        const parent = dirname(folder);
        return parent === folder ? folder : join(realFolder(parent), basename(folder));
    }
}

// A file name given empty would be quietly dropped or fail late: refused
// before anything is read or run.
function checkNames(values) {
    for (const kind of ["score", ...OUTPUTS]) {
        if (values[kind] === "") throw new InputError(`--${kind}: the file name is empty; name a file`);
    }
}

// No output may be a folder, be the score read, or be another output.
function checkOutputs(values) {
    if (values.notes && !values.midi && !values.wav) {
        throw new InputError("--notes adds the score's notes to --midi and --wav; name one of them");
    }
    const outputs = OUTPUTS.filter((kind) => values[kind]);
    for (const kind of outputs) {
        if (isFolder(values[kind])) throw new InputError(`${values[kind]} is a folder; name a file to write`);
    }
    const score = values.score ? fileIdentity(values.score) : null;
    for (const kind of outputs) {
        if (fileIdentity(values[kind]) === score) {
            throw new InputError(`--${kind} ${values[kind]}: that is the score read; name another file, `
                + "so that the score stays as it is");
        }
    }
    if (new Set(outputs.map((kind) => fileIdentity(values[kind]))).size < outputs.length) {
        throw new InputError("--svg, --midi, --wav, --beats and --write must name different files");
    }
    if (values.write) checkWriteName(values.write);
}

// The MusicXML modules' tools, loaded only for a score read or written.
async function xmlTools(values) {
    return values.score || values.write ? (await import("./xml-tools.js")).tools : {};
}

// Every input checked, in the order the user sees the complaints: what to
// run ({kind: "ramp", "plan" or "hits", checked}).
async function checkedInputs(values, tools) {
    const inputs = {
        time: values.time, score: values.score ? readScoreFile(values.score) : null, from: values.from,
        to: values.to, start: values.start, stop: values.stop, fit: values.fit, stopUnit: values.stopUnit,
        after: values.after, notes: values.notes, fps: values.fps,
    };
    let run;
    if (values.marks) {
        const { source } = await readMeasures(inputs, tools);
        checkOutputs({ ...values, svg: null, planOut: undefined });
        return { kind: "marks", source };
    }
    if (values.plan || values.hit.length) {
        const { score, source } = await readMeasures(inputs, tools);
        if (values.plan) {
            const where = `--plan ${values.plan}`;
            const bytes = readInput(values.plan, where, LARGEST_PLAN_BYTES);
            if (bytes === null) throw new InputError(`${where}: the file is larger than 1 MB, more than a plan holds`);
            const runs = readPlanText(new TextDecoder().decode(bytes), where);
            run = { kind: "plan", checked: { score, source, runs: checkPlan(runs, score, where) } };
        } else {
            if (values.runs !== null) {
                throw new InputError("--runs goes with one shaped ramp; between hit points each shape takes the fewest runs");
            }
            const checked = checkHitInputs({
                ...inputs, hits: values.hit, fps: values.fps, cueStart: values.cueStart, shape: values.shape,
            }, score);
            run = { kind: "hits", checked, source };
        }
    } else {
        let taps = null;
        if (values.taps) [taps, inputs.start, inputs.stop, values.shape] = await tappedRamp(values, inputs, tools);
        const checked = await plan(inputs, tools);
        const shaped = checkShape({ shape: values.shape, runs: values.runs });
        run = shaped ? { kind: "shaped", checked: { ...checked, shaped } } : { kind: "ramp", checked };
        if (taps) run.taps = tapsLine(taps, (bpm) => tempoName({ ...checked.start, bpm }));
    }
    checkOutputs(values);
    return run;
}

// The ramp fitted to the taps in --taps FILE, and what it makes of --start,
// --stop and --shape: [fit, start, stop, shape].
async function tappedRamp(values, inputs, tools) {
    const where = `--taps ${values.taps}`;
    const bytes = readInput(values.taps, where, LARGEST_PLAN_BYTES);
    if (bytes === null) throw new InputError(`${where}: the file is larger than 1 MB, more than taps fill`);
    const times = readTapTimes(new TextDecoder().decode(bytes), where);
    const { score, source } = await readMeasures(inputs, tools);
    if (source) inputs.score = source;
    const region = parseRegion(inputs.from, inputs.to, score.measures);
    const start = parseTempo(inputs.start, "--start", QUARTER);
    let fit;
    try {
        fit = fitTaps(times, tapPassage(score, region, start), { shape: values.shape ?? "linear", countIn: start.bpm });
    } catch (error) {
        if (error instanceof InputError) throw new InputError(`${where}: ${error.sentence}`);
        throw error;
    }
    const unit = `${UNIT_LETTERS[start.unit]}${start.dotted ? "." : ""}`;
    const shape = fit.shape.name === "natural" ? `natural:${fit.shape.q}` : fit.shape.name;
    return [fit, `${unit}=${fit.start}`, `${unit}=${fit.stop}`, shape];
}

// The run, its result, and the lines it prints.
async function runChecked(run, plugin, names, tools) {
    if (run.kind === "ramp") {
        const result = await runPreview(run.checked, plugin, names, tools);
        return { result, lines: previewLines(result) };
    }
    if (run.kind === "shaped") {
        const result = await runShaped(run.checked, plugin, names, tools);
        return { result, lines: shapedLines(result) };
    }
    if (run.kind === "plan") {
        const result = await runPlan(run.checked, plugin, names, tools);
        return { result, lines: planLines(result) };
    }
    const result = await runHits(run.checked, plugin, names, tools, run.source);
    return { result, lines: planLines(result, hitLines(result.hits, run.checked.score.measures)) };
}

// A path as short as it reads from the current folder.
function shownPath(path) {
    const shorter = relative(process.cwd(), resolve(path));
    return shorter.startsWith("..") ? path : shorter;
}

// The file written, its folder made when missing.
function writeOutput(path, content) {
    mkdirSync(dirname(resolve(path)), { recursive: true });
    writeFileSync(path, content);
}

function renderWav(midiPath, wavPath) {
    if (!existsSync(SOUNDFONT)) {
        throw new Error(`no soundfont at ${SOUNDFONT}; install the Debian package timgm6mb-soundfont`);
    }
    const done = spawnSync("fluidsynth", ["-n", "-i", "-q", "-r", "44100", "-T", "wav", "-F", wavPath, SOUNDFONT, midiPath],
        { encoding: "utf8" });
    if (done.error || done.status !== 0 || !existsSync(wavPath)) {
        const lines = (done.stderr || (done.error && done.error.message) || "").trim().split("\n").filter(Boolean);
        throw new Error(`fluidsynth could not render ${wavPath}: ${lines.length ? lines[lines.length - 1] : "no message"}`);
    }
}

// The audio, rendered from the MIDI file written, or from one in a
// temporary folder that is always removed.
function writeWav(values, midi) {
    mkdirSync(dirname(resolve(values.wav)), { recursive: true });
    if (values.midi) {
        renderWav(values.midi, values.wav);
        return;
    }
    const folder = mkdtempSync(join(tmpdir(), "zorv-preview-"));
    try {
        const path = join(folder, "preview.mid");
        writeFileSync(path, midi);
        renderWav(path, values.wav);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

function writeResult(values, result) {
    writeOutput(values.svg, result.svg);
    if (values.beats) writeOutput(values.beats, result.beats);
    if (values.midi) writeOutput(values.midi, result.midi);
    if (values.write) writeOutput(values.write, result.musicxml);
    if (values.wav) writeWav(values, result.midi);
}

// --marks: the score's tempo words as ramps, and their plan when asked.
function listMarks(values, checked) {
    const ramps = proposedRamps(checked.source);
    const { measures } = checked.source.score;
    const lines = marksLines(ramps, measures);
    if (values.planOut) {
        const plan = marksPlan(ramps, measures);
        if (!plan.runs.length) {
            process.stderr.write("preview: --plan-out: the score asks for no ramp in words; no plan written\n");
            return 1;
        }
        writeOutput(values.planOut, `${JSON.stringify(plan, null, 2)}\n`);
        lines.push("", `Plan:   ${values.planOut} (${plan.runs.length} run${plan.runs.length === 1 ? "" : "s"}; `
            + `edit it and run it with --plan ${values.planOut})`);
    }
    process.stdout.write(`${lines.join("\n")}\n`);
    return 0;
}

const BUILDS = { web: "build_web_if_needed", windows: "build_windows" };

// The plug-in's build, brought up to date through scripts/lib.sh; its log is
// shown only when it fails.
function build(kind) {
    const done = spawnSync("bash", ["-c", `source scripts/lib.sh && ${BUILDS[kind]}`],
        { cwd: ROOT, encoding: "utf8", maxBuffer: 1 << 28 });
    if (done.status !== 0) {
        process.stderr.write(`${done.stdout || ""}${done.stderr || ""}`);
        throw new Error("the build failed");
    }
}

// The plug-in compiled to WebAssembly, or a scenario-runner program
// (--runner: the native runner, or scripts/run-scenario-windows for the real
// DLL under Wine).
// The module runs a few short sessions: V8's baseline code for it is ready at
// once, while optimizing it would cost more than those sessions take (these
// two flags keep it baseline on Debian 12's Node 18 as on later ones).
async function plugin(values) {
    if (values.runner) return scenarioProcess(values.runner);
    v8.setFlagsFromString("--no-wasm-dynamic-tiering");
    v8.setFlagsFromString("--no-wasm-tier-up");
    return loadPlugin();
}

export async function main(argv) {
    if (argv.includes("-h") || argv.includes("--help")) {
        process.stdout.write(HELP);
        return 0;
    }
    let values;
    let checked;
    let tools;
    try {
        values = parseArguments(argv);
        if (values.help) {
            process.stdout.write(HELP);
            return 0;
        }
        checkNames(values);
        values.svg = values.svg ?? DEFAULT_SVG;
        tools = await xmlTools(values);
        checked = await checkedInputs(values, tools);
    } catch (error) {
        if (!(error instanceof InputError)) throw error;
        process.stderr.write(`preview: ${error.message}\n`);
        return 2;
    }
    if (values.marks) return listMarks(values, checked);
    if (values.check) return 0;
    try {
        if (values.build) build(values.build);
        const names = {
            svg: shownPath(values.svg), midi: values.midi, beats: values.beats, wav: values.wav, write: values.write,
            writeMarks: values.writeMarks !== "none",
        };
        const { result, lines } = await runChecked(checked, await plugin(values), names, tools);
        writeResult(values, result);
        process.stdout.write(`${(checked.taps ? [checked.taps, ...lines] : lines).join("\n")}\n`);
    } catch (error) {
        const refused = error instanceof ScenarioError ? "the plug-in's host refused the scenario: " : "";
        process.stderr.write(`preview: ${refused}${error.message}\n`);
        return 1;
    }
    return 0;
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
    process.exitCode = await main(process.argv.slice(2));
}
