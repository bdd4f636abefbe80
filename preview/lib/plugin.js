// The plug-in in WebAssembly: the same C++ sources as the DLL, run in the
// stand-in host exactly as the native scenario runner runs them. A scenario
// goes in, the runner's report comes out.
//
// Nothing here is Node's or the browser's own: the caller hands in the
// module's factory (the default export of zorv-plugin.mjs), which
// preview/node/plugin-node.js finds on disk and a page's bundle imports.

// A scenario the host refuses. The message is the native runner's one line
// on standard error, e.g. "measures: expected at most 32767 measures in all".
export class ScenarioError extends Error {
    constructor(message) {
        super(message);
        this.name = 'ScenarioError';
    }
}

// What the module's zorv_run_scenario answers.
const REPORT = 0;
const INVALID_SCENARIO = 2;

const encoder = new TextEncoder();
const decoder = new TextDecoder('utf-8');

// Compiles the WebAssembly once. Each run then gets an instance of its own:
// the plug-in is linked into the module, so only a new instance gives it the
// fresh statics that a fresh load of the DLL gives it on Windows.
export async function loadPlugin(factory) {
    if (typeof factory !== 'function') {
        throw new TypeError('loadPlugin needs the factory of zorv-plugin.mjs');
    }
    const first = await factory({});
    const compiledWasm = first.compiledWasm;
    if (!(compiledWasm instanceof WebAssembly.Module)) {
        throw new Error('zorv-plugin.mjs did not hand back its compiled WebAssembly');
    }
    return new Plugin(factory, compiledWasm, first);
}

class Plugin {
    #factory;
    #compiledWasm;
    #pure;  // an instance that runs no session: it serves tempoValue

    constructor(factory, compiledWasm, pure) {
        this.#factory = factory;
        this.#compiledWasm = compiledWasm;
        this.#pure = pure;
    }

    // The report as the native runner prints it (JSON text). `scenario` is an
    // object, JSON text, or a file's bytes (Uint8Array); text and bytes go to
    // the host as they are, so that a broken file gets the runner's own error.
    async runScenarioText(scenario) {
        const bytes = scenarioBytes(scenario);
        const instance = await this.#factory({compiledWasm: this.#compiledWasm});
        const { status, result } = runIn(instance, bytes);
        if (status === INVALID_SCENARIO) throw new ScenarioError(result);
        if (status !== REPORT) throw new Error(`the plug-in's module ran no session: ${result}`);
        return result;
    }

    // The report as a parsed object.
    async runScenario(scenario) {
        return JSON.parse(await this.runScenarioText(scenario));
    }

    // The plug-in's own tempo value for `bpm` beats per minute of `unit`
    // (0 = 16th, 1 = 8th, 2 = quarter, 3 = half, 4 = whole) with `modifier`
    // (0 none, 1 a third, 2 dotted). The plug-in takes 16-bit numbers; what
    // does not fit is refused rather than wrapped.
    tempoValue(unit, bpm, modifier = 0) {
        checkInteger('unit', unit, 0, 4);
        checkInteger('bpm', bpm, -32768, 32767);
        checkInteger('modifier', modifier, 0, 2);
        return this.#pure._zorv_tempo_value(unit, bpm, modifier);
    }
}

function checkInteger(name, value, low, high) {
    if (!Number.isInteger(value) || value < low || value > high) {
        throw new RangeError(`${name}: expected an integer from ${low} to ${high}, got ${value}`);
    }
}

function scenarioBytes(scenario) {
    if (scenario instanceof Uint8Array) return scenario;
    if (typeof scenario === 'string') return encoder.encode(scenario);
    const text = JSON.stringify(scenario);
    if (typeof text !== 'string') throw new TypeError('a scenario is an object, JSON text or bytes');
    return encoder.encode(text);
}

function runIn(instance, bytes) {
    const address = instance._malloc(Math.max(bytes.length, 1));
    if (!address) throw new Error('the plug-in\'s module has no memory for the scenario');
    instance.HEAPU8.set(bytes, address);
    const status = instance._zorv_run_scenario(address, bytes.length);
    // The session may have grown the memory: HEAPU8 is read afresh.
    const start = instance._zorv_result_text();
    const result = decoder.decode(instance.HEAPU8.subarray(start, start + instance._zorv_result_length()));
    return { status, result };
}
