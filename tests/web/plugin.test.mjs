// The WebAssembly module through its JavaScript interface, against the
// native build: scenarios as objects and as text, the report's text, the
// tempo value over its whole 16-bit range, and the fresh start of every
// session. Every scenario and every refused one runs through the module in
// CTest (tests/web.cmake), compared as the native runner's reports are.
//
// ZORV_PLUGIN_MODULE, ZORV_NATIVE_RUNNER and ZORV_TEMPO_VALUES name the
// module, the native runner and the native tempo value table; by default
// they are looked for in build/web and build/native.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

import { loadPlugin, ScenarioError } from '../../preview/node/plugin-node.js';

const root = fileURLToPath(new URL('../../', import.meta.url));
const scenarioDir = `${root}tests/scenarios`;
const nativeRunner = process.env.ZORV_NATIVE_RUNNER || `${root}build/native/bin/zorv-scenario`;
const nativeTempoValues =
    process.env.ZORV_TEMPO_VALUES || `${root}build/native/bin/zorv-tempo-values`;

const plugin = await loadPlugin();

test('text and objects name the fault the same way; text goes in unchanged', async () => {
  const tooMany = { measures: [[32767, 4096], [1, 4096]] };
  const message = 'measures: expected at most 32767 measures in all';
  await assert.rejects(plugin.runScenario(tooMany), new ScenarioError(message));
  await assert.rejects(plugin.runScenario(JSON.stringify(tooMany)), new ScenarioError(message));
  // The host sees the text's own bytes: the error names the byte where it breaks.
  await assert.rejects(plugin.runScenario('{"measures": [[1, 4096]],}'),
                       new ScenarioError('scenario: not valid JSON (at byte 26)'));
  await assert.rejects(plugin.runScenario(undefined), TypeError);
});

test('the report text is the native runner\'s, byte for byte', async () => {
  const file = `${scenarioDir}/dialog-remove-declined-confirmed-cancel.json`;
  const native = spawnSync(nativeRunner, [file], { encoding: 'utf8' });
  assert.equal(native.status, 0, native.stderr);
  assert.equal(await plugin.runScenarioText(readFileSync(file, 'utf8')) + '\n', native.stdout);
});

// A scenario whose report shows what a second session in the same plug-in
// would find left over: the binding to the host (lookups are made only
// before it exists), the host version word, and the settings the first
// session saved (shown in the dialog of the second had they leaked).
test('every session starts with the plug-in freshly loaded', async () => {
  const changing = {
    measures: [[4, 4096]],
    host: { version: 0x1A800000 },
    invocations: [{
      region: [1, 0, 2, 2147483647],
      user: [{ set: 111, value: 41 }, { check: 104, value: 1 }, { check: 102, value: 0 },
             { set: 131, value: 97 }, { click: 1 }],
    }],
  };
  const plain = {
    measures: [[4, 4096]],
    host: { name: 'FINALE.EXE' },
    invocations: [{ region: [1, 0, 1, 2147483647], user: [{ click: 2 }] }],
  };
  const alone = await plugin.runScenario(plain);
  await plugin.runScenario(changing);
  const afterAnother = await plugin.runScenario(plain);
  assert.deepStrictEqual(afterAnother, alone);
  assert.ok(Object.values(alone.lookups).some((count) => count > 0), 'no lookups to compare');

  // Several at once: each still alone.
  const together = await Promise.all([plugin.runScenario(changing), plugin.runScenario(plain),
                                      plugin.runScenario(plain)]);
  assert.deepStrictEqual(together[1], alone);
  assert.deepStrictEqual(together[2], alone);
});

test('one instance of the module refuses a second session', async () => {
  const modulePath = process.env.ZORV_PLUGIN_MODULE || `${root}build/web/bin/zorv-plugin.mjs`;
  const { default: factory } = await import(pathToFileURL(modulePath).href);
  const instance = await factory({});
  const run = () => {
    const bytes = new TextEncoder().encode('{}');
    const address = instance._malloc(bytes.length);
    instance.HEAPU8.set(bytes, address);
    return instance._zorv_run_scenario(address, bytes.length);
  };
  assert.equal(run(), 0);
  assert.equal(run(), 3);
});

test('tempoValue is the plug-in\'s own over every unit, modifier and 16-bit tempo', () => {
  const native = spawnSync(nativeTempoValues, [], { maxBuffer: 64 << 20 });
  assert.equal(native.status, 0, `${nativeTempoValues}: ${native.error ?? native.stderr}`);
  const expected = new Int32Array(native.stdout.buffer, native.stdout.byteOffset,
                                  native.stdout.byteLength / 4);
  assert.equal(expected.length, 5 * 3 * 65536);
  let index = 0;
  let mismatches = 0;
  let first = '';
  for (let unit = 0; unit <= 4; ++unit) {
    for (let modifier = 0; modifier <= 2; ++modifier) {
      for (let bpm = -32768; bpm <= 32767; ++bpm, ++index) {
        const value = plugin.tempoValue(unit, bpm, modifier);
        if (value !== expected[index]) {
          if (!mismatches++) first = `unit ${unit}, bpm ${bpm}, modifier ${modifier}: ` +
                                     `${value}, native ${expected[index]}`;
        }
      }
    }
  }
  assert.equal(mismatches, 0, `${mismatches} values differ, first ${first}`);
  // And the value every documented example starts from.
  assert.equal(plugin.tempoValue(2, 120, 0), 134217);
});

test('tempoValue refuses what the plug-in\'s 16-bit arguments cannot hold', () => {
  for (const [unit, bpm, modifier] of [[5, 120, 0], [-1, 120, 0], [2, 32768, 0],
                                       [2, -32769, 0], [2, 120, 3], [2, 120.5, 0],
                                       [2, '120', 0], [2, NaN, 0]]) {
    assert.throws(() => plugin.tempoValue(unit, bpm, modifier), RangeError,
                  `${unit}, ${bpm}, ${modifier}`);
  }
  assert.equal(plugin.tempoValue(2, 120), plugin.tempoValue(2, 120, 0));
});

test('a ramp over the largest region runs, as natively', async () => {
  const largest = {
    measures: [[32767, 4096]],
    invocations: [{
      region: [1, 0, 32767, 2147483647],
      user: [{ set: 111, value: 600 }, { set: 131, value: 20 }, { click: 1 }],
    }],
  };
  const report = await plugin.runScenario(largest);
  const dir = mkdtempSync(`${tmpdir()}/zorv-largest-`);
  const file = `${dir}/largest-ramp.json`;
  writeFileSync(file, JSON.stringify(largest));
  const native = spawnSync(nativeRunner, [file], { encoding: 'utf8', maxBuffer: 256 << 20 });
  rmSync(dir, { recursive: true });
  assert.equal(native.status, 0, native.stderr);
  assert.deepStrictEqual(report, JSON.parse(native.stdout));
  assert.ok(report.tempo.length > 400000, `${report.tempo.length} records`);
});
