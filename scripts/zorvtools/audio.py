"""The ramp to hear: a standard MIDI file of the score from its start to one
measure after the region, with the tempo records as tempo events and a
click on every beat; the times of those beats; the file rendered to audio."""
import os
import subprocess
from collections import namedtuple

from .music import UNITS_PER_QUARTER, full_measure, measure_offsets, parse_meter
from .tempo_map import VALUE_PER_UNIT_PER_MS

SOUNDFONT = "/usr/share/sounds/sf2/TimGM6mb.sf2"
PERCUSSION_CHANNEL = 9
DOWNBEAT_NOTE = BEAT_NOTE = 33  # a metronome click, in TimGM6mb a short clean one
DOWNBEAT_VELOCITY, BEAT_VELOCITY = 127, 96
CLICK_UNITS = UNITS_PER_QUARTER // 16
# A MIDI file plays at quarter = 120 until its first tempo event; the same
# holds here for any part of the score before its first tempo record.
MIDI_DEFAULT_MICROS = 500_000
MICROS_PER_VALUE = UNITS_PER_QUARTER * VALUE_PER_UNIT_PER_MS * 1000
LONGEST_MIDI_MICROS = 0xFFFFFF

# position: absolute units from the score's start; beat: quarters from 1.
Click = namedtuple("Click", "position measure beat accent")


def heard_measures(measures, region):
    """Measures 1 to the one after the region's last; a score that ends with
    the region gets one more measure of its last meter."""
    last = region[2] + 1
    heard = list(measures[:last])
    if len(heard) < last:
        heard.append(full_measure(parse_meter(measures[-1].meter, "meter")))
    return heard


def clicks(measures):
    starts = measure_offsets(measures)
    return [Click(starts[number] + p, number, p / UNITS_PER_QUARTER + 1, p == 0 and m.downbeat)
            for number, m in enumerate(measures, 1) for p in m.clicks]


def heard_points(points, end):
    """The tempo points (absolute position, value) up to end, led by the MIDI
    default when the score has no record at its start."""
    heard = [p for p in points if p[0] <= end]
    if not heard or heard[0][0] > 0:
        heard.insert(0, (0, MICROS_PER_VALUE / MIDI_DEFAULT_MICROS))
    return heard


def micros_per_quarter(value):
    return min(LONGEST_MIDI_MICROS, max(1, round(MICROS_PER_VALUE / value)))


def seconds_at(points, positions):
    """Playback time (s) from the score's start to each of the ascending
    positions, each tempo holding until the next record."""
    times, elapsed_ms, index = [], 0.0, 0
    at, value = points[0]
    for position in positions:
        while index + 1 < len(points) and points[index + 1][0] <= position:
            index += 1
            elapsed_ms += (points[index][0] - at) * VALUE_PER_UNIT_PER_MS / value
            at, value = points[index]
        times.append((elapsed_ms + (position - at) * VALUE_PER_UNIT_PER_MS / value) / 1000)
    return times


def time_signatures(measures):
    """(tick, numerator, denominator) wherever the bar changes."""
    starts, events, last = measure_offsets(measures), [], None
    for number, m in enumerate(measures, 1):
        denominator = parse_meter(m.meter, "meter").denominator
        unit = 4 * UNITS_PER_QUARTER // denominator
        if m.length % unit:
            unit, denominator = UNITS_PER_QUARTER // 16, 64
        signature = (m.length // unit, denominator)
        if signature != last and 1 <= signature[0] <= 255:
            events.append((starts[number],) + signature)
            last = signature
    return events


def write_midi(path, measures, points, span):
    """A type 1 file, 1024 ticks to the quarter (one tick per unit): a
    conductor track with bars, tempos and the region's two markers, and a
    click track on the percussion channel."""
    import mido
    end = measure_offsets(measures)[len(measures) + 1]
    conductor = [(tick, 0, mido.MetaMessage("time_signature", numerator=n, denominator=d))
                 for tick, n, d in time_signatures(measures)]
    conductor += [(pos, 1, mido.MetaMessage("set_tempo", tempo=micros_per_quarter(value)))
                  for pos, value in heard_points(points, end)]
    conductor += [(span[0], 2, mido.MetaMessage("marker", text="ramp starts")),
                  (span[1], 2, mido.MetaMessage("marker", text="ramp ends"))]
    notes = []
    for click in clicks(measures):
        note, velocity = (DOWNBEAT_NOTE, DOWNBEAT_VELOCITY) if click.accent else (BEAT_NOTE, BEAT_VELOCITY)
        notes.append((click.position, 1, mido.Message("note_on", channel=PERCUSSION_CHANNEL,
                                                      note=note, velocity=velocity)))
        notes.append((click.position + CLICK_UNITS, 0, mido.Message("note_off", channel=PERCUSSION_CHANNEL,
                                                                    note=note, velocity=0)))
    midi = mido.MidiFile(type=1, ticks_per_beat=UNITS_PER_QUARTER)
    midi.tracks.append(track("ZorvTempo preview", conductor, end))
    midi.tracks.append(track("click", notes, end + CLICK_UNITS))
    midi.save(path)


def track(name, events, end):
    """A MIDI track from (tick, order at that tick, message) triples; the
    sort is stable, so messages of one tick and order keep theirs."""
    import mido
    messages = mido.MidiTrack([mido.MetaMessage("track_name", name=name)])
    at = 0
    for tick, _, message in sorted(events, key=lambda e: (e[0], e[1])):
        messages.append(message.copy(time=tick - at))
        at = tick
    messages.append(mido.MetaMessage("end_of_track", time=max(0, end - at)))
    return messages


def write_beats(path, beat_clicks, times):
    with open(path, "w") as f:
        f.write("seconds,measure,beat,downbeat\n")
        for click, seconds in zip(beat_clicks, times):
            f.write(f"{seconds:.6f},{click.measure},{click.beat:g},{int(click.accent)}\n")


def render_wav(midi_path, wav_path):
    """Renders the MIDI file with fluidsynth and the General MIDI soundfont."""
    if not os.path.exists(SOUNDFONT):
        raise RuntimeError(f"no soundfont at {SOUNDFONT}; install the Debian package timgm6mb-soundfont")
    done = subprocess.run(["fluidsynth", "-n", "-i", "-q", "-r", "44100", "-T", "wav",
                           "-F", wav_path, SOUNDFONT, midi_path], capture_output=True, text=True)
    if done.returncode != 0 or not os.path.exists(wav_path):
        last = (done.stderr.strip().splitlines() or ["no message"])[-1]
        raise RuntimeError(f"fluidsynth could not render {wav_path}: {last}")
