// Figures with a fixed number of decimals, as numbers.js prints them (an
// exact tie to the even digit), at the speed of toFixed: the table, the map
// and the beat times print thousands of them. toFixed rounds the exact binary
// value correctly except at an exact tie, where it rounds up; only a value
// that is a whole number of 2^-(digits+1) can be a tie.
import { formatFixed } from "./numbers.js";

export function fixed(x, digits) {
    const scaled = Math.abs(x) * 2 ** (digits + 1);
    if (x === 0 || Number.isInteger(scaled) || !(Math.abs(x) < 1e21)) return formatFixed(x, digits);
    return x.toFixed(digits);
}
