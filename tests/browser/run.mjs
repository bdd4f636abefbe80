// Runs the page's cases (cases.mjs) in one engine, one browser start for the
// whole list, under node's test runner:
//   node tests/browser/run.mjs chromium|firefox|webkit [--timed|--untimed] [PATTERN]
// The page is build/page/ZorvTempo-Preview.html, or ZORV_PAGE. --timed runs
// only the cases held to the wall clock, --untimed all the others; a PATTERN
// (a regular expression) only the cases whose names it matches.
import { after, before, describe, it } from "node:test";
import assert from "node:assert/strict";
import { existsSync } from "node:fs";
import { CASES } from "./cases.mjs";
import { CAN_PLAY_AUDIO, ENGINES, startEngine } from "./engines.mjs";
import { PAGE, PageUnderTest } from "./page.mjs";

const [engine, ...rest] = process.argv.slice(2);
const GROUPS = { "--timed": (c) => c.timed === true, "--untimed": (c) => c.timed !== true };
const inGroup = GROUPS[rest[0]] ?? (() => true);
if (GROUPS[rest[0]]) rest.shift();
const [only = ""] = rest;
if (!ENGINES.includes(engine) || rest.length > 1 || only.startsWith("--")) {
  console.error(`usage: node tests/browser/run.mjs ${ENGINES.join("|")} [--timed|--untimed] [PATTERN]`);
  process.exit(2);
}
if (!existsSync(PAGE)) {
  console.error(`no page at ${PAGE}: build it first (scripts/test does)`);
  process.exit(1);
}

describe(`the preview page in ${engine}`, () => {
  let browser = null;
  let page = null;

  before(async () => {
    browser = await startEngine(engine);
    page = new PageUnderTest(browser);
    // A run stopped from outside (CTest's time limit, Ctrl-C) still ends the
    // browser, its driver and display, and removes their files.
    for (const signal of ["SIGTERM", "SIGINT"]) {
      process.once(signal, () => browser.close().finally(() => process.exit(128 + (signal === "SIGINT" ? 2 : 15))));
    }
  });

  after(async () => {
    if (browser) await browser.close();
  });

  for (const testCase of CASES.filter((c) => inGroup(c) && new RegExp(only).test(c.name))) {
    const skip = testCase.skipIn?.[engine] || (testCase.needs === "audio" && !CAN_PLAY_AUDIO[engine]
      && `no AudioContext starts in headless ${engine}`);
    it(testCase.name, { skip }, async () => {
      await browser.consoleErrors(); // what an earlier, failed case left
      await testCase.run(page);
      assert.deepEqual(await browser.consoleErrors(), [], "the console shows errors");
    });
  }
});
