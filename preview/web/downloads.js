// The downloads: the MIDI file, the beats as CSV, the sound as WAV and the
// score with the ramp written in, each made from the result on the page
// when asked for.
import { wavBytes } from "./click.js";
import { renderWav } from "./synth.js";
import { chosenSounds } from "./transport.js";

function download(name, type, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// page: {engine, transport, shown() (the result on the page, or null),
// baseName() (the files' name before their ending)}.
export function wireDownloads({ engine, transport, shown, baseName }) {
  const downloadStatus = document.getElementById("download-status");
  const on = (id, make) => document.getElementById(id).addEventListener("click", async () => {
    const result = shown();
    if (!result) return;
    downloadStatus.textContent = "";
    try {
      const file = await make(result);
      if (result === shown()) download(...file);
    } catch (error) {
      if (result === shown()) downloadStatus.textContent = `The file could not be made: ${error.message}`;
    }
  });
  // With the notes chosen, the file --midi --notes writes; else --midi's.
  on("download-midi", async (r) => {
    return [`${baseName()}.mid`, "audio/midi", await transport.soundOf(r, chosenSounds(r).notes ? "withNotes" : "midi")];
  });
  on("download-beats", async (r) => [`${baseName()}-beats.csv`, "text/csv", await transport.soundOf(r, "beatsCsv")]);
  on("download-wav", async (r) => {
    const want = chosenSounds(r);
    const [notesOnly, beats, listen] = await Promise.all([want.notes ? transport.soundOf(r, "notesOnly") : null,
      want.click ? transport.soundOf(r, "beats") : null, transport.soundOf(r, "listen")]);
    const button = document.getElementById("download-wav");
    button.disabled = true;
    downloadStatus.textContent = "Making the WAV file...";
    try {
      const { channels, rate } = await renderWav({
        midi: notesOnly, beats, seconds: listen.end,
      });
      downloadStatus.textContent = "";
      const name = want.notes ? (want.click ? "notes-and-click" : "notes") : "click";
      return [`${baseName()}-${name}.wav`, "audio/wav", wavBytes(channels, rate)];
    } finally {
      button.disabled = false;
    }
  });
  const scoreName = () => (baseName() === "ramp" ? "ramp" : `${baseName()}-ramp`);
  on("download-musicxml", async (r) => [`${scoreName()}.musicxml`, "application/vnd.recordare.musicxml+xml",
    (await engine.musicxml(r)).bytes]);
}
