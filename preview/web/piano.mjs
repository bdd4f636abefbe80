// The page's instrument, made when the page is built: Debian's General MIDI
// bank (csound-soundfont's sf_GMbank.sf2, public domain) cut down to its
// acoustic grand piano, the one preset the page plays. A whole GM bank is
// 4 MB; the piano's samples are about a tenth of it.
//   node preview/web/piano.mjs OUT.sf2
import { readFileSync, writeFileSync } from "node:fs";
import { resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { SoundBankLoader } from "spessasynth_core";

export const GM_BANK = "/usr/share/sounds/sf2/sf_GMbank.sf2";
export const PIANO = { bank: 0, program: 0 };

// The SoundFont at `path` with only its melodic preset `keep` and what that
// preset uses, as SF2 bytes.
export function trimmedBank(path = GM_BANK, keep = PIANO) {
  let bytes;
  try {
    bytes = readFileSync(path);
  } catch (error) {
    throw new Error(`cannot read the SoundFont ${path} (Debian's csound-soundfont): ${error.message}`);
  }
  const bank = SoundBankLoader.fromArrayBuffer(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + bytes.byteLength));
  const kept = (preset) => !preset.isGMGSDrum && preset.bankMSB === keep.bank && preset.program === keep.program;
  if (!bank.presets.some(kept)) throw new Error(`${path} has no preset ${keep.program} in bank ${keep.bank}`);
  for (const preset of [...bank.presets]) if (!kept(preset)) bank.deletePreset(preset);
  bank.removeUnusedElements();
  return new Uint8Array(bank.writeSF2({ writeDefaultModulators: true, writeExtendedLimits: true }));
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const out = process.argv[2];
  if (!out) {
    console.error("usage: node preview/web/piano.mjs OUT.sf2");
    process.exit(2);
  }
  writeFileSync(out, trimmedBank());
}
