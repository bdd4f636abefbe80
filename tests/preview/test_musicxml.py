"""Reading MusicXML scores: measures from the first part (a pickup by its
content, meter changes), tempo marks from every part, each once, at the
position its sound plays; compressed .mxl files; files that are not scores."""
import os
import tempfile
import unittest
import zipfile

from support import SCORES
from zorvtools.music import InputError, Measure
from zorvtools.musicxml import read_score
from zorvtools.tempo_map import host_tempo_value

FIXTURE = os.path.join(SCORES, "pickup-meters-parts.musicxml")
CONTAINER = """<?xml version="1.0" encoding="UTF-8"?>
<container><rootfiles><rootfile full-path="{}" media-type="application/vnd.recordare.musicxml+xml"/></rootfiles></container>
"""


def quarter(bpm):
    return host_tempo_value(2, bpm, 0)


class ReadScoreTest(unittest.TestCase):
    def test_measures_come_from_the_first_part_in_score_order(self):
        measures = read_score(FIXTURE).measures
        self.assertEqual(measures, [
            Measure(1024, (0,), False, "4/4"),               # pickup: one quarter, the last beat
            Measure(4096, (0, 1024, 2048, 3072), True, "4/4"),
            Measure(4096, (0, 1024, 2048, 3072), True, "4/4"),
            Measure(3072, (0, 1024, 2048), True, "3/4"),
            Measure(3072, (0, 1536), True, "6/8"),           # felt in two dotted quarters
        ])

    def test_tempo_marks_of_all_parts_become_records_once_each(self):
        self.assertEqual(read_score(FIXTURE).tempo, [
            [1, 0, quarter(96)],       # in both parts
            [3, 2048, quarter(120)],   # after a chord and a grace note; the second part's copy has a visual offset only
            [4, 1024, quarter(100)],   # only in the second part, which counts 4 divisions to the quarter
            [5, 2048, 81089],          # quarter = 72.5, its offset moves the sound half a beat
        ])

    def test_compressed_score_reads_like_the_plain_one(self):
        with tempfile.TemporaryDirectory() as folder:
            for name, container in (("with-container.mxl", True), ("without-container.mxl", False)):
                path = os.path.join(folder, name)
                with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
                    if container:
                        archive.writestr("META-INF/container.xml", CONTAINER.format("score/main.musicxml"))
                        archive.write(FIXTURE, "score/main.musicxml")
                    else:
                        archive.write(FIXTURE, "main.musicxml")
                with self.subTest(name):
                    self.assertEqual(read_score(path), read_score(FIXTURE))

    def test_files_that_are_not_readable_scores_are_refused(self):
        cases = [
            ("page.html", b"<html><body>hello</body></html>", "is not MusicXML"),
            ("notes.txt", b"just some text", "is not MusicXML"),
            ("broken.mxl", b"PK\x03\x04 not really a zip", "is not MusicXML"),
            ("timewise.xml", b"<score-timewise><measure number='1'/></score-timewise>", "timewise"),
            ("no-meter.xml", b"<score-partwise><part id='P1'><measure><attributes><divisions>1"
                             b"</divisions></attributes><note><duration>1</duration></note></measure>"
                             b"</part></score-partwise>", "no time signature"),
            ("bad-meter.xml", b"<score-partwise><part id='P1'><measure><attributes><divisions>1"
                              b"</divisions><time><beats>3.5</beats><beat-type>4</beat-type></time>"
                              b"</attributes></measure></part></score-partwise>", "time signature"),
            ("senza-misura.xml", b"<score-partwise><part id='P1'><measure><attributes><time>"
                                 b"<senza-misura/></time></attributes></measure></part></score-partwise>",
             "senza misura"),
            ("bad-tempo.xml", b"<score-partwise><part id='P1'><measure><attributes><time><beats>4"
                              b"</beats><beat-type>4</beat-type></time></attributes><sound tempo='fast'/>"
                              b"</measure></part></score-partwise>", "cannot read the tempo"),
        ]
        with tempfile.TemporaryDirectory() as folder:
            for name, content, expected in cases:
                path = os.path.join(folder, name)
                with open(path, "wb") as f:
                    f.write(content)
                with self.subTest(name):
                    with self.assertRaises(InputError) as caught:
                        read_score(path)
                    self.assertIn(expected, str(caught.exception))


if __name__ == "__main__":
    unittest.main()
