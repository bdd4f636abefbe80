// The page's timing table counts tempo differences in the ramp's own beat
// unit, as the rest of the page does, while the command line keeps quarter BPM.
import { test } from "node:test";
import assert from "node:assert/strict";
import { plan } from "../lib/inputs.js";
import { runPreview } from "../lib/preview.js";
import { timingRows } from "../web/result-data.js";
import { loadPlugin } from "../node/plugin-node.js";
import { tools } from "../node/xml-tools.js";

test("the timing's jumps and step are in the start's unit", async () => {
    const checked = await plan({ time: "6/8x24", from: "3", to: "10", start: "q.=80", stop: "q.=40", after: "stop" }, tools);
    const { summary, header } = await runPreview(checked, await loadPlugin());
    const rows = Object.fromEntries(timingRows(summary, header.ramp.start));
    assert.equal(rows["Largest jump between neighbouring records"],
        `${(summary.largestJumpBpm / 1.5).toFixed(1)} dotted quarter BPM`);
    const [from, to] = summary.stepAfter;
    assert.equal(rows["Step to the record after the region"],
        `${(from / 1.5).toFixed(1)} to ${(to / 1.5).toFixed(1)} dotted quarter BPM`);
});
