// One small API over three browser engines, so that the page's cases never
// name an engine:
//   Chromium (Debian's) and Firefox ESR (Debian's), both through puppeteer-core
//   (CDP over a pipe for Chromium, WebDriver BiDi for Firefox); WebKitGTK
//   through Debian's WebKitWebDriver and selenium-webdriver, in a private Xvfb,
//   with webkit-shell.py as the browser.
//
// const browser = await startEngine("firefox");
//   browser.open(url)                    navigate and wait for the load
//   browser.evaluate(fn, ...args)        fn's result in the page (async fn awaited)
//   browser.click(selector, {shift})     a real pointer click, Shift held if asked
//   browser.drag(from, to)               press on one element, move to another, release
//   browser.type(text) / press(key)      keys to the focused element ("Tab", "ArrowUp", "End",
//                                        "Enter", "Shift+Enter")
//   browser.setFile(selector, path)      choose a file in a file input
//   browser.resize(width, height)        the viewport
//   browser.screenshot(path)             a PNG of the viewport
//   browser.consoleErrors()              console errors since the last call (and drains them)
//   browser.close()
// browser.engine names it.
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { setTimeout as sleep } from "node:timers/promises";

export const ENGINES = ["chromium", "firefox", "webkit"];
// Headless Firefox's AudioContext stays "suspended" for good: there, Play can
// only be seen to cope.
export const CAN_PLAY_AUDIO = { chromium: true, firefox: false, webkit: true };
// How long one evaluate may run (page.mjs's waits allow as long).
const SCRIPT_SECONDS = 120;
const WIDTH = 1200;
const HEIGHT = 1600;

export async function startEngine(engine) {
  switch (engine) {
    case "chromium": return startPuppeteer(engine, {
      executablePath: "/usr/bin/chromium",
      pipe: true,
      // As root Chromium needs --no-sandbox; its background services would
      // only knock on a closed network.
      args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
        "--disable-component-update", "--disable-sync", "--autoplay-policy=no-user-gesture-required"],
    });
    case "firefox": return startPuppeteer(engine, {
      browser: "firefox",
      executablePath: "/usr/bin/firefox-esr",
      // Scrollbars that take room, as on a desktop without overlay scrollbars
      // (a new Debian root's): a view they narrow is laid out as it would be there.
      extraPrefsFirefox: {
        "media.autoplay.default": 0, "media.autoplay.blocking_policy": 0, "widget.gtk.overlay-scrollbars.enabled": false,
      },
    });
    case "webkit": return startWebKit();
    default: throw new Error(`no engine '${engine}': one of ${ENGINES.join(", ")}`);
  }
}

// A click goes where the element is when the pointer arrives: the page may
// still be growing (a drawing, a result), and a click aimed at where the
// element was a moment ago lands on whatever has taken its place. So wait,
// for a few seconds at most, until the element is in view, has kept its place
// for two frames and is what the pointer would hit at its centre.
async function untilSteady(evaluate, selector) {
  const deadline = Date.now() + 5000;
  while (Date.now() < deadline) {
    const steady = await evaluate(async (s) => {
      const element = document.querySelector(s);
      if (!element) return false;
      const place = () => { const r = element.getBoundingClientRect(); return [r.left, r.top, r.width, r.height]; };
      const before = place();
      const centreY = before[1] + before[3] / 2;
      if (centreY < 0 || centreY > innerHeight) element.scrollIntoView({ block: "center" });
      // A window out of sight may get no frames: a tenth of a second will do.
      const frame = () => new Promise((resolve) => { requestAnimationFrame(resolve); setTimeout(resolve, 100); });
      const first = place();
      await frame();
      await frame();
      const [left, top, width, height] = place();
      if (String([left, top, width, height]) !== String(first)) return false;
      const hit = document.elementFromPoint(left + width / 2, top + height / 2);
      return Boolean(hit && (element === hit || element.contains(hit)));
    }, selector);
    if (steady) return;
    await sleep(50);
  }
}

// "Shift+Enter" as its modifiers and its key.
function chord(key) {
  const parts = key.split("+");
  return { modifiers: parts.slice(0, -1), key: parts[parts.length - 1] };
}

