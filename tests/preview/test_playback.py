"""The ramp to hear, checked by tools independent of the preview's own code:
the MIDI file's playback time of the region (as the MIDI library computes
it) equals the timing summary, and in the rendered audio an onset detector
finds the clicks where the preview says the beats fall; with --notes, the
score's notes are in the file as the score writes them, one track per part,
and the onset detector hears them where the file times them."""
import csv
import os
import re
import subprocess
import tempfile
import unittest

import mido

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.path.normpath(os.path.join(HERE, "..", "..", "preview", "node", "cli.js"))

# A ritardando that starts mid-measure and runs into 6/8, stop given in
# dotted eighths, back to the start tempo after it.
ARGS = ["--time", "4/4x4,3/4x2,6/8x3", "--from", "2:2", "--to", "8",
        "--start", "q=132", "--stop", "e.=100", "--after", "start"]


def run_preview(*args):
    """The preview as scripts/preview runs it, with the plug-in it builds."""
    return subprocess.run([os.environ.get("ZORV_NODE", "node"), CLI, *args], capture_output=True, text=True)


def written_seconds(output):
    match = re.search(r"Playback time of the region with the written records: ([\d.]+) s", output)
    if not match:
        raise AssertionError(f"no playback time in:\n{output}")
    return float(match.group(1))


def marker_times(path):
    """Seconds into the file of each marker, by the MIDI library's own
    reading of the tempo events."""
    at, markers = 0.0, {}
    for message in mido.MidiFile(path):
        at += message.time
        if message.type == "marker":
            markers[message.text] = at
    return markers


def onsets(wav, *options):
    done = subprocess.run(["aubioonset", "-i", wav, *options], capture_output=True, text=True, check=True)
    return [float(t) for t in done.stdout.split()]


class PlaybackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.files = {kind: os.path.join(cls.folder.name, f"ramp.{kind}") for kind in ("svg", "midi", "wav", "beats")}
        done = run_preview(*ARGS, *[part for kind, path in cls.files.items() for part in (f"--{kind}", path)])
        assert done.returncode == 0, done.stderr
        cls.output = done.stdout
        with open(cls.files["beats"]) as f:
            cls.beats = [(float(row["seconds"]), row["downbeat"] == "1") for row in csv.DictReader(f)]

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_the_midi_file_plays_the_region_for_the_summarised_time(self):
        markers = marker_times(self.files["midi"])
        self.assertLess(abs(markers["ramp ends"] - markers["ramp starts"] - written_seconds(self.output)), 0.001)

    def test_the_clicks_in_the_midi_file_sound_at_the_beat_times(self):
        # From the score's start, so quarter = 120 before the first record
        # counts the same in the file and in the beat times.
        at, sounded = 0.0, []
        for message in mido.MidiFile(self.files["midi"]):
            at += message.time
            if message.type == "note_on" and message.velocity > 0:
                sounded.append(at)
        self.assertEqual(len(sounded), len(self.beats))
        for (beat, _), time in zip(self.beats, sounded):
            self.assertLess(abs(time - beat), 0.001, f"beat at {beat:.4f} s, click at {time:.4f} s")

    def test_click_onsets_in_the_audio_fall_on_the_predicted_beats(self):
        # 4 + 4 + 4 + 4 + 3 + 3 + 2 + 2 + 2 beats: one measure after the region
        self.assertEqual(len(self.beats), 28)
        self.assertEqual(sum(down for _, down in self.beats), 9)
        found = onsets(self.files["wav"])
        self.assertEqual(len(found), len(self.beats), found)
        for (beat, _), onset in zip(self.beats, found):
            self.assertLess(abs(onset - beat), 0.015, f"beat at {beat:.3f} s, onset at {onset:.3f} s")


def note_on_times(path):
    """Seconds of every click, by the MIDI library's own reading."""
    at, times = 0.0, []
    for message in mido.MidiFile(path):
        at += message.time
        if message.type == "note_on" and message.velocity > 0:
            times.append(at)
    return times


