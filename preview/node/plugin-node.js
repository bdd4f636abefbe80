// loadPlugin() for the command line: the module built by `scripts/build
// --web`, found from this file's place in the project, or at the path in
// ZORV_PLUGIN_MODULE.
import { existsSync } from 'node:fs';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { loadPlugin as loadWith, ScenarioError } from '../lib/plugin.js';

export { ScenarioError };

export const defaultModulePath =
        fileURLToPath(new URL('../../build/web/bin/zorv-plugin.mjs', import.meta.url));

export async function loadPlugin(modulePath = process.env.ZORV_PLUGIN_MODULE || defaultModulePath) {
    if (!existsSync(modulePath)) {
        throw new Error(`${modulePath} is missing; build it with scripts/build --web`);
    }
    const { default: factory } = await import(pathToFileURL(modulePath).href);
    return loadWith(factory);
}
