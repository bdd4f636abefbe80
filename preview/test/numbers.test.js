// Figures printed as the preview has always printed them: the exact binary
// value rounded half to even, where toFixed and toPrecision round a tie up.
import { test } from "node:test";
import assert from "node:assert/strict";

import { fixed, formatFixed, formatG, fraction, lowerBound, roundHalfEven, withThousands } from "../lib/numbers.js";

test("fixed decimals round the exact value, a tie to even", () => {
    const cases = [
        [0.0625, 3, "0.062"], [0.125, 2, "0.12"], [72.5, 0, "72"], [73.5, 0, "74"], [0.5, 0, "0"],
        [2.675, 2, "2.67"], [20.3765, 3, "20.377"], [22, 3, "22.000"], [-0.0004, 3, "-0.000"],
        [1e21, 1, "1000000000000000000000.0"], [119.58251953125, 1, "119.6"],
    ];
    for (const [x, digits, text] of cases) assert.equal(formatFixed(x, digits), text, `${x} to ${digits}`);
});

test("six significant digits, trailing zeros dropped, an exponent outside 1e-4 to 1e6", () => {
    const cases = [
        [1, "1"], [2.5, "2.5"], [0.3330078125, "0.333008"], [1.3330078125, "1.33301"], [100000, "100000"],
        [123456.5, "123456"], [1234565, "1.23456e+06"], [999999.5, "1e+06"], [1e6, "1e+06"],
        [2097151.9990234375, "2.09715e+06"], [0.0001, "0.0001"], [0.00001234, "1.234e-05"], [-0.5, "-0.5"],
        [0, "0"],
    ];
    for (const [x, text] of cases) assert.equal(formatG(x), text, String(x));
});

test("exact fractions round half to even", () => {
    assert.deepEqual([[5, 2], [7, 2], [-5, 2], [341, 1024], [2049, 2]].map(([n, d]) => roundHalfEven(fraction(n, d))),
        [2n, 4n, -2n, 0n, 1024n]);
    assert.equal(withThousands(32767), "32,767");
    assert.equal(withThousands(1234567), "1,234,567");
    assert.equal(withThousands(999), "999");
});

// fixed: the same figures at toFixed's speed.
test("ties go to the even digit, as the preview has always printed them", () => {
    assert.equal(fixed(0.125, 2), "0.12");
    assert.equal(fixed(0.375, 2), "0.38");
    assert.equal(fixed(2.5, 0), "2");
    assert.equal(fixed(72.25, 1), "72.2");
    assert.equal(fixed(1 / 128, 6), "0.007812");
    assert.equal(fixed(-0.125, 2), "-0.12");
    assert.equal(fixed(-0, 3), "-0.000");
    assert.equal(fixed(-72.75, 1), "-72.8");
    assert.equal(fixed(0.25, 1), "0.2");
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
        // Halves of the last decimal and their neighbours, up to 4e8 tenths.
        const half = (Math.floor(random() * 4e8) + 0.5) / 10;
        values.push(half, half * (1 + 2 ** -52), half * (1 - 2 ** -52), -half);
    }
    for (const x of values) {
        for (const digits of [0, 1, 2, 3, 6]) assert.equal(fixed(x, digits), formatFixed(x, digits), `${x} to ${digits}`);
    }
});

test("a lower bound is the first place where the test no longer holds", () => {
    const list = [1, 3, 3, 3, 7];
    // [value, first at or after it, first after it]
    const cases = [[0, 0, 0], [1, 0, 1], [2, 1, 1], [3, 1, 4], [5, 4, 4], [7, 4, 5], [9, 5, 5]];
    for (const [value, atOrAfter, after] of cases) {
        assert.equal(lowerBound(list.length, (i) => list[i] < value), atOrAfter, `${value}`);
        assert.equal(lowerBound(list.length, (i) => list[i] <= value), after, `${value}`);
    }
    assert.equal(lowerBound(0, () => true), 0);
});
