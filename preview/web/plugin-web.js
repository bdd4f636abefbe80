// loadPlugin() for a page: the module is bundled in (esbuild follows this
// import), so the page needs no server and opens from file://.
import createZorvPlugin from '../../build/web/bin/zorv-plugin.mjs';

import { loadPlugin as loadWith, ScenarioError } from '../lib/plugin.js';

export { ScenarioError };

export function loadPlugin() {
    return loadWith(createZorvPlugin);
}