class PlaybackOrderTest(unittest.TestCase):
    """A score with a repeat played three times, first and second endings and
    a D.S. al Coda sounds in its MIDI file as the same music written out as it
    is heard (a second score, written by hand)."""

    def test_the_written_score_sounds_as_its_written_out_equivalent(self):
        scores = os.path.join(HERE, "scores")
        with tempfile.TemporaryDirectory() as folder:
            heard = {}
            for name, region in (("repeats-endings-coda", ("10", "11")), ("repeats-endings-coda-unrolled", ("19", "20"))):
                midi = os.path.join(folder, f"{name}.mid")
                done = run_preview("--score", os.path.join(scores, f"{name}.musicxml"), "--from", region[0],
                                   "--to", region[1], "--start", "q=80", "--stop", "q=60",
                                   "--svg", os.path.join(folder, "map.svg"), "--midi", midi)
                self.assertEqual(done.returncode, 0, done.stderr)
                heard[name] = (note_on_times(midi), marker_times(midi))
        written, unrolled = heard["repeats-endings-coda"], heard["repeats-endings-coda-unrolled"]
        # the 20 measures heard, none after the score's end: one of 3/4, the others 4/4
        self.assertEqual(len(written[0]), 19 * 4 + 3)
        self.assertEqual(len(written[0]), len(unrolled[0]))
        for a, b in zip(*[times for times, _ in (written, unrolled)]):
            self.assertLess(abs(a - b), 1e-6)
        for marker in ("ramp starts", "ramp ends"):
            self.assertLess(abs(written[1][marker] - unrolled[1][marker]), 1e-6)


# tests/preview/scores/notes-chords-ties.musicxml: a guitar written an octave
# above its sound, a piano on MIDI channel 3; 4/4, 4/4, 3/4, 6/8, 6/8, all heard.
NOTES_ARGS = ["--score", os.path.join(HERE, "scores", "notes-chords-ties.musicxml"), "--from", "2", "--to", "4",
              "--start", "q=120", "--stop", "q=80", "--notes"]
M2, M3, M4, M5, END, THIRD = 4096, 8192, 11264, 14336, 17408, 1024 / 3
# (on tick, off tick, key) as the score writes them, ties joined; velocity 80
# unless the score says otherwise.
GUITAR = [(0, 1024, 62), (1024, 1536, 64), (1536, 2048, 66), (2048, M2, 67),  # tied at 3.5 beats
          (M2, M3 + 1024, 69),  # tied over the barline into 3/4
          (M3 + 1024, round(M3 + 1024 + THIRD), 71), (round(M3 + 1024 + THIRD), round(M3 + 1024 + 2 * THIRD), 73),
          (round(M3 + 1024 + 2 * THIRD), M3 + 2048, 74),
          (M4, M4 + 1536, 62), (M4 + 1536, M4 + 2048, 64), (M4 + 2048, M4 + 2560, 66), (M4 + 2560, M5, 67),
          (M5, M5 + 2048, 71), (M5 + 2048, END, 69)]  # a grace note: two thirds of the dotted note it leads
PIANO = sorted([(0, 2048, k) for k in (60, 64, 67)] + [(0, M2 + 2048, 48)] + [(2048, M2, k) for k in (53, 57, 60)]
               + [(M2, M3, k) for k in (55, 59, 62)] + [(M2 + 2048, M3, 43)] + [(M3, M4, k) for k in (57, 60, 64)]
               + [(M4, M4 + 1536, k) for k in (62, 65, 69)] + [(M5, END, k) for k in (60, 64, 67)])
PIANO_VELOCITIES = {(M4, 62): 99, (M5, 60): 54, (M5, 64): 54, (M5, 67): 54}  # 110 % of forte; then piano, 60 %


def track_notes(track):
    """(on, off, key, velocity) of a track's notes, and its channels and programs."""
    at, sounding, notes, channels, programs = 0, {}, [], set(), []
    for message in track:
        at += message.time
        programs += [message.program] if message.type == "program_change" else []
        if message.type == "note_on" and message.velocity > 0:
            sounding[message.note] = (at, message.velocity)
            channels.add(message.channel)
        elif message.type in ("note_off", "note_on"):
            on, velocity = sounding.pop(message.note)
            notes.append((on, at, message.note, velocity))
    return sorted(notes), channels, programs


class NotesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.midi, cls.wav = (os.path.join(cls.folder.name, name) for name in ("notes.mid", "notes.wav"))
        done = run_preview(*NOTES_ARGS, "--midi", cls.midi, "--wav", cls.wav, "--svg", os.path.join(cls.folder.name, "map.svg"))
        assert done.returncode == 0, done.stderr
        cls.output = done.stdout

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_each_part_has_a_track_with_its_program_and_its_notes(self):
        tracks = mido.MidiFile(self.midi).tracks
        self.assertEqual([track.name for track in tracks], ["ZorvTempo preview", "click", "Guitar", "Piano"])
        with_velocity = lambda notes, given={}: [(*n, given.get((n[0], n[2]), 80)) for n in notes]
        # The guitar takes the first channel free, the piano the one it names.
        self.assertEqual(track_notes(tracks[2]), (with_velocity(GUITAR), {0}, [24]))
        self.assertEqual(track_notes(tracks[3]), (with_velocity(PIANO, PIANO_VELOCITIES), {2}, [0]))
        self.assertIn(f"15 clicks, {len(GUITAR) + len(PIANO)} notes in 2 parts;", self.output)

    def test_note_onsets_in_the_audio_fall_where_the_file_times_them(self):
        at, predicted = 0.0, set()
        for message in mido.MidiFile(self.midi):
            at += message.time
            predicted |= {round(at, 4)} if message.type == "note_on" and message.velocity > 0 else set()
        # The clicks and the notes between them; the tied eighth at 1.75 s is
        # not heard again.
        self.assertEqual(len(predicted), 21)
        # Samples that sustain give some attacks a weaker echo 60 to 170 ms
        # on; the notes played lie at least 200 ms apart.
        found = onsets(self.wav, "-t", "0.4", "-M", "0.12")
        for time in predicted:
            self.assertLess(min(abs(onset - time) for onset in found), 0.015, f"nothing heard at {time:.3f} s: {found}")
        for onset in found:
            self.assertLess(min(abs(onset - time) for time in predicted), 0.015, f"heard at {onset:.3f} s: {sorted(predicted)}")


# tests/preview/scores/instruments-drums.musicxml: a flute, a violin (on the
# channel it names), a horn in F, a cello, each named its own way, and a drum
# set; two measures of 4/4 at one whole note a measure (the drums quarters).
INSTRUMENTS_ARGS = ["--score", os.path.join(HERE, "scores", "instruments-drums.musicxml"), "--from", "1", "--to", "2",
                    "--start", "q=120", "--stop", "q=80", "--notes"]


class InstrumentsTest(unittest.TestCase):
    def test_each_part_sounds_its_general_midi_program_and_the_drums_the_kit_on_channel_10(self):
        with tempfile.TemporaryDirectory() as folder:
            midi = os.path.join(folder, "instruments.mid")
            done = run_preview(*INSTRUMENTS_ARGS, "--midi", midi, "--svg", os.path.join(folder, "map.svg"))
            self.assertEqual(done.returncode, 0, done.stderr)
            tracks = mido.MidiFile(midi).tracks
        heard = {}
        for track in tracks[2:]:
            changes = [(m.channel, m.program) for m in track if m.type == "program_change"]
            keys = sorted({(m.channel, m.note) for m in track if m.type == "note_on" and m.velocity > 0})
            heard[track.name] = (changes, keys)
        # Flute 74, violin 41, horn 61 (sounding a fifth below its C5 and B4),
        # cello 43 as General MIDI counts from 1; the drums on channel 10,
        # bass drum 36 and snare 38, the kit's program 1.
        self.assertEqual(heard, {
            "Flute": ([(0, 73)], [(0, 79), (0, 81)]),
            "Violin": ([(4, 40)], [(4, 74), (4, 76)]),
            "Horn in F": ([(1, 60)], [(1, 64), (1, 65)]),
            "Violoncello": ([(2, 42)], [(2, 55), (2, 57)]),
            "Drum Set": ([(9, 0)], [(9, 36), (9, 38)]),
        })
        drum_notes = [m for m in tracks[-1] if m.type == "note_on" and m.velocity > 0]
        self.assertEqual(len(drum_notes), 8)


if __name__ == "__main__":
    unittest.main()
