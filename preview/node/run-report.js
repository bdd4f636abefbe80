#!/usr/bin/env node
// Reads a scenario and the report of its run, and shows what the plug-in
// wrote: a table of the tempo records, a timing summary, and an SVG tempo map.
//
// usage: run-report.js SCENARIO REPORT SVG_OUT
import { readFileSync, writeFileSync } from "node:fs";
import { reportOfRun } from "../lib/tempo-map.js";

function main(argv) {
    if (argv.length !== 3) {
        process.stderr.write("usage: run-report.js SCENARIO REPORT SVG_OUT\n");
        return 2;
    }
    const [scenario, report] = argv.slice(0, 2).map((path) => JSON.parse(readFileSync(path, "utf8")));
    const shown = reportOfRun(scenario, report);
    if (shown.svg === null) {
        process.stdout.write(`${shown.lines.join("\n")}\n`);
        return 1;
    }
    writeFileSync(argv[2], shown.svg);
    process.stdout.write(`${shown.lines.join("\n")}\n`);
    return 0;
}

process.exitCode = main(process.argv.slice(2));
