// Writes the page as one self-contained HTML file: the stylesheet and the
// bundled modules inlined, the Worker's bundle (the WebAssembly module and
// the MusicXML modules) inside the page's as text, so it works when
// double-clicked, with no network and no second file.
//   node preview/web/build.mjs OUT.html
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync, mkdirSync } from "node:fs";
import { tmpdir } from "node:os";
import { createRequire } from "node:module";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { trimmedBank } from "./piano.mjs";

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

// The sound's two parts that are data to the page: the synthesizer's
// AudioWorklet processor as text (the page hands it to the browser as a
// data: URL) and the piano bank as bytes. Written into `folder` for the
// bundler, which takes them in by these names.
function soundAssets(folder) {
  const require = createRequire(import.meta.url);
  const processor = join(folder, "synth-processor.txt");
  const bank = join(folder, "piano.sf2");
  writeFileSync(processor, readFileSync(require.resolve("spessasynth_lib/dist/spessasynth_processor.min.js")));
  writeFileSync(bank, trimmedBank());
  return [`--alias:zorv-synth-processor=${processor}`, `--alias:zorv-piano-bank=${bank}`, "--loader:.sf2=binary"];
}

// The notation library (opensheetmusicdisplay, from preview/package.json) as
// text, which the page starts only when it first draws a score. Written
// into `folder` for the bundler, which takes it in by this name.
function notationAssets(folder) {
  const require = createRequire(import.meta.url);
  const source = join(folder, "notation-library.txt");
  writeFileSync(source, readFileSync(require.resolve("opensheetmusicdisplay/build/opensheetmusicdisplay.min.js")));
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
    execFileSync("esbuild", [entry, "--bundle", "--platform=browser",
      "--target=es2020", "--minify", "--log-level=warning", "--legal-comments=none",
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

// Inline text must not close the element it sits in.
export function inline(html, css, script) {
  const style = `<style>\n${css.replace(/<\/style/gi, "<\\/style")}</style>`;
  const code = `<script type="module">\n${script.replace(/<\/script/gi, "<\\/script").replace(/<!--/g, "<\\!--")}</script>`;
  const link = '<link rel="stylesheet" href="page.css">';
  const module = '<script type="module" src="page.js"></script>';
  if (!html.includes(link) || !html.includes(module)) throw new Error("index.html lost its stylesheet link or module script");
  return html.replace(link, () => style).replace(module, () => code);
}

function main() {
  const target = process.argv[2];
  if (!target) {
    console.error("usage: node preview/web/build.mjs OUT.html");
    process.exit(2);
  }
  const out = resolve(target);
  let script;
  try {
    script = bundlePage(join(here, "page.js"), join(here, "worker.js"));
  } catch {
    console.error("build.mjs: esbuild could not bundle the page (its messages are above)");
    process.exit(1);
  }
  const html = inline(readFileSync(join(here, "index.html"), "utf8"),
    readFileSync(join(here, "page.css"), "utf8"), script);
  mkdirSync(dirname(out), { recursive: true });
  writeFileSync(`${out}.part`, html);
  renameSync(`${out}.part`, out);
  console.log(`${out} (${Buffer.byteLength(html).toLocaleString("en")} bytes)`);
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) main();
