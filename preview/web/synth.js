// The page's instruments: spessasynth's SoundFont synthesizer, whose
// AudioWorklet processor and General MIDI bank (SF3, base64) travel inside
// the page (the bank beside its script), loaded into a live AudioContext
// for Play, or rendering a MIDI file offline (in an OfflineAudioContext,
// off the main thread) for the WAV download.
import { WorkletSynthesizer } from "spessasynth_lib";
import { BasicMIDI } from "spessasynth_core";
import processorCode from "zorv-synth-processor";
import { CLICK_UNDER_NOTES, mixClicks, SAMPLE_RATE } from "./click.js";
import { withinSeconds } from "./deadline.js";
import { pageData, SOUND_BANK_ID } from "./page-data.js";

// What an instrument still sounds after the last note ends, kept in the WAV.
const RELEASE_SECONDS = 1.0;
// How long an offline rendering may take, beyond twice the sound's length,
// before it is taken for stuck (WebKitGTK's has been seen never to finish).
const RENDER_SPARE_SECONDS = 60;

// An AudioWorklet module from a file opened from file:// (the page's origin
// is "null") loads in every engine only from a data: URL.
let processorUrl = null;
function synthProcessorUrl() {
    if (!processorUrl) {
        const bytes = new TextEncoder().encode(processorCode);
        let binary = "";
        for (let i = 0; i < bytes.length; i += 0x8000) {
            binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
        }
        processorUrl = `data:text/javascript;base64,${btoa(binary)}`;
    }
    return processorUrl;
}

// The bank's bytes, decoded once, when first wanted: decoding 3 MB of
// base64 while the page opens would delay its first result.
let bankBytes = null;
async function soundBank() {
    if (!bankBytes) {
        const binary = atob(await pageData(SOUND_BANK_ID));
        const bytes = new Uint8Array(binary.length);
        for (let i = 0; i < binary.length; i += 1) bytes[i] = binary.charCodeAt(i);
        bankBytes ??= bytes;
    }
    return bankBytes;
}

// The bank is handed over (and so detached) on every load: each gets a copy.
const bankCopy = async () => (await soundBank()).slice().buffer;

// A synthesizer with the General MIDI bank loaded, in `context`.
export async function loadSynth(context) {
    await context.audioWorklet.addModule(synthProcessorUrl());
    const synth = new WorkletSynthesizer(context);
    await synth.soundBankManager.addSoundBank(await bankCopy(), "general-midi");
    await synth.isReady;
    performance.mark("zorv-sound-ready");
    return synth;
}

// The notes of `midi` rendered by the synthesizer, `length` frames at `rate`.
async function renderNotes(midi, length, rate) {
    const context = new OfflineAudioContext({ numberOfChannels: 2, length, sampleRate: rate });
    const bank = await bankCopy();
    await context.audioWorklet.addModule(synthProcessorUrl());
    const synth = new WorkletSynthesizer(context);
    synth.connect(context.destination);
    await synth.startOfflineRender({
        midiSequence: BasicMIDI.fromArrayBuffer(midi.slice().buffer, "notes.mid"),
        loopCount: 0,
        soundBankList: [{ bankOffset: 0, soundBankBuffer: bank }],
        sequencerOptions: { skipToFirstNoteOn: false },
    });
    return context.startRendering();
}

// The heard part as a WAV file with what was chosen: the notes of `midi`
// (the MIDI file of the notes alone, rendered by the same synthesizer in an
// OfflineAudioContext, which runs off the main thread) and the clicks of
// `beats` (null: none). seconds: how long the heard part lasts.
export async function renderWav({ midi, beats, seconds }) {
    const rate = SAMPLE_RATE;
    const length = Math.ceil((seconds + RELEASE_SECONDS) * rate);
    const channels = [];
    if (midi) {
        const rendered = await withinSeconds(renderNotes(midi, length, rate), RENDER_SPARE_SECONDS + 2 * seconds,
            "the browser's audio renderer stopped answering; try again, or reload the page");
        channels.push(rendered.getChannelData(0), rendered.getChannelData(1));
    } else {
        channels.push(new Float32Array(length));
    }
    if (beats) {
        const click = mixClicks(beats, rate);
        const level = midi ? CLICK_UNDER_NOTES : 1;
        for (const channel of channels) {
            for (let i = 0; i < Math.min(click.length, channel.length); i += 1) channel[i] += click[i] * level;
        }
    }
    return { channels, rate };
}
