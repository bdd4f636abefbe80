"""Reads a MusicXML score the way a program that imports it would, with none
of the preview's own code: every part's tempo marks as the tempo records they
become, its notes, its words and dashes (each where it stands) and where
each measure's last element leaves off, as JSON on standard output. The tests of scripts/preview --write compare
what it finds with the plug-in's report and with the score before the ramp
was written into it.

usage: check_written_musicxml.py SCORE.musicxml
"""
import json
import sys
import xml.etree.ElementTree as ET
from fractions import Fraction

UNITS_PER_QUARTER = 1024


def tempo_value(bpm):
    """The host's tempo value of quarter = bpm: units per minute / 60, then
    * 16 / 1000, each truncated."""
    per_second = bpm * UNITS_PER_QUARTER * 4096 // 60
    return int(per_second * 16 // 1000)


def pitch_text(note):
    if note.find("rest") is not None:
        return "rest"
    pitch = note.find("pitch")
    if pitch is None:
        return "unpitched"
    return "".join((pitch.findtext(tag) or "") for tag in ("step", "alter", "octave"))


class Part:
    def __init__(self, element):
        self.id = element.get("id")
        self.divisions = None
        self.records, self.notes, self.words, self.dashes, self.ends = [], [], [], [], []
        for number, measure in enumerate(element.findall("measure"), 1):
            self.read_measure(number, measure)

    def units(self, divisions):
        return Fraction(int(divisions) * UNITS_PER_QUARTER, self.divisions)

    def read_measure(self, number, measure):
        at = onset = Fraction(0)
        for element in measure:
            if element.tag == "attributes" and element.find("divisions") is not None:
                self.divisions = int(element.findtext("divisions"))
            elif element.tag in ("backup", "forward"):
                step = self.units(element.findtext("duration"))
                at += step if element.tag == "forward" else -step
            elif element.tag == "note":
                length = self.units(element.findtext("duration") or 0)
                if element.find("grace") is not None:
                    length = Fraction(0)
                elif element.find("chord") is None:
                    onset = at
                    at += length
                self.notes.append([self.id, number, str(onset), str(length), pitch_text(element)]
                                  + [str(self.units(element.get(name) or 0)) for name in ("attack", "release")])
            elif element.tag in ("direction", "sound"):
                self.read_direction(number, element, at)
        self.ends.append([self.id, number, str(at)])

    def read_direction(self, number, element, at):
        self.words += [[self.id, number, str(at), w.text] for w in element.iter("words")]
        self.dashes += [[self.id, number, str(at), d.get("type")] for d in element.iter("dashes")]
        sound = element if element.tag == "sound" else element.find("sound")
        if sound is None or sound.get("tempo") is None:
            return
        offset = element.find("offset") if element.tag == "direction" else None
        if offset is not None and offset.get("sound") == "yes":
            at += self.units(offset.text)
        self.records.append([number, round(at), tempo_value(Fraction(sound.get("tempo")))])


def main(path):
    root = ET.parse(path).getroot()
    parts = [Part(element) for element in root.findall("part")]
    json.dump({"records": [r for p in parts for r in p.records],
               "notes": [n for p in parts for n in p.notes],
               "words": [w for p in parts for w in p.words],
               "dashes": [d for p in parts for d in p.dashes],
               "ends": [e for p in parts for e in p.ends],
               "measures": [len(element.findall("measure")) for element in root.findall("part")]},
              sys.stdout)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
