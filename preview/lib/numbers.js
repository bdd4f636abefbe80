// Exact numbers for the preview: fractions of duration units (a triplet
// eighth is 1024/3 units, a beat may be 2.333), rounding half to even, and
// decimal texts formatted digit for digit as C's %g and %.Nf format them
// (they round the exact binary value half to even; toFixed and toPrecision
// do not), so that a figure reads the same in every output and every engine.
// Browser-safe: BigInt only.

const TEN = 10n;

// A fraction {n, d} of BigInts, d > 0, in lowest terms.
export function fraction(n, d = 1n) {
    n = BigInt(n);
    d = BigInt(d);
    if (d === 0n) throw new RangeError("a fraction with denominator 0");
    if (d < 0n) { n = -n; d = -d; }
    const g = gcd(n, d);
    return { n: n / g, d: d / g };
}

export const ZERO = fraction(0n);

function gcd(a, b) {
    a = a < 0n ? -a : a;
    while (b) [a, b] = [b, a % b];
    return a || 1n;
}

export function add(a, b) {
    return fraction(a.n * b.d + b.n * a.d, a.d * b.d);
}

export function subtract(a, b) {
    return fraction(a.n * b.d - b.n * a.d, a.d * b.d);
}

export function multiply(a, b) {
    return fraction(a.n * b.n, a.d * b.d);
}

export function compare(a, b) {
    const left = a.n * b.d, right = b.n * a.d;
    return left < right ? -1 : left > right ? 1 : 0;
}

export function floor(a) {
    const q = a.n / a.d;
    return a.n < 0n && q * a.d !== a.n ? q - 1n : q;
}

// n/d to the nearest integer, a half to the even one.
export function roundHalfEven(a) {
    const down = floor(a);
    const twice = 2n * (a.n - down * a.d);
    if (twice < a.d) return down;
    if (twice > a.d) return down + 1n;
    return down % 2n === 0n ? down : down + 1n;
}

// "2.5", "2.", ".5", "12" (ASCII digits) as an exact fraction, else null.
export function parseDecimal(text) {
    const match = /^([0-9]*)(?:\.([0-9]*))?$/.exec(text);
    if (!match || !/[0-9]/.test(text)) return null;
    const decimals = match[2] || "";
    return fraction(BigInt((match[1] || "0") + decimals), TEN ** BigInt(decimals.length));
}

// The exact value of a finite double.
export function exactFraction(x) {
    const view = new DataView(new ArrayBuffer(8));
    view.setFloat64(0, x);
    const bits = view.getBigUint64(0);
    const negative = bits >> 63n === 1n;
    const exponent = Number((bits >> 52n) & 0x7ffn);
    let mantissa = bits & ((1n << 52n) - 1n);
    let power = exponent - 1075;
    if (exponent === 0) power = -1074;
    else mantissa |= 1n << 52n;
    const signed = negative ? -mantissa : mantissa;
    return power >= 0 ? fraction(signed << BigInt(power)) : fraction(signed, 1n << BigInt(-power));
}

function negativeSign(x) {
    return x < 0 || Object.is(x, -0) ? "-" : "";
}

function absolute(a) {
    return { n: a.n < 0n ? -a.n : a.n, d: a.d };
}

// x with `digits` decimals, as Python's f"{x:.3f}" prints it.
export function formatFixed(x, digits) {
    const scaled = roundHalfEven(multiply(absolute(exactFraction(x)), fraction(TEN ** BigInt(digits))));
    const text = scaled.toString().padStart(digits + 1, "0");
    const whole = text.slice(0, text.length - digits);
    return negativeSign(x) + (digits ? `${whole}.${text.slice(-digits)}` : whole);
}

