"""The figures scripts/preview prints for a musician, each worked out again
here without the preview's code: the records against the plug-in's own
report for a scenario written here from the same musical inputs (run by the
native runner), the playback times from those records, the ideal ramp by
numerical integration, the jumps, the clicks and beats counted in the files
written, the records found in the written score by Python's XML parser, and
a fitted stop tempo against the times of its neighbours' ramps."""
import csv
import json
import os
import re
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

import mido

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
CLI = os.path.join(ROOT, "preview", "node", "cli.js")
RUNNER = os.environ.get("ZORV_SCENARIO_RUNNER", os.path.join(ROOT, "build", "native", "bin", "zorv-scenario"))

QUARTER = 1024
UNIT_LENGTHS = {"s": 256, "e": 512, "q": 1024, "h": 2048, "w": 4096}
THROUGH_END = 2147483647
AFTER_BUTTONS = {"none": 142, "stop": 143, "start": 144}
# quarter = 120 before the first record: 500,000 microseconds a quarter.
DEFAULT_VALUE = QUARTER * 65536 * 1000 / 500000


def run_preview(*args, cwd=None):
    done = subprocess.run([os.environ.get("ZORV_NODE", "node"), CLI, *args], capture_output=True, text=True, cwd=cwd)
    assert done.returncode == 0, done.stderr
    return done.stdout


def host_value(letter, bpm):
    """The host's tempo value of a plain beat unit at bpm: units per second,
    truncated, then * 16 / 1000, truncated."""
    return UNIT_LENGTHS[letter] * 4096 * bpm // 60 * 16 // 1000


def dialog_entries(start, stop, after):
    """What a user enters in the dialog for one ramp, as the runner's user
    steps: start and stop as (unit letter, bpm), then OK."""
    (start_letter, start_bpm), (stop_letter, stop_bpm) = start, stop
    units = list(UNIT_LENGTHS)
    user = [{"check": 102 + u, "value": int(units[u] == start_letter)} for u in range(5)]
    user += [{"check": 109, "value": 0}, {"set": 111, "value": start_bpm}]
    user += [{"check": 122 + u, "value": int(units[u] == stop_letter)} for u in range(5)]
    user += [{"check": 129, "value": 0}, {"set": 131, "value": stop_bpm}]
    return user + [{"check": b, "value": int(b == AFTER_BUTTONS[after])} for b in (142, 143, 144)] + [{"click": 1}]


def runner_records(measures, invocations):
    """The tempo records the native runner reports after the invocations, in
    order: [measure, position, value]."""
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump({"measures": measures, "invocations": invocations}, f)
    try:
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
        done = subprocess.run([RUNNER, f.name], capture_output=True, text=True, env=env, check=True)
    finally:
        os.unlink(f.name)
    return [record[:3] for record in json.loads(done.stdout)["tempo"]]


def plugin_records(measures, region, start, stop, after):
    """The tempo records the plug-in writes when a user enters the ramp in
    its dialog, as the native runner reports them: [measure, position, value]."""
    return runner_records(measures, [{"region": region, "user": dialog_entries(start, stop, after)}])


def measure_starts(measures):
    """Absolute start of each measure from 1, and of the one after the last."""
    starts, at = [None], 0
    for count, length in measures:
        for _ in range(count):
            starts.append(at)
            at += length
    starts.append(at)
    return starts


def region_span(measures, region):
    starts = measure_starts(measures)
    sm, sp, em, ep = region
    end = starts[em + 1] if ep == THROUGH_END else starts[em] + ep + 1
    return starts[sm] + sp, end


def seconds_between(points, start, end):
    """Seconds to play [start, end) under points [(position, value)] in score
    order, the later of two at one position holding."""
    steps = [(0, DEFAULT_VALUE)] + points
    total = 0.0
    for i, (position, value) in enumerate(steps):
        following = steps[i + 1][0] if i + 1 < len(steps) else end
        low, high = max(position, start), min(following, end)
        if high > low:
            total += (high - low) * 65536 / value / 1000
    return total


def points_of(measures, records):
    starts = measure_starts(measures)
    return sorted(((starts[m] + p, v) for m, p, v in records), key=lambda point: point[0])


def bpm(value):
    return value * 60000 / (QUARTER * 65536)


def figure(pattern, text):
    match = re.search(pattern, text, re.M)
    if not match:
        raise AssertionError(f"no {pattern!r} in:\n{text}")
    return match.groups()


def table(output):
    """The printed records: (measure, position, value)."""
    block = output.split("Tempo records in the score after the ramp:\n", 1)[1].split("\n\n", 1)[0]
    rows = re.findall(r"^\s+(\d+)\s+([\d.]+)\s+[\d.]+\s+(\d+)$", block, re.M)
    return [[int(m), round((float(beat) - 1) * QUARTER), int(v)] for m, beat, v in rows]


