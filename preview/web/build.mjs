// Writes the page as one self-contained HTML file: the stylesheet and the
// bundled modules inlined, the Worker's bundle (the WebAssembly module and
// the MusicXML modules) inside the page's as text, so it works when
// double-clicked, with no network and no second file.
//   node preview/web/build.mjs OUT.html
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync, mkdirSync } from "node:fs";
import { tmpdir } from "node:os";
import { createRequire } from "node:module";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { SOUND_BANK_ID } from "./page-data.js";

const here = dirname(fileURLToPath(import.meta.url));

// Debian's JavaScript libraries the page takes in (jszip, for .mxl, and what
// it requires; xmldom, the command line's XML parser), each at its browser
// entry. esbuild finds no node_modules above them, so each is named by its
// path.
const DEBIAN_NODE = "/usr/share/nodejs";
const DEBIAN_MODULES = {
    jszip: "jszip/lib/index.js", pako: "pako/index.js", lie: "lie/lib/browser.js",
    immediate: "immediate/lib/index.js", setimmediate: "setimmediate/setImmediate.js",
    "@xmldom/xmldom": "@xmldom/xmldom/lib/index.js",
};

// Debian's General MIDI bank (csound-soundfont, public domain): every
// program and the drum kit.
export const GM_BANK = "/usr/share/sounds/sf2/sf_GMbank.sf2";
// Its samples as Ogg Vorbis at this quality: the whole bank in about 2.4 MB,
// the page under 6 MB.
const VORBIS_QUALITY = "0.3";