// The same figure at the speed of toFixed: the table, the map and the beat
// times print thousands of them. toFixed rounds the exact binary value
// correctly except at an exact tie, where it rounds up. A tie is an odd
// number of halves of 10^-digits, (2k+1) / (2^(digits+1) 5^digits), so only
// a value that is an odd whole number of 2^-(digits+1) can be one: beats on
// the 16th-note grid (1.25 is 10 eighths of a unit at 2 decimals) are not.
export function fixed(x, digits) {
    if (digits === 1) return fixedTenth(x);
    const scaled = Math.abs(x) * 2 ** (digits + 1);
    if (Object.is(x, -0) || (Number.isInteger(scaled) && scaled % 2 === 1) || !(Math.abs(x) < 1e21)) {
        return formatFixed(x, digits);
    }
    return x.toFixed(digits);
}

// One decimal, the map's coordinates and every tempo shown: tens of
// thousands a preview, where toFixed alone took a page's Worker 5 ms. Below
// 2^32, x * 10 is off the exact tenths by less than 5e-7, so unless it lies
// within 1e-6 of a half it rounds to the right tenth as it stands; a near
// half (a tie, or what may be one) takes the exact path.
//
// The one exact tie a double can hold is a whole number of quarters (0.25 is
// 2.5 tenths), and a map drawn on a grid of quarter pixels holds many: there
// x * 10 is exact, and the tie goes to the even tenth without the long way.
function fixedTenth(x) {
    const tenths = Math.abs(x) * 10;
    const fraction = tenths - Math.floor(tenths);
    if (!(tenths < 2 ** 32) || Object.is(x, -0)) return formatFixed(x, 1);
    let rounded;
    if (Math.abs(fraction - 0.5) >= 1e-6) rounded = Math.round(tenths);
    else if (Number.isInteger(Math.abs(x) * 4)) rounded = Math.floor(tenths) + (Math.floor(tenths) % 2);
    else return formatFixed(x, 1);
    return `${x < 0 ? "-" : ""}${Math.floor(rounded / 10)}.${rounded % 10}`;
}

// x as Python's f"{x:g}" prints it: 6 significant digits, trailing zeros
// dropped, an exponent below 1e-4 and from 1e6 on.
export function formatG(x, precision = 6) {
    if (x === 0) return negativeSign(x) + "0";
    const value = absolute(exactFraction(x));
    let exponent = Math.floor(Math.log10(Math.abs(x)));
    while (compare(value, powerOfTen(exponent)) < 0) exponent -= 1;
    while (compare(value, powerOfTen(exponent + 1)) >= 0) exponent += 1;
    let digits = roundHalfEven(multiply(value, powerOfTen(precision - 1 - exponent)));
    if (digits === TEN ** BigInt(precision)) {
        digits /= TEN;
        exponent += 1;
    }
    const text = digits.toString();
    if (exponent >= -4 && exponent < precision) {
        const padded = exponent < 0 ? "0".repeat(-exponent) + text : text;
        const point = exponent < 0 ? 1 : exponent + 1;
        return negativeSign(x) + dropTrailingZeros(`${padded.slice(0, point)}.${padded.slice(point)}`);
    }
    const mantissa = dropTrailingZeros(`${text[0]}.${text.slice(1)}`);
    const power = `${exponent < 0 ? "-" : "+"}${String(Math.abs(exponent)).padStart(2, "0")}`;
    return `${negativeSign(x)}${mantissa}e${power}`;
}

function powerOfTen(exponent) {
    return exponent >= 0 ? fraction(TEN ** BigInt(exponent)) : fraction(1n, TEN ** BigInt(-exponent));
}

function dropTrailingZeros(text) {
    return text.includes(".") ? text.replace(/0+$/, "").replace(/\.$/, "") : text;
}

// 32767 as "32,767".
export function withThousands(value) {
    return String(value).replace(/\B(?=(\d{3})+(?!\d))/g, ",");
}

// The first index from 0 to `count` at which `below(i)` no longer holds, for
// a `below` that holds up to some index and not after it: in a sorted list,
// where a value would go before its equals (below: list[i] < value) or
// after them (list[i] <= value).
export function lowerBound(count, below) {
    let lo = 0;
    let hi = count;
    while (lo < hi) {
        const mid = (lo + hi) >> 1;
        if (below(mid)) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}
