"""--fit: the chosen stop tempo's time, written by the plug-in, is at least
as close to the target as its neighbours'; the preview run with it plays
that time; targets out of reach say so and take the nearest end."""
import os
import re
import tempfile
import unittest

from support import figure, run_preview, written_seconds

# Starts mid-measure, ends mid-measure, across a meter change, and "None"
# keeps the final record inside the region: the copies the search runs must
# give the same times as the real score.
SPAN = ["--time", "4/4x6,3/4x6", "--from", "2:2", "--to", "10:2.5", "--after", "none"]


def fit(start, seconds, *extra):
    with tempfile.TemporaryDirectory() as folder:
        done = run_preview(*SPAN, "--start", start, "--fit", str(seconds), *extra,
                           "--svg", os.path.join(folder, "map.svg"))
    assert done.returncode == 0, done.stderr
    return done.stdout


def neighbours(output):
    return {int(bpm): float(t) for bpm, t in re.findall(r"neighbour (?:dotted )?\S+ = (\d+): ([\d.]+) s", output)}


class FitTest(unittest.TestCase):
    def test_the_chosen_tempo_is_at_least_as_close_as_its_neighbours(self):
        for start, target, extra in (("q=120", 25, ()), ("q=60", 20, ()), ("q=90", 22, ("--stop-unit", "h."))):
            with self.subTest(start=start, target=target):
                output = fit(start, target, *extra)
                bpm, seconds = figure(r"Fit: stop \S+ (?:\S+ )?= (\d+) plays the region in ([\d.]+) s", output)
                others = neighbours(output)
                self.assertEqual(set(others), {int(bpm) - 1, int(bpm) + 1})
                for other in others.values():
                    self.assertLessEqual(abs(float(seconds) - target), abs(other - target))
                self.assertAlmostEqual(written_seconds(output), float(seconds), places=3)

    def test_targets_out_of_reach_say_so_and_take_the_nearest_end(self):
        for target, nearest in ((2, 600), (3000, 20)):
            with self.subTest(target=target):
                output = fit("q=120", target)
                self.assertIn(f"no stop tempo from 20 to 600 makes the region last {target:.3f} s", output)
                self.assertIn(f"the nearest is quarter = {nearest} at", output)

    def test_the_tempo_the_dialog_refuses_is_never_chosen(self):
        # quarter = 120 to 120 is no ramp: the dialog refuses it, so a target
        # that only it would meet gets a neighbour instead.
        steady = 29.5 * 0.5   # the region's quarters at quarter = 120
        output = fit("q=120", steady)
        self.assertIn("neighbour quarter = 120: refused by the dialog", output)
        self.assertRegex(output, r"Fit: stop quarter = 1(19|21) plays")


if __name__ == "__main__":
    unittest.main()