// The General MIDI bank compressed to SF3 (sf3convert, Debian's), as
// base64 text: the page decodes it when it first loads its synthesizer,
// not while it opens.
export function soundBankText(source = GM_BANK) {
    if (!existsSync(source)) throw new Error(`no SoundFont at ${source}: install Debian's csound-soundfont`);
    const folder = mkdtempSync(join(tmpdir(), "zorv-page-"));
    const out = join(folder, "bank.sf3");
    try {
        execFileSync("sf3convert", ["-z", "-q", VORBIS_QUALITY, source, out], { stdio: ["ignore", "ignore", "pipe"] });
        return readFileSync(out).toString("base64");
    } catch (error) {
        throw new Error(`sf3convert could not compress ${source}: ${String(error.stderr || error.message).trim()}`);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

// The synthesizer's AudioWorklet processor, as text (the page hands it to
// the browser as a data: URL). Written into `folder` for the bundler, which
// takes it in by this name.
function soundAssets(folder) {
    const require = createRequire(import.meta.url);
    const processor = join(folder, "synth-processor.txt");
    writeFileSync(processor, readFileSync(require.resolve("spessasynth_lib/dist/spessasynth_processor.min.js")));
    return [`--alias:zorv-synth-processor=${processor}`];
}

// The notation library (opensheetmusicdisplay, from preview/package.json) as
// text, which the page starts only when it first draws a score. Written
// into `folder` for the bundler, which takes it in by this name. Its first
// line tells Chromium that its functions all run as it starts, so that they
// are compiled as the script is read rather than one by one while it runs,
// on the page's thread: its start, one task, took 190 to 310 ms, now 115
// to 145 ms. Other engines take the line for a comment.
function notationAssets(folder) {
    const require = createRequire(import.meta.url);
    const source = join(folder, "notation-library.txt");
    const library = readFileSync(require.resolve("opensheetmusicdisplay/build/opensheetmusicdisplay.min.js"), "utf8");
    writeFileSync(source, `//# allFunctionsCalledOnLoad\n${library}`);
    return [`--alias:zorv-notation-source=${source}`];
}

// The page's modules as one script, the Worker's bundled first and taken in
// as the text that engine.js starts it from; the sound's parts with them.
export function bundlePage(entry, workerEntry) {
    const folder = mkdtempSync(join(tmpdir(), "zorv-page-"));
    try {
        const worker = join(folder, "worker.txt");
        // A classic script: a page from file:// may start one from a blob: URL
        // in every engine, where Chromium refuses a module Worker.
        // The plug-in's loader only asks import.meta where it stands, which a
        // module bundled in needs not know.
        writeFileSync(worker, bundle(workerEntry, ["--format=iife", "--define:import.meta.url=undefined"]));
        return bundle(entry, [`--alias:zorv-worker-source=${worker}`, "--loader:.txt=text", ...notationAssets(folder),
            ...soundAssets(folder)]);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

export function bundle(entry, extra = []) {
    const folder = mkdtempSync(join(tmpdir(), "zorv-page-"));
    try {
        const out = join(folder, "page.js");
        // The emscripten loader names Node's modules only on its Node path;
        // in the browser those requires are never reached.
        // ZORV_KEEP_NAMES=1 keeps the functions' names, for a profile to read.
        const minify = process.env.ZORV_KEEP_NAMES ? ["--minify-syntax", "--minify-whitespace"] : ["--minify"];
        execFileSync("esbuild", [entry, "--bundle", "--platform=browser",
            "--target=es2020", ...minify, "--log-level=warning", "--legal-comments=none",
            "--external:fs", "--external:path", "--external:crypto", "--external:url",
            "--external:module", "--external:worker_threads", "--external:node:*",
            // jszip's Node streams: only tried, inside a try, where there are none.
            "--external:stream",
            ...Object.entries(DEBIAN_MODULES).map(([name, path]) => `--alias:${name}=${DEBIAN_NODE}/${path}`),
            ...(extra.some((flag) => flag.startsWith("--format=")) ? extra : ["--format=esm", ...extra]),
            `--outfile=${out}`], { stdio: ["ignore", "inherit", "inherit"] });
        return readFileSync(out, "utf8");
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

// Inline text must not close the element it sits in. `data` ({id: text},
// text without "<") follows the script, each in an element that is never
// run, so that the script (async) starts while the parser still reads it:
// as a string in the script, the 3 MB sound bank slowed every opening.
export function inline(html, css, script, data = {}) {
    const style = `<style>\n${css.replace(/<\/style/gi, "<\\/style")}</style>`;
    const code = `<script type="module" async>\n${script.replace(/<\/script/gi, "<\\/script").replace(/<!--/g, "<\\!--")}</script>`;
    const blocks = Object.entries(data).map(([id, text]) => {
        if (text.includes("<")) throw new Error(`the page's data ${id} holds a "<"`);
        return `\n<script type="application/octet-stream" id="${id}">${text}</script>`;
    });
    const link = '<link rel="stylesheet" href="page.css">';
    const module = '<script type="module" src="page.js"></script>';
    if (!html.includes(link) || !html.includes(module)) throw new Error("index.html lost its stylesheet link or module script");
    return html.replace(link, () => style).replace(module, () => code + blocks.join(""));
}

function main() {
    const target = process.argv[2];
    if (!target) {
        console.error("usage: node preview/web/build.mjs OUT.html");
        process.exit(2);
    }
    const out = resolve(target);
    let script;
    let bank;
    try {
        script = bundlePage(join(here, "page.js"), join(here, "worker.js"));
        bank = soundBankText();
    } catch (error) {
        console.error(error.message.startsWith("Command failed: esbuild")
            ? "build.mjs: esbuild could not bundle the page (its messages are above)" : `build.mjs: ${error.message}`);
        process.exit(1);
    }
    const html = inline(readFileSync(join(here, "index.html"), "utf8"),
        readFileSync(join(here, "page.css"), "utf8"), script, { [SOUND_BANK_ID]: bank });
    mkdirSync(dirname(out), { recursive: true });
    writeFileSync(`${out}.part`, html);
    renameSync(`${out}.part`, out);
    console.log(`${out} (${Buffer.byteLength(html).toLocaleString("en")} bytes)`);
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) main();