async function startPuppeteer(engine, options) {
  const { default: puppeteer } = await import("puppeteer-core");
  const browser = await puppeteer.launch({ headless: true, defaultViewport: null, ...options });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: WIDTH, height: HEIGHT });
    const errors = [];
    page.on("console", (message) => {
      if (message.type() === "error") errors.push(message.text());
    });
    page.on("pageerror", (error) => errors.push(`uncaught: ${error.message ?? error}`));
    return {
      engine,
      async open(url) { await page.goto(url, { waitUntil: "load" }); },
      evaluate: (fn, ...args) => page.evaluate(fn, ...args),
      async click(selector, { shift = false } = {}) {
        await untilSteady((fn, ...args) => page.evaluate(fn, ...args), selector);
        if (shift) await page.keyboard.down("Shift");
        try { await page.click(selector); } finally { if (shift) await page.keyboard.up("Shift"); }
      },
      async drag(from, to) {
        const centre = async (selector) => {
          const box = await (await page.$(selector)).boundingBox();
          return [box.x + box.width / 2, box.y + box.height / 2];
        };
        const [a, b] = [await centre(from), await centre(to)];
        await page.mouse.move(...a);
        await page.mouse.down();
        await page.mouse.move(...b, { steps: 5 });
        await page.mouse.up();
      },
      type: (text) => page.keyboard.type(text),
      async press(key) {
        const { modifiers, key: last } = chord(key);
        for (const modifier of modifiers) await page.keyboard.down(modifier);
        try {
          await page.keyboard.press(last);
        } finally {
          for (const modifier of modifiers.reverse()) await page.keyboard.up(modifier);
        }
      },
      async setFile(selector, path) { await (await page.$(selector)).uploadFile(path); },
      resize: (width, height) => page.setViewport({ width, height }),
      async screenshot(path) { await page.screenshot({ path }); },
      async consoleErrors() { return errors.splice(0); },
      // The bytes the page's Worker holds once collected (Chromium only).
      async workerHeap() {
        const [worker] = page.workers();
        await worker.client.send("HeapProfiler.collectGarbage");
        return (await worker.client.send("Runtime.getHeapUsage")).usedSize;
      },
      close: () => browser.close(),
    };
  } catch (error) {
    await browser.close();
    throw error;
  }
}

// A virtual display of its own, numbered by the server (-displayfd).
async function startXvfb() {
  const server = spawn("Xvfb", ["-displayfd", "3", "-screen", "0", "1600x1800x24", "-nolisten", "tcp"],
    { stdio: ["ignore", "ignore", "ignore", "pipe"] });
  const number = await new Promise((resolve, reject) => {
    let text = "";
    const timer = setTimeout(() => reject(new Error("Xvfb did not start within 10 s")), 10000);
    server.stdio[3].on("data", (chunk) => {
      text += chunk;
      if (text.includes("\n")) { clearTimeout(timer); resolve(text.trim()); }
    });
    server.on("exit", (code) => { clearTimeout(timer); reject(new Error(`Xvfb exited (${code})`)); });
  });
  return { display: `:${number}`, stop: () => stopProcess(server) };
}

function stopProcess(child) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    child.once("exit", resolve);
    child.kill();
  });
}

async function freePort() {
  const { createServer } = await import("node:net");
  return new Promise((resolve, reject) => {
    const server = createServer().listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
    server.on("error", reject);
  });
}

// The browser may still be writing its storage as it ends: its folder goes
// once it lets go, and a scratch folder left behind fails no case.
async function removeWhenFree(folder) {
  for (let tries = 0; tries < 40; tries += 1) {
    try {
      rmSync(folder, { recursive: true, force: true });
      return;
    } catch {
      await new Promise((resolve) => setTimeout(resolve, 250));
    }
  }
  process.stderr.write(`the browser's scratch folder ${folder} could not be removed\n`);
}

