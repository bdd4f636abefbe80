// A run lays each measures array's offsets once, however many of its parts
// ask for them: the command line's whole run and a page edit are counted.
import { test } from "node:test";
import assert from "node:assert/strict";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { measureOffsets, offsetLayouts, parseTimeRuns } from "../lib/music.js";
import { plan } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { loadPlugin } from "../node/plugin-node.js";
import { main } from "../node/cli.js";

const RAMP = { time: "3/4x4,6/8x12", from: "5", to: "12", start: "q=120", stop: "q=72", after: "stop" };

async function layoutsDuring(work) {
    const before = offsetLayouts();
    await work();
    return offsetLayouts() - before;
}

// One layout each for the score's measures, the records' (tempo-map.js's
// timeline), the map's heard measures and the hearing's own order.
test("a command-line run lays the offsets of each measures array once", async (t) => {
    const dir = mkdtempSync(join(tmpdir(), "zorv-offsets-"));
    t.after(() => rmSync(dir, { recursive: true, force: true }));
    const argv = Object.entries(RAMP).flatMap(([name, value]) => [`--${name}`, value]);
    argv.push("--svg", join(dir, "map.svg"), "--midi", join(dir, "ramp.mid"), "--beats", join(dir, "beats.csv"));
    const write = process.stdout.write;
    process.stdout.write = () => true;
    let code;
    const layouts = await layoutsDuring(async () => {
        try { code = await main(argv); } finally { process.stdout.write = write; }
    });
    assert.equal(code, 0);
    assert.equal(layouts, 4);
});

test("a page edit lays the offsets twice past its reading, and its sounds once more", async () => {
    const plugin = await loadPlugin();
    const checked = await plan(RAMP);
    assert.equal(await layoutsDuring(() => runPreview(checked, plugin, {})), 2);
    const again = await plan(RAMP);
    assert.equal(await layoutsDuring(() => runPreview(again, plugin, { midi: "ramp.mid", beats: "beats.csv" })), 3);
    // An edit of the score already read (a page keeps it): only the records' and the hearing's are new.
    assert.equal(await layoutsDuring(() => runPreview(again, plugin, {})), 1);
    assert.equal(await layoutsDuring(() => runPreview(again, plugin, { midi: "ramp.mid" })), 2);
});

test("offsets asked for after a longer layout are its prefix, and no one can change them", () => {
    const measures = parseTimeRuns("3/4x2,5/8x3");
    const short = measureOffsets(measures, 2);
    const long = measureOffsets(measures, 9);
    const fresh = measureOffsets([...measures], 2);
    assert.deepEqual(short, fresh);
    assert.deepEqual(long.slice(0, short.length), [...short]);
    assert.deepEqual(long.slice(-4), [long.at(-1), long.at(-1), long.at(-1), long.at(-1)]);
    assert.throws(() => { short[1] = 5; }, TypeError);
});
