// The README's picture of the page: the README example in headless Chromium,
// 1000 px wide and as tall as the page, written as PNG.
//   node tests/browser/screenshot.mjs FILE.png
import { startEngine } from "./engines.mjs";
import { PageUnderTest } from "./page.mjs";

const QUERY = "?time=4/4x24&from=12&to=19&start=q=120&stop=q=72&after=start";
const WIDTH = 1000;

const [path] = process.argv.slice(2);
if (!path) {
  console.error("usage: node tests/browser/screenshot.mjs FILE.png");
  process.exit(2);
}
const browser = await startEngine("chromium");
try {
  const page = new PageUnderTest(browser);
  await browser.resize(WIDTH, 800);
  const status = await page.open(QUERY);
  if (status !== "Up to date.") throw new Error(`the page shows "${status}" instead of a result`);
  const height = await page.evaluate(() => document.documentElement.scrollHeight);
  await browser.resize(WIDTH, height);
  await browser.screenshot(path);
  console.log(`${path}: ${WIDTH} x ${height}`);
} finally {
  await browser.close();
}
