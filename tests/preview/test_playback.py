"""The ramp to hear, checked by tools independent of the preview's own code:
the MIDI file's playback time of the region (as the MIDI library computes
it) equals the timing summary, and in the rendered audio an onset detector
finds the clicks where the preview says the beats fall."""
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


def onsets(wav):
    done = subprocess.run(["aubioonset", "-i", wav], capture_output=True, text=True, check=True)
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
        # 20 measures heard and one after: one of 3/4, the others 4/4
        self.assertEqual(len(written[0]), 20 * 4 + 3)
        self.assertEqual(len(written[0]), len(unrolled[0]))
        for a, b in zip(*[times for times, _ in (written, unrolled)]):
            self.assertLess(abs(a - b), 1e-6)
        for marker in ("ramp starts", "ramp ends"):
            self.assertLess(abs(written[1][marker] - unrolled[1][marker]), 1e-6)


if __name__ == "__main__":
    unittest.main()
