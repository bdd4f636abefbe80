// The command line of scripts/preview: its options, their defaults, its help
// and its exact error lines, which stay as they are (tests and musicians'
// notes quote them). Long options may be shortened to any unique prefix, and
// written --option=value.
import { InputError } from "../lib/music.js";

export const HELP = `usage: scripts/preview [-h] (--time RUNS | --score FILE) --from M[:BEAT] --to
                       M[:BEAT] --start UNIT=BPM
                       (--stop UNIT=BPM | --fit TIME | --taps FILE)
                       [--stop-unit UNIT]
                       [--after {none,stop,start}] [--shape SHAPE] [--runs N]
                       [--svg FILE] [--midi FILE] [--wav FILE] [--notes]
                       [--beats FILE] [--write FILE]
       scripts/preview (--time RUNS | --score FILE) --plan FILE [--svg FILE]
                       [--midi FILE] [--wav FILE] [--notes] [--beats FILE]
                       [--write FILE]
       scripts/preview (--time RUNS | --score FILE) --from M[:BEAT]
                       --start UNIT=BPM --hit M[:BEAT]=TIME [--hit ...]
                       [--fps RATE] [--cue-start TIME] [--stop-unit UNIT]
                       [--after {none,stop,start}] [--svg FILE] ...
       scripts/preview --score FILE --marks [--plan-out FILE]

Previews an accelerando or ritardando as the plug-in writes it into a region
of a score; a plan of several runs of the plug-in, in order; or the runs
whose stop tempos land hit points at given times.

options:
  -h, --help            show this help message and exit
  --time RUNS           measures as meter runs: 4/4x8 or 4/4x4,3/4x2,6/8x3
  --score FILE          a MusicXML score (.musicxml, .xml or .mxl)
  --from M[:BEAT]       first measure, or measure:beat (the meter's beats from
                        1, as 12:2.5; 6/8 counts two)
  --to M[:BEAT]         last measure (through its end), or measure:beat (that
                        beat not included)
  --start UNIT=BPM      start tempo: s e q h w (16th..whole), a trailing . for
                        dotted; 20..600
  --stop UNIT=BPM       stop tempo, as --start, or a share of the start tempo
                        in its unit, as 75% (rounded to a whole BPM)
  --fit TIME            find the stop tempo that makes the region last this
                        long: 25.5, 1:23.5, 0:10:30, 1m 30s, or timecode
                        00:00:25:12 at --fps
  --taps FILE           fit the start and stop tempo (in --start's unit,
                        --start the tempo counted in) to beats tapped by
                        hand: seconds, one a line, the first the region's
                        first beat; --shape any tries every shape
  --stop-unit UNIT      beat unit of the fitted stop tempo (default: the
                        start's)
  --after {none,stop,start}
                        directly after the region: nothing, the stop tempo
                        (default) or the start tempo
  --shape SHAPE         the ramp's curve: linear (default: one run of the
                        plug-in), natural (natural:Q for another q than
                        2.5), ease-in, ease-out or s-curve, as the fewest
                        runs that follow it within 1 % in time and 2 % in
                        tempo
  --runs N              make the shape as exactly N runs
  --svg FILE            where the tempo map goes
  --midi FILE           write a MIDI file: the tempos and a click on every
                        beat
  --wav FILE            render the MIDI file to audio (fluidsynth)
  --notes               add the score's notes to --midi and --wav, one track
                        per part with its instrument
  --beats FILE          write the click times (CSV: seconds, measure, beat)
  --write FILE          write the score with the ramp's tempo records
                        (MusicXML)
  --write-marks {words,none}
                        with --write: show each ramp as "rit." or "accel."
                        with dashes to its end, and "a tempo" after it
                        where the start tempo returns (default), or not
  --plan FILE           several runs in order, from a JSON file:
                        {"runs": [{"from": "12", "to": "19", "start":
                        "q=120", "stop": "q=72", "after": "start"}, ...]}
                        (a run fitted to a duration: "fit" and "stop-unit")
  --marks               list the score's own tempo words (rit., accel., a
                        tempo, metronome marks, ...) as proposed ramps
  --plan-out FILE       with --marks: write them as a plan for --plan
  --hit M[:BEAT]=TIME   a hit point, repeatable: the runs from --from end at
                        the hits, each stop tempo landing its hit; TIME as
                        34.2, 0:34.2 or timecode 00:00:34:05 (drop frame
                        00:00:34;05)
  --fps RATE            frames per second of the timecodes and of the hits'
                        errors: 23.976, 24 (default for the errors), 25,
                        29.97, 30
  --cue-start TIME      the time of the score's first downbeat (default 0)
`;

