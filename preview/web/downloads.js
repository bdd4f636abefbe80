// The downloads: the MIDI file, the beats as CSV, the sound as WAV and the
// score with the ramp written in, each made from the result on the page
// when asked for.
import { CLICK_UNDER_NOTES, passageChannels, wavBytes } from "./click.js";
import { passage } from "./passage.js";
import { renderWav } from "./synth.js";
import { chosenSounds, soundChoice } from "./transport.js";

// The WAV's sound: the passage Play plays (its count-in and the measures
// before the region included), or with `whole` everything heard from the
// score's start.
async function wavSound(result, transport, whole) {
    const want = chosenSounds(result);
    const [midi, beats, listen] = await Promise.all([want.notes ? transport.soundOf(result, "notesOnly") : null,
        want.click && whole ? transport.soundOf(result, "beats") : null, transport.soundOf(result, "listen")]);
    if (whole) return renderWav({ midi, beats, seconds: listen.end });
    const choice = soundChoice();
    const first = result.leadIn.heard;
    const played = passage(listen, { first, sounds: choice.sounds, countIn: choice.countIn });
    const { channels, rate } = await renderWav({ midi, beats: null, seconds: listen.end });
    const cut = passageChannels(channels, rate, {
        start: listen.measures[first - 1].seconds, lead: played.countIn, clicks: played.clicks,
        level: midi ? CLICK_UNDER_NOTES : 1,
    });
    return { channels: cut, rate };
}

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
        const whole = document.getElementById("wav-whole").checked;
        const button = document.getElementById("download-wav");
        button.disabled = true;
        downloadStatus.textContent = "Making the WAV file...";
        try {
            const { channels, rate } = await wavSound(r, transport, whole);
            downloadStatus.textContent = "";
            const name = want.notes ? (want.click ? "notes-and-click" : "notes") : "click";
            return [`${baseName()}${whole ? "-whole" : ""}-${name}.wav`, "audio/wav", wavBytes(channels, rate)];
        } finally {
            button.disabled = false;
        }
    });
    const scoreName = () => (baseName() === "ramp" ? "ramp" : `${baseName()}-ramp`);
    on("download-musicxml", async (r) => [`${scoreName()}.musicxml`, "application/vnd.recordare.musicxml+xml",
        (await engine.musicxml(r)).bytes]);
}
