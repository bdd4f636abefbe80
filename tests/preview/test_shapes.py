"""Shaped ramps against their curves, worked out here without the preview's
code: each shape's formula integrated numerically, the runs the preview
prints entered into the plug-in one after another (the native runner), and
the records those runs write held to the bounds the preview states: the
passage's time within 1 % of the curve's, no record more than 2 % off the
curve in tempo; one run fewer, placed where the preview places it, breaks a
bound."""
import math
import os
import re
import unittest

from test_figures import (bpm, dialog_entries, measure_starts, points_of, region_span, run_preview, runner_records,
                          seconds_between)

CURVES = {
    "natural": lambda v0, v1, x, q=2.5: v0 * (1 + ((v1 / v0) ** q - 1) * x) ** (1 / q),
    "natural:3": lambda v0, v1, x: CURVES["natural"](v0, v1, x, 3),
    "ease-in": lambda v0, v1, x: v0 + (v1 - v0) * x ** 2,
    "ease-out": lambda v0, v1, x: v0 + (v1 - v0) * (1 - (1 - x) ** 2),
    "s-curve": lambda v0, v1, x: v0 + (v1 - v0) * (1 - math.cos(math.pi * x)) / 2,
}


def curve_seconds(v, beats):
    """Seconds of `beats` quarters under the curve v(x): the midpoint rule."""
    steps = 20000
    return sum(60 / v((k + 0.5) / steps) for k in range(steps)) * beats / steps


def plan_records(measures, runs):
    """The records of the runs entered into the dialog in order."""
    return runner_records(measures, [{"region": region, "user": dialog_entries(("q", start), ("q", stop), after)}
                                     for region, start, stop, after in runs])


AFTER_WORDS = {"then nothing more": "none", "then the stop tempo holds": "stop", "then back to the start tempo": "start"}


def printed_runs(output):
    """The plan's runs as printed: (region, start bpm, stop bpm, after)."""
    runs = re.findall(r"^\s+\d+\. .*\(ERegion (\d+), (\d+), (\d+), (\d+)\): quarter = (\d+) to quarter = (\d+)"
                      r"(?: \([^)]*\))?, (then [a-z ]+)$", output, re.M)
    return [([int(a), int(b), int(c), int(d)], int(s), int(t), AFTER_WORDS[after]) for a, b, c, d, s, t, after in runs]


class ShapedRamps(unittest.TestCase):
    # [shape, measures as meter runs and as (count, length), region, start, stop]
    CASES = [
        ("natural", "4/4x100", [[100, 4096]], ("1", "100"), 120, 90),
        ("natural:3", "4/4x12", [[12, 4096]], ("2", "11"), 120, 60),
        ("ease-in", "4/4x24", [[24, 4096]], ("3", "22"), 120, 60),
        ("ease-out", "4/4x24", [[24, 4096]], ("3", "22"), 80, 144),
        ("s-curve", "4/4x40", [[40, 4096]], ("1", "40"), 120, 60),
    ]

    def check(self, shape, time, measures, span_text, start, stop, runs=None):
        args = ["--time", time, "--from", span_text[0], "--to", span_text[1], "--start", f"q={start}", "--stop", f"q={stop}",
                "--shape", shape, "--svg", os.devnull] + (["--runs", str(runs)] if runs else [])
        plan = printed_runs(run_preview(*args))
        records = plan_records(measures, plan)
        first, last = plan[0][0], plan[-1][0]
        span = region_span(measures, [first[0], first[1], last[2], last[3]])
        v = lambda x: CURVES[shape](start, stop, x)
        ideal = curve_seconds(v, (span[1] - span[0]) / 1024)
        written = seconds_between(points_of(measures, records), *span)
        starts = measure_starts(measures)
        errors = [abs(bpm(value) / v((starts[m] + p - span[0]) / (span[1] - span[0])) - 1)
                  for m, p, value in records if span[0] <= starts[m] + p < span[1]]
        return plan, abs(written / ideal - 1), max(errors)

    def test_each_shape_within_the_bounds_and_one_run_fewer_outside(self):
        for shape, time, measures, span_text, start, stop in self.CASES:
            with self.subTest(shape=shape):
                plan, time_error, tempo_error = self.check(shape, time, measures, span_text, start, stop)
                self.assertLessEqual(time_error, 0.01)
                self.assertLessEqual(tempo_error, 0.02)
                for (region, run_start, run_stop, _), following in zip(plan, plan[1:]):
                    self.assertEqual(run_stop, following[1])
                if len(plan) > 1:
                    fewer, time_error, tempo_error = self.check(shape, time, measures, span_text, start, stop, len(plan) - 1)
                    self.assertEqual(len(fewer), len(plan) - 1)
                    self.assertTrue(time_error > 0.01 or tempo_error > 0.02, (shape, len(fewer), time_error, tempo_error))


if __name__ == "__main__":
    unittest.main()