// In the order the help lists them; `group`: one of its options is required,
// and only one may be given. --runner (a scenario-runner program), --build
// (what scripts/lib.sh builds once the input is checked) and --check (check
// the input, run nothing) serve the scripts, and the help leaves them out.
export const OPTIONS = [
    { flags: ["-h", "--help"], kind: "help" },
    { flags: ["--time"], dest: "time", group: "score" },
    { flags: ["--score"], dest: "score", group: "score" },
    { flags: ["--from"], dest: "from", required: true, run: true },
    { flags: ["--to"], dest: "to", required: true, run: true, endsRun: true },
    { flags: ["--start"], dest: "start", required: true, run: true },
    { flags: ["--stop"], dest: "stop", group: "stop", run: true, endsRun: true },
    { flags: ["--fit"], dest: "fit", group: "stop", run: true, endsRun: true },
    { flags: ["--taps"], dest: "taps", group: "stop", run: true, endsRun: true },
    { flags: ["--stop-unit"], dest: "stopUnit", run: true },
    { flags: ["--after"], dest: "after", choices: ["none", "stop", "start"], default: "stop", run: true },
    { flags: ["--shape"], dest: "shape", run: true },
    { flags: ["--runs"], dest: "runs", run: true },
    { flags: ["--svg"], dest: "svg" },
    { flags: ["--midi"], dest: "midi" },
    { flags: ["--wav"], dest: "wav" },
    { flags: ["--notes"], dest: "notes", kind: "flag" },
    { flags: ["--beats"], dest: "beats" },
    { flags: ["--write"], dest: "write" },
    { flags: ["--write-marks"], dest: "writeMarks", choices: ["words", "none"], default: "words" },
    { flags: ["--plan"], dest: "plan" },
    { flags: ["--marks"], dest: "marks", kind: "flag" },
    { flags: ["--plan-out"], dest: "planOut" },
    { flags: ["--hit"], dest: "hit", kind: "append" },
    { flags: ["--fps"], dest: "fps", withTimes: true },
    { flags: ["--cue-start"], dest: "cueStart", withHit: true },
    { flags: ["--runner"], dest: "runner", scripts: true },
    { flags: ["--build"], dest: "build", choices: ["web", "windows"], scripts: true },
    { flags: ["--check"], dest: "check", kind: "flag", scripts: true },
];
const GROUPS = ["score", "stop"];
const BY_FLAG = new Map(OPTIONS.flatMap((option) => option.flags.map((flag) => [flag, option])));

const nameOf = (option) => option.flags.join("/");

// A string as Python quotes it in messages: 'later', "it's".
export function quoted(text) {
    const quote = text.includes("'") && !text.includes('"') ? '"' : "'";
    const escaped = Array.from(text, (c) => {
        if (c === "\\" || c === quote) return `\\${c}`;
        if (c === "\n") return "\\n";
        if (c === "\r") return "\\r";
        if (c === "\t") return "\\t";
        const code = c.codePointAt(0);
        if (code < 0x20 || code === 0x7F) return `\\x${code.toString(16).padStart(2, "0")}`;
        return c;
    }).join("");
    return `${quote}${escaped}${quote}`;
}

// What a word on the command line is: a value ('A'), an option ('O', with
// the option, null when unknown, and a value written after '='), or '-'
// for the '--' that ends the options.
function classify(word) {
    if (!word.startsWith("-") || word === "-") return { kind: "A" };
    if (BY_FLAG.has(word)) return { kind: "O", option: BY_FLAG.get(word), explicit: null };
    const equals = word.indexOf("=");
    const flag = equals >= 0 ? word.slice(0, equals) : word;
    const explicit = equals >= 0 ? word.slice(equals + 1) : null;
    if (equals >= 0 && BY_FLAG.has(flag)) return { kind: "O", option: BY_FLAG.get(flag), explicit };
    if (word.startsWith("--")) {
        const matches = [...BY_FLAG.keys()].filter((known) => known.startsWith(flag));
        if (matches.length > 1) throw new InputError(`ambiguous option: ${word} could match ${matches.join(", ")}`);
        if (matches.length === 1) return { kind: "O", option: BY_FLAG.get(matches[0]), explicit };
    } else if (word.length > 1 && BY_FLAG.has(word.slice(0, 2))) {
        return { kind: "O", option: BY_FLAG.get(word.slice(0, 2)), explicit: word.slice(2) };
    }
    if (/^-\d+$|^-\d*\.\d+$/.test(word) || word.includes(" ")) return { kind: "A" };
    return { kind: "O", option: null, explicit: null };
}