class DocumentedRamp(unittest.TestCase):
    """The ritardando of docs/preview.md, with every output it can write."""
    MEASURES = [[24, 4096]]
    REGION = [12, 0, 19, THROUGH_END]

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        cls.output = run_preview("--time", "4/4x24", "--from", "12", "--to", "19", "--start", "q=120", "--stop", "q=72",
                                 "--after", "start", "--svg", "map.svg", "--midi", "rit.mid", "--beats", "beats.csv",
                                 "--write", "rit.musicxml", cwd=cls.folder.name)
        cls.records = plugin_records(cls.MEASURES, cls.REGION, ("q", 120), ("q", 72), "start")
        cls.points = points_of(cls.MEASURES, cls.records)
        cls.span = region_span(cls.MEASURES, cls.REGION)

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def test_the_records_shown_are_the_plugins(self):
        self.assertEqual(table(self.output), self.records)
        self.assertEqual(len(self.records), 8 * 16 + 1)  # one a 16th, and the start tempo after the region

    def test_the_playback_times(self):
        written, = figure(r"^Playback time of the region with the written records: ([\d.]+) s$", self.output)
        self.assertAlmostEqual(float(written), seconds_between(self.points, *self.span), delta=0.0005)
        # The ideal ramp: the tempo value moving evenly from the first
        # record to the stop tempo's, integrated in many small steps.
        ideal, = figure(r"^Playback time under an ideal continuous linear ramp: +([\d.]+) s$", self.output)
        a, b, length, steps = self.points[0][1], host_value("q", 72), self.span[1] - self.span[0], 20000
        integral = sum(length / steps * 65536 / (a + (b - a) * (i + 0.5) / steps) for i in range(steps)) / 1000
        self.assertAlmostEqual(float(ideal), integral, delta=0.0005)

    def test_the_jumps(self):
        inside = [bpm(v) for position, v in self.points if self.span[0] <= position < self.span[1]]
        largest, = figure(r"^Largest jump between neighbouring records of the ramp: ([\d.]+) BPM$", self.output)
        self.assertAlmostEqual(float(largest), max(abs(b - a) for a, b in zip(inside, inside[1:])), delta=0.05)
        before, after = figure(r"^Step to the record after the region: ([\d.]+) -> ([\d.]+) BPM$", self.output)
        self.assertAlmostEqual(float(before), inside[-1], delta=0.05)
        self.assertAlmostEqual(float(after), bpm(host_value("q", 120)), delta=0.05)

    def test_the_clicks_and_beats_counted(self):
        measures, clicks, start, end = figure(
            r"^MIDI: +rit\.mid \(measures 1 to (\d+), (\d+) clicks; the region plays from ([\d.]+) s to ([\d.]+) s",
            self.output)
        # One measure after the region, a click on each of its four beats.
        self.assertEqual((int(measures), int(clicks)), (20, 80))
        sounded = [m for m in mido.MidiFile(self.path("rit.mid")) if m.type == "note_on" and m.velocity > 0]
        self.assertEqual(len(sounded), 80)
        # Eleven measures of four quarters at half a second before the region.
        self.assertAlmostEqual(float(start), 22.0, delta=0.0005)
        self.assertAlmostEqual(float(end), 22.0 + seconds_between(self.points, *self.span), delta=0.0005)
        beats, = figure(r"^Beat times: beats\.csv \((\d+) beats", self.output)
        with open(self.path("beats.csv")) as f:
            self.assertEqual(len(list(csv.DictReader(f))), int(beats))
        self.assertEqual(int(beats), 80)

    def test_the_records_written_into_the_score(self):
        measures, written = figure(r"^MusicXML: +rit\.musicxml \((\d+) measures, (\d+) tempo records written",
                                   self.output)
        root = ET.parse(self.path("rit.musicxml")).getroot()
        sounds = [s for s in root.iter("sound") if s.get("tempo") is not None]
        self.assertEqual(int(measures), len(root.find("part").findall("measure")))
        self.assertEqual(int(written), len(sounds))
        self.assertEqual(int(written), len([r for r in self.records if r[0] <= 24]))


class FittedRamp(unittest.TestCase):
    """A fit over 4/4 and 3/4 from a beat to a beat: the stop tempo shown
    is the one whose ramp lasts closest to the target, and each time shown
    is that of the plug-in's ramp to that stop tempo."""
    MEASURES = [[6, 4096], [6, 3072]]
    REGION = [2, 1024, 10, 1535]

    def test_the_fitted_stop_and_its_neighbours(self):
        output = run_preview("--time", "4/4x6,3/4x6", "--from", "2:2", "--to", "10:2.5", "--after", "none",
                             "--start", "q=120", "--fit", "25", "--svg", os.devnull)
        stop, seconds = figure(r"^Fit: stop quarter = (\d+) plays the region in ([\d.]+) s \(target 25\.000 s\)$", output)
        shown = {int(stop): float(seconds)}
        shown.update({int(b): float(s) for b, s in re.findall(r"^  neighbour quarter = (\d+): ([\d.]+) s$", output, re.M)})
        self.assertEqual(sorted(shown), [int(stop) - 1, int(stop), int(stop) + 1])
        span = region_span(self.MEASURES, self.REGION)
        times = {}
        for tempo in shown:
            records = plugin_records(self.MEASURES, self.REGION, ("q", 120), ("q", tempo), "none")
            times[tempo] = seconds_between(points_of(self.MEASURES, records), *span)
            self.assertAlmostEqual(shown[tempo], times[tempo], delta=0.0005, msg=f"quarter = {tempo}")
        self.assertEqual(min(times, key=lambda tempo: abs(times[tempo] - 25)), int(stop))


if __name__ == "__main__":
    unittest.main()
