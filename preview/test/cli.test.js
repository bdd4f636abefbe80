// scripts/preview's command line: every kind of bad input is refused with one
// line, exit status 2 and nothing written; options read as they always have
// (any unique prefix, --option=value, a value that looks like a negative
// number, -h anywhere).
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { linkSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, symlinkSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";
import { HELP, OPTIONS, parseArguments, quoted } from "../node/arguments.js";

const CLI = fileURLToPath(new URL("../node/cli.js", import.meta.url));
const GOOD = { "--time": "4/4x20", "--from": "12", "--to": "19", "--start": "q=120", "--stop": "q=72" };
const CASES = [
    ["unknown unit", { "--start": "x=120" }, "unknown beat unit 'x'"],
    ["unknown stop unit", { "--stop": "qq=72" }, "unknown beat unit 'qq'"],
    ["tempo above 600", { "--stop": "q=601" }, "outside 20 to 600"],
    ["tempo below 20", { "--start": "h.=19" }, "outside 20 to 600"],
    ["tempo not whole", { "--start": "q=90.5" }, "not a whole number"],
    ["equal tempos", { "--start": "q=120", "--stop": "h=60" }, "the dialog refuses them too"],
    ["region after the score", { "--to": "21" }, "outside the score"],
    ["region before the score", { "--from": "0" }, "outside the score"],
    ["beat past the measure", { "--from": "12:5" }, "runs from beat 1 to its end at beat 5"],
    ["inverted region", { "--from": "15", "--to": "12" }, "ends before it starts"],
    ["empty region", { "--from": "12:3", "--to": "12:3" }, "ends where it starts"],
    ["too many measures", { "--time": "4/4x32000,3/4x768" }, "32,767"],
    ["unreadable time signature", { "--time": "4/5x20" }, "time signature '4/5'"],
    ["unreadable run", { "--time": "4/4xmany" }, "cannot read the measure count"],
    ["duration not a number", { "--stop": null, "--fit": "soon" }, "not a duration"],
    ["duration not positive", { "--stop": null, "--fit": "-5" }, "'-5' is not a duration"],
    ["stop and fit", { "--fit": "30" }, "not allowed with argument --stop"],
    ["stop unit with a stop tempo", { "--stop-unit": "h" }, "--stop-unit goes with --fit"],
    ["unknown --after", { "--after": "later" }, "invalid choice: 'later' (choose from 'none', 'stop', 'start')"],
    ["no region", { "--from": null, "--to": null }, "the following arguments are required: --from, --to"],
    ["no stop tempo", { "--stop": null }, "one of the arguments --stop --fit --taps is required"],
    ["an unknown option", { "--loud": "yes" }, "unrecognized arguments: --loud yes"],
    ["an ambiguous prefix", { "--st": "q=72" }, "ambiguous option: --st could match --start, --stop, --stop-unit"],
    ["a percentage out of range", { "--stop": "10%" }, "10 % of quarter = 120 is 12 beats per minute, outside 20 to 600"],
    ["an unknown shape", { "--shape": "wobbly" }, "--shape: cannot read 'wobbly'"],
    ["runs not a number", { "--shape": "natural", "--runs": "many" }, "--runs: 'many' is not a number of runs"],
    ["marks of meter runs", { "--marks": true, "--from": null, "--to": null, "--start": null, "--stop": null },
        "--marks reads a score's own tempo words: give it with --score"],
    ["a plan out without marks", { "--plan-out": "plan.json" }, "--plan-out goes with --marks"],
    ["runs between hits", { "--to": null, "--stop": null, "--hit": "15=30", "--shape": "natural", "--runs": "3" },
        "--runs goes with one shaped ramp"],
];

function inFolder(work) {
    const folder = mkdtempSync(join(tmpdir(), "zorv-cli-"));
    try {
        return work(folder);
    } finally {
        rmSync(folder, { recursive: true, force: true });
    }
}

// The preview run with GOOD changed as given (null drops an option, true
// gives a flag), each
// output file named in a folder of its own; what it did, and what it wrote.
function runBad(changes, extra = []) {
    return inFolder((folder) => {
        const args = { ...GOOD, ...changes };
        // A flag (true) stands alone.
        const argv = Object.entries(args).filter(([, value]) => value !== null).flatMap(([flag, value]) => (value === true ? [flag] : [flag, value]));
        for (const kind of ["svg", "midi", "wav", "beats"]) argv.push(`--${kind}`, join(folder, `out.${kind}`));
        const done = spawnSync(process.execPath, [CLI, ...argv, ...extra], { encoding: "utf8" });
        return { done, written: readdirSync(folder) };
    });
}

function assertRefused({ done, written }, expected, name = expected) {
    assert.equal(done.status, 2, `${name}: ${done.stderr}`);
    assert.equal(done.stdout, "");
    assert.equal(done.stderr.split("\n").filter(Boolean).length, 1, done.stderr);
    assert.ok(done.stderr.startsWith("preview: "), done.stderr);
    assert.ok(done.stderr.includes(expected), `${done.stderr} lacks ${expected}`);
    assert.deepEqual(written, []);
}

test("each kind of bad input is refused and nothing is written", () => {
    for (const [name, changes, expected] of CASES) {
        assertRefused(runBad(changes), expected, name);
    }
});

test("a file that is not MusicXML is refused", () => {
    inFolder((folder) => {
        const page = join(folder, "page.musicxml");
        writeFileSync(page, "<html><body>not a score</body></html>");
        assertRefused(runBad({ "--time": null }, ["--score", page]), "is not MusicXML");
    });
});

test("output files must be files, and different ones", () => {
    inFolder((folder) => {
        assertRefused(runBad({}, ["--beats", folder]), `${folder} is a folder; name a file to write`);
    });
    assertRefused(runBad({}, ["--midi", "same.out", "--beats", "./same.out"]),
        "--svg, --midi, --wav, --beats and --write must name different files");
});

test("--write is checked like the other outputs, and may not overwrite the score it reads", () => {
    inFolder((folder) => {
        assertRefused(runBad({}, ["--write", folder]), `${folder} is a folder; name a file to write`);
        const score = join(folder, "score.musicxml");
        const original = readFileSync(new URL("../../tests/preview/scores/mark-after-region.musicxml", import.meta.url));
        writeFileSync(score, original);
        const done = spawnSync(process.execPath, [CLI, "--score", score, "--from", "1", "--to", "1", "--start", "q=60",
            "--stop", "q=72", "--write", score], { encoding: "utf8" });
        assert.equal(done.status, 2);
        assert.ok(done.stderr.startsWith(`preview: --write ${score}: that is the score read`), done.stderr);
        assert.ok(readFileSync(score).equals(original));
        const link = join(folder, "link.musicxml");
        symlinkSync(score, link);
        const through = spawnSync(process.execPath, [CLI, "--score", score, "--from", "1", "--to", "1", "--start", "q=60",
            "--stop", "q=72", "--write", link], { encoding: "utf8" });
        assert.equal(through.status, 2, through.stderr);
        assert.ok(readFileSync(score).equals(original));
    });
    assertRefused(runBad({}, ["--write", "ramp.mxl"]), "--write ramp.mxl: the score is written as plain MusicXML");
    assertRefused(runBad({}, ["--write", "same.out", "--beats", "same.out"]),
        "--svg, --midi, --wav, --beats and --write must name different files");
});

// The files of a folder and everything below it, with their bytes.
function contents(folder) {
    return readdirSync(folder, { recursive: true, withFileTypes: true }).filter((entry) => entry.isFile())
        .map((entry) => [join(entry.parentPath ?? entry.path, entry.name), readFileSync(join(entry.parentPath ?? entry.path, entry.name))])
        .sort(([a], [b]) => a.localeCompare(b));
}

test("no output may be the score read, under any name that reaches it", () => {
    const original = readFileSync(new URL("../../tests/preview/scores/mark-after-region.musicxml", import.meta.url));
    // Names of score.musicxml in a folder that also holds a link to it, a
    // hard link, and a linked folder.
    const names = ["score.musicxml", "./score.musicxml", "link.musicxml", "hard.musicxml", "linked/score.musicxml",
        "sub/../score.musicxml"];
    for (const kind of ["svg", "midi", "wav", "beats", "write"]) {
        for (const name of names) {
            inFolder((folder) => {
                writeFileSync(join(folder, "score.musicxml"), original);
                symlinkSync("score.musicxml", join(folder, "link.musicxml"));
                linkSync(join(folder, "score.musicxml"), join(folder, "hard.musicxml"));
                symlinkSync(".", join(folder, "linked"));
                mkdirSync(join(folder, "sub"));
                const before = contents(folder);
                const args = ["--score", "score.musicxml", "--from", "1", "--to", "1", "--start", "q=60", "--stop", "q=72",
                    "--svg", "map.svg", `--${kind}`, name];
                const done = spawnSync(process.execPath, [CLI, ...args], { cwd: folder, encoding: "utf8" });
                assert.equal(done.status, 2, `--${kind} ${name}: ${done.stderr}`);
                assert.equal(done.stderr, `preview: --${kind} ${name}: that is the score read; name another file, `
                    + "so that the score stays as it is\n");
                assert.deepEqual(contents(folder), before, `--${kind} ${name}`);
            });
        }
    }
});

test("two outputs may not reach one file, through a link either", () => {
    inFolder((folder) => {
        symlinkSync("a.out", join(folder, "dangling.out")); // a link to a file not there yet
        for (const pair of [["--midi", "a.out", "--beats", "dangling.out"], ["--svg", "b.out", "--wav", "sub/../b.out"],
            ["--write", "c.musicxml", "--midi", `${folder}/c.musicxml`]]) {
            const done = spawnSync(process.execPath, [CLI, ...Object.entries(GOOD).flat(), ...pair],
                { cwd: folder, encoding: "utf8" });
            assert.equal(done.status, 2, `${pair.join(" ")}: ${done.stderr}`);
            assert.equal(done.stderr, "preview: --svg, --midi, --wav, --beats and --write must name different files\n");
            assert.deepEqual(readdirSync(folder), ["dangling.out"]);
        }
    });
});

test("an empty file name is refused before anything is read or written", () => {
    for (const kind of ["score", "svg", "midi", "wav", "beats", "write"]) {
        assertRefused(runBad(kind === "score" ? { "--time": null } : {}, [`--${kind}`, ""]),
            `preview: --${kind}: the file name is empty; name a file\n`, kind);
    }
});

test("--notes needs a score, and a MIDI or audio file to sound in", () => {
    assertRefused(runBad({}, ["--notes"]), "--notes: measures given as meter runs have no notes; give the score with --score");
    inFolder((folder) => {
        const score = fileURLToPath(new URL("../../tests/preview/scores/notes-chords-ties.musicxml", import.meta.url));
        const done = spawnSync(process.execPath, [CLI, "--score", score, "--from", "1", "--to", "2", "--start", "q=60",
            "--stop", "q=72", "--svg", join(folder, "map.svg"), "--beats", join(folder, "b.csv"), "--notes"], { encoding: "utf8" });
        assertRefused({ done, written: readdirSync(folder) }, "--notes adds the score's notes to --midi and --wav; name one of them");
    });
});

test("--write writes the score with the ramp and says so", () => {
    inFolder((folder) => {
        const written = join(folder, "ramp.musicxml");
        const done = spawnSync(process.execPath, [CLI, "--time", "4/4x4", "--from", "2", "--to", "2", "--start", "q=60",
            "--stop", "q=64", "--svg", join(folder, "map.svg"), "--write", written], { encoding: "utf8" });
        assert.equal(done.status, 0, done.stderr);
        // One record per 16th from 60 to 64 would be 16; the ramp writes one
        // wherever the tempo moved enough, and the closing one after it.
        const count = (readFileSync(written, "utf8").match(/<sound tempo=/g) || []).length;
        assert.ok(done.stdout.includes(`MusicXML:   ${written} (4 measures, ${count} tempo records written)\n`),
            done.stdout);
        assert.ok(count >= 2, `${count}`);
    });
});

test("options may be shortened to a unique prefix and written with =", () => {
    const values = parseArguments(["--tim=4/4x8", "--fr", "2", "--to=7", "--sta", "q=60", "--stop", "q=96",
        "--aft", "start", "--stop-u", "h."]);
    assert.deepEqual([values.time, values.from, values.to, values.start, values.stop, values.after, values.stopUnit],
        ["4/4x8", "2", "7", "q=60", "q=96", "start", "h."]);
    // The last of a repeated option counts; the defaults stand for the rest.
    const repeated = parseArguments(["--time", "3/4", "--time", "2/4", "--from", "1", "--to", "1", "--start", "q=60",
        "--fit", "9"]);
    assert.deepEqual([repeated.time, repeated.after, repeated.svg, repeated.midi], ["2/4", "stop", null, null]);
});

test("a value may look like a negative number, not like an option", () => {
    // A word that reads as a negative number is a value, and the option's
    // own rule refuses it; any other word that starts with '-' is an option.
    const cases = [
        ["--fit", "-5", "preview: --fit: '-5' is not a duration in seconds"],
        ["--fit", "-2.5", "preview: --fit: '-2.5' is not a duration in seconds"],
        ["--fit", "-.5", "preview: --fit: '-.5' is not a duration in seconds"],
        ["--to", "-2.5", "preview: --to: cannot read '-2.5' (write a measure"],
        ["--fit", "-2.", "preview: argument --fit: expected one argument"],
        ["--fit", "-x", "preview: argument --fit: expected one argument"],
    ];
    for (const [option, value, expected] of cases) {
        const changes = option === "--fit" ? { "--stop": null, "--fit": value } : { [option]: value };
        assertRefused(runBad(changes), expected, `${option} ${value}`);
    }
    assert.equal(parseArguments(["--time", "4/4", "--from", "1", "--to", "1", "--start", "q=60", "--fit", "-2.5"]).fit,
        "-2.5");
    assert.throws(() => parseArguments(["--time", "4/4", "--from", "1", "--to", "1", "--start", "--stop", "q=60"]),
        { message: "argument --start: expected one argument" });
    assert.throws(() => parseArguments(["--time", "4/4", "--from", "1", "--to", "1", "--start", "q=60", "--stop",
        "q=72", "--", "extra"]), { message: "unrecognized arguments: -- extra" });
    assert.throws(() => parseArguments(["--time", "4/4", "--from", "1", "--to", "1", "--start", "q=60", "--stop",
        "--", "q=72"]), { message: "argument --stop: expected one argument" });
    assert.throws(() => parseArguments(["--check=yes"]), { message: "argument --check: ignored explicit argument 'yes'" });
});

test("help comes first, wherever it stands", () => {
    assert.equal(parseArguments(["--after", "start", "--he"]).help, true);
    // An earlier mistake is named before the help is reached.
    assert.throws(() => parseArguments(["--after", "later", "--help"]), /invalid choice/);
    const done = spawnSync(process.execPath, [CLI, "--after", "later", "-h"], { encoding: "utf8" });
    assert.equal(done.status, 0);
    assert.equal(done.stdout, HELP);
});

test("the help names every option the command line takes for musicians, in its order, as it takes it", () => {
    const shown = OPTIONS.filter((option) => !option.scripts);
    const named = new Set(HELP.match(/(?<=[\s[(])--?[a-z][a-z-]*/g));
    assert.deepEqual([...named].sort(), shown.flatMap((option) => option.flags).sort());
    // The options' list: one entry each, its flags, then what it takes.
    const listed = HELP.split("\n").filter((line) => /^ {2}-/.test(line)).map((line) => line.trim().split(/ {2,}/)[0]);
    assert.equal(listed.length, shown.length);
    shown.forEach((option, i) => {
        const flags = option.flags.join(", ");
        const takes = listed[i].slice(flags.length);
        assert.ok(listed[i].startsWith(flags), listed[i]);
        if (option.kind && option.kind !== "append") assert.equal(takes, "", listed[i]);
        else if (option.choices) assert.equal(takes, ` {${option.choices.join(",")}}`);
        else assert.match(takes, /^ [A-Z][A-Z[\]:=]*$/, listed[i]);
    });
});

test("values in messages are quoted as they were typed", () => {
    assert.equal(quoted("later"), "'later'");
    assert.equal(quoted("it's"), "\"it's\"");
    assert.equal(quoted("a'b\"c"), "'a\\'b\"c'");
    assert.equal(quoted("tab\there"), "'tab\\there'");
});

test("--marks lists the score's tempo words and writes their plan, which --plan runs", () => {
    inFolder((folder) => {
        const score = fileURLToPath(new URL("../../tests/preview/scores/tempo-words.musicxml", import.meta.url));
        const planPath = join(folder, "marks.json");
        const listed = spawnSync(process.execPath, [CLI, "--score", score, "--marks", "--plan-out", planPath], { encoding: "utf8" });
        assert.equal(listed.status, 0, listed.stderr);
        assert.match(listed.stdout, /^The score asks for:\n {2}1\. rit\., m\. 3 to 4, then a tempo: /);
        assert.match(listed.stdout, /Plan: {3}.*marks\.json \(4 runs; edit it and run it with --plan /);
        const ran = spawnSync(process.execPath, [CLI, "--score", score, "--plan", planPath, "--svg", join(folder, "map.svg")],
            { encoding: "utf8" });
        assert.equal(ran.status, 0, ran.stderr);
        assert.match(ran.stdout, /1\. measure 3 through the end of measure 4 .*: quarter = 100 to quarter = 75 \(75 % of the start\), then back/);
    });
});
