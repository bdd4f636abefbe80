"""Reads what the preview needs from a MusicXML score (.musicxml, .xml or
compressed .mxl): the measures of its first part, numbered 1, 2, 3, ... in
score order as Finale numbers them, and the playback tempo marks of all its
parts as the tempo records they become."""
import zipfile
import xml.etree.ElementTree as ET
from collections import namedtuple
from fractions import Fraction

from .music import (UNITS_PER_QUARTER, InputError, Score, check_measure_count,
                     full_measure, meter_length, partial_measure, parse_meter)

# What one part says about one measure; position and lengths in units.
RawMeasure = namedtuple("RawMeasure", "meter implicit content marks")
LARGEST_MEMBER = 256 << 20
LARGEST_VALUE = 0x7FFFFFFF


def read_score(path):
    root = parse_root(path)
    parts = root.findall("part")
    if not parts or not parts[0].findall("measure"):
        raise InputError(f"{path}: the score has no measures")
    raw_parts = [read_part(part, index == 0) for index, part in enumerate(parts)]
    measures = build_measures(raw_parts[0], part_name(parts[0]))
    return Score(measures, tempo_records(raw_parts, len(measures)))


def parse_root(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise InputError(f"{path}: cannot read it ({error.strerror})")
    if data.startswith(b"PK\x03\x04"):
        data = mxl_score(path, data)
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        raise InputError(f"{path} is not MusicXML: not well-formed XML ({error})")
    if root.tag == "score-timewise":
        raise InputError(f"{path}: a timewise MusicXML score is not read; save it as the usual "
                         f"(partwise) MusicXML")
    if root.tag != "score-partwise":
        raise InputError(f"{path} is not MusicXML: its root element is <{root.tag}>, "
                         f"not <score-partwise>")
    return root


def mxl_score(path, data):
    """The score inside a compressed MusicXML file: the rootfile that its
    META-INF/container.xml names, else its one MusicXML file at the top."""
    import io
    try:
        archive = zipfile.ZipFile(io.BytesIO(data))
        names = archive.namelist()
        member = container_rootfile(archive, names) or next(
            (n for n in names if "/" not in n and n.lower().endswith((".musicxml", ".xml"))), None)
        if member is None:
            raise InputError(f"{path} is not MusicXML: the archive holds no score")
        if archive.getinfo(member).file_size > LARGEST_MEMBER:
            raise InputError(f"{path}: its score {member} is larger than 256 MiB")
        return archive.read(member)
    except (zipfile.BadZipFile, KeyError, EOFError, NotImplementedError) as error:
        raise InputError(f"{path} is not MusicXML: a damaged .mxl archive ({error})")


def container_rootfile(archive, names):
    if "META-INF/container.xml" not in names:
        return None
    try:
        container = ET.fromstring(archive.read("META-INF/container.xml"))
    except ET.ParseError:
        return None
    for element in container.iter():
        if element.tag.rsplit("}", 1)[-1] == "rootfile" and element.get("full-path") in names:
            return element.get("full-path")
    return None


def part_name(part):
    return f"part {part.get('id', '?')}"


def positive_int(element, tag, where):
    text = element.findtext(tag)
    try:
        value = int(text.strip())
    except (AttributeError, ValueError):
        value = 0
    if value < 1:
        raise InputError(f"{where}: <{tag}> must be a positive whole number, not '{text}'")
    return value


def duration_of(element, where):
    text = element.findtext("duration")
    if text is None:
        return 0
    try:
        return max(0, int(text.strip()))
    except ValueError:
        raise InputError(f"{where}: cannot read the duration '{text}'")


def read_time(time, where):
    if time.find("senza-misura") is not None:
        raise InputError(f"{where}: a time signature without meter (senza misura) gives no "
                         f"measure length")
    beats = [b.text or "" for b in time.findall("beats")]
    types = [t.text or "" for t in time.findall("beat-type")]
    if len(beats) != 1 or len(types) != 1:
        shown = " + ".join(f"{b}/{t}" for b, t in zip(beats, types)) or "(none)"
        raise InputError(f"{where}: cannot read the time signature {shown}")
    return parse_meter(f"{beats[0]}/{types[0]}", where)


def tempo_mark(sound, where):
    """The quarter-note BPM of a <sound tempo>, or None without one."""
    text = sound.get("tempo")
    if text is None:
        return None
    try:
        bpm = Fraction(text.strip())
    except (ValueError, ZeroDivisionError):
        raise InputError(f"{where}: cannot read the tempo '{text}'")
    if not 0 < bpm or quarter_tempo_value(bpm) < 1 or quarter_tempo_value(bpm) > LARGEST_VALUE:
        raise InputError(f"{where}: the tempo '{text}' is not a playable quarter-note tempo")
    return bpm


def quarter_tempo_value(bpm):
    """The host's tempo value of quarter = bpm (fractions allowed), with the
    host's two truncations: units per minute / 60, then * 16 / 1000."""
    per_second = (UNITS_PER_QUARTER * 4096 * bpm) // 60
    return int(per_second * 16 // 1000)


def direction_offset(direction, where):
    """A direction's <offset> moves its sound only when it says so."""
    offset = direction.find("offset")
    if offset is None or offset.get("sound") != "yes":
        return 0
    try:
        return int(offset.text.strip())
    except (AttributeError, ValueError):
        raise InputError(f"{where}: cannot read the offset '{offset.text}'")


def read_part(part, is_first):
    """One RawMeasure per measure of the part. Divisions and the meter carry
    from measure to measure; only the first part's meters are read."""
    context = {"divisions": None, "meter": None, "meters": is_first}
    return [read_measure(measure, context, f"{part_name(part)}, measure {number}")
            for number, measure in enumerate(part.findall("measure"), 1)]


def read_measure(measure, context, where):
    # The cursor counts units as an exact fraction, so that durations in
    # divisions that do not divide 1024 (triplets) add up exactly.
    cursor, longest, marks = Fraction(0), Fraction(0), []
    for element in measure:
        if element.tag == "attributes":
            read_attributes(element, context, where)
        elif element.tag in ("direction", "sound"):
            mark = sound_mark(element, context, where)
            if mark:
                marks.append((max(0, round(cursor + mark[0])), mark[1]))
        else:
            cursor += advance(element, context, where)
        longest = max(longest, cursor)
    return RawMeasure(context["meter"], measure.get("implicit") == "yes", round(longest), marks)


def read_attributes(attributes, context, where):
    if attributes.find("divisions") is not None:
        context["divisions"] = positive_int(attributes, "divisions", where)
    time = attributes.find("time")
    if time is not None and context["meters"]:
        context["meter"] = read_time(time, where)


def advance(element, context, where):
    """How far a note, a backup or a forward moves the cursor (units)."""
    sign = {"note": 1, "forward": 1, "backup": -1}.get(element.tag, 0)
    if element.tag == "note" and (element.find("chord") is not None or element.find("grace") is not None):
        sign = 0
    return sign * units(duration_of(element, where), context, where) if sign else 0


def units(divisions, context, where):
    if divisions == 0:
        return Fraction(0)
    if context["divisions"] is None:
        raise InputError(f"{where}: durations come before any <divisions>")
    return Fraction(divisions * UNITS_PER_QUARTER, context["divisions"])


def sound_mark(element, context, where):
    """(offset in units, tempo value) of a tempo mark in a <sound> or a
    <direction>'s <sound>, or None."""
    sound = element if element.tag == "sound" else element.find("sound")
    bpm = None if sound is None else tempo_mark(sound, where)
    if bpm is None:
        return None
    offset = direction_offset(element, where) if element.tag == "direction" else 0
    return units(offset, context, where), quarter_tempo_value(bpm)


def build_measures(raw, name):
    check_measure_count(len(raw), name)
    measures = []
    for number, m in enumerate(raw, 1):
        if m.meter is None:
            raise InputError(f"{name}, measure {number}: no time signature before it")
        if m.implicit and m.content != meter_length(m.meter):
            measures.append(partial_measure(m.meter, m.content, is_pickup=number == 1))
        else:
            measures.append(full_measure(m.meter))
    return measures


def tempo_records(raw_parts, measure_count):
    """[measure, position, value] of every tempo mark in any part, each once,
    in score order (a mark that several parts carry is one record)."""
    seen, records = set(), []
    for raw in raw_parts:
        for number, m in enumerate(raw[:measure_count], 1):
            for position, value in m.marks:
                if (number, position, value) not in seen:
                    seen.add((number, position, value))
                    records.append([number, min(position, LARGEST_VALUE), value])
    records.sort(key=lambda r: (r[0], r[1]))
    return records
