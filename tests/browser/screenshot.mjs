// The pictures of the page in the README and docs/page.md: a score open with a region chosen on it,
// in headless Chromium, WIDTH px wide and as tall as the page, written as PNG.
//   node tests/browser/screenshot.mjs FILE.png WIDTH
import { join } from "node:path";
import { startEngine } from "./engines.mjs";
import { PageUnderTest, SCORES, waitFor } from "./page.mjs";

const QUERY = "?from=3&to=5&start=q=100&stop=h=40&after=start";
const SCORE = join(SCORES, "notes-chords-ties.musicxml");

const [path, width = "1000"] = process.argv.slice(2);
if (!path) {
  console.error("usage: node tests/browser/screenshot.mjs FILE.png WIDTH");
  process.exit(2);
}
const browser = await startEngine("chromium");
try {
  const page = new PageUnderTest(browser);
  await browser.resize(Number(width), 800);
  await page.open(QUERY);
  await page.chooseFile("score", SCORE);
  // Every system drawn, not the first of them.
  await waitFor(() => page.evaluate(() => document.querySelectorAll("#notation [data-measure]").length > 0
    && document.querySelector("#notation [role=listbox]")?.getAttribute("aria-busy") !== "true"), "the score to be drawn");
  const status = await page.settled();
  if (status !== "Up to date.") throw new Error(`the page shows "${status}" instead of a result`);
  const height = await page.evaluate(() => document.documentElement.scrollHeight);
  await browser.resize(Number(width), height);
  await browser.screenshot(path);
  console.log(`${path}: ${width} x ${height}`);
} finally {
  await browser.close();
}
