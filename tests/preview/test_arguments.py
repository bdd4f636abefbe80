"""Musical arguments: every kind of bad input refused with one line, exit
status 2 and nothing written. (The regions that spans of measures and beats
become are checked in preview/test/music.test.js.)"""
import os
import tempfile
import unittest

from support import run_preview

class BadInputTest(unittest.TestCase):
    GOOD = {"--time": "4/4x20", "--from": "12", "--to": "19", "--start": "q=120", "--stop": "q=72"}
    CASES = [
        ("unknown unit", {"--start": "x=120"}, "unknown beat unit 'x'"),
        ("unknown stop unit", {"--stop": "qq=72"}, "unknown beat unit 'qq'"),
        ("tempo above 600", {"--stop": "q=601"}, "outside 20 to 600"),
        ("tempo below 20", {"--start": "h.=19"}, "outside 20 to 600"),
        ("tempo not whole", {"--start": "q=90.5"}, "not a whole number"),
        ("equal tempos", {"--start": "q=120", "--stop": "h=60"}, "the dialog refuses them too"),
        ("region after the score", {"--to": "21"}, "outside the score"),
        ("region before the score", {"--from": "0"}, "outside the score"),
        ("beat past the measure", {"--from": "12:5"}, "only 4 quarters long"),
        ("inverted region", {"--from": "15", "--to": "12"}, "ends before it starts"),
        ("empty region", {"--from": "12:3", "--to": "12:3"}, "ends where it starts"),
        ("too many measures", {"--time": "4/4x32000,3/4x768"}, "32,767"),
        ("unreadable time signature", {"--time": "4/5x20"}, "time signature '4/5'"),
        ("unreadable run", {"--time": "4/4xmany"}, "cannot read the measure count"),
        ("duration not a number", {"--stop": None, "--fit": "soon"}, "not a duration"),
        ("stop and fit", {"--fit": "30"}, "not allowed with argument --stop"),
    ]

    def run_bad(self, changes, extra=()):
        args = dict(self.GOOD, **changes)
        argv = [part for key, value in args.items() if value is not None for part in (key, value)]
        with tempfile.TemporaryDirectory() as folder:
            outputs = [f"--{kind}" for kind in ("svg", "midi", "wav", "beats")]
            for option in outputs:
                argv += [option, os.path.join(folder, "out" + option[2:])]
            done = run_preview(*argv, *extra)
            return done, os.listdir(folder)

    def assert_refused(self, done, written, expected):
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertEqual(done.stdout, "")
        self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
        self.assertTrue(done.stderr.startswith("preview: "), done.stderr)
        self.assertIn(expected, done.stderr)
        self.assertEqual(written, [])

    def test_each_kind_of_bad_input_is_refused_and_nothing_is_written(self):
        for name, changes, expected in self.CASES:
            with self.subTest(name):
                self.assert_refused(*self.run_bad(changes), expected)

    def test_a_file_that_is_not_musicxml_is_refused(self):
        with tempfile.NamedTemporaryFile("w", suffix=".musicxml") as page:
            page.write("<html><body>not a score</body></html>")
            page.flush()
            self.assert_refused(*self.run_bad({"--time": None}, ["--score", page.name]),
                                "is not MusicXML")


if __name__ == "__main__":
    unittest.main()
