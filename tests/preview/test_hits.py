"""Hit points, checked without the preview's own code: each hit lands where
the MIDI file's own tempo events put it (the MIDI library's reading of the
file), within the error the report states and within a frame at 24 fps, on
meter runs of several meters and on drop-frame timecode; and the constant
tempo given for comparison is the one a brute-force search over every
thousandth of a beat per minute finds."""
import os
import re
import subprocess
import tempfile
import unittest

import mido

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.path.normpath(os.path.join(HERE, "..", "..", "preview", "node", "cli.js"))

# Quarters per measure and the quarters from a measure's start to each beat
# as the meter counts them.
METERS = {"4/4": (4, 1.0), "3/4": (3, 1.0), "6/8": (3, 1.5), "5/8": (2.5, 0.5), "2/2": (4, 2.0)}
RUNS = [("4/4", 4), ("3/4", 6), ("6/8", 8), ("5/8", 6), ("2/2", 8)]
TIME = ",".join(f"{meter}x{count}" for meter, count in RUNS)
MEASURES = [meter for meter, count in RUNS for _ in range(count)]


def quarters_at(point):
    """Quarters from the score's start to "measure[:beat]"."""
    measure, _, beat = point.partition(":")
    start = sum(METERS[m][0] for m in MEASURES[:int(measure) - 1])
    return start + (float(beat) - 1) * METERS[MEASURES[int(measure) - 1]][1] if beat else start


def clock_seconds(text):
    parts = [float(p) for p in text.split(":")]
    return sum(p * 60 ** i for i, p in enumerate(reversed(parts)))


def drop_frame_seconds(text):
    """HH:MM:SS;FF at 29.97 drop frame, by the usual count of labels."""
    h, m, s, f = (int(p) for p in re.split("[:;]", text))
    minutes = 60 * h + m
    frames = (minutes * 60 + s) * 30 + f - 2 * (minutes - minutes // 10)
    return frames * 1001 / 30000


def run_preview(*args):
    done = subprocess.run([os.environ.get("ZORV_NODE", "node"), CLI, *args], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(done.stderr)
    return done.stdout


def hit_marker_times(path):
    at, times = 0.0, {}
    for message in mido.MidiFile(path):
        at += message.time
        if message.type == "marker" and message.text.startswith("hit "):
            times.setdefault(int(message.text[4:]), at)
    return times


def hit_rows(output):
    """(lands at, error ms) of each row of the report's table of hits."""
    table = output.split("\nHits (", 1)[1].split("\nLargest error", 1)[0]
    rows = re.findall(r"^\s+\d+\s+.+?\s{2}(\S+)\s+(\S+)\s+([+-][\d.]+) ms", table, re.M)
    return [(landed, float(error)) for _, landed, error in rows]


class HitsTest(unittest.TestCase):
    FROM = "2:2"
    # Positions in 3/4, 6/8, 5/8 and 2/2, with beats as those meters count
    # them; times in three forms.
    HITS = [("6", "13.0"), ("12:2", "0:27.5"), ("20:3", "41.3"), ("27:2", "0:56.35"), ("32", "1:12.55")]

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.midi = os.path.join(cls.folder.name, "hits.mid")
        hits = [part for position, time in cls.HITS for part in ("--hit", f"{position}={time}")]
        cls.output = run_preview("--time", TIME, "--from", cls.FROM, "--start", "e.=96", *hits, "--fps", "24",
                                 "--midi", cls.midi, "--svg", os.path.join(cls.folder.name, "map.svg"))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def test_each_hit_lands_where_the_midi_file_puts_it_within_the_stated_error_and_a_frame(self):
        markers = hit_marker_times(self.midi)
        rows = hit_rows(self.output)
        self.assertEqual(len(rows), len(self.HITS))
        for number, ((position, time), (landed, error_ms)) in enumerate(zip(self.HITS, rows), 1):
            target = clock_seconds(time)
            heard = markers[number]
            self.assertLess(abs(heard - clock_seconds(landed)), 0.002, f"hit {number} at {position}")
            self.assertLess(abs((heard - target) * 1000 - error_ms), 2, f"hit {number}")
            self.assertLess(abs(heard - target), 1 / 24, f"hit {number}: {heard} for {target}")

    def test_the_constant_tempo_is_the_best_of_a_brute_force_search(self):
        match = re.search(r"best single constant tempo from .*?: dotted 8th = ([\d.]+)\n.*\n  largest ([\d.]+) ms",
                          self.output)
        self.assertIsNotNone(match, self.output)
        shown_bpm, shown_largest = float(match.group(1)), float(match.group(2))
        # Before --from, quarter = 120 (no tempo records); from it on, one
        # tempo of dotted 8ths (three quarters of a quarter each).
        start = quarters_at(self.FROM) * 0.5
        beats = [(quarters_at(position) - quarters_at(self.FROM)) / 0.75 for position, _ in self.HITS]
        targets = [clock_seconds(time) for _, time in self.HITS]

        def largest(thousandths):
            seconds_per_beat = 60000 / thousandths
            return max(abs(start + b * seconds_per_beat - t) for b, t in zip(beats, targets))

        best = min(range(20000, 600001), key=largest)
        self.assertEqual(round(shown_bpm * 1000), best)
        self.assertAlmostEqual(shown_largest, largest(best) * 1000, delta=0.05)


class DropFrameHitsTest(unittest.TestCase):
    CUE = "01:00:00;00"
    HITS = [("9", "01:00:15;10"), ("17", "01:00:31;00"), ("33", "01:01:00;05")]

    def test_drop_frame_hits_land_within_a_frame_of_their_timecode(self):
        with tempfile.TemporaryDirectory() as folder:
            midi = os.path.join(folder, "hits.mid")
            hits = [part for position, time in self.HITS for part in ("--hit", f"{position}={time}")]
            output = run_preview("--time", "4/4x40", "--from", "1", "--start", "q=120", *hits, "--fps", "29.97",
                                 "--cue-start", self.CUE, "--midi", midi, "--svg", os.path.join(folder, "map.svg"))
            markers = hit_marker_times(midi)
        cue = drop_frame_seconds(self.CUE)
        for number, ((_, time), (landed, _)) in enumerate(zip(self.HITS, hit_rows(output)), 1):
            heard = cue + markers[number]
            self.assertLess(abs(heard - drop_frame_seconds(time)), 1001 / 30000, f"hit {number}")
            # The landing written back as drop-frame timecode, to a hundredth of a frame.
            whole, hundredths = landed.split(".")
            self.assertLess(abs(drop_frame_seconds(whole) + int(hundredths) / 100 * 1001 / 30000 - heard), 0.002, landed)


if __name__ == "__main__":
    unittest.main()