function classifyAll(argv) {
    const kinds = [];
    for (let i = 0; i < argv.length; i += 1) {
        if (argv[i] === "--") {
            kinds.push({ kind: "-" }, ...argv.slice(i + 1).map(() => ({ kind: "A" })));
            break;
        }
        kinds.push(classify(argv[i]));
    }
    return kinds;
}

// The parsed options ({dest: value}, defaults filled in), or {help: true}.
// Bad input throws an InputError with the line the user sees.
export function parseArguments(argv) {
    const kinds = classifyAll(argv);
    const pattern = kinds.map((k) => k.kind).join("");
    const values = { help: false };
    const initial = { flag: false, append: [] };
    for (const option of OPTIONS) {
        if (option.dest) values[option.dest] = option.kind in initial ? initial[option.kind] : (option.default ?? null);
    }
    const seen = new Set();
    const extras = [];
    let i = 0;
    while (i < argv.length) {
        if (kinds[i].kind !== "O") {
            extras.push(argv[i]);
            i += 1;
        } else if (kinds[i].option === null) {
            extras.push(argv[i]);
            i += 1;
        } else {
            const { option, explicit } = kinds[i];
            let words;
            if (explicit !== null) {
                if (option.kind && option.kind !== "append") {
                    throw new InputError(`argument ${nameOf(option)}: ignored explicit argument ${quoted(explicit)}`);
                }
                words = [explicit];
                i += 1;
            } else {
                // An option's value is the next word, never the "--" that
                // ends the options.
                const count = option.kind && option.kind !== "append" ? 0 : 1;
                if (count === 1 && pattern[i + 1] !== "A") {
                    throw new InputError(`argument ${nameOf(option)}: expected one argument`);
                }
                words = argv.slice(i + 1, i + 1 + count);
                i += 1 + count;
            }
            take(option, words, values, seen);
            if (values.help) return values;
        }
    }
    checkRequired(seen);
    if (extras.length > 0) throw new InputError(`unrecognized arguments: ${extras.join(" ")}`);
    return values;
}

function take(option, words, values, seen) {
    seen.add(option);
    if (option.kind === "help") {
        values.help = true;
        return;
    }
    if (option.kind === "append") {
        values[option.dest] = [...values[option.dest], words[0]];
        return;
    }
    const value = option.kind === "flag" ? true : words[0];
    if (option.choices && !option.choices.includes(value)) {
        throw new InputError(`argument ${nameOf(option)}: invalid choice: ${quoted(value)} `
            + `(choose from ${option.choices.map(quoted).join(", ")})`);
    }
    for (const other of OPTIONS) {
        if (other !== option && option.group && other.group === option.group && seen.has(other)) {
            throw new InputError(`argument ${nameOf(option)}: not allowed with argument ${nameOf(other)}`);
        }
    }
    values[option.dest] = value;
}

// A plan gives every run's options itself; hits end the runs and choose
// their stop tempos, so they take no --to, --stop or --fit.
function checkRequired(seen) {
    const given = (flag) => seen.has(BY_FLAG.get(flag));
    if (given("--plan-out") && !given("--marks")) throw new InputError("--plan-out goes with --marks: it writes their plan");
    if (given("--marks")) {
        const other = OPTIONS.find((o) => seen.has(o) && (o.run || ["plan", "hit"].includes(o.dest)));
        if (other) throw new InputError(`argument ${nameOf(other)}: not allowed with argument --marks`);
        if (!given("--score")) throw new InputError("--marks reads a score's own tempo words: give it with --score");
        return;
    }
    const plan = given("--plan");
    const hits = given("--hit");
    const clash = (option, other) => new InputError(`argument ${nameOf(option)}: not allowed with argument ${other}`);
    for (const option of OPTIONS.filter((o) => seen.has(o))) {
        if (plan && (option.run || option.dest === "hit")) throw clash(option, "--plan");
        if (hits && option.endsRun) throw clash(option, "--hit");
        if (option.withHit && !hits) throw new InputError(`${nameOf(option)} goes with --hit: it reads the hits' times`);
        if (option.withTimes && !hits && !given("--fit")) {
            throw new InputError(`${nameOf(option)} goes with --hit or --fit: it reads their timecodes`);
        }
    }
    const needed = (option) => option.required && !plan && !(hits && option.endsRun);
    const missing = OPTIONS.filter((option) => needed(option) && !seen.has(option)).map(nameOf);
    if (missing.length > 0) throw new InputError(`the following arguments are required: ${missing.join(", ")}`);
    for (const group of GROUPS) {
        const members = OPTIONS.filter((option) => option.group === group);
        if (group === "stop" && (plan || hits)) continue;
        if (!members.some((option) => seen.has(option))) {
            throw new InputError(`one of the arguments ${members.map(nameOf).join(" ")} is required`);
        }
    }
}
