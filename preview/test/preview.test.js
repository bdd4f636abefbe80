// The whole preview on the largest score: a ramp over all 32,767 measures,
// half a million records and more, shows every record, and its figures
// agree with a plain sum over the report.
import { test } from "node:test";
import assert from "node:assert/strict";
import { MAX_MEASURES } from "../lib/music.js";
import { plan, runPreview } from "../lib/preview.js";
import { loadPlugin } from "../node/plugin-node.js";

test("a ramp over every measure of the largest score is shown whole", async () => {
    const checked = await plan({
        time: `4/4x${MAX_MEASURES}`, from: "1", to: String(MAX_MEASURES), start: "q=120", stop: "q=72", after: "stop",
    });
    const result = await runPreview(checked, await loadPlugin(), { svg: "map.svg", midi: "ramp.mid" });
    const records = result.report.tempo;
    assert.ok(records.length > 500000, `${records.length}`);
    const table = result.lines.indexOf("Tempo records in the score after the ramp:");
    assert.equal(result.lines[table + 1 + records.length + 1], "");
    let ms = 0;
    for (let i = 0; i + 1 < records.length; i += 1) {
        const length = (records[i + 1][0] - records[i][0]) * 4096 + records[i + 1][1] - records[i][1];
        ms += (length * 65536) / records[i][2];
    }
    assert.ok(Math.abs(result.summary.writtenS - ms / 1000) < 1e-6 * ms, `${result.summary.writtenS} against ${ms / 1000}`);
    assert.ok(result.lines.includes(`MIDI:       ramp.mid (measures 1 to ${MAX_MEASURES + 1}, ${4 * (MAX_MEASURES + 1)} clicks; `
        + `the region plays from 0.000 s to ${result.summary.writtenS.toFixed(3)} s)`), result.lines.slice(-12).join("\n"));
});
