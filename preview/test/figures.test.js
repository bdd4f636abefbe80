// Decimals at toFixed's speed print exactly what numbers.js prints: ties
// to the even digit, everything else as toFixed rounds the exact value.
import { test } from "node:test";
import assert from "node:assert/strict";
import { fixed } from "../lib/figures.js";
import { formatFixed } from "../lib/numbers.js";

test("ties go to the even digit, as the preview has always printed them", () => {
    assert.equal(fixed(0.125, 2), "0.12");
    assert.equal(fixed(0.375, 2), "0.38");
    assert.equal(fixed(2.5, 0), "2");
    assert.equal(fixed(72.25, 1), "72.2");
    assert.equal(fixed(1 / 128, 6), "0.007812");
    assert.equal(fixed(-0.125, 2), "-0.12");
    assert.equal(fixed(-0, 3), "-0.000");
});

test("every figure reads as numbers.js prints it", () => {
    let seed = 17;
    const random = () => {
        seed = (seed * 1103515245 + 12345) % 2147483648;
        return seed / 2147483648;
    };
    const values = [0, 1, 120, 1e21, 2 ** 60, -3.0005, 0.0005, 1e-7];
    for (let i = 0; i < 3000; i += 1) {
        values.push((random() - 0.5) * 10 ** Math.floor(random() * 12 - 4));
        values.push(Math.round(random() * 65536) / 2 ** Math.floor(random() * 12)); // dyadic: ties happen
    }
    for (const x of values) {
        for (const digits of [0, 1, 2, 3, 6]) assert.equal(fixed(x, digits), formatFixed(x, digits), `${x} to ${digits}`);
    }
});
