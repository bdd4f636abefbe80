"""The tempo map shared by the demo and the preview: records at one position
keep the host's order, and a wide tempo range still gets a map."""
import os
import re
import tempfile
import unittest

import support  # noqa: F401  (puts the scripts on the path)
from zorvtools import tempo_map

QUARTER_120 = 134217


class TempoMapTest(unittest.TestCase):
    def test_of_two_records_at_one_position_the_later_one_holds(self):
        # The host inserts a new record after those already at its position,
        # as the final record of a ramp lands beside an existing mark.
        for records, holding in (([[2, 0, QUARTER_120], [2, 0, 2 * QUARTER_120]], 2 * QUARTER_120),
                                 ([[2, 0, 2 * QUARTER_120], [2, 0, QUARTER_120]], QUARTER_120)):
            with self.subTest(records=records):
                points = tempo_map.tempo_points(records, {1: 0, 2: 4096, 3: 8192})
                self.assertEqual(points[-1], (4096, holding))
                seconds = tempo_map.playback_ms(points, 4096, 8192) / 1000
                self.assertAlmostEqual(seconds, 2.0 * QUARTER_120 / holding, places=3)

    def test_a_ramp_to_a_dotted_whole_at_600_gets_a_map_with_few_labels(self):
        # quarter = 60 up to 3600 quarters a minute
        points = [(0, 67108), (4096, tempo_map.host_tempo_value(4, 600, 2))]
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "map.svg")
            tempo_map.write_svg(path, points, (0, 4096), (0, 5120))
            with open(path) as f:
                labels = re.findall(r'text-anchor="end">(\d+)</text>', f.read())
        self.assertTrue(2 <= len(labels) <= 9, labels)
        self.assertIn("1000", labels)


if __name__ == "__main__":
    unittest.main()