async function startWebKit() {
  const { Builder, By, Key } = await import("selenium-webdriver");
  // Undone last first: the driver, the display (the browser ends with it),
  // the browser's data.
  const cleanup = [];
  const stopAll = async () => { for (const undo of cleanup.reverse()) await undo(); };
  try {
    const data = mkdtempSync(join(tmpdir(), "zorv-webkit-"));
    cleanup.push(() => removeWhenFree(data));
    const xvfb = await startXvfb();
    cleanup.push(xvfb.stop);
    const port = await freePort();
    // Addresses, not "localhost": a new Debian root has no /etc/hosts.
    // The display has no GPU: composited layers went through Mesa's software
    // OpenGL, and the whole list cost a third more processor time than
    // painting straight to memory does (as Chromium's --disable-gpu).
    const server = spawn("WebKitWebDriver", [`--port=${port}`, "--host=127.0.0.1"], {
      stdio: ["ignore", "pipe", "pipe"],
      env: { ...process.env, DISPLAY: xvfb.display, WEBKIT_DISABLE_COMPOSITING_MODE: "1", WEBKIT_SKIA_ENABLE_CPU_RENDERING: "1" },
    });
    cleanup.push(() => stopProcess(server));
    // The browser's stderr comes through the driver's: the console lines.
    let log = "";
    server.stdout.on("data", (chunk) => { log += chunk; });
    server.stderr.on("data", (chunk) => { log += chunk; });
    const driver = await connectWhenListening(Builder, port, {
      browserName: "ZorvWebKit",
      "webkitgtk:browserOptions": {
        binary: new URL("webkit-shell.py", import.meta.url).pathname,
        args: ["--automation", `--data=${data}`],
      },
    }).catch((error) => {
      throw new Error(`${error.message}\nWebKitWebDriver and the browser said:\n${log.slice(-3000)}`);
    });
    // One script may take longer than the driver's 30 s on a loaded
    // machine (axe over a page that is still drawing a large score); a
    // wait's own limit is the case's to set.
    await driver.manage().setTimeouts({ script: SCRIPT_SECONDS * 1000 });
    const keys = { Tab: Key.TAB, ArrowUp: Key.ARROW_UP, ArrowDown: Key.ARROW_DOWN,
      ArrowLeft: Key.ARROW_LEFT, ArrowRight: Key.ARROW_RIGHT, End: Key.END, Home: Key.HOME, Backspace: Key.BACK_SPACE,
      Enter: Key.ENTER, Escape: Key.ESCAPE, Shift: Key.SHIFT };
    // A key name missing above would be typed out letter by letter.
    const keyOf = (name) => {
      if (name in keys || name.length === 1) return keys[name] ?? name;
      throw new Error(`no WebDriver key for '${name}' in engines.mjs`);
    };
    const evaluate = (fn, ...args) => driver.executeScript(
      `return (${fn}).apply(null, arguments)`, ...args);
    let marks = 0;
    const browser = {
      engine: "webkit",
      async open(url) { await driver.get(url); },
      evaluate,
      async click(selector, { shift = false } = {}) {
        await untilSteady(evaluate, selector);
        const element = await driver.findElement(By.css(selector));
        if (!shift) return element.click();
        return driver.actions().keyDown(Key.SHIFT).click(element).keyUp(Key.SHIFT).perform();
      },
      async drag(from, to) {
        const [a, b] = [await driver.findElement(By.css(from)), await driver.findElement(By.css(to))];
        await driver.actions().move({ origin: a }).press().move({ origin: b, duration: 100 }).release().perform();
      },
      type: (text) => driver.actions().sendKeys(text).perform(),
      async press(key) {
        const { modifiers, key: last } = chord(key);
        let actions = driver.actions();
        for (const modifier of modifiers) actions = actions.keyDown(keyOf(modifier));
        actions = actions.sendKeys(keyOf(last));
        for (const modifier of modifiers.reverse()) actions = actions.keyUp(keyOf(modifier));
        await actions.perform();
      },
      async setFile(selector, path) { await (await driver.findElement(By.css(selector))).sendKeys(path); },
      async resize(width, height) {
        await driver.manage().window().setRect({ width, height });
      },
      async screenshot(path) {
        writeFileSync(path, Buffer.from(await driver.takeScreenshot(), "base64"));
      },
      // A mark logged now and seen on stderr proves every message before it
      // has arrived; what came before it is read and dropped.
      async consoleErrors() {
        const mark = `zorv-console-mark-${++marks}`;
        await evaluate((text) => console.info(text), mark);
        const deadline = Date.now() + 5000;
        while (!log.includes(mark) && Date.now() < deadline) await sleep(10);
        const at = log.indexOf(mark);
        if (at < 0) throw new Error("the browser's console went silent");
        const lines = log.slice(0, at).split("\n");
        log = log.slice(at + mark.length);
        return lines.filter((line) => /\bCONSOLE (\w+ )?ERROR\b/.test(line));
      },
      async close() {
        try { await driver.quit(); } finally { await stopAll(); }
      },
    };
    await browser.resize(WIDTH, HEIGHT);
    return browser;
  } catch (error) {
    await stopAll();
    throw error;
  }
}

async function connectWhenListening(Builder, port, capabilities) {
  const deadline = Date.now() + 10000;
  for (;;) {
    try {
      const response = await fetch(`http://127.0.0.1:${port}/status`);
      if (response.ok) break;
    } catch (error) {
      if (Date.now() > deadline) throw new Error(`WebKitWebDriver did not listen on ${port}: ${error.message}`);
    }
    await sleep(50);
  }
  return new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities(capabilities).build();
}
