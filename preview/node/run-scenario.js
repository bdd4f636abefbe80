#!/usr/bin/env node
// run-scenario.js FILE: the native runner's contract through the WebAssembly
// module: the report on standard output, or one line on standard error and
// exit status 2 for a file that cannot be read or is not a valid scenario.
import { readFileSync } from 'node:fs';

import { loadPlugin, ScenarioError } from './plugin-node.js';

async function main(args) {
    if (args.length !== 1) {
        process.stderr.write('usage: run-scenario.js FILE\n');
        return 2;
    }
    let bytes;
    try {
        bytes = readFileSync(args[0]);
    } catch {
        process.stderr.write(`${args[0]}: cannot be read\n`);
        return 2;
    }
    const plugin = await loadPlugin();
    try {
        process.stdout.write(await plugin.runScenarioText(bytes) + '\n');
        return 0;
    } catch (error) {
        if (!(error instanceof ScenarioError)) throw error;
        process.stderr.write(error.message + '\n');
        return 2;
    }
}

process.exitCode = await main(process.argv.slice(2));
